# qxfit's predictions beyond the fitted values, on mtcars with regression weights (qsec) and 90%
# bounds: the residuals and standardized residuals of the fitted rows (R's residuals and rstandard of
# the weighted fit), and for new rows (qxfit_predict_new.csv, written here) the prediction with the
# standard error of the fitted value and the confidence and prediction bounds of R's predict(...,
# interval = "confidence"/"prediction", se.fit = TRUE, level = 0.9) for a new record of weight 1. The
# new rows include a level the fit has not seen (cyl 5) and a missing covariate: neither has a
# prediction.
# Run from this folder: Rscript qxfit_mtcars_predict.R  (writes qxfit_mtcars_predict.json and
# qxfit_predict_new.csv)
source("qxfit_reference.R")
new_rows <- data.frame(wt = c(2.5, 3.2, 3.8, 3.0, NA, 2.2), cyl = c(4, 6, 8, 5, 8, 4),
                       hp = c(100, 150, 230, 120, 200, 66))
write.csv(new_rows, "qxfit_predict_new.csv", row.names = FALSE, na = "")
predictions <- function(ref, fit, keep) {
  residual <- rep(NA_real_, length(keep))
  standardized <- residual
  residual[keep] <- residuals(fit)
  standardized[keep] <- rstandard(fit)
  ref$residuals <- lapply(seq_along(keep), function(i) {
    if (!keep[i]) NULL else list(residual = residual[i], std_residual = standardized[i])
  })
  seen <- new_rows$cyl %in% c(4, 6, 8) & complete.cases(new_rows)
  scored <- new_rows[seen, ]
  confidence <- suppressWarnings(predict(fit, scored, interval = "confidence", se.fit = TRUE, level = 0.9))
  prediction <- suppressWarnings(predict(fit, scored, interval = "prediction", level = 0.9, weights = 1))
  k <- 0
  ref$new_rows <- lapply(seq_len(nrow(new_rows)), function(i) {
    if (!seen[i]) return(NULL)
    k <<- k + 1
    list(predicted = confidence$fit[k, "fit"], se_fit = unname(confidence$se.fit[k]),
         conf_lower = confidence$fit[k, "lwr"], conf_upper = confidence$fit[k, "upr"],
         pred_lower = prediction[k, "lwr"], pred_upper = prediction[k, "upr"])
  })
  ref
}
qxfit_case("qxfit_mtcars_predict", "data/mtcars.csv", "mpg ~ wt + factor(cyl) + hp",
           list("--regr-weight", "qsec", "--confidence", "0.9"), "mpg",
           list(list(factors = character(), nest = integer(), covs = "wt", r = "wt"),
                list(factors = "cyl", nest = 0, covs = character(), r = "cyl"),
                list(factors = character(), nest = integer(), covs = "hp", r = "hp")),
           regr = "qsec", rformula = "mpg ~ wt + cyl + hp", level = 0.9, extend = predictions)
