# Reference values for the tests on the response scale: contrasts T mu of the means mu = g^-1(L b)
# of a generalized linear model, with delta-method standard errors.
#
# logit  glm(sex == "Male" ~ rank + discipline, binomial) on carData::Salaries; the means are the
#        probabilities of the three ranks (emmeans(fit, ~ rank), L = its linfct).
# log    glm(breaks ~ wool + tension, poisson) on warpbreaks; the means are the rates of the three
#        tensions.
# The standard errors of the means themselves come from summary(regrid(emm)). For both models T holds
# the pairwise differences of the three means (rank 2 of 3 rows). The individual
# contrasts come from emmeans: contrast(regrid(emm), "pairwise") with its z ratios, p-values and
# intervals (none, bonferroni), Holm from p.adjust. For the log model the same again at finite df
# (emmeans(..., df = residual df)), giving t tests. The joint test of the three rows is formed by hand
# (G = T diag(d mu / d eta) L, W = d' ginv(G V G') d) and checked against emmeans' joint test.
#
# Run from this folder: Rscript model_tests_delta.R   (writes model_tests_delta.json)

suppressMessages({library(emmeans); library(MASS)})
source("qx_json.R")

alpha <- 0.05

# Everything the tests need of one model and one set of means; df = Inf for z tests.
case <- function(fit, means_of, df = Inf) {
  emm <- if (is.finite(df)) emmeans(fit, means_of, df = df) else emmeans(fit, means_of)
  L <- unname(emm@linfct); b <- unname(coef(fit)); V <- unname(vcov(fit))
  pw <- contrast(regrid(emm), "pairwise")
  T <- t(as.matrix(coef(pw)[, -1]))
  s <- summary(pw, adjust = "none")
  fam <- family(fit)
  eta <- as.numeric(L %*% b); mu <- fam$linkinv(eta)
  G <- T %*% diag(fam$mu.eta(eta)) %*% L
  d <- as.numeric(T %*% mu)
  W <- as.numeric(t(d) %*% ginv(G %*% V %*% t(G)) %*% d)
  stopifnot(max(abs(d - s$estimate)) < 1e-12 * max(abs(d)), qr(G %*% V %*% t(G))$rank == 2)
  jt <- test(pw, joint = TRUE)
  stopifnot(jt$df1 == 2, abs(W / 2 - jt$F.ratio) < 1e-3 * jt$F.ratio)
  ci <- function(adjust) {
    x <- confint(pw, adjust = adjust, level = 1 - alpha)
    list(lower = x[[ncol(x) - 1]], upper = x[[ncol(x)]])
  }
  stat <- if (is.finite(df)) s$t.ratio else s$z.ratio
  means <- summary(regrid(emm))
  stopifnot(max(abs(means[[2]] - mu)) < 1e-12 * max(mu))
  list(L = L, T = unname(T), mu = mu, mean_se = means$SE, estimate = s$estimate, se = s$SE, stat = stat, p = s$p.value,
       p_bonferroni = summary(pw, adjust = "bonferroni")$p.value, p_holm = p.adjust(s$p.value, "holm"),
       ci_none = ci("none"), ci_bonferroni = ci("bonferroni"),
       chisq = W, p_chisq = pchisq(W, 2, lower.tail = FALSE),
       F = W / 2, p_F = if (is.finite(df)) pf(W / 2, 2, df, lower.tail = FALSE) else NA)
}

sal <- read.csv("../../data/Salaries.csv", stringsAsFactors = TRUE)
logit_fit <- glm(I(sex == "Male") ~ rank + discipline, family = binomial, data = sal)
wb <- read.csv("../../data/warpbreaks.csv", stringsAsFactors = TRUE)
wb$tension <- factor(wb$tension, levels = c("L", "M", "H"))
log_fit <- glm(breaks ~ wool + tension, family = poisson, data = wb)

model <- function(fit, means_of, finite_df) {
  out <- list(b = unname(coef(fit)), V = unname(vcov(fit)), df = df.residual(fit), z = case(fit, means_of))
  if (finite_df) out$t <- case(fit, means_of, df.residual(fit))
  out
}

qx_write_json(list(alpha = alpha, logit = model(logit_fit, ~ rank, FALSE), log = model(log_fit, ~ tension, TRUE)),
              "model_tests_delta.json")
