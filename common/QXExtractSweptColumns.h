// The columns of H = G X'X for the swept pivots first..last of a swept cross-product matrix: a 1 in
// the pivot's own row, the swept matrix's entries in the unswept rows, 0 elsewhere. Both kernels (the
// packed double-double matrix and the blocked double one) hold their swept matrix in this layout.
#pragma once

#include <utility>

#include "common/QXBitSet.h"
#include "common/QXRectMatrix.h"

namespace QXMath_600::detail {

template <class SweptMatrix>
int ExtractSweptColumns(const SweptMatrix& matrix, int n, int first, int last, const QXBitSet& swept,
                        QXRectMatrix& out) {
  if (first > last || first < 0 || last >= n) return -1;
  const int columns = swept.InRange(first, last);
  QXRectMatrix result(n, columns);
  int col = 0;
  for (int c = first; c <= last; ++c) {
    if (!swept.IsIn(c)) continue;
    for (int j = 0; j < n; ++j) {
      if (j == c)
        result.SetElem(j, col, 1.0);
      else if (!swept.IsIn(j))
        result.SetElem(j, col, matrix.GetElem(c, j));
    }
    ++col;
  }
  out = std::move(result);
  return columns;
}

}  // namespace QXMath_600::detail
