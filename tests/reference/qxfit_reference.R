# Shared by the qxfit_<case>.R scripts (data paths are relative to the top of the repository): fits one
# qxfit command's model in R and writes qxfit_<case>.json with the command, the record counts and the
# reference values. The end-to-end tests run the command and compare.
#
# Two fits of the same model:
#   - lm() on the library's over-parameterised design (qx_design.R), for everything that depends on the
#     parameterisation: estimates, standard errors, t, p, confidence bounds (confint), the unscaled
#     covariance diagonal;
#   - lm() on R's own formula with sum-to-zero contrasts, for what does not: the Type I table
#     (anova), the Type III table (car::Anova(type = 3), which needs the sum-to-zero coding), the
#     corrected model (summary's overall F), and the fitted values.
# The chi-square forms are the F statistics times their degrees of freedom, with pchisq upper tails,
# and for a parameter t^2 with bounds from the normal quantile.
#
# Records that qxfit leaves out are dropped here first: a missing value in a model variable, a
# weight that is not positive. Level codes are taken from the rows kept; their order, and so the
# order of the cells, is the same as in qxfit, which codes the levels of all rows.
source("qx_design.R")
source("qx_json.R")
source("qx_type3.R")
suppressMessages(library(car))
# qxfit sorts texts by bytes; R must do the same to order the cells alike.
invisible(Sys.setlocale("LC_COLLATE", "C"))

# The label of a model effect as qxfit prints it: the parameter labels' layout (qx_label) without the
# levels ("wool * tension", "rank(discipline)", "am * wt", "wt * wt").
qx_effect_label <- function(term) {
  if (!is.null(term$label)) return(term$label)  # "factor(dose)" where the column is also a covariate
  gsub("\\[([^]]*)=\\]", "\\1", qx_label(term, rep("", length(term$factors))))
}

# One row of a table of model effects. `expect` says what the test must find: "test" (the values),
# "untestable" (R finds no degrees of freedom for the effect: qxfit must report no statistics and a
# warning) or "skip" (R has no comparable value).
# The sum of squares comes from R's table where it has one (`ss`), else from F df sigma^2.
qx_effect_test <- function(label, df1, f, df2, ss) {
  list(effect = label, expect = "test", df = df1, df_error = df2, sum_sq = ss, mean_sq = ss / df1, F = f,
       p = pf(f, df1, df2, lower.tail = FALSE), chisq = f * df1,
       p_chisq = pchisq(f * df1, df1, lower.tail = FALSE))
}

qx_effect_from_table <- function(label, tab, row, df2) {
  if (!(row %in% rownames(tab)) || tab[row, "Df"] == 0) return(list(effect = label, expect = "untestable"))
  ss <- tab[row, if ("Sum Sq" %in% colnames(tab)) "Sum Sq" else "Sum of Sq"]
  qx_effect_test(label, tab[row, "Df"], tab[row, "F value"], df2, ss)
}

# `terms` are qx_design's terms, each with `r`, its label in R's anova tables. `rformula` is the
# formula R fits for the effect tests, naming columns plainly (the factors of the terms are made
# factors here). `type3` is "car", "drop1" (every effect is contained in no other, and R cannot take
# car's route, as with an aliased term) or "none" (a design whose Type III hypotheses car does not
# reproduce, such as one with an empty cell), or "textbook" (the Type III hypotheses built from their
# definition, qx_type3.R, on the library's design: for designs with empty cells). `level` is the
# confidence level of the command. `references` gives the levels --reference moves last, by column.
# `prepare` may add columns that `rformula` needs (a column that is both a factor and a covariate
# needs a factor copy). `factors` lists the numeric columns that the command takes as factors
# (--factor), so that R's own fit of `formula`, which gives the predictions, sees them as factors too.
# `extend(ref, fit, keep)` may add references from that fit (R's lm of `formula` on the kept rows).
qxfit_case <- function(name, data, formula, args, y, terms, intercept = TRUE, freq = NULL, regr = NULL,
                       df = NULL, factors = character(), rformula = formula, type3 = "car", level = 0.95,
                       prepare = NULL, references = list(), extend = NULL) {
  qx_reference_levels <<- references
  if (is.null(df)) df <- read.csv(file.path("..", "..", data), stringsAsFactors = FALSE)
  used <- unique(c(y, unlist(lapply(terms, function(t) c(t$factors, t$covs))), freq, regr))
  complete <- complete.cases(df[used])
  keep <- complete
  for (w in c(freq, regr)) keep <- keep & !is.na(df[[w]]) & df[[w]] > 0
  kept <- df[keep, , drop = FALSE]
  ref <- qx_lm_reference(kept, y, terms, intercept, freq, regr)
  ref$level <- level

  # The unscaled covariance diagonal (zero for aliased parameters), from which qxfit forms the
  # standard errors: the library hands out exactly this matrix. The bounds come from confint.
  expanded <- if (is.null(freq)) kept else kept[rep(seq_len(nrow(kept)), kept[[freq]]), , drop = FALSE]
  d <- qx_design(expanded, terms, intercept)
  w <- if (is.null(regr)) rep(1, nrow(expanded)) else expanded[[regr]]
  fit <- lm(expanded[[y]] ~ d$X - 1, weights = w)
  aliased <- is.na(coef(fit))
  diag_cov <- rep(0, ncol(d$X))
  diag_cov[!aliased] <- diag(summary(fit)$cov.unscaled)
  ref$cov_unscaled_diagonal <- I(diag_cov)
  bounds <- confint(fit, level = level)
  z <- qnorm(1 - (1 - level) / 2)
  for (i in seq_along(ref$parameters)) {
    p <- ref$parameters[[i]]
    if (p$redundant) next
    p$lower <- unname(bounds[i, 1])
    p$upper <- unname(bounds[i, 2])
    p$chisq <- p$t^2
    p$p_chisq <- pchisq(p$t^2, 1, lower.tail = FALSE)
    p$lower_z <- p$estimate - z * p$std_error
    p$upper_z <- p$estimate + z * p$std_error
    ref$parameters[[i]] <- p
  }

  # Tests of model effects on R's own coding of the model.
  ef <- expanded
  covariates <- unique(unlist(lapply(terms, function(t) t$covs)))
  fvars <- setdiff(unique(unlist(lapply(terms, function(t) t$factors))), covariates)
  for (f in fvars) ef[[f]] <- factor(ef[[f]])
  if (!is.null(prepare)) ef <- prepare(ef)
  ef$.w <- w
  sum_coding <- setNames(rep(list("contr.sum"), length(fvars)), fvars)
  rfit <- lm(as.formula(rformula), data = ef, weights = .w,
             contrasts = if (length(fvars) > 0) sum_coding else NULL)
  stopifnot(isTRUE(all.equal(unname(fitted(rfit)), unname(fitted(fit)), tolerance = 1e-10)))
  dfe <- rfit$df.residual
  a1 <- anova(rfit)
  mse <- a1["Residuals", "Mean Sq"]
  labels <- vapply(terms, qx_effect_label, "")
  type1 <- lapply(seq_along(terms), function(t) qx_effect_from_table(labels[t], a1, terms[[t]]$r, dfe))
  if (intercept) {
    # Sequential sum of squares of the intercept: (sum w y)^2 / sum w, over the full model's error.
    ss <- sum(ef$.w * ef[[y]])^2 / sum(ef$.w)
    type1 <- c(list(qx_effect_test("Intercept", 1, ss / mse, dfe, ss)), type1)
    labels <- c("Intercept", labels)
  }
  type3_rows <- NULL
  if (length(terms) == 0) {
    # y ~ 1: the intercept's test is its t test squared, as summary.lm and car::Anova give it.
    t0 <- coef(summary(rfit))[1, "t value"]
    type3_rows <- list(qx_effect_test("Intercept", 1, t0^2, dfe, t0^2 * mse))
  } else if (type3 == "textbook") {
    effects <- c(if (intercept) list(list(factors = character(), covs = character())),
                 lapply(terms, function(t) list(factors = t$factors, covs = t$covs)))
    assign <- d$effect + 1L + intercept
    b <- coef(fit)
    b[aliased] <- 0
    V <- matrix(0, ncol(d$X), ncol(d$X))
    V[!aliased, !aliased] <- vcov(fit, complete = FALSE)
    type3_rows <- lapply(seq_along(effects), function(k) {
      L <- qx_type3_hypothesis(d$X, effects, assign, k)
      if (is.null(L)) return(list(effect = labels[k], expect = "untestable"))
      f <- qx_wald_f(L, b, V)
      qx_effect_test(labels[k], nrow(L), f, dfe, f * nrow(L) * mse)
    })
  } else if (type3 == "car") {
    a3 <- Anova(rfit, type = 3)
    type3_rows <- lapply(seq_along(terms), function(t) qx_effect_from_table(labels[t + intercept], a3,
                                                                           terms[[t]]$r, dfe))
    if (intercept) type3_rows <- c(list(qx_effect_from_table("Intercept", a3, "(Intercept)", dfe)), type3_rows)
  } else if (type3 == "drop1") {
    a3 <- drop1(rfit, scope = as.formula(paste("~", paste(attr(terms(rfit), "term.labels"), collapse = "+"))),
                test = "F")
    type3_rows <- lapply(seq_along(terms), function(t) qx_effect_from_table(labels[t + intercept], a3,
                                                                           terms[[t]]$r, dfe))
    if (intercept) type3_rows <- c(list(list(effect = "Intercept", expect = "skip")), type3_rows)
  }
  s <- summary(rfit)
  overall <- NULL
  if (!is.null(s$fstatistic)) {
    # The model sum of squares: the total about the mean (about 0 without an intercept) less the error.
    tss <- if (intercept) sum(ef$.w * (ef[[y]] - weighted.mean(ef[[y]], ef$.w))^2) else sum(ef$.w * ef[[y]]^2)
    overall <- qx_effect_test("Corrected model", s$fstatistic[["numdf"]], s$fstatistic[["value"]],
                              s$fstatistic[["dendf"]], tss - deviance(rfit))
    overall$r_squared <- s$r.squared
  }
  ref$adj_r_squared <- s$adj.r.squared
  ref$effect_tests <- list(labels = I(labels), type1 = type1, type3 = type3_rows, corrected_model = overall,
                           error = list(df = dfe, sum_sq = deviance(rfit), mean_sq = mse))

  # Predictions for every row: fitted values do not depend on the parameterisation, so R's own fit
  # of the formula gives them; a row with a missing predictor has none.
  rdf <- df
  for (f in factors) rdf[[f]] <- factor(rdf[[f]])
  wts <- if (!is.null(freq)) rdf[[freq]] else if (!is.null(regr)) rdf[[regr]] else NULL
  pw <- if (is.null(wts)) rep(1, nrow(rdf)) else ifelse(is.na(wts) | wts <= 0, 0, wts)
  pw <- pw[keep]  # outside the data, so that `.` in the formula does not take it for a column
  pfit <- lm(as.formula(formula), data = rdf[keep, , drop = FALSE], weights = pw)
  predicted <- suppressWarnings(predict(pfit, newdata = rdf))
  ref$predicted <- lapply(unname(predicted), function(v) if (is.na(v)) NULL else v)
  # Further references of a case, from R's fit of the formula (`extend(ref, pfit, keep)`).
  if (!is.null(extend)) ref <- extend(ref, pfit, keep)

  # Rows left out: for a missing value first, then for a weight that is not positive.
  out <- list(data = data, formula = formula, args = as.list(args),
              records = list(read = nrow(df), used = sum(keep),
                             left_out = list(missing = sum(!complete), not_finite = 0, undefined = 0,
                                             weight_not_positive = sum(complete & !keep))),
              reference = ref)
  qx_write_json(out, paste0(name, ".json"))
}
