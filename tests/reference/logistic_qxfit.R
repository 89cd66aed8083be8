# qxfit's multinomial logistic regressions on public data, fitted in R: each case is a qxfit command
# (its arguments, data and formula) with the values its JSON report and its --predict file must
# hold. Written to tests/reference/logistic_qxfit.json; run from the repository root:
#   Rscript tests/reference/logistic_qxfit.R
#
# The model is fitted on the library's over-parameterised design (qx_design.R), whose aliased
# columns are found in column order as the library's sweep finds them, by
#   VGAM::vglm(multinomial(refLevel = reference)) run to convergence, then refined by Newton steps on
#     the exact likelihood until a step changes nothing (VGAM stops where its own step halving can no
#     longer improve the fit, up to 1e-8 short of the maximum): the estimates, the fitted
#     probabilities, and the standard errors from the inverse of the expected information at them;
#   nnet::multinom(reltol = 1e-14) and, for two categories, glm(binomial): second opinions, kept in
#     the file but not asserted tightly (nnet stops near 1e-8 in the log-likelihood).
# The Wald statistics of every parameter follow from the estimate and standard error (chi-square on 1
# degree of freedom, normal bounds at 95%, and their exponentials). The log-likelihoods are sum w log p
# (w the frequency weight) at the estimates and for the intercept-only model; the likelihood-ratio
# chi-square, its degrees of freedom (the kept parameters less one intercept per logit) and the three
# pseudo R-squares follow from them. The classification table counts the frequency weights of each
# observed category by the most probable category. The Type III Wald tests of the effects are formed
# independently of the library's construction of its hypotheses: the fit is re-expressed in
# sum-to-zero contrasts (an exact change of basis of the same column space, per logit) and each term
# is tested by the Wald chi-square of its coefficients in every logit.
suppressMessages({library(VGAM); library(nnet)})
source("tests/reference/qx_design.R")
source("tests/reference/qx_json.R")
# qxfit sorts texts by bytes; R must do the same to order the levels and cells alike.
invisible(Sys.setlocale("LC_COLLATE", "C"))

term <- function(factors = character(), covs = character()) {
  list(factors = factors, nest = rep(0L, length(factors)), covs = covs)
}

# The inverse of the expected information at estimates B (columns: the logits in the library's block
# order) over the kept columns X, block after block, and the Newton step from B.
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
  list(V = V, step = drop(V %*% S), P = P)
}

wald <- function(b, V) {
  chi <- as.numeric(t(b) %*% solve(V, b))
  list(chi_square = chi, df = length(b), p = pchisq(chi, length(b), lower.tail = FALSE))
}

# `reference`: "last", "first" or a level's text. `rterms`: the terms in R's notation, in the order
# of `terms`, for the sum-to-zero re-expression.
logistic_case <- function(name, data, formula, args, y, terms, rterms, freq = NULL, reference = "last") {
  df <- read.csv(data, stringsAsFactors = FALSE)
  levels <- qx_levels(df[[y]])
  K <- length(levels)
  codes <- qx_codes(df[[y]])
  ref <- switch(reference, last = K - 1L, first = 0L, match(reference, as.character(levels)) - 1L)
  order_codes <- c(setdiff(seq_len(K) - 1L, ref), ref)  # the library's order, reference last
  M <- K - 1L
  w <- if (is.null(freq)) rep(1, nrow(df)) else df[[freq]]
  N <- sum(w)

  d <- qx_design(df, terms)
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

  vfit <- vglm(form, family = multinomial(refLevel = ref + 1L), data = fit_data, weights = w,
               control = vglm.control(epsilon = 1e-15, maxit = 200, criterion = "coefficients"))
  B <- matrix(coef(vfit), nrow = pn, ncol = M, byrow = TRUE)
  B_vgam <- B
  for (it in 1:8) B <- B + matrix(information_at(Xn, B, w, codes, order_codes)$step, nrow = pn)
  info <- information_at(Xn, B, w, codes, order_codes)
  cat(name, ": last Newton step", max(abs(info$step) / pmax(abs(B), 1e-300)), "; VGAM against refined",
      max(abs(B_vgam - B) / abs(B)), "\n")
  probs <- info$P  # columns in the library's order
  se <- matrix(sqrt(diag(info$V)), nrow = pn, ncol = M)
  ll <- sum(w * log(probs[cbind(seq_len(nrow(df)), match(codes, order_codes))]))
  totals <- tapply(w, factor(codes, levels = seq_len(K) - 1L), sum)
  ll0 <- sum(totals * log(totals / N))

  nfit_data <- fit_data
  nfit_data$yf <- relevel(nfit_data$yf, ref = as.character(ref))
  nfit <- multinom(form, data = nfit_data, weights = w, reltol = 1e-14, maxit = 10000, trace = FALSE)
  Bn <- t(matrix(coef(nfit), nrow = M))
  glm_estimates <- NULL
  if (K == 2) {
    gfit <- glm(update(form, I(yf == as.character(order_codes[1])) ~ .), family = binomial, data = fit_data,
                weights = w, control = glm.control(epsilon = 1e-15, maxit = 100))
    glm_estimates <- unname(coef(gfit))
  }

  z <- qnorm(0.975)
  parameters <- list()
  for (m in seq_len(M)) {
    jn <- 0L
    for (j in seq_len(p)) {
      entry <- list(label = d$labels[j], category = as.character(levels[order_codes[m] + 1L]),
                    redundant = aliased[j], estimate = 0)
      if (!aliased[j]) {
        jn <- jn + 1L
        b <- B[jn, m]
        s <- se[jn, m]
        entry <- c(entry[1:3], list(
          estimate = b, std_error = s, chi_square = (b / s)^2, p = pchisq((b / s)^2, 1, lower.tail = FALSE),
          lower = b - z * s, upper = b + z * s, exp_b = exp(b), exp_lower = exp(b - z * s),
          exp_upper = exp(b + z * s), nnet_estimate = Bn[jn, m],
          glm_estimate = if (is.null(glm_estimates)) NULL else glm_estimates[jn]))
      }
      parameters[[length(parameters) + 1]] <- entry
    }
  }

  # Type III: the same fit in sum-to-zero contrasts; Ms maps the kept columns' estimates to its own.
  for (f in unique(unlist(lapply(terms, function(t) t$factors))))
    df[[f]] <- factor(as.character(df[[f]]), levels = as.character(qx_levels(df[[f]], f)))
  contrasts <- lapply(Filter(function(v) is.factor(df[[v]]), names(df)), function(v) contr.sum)
  names(contrasts) <- Filter(function(v) is.factor(df[[v]]), names(df))
  Xs <- model.matrix(terms(as.formula(paste("~", paste(c("1", rterms), collapse = " + "))), keep.order = TRUE),
                     df, contrasts.arg = contrasts)
  Ms <- solve(crossprod(Xs), crossprod(Xs, Xn))
  stopifnot(max(abs(Xs %*% Ms - Xn)) < 1e-9 * max(abs(Xn)))
  Mk <- kronecker(diag(M), Ms)
  b_s <- Mk %*% as.numeric(B)
  V_s <- Mk %*% info$V %*% t(Mk)
  assign <- rep(attr(Xs, "assign"), M)
  effect_labels <- c("Intercept", vapply(terms, function(t) {
    gsub("\\[([^]]*)=\\]", "\\1", qx_label(t, rep("", length(t$factors))))
  }, ""))
  type3 <- lapply(0:length(terms), function(t) {
    j <- which(assign == t)
    c(list(effect = effect_labels[t + 1L]), wald(b_s[j], V_s[j, j]))
  })

  predicted <- order_codes[apply(probs, 1, which.max)]
  classification <- lapply(order_codes, function(o) {
    counts <- vapply(order_codes, function(pc) sum(w[codes == o & predicted == pc]), 0)
    list(observed = as.character(levels[o + 1L]), predicted = I(counts),
         percent_correct = 100 * counts[match(o, order_codes)] / sum(counts))
  })
  by_code <- probs[, match(seq_len(K) - 1L, order_codes), drop = FALSE]  # the levels' order

  # The intercept-only model is its own baseline: nothing to test, and every pseudo R-square 0.
  lr_df <- pn * M - M
  lr <- if (lr_df == 0) 0 else 2 * (ll - ll0)
  list(name = name, args = I(args), data = data, formula = formula,
       reference = list(
         response = y, categories = I(as.character(levels[order_codes + 1L])),
         levels = I(as.character(levels)), parameters = parameters,
         minus2ll_intercept_only = -2 * ll0, minus2ll_final = -2 * ll,
         lr_chi_square = lr, lr_df = lr_df, lr_p = if (lr_df == 0) NULL else pchisq(lr, lr_df, lower.tail = FALSE),
         cox_snell = 1 - exp(-lr / N), nagelkerke = (1 - exp(-lr / N)) / (1 - exp(2 * ll0 / N)),
         mcfadden = if (lr_df == 0) 0 else 1 - ll / ll0, classification = classification,
         percent_correct = 100 * sum(w[codes == predicted]) / N, type3 = type3,
         total_freq_weight = N,
         predicted = I(as.character(levels[predicted + 1L])), probabilities = unname(by_code)))
}

cases <- list(
  logistic_case("housing_main_effects", "data/housing.csv", "Sat ~ Infl + Type + Cont", c("--freq-weight", "Freq"),
                "Sat", list(term("Infl"), term("Type"), term("Cont")), c("Infl", "Type", "Cont"), freq = "Freq"),
  logistic_case("housing_interaction_first", "data/housing.csv", "Sat ~ Infl*Cont",
                c("--freq-weight", "Freq", "--reference", "Sat=first"), "Sat",
                list(term("Infl"), term("Cont"), term(c("Infl", "Cont"))), c("Infl", "Cont", "Infl:Cont"),
                freq = "Freq", reference = "first"),
  logistic_case("iris_covariate_square", "data/iris.csv", "Species ~ Sepal.Length + I(Sepal.Length^2)",
                character(), "Species",
                list(term(covs = "Sepal.Length"), term(covs = c("Sepal.Length", "Sepal.Length"))),
                c("Sepal.Length", "I(Sepal.Length^2)")),
  logistic_case("salaries_reference_level", "data/Salaries.csv", "rank ~ discipline + sex + yrs.since.phd",
                c("--reference", "rank=AsstProf"), "rank",
                list(term("discipline"), term("sex"), term(covs = "yrs.since.phd")),
                c("discipline", "sex", "yrs.since.phd"), reference = "AsstProf"),
  logistic_case("housing_intercept_only", "data/housing.csv", "Sat ~ 1", c("--freq-weight", "Freq"), "Sat",
                list(), character(), freq = "Freq"),
  logistic_case("mtcars_two_categories", "data/mtcars.csv", "am ~ wt + hp", c("--logistic"), "am",
                list(term(covs = "wt"), term(covs = "hp")), c("wt", "hp")))

qx_write_json(list(generated_by = "tests/reference/logistic_qxfit.R", r_version = R.version.string,
                   vgam_version = as.character(packageVersion("VGAM")), cases = cases),
              "tests/reference/logistic_qxfit.json")
