# Shared by the reference scripts: builds the over-parameterised design matrix of qxregres600r in
# R, so that lm() on it aliases exactly the columns the library's sweep marks redundant (both
# work through the columns in order and drop a column that is a combination of earlier ones).
#
# A term is list(factors = c(...), nest = c(...), covs = c(...)):
#   factors  factor column names in the order of the library's cell keys: ascending nesting level
#            (0 = outermost), ties in the order the model's factors were declared;
#   nest     nesting level of each factor (0 for plain crossing);
#   covs     covariate names, a name repeated for a power (x, x = x^2).
# Factor levels are coded 0..k-1 in sorted order (numerically when numeric), as qxfit does, except that
# a reference level (qx_reference_levels) comes last.

# Levels moved to the end by qxfit's --reference, by column name (set by the scripts that use it).
qx_reference_levels <- list()

qx_levels <- function(x, name = NULL) {
  levels <- if (is.numeric(x)) sort(unique(x)) else sort(unique(as.character(x)))
  reference <- if (is.null(name)) NULL else qx_reference_levels[[name]]
  if (!is.null(reference)) levels <- c(levels[levels != reference], levels[levels == reference])
  levels
}

qx_codes <- function(x, name = NULL) match(if (is.numeric(x)) x else as.character(x), qx_levels(x, name)) - 1L

# The label of a parameter in the library's PMML style: factor part by nesting level from the
# highest level down, each deeper level in parentheses, factors joined by " * ", then covariates.
qx_label <- function(term, cell_values) {
  if (length(term$factors) == 0 && length(term$covs) == 0) return("Intercept")
  fpart <- ""
  if (length(term$factors) > 0) {
    levs <- sort(unique(term$nest), decreasing = TRUE)
    opened <- 0
    for (i in seq_along(levs)) {
      idx <- which(term$nest == levs[i])
      piece <- paste0("[", term$factors[idx], "=", cell_values[idx], "]", collapse = " * ")
      if (i > 1) { fpart <- paste0(fpart, "(", piece); opened <- opened + 1 } else fpart <- piece
    }
    fpart <- paste0(fpart, strrep(")", opened))
  }
  cpart <- paste(term$covs, collapse = " * ")
  if (fpart == "") cpart else if (cpart == "") fpart else paste(fpart, "*", cpart)
}

# Returns list(X, labels, effect) for the rows of df (already restricted to the valid records).
qx_design <- function(df, terms, intercept = TRUE) {
  n <- nrow(df)
  cols <- list(); labels <- character(); effect <- integer()
  if (intercept) { cols[[1]] <- rep(1, n); labels <- "Intercept"; effect <- -1L }
  for (t in seq_along(terms)) {
    term <- terms[[t]]
    covprod <- rep(1, n)
    for (cv in term$covs) covprod <- covprod * df[[cv]]
    if (length(term$factors) == 0) {
      cols[[length(cols) + 1]] <- covprod
      labels <- c(labels, qx_label(term, character()))
      effect <- c(effect, t - 1L)
      next
    }
    codes <- sapply(term$factors, function(f) qx_codes(df[[f]], f))
    if (is.null(dim(codes))) codes <- matrix(codes, nrow = n)
    key <- apply(codes, 1, paste, collapse = ",")
    cells <- unique(codes)
    cells <- cells[do.call(order, as.data.frame(cells)), , drop = FALSE]
    for (r in seq_len(nrow(cells))) {
      hit <- key == paste(cells[r, ], collapse = ",")
      cols[[length(cols) + 1]] <- ifelse(hit, covprod, 0)
      vals <- sapply(seq_along(term$factors), function(j) {
        as.character(qx_levels(df[[term$factors[j]]], term$factors[j])[cells[r, j] + 1])
      })
      labels <- c(labels, qx_label(term, vals))
      effect <- c(effect, t - 1L)
    }
  }
  X <- do.call(cbind, cols)
  colnames(X) <- labels
  list(X = X, labels = labels, effect = effect)
}

# Fits the library's parameterisation with lm(). Frequency weights are expanded into repeated
# rows so that R's residual degrees of freedom are (sum of frequency weights) - rank, as ours.
qx_lm_reference <- function(df, y, terms, intercept = TRUE, freq = NULL, regr = NULL) {
  if (!is.null(freq)) df <- df[rep(seq_len(nrow(df)), df[[freq]]), , drop = FALSE]
  d <- qx_design(df, terms, intercept)
  w <- if (is.null(regr)) rep(1, nrow(df)) else df[[regr]]
  yy <- df[[y]]
  fit <- lm(yy ~ d$X - 1, weights = w)
  s <- summary(fit)
  co <- coef(fit)
  cm <- matrix(NA_real_, length(co), 4)
  cm[!is.na(co), ] <- coef(s)
  W <- nrow(df)
  rss <- sum(w * residuals(fit)^2)
  ybar <- sum(w * yy) / sum(w)
  tss <- if (intercept) sum(w * (yy - ybar)^2) else sum(w * yy^2)
  list(
    parameters = lapply(seq_along(co), function(i) list(
      label = d$labels[i], effect = d$effect[i], redundant = is.na(co[i]),
      estimate = if (is.na(co[i])) 0 else unname(co[i]),
      std_error = if (is.na(co[i])) NULL else cm[i, 2],
      t = if (is.na(co[i])) NULL else cm[i, 3],
      p = if (is.na(co[i])) NULL else cm[i, 4])),
    r_squared = 1 - rss / tss,
    # the library's root mean square error: sqrt of the residual sum of squares over W
    rmse = sqrt(rss / W),
    sigma = s$sigma,
    df_error = fit$df.residual,
    total_freq_weight = W,
    total_regr_weight = sum(w))
}
