# Shared by the marginal-means reference scripts (emmeans_linear.R, emmeans_logistic.R): requests for
# emmeans written in the layout the C++ tests read. Factor levels are written as the library's codes
# (qx_design.R); a statistic emmeans gives on infinite degrees of freedom has df null.
#
# A request names its factors, the compare factors, the covariate values it holds (the others at their
# means, as emmeans' reference grid does), the nesting levels of its factors and the scale ("link", the
# linear predictor, or "response", through the inverse link). For every request:
#   means      emmeans(fit, factors, at = ...), on the response scale summary(type = "response"): mean,
#              SE, df, 95% bounds (back-transformed on the response scale)
#   pairs      contrast(emmeans(fit, compare, by = others), "pairwise") (regrid() first on the response
#              scale) with adjust none, bonferroni, sidak (estimates, SE, statistic, p, bounds) and holm
#              (p); the Sidak p-values, and Holm-Sidak's (1 - (1 - p)^(m - r + 1) at rank r, made
#              monotone), formed from the unadjusted p-values of each group without cancellation
#   contrasts  (one compare factor) poly, consec, trt.vs.ctrl against the last and the first level,
#              eff, and Helmert and difference contrasts given as coefficient matrices; adjust none and
#              bonferroni, with bounds; the coefficients of each row
#   joint      the joint test that the means of each group are equal (see joint_of)

suppressMessages(library(emmeans))
emm_options(msg.interaction = FALSE, msg.nesting = FALSE)
source("qx_design.R")
source("qx_json.R")

alpha <- 0.05
read_data <- function(name) read.csv(file.path("../../data", name), stringsAsFactors = FALSE)
term <- function(factors = character(), nest = rep(0L, length(factors)), covs = character()) {
  list(factors = factors, nest = nest, covs = covs)
}
finite_or_na <- function(x) ifelse(is.finite(x), x, NA)

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

# The records as the library reads them and the parts of a case that describe the model.
case_model <- function(df, y, factors, covariates, terms, y_codes = FALSE) {
  columns <- c(y, factors, covariates)
  records <- as.data.frame(lapply(columns, function(col) {
    if (col %in% factors || (y_codes && col == y)) qx_codes(df[[col]]) else as.numeric(df[[col]])
  }))
  list(columns = I(columns), dependent = y,
       factors = lapply(factors, function(f) list(name = f, levels = I(as.character(qx_levels(df[[f]]))))),
       covariates = I(covariates),
       terms = lapply(terms, function(t) list(factors = I(t$factors), nest = I(t$nest), covs = I(t$covs))),
       intercept = TRUE, freq = NULL, regr = NULL, records = unname(as.matrix(records)))
}

# The columns of an emmeans summary: estimate, SE, df, bounds and statistic, whatever their names.
summary_columns <- function(s, factors) {
  names_ <- names(s)
  estimate <- setdiff(names_, c(factors, "SE", "df"))[1]
  stat <- intersect(c("t.ratio", "z.ratio"), names_)
  list(estimate = s[[estimate]], se = s$SE, df = finite_or_na(s$df),
       lower = s[[grep("(LCL|lower.CL)$", names_, value = TRUE)[1]]],
       upper = s[[grep("(UCL|upper.CL)$", names_, value = TRUE)[1]]],
       stat = if (length(stat)) s[[stat]] else NULL, p = s$p.value)
}

# The covariance of the estimates: the model's own (vcov), unless the case attaches another as
# fit$qx_vcov (see emmeans_logistic.R).
vcov_of <- function(fit) if (is.null(fit$qx_vcov)) vcov(fit) else fit$qx_vcov
emm_grid <- function(fit, specs, ...) emmeans(fit, specs, ..., vcov. = vcov_of(fit))

emm_of <- function(fit, specs, by, at, scale) {
  emm <- emm_grid(fit, specs, by = if (length(by)) by else NULL, at = at)
  if (scale == "response") regrid(emm) else emm
}

means_of <- function(fit, data, factors, at, scale) {
  emm <- emm_grid(fit, factors, at = at)
  s <- as.data.frame(summary(emm, type = scale, level = 1 - alpha))
  v <- summary_columns(s, factors)
  lapply(seq_len(nrow(s)), function(i) list(levels = codes_of(data, s[i, ], factors), mean = v$estimate[i],
                                            se = v$se[i], df = v$df[i], lower = v$lower[i], upper = v$upper[i]))
}

# Rows of a contrast summary with their group, in summary order.
contrast_rows <- function(con, data, by, adjust, infer_ci = TRUE) {
  s <- as.data.frame(summary(con, adjust = adjust, infer = c(infer_ci, TRUE), level = 1 - alpha))
  v <- summary_columns(s, c("contrast", by))
  lapply(seq_len(nrow(s)), function(i) {
    row <- list(by = codes_of(data, s[i, ], by), estimate = v$estimate[i], se = v$se[i], df = v$df[i],
                stat = v$stat[i], p = v$p[i])
    if (infer_ci) c(row, lower = v$lower[i], upper = v$upper[i]) else row
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

# The joint test of each group. emmeans rounds the statistic of its joint tests to three decimals, so
# the reference is formed again and emmeans' value checks it:
#   link scale      car::linearHypothesis on independent consecutive differences of the group (a basis
#                   of all its differences): F for lm, the Wald chi-square for glm;
#   response scale  the delta method by hand: d = T mu for those differences, G = T diag(d mu / d eta) L,
#                   W = d' ginv(G V G') d on rank(G V G') degrees of freedom.
joint_of <- function(fit, emmc_link, data, by, scale) {
  consec <- contrast(emmc_link, "consec", by = if (length(by)) by else NULL)
  jt <- as.data.frame(test(contrast(if (scale == "response") regrid(emmc_link) else emmc_link, "pairwise"),
                           joint = TRUE, by = if (length(by)) by else NULL))
  L <- consec@linfct
  per_group <- nrow(L) / nrow(jt)
  lapply(seq_len(nrow(jt)), function(i) {
    rows <- (i - 1) * per_group + seq_len(per_group)
    Lg <- L[rows, , drop = FALSE]
    independent <- qr(t(Lg), tol = 1e-10)
    Lg <- Lg[sort(independent$pivot[seq_len(independent$rank)]), , drop = FALSE]
    out <- list(by = codes_of(data, jt[i, ], by), df1 = jt$df1[i], df2 = finite_or_na(jt$df2[i]))
    if (scale == "response") {
      # The group's means and the consecutive differences among them, on the response scale.
      grid <- emmc_link@grid
      group_rows <- which(Reduce(`&`, lapply(by, function(f) as.character(grid[[f]]) == as.character(jt[i, f])),
                                 rep(TRUE, nrow(grid))))
      Lm <- emmc_link@linfct[group_rows, , drop = FALSE]
      eta <- drop(Lm %*% coef(fit))
      fam <- family(fit)
      k <- nrow(Lm)
      T <- cbind(diag(k - 1), 0) - cbind(0, diag(k - 1))
      G <- T %*% diag(fam$mu.eta(eta), k) %*% Lm
      d <- drop(T %*% fam$linkinv(eta))
      S <- G %*% vcov_of(fit) %*% t(G)
      W <- drop(t(d) %*% MASS::ginv(S) %*% d)
      rank <- qr(S, tol = 1e-10)$rank
      stopifnot(rank == jt$df1[i], abs(W / rank - jt$F.ratio[i]) <= 1e-3 * max(1, W / rank))
      return(c(out, chisq = W, p = pchisq(W, rank, lower.tail = FALSE)))
    }
    if (inherits(fit, "glm")) {
      lh <- car::linearHypothesis(fit, Lg, test = "Chisq", vcov. = vcov_of(fit))
      stopifnot(abs(lh$Chisq[2] / lh$Df[2] - jt$F.ratio[i]) <= 1e-3 * max(1, lh$Chisq[2] / lh$Df[2]))
      return(c(out, chisq = lh$Chisq[2], p = lh$`Pr(>Chisq)`[2]))
    }
    lh <- car::linearHypothesis(fit, Lg, vcov. = vcov_of(fit))
    stopifnot(abs(lh$F[2] - jt$F.ratio[i]) <= 1e-3 * max(1, lh$F[2]), lh$Df[2] == jt$df1[i])
    c(out, F = lh$F[2], p = lh$`Pr(>F)`[2])
  })
}

request <- function(fit, data, factors, compare = character(), at = list(), nest = NULL, contrasts = TRUE,
                    scale = "link") {
  out <- list(factors = I(factors), compare = I(compare), nest = if (is.null(nest)) NULL else I(nest),
              at = if (length(at)) at else NULL, scale = scale, means = means_of(fit, data, factors, at, scale))
  if (length(compare) == 0) return(out)
  by <- setdiff(factors, compare)
  emmc <- emm_of(fit, compare, by, at, scale)
  out$pairs <- pairs_of(emmc, data, compare, by)
  out$joint <- joint_of(fit, emm_of(fit, compare, by, at, "link"), data, by, scale)
  if (length(compare) == 1 && contrasts) out$contrasts <- contrasts_of(emmc, data, by, nlevels(data[[compare]]))
  out
}
