# Reference values for Wald tests with Satterthwaite degrees of freedom: the grand mean of lme4's
# Dyestuff data (6 batches of 5), Yield ~ 1 + (1 | Batch). In a balanced one-way random model the
# test of the grand mean is exactly the one-sample t test of the batch means on a - 1 = 5 df, which is
# the reference (t.test); the Satterthwaite approximation reproduces it exactly.
#
# What a caller hands over, at the REML estimates theta = (sigma_a^2, sigma_e^2) (from the mean
# squares, lambda1 = MSW and lambda2 = MSB = n sigma_a^2 + sigma_e^2):
#   C11 = lambda2 / (a n), the variance of the grand mean;
#   derivative matrices of the marginal form D_i = X' V^-1 (dV/dtheta_i) V^-1 X:
#     D_sa2 = a n^2 / lambda2^2, D_se2 = a n / lambda2^2;
#   H^-1 = Cov(theta) / 2 from the expected information: with V1 = 2 lambda1^2 / (a (n - 1)) and
#     V2 = 2 lambda2^2 / (a - 1), Cov(theta) = [[(V1 + V2) / n^2, -V1 / n], [-V1 / n, V1]].
# lmerTest's own Satterthwaite df (its Hessian by finite differences) is checked to agree to 1e-4.
#
# Run from this folder: Rscript model_tests_satterthwaite.R   (writes model_tests_satterthwaite.json)

suppressMessages({library(lme4); library(lmerTest)})
source("qx_json.R")

data(Dyestuff, package = "lme4")
a <- nlevels(Dyestuff$Batch); n <- nrow(Dyestuff) / a
ms <- summary(aov(Yield ~ Batch, data = Dyestuff))[[1]][["Mean Sq"]]
lambda2 <- ms[1]; lambda1 <- ms[2]
theta <- c((lambda2 - lambda1) / n, lambda1)
V1 <- 2 * lambda1^2 / (a * (n - 1)); V2 <- 2 * lambda2^2 / (a - 1)
h_inverse <- matrix(c((V1 + V2) / n^2, -V1 / n, -V1 / n, V1), 2) / 2

fit <- lmer(Yield ~ 1 + (1 | Batch), data = Dyestuff, REML = TRUE)
stopifnot(abs(as.data.frame(VarCorr(fit))$vcov - theta) < 1e-6 * theta)
peer <- contest(fit, matrix(1, 1), joint = FALSE)
stopifnot(abs(peer$df - (a - 1)) < 1e-4)

means <- tapply(Dyestuff$Yield, Dyestuff$Batch, mean)
tt <- t.test(means, conf.level = 0.95)

qx_write_json(list(
  b = I(mean(Dyestuff$Yield)), V = matrix(lambda2 / (a * n)), df = nrow(Dyestuff) - 1,
  theta = theta, h_inverse = h_inverse, derivatives = list(a * n^2 / lambda2^2, a * n / lambda2^2),
  t = unname(tt$statistic), df2 = unname(tt$parameter), p = tt$p.value,
  lower = tt$conf.int[1], upper = tt$conf.int[2]), "model_tests_satterthwaite.json")
