# Reference values for the distribution functions of the companion layer, from R's pnorm, qnorm,
# pt, qt, pchisq and pf. Each table row is (arguments..., value); upper tails use lower.tail = FALSE.
# The grids cover the centre, the extreme tails down to the smallest doubles, fractional and large
# degrees of freedom.
#
# Run from this folder: Rscript distributions.R   (writes distributions.json)
#
# R's own error reaches about 1e-13 relative deep in the tails (pf and pt with hundreds of degrees of
# freedom), and its qt loses up to 1e-10 for degrees of freedom below 1, so qt is asked only for
# df >= 1 here. distributions_mp.py computes the same functions to 60 digits for the tight check.

num <- function(x) {
  if (is.infinite(x)) return(if (x > 0) "\"Inf\"" else "\"-Inf\"")
  sprintf("%.17g", x)
}
table_json <- function(rows) {
  paste0("[\n", paste0("    [", vapply(rows, function(r) paste(vapply(r, num, ""), collapse = ", "), ""),
                       "]", collapse = ",\n"), "\n  ]")
}
grid <- function(...) {
  g <- expand.grid(..., KEEP.OUT.ATTRS = FALSE, stringsAsFactors = FALSE)
  lapply(seq_len(nrow(g)), function(i) unlist(g[i, ]))
}
with_value <- function(rows, f) lapply(rows, function(r) c(r, do.call(f, as.list(unname(r)))))

z <- c(-38.4, -37.5, -30, -20, -10, -8.3, -5, -3, -1.96, -1, -0.5, -1e-10, 0, 1e-8, 0.3, 1, 2.5, 5, 8)
p <- c(1e-300, 1e-100, 1e-20, 1e-10, 1e-5, 0.001, 0.025, 0.1, 0.3, 0.5, 0.7, 0.9, 0.975, 0.999,
       0.999999, 1 - 2^-40)
q <- c(1e-300, 1e-100, 1e-20, 1e-10, 1e-5, 0.001, 0.025, 0.3)
t_x <- c(-1e5, -50, -10, -3, -1, -0.1, 0, 0.5, 2, 4, 30, 1e3)
t_df <- c(0.3, 1, 2.5, 7.4, 30, 1000.6, 2e5, 1e6, 1e10)
t_p <- c(1e-12, 1e-5, 0.01, 0.05, 0.3, 0.5, 0.8, 0.975, 0.999999)
chi_x <- c(1e-10, 0.01, 0.5, 1, 3.84, 10, 50, 200, 1000, 5000)
chi_df <- c(0.2, 1, 2, 3.7, 10, 100.5, 1e4, 1e6)
f_x <- c(1e-6, 0.1, 0.5, 1, 2, 4, 10, 100, 1e4)
f_df <- list(c(1, 1), c(1, 10), c(2.5, 7.3), c(3, 100), c(10, 2), c(20.5, 1e5), c(1000, 1000),
             c(0.5, 0.7))
f_rows <- unlist(lapply(f_x, function(f) lapply(f_df, function(d) c(f, d))), recursive = FALSE)

tables <- list(
  cdf_std_norm = with_value(as.list(z), function(x) pnorm(x)),
  cdf_std_norm_upper = with_value(as.list(c(-3, 0.5, 5, 10, 20, 37.5)),
                                  function(x) pnorm(x, lower.tail = FALSE)),
  idf_std_norm = with_value(as.list(p), function(x) qnorm(x)),
  idf_std_norm_upper = with_value(as.list(q), function(x) qnorm(x, lower.tail = FALSE)),
  cdf_t = with_value(grid(t = t_x, df = t_df), function(t, df) pt(t, df)),
  cdf_t_upper = with_value(grid(t = c(-2, 3, 10, 40, 1e3, 1e8), df = c(0.3, 2.5, 7.4, 100, 1000.6)),
                           function(t, df) pt(t, df, lower.tail = FALSE)),
  idf_t = with_value(grid(p = t_p, df = t_df[t_df >= 1]), function(p, df) qt(p, df)),
  idf_t_upper = with_value(grid(q = c(1e-20, 1e-10, 0.001, 0.025), df = c(1, 2.5, 7.4, 30, 1000.6)),
                           function(q, df) qt(q, df, lower.tail = FALSE)),
  cdf_chi = with_value(grid(x = chi_x, df = chi_df), function(x, df) pchisq(x, df)),
  cdf_chi_upper = with_value(grid(x = chi_x, df = chi_df), function(x, df) pchisq(x, df, lower.tail = FALSE)),
  cdf_f = with_value(f_rows, function(f, d1, d2) pf(f, d1, d2)),
  cdf_f_upper = with_value(f_rows, function(f, d1, d2) pf(f, d1, d2, lower.tail = FALSE))
)

# Values R reports as 0 (underflow) or 1 carry no digits to compare; keep the rows that carry digits.
tables <- lapply(tables, function(rows) Filter(function(r) { v <- r[length(r)]; is.finite(v) && v != 0 }, rows))

out <- paste0("{\n  \"source\": \"", R.version.string, "\",\n",
              paste0("  \"", names(tables), "\": ", vapply(tables, table_json, ""), collapse = ",\n"),
              "\n}\n")
writeLines(out, "distributions.json", sep = "")
