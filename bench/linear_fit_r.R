# R's time for the model of bench/linear_fit_bench.cpp on data already in memory, the comparison of the
# records-per-second benchmark: lm(y ~ A * B + x1 + x2) with a weight, A of 5 levels and B of 10,
# covariates x1 and x2 and weights 1 to 3 drawn as that benchmark draws them (the values differ; the
# work does not). Median wall-clock and CPU seconds of five fits, printed with the records per second.
# On a shared machine compare CPU seconds with the CPU medians of the C++ benchmark.
#
# Run: Rscript bench/linear_fit_r.R [records, default 1e6]
args <- commandArgs(trailingOnly = TRUE)
n <- if (length(args) > 0) as.numeric(args[1]) else 1e6
set.seed(1)
a <- sample(0:4, n, replace = TRUE)
b <- sample(0:9, n, replace = TRUE)
d <- data.frame(A = factor(a), B = factor(b),
                x1 = sample(0:999, n, replace = TRUE) / 10,
                x2 = sample(0:4999, n, replace = TRUE) / 100 - 25,
                w = 1 + sample(0:2, n, replace = TRUE))
d$y <- 3 + 0.4 * a - 0.15 * b + 0.05 * a * b + 0.5 * d$x1 - 0.2 * d$x2 + sample(0:999, n, replace = TRUE) / 250
runs <- replicate(5, system.time(lm(y ~ A * B + x1 + x2, data = d, weights = w)))
times <- runs["elapsed", ]
cpu <- runs["user.self", ] + runs["sys.self", ]
cat(sprintf("lm on %g records: median %.3f s wall, %.3f s CPU (%.3g records per CPU second); runs %s\n", n,
            median(times), median(cpu), n / median(cpu), paste(sprintf("%.2f", times), collapse = " ")))
