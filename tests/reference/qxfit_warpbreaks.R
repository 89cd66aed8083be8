# qxfit on a balanced two-way design with interaction: R's warpbreaks.
# Run from this folder: Rscript qxfit_warpbreaks.R  (writes qxfit_warpbreaks.json)
source("qxfit_reference.R")
qxfit_case("qxfit_warpbreaks", "data/warpbreaks.csv", "breaks ~ wool*tension", list(), "breaks",
           list(list(factors = "wool", nest = 0, covs = character(), r = "wool"),
                list(factors = "tension", nest = 0, covs = character(), r = "tension"),
                list(factors = c("wool", "tension"), nest = c(0, 0), covs = character(), r = "wool:tension")))
