# qxfit with covariate powers and a factor-by-covariate term: mtcars, mpg on weight, its square,
# horsepower, and a separate weight slope per transmission (am, numeric, taken as a factor).
# Run from this folder: Rscript qxfit_mtcars_power.R  (writes qxfit_mtcars_power.json)
source("qxfit_reference.R")
qxfit_case("qxfit_mtcars_power", "data/mtcars.csv", "mpg ~ wt + I(wt^2) + hp + factor(am):wt", list(), "mpg",
           list(list(factors = character(), nest = integer(), covs = "wt", r = "wt"),
                list(factors = character(), nest = integer(), covs = c("wt", "wt"), r = "I(wt^2)"),
                list(factors = character(), nest = integer(), covs = "hp", r = "hp"),
                list(factors = "am", nest = 0, covs = "wt", r = "wt:am")),
           rformula = "mpg ~ wt + I(wt^2) + hp + am:wt")
