# qxfit with a nested term: Salaries, rank within discipline. The outer factor (discipline) is the
# library's nesting level 0 and comes first in the cell keys; R calls the term discipline:rank.
# Run from this folder: Rscript qxfit_salaries_nested.R  (writes qxfit_salaries_nested.json)
source("qxfit_reference.R")
qxfit_case("qxfit_salaries_nested", "data/Salaries.csv", "salary ~ discipline + rank %in% discipline", list(),
           "salary",
           list(list(factors = "discipline", nest = 0, covs = character(), r = "discipline"),
                list(factors = c("discipline", "rank"), nest = c(0, 1), covs = character(),
                     r = "discipline:rank")))
