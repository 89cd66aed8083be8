# Reference values for the estimated marginal means of a two-category logistic model and their
# comparisons, on the link (log-odds) and the response (probability) scale: emmeans on R's glm with the
# binomial family, requests written as qx_emmeans.R describes. The response is the second category
# against the first (the library's reference category set to the first, -2), as glm models it.
#
# Also the fit itself on the library's over-parameterised design (qx_design.R, aliased columns 0):
# estimates b and covariance V, so that the tests can check the library's logistic fit before they
# compare its marginal means.
#
# Both fits converge to glm.control(epsilon = 1e-14), far past the default, so that the reference
# estimates carry every digit the comparisons need. glm's own covariance (vcov) is the inverse
# information at the iterate before the last: its deviance criterion stops when that iterate is still
# some 1e-7 away, which leaves vcov 1e-8 off. The covariance used here, and handed to emmeans and car,
# is the inverse information at the final estimates, (X' W X)^-1 with W = mu (1 - mu).
#
# Run from this folder: Rscript emmeans_logistic.R   (writes emmeans_logistic.json)

source("qx_emmeans.R")

control <- glm.control(epsilon = 1e-14, maxit = 100)

information_inverse <- function(X, mu) {
  V <- solve(crossprod(X, (mu * (1 - mu)) * X))
  dimnames(V) <- list(colnames(X), colnames(X))
  V
}

make_case <- function(name, df, y, factors, covariates, terms, requests, note = "") {
  data <- r_data(df, c(y, factors))
  formula <- r_formula(y, terms)
  environment(formula) <- environment()  # where emmeans finds `data` again
  fit <- glm(formula, family = binomial, data = data, control = control)
  stopifnot(fit$converged)
  fit$qx_vcov <- information_inverse(model.matrix(fit), fitted(fit))
  # The library's parameterisation: the same model on its over-parameterised design.
  design <- qx_design(df, terms)
  yy <- qx_codes(df[[y]])
  # Aliased columns found as lm() finds them (each against the columns before it); the glm is fitted on
  # the others, where it converges as far as asked.
  decomposition <- qr(design$X, tol = 1e-7)
  kept <- sort(decomposition$pivot[seq_len(decomposition$rank)])
  aliased <- !(seq_len(ncol(design$X)) %in% kept)
  X <- design$X[, kept, drop = FALSE]
  over <- glm(yy ~ X - 1, family = binomial, control = control)
  stopifnot(over$converged)
  b <- numeric(ncol(design$X))
  b[kept] <- coef(over)
  V <- matrix(0, ncol(design$X), ncol(design$X))
  V[kept, kept] <- information_inverse(X, fitted(over))
  stopifnot(abs(logLik(over) - logLik(fit)) < 1e-9)
  c(list(name = name, note = note), case_model(df, y, factors, covariates, terms, y_codes = TRUE),
    list(dependent_levels = I(as.character(qx_levels(df[[y]]))), b = unname(b), V = unname(V),
         aliased = I(unname(aliased)), log_likelihood = as.numeric(logLik(fit)),
         requests = lapply(requests, function(r) do.call(request, c(list(fit, data), r)))))
}

salaries <- read_data("Salaries.csv")

both_scales <- function(r) list(c(r, scale = "link"), c(r, scale = "response"))

cases <- list(
  make_case("salaries_sex", salaries, "sex", c("rank", "discipline"), "yrs.service",
            list(term("rank"), term("discipline"), term(c("rank", "discipline")), term(covs = "yrs.service")),
            c(both_scales(list(factors = "rank", compare = "rank")),
              both_scales(list(factors = c("rank", "discipline"), compare = "rank")),
              both_scales(list(factors = c("discipline", "rank"), compare = "discipline",
                               at = list(yrs.service = 10))),
              both_scales(list(factors = c("rank", "discipline"), at = list(yrs.service = 30)))),
            note = "P(Male) by rank and discipline with years of service; unbalanced, a rare category")
)

qx_write_json(list(alpha = alpha, cases = cases), "emmeans_logistic.json")
