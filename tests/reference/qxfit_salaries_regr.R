# qxfit with regression weights that include zeros: Salaries weighted by years of service. The
# eleven professors with no years of service are left out, as lm() leaves out zero weights.
# Run from this folder: Rscript qxfit_salaries_regr.R  (writes qxfit_salaries_regr.json)
source("qxfit_reference.R")
qxfit_case("qxfit_salaries_regr", "data/Salaries.csv", "salary ~ rank + discipline + sex",
           list("--regr-weight", "yrs.service"), "salary",
           list(list(factors = "rank", nest = 0, covs = character()),
                list(factors = "discipline", nest = 0, covs = character()),
                list(factors = "sex", nest = 0, covs = character())),
           regr = "yrs.service")
