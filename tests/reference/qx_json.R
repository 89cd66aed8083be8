# Shared by the reference scripts: JSON with every double at 17 significant digits, so that the C++
# tests read back exactly the numbers R computed (jsonlite stops at 15 digits).
#   named list      -> object          unnamed list  -> array
#   matrix          -> array of rows   NULL or NA    -> null
#   vector          -> array, except a length-one vector without I(), which is a scalar
# Infinite values have no JSON form and stop the script.

qx_json_scalars <- function(x) {
  if (length(x) == 0) return(character())
  if (is.character(x)) return(paste0("\"", x, "\""))
  if (is.logical(x)) return(ifelse(is.na(x), "null", ifelse(x, "true", "false")))
  stopifnot(all(is.finite(x) | is.na(x)))
  ifelse(is.na(x), "null", sprintf("%.17g", as.numeric(x)))
}

qx_to_json <- function(x) {
  if (is.null(x)) return("null")
  if (is.matrix(x)) return(qx_to_json(lapply(seq_len(nrow(x)), function(i) I(unname(x[i, ])))))
  if (is.list(x)) {
    if (length(x) == 0) return(if (is.null(names(x))) "[]" else "{}")
    inner <- vapply(x, qx_to_json, "")
    if (!is.null(names(x))) return(paste0("{", paste0("\"", names(x), "\": ", inner, collapse = ", "), "}"))
    return(paste0("[", paste(inner, collapse = ", "), "]"))
  }
  s <- qx_json_scalars(unclass(x))
  if (length(x) == 1 && !inherits(x, "AsIs")) s else paste0("[", paste(s, collapse = ", "), "]")
}

qx_write_json <- function(x, file) writeLines(qx_to_json(x), file)
