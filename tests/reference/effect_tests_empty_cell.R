# Tests of model effects on designs with empty cells, where the Type III hypotheses cannot be taken
# from car (whose sum-to-zero coding assumes every cell is there). Two designs:
#   - warpbreaks without the cell (B, H): breaks ~ wool * tension;
#   - mtcars: mpg ~ cyl * gear + am + wt, cylinders by gears without (8, 4), with a covariate and a
#     factor (am) partly confounded with gear.
# For each, the Type III hypotheses are built here from their textbook definition (qx_type3.R: the
# estimable functions that vanish on the effects not containing the effect, orthogonal to those of the
# effects containing it), on the library's over-parameterised design (qx_design.R), and their F
# statistics computed from lm()'s estimates and covariance. No L matrix of the library is used. Also
# written: anova()'s sequential tests, and a basis of the null space of X'X (every estimable row must
# vanish on it).
# Run from the repository root: Rscript tests/reference/effect_tests_empty_cell.R
source("tests/reference/qx_design.R")
source("tests/reference/qx_json.R")
source("tests/reference/qx_type3.R")

design_case <- function(name, df, y, factors, covariates, terms, rterms) {
  d <- qx_design(df, terms)
  X <- d$X
  fit <- lm(df[[y]] ~ X - 1)
  b <- coef(fit)
  aliased <- is.na(b)
  b[aliased] <- 0
  V <- matrix(0, ncol(X), ncol(X))
  V[!aliased, !aliased] <- vcov(fit, complete = FALSE)
  dfe <- fit$df.residual

  e <- eigen(crossprod(X), symmetric = TRUE)
  N <- e$vectors[, e$values < 1e-10 * e$values[1], drop = FALSE]
  stopifnot(ncol(N) == sum(aliased))

  test_row <- function(f, df1) list(F = f, df1 = df1, df2 = dfe, p = pf(f, df1, dfe, lower.tail = FALSE))

  # The effects as the library lists them: the intercept first, then the terms.
  effects <- c(list(list(factors = character(), covs = character())),
               lapply(terms, function(t) list(factors = t$factors, covs = t$covs)))
  assign <- d$effect + 2L  # qx_design numbers the intercept -1 and the terms from 0
  type3 <- lapply(seq_along(effects), function(k) {
    L <- qx_type3_hypothesis(X, effects, assign, k)
    if (is.null(L)) return(list(L = NULL, df1 = 0))
    stopifnot(max(abs(L %*% N)) < 1e-10)
    c(list(L = L), test_row(qx_wald_f(L, b, V), nrow(L)))
  })

  rdf <- df
  for (f in factors) rdf[[f]] <- factor(rdf[[f]])
  rfit <- lm(as.formula(paste(y, "~", paste(rterms, collapse = " + "))), data = rdf)
  a1 <- anova(rfit)
  mse <- deviance(rfit) / dfe
  type1 <- c(list(test_row(sum(df[[y]])^2 / nrow(df) / mse, 1)),
             lapply(rterms, function(t) test_row(a1[t, "F value"], a1[t, "Df"])))

  list(
    case = list(
      name = name, columns = I(c(y, factors, covariates)), dependent = y,
      factors = lapply(factors, function(f) list(name = f, levels = I(qx_levels(df[[f]])))),
      covariates = I(covariates),
      terms = lapply(terms, function(t) list(factors = I(t$factors), nest = I(t$nest), covs = I(t$covs))),
      intercept = TRUE, freq = NULL, regr = NULL,
      records = unname(do.call(cbind, c(list(df[[y]]), lapply(factors, function(f) qx_codes(df[[f]])),
                                        lapply(covariates, function(cv) df[[cv]]))))),
    null_space = N, df_error = dfe, type1 = type1, type3 = type3)
}

warp <- read.csv("data/warpbreaks.csv", stringsAsFactors = FALSE)
warp <- warp[!(warp$wool == "B" & warp$tension == "H"), ]
cars <- read.csv("data/mtcars.csv", stringsAsFactors = FALSE)
designs <- list(
  design_case("warpbreaks_empty_cell", warp, "breaks", c("wool", "tension"), character(),
              list(list(factors = "wool", nest = 0L, covs = character()),
                   list(factors = "tension", nest = 0L, covs = character()),
                   list(factors = c("wool", "tension"), nest = c(0L, 0L), covs = character())),
              c("wool", "tension", "wool:tension")),
  design_case("mtcars_empty_cell_covariate", cars, "mpg", c("cyl", "gear", "am"), "wt",
              list(list(factors = "cyl", nest = 0L, covs = character()),
                   list(factors = "gear", nest = 0L, covs = character()),
                   list(factors = "am", nest = 0L, covs = character()),
                   list(factors = character(), nest = integer(), covs = "wt"),
                   list(factors = c("cyl", "gear"), nest = c(0L, 0L), covs = character())),
              c("cyl", "gear", "am", "wt", "cyl:gear")))

qx_write_json(list(generated_by = "tests/reference/effect_tests_empty_cell.R", r_version = R.version.string,
                   designs = designs), "tests/reference/effect_tests_empty_cell.json")
