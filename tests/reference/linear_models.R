# Reference fits of the general linear model on the public datasets of data/, made with lm() on the
# library's over-parameterised design (qx_design.R), so that aliasing follows the same column order
# as the library's sweep. Each case carries the records exactly as the library reads them (factors
# coded 0..k-1 in sorted level order), the model, and lm()'s results.
# Run from the repository root: Rscript tests/reference/linear_models.R
library(jsonlite)
source("tests/reference/qx_design.R")

data_dir <- "data"
read_data <- function(name) read.csv(file.path(data_dir, name), stringsAsFactors = FALSE)

term <- function(factors = character(), nest = rep(0L, length(factors)), covs = character()) {
  list(factors = factors, nest = nest, covs = covs)
}

# One case: the data frame restricted to the columns the model uses, factors given in the settings'
# order (which breaks ties among factors of one nesting level in a term).
make_case <- function(name, df, y, factors, covariates, terms, intercept = TRUE, freq = NULL, regr = NULL,
                      note = "") {
  columns <- c(y, factors, covariates, freq, regr)
  records <- as.data.frame(lapply(columns, function(col) {
    if (col %in% factors) qx_codes(df[[col]]) else as.numeric(df[[col]])
  }))
  names(records) <- columns
  fit <- qx_lm_reference(df, y, terms, intercept, freq, regr)
  # lm()'s fitted values for the records as given (aliased coefficients count as 0).
  beta <- vapply(fit$parameters, function(p) p$estimate, 0)
  fitted <- drop(qx_design(df, terms, intercept)$X %*% beta)
  list(
    name = name, note = note, columns = I(columns), dependent = y,
    factors = lapply(factors, function(f) list(name = f, levels = I(as.character(qx_levels(df[[f]]))))),
    covariates = I(covariates),
    terms = lapply(terms, function(t) list(factors = I(t$factors), nest = I(t$nest), covs = I(t$covs))),
    intercept = intercept, freq = freq, regr = regr,
    records = unname(as.matrix(records)), fitted = I(unname(fitted)),
    parameters = fit$parameters, r_squared = fit$r_squared, rmse = fit$rmse, sigma = fit$sigma,
    df_error = fit$df_error, total_freq_weight = fit$total_freq_weight,
    total_regr_weight = fit$total_regr_weight)
}

warp <- read_data("warpbreaks.csv")
salaries <- read_data("Salaries.csv")
moore <- read_data("Moore.csv")
tooth <- read_data("ToothGrowth.csv")
mtcars_df <- read_data("mtcars.csv")
insects <- read_data("InsectSprays.csv")
plants <- read_data("PlantGrowth.csv")
npk_df <- read_data("npk.csv")

# Frequency-weighted form of InsectSprays: one row per (spray, count) with its number of cases.
insects_agg <- aggregate(list(n = rep(1, nrow(insects))), by = insects[c("spray", "count")], FUN = sum)
insects_agg$w <- (qx_codes(insects_agg$spray) + 1) / 3

cases <- list(
  make_case("warpbreaks_interaction", warp, "breaks", c("wool", "tension"), character(),
            list(term("wool"), term("tension"), term(c("wool", "tension"))),
            note = "balanced two-way design with interaction"),
  make_case("warpbreaks_empty_cell", warp[!(warp$wool == "B" & warp$tension == "H"), ], "breaks",
            c("wool", "tension"), character(),
            list(term("wool"), term("tension"), term(c("wool", "tension"))),
            note = "cell (B, H) removed: the interaction has 5 parameters"),
  make_case("warpbreaks_nested", warp, "breaks", c("wool", "tension"), character(),
            list(term("wool"), term(c("wool", "tension"), nest = c(0L, 1L))),
            note = "tension nested within wool"),
  make_case("salaries_unbalanced", salaries, "salary", c("rank", "discipline", "sex"),
            c("yrs.since.phd", "yrs.service"),
            list(term("rank"), term("discipline"), term("sex"), term(c("rank", "discipline")),
                 term(covs = "yrs.since.phd"), term(covs = "yrs.service")),
            note = "unbalanced three factors, an interaction and two covariates"),
  make_case("moore_unbalanced", moore, "conformity", c("partner.status", "fcategory"), "fscore",
            list(term("partner.status"), term("fcategory"), term(c("partner.status", "fcategory")),
                 term(covs = "fscore")),
            note = "unbalanced two-way design with a covariate"),
  make_case("toothgrowth_factor_by_covariate", tooth, "len", "supp", "dose",
            list(term("supp"), term(covs = "dose"), term("supp", covs = "dose")),
            note = "a separate slope of dose for each supplement"),
  make_case("mtcars_powers", mtcars_df, "mpg", "cyl", c("hp", "wt"),
            list(term("cyl"), term(covs = "hp"), term(covs = c("hp", "hp")), term(covs = "wt"),
                 term(covs = c("wt", "hp"))),
            note = "numeric factor, a square and a product of covariates"),
  make_case("npk_aliased", npk_df, "yield", c("block", "N", "P", "K"), character(),
            list(term("block"), term("N"), term("P"), term("K"), term(c("N", "P")), term(c("N", "K")),
                 term(c("P", "K")), term(c("N", "P", "K"))),
            note = "N:P:K is confounded with blocks, so its contrast is aliased"),
  make_case("insectsprays_freq", insects_agg, "count", "spray", character(), list(term("spray")),
            freq = "n", note = "frequency weights: aggregated records with their counts"),
  make_case("insectsprays_freq_regr", insects_agg, "count", "spray", character(), list(term("spray")),
            freq = "n", regr = "w", note = "frequency and regression weights together"),
  make_case("mtcars_regr", transform(mtcars_df, w = disp / 100), "mpg", "am", "wt",
            list(term("am"), term(covs = "wt"), term("am", covs = "wt")), regr = "w",
            note = "regression weights"),
  make_case("plantgrowth_no_intercept", plants, "weight", "group", character(), list(term("group")),
            intercept = FALSE, note = "no intercept: every cell mean is a parameter"),
  make_case("mtcars_no_intercept", mtcars_df, "mpg", character(), c("wt", "hp"),
            list(term(covs = "wt"), term(covs = "hp")), intercept = FALSE,
            note = "no intercept: R-square about zero")
)

# Doubles are written at 17 significant digits (jsonlite stops at 15) as verbatim JSON.
num <- function(x) sprintf("%.17g", x)
exact <- function(x) {
  if (is.list(x)) return(lapply(x, exact))
  if (!is.double(x)) return(x)
  if (is.matrix(x))
    return(structure(paste0("[", paste(apply(x, 1, function(r) paste0("[", paste(num(r), collapse = ","), "]")),
                                       collapse = ","), "]"), class = "json"))
  if (length(x) == 1 && !inherits(x, "AsIs")) return(structure(num(x), class = "json"))
  structure(paste0("[", paste(num(x), collapse = ","), "]"), class = "json")
}
writeLines(toJSON(exact(list(generated_by = "tests/reference/linear_models.R", r_version = R.version.string,
                             cases = cases)),
                  auto_unbox = TRUE, json_verbatim = TRUE, null = "null", pretty = FALSE),
           "tests/reference/linear_models.json")
