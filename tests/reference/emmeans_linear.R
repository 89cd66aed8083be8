# Reference values for the estimated marginal means of linear models and their comparisons: emmeans on
# lm() fits of public datasets (R's usual parameterisation: estimable means do not depend on it).
#
# Each case carries its records exactly as the library reads them (factors coded 0..k-1 in sorted level
# order, qx_design.R) and a list of requests. A request names its factors, the compare factors, the
# covariate values it holds (the others at their means, as emmeans' reference grid does) and the
# nesting levels of its factors. Levels are written as those codes. For every request:
#   means      emmeans(fit, factors, at = ...): mean, SE, df, 95% bounds
#   pairs      contrast(emmeans(fit, compare, by = others), "pairwise") with adjust none, bonferroni,
#              sidak (estimates, SE, t, p, bounds) and holm (p); the Sidak p-values, and Holm-Sidak's
#              (1 - (1 - p)^(m - r + 1) at rank r, made monotone), formed from the unadjusted p-values
#              of each group without cancellation
#   contrasts  (one compare factor) poly, consec, trt.vs.ctrl against the last and the first level,
#              eff, and Helmert and difference contrasts given as coefficient matrices; adjust none and
#              bonferroni, with bounds; the coefficients of each row
#   joint      test(contrast(..., "pairwise"), joint = TRUE, by = others): F, df1, df2, p per group
# Also per case: GetFactorEmmeans (emmeans of each factor alone) and GetCovarEmmeans (emmeans of a
# covariate at a grid of values, averaged over every factor).
#
# Incomplete design (moore_empty_cell, no records with partner.status = high and fcategory = low):
# emmeans cannot estimate the means that involve the empty cell. The library averages the predictions
# of the full combinations of levels that exist; here that is stated by hand: the mean of a request's
# cell = mean of predict(fit) over the existing combinations with that cell's levels (covariates at
# their means), l = the mean of their model-matrix rows, SE = sqrt(l' V l), and a pair i - j has
# estimate (l_i - l_j)'b, SE sqrt(d' V d), t on the residual df, Bonferroni over the k(k - 1)/2 pairs
# of its group.
#
# Run from this folder: Rscript emmeans_linear.R   (writes emmeans_linear.json)

suppressMessages(library(emmeans))
emm_options(msg.interaction = FALSE, msg.nesting = FALSE)
source("qx_design.R")
source("qx_json.R")

alpha <- 0.05
read_data <- function(name) read.csv(file.path("../../data", name), stringsAsFactors = FALSE)
term <- function(factors = character(), nest = rep(0L, length(factors)), covs = character()) {
  list(factors = factors, nest = nest, covs = covs)
}

# The R formula of the library's terms (a covariate repeated for a power becomes I(x^p)).
r_formula <- function(y, terms) {
  parts <- vapply(terms, function(t) {
    covs <- table(t$covs)
    cov_part <- ifelse(covs > 1, sprintf("I(%s^%d)", names(covs), as.integer(covs)), names(covs))
    paste(c(t$factors, cov_part), collapse = ":")
  }, "")
  as.formula(paste(y, "~", paste(parts, collapse = " + ")))
}

code_of <- function(data, f, value) match(as.character(value), as.character(qx_levels(data[[f]]))) - 1L
codes_of <- function(data, row, vars) {
  out <- lapply(vars, function(f) code_of(data, f, row[[f]]))
  names(out) <- vars
  out
}

# The library's coding of the factors, as R factors.
r_data <- function(df, factors) {
  for (f in factors) df[[f]] <- factor(df[[f]], levels = qx_levels(df[[f]]))
  df
}

ci_columns <- function(s) list(lower = s[[ncol(s) - 1]], upper = s[[ncol(s)]])

means_of <- function(fit, data, factors, at) {
  s <- as.data.frame(summary(emmeans(fit, factors, at = at), level = 1 - alpha))
  lapply(seq_len(nrow(s)), function(i) list(levels = codes_of(data, s[i, ], factors), mean = s$emmean[i],
                                            se = s$SE[i], df = s$df[i], lower = s$lower.CL[i],
                                            upper = s$upper.CL[i]))
}

# Rows of a contrast summary with their group, in summary order, plus the columns asked for.
contrast_rows <- function(con, data, by, adjust, infer_ci = TRUE) {
  s <- as.data.frame(summary(con, adjust = adjust, infer = c(infer_ci, TRUE), level = 1 - alpha))
  stat <- if ("t.ratio" %in% names(s)) s$t.ratio else s$z.ratio
  lapply(seq_len(nrow(s)), function(i) {
    row <- list(by = codes_of(data, s[i, ], by), estimate = s$estimate[i], se = s$SE[i], df = s$df[i],
                stat = stat[i], p = s$p.value[i])
    if (infer_ci) c(row, lower = s$lower.CL[i], upper = s$upper.CL[i]) else row
  })
}

# 1 - (1 - p)^m without the cancellation that emmeans' own Sidak p-values suffer for small p (they lose
# every digit below about 1e-16 / p); emmeans' values check these to their own accuracy.
sidak <- function(p, m) -expm1(m * log1p(-p))
holm_sidak <- function(p) {
  o <- order(p)
  m <- length(p)
  adj <- numeric(m)
  adj[o] <- cummax(sidak(p[o], m - seq_len(m) + 1))
  pmin(adj, 1)
}

pairs_of <- function(emmc, data, compare, by) {
  grid <- emmc@grid
  groups <- if (length(by)) interaction(grid[by], drop = TRUE, lex.order = TRUE) else factor(rep(1, nrow(grid)))
  levels_of <- list()
  for (g in unique(groups)) {
    rows <- which(groups == g)
    for (a in seq_along(rows)) for (b in seq_along(rows)) if (a < b)
      levels_of[[length(levels_of) + 1]] <- list(first = codes_of(data, grid[rows[a], ], compare),
                                                  second = codes_of(data, grid[rows[b], ], compare))
  }
  con <- contrast(emmc, "pairwise")
  out <- list()
  for (adjust in c("none", "bonferroni", "sidak", "holm")) {
    rows <- contrast_rows(con, data, by, adjust, infer_ci = adjust != "holm")
    out[[adjust]] <- Map(function(r, l) c(r, l), rows, levels_of)
  }
  # Sidak and Holm-Sidak: within each group, from the unadjusted p-values.
  none <- out$none
  group_key <- vapply(none, function(r) paste(unlist(r$by), collapse = ","), "")
  p <- vapply(none, function(r) r$p, 0)
  hs <- p
  for (g in unique(group_key)) {
    in_g <- group_key == g
    hs[in_g] <- holm_sidak(p[in_g])
    for (i in which(in_g)) {
      accurate <- sidak(p[i], sum(in_g))
      stopifnot(abs(accurate - out$sidak[[i]]$p) <= 1e-6 * accurate + 1e-15)
      out$sidak[[i]]$p <- accurate
    }
  }
  out$holm_sidak <- Map(function(r, q) { r$p <- q; r[c("by", "first", "second", "estimate", "p")] }, none, hs)
  out
}

# Helmert: each level against the mean of the later ones; difference: against the mean of the earlier.
helmert.emmc <- function(levs, ...) {
  k <- length(levs)
  out <- as.data.frame(lapply(seq_len(k - 1), function(i) c(rep(0, i - 1), 1, rep(-1 / (k - i), k - i))))
  names(out) <- paste0("helmert", seq_len(k - 1))
  out
}
difference.emmc <- function(levs, ...) {
  k <- length(levs)
  out <- as.data.frame(lapply(seq_len(k - 1), function(i) c(rep(-1 / i, i), 1, rep(0, k - i - 1))))
  names(out) <- paste0("difference", seq_len(k - 1))
  out
}

contrasts_of <- function(emmc, data, by, k) {
  methods <- list(poly = list("poly"), consec = list("consec"),
                  simple_last = list("trt.vs.ctrl", ref = k), simple_first = list("trt.vs.ctrl", ref = 1),
                  eff = list("eff"), helmert = list("helmert"), difference = list("difference"))
  lapply(methods, function(m) {
    con <- do.call(contrast, c(list(emmc, method = m[[1]], by = if (length(by)) by else NULL), m[-1]))
    name <- paste0(m[[1]], ".emmc")
    emmc_fun <- if (exists(name, envir = asNamespace("emmeans"))) get(name, envir = asNamespace("emmeans")) else get(name)
    coefs <- do.call(emmc_fun, c(list(seq_len(k)), m[-1]))
    list(coefficients = unname(t(as.matrix(coefs))),
         none = contrast_rows(con, data, by, "none"), bonferroni = contrast_rows(con, data, by, "bonferroni"))
  })
}

# emmeans rounds the F of its joint tests to three decimals, so the reference F comes from
# car::linearHypothesis on independent consecutive differences of each group (a basis of all its
# differences);
# emmeans' value checks it.
joint_of <- function(fit, emmc, data, by) {
  jt <- as.data.frame(test(contrast(emmc, "pairwise"), joint = TRUE, by = if (length(by)) by else NULL))
  consec <- contrast(emmc, "consec", by = if (length(by)) by else NULL)
  L <- consec@linfct
  per_group <- nrow(L) / nrow(jt)
  lapply(seq_len(nrow(jt)), function(i) {
    rows <- (i - 1) * per_group + seq_len(per_group)
    Lg <- L[rows, , drop = FALSE]
    independent <- qr(t(Lg), tol = 1e-10)
    lh <- car::linearHypothesis(fit, Lg[sort(independent$pivot[seq_len(independent$rank)]), , drop = FALSE])
    F <- lh$F[2]
    stopifnot(abs(F - jt$F.ratio[i]) <= 1e-3 * max(1, F), lh$Df[2] == jt$df1[i])
    list(by = codes_of(data, jt[i, ], by), F = F, df1 = jt$df1[i], df2 = jt$df2[i], p = lh$`Pr(>F)`[2])
  })
}

request <- function(fit, data, factors, compare = character(), at = list(), nest = NULL, contrasts = TRUE) {
  out <- list(factors = I(factors), compare = I(compare), nest = if (is.null(nest)) NULL else I(nest),
              at = if (length(at)) at else NULL, means = means_of(fit, data, factors, at))
  if (length(compare) == 0) return(out)
  by <- setdiff(factors, compare)
  emmc <- emmeans(fit, compare, by = if (length(by)) by else NULL, at = at)
  out$pairs <- pairs_of(emmc, data, compare, by)
  out$joint <- joint_of(fit, emmc, data, by)
  if (length(compare) == 1 && contrasts) out$contrasts <- contrasts_of(emmc, data, by, nlevels(data[[compare]]))
  out
}

make_case <- function(name, df, y, factors, covariates, terms, requests, covariate_grid = NULL, note = "",
                      factor_means = TRUE) {
  data <- r_data(df, factors)
  formula <- r_formula(y, terms)
  environment(formula) <- environment()  # where emmeans finds `data` again
  fit <- lm(formula, data = data)
  columns <- c(y, factors, covariates)
  records <- as.data.frame(lapply(columns, function(col) {
    if (col %in% factors) qx_codes(df[[col]]) else as.numeric(df[[col]])
  }))
  # (With nesting emmeans gives a nested factor's means within its outer factor's levels.)
  factor_means <- if (!factor_means) NULL else lapply(factors, function(f) {
    s <- as.data.frame(summary(emmeans(fit, f)))
    list(factor = f, levels = I(code_of(data, f, s[[f]])), means = I(s$emmean))
  })
  covariate_means <- NULL
  if (!is.null(covariate_grid)) {
    at <- list(covariate_grid$values)
    names(at) <- covariate_grid$covariate
    s <- as.data.frame(summary(emmeans(fit, covariate_grid$covariate, at = at)))
    covariate_means <- list(covariate = covariate_grid$covariate, values = I(covariate_grid$values),
                            means = I(s$emmean))
  }
  list(name = name, note = note, columns = I(columns), dependent = y,
       factors = lapply(factors, function(f) list(name = f, levels = I(as.character(qx_levels(df[[f]]))))),
       covariates = I(covariates),
       terms = lapply(terms, function(t) list(factors = I(t$factors), nest = I(t$nest), covs = I(t$covs))),
       intercept = TRUE, freq = NULL, regr = NULL, records = unname(as.matrix(records)),
       df_error = df.residual(fit), sigma = sigma(fit),
       requests = lapply(requests, function(r) do.call(request, c(list(fit, data), r))),
       factor_means = factor_means, covariate_means = covariate_means)
}

salaries <- read_data("Salaries.csv")
warp <- read_data("warpbreaks.csv")
moore <- read_data("Moore.csv")

cases <- list(
  make_case("salaries", salaries, "salary", c("rank", "discipline", "sex"), "yrs.service",
            list(term("rank"), term("discipline"), term("sex"), term(c("rank", "discipline")),
                 term(covs = "yrs.service"), term("discipline", covs = "yrs.service"),
                 term(covs = c("yrs.service", "yrs.service"))),
            list(list(factors = "rank", compare = "rank"),
                 list(factors = c("rank", "discipline"), compare = "rank"),
                 list(factors = c("rank", "discipline"), at = list(yrs.service = 10)),
                 list(factors = c("discipline", "rank"), compare = "discipline", at = list(yrs.service = 10)),
                 list(factors = "sex", compare = "sex"),
                 list(factors = c("rank", "sex", "discipline"), compare = c("rank", "sex"), contrasts = FALSE)),
            covariate_grid = list(covariate = "yrs.service", values = c(0, 15, 30, 45, 60)),
            note = "unbalanced; the slope of yrs.service differs by discipline and has a square"),
  make_case("warpbreaks", warp, "breaks", c("wool", "tension"), character(),
            list(term("wool"), term("tension"), term(c("wool", "tension"))),
            list(list(factors = c("tension", "wool"), compare = "tension"),
                 list(factors = c("wool", "tension"), compare = c("wool", "tension"), contrasts = FALSE)),
            note = "balanced two-way design with interaction"),
  make_case("warpbreaks_nested", warp, "breaks", c("wool", "tension"), character(),
            list(term("wool"), term(c("wool", "tension"), nest = c(0L, 1L))),
            list(list(factors = c("wool", "tension"), nest = c(0L, 1L), compare = "tension")),
            note = "tension nested within wool; the request gives its factors' nesting levels",
            factor_means = FALSE),
  make_case("moore", moore, "conformity", c("partner.status", "fcategory"), "fscore",
            list(term("partner.status"), term("fcategory"), term(c("partner.status", "fcategory")),
                 term(covs = "fscore")),
            list(list(factors = c("fcategory", "partner.status"), compare = "fcategory"),
                 list(factors = "partner.status", compare = "partner.status", at = list(fscore = 60))),
            note = "unbalanced two-way design with a covariate")
)

# ---- Incomplete design: the stated formula --------------------------------------------------------

incomplete_case <- function() {
  df <- moore[!(moore$partner.status == "high" & moore$fcategory == "low"), ]
  factors <- c("partner.status", "fcategory")
  data <- r_data(df, factors)
  fit <- lm(conformity ~ partner.status * fcategory + fscore, data = data)
  b <- coef(fit)
  stopifnot(sum(is.na(b)) == 1)  # the empty cell's interaction column is aliased
  keep <- !is.na(b)
  V <- vcov(fit, complete = FALSE)
  cells <- unique(data[factors])
  grid <- cells
  grid$fscore <- mean(df$fscore)
  X <- model.matrix(delete.response(terms(fit)), grid)[, keep, drop = FALSE]
  pred <- drop(X %*% b[keep])
  stopifnot(max(abs(pred - suppressWarnings(predict(fit, grid)))) < 1e-9 * max(abs(pred)))
  codes <- sapply(factors, function(f) code_of(data, f, grid[[f]]))
  df_error <- df.residual(fit)
  q <- qt(1 - alpha / 2, df_error)
  # The averaged design row of the existing combinations whose levels of `vars` are `key`.
  average_row <- function(vars, key) {
    rows <- which(apply(codes[, vars, drop = FALSE], 1, function(r) all(r == key)))
    colMeans(X[rows, , drop = FALSE])
  }
  named <- function(vars, key) setNames(as.list(as.integer(key)), vars)
  request_of <- function(vars, compare = character()) {
    keys <- unique(codes[, vars, drop = FALSE])
    keys <- keys[do.call(order, as.data.frame(keys)), , drop = FALSE]
    means <- lapply(seq_len(nrow(keys)), function(i) {
      l <- average_row(vars, keys[i, ])
      m <- sum(l * b[keep]); se <- sqrt(drop(t(l) %*% V %*% l))
      list(levels = named(vars, keys[i, ]), mean = m, se = se, df = df_error, lower = m - q * se, upper = m + q * se)
    })
    out <- list(factors = I(vars), compare = I(compare), means = means)
    if (length(compare) == 0) return(out)
    others <- setdiff(vars, compare)
    pairs <- list()
    for (g in split(seq_len(nrow(keys)), apply(keys[, others, drop = FALSE], 1, paste, collapse = ","))) {
      k <- length(g)
      for (a in seq_len(k)) for (c2 in seq_len(k)) if (a < c2) {
        d <- average_row(vars, keys[g[a], ]) - average_row(vars, keys[g[c2], ])
        est <- sum(d * b[keep]); se <- sqrt(drop(t(d) %*% V %*% d)); stat <- est / se
        p <- 2 * pt(-abs(stat), df_error)
        pairs[[length(pairs) + 1]] <- list(by = named(others, keys[g[a], others]),
                                           first = named(compare, keys[g[a], compare]),
                                           second = named(compare, keys[g[c2], compare]),
                                           estimate = est, se = se, df = df_error, stat = stat, p = p,
                                           lower = est - q * se, upper = est + q * se)
      }
    }
    out$pairs <- list(none = pairs)
    out
  }
  columns <- c("conformity", factors, "fscore")
  records <- as.data.frame(lapply(columns, function(col) {
    if (col %in% factors) qx_codes(df[[col]]) else as.numeric(df[[col]])
  }))
  list(name = "moore_empty_cell", note = "no records with partner.status = high and fcategory = low",
       columns = I(columns), dependent = "conformity",
       factors = lapply(factors, function(f) list(name = f, levels = I(as.character(qx_levels(df[[f]]))))),
       covariates = I("fscore"),
       terms = list(list(factors = I("partner.status"), nest = I(0L), covs = I(character())),
                    list(factors = I("fcategory"), nest = I(0L), covs = I(character())),
                    list(factors = I(factors), nest = I(c(0L, 0L)), covs = I(character())),
                    list(factors = I(character()), nest = I(integer()), covs = I("fscore"))),
       intercept = TRUE, freq = NULL, regr = NULL, records = unname(as.matrix(records)),
       df_error = df_error, sigma = sigma(fit),
       requests = list(request_of("fcategory"), request_of("partner.status"),
                       request_of(c("partner.status", "fcategory"), "fcategory")))
}

cases[[length(cases) + 1]] <- incomplete_case()
qx_write_json(list(alpha = alpha, cases = cases), "emmeans_linear.json")
