# Reference values for qxfit's --emmeans: emmeans on lm() fits of the shipped public datasets, for
# the requests the end-to-end test hands the tool (tests/tools/qxfit_emmeans_test.cpp). Each run
# gives the data file, the formula and the request as qxfit takes them, the factors' level texts
# (level codes in the layout of qx_emmeans.R index them), and emmeans' means, pairwise comparisons
# under every adjustment, contrasts and joint tests as qx_emmeans.R forms them.
#
# Covariates: emmeans holds a covariate at the mean of its column and applies the model's function to
# that (log(mean(hp))), qxfit at the mean of the model's variable (mean(log(hp))); with --at both
# apply the function to the given value, so the mtcars run gives --at. emmeans also keeps a covariate
# with two values (a 0/1 column) at both values and averages over them, where qxfit holds every
# covariate at its mean; the runs have no such covariate.
#
# Run from this folder: Rscript emmeans_qxfit.R   (writes emmeans_qxfit.json)

source("qx_emmeans.R")
source("emmeans_qxfit_adjust.R")

make_run <- function(name, file, formula, factors, requests, note = "") {
  df <- read_data(file)
  data <- r_data(df, factors)
  f <- as.formula(formula)
  environment(f) <- environment()  # where emmeans finds `data` again
  fit <- lm(f, data = data)
  list(name = name, note = note, data = file.path("data", file), formula = formula,
       factors = lapply(factors, function(v) list(name = v, levels = I(as.character(qx_levels(df[[v]]))))),
       df_error = df.residual(fit),
       requests = lapply(requests, function(r) {
         spec <- r$spec
         r$spec <- NULL
         out <- c(list(spec = spec), do.call(request, c(list(fit, data), r)))
         if (!is.null(out$contrasts)) out$contrasts <- adjust_contrasts(out$contrasts)
         out
       }))
}

runs <- list(
  make_run("warpbreaks", "warpbreaks.csv", "breaks ~ wool*tension", c("wool", "tension"),
           list(list(spec = "tension | wool", factors = c("tension", "wool"), compare = "tension"),
                list(spec = "tension", factors = "tension", compare = "tension"),
                list(spec = "wool", factors = "wool", compare = "wool"),
                list(spec = "wool*tension", factors = c("wool", "tension"), compare = c("wool", "tension"),
                     contrasts = FALSE)),
           note = "balanced two-way design with interaction"),
  make_run("salaries", "Salaries.csv", "salary ~ rank*discipline + sex + yrs.service",
           c("rank", "discipline", "sex"),
           list(list(spec = "rank | discipline", factors = c("rank", "discipline"), compare = "rank",
                     at = list(yrs.service = 10)),
                list(spec = "rank", factors = "rank", compare = "rank"),
                list(spec = "discipline | rank", factors = c("discipline", "rank"), compare = "discipline")),
           note = "carData's Salaries: unbalanced, a covariate held at its mean and at 10"),
  make_run("moore", "Moore.csv", "conformity ~ partner.status*fcategory + fscore",
           c("partner.status", "fcategory"),
           list(list(spec = "fcategory | partner.status", factors = c("fcategory", "partner.status"),
                     compare = "fcategory"),
                list(spec = "partner.status", factors = "partner.status", compare = "partner.status",
                     at = list(fscore = 60))),
           note = "carData's Moore: unbalanced two-way design with a covariate"),
  make_run("mtcars", "mtcars.csv", "mpg ~ factor(cyl) + log(hp) + wt", c("cyl"),
           list(list(spec = "cyl", factors = "cyl", compare = "cyl", at = list(hp = 100))),
           note = "a factor of numbers and a covariate that is a function of a column, held with --at")
)

qx_write_json(list(alpha = alpha, runs = runs), "emmeans_qxfit.json")
