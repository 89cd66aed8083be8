# Reference values for the Python package's marginal means: R's emmeans on warpbreaks, the tensions
# compared within each wool with Holm's adjustment.
# Run from the repository root: Rscript tests/reference/python_emmeans.R
suppressMessages({
  library(emmeans)
  library(jsonlite)
})
d <- read.csv("data/warpbreaks.csv", stringsAsFactors = TRUE)
fit <- lm(breaks ~ wool * tension, d)
e <- emmeans(fit, pairwise ~ tension | wool, adjust = "holm")
m <- summary(e$emmeans)
k <- summary(e$contrasts)
out <- list(
  emmeans = packageVersion("emmeans") |> as.character(),
  means = data.frame(wool = as.character(m$wool), tension = as.character(m$tension), mean = m$emmean,
                     std_error = m$SE, df = m$df, lower = m$lower.CL, upper = m$upper.CL),
  contrasts = data.frame(wool = as.character(k$wool), contrast = as.character(k$contrast),
                         estimate = k$estimate, std_error = k$SE, statistic = k$t.ratio, p = k$p.value)
)
writeLines(toJSON(out, digits = NA, auto_unbox = TRUE, pretty = TRUE), "tests/reference/python_emmeans.json")
