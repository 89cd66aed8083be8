# qxfit with --reference: wool A and tension L as the reference levels of breaks ~ wool*tension. The
# library aliases the last level of each factor, so --reference moves those levels last, and the
# estimates must read as R's treatment contrasts with the same baselines (relevel): the intercept is
# the mean of the reference cell (A, L), [wool=B] is R's woolB, [wool=B] * [tension=H] its woolB:tensionH.
# Run from this folder: Rscript qxfit_warpbreaks_reference.R  (writes qxfit_warpbreaks_reference.json)
source("qxfit_reference.R")
treatment_contrasts <- function(ref, fit, keep) {
  d <- read.csv(file.path("..", "..", "data", "warpbreaks.csv"), stringsAsFactors = FALSE)
  d$wool <- relevel(factor(d$wool), "A")
  d$tension <- relevel(factor(d$tension), "L")
  r <- summary(lm(breaks ~ wool * tension, data = d))$coefficients
  # R's names as qxfit's labels: "woolB:tensionH" is "[wool=B] * [tension=H]".
  label <- function(name) {
    if (name == "(Intercept)") return("Intercept")
    parts <- strsplit(name, ":", fixed = TRUE)[[1]]
    paste(sub("^(wool|tension)(.*)$", "[\\1=\\2]", parts), collapse = " * ")
  }
  ref$treatment_contrasts <- lapply(rownames(r), function(n) {
    list(label = label(n), estimate = r[n, "Estimate"], std_error = r[n, "Std. Error"])
  })
  ref
}
qxfit_case("qxfit_warpbreaks_reference", "data/warpbreaks.csv", "breaks ~ wool*tension",
           list("--reference", "wool=A", "--reference", "tension=L"), "breaks",
           list(list(factors = "wool", nest = 0, covs = character(), r = "wool"),
                list(factors = "tension", nest = 0, covs = character(), r = "tension"),
                list(factors = c("wool", "tension"), nest = c(0, 0), covs = character(), r = "wool:tension")),
           references = list(wool = "A", tension = "L"), extend = treatment_contrasts)
