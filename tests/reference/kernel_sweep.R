# Reference values for the kernel's sweep: weighted least squares by lm() on small designs whose
# columns are aliased (exactly collinear columns, a zero column, the over-parameterised one-way
# layout). lm() drops an aliased column in column order, as the sweep does, so its non-NA
# coefficients, its unscaled covariance and its weighted residual sum of squares are what the
# swept cross-product matrix must hold.
# Run from this folder: Rscript kernel_sweep.R  (writes kernel_sweep.json)
library(jsonlite)

case <- function(name, X, y, w) {
  fit <- lm.wfit(X, y, w)
  kept <- which(!is.na(fit$coefficients))
  Xk <- X[, kept, drop = FALSE]
  list(name = name, X = unname(X), y = y, w = w,
       kept = kept - 1L,
       coefficients = ifelse(is.na(fit$coefficients), 0, fit$coefficients),
       cov_unscaled = unname(chol2inv(qr.R(qr(sqrt(w) * Xk)))),
       rss = sum(w * fit$residuals^2),
       rank = fit$rank)
}

set.seed(20240601)
# One factor with three cells, intercept first: the last cell column is the sum of the intercept
# minus the other two.
g <- c(0, 0, 1, 1, 1, 2, 2)
X1 <- cbind(1, g == 0, g == 1, g == 2) * 1
y1 <- c(3.1, 2.9, 5.2, 4.8, 5.0, 7.3, 6.9)
w1 <- c(1, 2, 1, 0.5, 1, 3, 1)

# Covariates with a zero column and a column that is x1 - x2.
n <- 9
x1 <- round(rnorm(n, 10, 3), 3)
x2 <- round(rnorm(n, -4, 2), 3)
X2 <- cbind(1, x1, 0, x2, x1 - x2)
y2 <- round(2 + 0.5 * x1 - 1.5 * x2 + rnorm(n, 0, 0.3), 4)
w2 <- rep(1, n)

# Full rank, badly scaled: a covariate of order 1e6 next to the intercept.
x3 <- c(150000, 300000, 450000, 600000, 750000, 900000)
X3 <- cbind(1, x3, x3^2)
y3 <- c(0.11019, 0.21956, 0.32949, 0.43899, 0.54803, 0.65694)
w3 <- c(1, 1, 2, 2, 1, 1)

out <- list(case("oneway", X1, y1, w1), case("collinear", X2, y2, w2), case("scaled", X3, y3, w3))
writeLines(toJSON(out, digits = NA, auto_unbox = TRUE, matrix = "rowmajor"), "kernel_sweep.json")
