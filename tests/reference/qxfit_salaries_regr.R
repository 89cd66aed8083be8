# qxfit with regression weights that include zeros: Salaries weighted by years of service, with 90%
# confidence bounds. The eleven professors with no years of service are left out, as lm() leaves out
# zero weights.
# Run from this folder: Rscript qxfit_salaries_regr.R  (writes qxfit_salaries_regr.json)
source("qxfit_reference.R")
qxfit_case("qxfit_salaries_regr", "data/Salaries.csv", "salary ~ rank + discipline + sex",
           list("--regr-weight", "yrs.service", "--confidence", "0.9"), "salary",
           list(list(factors = "rank", nest = 0, covs = character(), r = "rank"),
                list(factors = "discipline", nest = 0, covs = character(), r = "discipline"),
                list(factors = "sex", nest = 0, covs = character(), r = "sex")),
           regr = "yrs.service", level = 0.9)
