# Type III hypotheses built from their textbook definition, from the design matrix alone (Goodnight
# 1978, "Tests of hypotheses in fixed effects linear models"; SAS/STAT's chapter "The Four Types of
# Estimable Functions"), independently of how any program computes them.
#
# The estimable functions L b of a linear model are the rows L in the row space of X. For an effect F,
# with "other" the parameters of the effects that neither are F nor contain F, and "containing" those
# of the effects that contain F:
#   S_F = { L estimable : L is 0 on every other parameter }            (the general form, step 1)
#   C_F = { L estimable : L is 0 outside the containing parameters }    (the containing effects' functions)
#   T_F = { L in S_F : L . K = 0 for every K in C_F }                    (orthogonal to them, step 3)
# T_F is the space of F's Type III hypotheses: any basis of it gives the same F statistic, and its
# dimension is the effect's degrees of freedom. An effect F is contained in G when G has more factors,
# every factor of F is among G's, and both have the same covariates (the intercept, with none, is then
# contained in every effect of factors alone).

qx_null_space <- function(A, tol = 1e-9) {
  if (nrow(A) == 0) return(diag(ncol(A)))
  s <- svd(A, nu = 0, nv = ncol(A))
  rank <- sum(s$d > tol * max(1, s$d[1]))
  s$v[, seq_len(ncol(A)) > rank, drop = FALSE]
}

# effects: list of list(factors = c(...), covs = c(...)), the intercept as list(factors = character(),
# covs = character()); assign: for each column of X, the index of its effect in `effects`.
qx_contained <- function(f, g) {
  length(f$factors) < length(g$factors) && all(f$factors %in% g$factors) &&
    identical(sort(f$covs), sort(g$covs))
}

# The Type III hypothesis of effect e as the rows of a matrix (p columns), or NULL when it has none.
qx_type3_hypothesis <- function(X, effects, assign, e) {
  s <- svd(X)
  rank <- sum(s$d > 1e-9 * s$d[1])
  B <- s$v[, seq_len(rank), drop = FALSE]  # orthonormal basis of the estimable functions (as columns)
  containing <- which(vapply(effects, function(g) qx_contained(effects[[e]], g), TRUE))
  other <- setdiff(seq_along(effects), c(e, containing))
  in_other <- assign %in% other
  in_containing <- assign %in% containing
  S <- B %*% qx_null_space(B[in_other, , drop = FALSE])
  C <- B %*% qx_null_space(B[!in_containing, , drop = FALSE])
  T <- if (ncol(C) == 0) S else S %*% qx_null_space(t(C) %*% S)
  if (ncol(T) == 0) return(NULL)
  t(T)
}

# The F statistic of L b = 0 from lm()'s estimates b (0 for aliased parameters) and covariance V.
qx_wald_f <- function(L, b, V) {
  lb <- L %*% b
  as.numeric(t(lb) %*% solve(L %*% V %*% t(L), lb)) / nrow(L)
}
