# Reference values for the Satterthwaite degrees of freedom of a mixed model with a random intercept:
# y = X beta + Z u + e, u ~ N(0, sigma_a^2 I), e ~ N(0, sigma_e^2 I), five groups of unequal sizes,
# X = [1, x1, x2], fitted by REML with lme4. theta = (sigma_a^2, sigma_e^2) at the REML estimates.
#
# Written out: the matrices a caller hands to the library, in both of its forms:
# - marginal: C11 = (X' V^-1 X)^-1 and D_i = X' V^-1 (dV/dtheta_i) V^-1 X;
# - mixed model equations M = [X'X, X'Z; Z'X, Z'Z + (sigma_e^2/sigma_a^2) I] / sigma_e^2, C = M^-1
#   with blocks C11, C21, C22, and the negated derivatives of M: for sigma_a^2 (random-effect
#   covariance) B = -d(1/sigma_a^2)/d sigma_a^2 per 1 x 1 block; for sigma_e^2, -dM11 = X'X/sigma_e^4,
#   per group k -dM21 = Z_k'X/sigma_e^4 and -dM22 = Z_k'Z_k/sigma_e^4;
# - H^-1, H being the Hessian of the -2 REML log-likelihood in theta (numDeriv, Richardson).
# The reference degrees of freedom use gradients of the variance taken numerically (numDeriv::grad of
# l' C11(theta) l, or of [x; z]' C(theta) [x; z]), so they do not depend on how the library pairs the
# derivative matrices: df = v^2 / (g' H^-1 g), and for several rows Fai and Cornelius' 2E/(E - q).
# lmerTest's own Satterthwaite values (its Hessian in another parameterisation, by finite
# differences) are written beside them as a peer check.
#
# Run from this folder: Rscript satterthwaite.R   (writes satterthwaite.json)

suppressMessages({library(lme4); library(lmerTest); library(numDeriv)})

num <- function(x) sprintf("%.17g", x)
to_json <- function(x) {
  if (is.null(x)) return("null")
  if (is.list(x) && !is.null(names(x)))
    return(paste0("{", paste0("\"", names(x), "\": ", vapply(x, to_json, ""), collapse = ", "), "}"))
  if (is.list(x)) return(paste0("[", paste(vapply(x, to_json, ""), collapse = ", "), "]"))
  if (is.matrix(x)) return(to_json(lapply(seq_len(nrow(x)), function(i) as.numeric(x[i, ]))))
  if (length(x) == 1) return(num(x))
  paste0("[", paste(vapply(x, num, ""), collapse = ", "), "]")
}

set.seed(20240606)
sizes <- c(3, 4, 5, 6, 4)
a <- length(sizes); N <- sum(sizes)
grp <- factor(rep(seq_len(a), sizes))
x1 <- round(runif(N, 0, 10), 1)
x2 <- round(rnorm(N), 2)
y <- round(2 + 0.5 * x1 - x2 + rnorm(a, sd = 1.5)[grp] + rnorm(N), 2)
d <- data.frame(y, x1, x2, grp)
fit <- lmer(y ~ x1 + x2 + (1 | grp), data = d, REML = TRUE)
vc <- as.data.frame(VarCorr(fit))
theta <- c(vc$vcov[1], vc$vcov[2])
X <- model.matrix(~ x1 + x2, d)
Z <- model.matrix(~ 0 + grp, d)
p <- ncol(X)

Vf <- function(th) th[1] * Z %*% t(Z) + th[2] * diag(N)
C11f <- function(th) solve(t(X) %*% solve(Vf(th), X))
Mf <- function(th) rbind(cbind(t(X) %*% X, t(X) %*% Z), cbind(t(Z) %*% X, t(Z) %*% Z + th[2] / th[1] * diag(a))) / th[2]
Cf <- function(th) solve(Mf(th))
reml_dev <- function(th) {
  V <- Vf(th); Vi <- solve(V); XVX <- t(X) %*% Vi %*% X
  P <- Vi - Vi %*% X %*% solve(XVX, t(X) %*% Vi)
  as.numeric(determinant(V)$modulus + determinant(XVX)$modulus + t(y) %*% P %*% y)
}
stopifnot(max(abs(grad(reml_dev, theta))) < 1e-4)  # theta is the REML optimum
H <- hessian(reml_dev, theta)
Hinv <- solve(H)

V <- Vf(theta); Vi <- solve(V)
C <- Cf(theta)
C11 <- C11f(theta)
stopifnot(max(abs(C[1:p, 1:p] - C11)) < 1e-12 * max(abs(C11)))
fixed <- 1:p; random <- p + seq_len(a)

df_of <- function(lam, cov_of) {
  v <- as.numeric(t(lam) %*% cov_of(theta) %*% lam)
  g <- grad(function(th) as.numeric(t(lam) %*% cov_of(th) %*% lam), theta)
  v^2 / as.numeric(t(g) %*% Hinv %*% g)
}
rows <- list(c(0, 1, 0), c(1, 5, 0), c(0, 0, 1), c(1, 2.5, -0.7))
row_refs <- lapply(rows, function(l) list(
  l = l, v = as.numeric(t(l) %*% C11 %*% l), df = df_of(l, C11f),
  lmertest = contest(fit, matrix(l, 1), joint = FALSE)$df))

L <- rbind(c(0, 1, 0), c(0, 0, 1), c(1, 4, 0.5))
eig <- eigen(L %*% C11 %*% t(L), symmetric = TRUE)
nu <- vapply(seq_len(nrow(L)), function(k) {
  b <- as.numeric(t(eig$vectors[, k]) %*% L)
  eig$values[k]^2 / as.numeric({ g <- grad(function(th) as.numeric(t(b) %*% C11f(th) %*% b), theta); t(g) %*% Hinv %*% g })
}, 0)
stopifnot(all(nu > 2))
E <- sum(nu / (nu - 2))
overall <- list(L = L, df = 2 * E / (E - nrow(L)), lmertest = contest(fit, L, joint = TRUE)$DenDF)

# A BLUP-type combination: the mean of group 2 at x1 = 5, x2 = 0.
x <- c(1, 5, 0); block <- 1
z <- numeric(a); z[block + 1] <- 1
xz <- list(x = x, block = block, z_block = 1,
           v = as.numeric(t(c(x, z)) %*% C %*% c(x, z)), df = df_of(c(x, z), Cf))

ref <- list(
  theta = theta, h_inverse = Hinv, residual_df = N - p, c11 = C11,
  marginal_derivatives = list(t(X) %*% Vi %*% Z %*% t(Z) %*% Vi %*% X, t(X) %*% Vi %*% Vi %*% X),
  random_effects = as.numeric(ranef(fit)$grp[, 1]),
  c21 = C[random, fixed], c22 = C[random, random],
  g_block = theta[1], g_derivative = 1 / theta[1]^2,
  mme_d_residual = t(X) %*% X / theta[2]^2,
  mme_a = lapply(seq_len(a), function(k) matrix(colSums(X[grp == k, , drop = FALSE]), 1) / theta[2]^2),
  mme_s = lapply(seq_len(a), function(k) sizes[k] / theta[2]^2),
  rows = row_refs, overall = overall, xz = xz)
writeLines(to_json(ref), "satterthwaite.json")
