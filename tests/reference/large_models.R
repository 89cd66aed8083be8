# Reference fits and tests of model effects for models with more than 256 parameters, which the
# library sweeps in double precision a block of pivots at a time:
#   estimates, standard errors, R-square and RMSE: lm() on the library's over-parameterised design
#              (qx_design.R), which aliases the same columns;
#   Type I:    anova() with sum-to-zero contrasts, the intercept's sequential test added as in
#              effect_tests_linear.R;
#   Type III:  car::Anova(type = 3) with sum-to-zero contrasts (left out where an interaction has
#              empty cells, whose Type III hypotheses car forms differently);
#   corrected: the overall F of summary(lm()).
# Cases: a real rating data set with an instructor factor of many levels (lme4::InstEval), main
# effects and, on fewer instructors, the instructor-by-service interaction with empty cells; and an
# unbalanced 20 x 15 crossing with a covariate and frequency weights built to stress the blocked sweep.
# Frequency weights are expanded into repeated records for R.
# Run from the repository root: Rscript tests/reference/large_models.R
suppressMessages({
  library(car)
  library(lme4)
})
source("tests/reference/qx_design.R")
source("tests/reference/qx_json.R")

term <- function(factors = character(), nest = rep(0L, length(factors)), covs = character()) {
  list(factors = factors, nest = nest, covs = covs)
}

test_row <- function(f, df1, df2) {
  list(F = f, df1 = df1, df2 = df2, p = pf(f, df1, df2, lower.tail = FALSE))
}

make_case <- function(name, df, y, factors, covariates, terms, formula, r_terms, freq = NULL, type3 = TRUE,
                      note = "") {
  columns <- c(y, factors, covariates, freq)
  records <- as.data.frame(lapply(columns, function(col) {
    if (col %in% factors) qx_codes(df[[col]]) else as.numeric(df[[col]])
  }))
  ref <- qx_lm_reference(df, y, terms, TRUE, freq, NULL)
  stopifnot(length(ref$parameters) > 256)

  expanded <- if (is.null(freq)) df else df[rep(seq_len(nrow(df)), df[[freq]]), , drop = FALSE]
  for (f in factors) expanded[[f]] <- factor(expanded[[f]])
  contrasts <- setNames(rep(list(contr.sum), length(factors)), factors)
  fit <- lm(terms(as.formula(formula), keep.order = TRUE), data = expanded, contrasts = contrasts)
  dfe <- fit$df.residual
  mse <- sum(residuals(fit)^2) / dfe
  a1 <- anova(fit)
  ss0 <- sum(expanded[[y]])^2 / nrow(expanded)
  type1 <- c(list(test_row(ss0 / mse, 1, dfe)), lapply(r_terms, function(t) test_row(a1[t, "F value"], a1[t, "Df"], dfe)))
  adjusted <- NULL
  if (type3) {
    a3 <- Anova(fit, type = 3)
    adjusted <- c(list(test_row(a3["(Intercept)", "F value"], 1, dfe)),
               lapply(r_terms, function(t) test_row(a3[t, "F value"], a3[t, "Df"], dfe)))
  }
  fs <- summary(fit)$fstatistic
  list(
    name = name, note = note, columns = I(columns), dependent = y,
    factors = lapply(factors, function(f) list(name = f, levels = I(as.character(qx_levels(df[[f]]))))),
    covariates = I(covariates),
    terms = lapply(terms, function(t) list(factors = I(t$factors), nest = I(t$nest), covs = I(t$covs))),
    intercept = TRUE, freq = freq, regr = NULL, formula = formula,
    records = unname(as.matrix(records)),
    parameters = ref$parameters, r_squared = ref$r_squared, rmse = ref$rmse, sigma = ref$sigma,
    df_error = ref$df_error, total_freq_weight = ref$total_freq_weight, total_regr_weight = ref$total_regr_weight,
    type1 = type1, type3 = adjusted,
    corrected = test_row(unname(fs["value"]), unname(fs["numdf"]), unname(fs["dendf"])))
}

# Ratings (y, 1 to 5) of lecturers d by students; `service` whether the lecture belongs to a service
# course, `studage` the student's semester. Instructors are taken in their level order.
ratings <- as.data.frame(InstEval)
instructors <- function(n) {
  keep <- ratings[as.integer(ratings$d) <= n, c("y", "d", "service", "studage")]
  keep$d <- as.integer(as.character(keep$d))
  keep$service <- as.integer(as.character(keep$service))
  keep$studage <- as.integer(as.character(keep$studage))
  keep$y <- as.numeric(keep$y)
  keep
}
main <- instructors(290)
by_service <- instructors(140)
stopifnot(any(table(by_service$d, by_service$service) == 0))

# 20 x 15 crossing, every cell observed 1 to 4 times with frequency weights 1 to 3, and a covariate.
set.seed(20240618)
cells <- expand.grid(A = 0:19, B = 0:14)
crossed <- cells[rep(seq_len(nrow(cells)), sample(1:4, nrow(cells), replace = TRUE)), ]
crossed$x <- round(runif(nrow(crossed), -3, 3), 3)
crossed$w <- sample(1:3, nrow(crossed), replace = TRUE)
crossed$y <- round(2 + 0.1 * crossed$A - 0.05 * crossed$B + 0.01 * crossed$A * crossed$B + 0.7 * crossed$x +
                     rnorm(nrow(crossed)), 4)

cases <- list(
  make_case("insteval_main_effects", main, "y", c("d", "service", "studage"), character(),
            list(term("d"), term("service"), term("studage")), "y ~ d + service + studage",
            c("d", "service", "studage"), note = "290 instructors, 298 parameters"),
  make_case("insteval_instructor_by_service", by_service, "y", c("d", "service"), character(),
            list(term("d"), term("service"), term(c("d", "service"))), "y ~ d + service + d:service",
            c("d", "service", "d:service"), type3 = FALSE,
            note = "140 instructors by service course, with empty cells"),
  make_case("crossed_20_by_15", crossed, "y", c("A", "B"), "x",
            list(term("A"), term("B"), term(c("A", "B")), term(covs = "x")), "y ~ A + B + A:B + x",
            c("A", "B", "A:B", "x"), freq = "w", note = "unbalanced crossing with frequency weights"))
qx_write_json(cases, "tests/reference/large_models.json")
