# Reference expansions of R model formulas: for each formula, R's terms() gives the ordered terms
# (each as the set of its variables) and whether the model has an intercept. Formulas with `.` are
# expanded over the columns listed with them (R's terms(formula, data)). qxfit's formula parser
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
  "y ~ A:B:C + A:B + A",
  "log(y) ~ log(x) + A",
  "sqrt(y) ~ exp(x) + I(log(x)^2) + A:sqrt(x)",
  "y ~ x + I(exp(x)^3) + log(x):A",
  "y ~ .",
  "y ~ . - x",
  "y ~ .^2",
  "log(y) ~ . + log(x)",
  "y ~ A*."
)

# `.` stands for every column of this data frame but the response, in its order.
columns <- data.frame(y = 1, A = 1, B = 1, x = 1, C = 1)

has_dot <- function(text) grepl("(^|[^[:alnum:]_.])\\.($|[^[:alnum:]_.])", text)

case <- function(text) {
  tt <- if (has_dot(text)) terms(as.formula(text), data = columns) else terms(as.formula(text))
  fac <- attr(tt, "factors")
  terms <- if (length(fac) == 0) list() else
    lapply(seq_len(ncol(fac)), function(j) I(sort(rownames(fac)[fac[, j] > 0])))
  list(formula = text, intercept = attr(tt, "intercept") == 1, terms = terms,
       columns = if (has_dot(text)) I(names(columns)) else NULL)
}

out <- lapply(formulas, case)
writeLines(toJSON(out, auto_unbox = TRUE, pretty = TRUE), "qxfit_formulas.json")
