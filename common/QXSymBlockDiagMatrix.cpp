#include "common/QXSymBlockDiagMatrix.h"

#include <algorithm>

#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"

namespace QXMath_600 {

void QXSymBlockDiagMatrix::AddBlock(const QXSymMatrix& block) {
  fvBlocks.push_back(block);
  fvStarts.push_back(fN);
  fN += block.GetNRows();
}

void QXSymBlockDiagMatrix::Clear() {
  fvBlocks.clear();
  fvStarts.clear();
  fN = 0;
}

const QXSymMatrix* QXSymBlockDiagMatrix::GetBlock(int index) const {
  return index >= 0 && index < GetNBlocks() ? &fvBlocks[index] : nullptr;
}

int QXSymBlockDiagMatrix::GetBlockStart(int index) const {
  return index >= 0 && index < GetNBlocks() ? fvStarts[index] : -1;
}

double QXSymBlockDiagMatrix::GetElem(int i, int j) const {
  if (i < 0 || j < 0 || i >= fN || j >= fN) return QXMV::gMissingValue;
  // The block holding row i: the last one starting at or before it.
  const int b =
      static_cast<int>(std::upper_bound(fvStarts.begin(), fvStarts.end(), i) - fvStarts.begin()) - 1;
  const int start = fvStarts[b];
  const int order = fvBlocks[b].GetNRows();
  if (j < start || j >= start + order) return 0.0;
  return fvBlocks[b].GetElem(i - start, j - start);
}

double QXSymBlockDiagMatrix::ComputeVSV(const std::vector<double>& v, int offset) const {
  if (offset < 0 || static_cast<std::size_t>(offset) + fN > v.size()) return QXMV::gMissingValue;
  double sum = 0.0;
  std::vector<double> segment;
  for (int b = 0; b < GetNBlocks(); ++b) {
    const int start = offset + fvStarts[b];
    segment.assign(v.begin() + start, v.begin() + start + fvBlocks[b].GetNRows());
    sum += fvBlocks[b].ComputeVSV(segment);
  }
  return sum;
}

bool QXSymBlockDiagMatrix::ComputeSV(const std::vector<double>& v, std::vector<double>& out) const {
  if (v.size() != static_cast<std::size_t>(fN)) return false;
  std::vector<double> result(fN, 0.0), segment, part;
  for (int b = 0; b < GetNBlocks(); ++b) {
    const int start = fvStarts[b];
    segment.assign(v.begin() + start, v.begin() + start + fvBlocks[b].GetNRows());
    fvBlocks[b].ComputeSV(segment, part);
    std::copy(part.begin(), part.end(), result.begin() + start);
  }
  out.swap(result);
  return true;
}

void QXSymBlockDiagMatrix::Display() const {
  QXDisplay_600::DisplayText(1, " ");
  QXDisplay_600::DisplayText(1, "QXSymBlockDiagMatrix display start");
  QXDisplay_600::DisplayI("Number of blocks", GetNBlocks());
  QXDisplay_600::DisplayI("Order", fN);
  for (const QXSymMatrix& block : fvBlocks) block.Display();
  QXDisplay_600::DisplayText(1, "QXSymBlockDiagMatrix display end");
}

}  // namespace QXMath_600
