# qxfit on a file with missing values, written as R writes them (NA) and as empty fields: warpbreaks
# with a missing response, a missing factor value and a missing covariate. The script writes the
# file (qxfit_missing.csv) beside the reference; rows with a missing model value are left out.
# Run from this folder: Rscript qxfit_missing.R  (writes qxfit_missing.csv and qxfit_missing.json)
source("qxfit_reference.R")
d <- read.csv(file.path("..", "..", "data", "warpbreaks.csv"), stringsAsFactors = FALSE)
d$x <- round((seq_len(nrow(d)) * 0.37) %% 1.9, 3)
d$breaks[c(3, 20)] <- NA
d$tension[c(7, 41)] <- NA
d$x[50] <- NA
out <- d
out$tension[7] <- ""  # an empty field is missing as well
write.csv(out, "qxfit_missing.csv", row.names = FALSE, quote = FALSE, na = "NA")
qxfit_case("qxfit_missing", "tests/reference/qxfit_missing.csv", "breaks ~ wool + tension + x", list(),
           "breaks",
           list(list(factors = "wool", nest = 0, covs = character(), r = "wool"),
                list(factors = "tension", nest = 0, covs = character(), r = "tension"),
                list(factors = character(), nest = integer(), covs = "x", r = "x")),
           df = d)
