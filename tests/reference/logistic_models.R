# Reference fits of multinomial logistic regression on public datasets of data/, on the library's
# over-parameterised design (qx_design.R): the aliased columns are found in column order, as the
# library's sweep finds them, and the model is fitted on the others by
#   VGAM::vglm(multinomial(refLevel = reference)), Fisher scoring run to convergence at rounding level
#     (the reference: estimates, standard errors from the inverse information, fitted probabilities);
#   nnet::multinom(reltol = 1e-14), a quasi-Newton fit that stops near 1e-8 (a second opinion);
#   glm(family = binomial) when the response has two categories.
# VGAM stops its iteration where its own step halving can no longer improve the fit, and its vcov() is
# formed from working weights floored at 1.8e-12 and agrees with the inverse information at its
# estimates to about 1e-8 only; the reference standard errors are therefore the square roots of the
# diagonal of the inverse of the expected information sum w (diag(p) - p p') (x) x x', formed here at
# the estimates. The estimates are VGAM's refined by plain Newton steps until a step changes nothing
# (the script prints the last step and the distance to VGAM's own estimates, which are kept, as are
# VGAM's standard errors, as second opinions).
# The log-likelihoods are sum w log p(observed) at the estimates and at the intercept-only model (equal
# probabilities without an intercept), w = frequency weight x regression weight; the pseudo R-squares
# follow from them with N = sum w. Each case carries the records as the library reads them (categories
# coded 0..k-1 in sorted level order) and the model.
# Run from the repository root: Rscript tests/reference/logistic_models.R
suppressMessages({library(VGAM); library(nnet)})
source("tests/reference/qx_design.R")
source("tests/reference/qx_json.R")

read_data <- function(name) read.csv(file.path("data", name), stringsAsFactors = FALSE)

term <- function(factors = character(), nest = rep(0L, length(factors)), covs = character()) {
  list(factors = factors, nest = nest, covs = covs)
}

# The inverse of the expected information at estimates B (columns: the library's blocks), in the
# library's order (block after block), and the largest Newton step from B relative to max(|B|, 1).
information_at <- function(X, B, w, codes, order_codes) {
  M <- ncol(B)
  eta <- cbind(X %*% B, 0)
  P <- exp(eta - apply(eta, 1, max))
  P <- P / rowSums(P)
  Y <- outer(codes, order_codes, "==") + 0
  q <- ncol(X)
  I <- matrix(0, q * M, q * M)
  S <- numeric(q * M)
  for (m in seq_len(M)) {
    rows <- (m - 1) * q + seq_len(q)
    S[rows] <- crossprod(X, w * (Y[, m] - P[, m]))
    for (l in seq_len(M)) {
      cols <- (l - 1) * q + seq_len(q)
      I[rows, cols] <- crossprod(X, (w * (P[, m] * (m == l) - P[, m] * P[, l])) * X)
    }
  }
  V <- solve(I)
  list(V = V, step = drop(V %*% S))
}

# reference: the library's setting (-1 the last category, -2 the first, else a category code).
make_case <- function(name, df, y, factors, covariates, terms, intercept = TRUE, freq = NULL, regr = NULL,
                      reference = -1L, note = "") {
  codes <- qx_codes(df[[y]])
  K <- length(qx_levels(df[[y]]))
  ref <- if (reference == -1L) K - 1L else if (reference == -2L) 0L else reference
  order_codes <- c(setdiff(seq_len(K) - 1L, ref), ref)  # the library's category order, reference last
  f <- if (is.null(freq)) rep(1, nrow(df)) else df[[freq]]
  g <- if (is.null(regr)) rep(1, nrow(df)) else df[[regr]]
  w <- f * g

  d <- qx_design(df, terms, intercept)
  X <- d$X
  p <- ncol(X)
  q <- qr(sqrt(w) * X)
  aliased <- rep(TRUE, p)
  aliased[q$pivot[seq_len(q$rank)]] <- FALSE
  Xn <- X[, !aliased, drop = FALSE]
  pn <- ncol(Xn)
  colnames(Xn) <- paste0("c", seq_len(pn))
  fit_data <- data.frame(Xn, yf = factor(codes, levels = seq_len(K) - 1L), w = w)
  form <- as.formula(paste("yf ~", paste(colnames(Xn), collapse = " + "), "- 1"))

  # VGAM: coefficient c_j:m belongs to column j and linear predictor m, the predictors ordered as the
  # library's blocks (ascending codes without the reference).
  vfit <- vglm(form, family = multinomial(refLevel = ref + 1L), data = fit_data, weights = w,
               control = vglm.control(epsilon = 1e-15, maxit = 200, criterion = "coefficients"))
  M <- K - 1L
  B <- matrix(coef(vfit), nrow = pn, ncol = M, byrow = TRUE)  # columns: linear predictors
  se_v <- matrix(sqrt(diag(vcov(vfit))), nrow = pn, ncol = M, byrow = TRUE)
  B_vgam <- B
  # Newton steps from VGAM's estimates until they change nothing more.
  for (it in 1:6) {
    info <- information_at(Xn, B, w, codes, order_codes)
    B <- B + matrix(info$step, nrow = pn)
  }
  cat(name, "largest Newton step after polishing", max(abs(info$step) / pmax(abs(B), 1e-300)),
      "; VGAM against polished", max(abs(B_vgam - B) / abs(B)), "\n")
  eta <- cbind(Xn %*% B, 0)
  probs <- exp(eta - apply(eta, 1, max))
  probs <- probs / rowSums(probs)
  info <- information_at(Xn, B, w, codes, order_codes)
  se_i <- matrix(sqrt(diag(info$V)), nrow = pn, ncol = M)
  ll <- sum(w * log(probs[cbind(seq_len(nrow(df)), match(codes, order_codes))]))
  totals <- tapply(w, factor(codes, levels = seq_len(K) - 1L), sum)
  ll0 <- if (intercept) sum(totals * log(totals / sum(w))) else sum(w) * log(1 / K)
  N <- sum(w)
  cox_snell <- 1 - exp(2 * (ll0 - ll) / N)

  # nnet: the baseline is the first level, so the reference goes first.
  nfit_data <- fit_data
  nfit_data$yf <- relevel(nfit_data$yf, ref = as.character(ref))
  nfit <- multinom(form, data = nfit_data, weights = w, reltol = 1e-14, maxit = 10000, trace = FALSE, Hess = TRUE)
  Bn <- t(matrix(coef(nfit), nrow = M))

  # glm for two categories: log(p_1 / p_0) with the library's block-0 category as the event.
  glm_estimates <- NULL
  if (K == 2) {
    gfit <- glm(update(form, I(yf == as.character(order_codes[1])) ~ .), family = binomial, data = fit_data,
                weights = w, control = glm.control(epsilon = 1e-15, maxit = 100))
    glm_estimates <- list(estimate = unname(coef(gfit)), std_error = unname(sqrt(diag(vcov(gfit)))),
                          loglik = sum(w * log(ifelse(fit_data$yf == as.character(order_codes[1]),
                                                      fitted(gfit), 1 - fitted(gfit)))))
  }

  parameters <- list()
  for (m in seq_len(M)) {
    jn <- 0L
    for (j in seq_len(p)) {
      red <- aliased[j]
      if (!red) jn <- jn + 1L
      parameters[[length(parameters) + 1]] <- list(
        label = d$labels[j], effect = d$effect[j], category = order_codes[m], redundant = red,
        estimate = if (red) 0 else B[jn, m], vgam_estimate = if (red) 0 else B_vgam[jn, m], std_error = if (red) NULL else se_i[jn, m],
        vgam_std_error = if (red) NULL else se_v[jn, m],
        nnet_estimate = if (red) 0 else Bn[jn, m],
        glm_estimate = if (red || is.null(glm_estimates)) NULL else glm_estimates$estimate[jn],
        glm_std_error = if (red || is.null(glm_estimates)) NULL else glm_estimates$std_error[jn])
    }
  }
  predicted <- order_codes[apply(probs, 1, which.max)]

  columns <- c(y, factors, covariates, freq, regr)
  records <- as.data.frame(lapply(columns, function(col) {
    if (col %in% c(y, factors)) qx_codes(df[[col]]) else as.numeric(df[[col]])
  }))
  list(
    name = name, note = note, columns = I(columns), dependent = y, n_categories = K, reference = reference,
    categories = I(order_codes),
    factors = lapply(factors, function(fc) list(name = fc, levels = I(as.character(qx_levels(df[[fc]]))))),
    covariates = I(covariates),
    terms = lapply(terms, function(t) list(factors = I(t$factors), nest = I(t$nest), covs = I(t$covs))),
    intercept = intercept, freq = freq, regr = regr,
    records = unname(as.matrix(records)), probabilities = unname(probs), predicted = I(predicted),
    parameters = parameters, n_kept = pn * M,
    loglik = ll, loglik0 = ll0, total_weight = N, total_freq_weight = sum(f),
    df_error = sum(f) - pn * M,
    cox_snell = cox_snell, nagelkerke = cox_snell / (1 - exp(2 * ll0 / N)), mcfadden = 1 - ll / ll0,
    glm_loglik = if (is.null(glm_estimates)) NULL else glm_estimates$loglik)
}

housing <- read_data("housing.csv")
salaries <- read_data("Salaries.csv")
mtcars_df <- read_data("mtcars.csv")
# A copy of Cont under another name: its effect is aliased with Cont's as a whole.
housing$Cont2 <- housing$Cont
# Without the cells (Infl = High, Type = Terrace): the interaction has an empty cell.
housing_empty <- housing[!(housing$Infl == "High" & housing$Type == "Terrace"), ]
# Regression weights that vary within every category.
salaries$rw <- 0.5 + (salaries$yrs.service %% 4) / 4

cases <- list(
  make_case("housing_three_factors_freq", housing, "Sat", c("Infl", "Type", "Cont"), character(),
            list(term("Infl"), term("Type"), term("Cont")), freq = "Freq",
            note = "MASS::housing: three categories, three factors, frequency weights"),
  make_case("salaries_covariates", salaries, "rank", character(), c("yrs.since.phd", "yrs.service"),
            list(term(covs = "yrs.since.phd"), term(covs = "yrs.service")),
            note = "covariates only"),
  make_case("salaries_reference_code", salaries, "rank", "discipline", c("yrs.since.phd"),
            list(term("discipline"), term(covs = "yrs.since.phd"), term(covs = c("yrs.since.phd", "yrs.since.phd"))),
            reference = 0L, note = "reference category given by its code, a covariate and its square"),
  make_case("housing_aliased_effect", housing, "Sat", c("Infl", "Cont", "Cont2"), character(),
            list(term("Infl"), term("Cont"), term("Cont2")), freq = "Freq",
            note = "Cont2 repeats Cont: every level of its effect is aliased"),
  make_case("housing_empty_cell", housing_empty, "Sat", c("Infl", "Type"), character(),
            list(term("Infl"), term("Type"), term(c("Infl", "Type"))), freq = "Freq", reference = -2L,
            note = "cell (Infl = High, Type = Terrace) removed; the first category is the reference"),
  make_case("salaries_interaction", salaries, "rank", c("discipline", "sex"), "yrs.since.phd",
            list(term("discipline"), term("sex"), term(c("discipline", "sex")), term(covs = "yrs.since.phd")),
            note = "the model of effect_tests_multinomial.R: an interaction of two factors and a covariate"),
  make_case("salaries_nested", salaries, "rank", c("discipline", "sex"), "yrs.since.phd",
            list(term("discipline"), term(c("discipline", "sex"), nest = c(0L, 1L)), term(covs = "yrs.since.phd")),
            note = "sex nested within discipline"),
  make_case("housing_intercept_only", housing, "Sat", character(), character(), list(), freq = "Freq",
            note = "intercept only: the estimates are the log-ratios of the weighted counts"),
  make_case("salaries_regression_weights", salaries, "rank", "discipline", "yrs.since.phd",
            list(term("discipline"), term(covs = "yrs.since.phd")), regr = "rw",
            note = "regression weights"),
  make_case("salaries_intercept_only_regression_weights", salaries, "rank", character(), character(), list(),
            regr = "rw", note = "intercept only with regression weights: the log-ratios of the weighted totals"),
  make_case("salaries_no_intercept", salaries, "rank", "discipline", "yrs.since.phd",
            list(term("discipline"), term(covs = "yrs.since.phd")), intercept = FALSE,
            note = "no intercept: every discipline has its own intercept"),
  make_case("mtcars_binary", mtcars_df, "am", character(), c("hp", "wt"),
            list(term(covs = "hp"), term(covs = "wt")), reference = -2L,
            note = "two categories against glm(binomial); the first category is the reference"),
  make_case("mtcars_binary_last_reference", mtcars_df, "am", "cyl", "wt",
            list(term("cyl"), term(covs = "wt")),
            note = "two categories, the last one the reference, against glm(binomial)")
)

qx_write_json(list(cases = cases), "tests/reference/logistic_models.json")
