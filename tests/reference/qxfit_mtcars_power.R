# qxfit with covariate powers and a factor-by-covariate term: mtcars, mpg on weight, its square,
# horsepower, and a separate weight slope per transmission (am, numeric, taken as a factor).
# Run from this folder: Rscript qxfit_mtcars_power.R  (writes qxfit_mtcars_power.json)
source("qxfit_reference.R")
qxfit_case("qxfit_mtcars_power", "data/mtcars.csv", "mpg ~ wt + I(wt^2) + hp + factor(am):wt", list(), "mpg",
           list(list(factors = character(), nest = integer(), covs = "wt"),
                list(factors = character(), nest = integer(), covs = c("wt", "wt")),
                list(factors = character(), nest = integer(), covs = "hp"),
                list(factors = "am", nest = 0, covs = "wt")))
