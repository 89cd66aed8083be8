// A symmetric block-diagonal matrix: symmetric blocks of any orders along the diagonal, zeros
// elsewhere. It carries the covariance of random effects and its derivatives with respect to the
// variance parameters, whose quadratic forms the Satterthwaite approximation adds up; only the
// blocks are stored, so a form costs the sum of the squared block orders.
#pragma once

#include <vector>

#include "common/QXExport.h"
#include "common/QXSymMatrix.h"

namespace QXMath_600 {

class QXCOMMON_API QXSymBlockDiagMatrix {
 public:
  QXSymBlockDiagMatrix() = default;

  // Appends a block after the last one; the order grows by the block's order.
  void AddBlock(const QXSymMatrix& block);
  void Clear();

  int GetNBlocks() const { return static_cast<int>(fvBlocks.size()); }
  // The whole order: the sum of the block orders.
  int GetNRows() const { return fN; }
  // The block, or null for a bad index.
  const QXSymMatrix* GetBlock(int index) const;
  // The row where a block starts, or -1 for a bad index.
  int GetBlockStart(int index) const;

  // Element (i, j) of the whole matrix: 0 between blocks, the system-missing value outside.
  double GetElem(int i, int j) const;

  // v' B v over the entries v[offset] .. v[offset + GetNRows() - 1] (a segment of a longer vector);
  // the system-missing value when the segment does not fit in v or offset is negative.
  double ComputeVSV(const std::vector<double>& v, int offset = 0) const;
  // out = B v for v with one entry per row; false otherwise.
  bool ComputeSV(const std::vector<double>& v, std::vector<double>& out) const;

  void Display() const;

 private:
  std::vector<QXSymMatrix> fvBlocks;
  std::vector<int> fvStarts;
  int fN = 0;
};

}  // namespace QXMath_600
