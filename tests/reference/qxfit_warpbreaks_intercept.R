# qxfit on a model with only an intercept: breaks ~ 1 on warpbreaks. The intercept's test is its t test
# squared, as summary(lm(breaks ~ 1)) and car::Anova report it, in the Type I and Type III tables alike;
# there is no corrected model to test (summary.lm gives no F statistic).
# Run from this folder: Rscript qxfit_warpbreaks_intercept.R  (writes qxfit_warpbreaks_intercept.json)
source("qxfit_reference.R")
qxfit_case("qxfit_warpbreaks_intercept", "data/warpbreaks.csv", "breaks ~ 1", list(), "breaks", list())
