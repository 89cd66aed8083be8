# qxfit without an intercept: ToothGrowth, a slope on dose per supplement. Without an intercept the
# dose column is the sum of the two supplement-by-dose columns, so the last of these is aliased, and
# R-square and the model's overall test are the uncorrected ones.
# Run from this folder: Rscript qxfit_toothgrowth_noint.R  (writes qxfit_toothgrowth_noint.json)
source("qxfit_reference.R")
qxfit_case("qxfit_toothgrowth_noint", "data/ToothGrowth.csv", "len ~ supp*dose - 1", list(), "len",
           list(list(factors = "supp", nest = 0, covs = character(), r = "supp"),
                list(factors = character(), nest = integer(), covs = "dose", r = "dose"),
                list(factors = "supp", nest = 0, covs = "dose", r = "supp:dose")),
           intercept = FALSE)
