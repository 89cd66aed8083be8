#include "linear/QXCellMoments.h"

#include <numeric>
#include <utility>

#include "common/QXSymMatrix.h"

namespace QXMath_600 {

bool QXCellMoments::Allocate(std::int64_t nCells, int order) {
  Release();
  if (nCells <= 0 || order <= 0) return false;
  const std::int64_t packed = static_cast<std::int64_t>(order) * (order + 1) / 2;
  if (packed > kMaxMoments || nCells > kMaxMoments / packed) return false;
  const std::size_t cells = static_cast<std::size_t>(nCells);
  fPackedSize = static_cast<std::size_t>(packed);
  fvHi.assign(cells * fPackedSize, 0.0);
  fvLo.assign(cells * fPackedSize, 0.0);
  fvTouched.assign(cells, 0);
  fvTouchedCells.reserve(cells);
  fvIndices.resize(static_cast<std::size_t>(order));
  std::iota(fvIndices.begin(), fvIndices.end(), 0);
  fvScratch.assign(static_cast<std::size_t>(order) * QXSymMatrix::kOuterProductScratch, 0.0);
  fOrder = order;
  return true;
}

void QXCellMoments::Release() {
  fOrder = 0;
  fPackedSize = 0;
  fvHi = {};
  fvLo = {};
  fvTouched = {};
  fvTouchedCells = {};
  fvIndices = {};
  fvScratch = {};
}

void QXCellMoments::GetMoment(int cell, int a, int b, double& hi, double& lo) const {
  if (a < b) std::swap(a, b);
  const std::size_t at = static_cast<std::size_t>(cell) * fPackedSize +
                         static_cast<std::size_t>(a) * (a + 1) / 2 + static_cast<std::size_t>(b);
  hi = fvHi[at];
  lo = fvLo[at];
}

void QXCellMoments::Accumulate(const double* hi, const double* lo, double w, double* packedHi,
                               double* packedLo) {
  QXSymMatrix::AccumulateOuterProduct(fvIndices.data(), hi, lo, fOrder, w, fvScratch.data(), packedHi,
                                      packedLo);
}

}  // namespace QXMath_600
