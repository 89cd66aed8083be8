# Reference contrast coefficient matrices (one row per contrast, one column per level) from R's
# contrast codings and emmeans' contrast methods:
#   simple      emmeans trt.vs.ctrl.emmc (each level minus the reference level)
#   deviation   emmeans eff.emmc (each level minus the mean of all levels)
#   difference  contr.helmert columns scaled to +1 (each level minus the mean of the earlier ones)
#   helmert     the same on the reversed levels (each level minus the mean of the later ones)
#   repeated    emmeans consec.emmc negated (each level minus the next)
#   pairwise    emmeans pairwise.emmc (the unordered pairs, level a minus level b for a < b)
#   polynomial  contr.poly(k, scores): orthonormal polynomials in the scores
#
# Run from this folder: Rscript contrasts.R   (writes contrasts.json)

suppressMessages(library(emmeans))

num <- function(x) sprintf("%.17g", x)
rows_json <- function(m) paste0("[", paste(apply(m, 1, function(r) paste0("[", paste(num(r), collapse = ", "), "]")),
                                           collapse = ", "), "]")
entry <- function(k, m, extra = "") paste0("{\"k\": ", k, extra, ", \"rows\": ", rows_json(m), "}")
coef_rows <- function(emmc) t(as.matrix(emmc))  # emmc objects hold one contrast per column

ks <- 2:6
simple <- unlist(lapply(ks, function(k) lapply(unique(c(0, k %/% 2, k - 1)), function(r)
  entry(k, coef_rows(emmeans:::trt.vs.ctrl.emmc(seq_len(k), ref = r + 1)), paste0(", \"reference\": ", r)))))
deviation <- vapply(ks, function(k) entry(k, coef_rows(emmeans:::eff.emmc(seq_len(k)))), "")
difference <- vapply(ks, function(k) {
  h <- contr.helmert(k)
  entry(k, t(sweep(h, 2, seq_len(k - 1), "/")))
}, "")
helmert <- vapply(ks, function(k) {
  h <- contr.helmert(k)
  d <- t(sweep(h, 2, seq_len(k - 1), "/"))  # on levels k..1: the reversed levels
  entry(k, d[rev(seq_len(k - 1)), rev(seq_len(k)), drop = FALSE])
}, "")
repeated <- vapply(ks, function(k) entry(k, -coef_rows(emmeans:::consec.emmc(seq_len(k)))), "")
pairwise <- vapply(ks, function(k) entry(k, coef_rows(emmeans:::pairwise.emmc(seq_len(k)))), "")
poly_cases <- list(list(2, 1:2), list(3, 1:3), list(4, c(1, 2, 4, 8)), list(5, c(-3, 0.5, 1, 7, 7.5)),
                   list(7, 1:7), list(12, (1:12)^1.5))
polynomial <- vapply(poly_cases, function(c) {
  k <- c[[1]]; s <- c[[2]]
  entry(k, t(contr.poly(k, scores = s)), paste0(", \"scores\": [", paste(num(s), collapse = ", "), "]"))
}, "")

group <- function(name, entries) paste0("\"", name, "\": [\n  ", paste(entries, collapse = ",\n  "), "\n]")
writeLines(paste0("{\n", paste(c(group("simple", simple), group("deviation", deviation),
                                 group("helmert", helmert), group("difference", difference),
                                 group("repeated", repeated), group("pairwise", pairwise),
                                 group("polynomial", polynomial)), collapse = ",\n"), "\n}"),
           "contrasts.json")
