#include "common/QXSymBlockMatrix.h"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"
#include "common/QXSymMatrix.h"

namespace QXMath_600 {

QXSymBlockMatrix::QXSymBlockMatrix(int nBlocks, int blockOrder) {
  if (nBlocks > 0 && blockOrder > 0 && !Resize(nBlocks, blockOrder)) Resize(0, 0);
}

bool QXSymBlockMatrix::Resize(int nBlocks, int blockOrder) {
  if (nBlocks < 0 || blockOrder < 0) return false;
  if (static_cast<long long>(nBlocks) * blockOrder > std::numeric_limits<int>::max()) return false;
  const std::size_t blockSize = static_cast<std::size_t>(blockOrder) * (blockOrder + 1) / 2;
  const std::size_t nStored = static_cast<std::size_t>(nBlocks) * (nBlocks + 1) / 2;
  try {
    std::vector<double> data(nStored * blockSize, 0.0);
    fvData.swap(data);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  fNBlocks = nBlocks;
  fOrder = blockOrder;
  fBlockSize = blockSize;
  return true;
}

void QXSymBlockMatrix::Clear() { std::fill(fvData.begin(), fvData.end(), 0.0); }

double QXSymBlockMatrix::GetElem(int i, int j) const {
  const int n = GetNRows();
  if (i < 0 || j < 0 || i >= n || j >= n) return QXMV::gMissingValue;
  return fvData[BlockStart(i / fOrder, j / fOrder) + Packed(i % fOrder, j % fOrder)];
}

bool QXSymBlockMatrix::AddOuterProduct(int blockRow, int blockCol, const int* indices, const double* values,
                                       int count, double scale) {
  if (blockRow < 0 || blockCol < 0 || blockRow >= fNBlocks || blockCol >= fNBlocks || count < 0) return false;
  if (count > 0 && (!indices || !values)) return false;
  for (int t = 0; t < count; ++t)
    if (indices[t] < 0 || indices[t] >= fOrder) return false;
  double* block = fvData.data() + BlockStart(blockRow, blockCol);
  for (int t = 0; t < count; ++t) {
    const double a = scale * values[t];
    for (int u = 0; u <= t; ++u) {
      double term = a * values[u];
      // v v' meets a repeated index in both orders; the loop visits the pair once.
      if (u != t && indices[u] == indices[t]) term *= 2.0;
      block[Packed(indices[t], indices[u])] += term;
    }
  }
  return true;
}

bool QXSymBlockMatrix::AddToElement(int blockRow, int blockCol, int i, int j, double value) {
  if (blockRow < 0 || blockCol < 0 || blockRow >= fNBlocks || blockCol >= fNBlocks) return false;
  if (i < 0 || j < 0 || i >= fOrder || j >= fOrder) return false;
  fvData[BlockStart(blockRow, blockCol) + Packed(i, j)] += value;
  return true;
}

bool QXSymBlockMatrix::AddPacked(int blockRow, int blockCol, const std::size_t* positions,
                                 const double* values, int count, double scale) {
  if (blockRow < 0 || blockCol < 0 || blockRow >= fNBlocks || blockCol >= fNBlocks || count < 0) return false;
  if (count > 0 && (!positions || !values)) return false;
  for (int t = 0; t < count; ++t)
    if (positions[t] >= fBlockSize) return false;
  double* block = fvData.data() + BlockStart(blockRow, blockCol);
  for (int t = 0; t < count; ++t) block[positions[t]] += scale * values[t];
  return true;
}

bool QXSymBlockMatrix::GetSymMatrix(QXSymMatrix& out) const {
  const int n = GetNRows();
  if (!out.SetNRowsCols(n)) return false;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j) out.SetElem(i, j, GetElem(i, j));
  return true;
}

void QXSymBlockMatrix::Display() const {
  QXDisplay_600::DisplayText(1, " ");
  QXDisplay_600::DisplayText(1, "QXSymBlockMatrix display start");
  QXDisplay_600::DisplayI("Number of blocks", fNBlocks);
  QXDisplay_600::DisplayI("Block order", fOrder);
  std::vector<double> row(GetNRows());
  for (int i = 0; i < GetNRows(); ++i) {
    for (int j = 0; j < GetNRows(); ++j) row[j] = GetElem(i, j);
    QXDisplay_600::DisplayDV("Row " + std::to_string(i), row);
  }
  QXDisplay_600::DisplayText(1, "QXSymBlockMatrix display end");
}

}  // namespace QXMath_600
