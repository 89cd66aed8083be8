# qxfit with `.` for every column but the response: ToothGrowth, len ~ . is len ~ supp + dose, the
# supplement a factor (texts) and the dose a covariate (numbers), in the columns' order as R's terms()
# expands it.
# Run from this folder: Rscript qxfit_toothgrowth_dot.R  (writes qxfit_toothgrowth_dot.json)
source("qxfit_reference.R")
qxfit_case("qxfit_toothgrowth_dot", "data/ToothGrowth.csv", "len ~ .", list(), "len",
           list(list(factors = "supp", nest = 0, covs = character(), r = "supp"),
                list(factors = character(), nest = integer(), covs = "dose", r = "dose")),
           rformula = "len ~ supp + dose")
