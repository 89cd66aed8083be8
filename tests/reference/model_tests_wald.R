# Reference values for the Wald tests of linear hypotheses L b = h: overall F and chi-square tests,
# individual t and chi-square tests, p-value adjustments and confidence bounds.
#
# salaries  lm(salary ~ rank + discipline + yrs.since.phd + yrs.service + sex) on carData::Salaries in
#           R's full-rank parameterisation. Three hypotheses with right-hand values h from
#           car::linearHypothesis (F and chi-square); the same rows plus a consistent multiple of the
#           first (2 L_1 b = 2 h_1) and a zero row by hand with MASS::ginv; intervals of the
#           single-parameter rows from confint(), of the other row at the same t quantile.
# warpbreaks The library's over-parameterised design of breaks ~ wool * tension (qx_design.R): b has
#           zeros and V zero rows and columns at the aliased parameters. L holds the pairwise
#           differences of the tension means (rank 2 of 3 rows), a negative multiple of the first
#           and a zero row. The reference is emmeans on R's own fit: contrast(emmeans(fit, ~ tension),
#           "pairwise") with its t ratios, adjusted p-values and intervals (none, bonferroni, sidak),
#           and the same with df = Inf for the chi-square tests; the joint test by hand with ginv on
#           R's fit, checked against emmeans' joint F test. Holm from p.adjust; Sidak and the
#           Holm-Sidak step-down by hand in the form -expm1(n log1p(-p)), which keeps the digits of
#           small p that emmeans' 1 - (1 - p)^n loses (checked against emmeans to 1e-11).
# stepdown  Built cases for the step-down adjustments: rows e_i with V diagonal, so that the
#           individual p-values are chosen exactly, including ties (equal |t| from different rows)
#           and the p-values 0.01, 0.02, 0.03 of the textbook example. The bounds of the step-down
#           follow the rule written out in stepdown() below, with R's quantiles.
# quantiles Critical values of single-step intervals (none, Bonferroni, Sidak) from qt and qnorm.
#
# Run from this folder: Rscript model_tests_wald.R   (writes model_tests_wald.json)

suppressMessages({library(car); library(emmeans); library(MASS)})
source("qx_json.R")
source("qx_design.R")

alpha <- 0.05

# 1 - (1 - p)^n without the cancellation of the direct form, which costs small p their last digits.
sidak <- function(p, n) -expm1(n * log1p(-p))

# Holm-Sidak step-down adjusted p-values.
holm_sidak <- function(p) {
  o <- order(p); m <- length(p)
  a <- cummax(sidak(p[o], m - seq_along(o) + 1))
  out <- numeric(m); out[o] <- pmin(a, 1); out
}

# Step-down adjusted values and bounds, position by position over the rows sorted by p (ties keep row
# order): n tests left, critical upper tail alpha/(2n) (Bonferroni) or (1 - (1 - alpha)^(1/n))/2
# (Sidak); a row whose adjusted value does not exceed the previous one takes it, and its critical
# tail becomes the one that value stands for at its own p. quant(u, df) is the upper-tail quantile.
stepdown <- function(p, est, se, df, method, type, quant) {
  o <- order(p); m <- length(p)
  adj <- lower <- upper <- numeric(m)
  prev <- 0
  for (pos in seq_along(o)) {
    i <- o[pos]; n <- m - pos + 1
    a <- if (method == "bonferroni") n * p[i] else sidak(p[i], n)
    a <- min(max(a, 0), 1)
    u <- if (method == "bonferroni") alpha / (2 * n) else sidak(alpha, 1 / n) / 2
    if (pos > 1 && a <= prev) {
      a <- prev
      if (method == "bonferroni") {
        if (p[i] > 0) u <- alpha * p[i] / (2 * prev)
      } else if (p[i] > 0 && p[i] < 1 && prev < 1) {
        rho <- log1p(-p[i]) / log1p(-prev)
        if (type == 2) u <- rho * alpha / 2 else if (type == 0) u <- sidak(alpha, rho) / 2
      }
    }
    q <- quant(u, df)
    adj[i] <- a; lower[i] <- est[i] - q * se[i]; upper[i] <- est[i] + q * se[i]
    prev <- a
  }
  stopifnot(isTRUE(all.equal(adj, if (method == "bonferroni") p.adjust(p, "holm") else holm_sidak(p),
                             tolerance = 1e-15)))
  list(adj = adj, lower = lower, upper = upper)
}
qt_upper <- function(u, df) qt(u, df, lower.tail = FALSE)
qz_upper <- function(u, df) qnorm(u, lower.tail = FALSE)

full_cov <- function(fit) {
  V <- vcov(fit, complete = TRUE)
  V[is.na(V)] <- 0
  unname(V)
}

# ---- salaries -------------------------------------------------------------------------------------
sal <- read.csv("../../data/Salaries.csv", stringsAsFactors = TRUE)
fit <- lm(salary ~ rank + discipline + yrs.since.phd + yrs.service + sex, data = sal)
b <- unname(coef(fit)); V <- full_cov(fit); df <- df.residual(fit)
L <- rbind(c(0, 1, 0, 0, 0, 0, 0),   # rankAsstProf
           c(0, 0, 1, 0, 0, 0, 0),   # rankProf
           c(0, 0, 0, 1, 0, 0, -1))  # disciplineB - sexMale
h <- c(-10000, 30000, 10000)
lhF <- linearHypothesis(fit, L, rhs = h, test = "F")
lhC <- linearHypothesis(fit, L, rhs = h, test = "Chisq")
est <- as.numeric(L %*% b); se <- sqrt(diag(L %*% V %*% t(L)))
tval <- (est - h) / se
ci <- confint(fit, level = 1 - alpha)
qt975 <- qt(1 - alpha / 2, df)
lower <- c(ci["rankAsstProf", 1], ci["rankProf", 1], est[3] - qt975 * se[3])
upper <- c(ci["rankAsstProf", 2], ci["rankProf", 2], est[3] + qt975 * se[3])
stopifnot(abs(lower[1:2] - (est[1:2] - qt975 * se[1:2])) < 1e-9 * abs(lower[1:2]))

Ld <- rbind(L, 2 * L[1, ], 0)
hd <- c(h, 2 * h[1], 0)
d <- as.numeric(Ld %*% b - hd)
S <- Ld %*% V %*% t(Ld)
W <- as.numeric(t(d) %*% ginv(S) %*% d)
rank_d <- qr(S)$rank
stopifnot(rank_d == 3, abs(W - lhC[2, "Chisq"]) < 1e-8 * W)

salaries <- list(
  b = b, V = V, df = df, L = L, h = h,
  F = lhF[2, "F"], p_F = lhF[2, "Pr(>F)"], chisq = lhC[2, "Chisq"], p_chisq = lhC[2, "Pr(>Chisq)"],
  rows = list(estimate = est, se = se, t = tval, p_t = 2 * pt(-abs(tval), df),
              chisq = tval^2, p_chisq = pchisq(tval^2, 1, lower.tail = FALSE),
              lower = lower, upper = upper, lower_z = est - qnorm(1 - alpha / 2) * se,
              upper_z = est + qnorm(1 - alpha / 2) * se),
  deficient = list(L = Ld, h = hd, rank = rank_d, chisq = W, p_chisq = pchisq(W, rank_d, lower.tail = FALSE),
                   F = W / rank_d, p_F = pf(W / rank_d, rank_d, df, lower.tail = FALSE)))

# ---- warpbreaks -----------------------------------------------------------------------------------
wb <- read.csv("../../data/warpbreaks.csv")
terms <- list(list(factors = "wool", nest = 0), list(factors = "tension", nest = 0),
              list(factors = c("wool", "tension"), nest = c(0, 0)))
design <- qx_design(wb, terms)
ofit <- lm(wb$breaks ~ design$X - 1)
bo <- unname(coef(ofit)); bo[is.na(bo)] <- 0
Vo <- full_cov(ofit)
# Tension means with equal weights over wool, from the design rows of the cells.
cell_row <- function(w, t) design$X[which(wb$wool == w & wb$tension == t)[1], ]
tmean <- function(t) (cell_row("A", t) + cell_row("B", t)) / 2
pairs <- rbind(tmean("L") - tmean("M"), tmean("L") - tmean("H"), tmean("M") - tmean("H"))
Lw <- unname(rbind(pairs, -2 * pairs[1, ], 0))

wb$tension <- factor(wb$tension, levels = c("L", "M", "H"))
wb$wool <- factor(wb$wool)
rfit <- lm(breaks ~ wool * tension, data = wb)
dfw <- df.residual(rfit)
pw <- contrast(emmeans(rfit, ~ tension), "pairwise")
pwz <- contrast(emmeans(rfit, ~ tension, df = Inf), "pairwise")
s <- summary(pw, adjust = "none")
stopifnot(max(abs(as.numeric(Lw[1:3, ] %*% bo) - s$estimate)) < 1e-10 * max(abs(s$estimate)))
# Rows 4 and 5: -2 x row 1, and the zero row (estimate and standard error 0, no test).
ext <- function(x, f = -2, zero = NA) c(x, f * x[1], zero)
interval <- function(obj, adjust) {
  ci <- confint(obj, adjust = adjust, level = 1 - alpha)
  lo <- ci[[ncol(ci) - 1]]; hi <- ci[[ncol(ci)]]
  list(lower = c(lo, -2 * hi[1], 0), upper = c(hi, -2 * lo[1], 0))  # the zero row: 0 +- q * 0
}
p_t <- s$p.value
p_z <- summary(pwz, adjust = "none")$p.value
stopifnot(max(abs(sidak(p_t, 3) / summary(pw, adjust = "sidak")$p.value - 1)) < 1e-11)  # emmeans' own form
# The joint test by hand on R's own fit (emmeans prints its F ratio rounded), checked against emmeans.
Lr <- pw@linfct; dr <- as.numeric(Lr %*% coef(rfit))
Wr <- as.numeric(t(dr) %*% ginv(Lr %*% vcov(rfit) %*% t(Lr)) %*% dr)
jt <- test(pw, joint = TRUE)
stopifnot(jt$df1 == 2, abs(Wr / 2 - jt$F.ratio) < 1e-3 * jt$F.ratio)
sd_rows <- function(p, q, type, method) {
  r <- stepdown(p, s$estimate, s$SE, dfw, method, type, q)
  list(adj = ext(r$adj, 1), lower = c(r$lower, -2 * r$upper[1], NA), upper = c(r$upper, -2 * r$lower[1], NA))
}
warpbreaks <- list(
  b = bo, V = Vo, df = dfw, L = Lw,
  F = Wr / 2, p_F = pf(Wr / 2, 2, dfw, lower.tail = FALSE), chisq = Wr,
  p_chisq = pchisq(Wr, 2, lower.tail = FALSE),
  estimate = ext(s$estimate, zero = 0), se = ext(s$SE, 2, 0), p_t = ext(p_t, 1), p_z = ext(p_z, 1),
  t_bonferroni = ext(summary(pw, adjust = "bonferroni")$p.value, 1),
  t_sidak = ext(sidak(p_t, 3), 1),
  t_holm = ext(p.adjust(p_t, "holm"), 1), t_holm_sidak = ext(holm_sidak(p_t), 1),
  z_bonferroni = ext(summary(pwz, adjust = "bonferroni")$p.value, 1),
  z_sidak = ext(sidak(p_z, 3), 1),
  ci_t = list(none = interval(pw, "none"), bonferroni = interval(pw, "bonferroni"),
              sidak = interval(pw, "sidak")),
  ci_z = list(none = interval(pwz, "none"), bonferroni = interval(pwz, "bonferroni"),
              sidak = interval(pwz, "sidak")),
  stepdown_t = list(bonferroni = sd_rows(p_t, qt_upper, 0, "bonferroni"),
                    sidak = sd_rows(p_t, qt_upper, 0, "sidak")),
  stepdown_z = list(bonferroni = sd_rows(p_z, qz_upper, 2, "bonferroni"),
                    sidak = sd_rows(p_z, qz_upper, 2, "sidak")))

# ---- stepdown -------------------------------------------------------------------------------------
# Each case: estimates b (one per row of L = I) and variances v; t ratios b / sqrt(v).
built <- function(b, v, df) {
  se <- sqrt(v); tt <- b / se
  p_t <- 2 * pt(-abs(tt), df); p_z <- pchisq(tt^2, 1, lower.tail = FALSE)
  cases <- list()
  for (type in c(0, 2)) {
    p <- if (type == 0) p_t else p_z
    q <- if (type == 0) qt_upper else qz_upper
    for (method in c("bonferroni", "sidak"))
      cases[[length(cases) + 1]] <- c(list(type = type, method = method, p = p),
                                      stepdown(p, b, se, df, method, type, q))
  }
  list(b = b, v = v, df = df, cases = cases)
}
textbook <- built(qnorm(c(0.02, 0.03, 0.01) / 2, lower.tail = FALSE), c(1, 1, 1), 20)
stopifnot(max(abs(textbook$cases[[3]]$adj - c(0.04, 0.04, 0.03))) < 1e-14)
# |t| = 2 three times (rows 1, 3, 7), 1 twice (rows 2, 6); row 4 has p near 0.6.
ties <- built(c(2, 1, 4, 0.5, 2.5, 3, -6), c(1, 1, 4, 1, 1, 9, 9), 12)

# ---- quantiles ------------------------------------------------------------------------------------
# Two-sided critical values for error rate a over n tests: method 0 (none), 1 (Bonferroni), 3 (Sidak);
# types 0 and 1 use Student's t at df, types 2 and 3 the standard normal.
critical <- function(type, method, a, n, df) {
  u <- switch(as.character(method), "0" = a / 2, "1" = a / (2 * n), "3" = sidak(a, 1 / n) / 2)
  q <- if (type <= 1) qt(u, df, lower.tail = FALSE) else qnorm(u, lower.tail = FALSE)
  list(type = type, method = method, alpha = a, n = n, df = df, q = q)
}
quantiles <- list(critical(0, 0, 0.05, 1, 10), critical(2, 0, 0.05, 1, 10), critical(0, 0, 0.05, 1, 5),
                  critical(0, 1, 0.05, 3, 48), critical(1, 3, 0.05, 3, 48), critical(2, 1, 0.01, 20, 5),
                  critical(3, 3, 1e-6, 1000, 5), critical(1, 1, 0.1, 7, 3.5))
percentiles <- list(list(type = 0, p = 0.9, df = 7, q = qt(0.9, 7)), list(type = 3, p = 0.2, df = 7, q = qnorm(0.2)))

qx_write_json(list(alpha = alpha, salaries = salaries, warpbreaks = warpbreaks,
                   stepdown = list(textbook = textbook, ties = ties),
                   quantiles = quantiles, percentiles = percentiles),
              "model_tests_wald.json")
