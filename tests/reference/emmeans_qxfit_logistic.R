# Reference values for qxfit's --emmeans on logistic models (tests/tools/qxfit_emmeans_test.cpp), in
# the layout of emmeans_qxfit.R; every test is a z test (the library's Wald chi-square, its square).
#
# Two categories: emmeans on glm(binomial) for carData's Salaries, sex by rank, discipline and years
# of service. qxfit's reference category is the last level (Male), so its one block is the log-odds of
# Female against Male and its response scale P(Female): glm is fitted with Male first. Means, pairs
# under every adjustment, contrasts and joint tests on the link and the response scale, as
# qx_emmeans.R forms them; the covariance is the inverse information at glm's final estimates, as in
# emmeans_logistic.R.
#
# Several categories: MASS's housing, Sat (High, Low, Medium: Medium, the last, is the reference) by
# Infl, Type and Cont with frequency weights. The library's marginal means of a multinomial model are
# those of each category's linear predictor, log(p_j / p_Medium), averaged over the other factors. On
# the link scale that is emmeans on nnet::multinom with mode = "latent": the latent means are the
# linear predictors centred over the categories at each point of the grid, so the difference of
# category j and Medium is log(p_j / p_Medium), and averaging commutes with it. The estimates and
# standard errors of those differences, and of their pairwise differences across Infl, come from
# emmeans' contrast() with coefficient vectors over the Sat x Infl grid, applied to VGAM::vglm's
# estimates and covariance (nnet stops some 1e-8 short of the maximum, and its Hessian agrees to about
# 1e-6); z, p and bounds follow on infinite degrees of freedom. The response scale of a block, the inverse logit of
# log(p_j / p_Medium), is p_j / (p_j + p_Medium): not emmeans' mode = "prob" (the probability of the
# category averaged over the grid), so it has no reference here.
#
# Run from this folder: Rscript emmeans_qxfit_logistic.R   (writes emmeans_qxfit_logistic.json)

source("qx_emmeans.R")
source("emmeans_qxfit_adjust.R")
suppressMessages({
  library(nnet)
  library(VGAM)
})

control <- glm.control(epsilon = 1e-14, maxit = 100)

binomial_run <- function() {
  df <- read_data("Salaries.csv")
  factors <- c("rank", "discipline")
  data <- r_data(df, factors)
  data$sex <- factor(df$sex, levels = c("Male", "Female"))
  f <- sex ~ rank * discipline + yrs.service
  environment(f) <- environment()
  fit <- glm(f, family = binomial, data = data, control = control)
  stopifnot(fit$converged)
  X <- model.matrix(fit)
  mu <- fitted(fit)
  fit$qx_vcov <- solve(crossprod(X, (mu * (1 - mu)) * X))
  dimnames(fit$qx_vcov) <- list(colnames(X), colnames(X))
  requests <- list(
    list(spec = "rank", factors = "rank", compare = "rank"),
    list(spec = "rank | discipline", factors = c("rank", "discipline"), compare = "rank",
         at = list(yrs.service = 10)),
    list(spec = "discipline | rank", factors = c("discipline", "rank"), compare = "discipline"))
  both <- list()
  for (r in requests) for (scale in c("link", "response")) {
    args <- r[names(r) != "spec"]
    out <- c(list(spec = r$spec), do.call(request, c(list(fit, data), args, scale = scale)))
    if (!is.null(out$contrasts)) out$contrasts <- adjust_contrasts(out$contrasts)
    both[[length(both) + 1]] <- out
  }
  list(name = "salaries_sex", data = "data/Salaries.csv", formula = "sex ~ rank*discipline + yrs.service",
       factors = lapply(factors, function(v) list(name = v, levels = I(as.character(qx_levels(df[[v]]))))),
       category = "Female", reference = "Male", requests = both)
}

multinomial_run <- function() {
  df <- read_data("housing.csv")
  factors <- c("Infl", "Type", "Cont")
  data <- r_data(df, factors)
  # multinom's baseline is the first level: Medium, the library's reference.
  data$Sat <- factor(df$Sat, levels = c("Medium", "High", "Low"))
  fit <- multinom(Sat ~ Infl + Type + Cont, data = data, weights = Freq, reltol = 1e-15, maxit = 1000,
                  trace = FALSE, Hess = TRUE)
  exact <- vglm(Sat ~ Infl + Type + Cont, multinomial(refLevel = "Medium"), data = data, weights = Freq,
                control = vglm.control(epsilon = 1e-14, maxit = 100))
  # vglm's coefficients are interleaved by category ((Intercept):1, (Intercept):2, ...); multinom's
  # vcov runs by category, then by column.
  categories <- rownames(coef(fit))
  columns <- colnames(coef(fit))
  stopifnot(max(abs(t(matrix(coef(exact), nrow = 2)) - t(coef(fit)))) < 1e-6)
  order <- as.vector(t(matrix(seq_along(coef(exact)), nrow = 2)))
  V <- vcov(exact)[order, order]
  dimnames(V) <- list(paste(rep(categories, each = length(columns)), columns, sep = ":"),
                      paste(rep(categories, each = length(columns)), columns, sep = ":"))
  stopifnot(max(abs(V - vcov(fit)) / sqrt(outer(diag(V), diag(V)))) < 1e-4)
  emm <- emmeans(fit, ~ Sat * Infl, mode = "latent", vcov. = V)
  # nnet's optimizer leaves its estimates some 1e-8 from the maximum; vglm's are exact. The contrasts'
  # linear functions (emmeans' averaging over the grid) are applied to vglm's estimates, after checking
  # that on multinom's own estimates they give emmeans' summary.
  b <- coef(exact)[order]
  exact_summary <- function(con) {
    L <- con@linfct
    s <- as.data.frame(summary(con, infer = FALSE, adjust = "none"))
    stopifnot(max(abs(drop(L %*% as.vector(t(coef(fit)))) - s$estimate)) < 1e-12)
    data.frame(contrast = s$contrast, estimate = drop(L %*% b), SE = sqrt(diag(L %*% V %*% t(L))))
  }
  grid <- emm@grid
  cell <- function(sat, infl) as.numeric(grid$Sat == sat & grid$Infl == infl)
  z <- qnorm(1 - alpha / 2)
  infl <- levels(data$Infl)
  blocks <- lapply(c("High", "Low"), function(category) {
    logit <- function(i) cell(category, i) - cell("Medium", i)
    means_l <- setNames(lapply(infl, logit), infl)
    pairs_l <- list()
    for (a in seq_along(infl)) for (b in seq_along(infl)) if (a < b)
      pairs_l[[paste(infl[a], "-", infl[b])]] <- logit(infl[a]) - logit(infl[b])
    m <- exact_summary(contrast(emm, method = means_l))
    p <- exact_summary(contrast(emm, method = pairs_l))
    means <- lapply(seq_len(nrow(m)), function(i) list(levels = list(Infl = i - 1L), mean = m$estimate[i], df = NA,
                                                       se = m$SE[i], lower = m$estimate[i] - z * m$SE[i],
                                                       upper = m$estimate[i] + z * m$SE[i]))
    pairs <- lapply(seq_len(nrow(p)), function(i) {
      stat <- p$estimate[i] / p$SE[i]
      list(contrast = as.character(p$contrast[i]), estimate = p$estimate[i], se = p$SE[i], stat = stat,
           p = 2 * pnorm(-abs(stat)), lower = p$estimate[i] - z * p$SE[i], upper = p$estimate[i] + z * p$SE[i])
    })
    list(category = category, means = means, pairs = pairs)
  })
  list(name = "housing_sat", data = "data/housing.csv", formula = "Sat ~ Infl + Type + Cont",
       args = I(c("--freq-weight", "Freq")), reference = "Medium",
       factors = list(list(name = "Infl", levels = I(as.character(qx_levels(df$Infl))))),
       spec = "Infl", blocks = blocks)
}

qx_write_json(list(alpha = alpha, binomial = binomial_run(), multinomial = multinomial_run()),
              "emmeans_qxfit_logistic.json")
