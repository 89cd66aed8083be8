# qxfit on an unbalanced two-way design with an empty cell: mtcars, cylinders by gears (no car has
# 8 cylinders and 4 gears), both numeric columns taken as factors with --factor. With an empty cell car's
# Type III tests do not apply; the Type III hypotheses are built here from their textbook definition
# (qx_type3.R) instead.
# Run from this folder: Rscript qxfit_mtcars_empty_cell.R  (writes qxfit_mtcars_empty_cell.json)
source("qxfit_reference.R")
qxfit_case("qxfit_mtcars_empty_cell", "data/mtcars.csv", "mpg ~ cyl*gear", list("--factor", "cyl,gear"), "mpg",
           list(list(factors = "cyl", nest = 0, covs = character(), r = "cyl"),
                list(factors = "gear", nest = 0, covs = character(), r = "gear"),
                list(factors = c("cyl", "gear"), nest = c(0, 0), covs = character(), r = "cyl:gear")),
           factors = c("cyl", "gear"), type3 = "textbook")
