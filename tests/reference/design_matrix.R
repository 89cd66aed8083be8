# Reference design matrices: R's model.matrix() with every factor coded by all of its indicator columns
# (contrasts = FALSE), its columns then put in the library's layout: the intercept, then each term with
# one column per observed cell of its factors, cells in ascending order of their level codes (factors
# in the order of the library's cell keys: ascending nesting level, ties in the settings' order).
# model.matrix() also makes columns for cells that never occur; those must be all zero and are
# dropped. The selected matrix is checked against qx_design.R's own construction of the same layout.
# Public datasets: carData::Salaries, datasets::mtcars and datasets::warpbreaks (from data/).
# Run from the repository root: Rscript tests/reference/design_matrix.R
source("tests/reference/qx_design.R")
source("tests/reference/qx_json.R")

read_data <- function(name) read.csv(file.path("data", name), stringsAsFactors = FALSE)

# factors: key order; covs: the library's covariates (repeated for a power); r_piece: the covariate
# part of model.matrix's column names, split at ":".
term <- function(factors = character(), nest = rep(0L, length(factors)), covs = character(),
                 r_piece = covs) {
  list(factors = factors, nest = nest, covs = covs, r_piece = r_piece)
}

make_case <- function(name, df, y, factors, covariates, terms, formula, intercept = TRUE, note = "") {
  mf <- df
  for (f in factors) mf[[f]] <- factor(as.character(mf[[f]]), levels = as.character(qx_levels(df[[f]])))
  mm <- model.matrix(formula, mf, contrasts.arg = lapply(mf[factors], contrasts, contrasts = FALSE))
  stopifnot(nrow(mm) == nrow(df))
  mm_pieces <- lapply(strsplit(colnames(mm), ":", fixed = TRUE), sort)

  cols <- list()
  params <- list()
  pick <- function(pieces) {
    hit <- which(vapply(mm_pieces, function(p) identical(p, sort(pieces)), TRUE))
    stopifnot(length(hit) == 1)
    hit
  }
  used <- integer()
  if (intercept) {
    used <- pick("(Intercept)")
    params[[1]] <- list(effect = -1L, factors = I(character()), cell = I(integer()), covs = I(character()))
  }
  for (t in seq_along(terms)) {
    tm <- terms[[t]]
    if (length(tm$factors) == 0) {
      used <- c(used, pick(tm$r_piece))
      params[[length(params) + 1]] <- list(effect = t - 1L, factors = I(character()), cell = I(integer()),
                                           covs = I(tm$covs))
      next
    }
    codes <- sapply(tm$factors, function(f) qx_codes(df[[f]]))
    if (is.null(dim(codes))) codes <- matrix(codes, nrow = nrow(df))
    cells <- unique(codes)
    cells <- cells[do.call(order, as.data.frame(cells)), , drop = FALSE]
    for (r in seq_len(nrow(cells))) {
      levels_of_cell <- vapply(seq_along(tm$factors), function(j) {
        as.character(qx_levels(df[[tm$factors[j]]])[cells[r, j] + 1])
      }, "")
      used <- c(used, pick(c(paste0(tm$factors, levels_of_cell), tm$r_piece)))
      params[[length(params) + 1]] <- list(effect = t - 1L, factors = I(tm$factors), cell = I(unname(cells[r, ])),
                                           covs = I(tm$covs))
    }
  }
  X <- unname(mm[, used, drop = FALSE])
  # Columns of cells that never occur hold nothing.
  dropped <- setdiff(seq_len(ncol(mm)), used)
  stopifnot(all(mm[, dropped] == 0))
  stopifnot(isTRUE(all.equal(X, unname(qx_design(df, terms, intercept)$X), tolerance = 1e-15)))

  columns <- c(y, factors, covariates)
  records <- as.data.frame(lapply(columns, function(col) {
    if (col %in% factors) qx_codes(df[[col]]) else as.numeric(df[[col]])
  }))
  list(
    name = name, note = note, formula = paste(deparse(formula), collapse = ""), columns = I(columns),
    dependent = y,
    factors = lapply(factors, function(f) list(name = f, levels = I(as.character(qx_levels(df[[f]]))))),
    covariates = I(covariates),
    terms = lapply(terms, function(t) list(factors = I(t$factors), nest = I(t$nest), covs = I(t$covs))),
    intercept = intercept, freq = NULL, regr = NULL, records = unname(as.matrix(records)),
    parameters = params, matrix = X)
}

salaries <- read_data("Salaries.csv")
# One cell of rank x discipline x sex removed: the three-way term has 11 columns, not 12.
salaries_cut <- salaries[!(salaries$rank == "AsstProf" & salaries$discipline == "A" &
                             salaries$sex == "Female"), ]
mtcars_df <- read_data("mtcars.csv")
warp <- read_data("warpbreaks.csv")
warp_cut <- warp[!(warp$wool == "B" & warp$tension == "H"), ]

cases <- list(
  make_case("salaries_crossed", salaries_cut, "salary", c("rank", "discipline", "sex"),
            c("yrs.since.phd", "yrs.service"),
            list(term("rank"), term("discipline"), term(c("rank", "discipline")),
                 term("sex", covs = "yrs.service"), term(covs = "yrs.since.phd"),
                 term(covs = c("yrs.since.phd", "yrs.since.phd"), r_piece = "I(yrs.since.phd^2)"),
                 term(covs = c("yrs.since.phd", "yrs.service")),
                 term(c("rank", "discipline", "sex"))),
            salary ~ rank + discipline + rank:discipline + sex:yrs.service + yrs.since.phd +
              I(yrs.since.phd^2) + yrs.since.phd:yrs.service + rank:discipline:sex,
            note = "interactions, a factor-by-covariate term, a power, a covariate product, an empty cell"),
  make_case("salaries_nested_no_intercept", salaries, "salary", c("rank", "discipline"), "yrs.service",
            list(term("discipline"), term(c("discipline", "rank"), nest = c(0L, 1L)),
                 term("discipline", covs = "yrs.service")),
            salary ~ 0 + discipline + discipline:rank + discipline:yrs.service, intercept = FALSE,
            note = "rank within discipline, whose key order (discipline, rank) is not the settings' order"),
  make_case("mtcars_nested_powers", mtcars_df, "mpg", c("gear", "cyl", "am"), c("wt", "hp"),
            list(term("cyl"), term(c("cyl", "gear"), nest = c(0L, 1L)), term("am", covs = "wt"),
                 term(covs = "wt"), term(covs = c("wt", "wt", "wt"), r_piece = "I(wt^3)"),
                 term(covs = c("wt", "hp"))),
            mpg ~ cyl + cyl:gear + am:wt + wt + I(wt^3) + wt:hp,
            note = "gear within cyl with the empty cell (8, 4), a cube, a covariate product, numeric factors"),
  make_case("warpbreaks_empty_cell_no_intercept", warp_cut, "breaks", c("wool", "tension"), character(),
            list(term("wool"), term("tension"), term(c("wool", "tension"))),
            breaks ~ 0 + wool + tension + wool:tension, intercept = FALSE,
            note = "cell (B, H) removed, no intercept")
)

qx_write_json(list(generated_by = "tests/reference/design_matrix.R", r_version = R.version.string, cases = cases),
              "tests/reference/design_matrix.json")
