# Reference expansions of R model formulas: for each formula, R's terms() gives the ordered terms
# (each as the set of its variables) and whether the model has an intercept. qxfit's formula parser
# must expand the same formulas to the same terms in the same order.
# Run from this folder: Rscript qxfit_formulas.R  (writes qxfit_formulas.json)
library(jsonlite)
invisible(Sys.setlocale("LC_COLLATE", "C"))

formulas <- c(
  "y ~ A",
  "y ~ A + B",
  "y ~ A*B",
  "y ~ A*B*C",
  "y ~ A*B + x",
  "y ~ x + A*B - 1",
  "y ~ 0 + A + x",
  "y ~ -1 + A",
  "y ~ A - 1 + 1",
  "y ~ 1",
  "y ~ (A + B + C)^2",
  "y ~ (A + B + C)^2 - A:B",
  "y ~ A*B*C - A:B:C",
  "y ~ A/B",
  "y ~ (A + B)/C",
  "y ~ B %in% A",
  "y ~ A + B %in% A",
  "y ~ A:B + B:A + A",
  "y ~ A:x + x + A",
  "y ~ x + I(x^2) + I(x^3)",
  "y ~ A*x + A:I(x^2)",
  "y ~ (A + x)^3",
  "y ~ A + B + A - B",
  "y ~ A:B:C + A:B + A"
)

case <- function(text) {
  tt <- terms(as.formula(text))
  fac <- attr(tt, "factors")
  terms <- if (length(fac) == 0) list() else
    lapply(seq_len(ncol(fac)), function(j) I(sort(rownames(fac)[fac[, j] > 0])))
  list(formula = text, intercept = attr(tt, "intercept") == 1, terms = terms)
}

out <- lapply(formulas, case)
writeLines(toJSON(out, auto_unbox = TRUE, pretty = TRUE), "qxfit_formulas.json")
