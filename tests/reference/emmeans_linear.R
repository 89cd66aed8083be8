# Reference values for the estimated marginal means of linear models and their comparisons: emmeans on
# lm() fits of public datasets (R's usual parameterisation: estimable means do not depend on it).
#
# Each case carries its records exactly as the library reads them and a list of requests, written as
# qx_emmeans.R describes (every request on the link scale, which for lm is the response's).
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

source("qx_emmeans.R")

make_case <- function(name, df, y, factors, covariates, terms, requests, covariate_grid = NULL, note = "",
                      factor_means = TRUE) {
  data <- r_data(df, factors)
  formula <- r_formula(y, terms)
  environment(formula) <- environment()  # where emmeans finds `data` again
  fit <- lm(formula, data = data)
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
  c(list(name = name, note = note), case_model(df, y, factors, covariates, terms),
    list(df_error = df.residual(fit), sigma = sigma(fit),
         requests = lapply(requests, function(r) do.call(request, c(list(fit, data), r))),
         factor_means = factor_means, covariate_means = covariate_means))
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
  terms <- list(term("partner.status"), term("fcategory"), term(factors), term(covs = "fscore"))
  c(list(name = "moore_empty_cell", note = "no records with partner.status = high and fcategory = low"),
    case_model(df, "conformity", factors, "fscore", terms),
    list(
       df_error = df_error, sigma = sigma(fit),
       requests = list(request_of("fcategory"), request_of("partner.status"),
                       request_of(c("partner.status", "fcategory"), "fcategory"))))
}

cases[[length(cases) + 1]] <- incomplete_case()
qx_write_json(list(alpha = alpha, cases = cases), "emmeans_linear.json")
