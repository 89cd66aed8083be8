# Type III Wald chi-square tests of model effects for the multinomial layouts, on Salaries:
# rank (3 categories) ~ discipline * sex + yrs.since.phd.
#   nominal: nnet::multinom, one block of parameters per non-reference category;
#   ordinal: MASS::polr (cumulative logit), the thresholds in place of the intercept.
# Each model is fitted on the non-aliased columns of the library's over-parameterised design
# (qx_design.R); its estimates and covariance are written in the library's layout (aliased parameters
# 0, with zero rows and columns), with X'X of the design, from which the library builds its
# hypotheses. The reference statistics are formed independently of the library's construction: the
# same fit is re-expressed in sum-to-zero contrasts (an exact change of basis of the same column space,
# per linear predictor), and each term is tested by the Wald chi-square of its coefficients in every
# linear predictor; the corrected model tests every coefficient but the intercept.
# Run from the repository root: Rscript tests/reference/effect_tests_multinomial.R
suppressMessages({library(nnet); library(MASS)})
source("tests/reference/qx_design.R")
source("tests/reference/qx_json.R")

sal <- read.csv("data/Salaries.csv", stringsAsFactors = FALSE)
sal$rank <- factor(sal$rank, levels = c("AsstProf", "AssocProf", "Prof"))
terms <- list(list(factors = "discipline", nest = 0L, covs = character()),
              list(factors = "sex", nest = 0L, covs = character()),
              list(factors = c("discipline", "sex"), nest = c(0L, 0L), covs = character()),
              list(factors = character(), nest = integer(), covs = "yrs.since.phd"))
d <- qx_design(sal, terms)
X <- d$X
p <- ncol(X)
q <- qr(X)
aliased <- rep(TRUE, p)
aliased[q$pivot[seq_len(q$rank)]] <- FALSE
Xn <- X[, !aliased]

# Sum-to-zero coding of the same model; M maps the estimates of Xn to those of Xs.
sal$discipline <- factor(sal$discipline)
sal$sex <- factor(sal$sex)
Xs <- model.matrix(terms(~ discipline + sex + discipline:sex + yrs.since.phd, keep.order = TRUE), sal,
                   contrasts.arg = list(discipline = contr.sum, sex = contr.sum))
M <- solve(crossprod(Xs), crossprod(Xs, Xn))
stopifnot(max(abs(Xs %*% M - Xn)) < 1e-9 * max(abs(Xn)))
assign <- attr(Xs, "assign")

wald <- function(b, V) {
  chi <- as.numeric(t(b) %*% solve(V, b))
  list(chi = chi, df = length(b), p = pchisq(chi, length(b), lower.tail = FALSE))
}
effect_ranges <- lapply(sort(unique(d$effect)), function(e) {
  idx <- which(d$effect == e)
  list(first = min(idx) - 1L, count = length(idx))
})

# Nominal: coefficients by logit (non-reference category), each over the columns of Xn.
nominal_fit <- multinom(rank ~ Xn - 1, data = sal, maxit = 1000, reltol = 1e-14, trace = FALSE, Hess = TRUE)
B <- coef(nominal_fit)
Vn <- solve(nominal_fit$Hessian)
K1 <- nrow(B)
qn <- ncol(Xn)
place <- unlist(lapply(seq_len(K1), function(k) (k - 1) * p + which(!aliased)))
b_nominal <- numeric(K1 * p); b_nominal[place] <- as.numeric(t(B))
V_nominal <- matrix(0, K1 * p, K1 * p); V_nominal[place, place] <- Vn
Mk <- kronecker(diag(K1), M)
b_s <- Mk %*% as.numeric(t(B))
V_s <- Mk %*% Vn %*% t(Mk)
cols_nominal <- function(terms_wanted) {
  which(rep(assign, K1) %in% terms_wanted)
}
nominal_tests <- lapply(0:length(terms), function(t) {
  j <- cols_nominal(t)
  wald(b_s[j], V_s[j, j])
})
j <- cols_nominal(seq_along(terms))
nominal_corrected <- wald(b_s[j], V_s[j, j])

# Ordinal: thresholds first, then the non-intercept parameters.
nonint <- which(!aliased)[-1]
# polr's starting values come from a binary glm that separates; the fit itself is unaffected.
ordinal_fit <- suppressWarnings(
  polr(rank ~ X[, nonint], data = sal, Hess = TRUE, control = list(reltol = 1e-14, maxit = 1000)))
beta <- coef(ordinal_fit)
zeta <- ordinal_fit$zeta
Vo <- vcov(ordinal_fit)
nb <- length(beta)
n_ordinal <- p + 3 - 2
place_o <- c(1:2, 2 + (nonint - 1))
b_ordinal <- numeric(n_ordinal); b_ordinal[place_o] <- c(zeta, beta)
V_ordinal <- matrix(0, n_ordinal, n_ordinal)
V_ordinal[place_o, place_o] <- Vo[c(nb + 1:2, 1:nb), c(nb + 1:2, 1:nb)]
M_ni <- M[-1, -1]
beta_s <- M_ni %*% beta
V_beta_s <- M_ni %*% Vo[1:nb, 1:nb] %*% t(M_ni)
assign_ni <- assign[-1]
ordinal_tests <- lapply(seq_along(terms), function(t) {
  j <- which(assign_ni == t)
  wald(beta_s[j], V_beta_s[j, j])
})
ordinal_corrected <- wald(beta_s, V_beta_s)

qx_write_json(list(
  generated_by = "tests/reference/effect_tests_multinomial.R", r_version = R.version.string,
  case = list(
    columns = I(c("rank", "discipline", "sex", "yrs.since.phd")), dependent = "rank",
    factors = lapply(c("discipline", "sex"), function(f) list(name = f, levels = I(qx_levels(sal[[f]])))),
    covariates = I("yrs.since.phd"),
    terms = lapply(terms, function(t) list(factors = I(t$factors), nest = I(t$nest), covs = I(t$covs))),
    intercept = TRUE, freq = NULL, regr = NULL),
  p = p, categories = 3, xtx = crossprod(X), non_redundant = I(!aliased),
  effect_first = I(vapply(effect_ranges, function(r) r$first, 0L)),
  effect_count = I(vapply(effect_ranges, function(r) r$count, 0L)),
  nominal = list(b = I(b_nominal), V = V_nominal, type3 = nominal_tests, corrected = nominal_corrected),
  ordinal = list(b = I(b_ordinal), V = V_ordinal, type3 = c(list(NULL), ordinal_tests),
                 corrected = ordinal_corrected)), "tests/reference/effect_tests_multinomial.json")
