# Shared by the qxfit_<case>.R scripts (data paths are relative to the top of the repository): fits one qxfit command's model with lm() on the library's
# over-parameterised design (qx_design.R) and writes qxfit_<case>.json with the command, the record
# counts and the reference values. The end-to-end tests run the command and compare.
#
# Records that qxfit leaves out are dropped here first: a missing value in a model variable, a
# weight that is not positive. Level codes are taken from the rows kept; their order, and so the
# order of the cells, is the same as in qxfit, which codes the levels of all rows.
library(jsonlite)
source("qx_design.R")
# qxfit sorts texts by bytes; R must do the same to order the cells alike.
invisible(Sys.setlocale("LC_COLLATE", "C"))

# `factors` lists the numeric columns that the command takes as factors (--factor), so that R's own
# fit of the formula, which gives the predictions, sees them as factors too.
qxfit_case <- function(name, data, formula, args, y, terms, intercept = TRUE, freq = NULL, regr = NULL,
                       df = NULL, factors = character()) {
  if (is.null(df)) df <- read.csv(file.path("..", "..", data), stringsAsFactors = FALSE)
  used <- unique(c(y, unlist(lapply(terms, function(t) c(t$factors, t$covs))), freq, regr))
  keep <- complete.cases(df[used])
  for (w in c(freq, regr)) keep <- keep & !is.na(df[[w]]) & df[[w]] > 0
  kept <- df[keep, , drop = FALSE]
  ref <- qx_lm_reference(kept, y, terms, intercept, freq, regr)

  # The unscaled covariance diagonal (zero for aliased parameters), from which qxfit forms the
  # standard errors: the library hands out exactly this matrix.
  expanded <- if (is.null(freq)) kept else kept[rep(seq_len(nrow(kept)), kept[[freq]]), , drop = FALSE]
  d <- qx_design(expanded, terms, intercept)
  w <- if (is.null(regr)) rep(1, nrow(expanded)) else expanded[[regr]]
  fit <- lm(expanded[[y]] ~ d$X - 1, weights = w)
  diag_cov <- rep(0, ncol(d$X))
  diag_cov[!is.na(coef(fit))] <- diag(summary(fit)$cov.unscaled)
  ref$cov_unscaled_diagonal <- diag_cov

  # Predictions for every row: fitted values do not depend on the parameterisation, so R's own fit
  # of the formula gives them; a row with a missing predictor has none.
  rdf <- df
  for (f in factors) rdf[[f]] <- factor(rdf[[f]])
  wts <- if (!is.null(freq)) rdf[[freq]] else if (!is.null(regr)) rdf[[regr]] else NULL
  rdf$.w <- if (is.null(wts)) 1 else ifelse(is.na(wts) | wts <= 0, 0, wts)
  rfit <- lm(as.formula(formula), data = rdf[keep, , drop = FALSE], weights = .w)
  predicted <- suppressWarnings(predict(rfit, newdata = rdf))
  ref$predicted <- lapply(unname(predicted), function(v) if (is.na(v)) NULL else v)

  out <- list(data = data, formula = formula, args = args,
              records = list(read = nrow(df), used = sum(keep)), reference = ref)
  writeLines(toJSON(out, digits = NA, auto_unbox = TRUE, null = "null", pretty = TRUE),
             paste0(name, ".json"))
}
