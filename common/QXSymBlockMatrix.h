// The information matrix of the multinomial logistic fit: nBlocks x nBlocks blocks of one order, one
// block row and column per non-reference category. It grows only by scaled outer products x x' of
// design rows, so every block is itself symmetric and only the blocks on and below the diagonal are
// kept, each packed as a lower triangle. Element (i, j) of the whole matrix lies in block
// (i / order, j / order).
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "common/QXExport.h"

namespace QXMath_600 {

class QXSymMatrix;

class QXCOMMON_API QXSymBlockMatrix {
 public:
  // Negative arguments give an empty matrix.
  explicit QXSymBlockMatrix(int nBlocks = 0, int blockOrder = 0);

  // A zero matrix of the new shape. False, no change, for negative arguments, a whole order that
  // does not fit in an int, or memory that cannot be had.
  bool Resize(int nBlocks, int blockOrder);
  void Clear();

  int GetNBlocks() const { return fNBlocks; }
  int GetBlockOrder() const { return fOrder; }
  int GetNRows() const { return fNBlocks * fOrder; }

  // Element (i, j) of the whole matrix; the system-missing value outside it.
  double GetElem(int i, int j) const;

  // Adds scale * x x' to block (blockRow, blockCol) (and so to its mirror), x given by count pairs
  // (indices, values) with indices inside the block order; a repeated index counts as the sum of its
  // values. False, no change, for bad blocks or indices, null pointers or a negative count.
  bool AddOuterProduct(int blockRow, int blockCol, const int* indices, const double* values, int count,
                       double scale);

  // Adds value to element (i, j) of block (blockRow, blockCol), and so to its mirror (j, i) (every
  // block is symmetric): for sums that were formed elsewhere, such as those of rows sharing their
  // design columns. False, no change, for bad blocks or indices.
  bool AddToElement(int blockRow, int blockCol, int i, int j, double value);

  // The position of element (i, j) = (j, i) within a block's packed storage, for AddPacked.
  static std::size_t PackedIndex(int i, int j) { return Packed(i, j); }
  // Adds scale * values[t] to the element at positions[t] (PackedIndex) of block (blockRow, blockCol),
  // t = 0 .. count-1: the terms of x x' formed once for a row and added to every block pair. False, no
  // change, for bad blocks or positions, null pointers or a negative count.
  bool AddPacked(int blockRow, int blockCol, const std::size_t* positions, const double* values, int count,
                 double scale);

  // Copies the whole matrix into a symmetric matrix of order GetNRows(). False when that matrix
  // cannot be allocated.
  bool GetSymMatrix(QXSymMatrix& out) const;

  void Display() const;

 private:
  std::size_t BlockStart(int a, int b) const {
    if (a < b) std::swap(a, b);
    return (static_cast<std::size_t>(a) * (a + 1) / 2 + b) * fBlockSize;
  }
  static std::size_t Packed(int i, int j) {
    return i >= j ? static_cast<std::size_t>(i) * (i + 1) / 2 + j
                  : static_cast<std::size_t>(j) * (j + 1) / 2 + i;
  }

  int fNBlocks = 0;
  int fOrder = 0;
  std::size_t fBlockSize = 0;
  std::vector<double> fvData;
};

}  // namespace QXMath_600
