# Shared by emmeans_qxfit.R and emmeans_qxfit_logistic.R.

# The contrasts' p-values under the other adjustments, within each group as emmeans' families are:
# Sidak 1 - (1 - p)^m without cancellation, Holm by p.adjust (emmeans' "holm"), Holm-Sidak by hand.
adjust_contrasts <- function(contrasts) {
  lapply(contrasts, function(kind) {
    none <- kind$none
    key <- vapply(none, function(r) paste(unlist(r$by), collapse = ","), "")
    p <- vapply(none, function(r) r$p, 0)
    sid <- p; holm <- p; hs <- p
    for (g in unique(key)) {
      in_g <- key == g
      sid[in_g] <- sidak(p[in_g], sum(in_g))
      holm[in_g] <- p.adjust(p[in_g], "holm")
      hs[in_g] <- holm_sidak(p[in_g])
    }
    only_p <- function(q) Map(function(r, x) list(by = r$by, estimate = r$estimate, p = x), none, q)
    c(kind, list(sidak = only_p(sid), holm = only_p(holm), holm_sidak = only_p(hs)))
  })
}
