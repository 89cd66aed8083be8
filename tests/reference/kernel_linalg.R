# Reference values for the kernel's dense linear algebra: Cholesky factor and solves (chol, solve),
# generalized inverses of a rank-deficient matrix (rank by qr, MASS::ginv for the invariant
# quadratic forms of estimable combinations), symmetric eigen-decomposition (eigen), rank and
# independent rows of a hypothesis matrix, multiples of extended rows, and residuals of an
# orthogonal projection (qr.resid).
# Run from this folder: Rscript kernel_linalg.R  (writes kernel_linalg.json)
library(jsonlite)
library(MASS)

set.seed(314159)
X <- matrix(round(rnorm(24), 3), 6, 4)
A <- crossprod(X)                      # positive definite
b <- c(1, -2, 0.5, 3)

Xd <- X
Xd[, 4] <- Xd[, 1] + Xd[, 2]           # aliased fourth column
B <- crossprod(Xd)                     # rank 3
Z <- matrix(round(rnorm(8), 3), 4, 2)  # B %*% Z: estimable combinations
C <- B %*% Z

# Hypothesis matrix: row 3 = 2 * row 1, row 5 = row 2 - row 4 (dependent on earlier rows).
L <- rbind(c(1, -1, 0, 0, 0),
           c(0, 1, -1, 0, 0.5),
           c(2, -2, 0, 0, 0),
           c(0, 0, 1, -1, 0),
           c(0, 1, -2, 1, 0.5))
independent <- integer(0)
for (i in seq_len(nrow(L))) {
  if (qr(L[c(independent, i), , drop = FALSE])$rank > length(independent)) independent <- c(independent, i)
}
pairs <- list(c(1, 3, 0, 0), c(1, 3, 1, 2), c(1, 3, 1, 3), c(1, 2, 0, 0), c(3, 1, -4, -2))
multiple <- sapply(pairs, function(p) {
  qr(rbind(c(L[p[1], ], p[3]), c(L[p[2], ], p[4])))$rank == 1
})

M1 <- matrix(round(rnorm(18), 3), 6, 3)
M2 <- matrix(round(rnorm(12), 3), 6, 2)
M2 <- cbind(M2, M2[, 1] * 2)           # a dependent basis column
M1[, 2] <- M2[, 1] - 3 * M2[, 2]       # this column lies in the span and must vanish
resid <- qr.resid(qr(M2), M1)

E <- matrix(c(4, 1, 0.5, 1, 3, 0.25, 0.5, 0.25, 2), 3, 3)
ev <- eigen(E, symmetric = TRUE)

# Baseline-category logit with K = 3 and a sparse row x of dimension 4 (entries 0, 2, 3).
x_idx <- c(0, 2, 3); x_val <- c(1, 0.5, -2)
x <- numeric(4); x[x_idx + 1] <- x_val
beta <- c(0.2, -0.1, 0.3, 0.05, -0.4, 0.25, 0.1, -0.2)
eta <- c(sum(x * beta[1:4]), sum(x * beta[5:8]), 0)
prob <- exp(eta) / sum(exp(eta))
pk <- prob[1:2]
info <- kronecker(diag(pk) - pk %o% pk, x %o% x)   # information of one unit-weight row

out <- list(
  x_idx = x_idx, x_val = x_val, beta = beta, probabilities = prob, log_ref = log(prob[3]),
  information = unname(info),
  A = unname(A), b = b,
  chol_lower = unname(t(chol(A))),
  solve_Ab = as.vector(solve(A, b)),
  inverse_A = unname(solve(A)),
  B = unname(B), rank_B = qr(B)$rank,
  inverse_B_leading = unname(solve(B[1:3, 1:3])),
  C = unname(C),
  C_ginv_C = unname(t(C) %*% ginv(B) %*% C),
  L = unname(L), rank_L = qr(L)$rank, independent_rows = independent - 1L,
  pairs = lapply(pairs, function(p) c(p[1] - 1, p[2] - 1, p[3], p[4])), multiple = multiple,
  M1 = unname(M1), M2 = unname(M2), resid = unname(resid),
  E = unname(E), eigen_values = ev$values, eigen_vectors = unname(ev$vectors)
)
writeLines(toJSON(out, digits = NA, auto_unbox = TRUE, matrix = "rowmajor"), "kernel_linalg.json")
