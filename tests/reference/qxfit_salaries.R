# qxfit on an unbalanced design with a covariate and an interaction: carData's Salaries. R orders the
# terms main effects first, so the interaction comes after the covariate.
# Run from this folder: Rscript qxfit_salaries.R  (writes qxfit_salaries.json)
source("qxfit_reference.R")
qxfit_case("qxfit_salaries", "data/Salaries.csv", "salary ~ rank*sex + discipline + yrs.since.phd", list(),
           "salary",
           list(list(factors = "rank", nest = 0, covs = character(), r = "rank"),
                list(factors = "sex", nest = 0, covs = character(), r = "sex"),
                list(factors = "discipline", nest = 0, covs = character(), r = "discipline"),
                list(factors = character(), nest = integer(), covs = "yrs.since.phd", r = "yrs.since.phd"),
                list(factors = c("rank", "sex"), nest = c(0, 0), covs = character(), r = "rank:sex")))
