# Tests of model effects for breaks ~ wool * tension on warpbreaks without the cell (B, H). With an
# empty cell the Type III hypotheses of the main effects follow the library's construction (estimable
# functions orthogonal to those of the interaction), which no R function forms, so they are checked
# in two independent ways:
#   - estimability: every row of the library's L must vanish on the null space of X'X, whose basis N
#     is computed here from the library's over-parameterised design (qx_design.R);
#   - the statistic: the F of L b = 0 computed here by hand from lm()'s estimates and covariance,
#     F = (L b)' (L V L')^-1 (L b) / rank(L), for the library's L.
# The library's L comes from effect_tests_empty_cell_L.json, written by the test suite:
#   build/tests/inference/qx_inference_tests --gtest_also_run_disabled_tests \
#     --gtest_filter='*DISABLED_WriteLibraryTypeIIIHypotheses'
# Without that file the script writes everything else and no Type III statistics.
# Also written: anova()'s sequential tests, and the interaction's F from comparing the models with and
# without it (its Type III hypothesis is the whole interaction whatever the empty cell).
# Run from the repository root: Rscript tests/reference/effect_tests_empty_cell.R
source("tests/reference/qx_design.R")
source("tests/reference/qx_json.R")

warp <- read.csv("data/warpbreaks.csv", stringsAsFactors = FALSE)
df <- warp[!(warp$wool == "B" & warp$tension == "H"), ]
terms <- list(list(factors = "wool", nest = 0L, covs = character()),
              list(factors = "tension", nest = 0L, covs = character()),
              list(factors = c("wool", "tension"), nest = c(0L, 0L), covs = character()))
d <- qx_design(df, terms)
X <- d$X
fit <- lm(df$breaks ~ X - 1)
b <- coef(fit)
aliased <- is.na(b)
b[aliased] <- 0
V <- matrix(0, ncol(X), ncol(X))
V[!aliased, !aliased] <- vcov(fit, complete = FALSE)
dfe <- fit$df.residual

# Null space of X'X: eigenvectors of eigenvalue 0 (relative to the largest).
e <- eigen(crossprod(X), symmetric = TRUE)
N <- e$vectors[, e$values < 1e-10 * e$values[1], drop = FALSE]
stopifnot(ncol(N) == sum(aliased))

test_row <- function(f, df1, df2) list(F = f, df1 = df1, df2 = df2, p = pf(f, df1, df2, lower.tail = FALSE))

df$wool <- factor(df$wool)
df$tension <- factor(df$tension)
full <- lm(breaks ~ wool + tension + wool:tension, data = df)
a1 <- anova(full)
ss0 <- sum(df$breaks)^2 / nrow(df)
mse <- deviance(full) / dfe
type1 <- c(list(test_row(ss0 / mse, 1, dfe)),
           lapply(c("wool", "tension", "wool:tension"), function(t) test_row(a1[t, "F value"], a1[t, "Df"], dfe)))
cmp <- anova(lm(breaks ~ wool + tension, data = df), full)

type3 <- NULL
l_file <- "tests/reference/effect_tests_empty_cell_L.json"
if (file.exists(l_file)) {
  library_l <- jsonlite::fromJSON(l_file, simplifyMatrix = FALSE)$L
  type3 <- lapply(library_l, function(rows) {
    L <- do.call(rbind, lapply(rows, as.numeric))
    stopifnot(max(abs(L %*% N)) < 1e-10 * max(abs(L)))
    lb <- L %*% b
    f <- as.numeric(t(lb) %*% solve(L %*% V %*% t(L), lb)) / nrow(L)
    c(list(L = L), test_row(f, nrow(L), dfe))
  })
}

qx_write_json(list(
  generated_by = "tests/reference/effect_tests_empty_cell.R", r_version = R.version.string,
  case = list(
    name = "warpbreaks_empty_cell", columns = I(c("breaks", "wool", "tension")), dependent = "breaks",
    factors = lapply(c("wool", "tension"), function(f) list(name = f, levels = I(qx_levels(df[[f]])))),
    covariates = I(character()),
    terms = lapply(terms, function(t) list(factors = I(t$factors), nest = I(t$nest), covs = I(t$covs))),
    intercept = TRUE, freq = NULL, regr = NULL,
    records = unname(cbind(df$breaks, qx_codes(df$wool), qx_codes(df$tension)))),
  null_space = N, df_error = dfe, type1 = type1,
  interaction = test_row(cmp$F[2], cmp$Df[2], dfe),
  type3 = type3), "tests/reference/effect_tests_empty_cell.json")
