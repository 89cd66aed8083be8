# qxfit with a term that earlier terms alias completely: ToothGrowth, a cell per dose and a slope on
# dose. The slope lies in the span of the dose cells, so neither test can find a hypothesis for it: R's
# anova gives it no row and drop1 no degrees of freedom, and qxfit must report it untestable with the
# library's warning. Adjusted for the slope, the dose cells keep one degree of freedom (drop1). The two
# effects of the one column are labelled apart: "factor(dose)" and "dose". car
# refuses aliased models, and the Type III test of the intercept has no counterpart in R here.
# Run from this folder: Rscript qxfit_toothgrowth_aliased.R  (writes qxfit_toothgrowth_aliased.json)
source("qxfit_reference.R")
qxfit_case("qxfit_toothgrowth_aliased", "data/ToothGrowth.csv", "len ~ factor(dose) + dose", list(), "len",
           list(list(factors = "dose", nest = 0, covs = character(), r = "fdose", label = "factor(dose)"),
                list(factors = character(), nest = integer(), covs = "dose", r = "dose")),
           rformula = "len ~ fdose + dose", type3 = "drop1",
           prepare = function(e) { e$fdose <- factor(e$dose); e })
