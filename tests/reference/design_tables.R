# Reference values for the factor tables: category counts, observed cells in key order, weighted
# covariate means, and weighted means and standard deviations of covariate products, over
# carData::Salaries (from data/Salaries.csv) with one cell of rank x discipline x sex removed and
# made-up frequency and regression weights (some frequency weights 0).
# Run from the repository root: Rscript tests/reference/design_tables.R
library(jsonlite)

d <- read.csv("data/Salaries.csv")
d <- d[!(d$rank == "AsstProf" & d$discipline == "B" & d$sex == "Female"), ]
n <- nrow(d)
i <- seq_len(n) - 1
code <- function(x) match(x, sort(unique(x))) - 1L
rows <- data.frame(rank = code(d$rank), discipline = code(d$discipline), phd = d$yrs.since.phd,
                   service = d$yrs.service, sex = code(d$sex), salary = d$salary,
                   w = i %% 4, g = 1 + (i %% 5) / 4)

w <- rows$w
v <- rows$w * rows$g
counts <- function(f, k) lapply(0:(k - 1), function(l) c(sum(w[f == l]), sum(f == l)))

# Observed cells of an effect, in ascending lexicographic order of the level codes.
cells <- function(cols) {
  u <- unique(rows[, cols, drop = FALSE])
  u <- u[do.call(order, unname(as.list(u))), , drop = FALSE]
  unname(as.matrix(u))
}
effects <- list(c("rank"), c("discipline"), c("rank", "discipline", "sex"), c("rank", "sex"))
effect_cells <- lapply(effects, cells)

# Parameter index of each record's cell per model effect: intercept 0, then the effects' cells.
offset <- 1
index <- matrix(0L, n, length(effects) + 1)
for (e in seq_along(effects)) {
  key <- apply(rows[, effects[[e]], drop = FALSE], 1, paste, collapse = ",")
  ckey <- apply(effect_cells[[e]], 1, paste, collapse = ",")
  index[, e + 1] <- offset + match(key, ckey) - 1
  offset <- offset + nrow(effect_cells[[e]])
}

wmean <- function(x, wt) sum(wt * x) / sum(wt)
wsd <- function(x, wt) sqrt(sum(wt * (x - wmean(x, wt))^2) / (sum(wt) - 1))
products <- list(rows$phd * rows$service, rows$phd^2)

out <- list(
  columns = names(rows),
  rows = unname(as.matrix(rows)),
  n_categories = c(3, 2, 2),
  factor_counts = list(counts(rows$rank, 3), counts(rows$discipline, 2), counts(rows$sex, 2)),
  effect_cells = effect_cells,
  n_parameters = offset,
  row_parameter_indices = index,
  # rank x discipline x sex has 11 of its 12 cells.
  incomplete_effect = 3,
  total_weight = sum(w),
  total_regr_weight = sum(v),
  sample_size = n,
  covariate_means = c(wmean(rows$phd, v), wmean(rows$service, v), wmean(rows$salary, v)),
  dependent_mean = wmean(rows$salary, w),
  cov_effect_means = sapply(products, wmean, wt = w),
  cov_effect_sd = sapply(products, wsd, wt = w)
)
write_json(out, "tests/reference/design_tables.json", digits = NA, auto_unbox = TRUE)
