# Reference tests of model effects for general linear models fitted on the public datasets of data/:
#   Type I:    anova(lm(...)) with the terms in the library's model order (keep.order), plus the
#              intercept's sequential test, SS = (sum w y)^2 / sum w over the error mean square, which
#              anova() does not print;
#   Type III:  car::Anova(lm(...), type = 3) with sum-to-zero contrasts for every factor;
#   corrected: the overall regression F of summary(lm(...)).
# Wald chi-square forms (the library's test type 2) are df1 * F with upper chi-square tails.
# Frequency weights are expanded into repeated records for R; regression weights are lm() weights.
# Each case carries the records as the library reads them (factors coded 0..k-1 in sorted level
# order) and the model in the form of linear_models.json.
# Run from the repository root: Rscript tests/reference/effect_tests_linear.R
suppressMessages(library(car))
source("tests/reference/qx_design.R")
source("tests/reference/qx_json.R")

read_data <- function(name) read.csv(file.path("data", name), stringsAsFactors = FALSE)

term <- function(factors = character(), nest = rep(0L, length(factors)), covs = character()) {
  list(factors = factors, nest = nest, covs = covs)
}

test_row <- function(f, df1, df2) {
  list(F = f, df1 = df1, df2 = df2, p = pf(f, df1, df2, lower.tail = FALSE), chi = f * df1,
       chi_p = pchisq(f * df1, df1, lower.tail = FALSE))
}

# r_terms: R's labels of the library's effects, in model order (the intercept is added in front).
make_case <- function(name, df, y, factors, covariates, terms, formula, r_terms, intercept = TRUE,
                      freq = NULL, regr = NULL, note = "") {
  columns <- c(y, factors, covariates, freq, regr)
  records <- as.data.frame(lapply(columns, function(col) {
    if (col %in% factors) qx_codes(df[[col]]) else as.numeric(df[[col]])
  }))
  expanded <- if (is.null(freq)) df else df[rep(seq_len(nrow(df)), df[[freq]]), , drop = FALSE]
  for (f in factors) expanded[[f]] <- factor(expanded[[f]])
  expanded$.w <- if (is.null(regr)) 1 else expanded[[regr]]
  contrasts <- setNames(rep(list(contr.sum), length(factors)), factors)
  fit <- lm(terms(as.formula(formula), keep.order = TRUE), data = expanded, weights = .w,
            contrasts = contrasts)
  stopifnot(!any(is.na(coef(fit))))
  mse <- sum(expanded$.w * residuals(fit)^2) / fit$df.residual
  dfe <- fit$df.residual

  a1 <- anova(fit)
  type1 <- lapply(r_terms, function(t) test_row(a1[t, "F value"], a1[t, "Df"], dfe))
  a3 <- Anova(fit, type = 3)
  type3 <- lapply(r_terms, function(t) test_row(a3[t, "F value"], a3[t, "Df"], dfe))
  if (intercept) {
    yy <- expanded[[y]]
    ss0 <- sum(expanded$.w * yy)^2 / sum(expanded$.w)
    type1 <- c(list(test_row(ss0 / mse, 1, dfe)), type1)
    type3 <- c(list(test_row(a3["(Intercept)", "F value"], 1, dfe)), type3)
  }
  fs <- summary(fit)$fstatistic
  list(
    name = name, note = note, columns = I(columns), dependent = y,
    factors = lapply(factors, function(f) list(name = f, levels = I(as.character(qx_levels(df[[f]]))))),
    covariates = I(covariates),
    terms = lapply(terms, function(t) list(factors = I(t$factors), nest = I(t$nest), covs = I(t$covs))),
    intercept = intercept, freq = freq, regr = regr, formula = formula,
    records = unname(as.matrix(records)),
    df_error = dfe, type1 = type1, type3 = type3,
    corrected = test_row(unname(fs["value"]), unname(fs["numdf"]), unname(fs["dendf"])))
}

warp <- read_data("warpbreaks.csv")
moore <- read_data("Moore.csv")
npk_df <- read_data("npk.csv")
salaries <- read_data("Salaries.csv")
tooth <- read_data("ToothGrowth.csv")
mtcars_df <- read_data("mtcars.csv")

# warpbreaks as (breaks, wool, tension) with the number of its repeats: frequency weights.
warp_agg <- aggregate(list(n = rep(1, nrow(warp))), by = warp[c("breaks", "wool", "tension")], FUN = sum)
stopifnot(any(warp_agg$n > 1))

cases <- list(
  make_case("warpbreaks_balanced", warp, "breaks", c("wool", "tension"), character(),
            list(term("wool"), term("tension"), term(c("wool", "tension"))),
            "breaks ~ wool + tension + wool:tension", c("wool", "tension", "wool:tension"),
            note = "balanced two-way design with interaction"),
  make_case("moore_unbalanced", moore, "conformity", c("partner.status", "fcategory"), character(),
            list(term("partner.status"), term("fcategory"), term(c("partner.status", "fcategory"))),
            "conformity ~ partner.status + fcategory + partner.status:fcategory",
            c("partner.status", "fcategory", "partner.status:fcategory"),
            note = "unbalanced two-way design with interaction"),
  make_case("npk_three_factors", npk_df, "yield", c("N", "P", "K"), character(),
            list(term("N"), term("P"), term("K"), term(c("N", "P")), term(c("N", "K")), term(c("P", "K")),
                 term(c("N", "P", "K"))),
            "yield ~ N + P + K + N:P + N:K + P:K + N:P:K",
            c("N", "P", "K", "N:P", "N:K", "P:K", "N:P:K"),
            note = "balanced three-way factorial"),
  make_case("salaries_three_factors", salaries, "salary", c("rank", "discipline", "sex"), "yrs.since.phd",
            list(term("rank"), term("discipline"), term("sex"), term(c("rank", "discipline")),
                 term(c("rank", "sex")), term(c("discipline", "sex")), term(c("rank", "discipline", "sex")),
                 term(covs = "yrs.since.phd")),
            paste("salary ~ rank + discipline + sex + rank:discipline + rank:sex + discipline:sex +",
                  "rank:discipline:sex + yrs.since.phd"),
            c("rank", "discipline", "sex", "rank:discipline", "rank:sex", "discipline:sex",
              "rank:discipline:sex", "yrs.since.phd"),
            note = "unbalanced three-way design with every interaction and a covariate"),
  make_case("toothgrowth_factor_by_covariate", tooth, "len", "supp", "dose",
            list(term("supp"), term(covs = "dose"), term("supp", covs = "dose")),
            "len ~ supp + dose + supp:dose", c("supp", "dose", "supp:dose"),
            note = "a separate slope of dose for each supplement"),
  make_case("moore_nested", moore, "conformity", c("partner.status", "fcategory"), character(),
            list(term("partner.status"), term(c("partner.status", "fcategory"), nest = c(0L, 1L))),
            "conformity ~ partner.status + partner.status:fcategory",
            c("partner.status", "partner.status:fcategory"),
            note = "fcategory nested within partner.status, unbalanced"),
  make_case("warpbreaks_freq", warp_agg, "breaks", c("wool", "tension"), character(),
            list(term("wool"), term("tension"), term(c("wool", "tension"))),
            "breaks ~ wool + tension + wool:tension", c("wool", "tension", "wool:tension"), freq = "n",
            note = "frequency weights: distinct records with their counts; R fits the expanded data"),
  make_case("mtcars_regr", transform(mtcars_df, w = disp / 100), "mpg", c("cyl", "am"), "wt",
            list(term("cyl"), term("am"), term(c("cyl", "am")), term(covs = "wt")),
            "mpg ~ cyl + am + cyl:am + wt", c("cyl", "am", "cyl:am", "wt"), regr = "w",
            note = "regression weights, unbalanced two-way design and a covariate"),
  make_case("toothgrowth_no_intercept", tooth, "len", "supp", "dose",
            list(term("supp"), term(covs = "dose")),
            "len ~ 0 + supp + dose", c("supp", "dose"), intercept = FALSE,
            note = "no intercept: the factor's test covers both supplement intercepts")
)

qx_write_json(list(generated_by = "tests/reference/effect_tests_linear.R", r_version = R.version.string,
                   car_version = as.character(packageVersion("car")), cases = cases),
              "tests/reference/effect_tests_linear.json")
