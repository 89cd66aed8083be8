# qxfit with functions of columns in the formula: log() of the response, log(), exp() and sqrt() of
# covariates, and a product of two of them inside I(), on mtcars with cylinders as a factor. The
# design's columns are the functions' values, computed here as R's model.frame computes them.
# Run from this folder: Rscript qxfit_mtcars_transform.R  (writes qxfit_mtcars_transform.json)
source("qxfit_reference.R")
d <- read.csv(file.path("..", "..", "data", "mtcars.csv"), stringsAsFactors = FALSE)
d[["log(mpg)"]] <- log(d$mpg)
d[["log(hp)"]] <- log(d$hp)
d[["exp(drat)"]] <- exp(d$drat)
d[["log(disp)"]] <- log(d$disp)
d[["sqrt(wt)"]] <- sqrt(d$wt)
qxfit_case("qxfit_mtcars_transform", "data/mtcars.csv",
           "log(mpg) ~ log(hp) + exp(drat) + I(sqrt(wt)*log(disp)) + factor(cyl)", list(), "log(mpg)",
           list(list(factors = character(), nest = integer(), covs = "log(hp)", r = "log(hp)"),
                list(factors = character(), nest = integer(), covs = "exp(drat)", r = "exp(drat)"),
                list(factors = character(), nest = integer(), covs = c("log(disp)", "sqrt(wt)"),
                     r = "I(sqrt(wt) * log(disp))"),
                list(factors = "cyl", nest = 0, covs = character(), r = "cyl")),
           df = d, rformula = "log(mpg) ~ log(hp) + exp(drat) + I(sqrt(wt) * log(disp)) + cyl")
