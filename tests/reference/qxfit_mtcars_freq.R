# qxfit with frequency weights: mtcars, each car counted carb times, with 99% confidence bounds. R fits
# the expanded rows, so its residual degrees of freedom are the total frequency weight minus the rank,
# as the library's.
# Run from this folder: Rscript qxfit_mtcars_freq.R  (writes qxfit_mtcars_freq.json)
source("qxfit_reference.R")
qxfit_case("qxfit_mtcars_freq", "data/mtcars.csv", "mpg ~ wt + factor(cyl)",
           list("--freq-weight", "carb", "--confidence", "0.99"), "mpg",
           list(list(factors = character(), nest = integer(), covs = "wt", r = "wt"),
                list(factors = "cyl", nest = 0, covs = character(), r = "cyl")),
           freq = "carb", rformula = "mpg ~ wt + cyl", level = 0.99)
