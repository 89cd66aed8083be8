# Reference fits for the exports, in the library's over-parameterised layout (qx_design.R): aliased
# parameters are 0 and marked redundant.
#   multinomial  warpbreaks: tension (3 categories) ~ wool + breaks + breaks^2 + wool by breaks, fitted by
#                VGAM::vglm (Fisher scoring) with the last category and then the first as the
#                reference; nnet::multinom fits the same model as a second opinion. Each fit gives its
#                estimates by block (non-reference category), their Wald statistics and the fitted
#                probabilities of every record.
#   ordinal      carData::Moore: fcategory ordered low < medium < high ~ partner.status + conformity,
#                fitted by MASS::polr (cumulative logit). Its estimates are written in PMML's
#                convention, logit P(Y <= j) = theta_j + x'b, that is polr's zeta and minus its
#                coefficients.
#   linear       lm() parameter statistics (estimate, standard error, t, p, 95% bounds) of two models
#                whose labels carry nesting and a covariate within a factor.
# Records hold the codes the library reads: factor levels 0..k-1 in sorted order, the ordinal
# dependent in its own order.
# Run from the repository root: Rscript tests/reference/export_models.R
suppressMessages({library(VGAM); library(nnet); library(MASS)})
source("tests/reference/qx_design.R")
source("tests/reference/qx_json.R")
set.seed(1)  # the random response only serves to find the aliased columns

term <- function(factors = character(), nest = rep(0L, length(factors)), covs = character()) {
  list(factors = factors, nest = nest, covs = covs)
}
warp <- read.csv("data/warpbreaks.csv", stringsAsFactors = FALSE)
moore <- read.csv("data/Moore.csv", stringsAsFactors = FALSE)
tooth <- read.csv("data/ToothGrowth.csv", stringsAsFactors = FALSE)

# The parts of a case every model type shares: the records, the model and the design's labels and
# aliasing (lm() drops a column that is a combination of earlier ones, as the library's sweep does).
describe <- function(df, y, y_levels, factors, covariates, terms) {
  d <- qx_design(df, terms)
  aliased <- is.na(coef(lm.fit(d$X, rnorm(nrow(d$X)))))
  y_codes <- match(df[[y]], y_levels) - 1L
  records <- cbind(y_codes, sapply(factors, function(f) qx_codes(df[[f]])), as.matrix(df[covariates]))
  list(design = d, aliased = aliased,
       case = list(columns = I(c(y, factors, covariates)), dependent = y, dependent_levels = I(y_levels),
                   factors = lapply(factors, function(f) list(name = f, levels = I(qx_levels(df[[f]])))),
                   covariates = I(covariates),
                   terms = lapply(terms, function(t) list(factors = I(t$factors), nest = I(t$nest),
                                                          covs = I(t$covs))),
                   intercept = TRUE, freq = NULL, regr = NULL,
                   records = unname(records), labels = I(d$labels), aliased = I(aliased)))
}

# --- multinomial ---------------------------------------------------------------------------------
m_levels <- sort(unique(warp$tension))
m <- describe(warp, "tension", m_levels, "wool", "breaks",
              list(term("wool"), term(covs = "breaks"), term(covs = c("breaks", "breaks")),
                   term("wool", covs = "breaks")))
kept <- which(!m$aliased)
Xk <- m$design$X[, kept]
colnames(Xk) <- paste0("c", seq_along(kept))
frame <- data.frame(Xk, y = factor(warp$tension, levels = m_levels))
p <- ncol(m$design$X)

multinomial_fit <- function(reference) {
  fit <- vglm(y ~ . - 1, multinomial(refLevel = reference), data = frame,
              control = vglm.control(epsilon = 1e-13, maxit = 100))
  B <- coef(fit, matrix = TRUE)                    # one column per non-reference category
  se <- matrix(sqrt(diag(vcov(fit))), nrow(B), byrow = TRUE)
  blocks <- setdiff(seq_along(m_levels), reference)
  full <- function(v) { out <- numeric(p); out[kept] <- v; out }
  stats <- lapply(seq_along(blocks), function(b) {
    est <- full(B[, b]); s <- full(se[, b])
    z <- ifelse(m$aliased, 0, est / s)
    list(estimate = I(est), std_error = I(s), chi_square = I(z^2),
         p = I(ifelse(m$aliased, 1, 2 * pnorm(-abs(z)))),
         lower = I(est - qnorm(0.975) * s), upper = I(est + qnorm(0.975) * s))
  })
  list(reference = reference - 1L, block_categories = I(blocks - 1L), blocks = stats,
       log_likelihood = logLik(fit), fitted = unname(fitted(fit)))
}
fits <- list(multinomial_fit(length(m_levels)), multinomial_fit(1L))

# Second opinion: nnet's fitted probabilities agree with VGAM's to its own convergence.
nnet_fit <- multinom(y ~ . - 1, data = frame, maxit = 1000, reltol = 1e-14, trace = FALSE)
nnet_difference <- max(abs(fitted(nnet_fit) - fits[[1]]$fitted))
stopifnot(nnet_difference < 1e-6)
multinomial <- c(m$case, list(fits = fits, nnet_max_probability_difference = nnet_difference))

# --- ordinal ---------------------------------------------------------------------------------------
o_levels <- c("low", "medium", "high")
o <- describe(moore, "fcategory", o_levels, "partner.status", "conformity",
              list(term("partner.status"), term(covs = "conformity")))
nonint <- which(!o$aliased)[-1]
ordinal_fit <- polr(factor(moore$fcategory, levels = o_levels) ~ o$design$X[, nonint], Hess = TRUE,
                    control = list(reltol = 1e-14, maxit = 1000))
po <- ncol(o$design$X)
b_ordinal <- numeric(length(o_levels) - 1 + po - 1)
b_ordinal[seq_along(ordinal_fit$zeta)] <- unname(ordinal_fit$zeta)
b_ordinal[length(o_levels) - 1 + nonint - 1] <- -unname(coef(ordinal_fit))
ordinal <- c(o$case, list(estimates = I(b_ordinal), fitted = unname(fitted(ordinal_fit))))

# --- linear parameter statistics -------------------------------------------------------------------
linear_case <- function(df, y, factors, covariates, terms) {
  d <- qx_design(df, terms)
  fit <- lm(df[[y]] ~ d$X - 1)
  co <- coef(fit)
  ci <- confint(fit, level = 0.95)
  s <- coef(summary(fit))
  row <- 0
  parameters <- lapply(seq_along(co), function(i) {
    if (is.na(co[i])) return(list(label = d$labels[i], redundant = TRUE))
    row <<- row + 1
    list(label = d$labels[i], redundant = FALSE, estimate = s[row, 1], std_error = s[row, 2],
         t = s[row, 3], p = s[row, 4], lower = ci[i, 1], upper = ci[i, 2])
  })
  records <- cbind(df[[y]], sapply(factors, function(f) qx_codes(df[[f]])), as.matrix(df[covariates]))
  list(columns = I(c(y, factors, covariates)), dependent = y,
       factors = lapply(factors, function(f) list(name = f, levels = I(qx_levels(df[[f]])))),
       covariates = I(covariates),
       terms = lapply(terms, function(t) list(factors = I(t$factors), nest = I(t$nest), covs = I(t$covs))),
       intercept = TRUE, freq = NULL, regr = NULL, records = unname(records), parameters = parameters)
}
linear <- list(
  linear_case(warp, "breaks", c("wool", "tension"), character(),
              list(term("wool"), term(c("wool", "tension"), nest = c(0L, 1L)))),
  linear_case(tooth, "len", "supp", "dose", list(term("supp"), term(covs = "dose"), term("supp", covs = "dose"))))

qx_write_json(list(generated_by = "tests/reference/export_models.R", r_version = R.version.string,
                   vgam_version = as.character(packageVersion("VGAM")), multinomial = multinomial,
                   ordinal = ordinal, linear = linear),
              "tests/reference/export_models.json")
