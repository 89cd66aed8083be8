# qxfit without an intercept: ToothGrowth, a slope on dose per supplement. Without an intercept the
# dose column is the sum of the two supplement-by-dose columns, so the last of these is aliased, and
# R-square is the uncorrected one.
# Run from this folder: Rscript qxfit_toothgrowth_noint.R  (writes qxfit_toothgrowth_noint.json)
source("qxfit_reference.R")
qxfit_case("qxfit_toothgrowth_noint", "data/ToothGrowth.csv", "len ~ supp*dose - 1", list(), "len",
           list(list(factors = "supp", nest = 0, covs = character()),
                list(factors = character(), nest = integer(), covs = "dose"),
                list(factors = "supp", nest = 0, covs = "dose")),
           intercept = FALSE)
