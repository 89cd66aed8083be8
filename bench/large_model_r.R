# R's time for the models of bench/large_model_bench.cpp, for the side-by-side table of the large-model
# benchmark: lm + summary + car::Anova(type = 3) (and anova for Type I) on the same data, which the
# benchmark writes with --csv DIR. Wall-clock and CPU seconds, one run each, with R's own memory
# high-water mark (gc's max used Mb) after each fit.
#
# Run: build/release/bench/qx_large_model_bench --sizes 1000,2000 --skip-type1 --skip-type3 --csv /tmp/lm
#      Rscript bench/large_model_r.R /tmp/lm g_by_x_499 g_by_x_999 ...
suppressPackageStartupMessages(library(car))

args <- commandArgs(trailingOnly = TRUE)
dir <- args[1]
for (name in args[-1]) {
  d <- read.csv(file.path(dir, paste0(name, ".csv")), stringsAsFactors = TRUE)
  crossed <- all(c("A", "B") %in% names(d))
  f <- if (crossed) y ~ A * B else if (startsWith(name, "g_by_x")) y ~ g * x else y ~ g + x
  options(contrasts = c("contr.sum", "contr.poly"))
  gc(reset = TRUE)
  run <- system.time({
    fit <- lm(f, data = d)
    s <- summary(fit)
    a3 <- Anova(fit, type = 3)
  })
  t <- run[["elapsed"]]
  cpu <- run[["user.self"]] + run[["sys.self"]]
  t1 <- system.time(a1 <- anova(fit))[["elapsed"]]
  mem <- sum(gc()[, 6])
  cat(sprintf("%s: P = %d (rank %d), lm + summary + Anova(type = 3) %.2f s (%.2f s CPU), anova (Type I) %.2f s, max memory %.0f MB\n",
              name, length(coef(fit)), fit$rank, t, cpu, t1, mem))
  cat(sprintf("  last Type III F = %.15g, last Type I F = %.15g\n", a3[nrow(a3) - 1, "F value"],
              a1[nrow(a1) - 1, "F value"]))
}
