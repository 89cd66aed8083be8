# Reference values for the fifteen link functions, from R: qlogis/plogis, qnorm/pnorm/dnorm,
# qcauchy/pcauchy/dcauchy and closed forms written with log1p/expm1 where R's make.link would round
# (make.link also clamps its inverses away from 0 and 1, so its linkinv is not used). Derivatives
# come from R's symbolic differentiator D() applied to the link (ordinary links) or to the inverse
# link (cumulative links: d mu / d eta written as a function of mu), so they do not share our algebra.
# R evaluates those expressions term by term, so the grids keep away from arguments where the terms
# cancel (the negative binomial beyond mu = 20), and pnorm is asked only above -37.5, where it stops
# returning subnormal probabilities.
#
# Each link entry: type (the LinkType value), param, and tables of [argument, value] rows for
# "link" (mu), "inverse" (eta), "derivative" (mu) and "second" (mu).
#
# Run from this folder: Rscript link_functions.R   (writes link_functions.json)

# JSON with every double at 17 significant digits (jsonlite stops at 15).
num <- function(x) if (is.infinite(x)) (if (x > 0) "1e999" else "-1e999") else sprintf("%.17g", x)
to_json <- function(x) {
  if (is.null(x)) return("null")
  if (is.list(x) && !is.null(names(x)))
    return(paste0("{", paste0("\"", names(x), "\": ", vapply(x, to_json, ""), collapse = ", "), "}"))
  if (is.list(x)) return(paste0("[", paste(vapply(x, to_json, ""), collapse = ", "), "]"))
  if (length(x) == 1) return(num(x))
  paste0("[", paste(vapply(x, num, ""), collapse = ", "), "]")
}

mu_tail <- c(1e-12, 1e-6, 0.003, 0.04, 0.2, 0.35, 0.5, 0.65, 0.8, 0.96, 0.997, 1 - 1e-6)
mu_mid <- c(0.001, 0.02, 0.1, 0.3, 0.42, 0.58, 0.7, 0.9, 0.98, 0.999)
mu_pos <- c(1e-8, 0.001, 0.3, 1, 2.5, 17, 1e4, 1e9)
eta_all <- c(-700, -300, -40, -8, -1.5, -0.2, 0, 0.3, 2, 9, 35, 300, 700)
eta_neg <- c(-700, -40, -5, -1, -0.3, -1e-3)

rows <- function(x, f) lapply(x, function(v) c(v, f(v)))
sym <- function(expr, var, order) {
  d <- expr
  for (i in seq_len(order)) d <- D(d, var)
  function(v) eval(d, setNames(list(v), var))
}
ordinary <- function(type, param, expr, linkf, invf, mu_link, eta, mu_deriv) {
  list(type = type, param = param,
       link = rows(mu_link, linkf), inverse = rows(eta, invf),
       derivative = rows(mu_deriv, sym(expr, "mu", 1)), second = rows(mu_deriv, sym(expr, "mu", 2)))
}
# Cumulative links: derivatives of the inverse link at eta = link(mu).
cumulative <- function(type, inv_expr, linkf, invf, mu_link, eta, mu_deriv) {
  d1 <- sym(inv_expr, "eta", 1)
  d2 <- sym(inv_expr, "eta", 2)
  list(type = type, param = NULL,
       link = rows(mu_link, linkf), inverse = rows(eta, invf),
       derivative = rows(mu_deriv, function(m) d1(linkf(m))),
       second = rows(mu_deriv, function(m) d2(linkf(m))))
}

k <- 0.7
links <- list(
  cloglog = ordinary(0, NULL, quote(log(-log(1 - mu))),
                     function(m) log(-log1p(-m)), function(e) -expm1(-exp(e)),
                     mu_tail, eta_all[abs(eta_all) < 700], mu_mid),
  identity = ordinary(1, NULL, quote(mu), identity, identity, c(-3, 0, 2.5), c(-7, 0, 1e300), c(-3, 2)),
  log = ordinary(2, NULL, quote(log(mu)), log, exp, mu_pos, c(-700, -30, -1, 0, 2, 50, 709), mu_pos),
  logcomp = ordinary(3, NULL, quote(log(1 - mu)), function(m) log1p(-m), function(e) -expm1(e),
                     c(-50, -1, 1e-9, 0.3, 0.9, 1 - 1e-9), c(-700, -20, -1e-6, 0, 1e-6, 1, 5),
                     c(-50, -1, 0.3, 0.9, 0.999)),
  logit = ordinary(4, NULL, quote(log(mu / (1 - mu))), qlogis, plogis,
                   mu_tail[mu_tail < 0.3 | mu_tail > 0.7 | mu_tail == 0.5], eta_all, mu_mid),
  negbinomial = ordinary(5, k, quote(log(k * mu / (1 + k * mu))),
                         function(m) -log1p(1 / (k * m)), function(e) 1 / (k * expm1(-e)),
                         mu_pos, eta_neg, mu_pos[mu_pos < 20]),
  neglog = ordinary(6, NULL, quote(-log(-log(mu))),
                    function(m) -log(-log(m)), function(e) exp(-exp(-e)),
                    mu_tail, eta_all[abs(eta_all) < 700], mu_mid),
  oddspower = ordinary(7, 0.5, quote(((mu / (1 - mu))^0.5 - 1) / 0.5),
                       function(m) ((m / (1 - m))^0.5 - 1) / 0.5,
                       function(e) { r <- (0.5 * e + 1)^2; r / (r + 1) },
                       c(0.001, 0.1, 0.3, 0.7, 0.9, 0.999), c(-1.9, -1, 0, 3, 40), mu_mid),
  oddspower0 = ordinary(7, 0, quote(log(mu / (1 - mu))), qlogis, plogis,
                        c(0.001, 0.1, 0.9, 0.999), c(-30, -1, 0, 2, 30), mu_mid),
  power3 = ordinary(8, 3, quote(mu^3), function(m) m^3, function(e) sign(e) * abs(e)^(1 / 3),
                    c(-2, 0, 0.1, 1.7, 40), c(-8, -1e-6, 0, 0.001, 27, 1e30), c(-2, 0.1, 1.7, 40)),
  powerhalf = ordinary(8, 0.5, quote(mu^0.5), sqrt, function(e) e^2,
                       c(0, 1e-10, 0.25, 9, 1e6), c(0, 0.5, 3, 1e100), c(1e-10, 0.25, 9, 1e6)),
  power0 = ordinary(8, 0, quote(log(mu)), log, exp, mu_pos, c(-700, -2, 0, 3, 700), mu_pos),
  probit = list(type = 9, param = NULL,
                link = rows(mu_tail, qnorm), inverse = rows(c(-37, -20, -5, -1.2, 0, 0.4, 3, 8.2), pnorm),
                derivative = rows(mu_tail, function(m) 1 / dnorm(qnorm(m))),
                second = rows(mu_tail, function(m) { z <- qnorm(m); z / dnorm(z)^2 })),
  cumcauchit = cumulative(10, quote(atan(eta) / pi + 0.5), qcauchy, pcauchy,
                          mu_tail, c(-1e12, -1e4, -3, -1, -0.2, 0, 0.7, 5, 1e8), mu_mid),
  cumcloglog = cumulative(11, quote(1 - exp(-exp(eta))), function(m) log(-log1p(-m)),
                          function(e) -expm1(-exp(e)), mu_tail, c(-30, -2, 0, 1.5, 3.5), mu_mid),
  cumlogit = cumulative(12, quote(1 / (1 + exp(-eta))), qlogis, plogis,
                        c(1e-9, 0.01, 0.9, 0.999999), c(-100, -1, 0, 4, 100), mu_mid),
  cumneglog = cumulative(13, quote(exp(-exp(-eta))), function(m) -log(-log(m)),
                         function(e) exp(-exp(-e)), mu_tail, c(-3.5, -1, 0, 2, 30), mu_mid),
  cumprobit = list(type = 14, param = NULL,
                   link = rows(mu_tail, qnorm), inverse = rows(c(-30, -2, 0, 1, 6), pnorm),
                   derivative = rows(mu_tail, function(m) dnorm(qnorm(m))),
                   second = rows(mu_tail, function(m) { z <- qnorm(m); -z * dnorm(z) }))
)

writeLines(to_json(links), "link_functions.json")
