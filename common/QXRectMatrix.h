// A dense rectangular matrix of doubles, stored by rows and indexed from 0. It carries the contrast
// and hypothesis matrices L of the tests, the estimable functions H, the eigenvectors of the
// Satterthwaite approximation and the classification tables. Besides element and row access it
// offers the rank and estimability helpers of the effect tests (ExtractFullRank,
// IsERowMultipleOfAnother, ResidOfOrthProjection, ZeroOutPivotRow, ColClean).
//
// Every operation checks its indices and dimensions: a failure is a false, a -1 or the
// system-missing value, and the matrix is left as it was.
#pragma once

#include <vector>

#include "common/QXExport.h"

namespace QXMath_600 {

class QXBitSet;

// What the tests and the marginal means need of any rectangular matrix.
class QXCOMMON_API IQXRectMatrix {
 public:
  virtual ~IQXRectMatrix() = default;
  virtual int GetNRows() const = 0;
  virtual int GetNCols() const = 0;
  // The element, or the system-missing value for indices outside the matrix.
  virtual double GetElem(int row, int col) const = 0;
  // False, and no change, for indices outside the matrix.
  virtual bool SetElem(int row, int col, double value) = 0;
  virtual void Display() const = 0;
};

class QXCOMMON_API QXRectMatrix : public IQXRectMatrix {
 public:
  // A zero matrix; negative dimensions give 0.
  explicit QXRectMatrix(int nRows = 0, int nCols = 0);

  int GetNRows() const override { return fNRows; }
  int GetNCols() const override { return fNCols; }
  bool IsEmpty() const { return fNRows == 0 || fNCols == 0; }

  // Gives the matrix the new dimensions, every element 0. Negative dimensions, or a product that does
  // not fit in memory addressing, are refused (false, no change).
  bool SetNRowsCols(int nRows, int nCols);
  // Sets every element to 0, keeping the dimensions.
  void Clear();

  double GetElem(int row, int col) const override;
  bool SetElem(int row, int col, double value) override;

  // Copies a row into `values` (resized to the number of columns); false for a bad index.
  bool GetRow(int row, std::vector<double>& values) const;
  // Overwrites a row; `values` must hold exactly one value per column.
  bool SetRow(int row, const std::vector<double>& values);
  // Copies a column into `values` (resized to the number of rows); false for a bad index.
  bool GetCol(int col, std::vector<double>& values) const;
  // Appends a row; on an empty 0 x 0 matrix the row fixes the number of columns. Refused when the
  // length differs from the number of columns.
  bool AppendRow(const std::vector<double>& values);
  // Row `destRow` of this matrix becomes column `sourceCol` of `source`; source must have as many
  // rows as this matrix has columns.
  bool CopyColToRow(const QXRectMatrix& source, int sourceCol, int destRow);

  // out = this * v, v holding one value per column; out is resized to the number of rows.
  bool ComputeRV(const std::vector<double>& v, std::vector<double>& out) const;
  // out = this * right. out may be this matrix or right. False when the inner dimensions differ.
  bool ComputeMatrixProduct(const QXRectMatrix& right, QXRectMatrix& out) const;
  // out = transpose of this (out may be this matrix).
  void Transpose(QXRectMatrix& out) const;
  // Transposes in place.
  void Transpose();

  // True when every element of the row is exactly 0; false for a bad index.
  bool IsRowZero(int row) const;
  // True when row j extended by its right-hand value hj is a non-zero multiple of row i extended by
  // hi: (L_j, hj) = c (L_i, hi) for some c != 0 (negative multiples count). Elements agree when they
  // differ by at most 1e-10 times the larger magnitude of the two extended rows, which absorbs the
  // rounding of rows built by averaging while keeping genuinely different contrasts apart. A zero
  // row is nobody's multiple; false for bad indices.
  bool IsERowMultipleOfAnother(int i, int j, double hi, double hj) const;

  // Keeps the linearly independent rows, scanning in row order: a row enters when the part of it
  // orthogonal to the rows kept before is larger than `tolerance` times its own length (so the test
  // does not depend on how each row is scaled). rowsKept is resized to the number of rows and marks
  // the rows taken. With bOrthonormal false, out holds those rows unchanged; with true, out holds an
  // orthonormal basis of the same row space, one row per kept row (the same hypothesis, better
  // conditioned). Returns the rank, or -1 for a negative or non-finite tolerance or a non-finite
  // element (out and rowsKept are then emptied). out must not be this matrix.
  int ExtractFullRank(double tolerance, QXRectMatrix& out, QXBitSet& rowsKept,
                      bool bOrthonormal = false) const;

  // Replaces every column by its residual from the orthogonal projection on the span of the columns
  // of `basis` (which may be rank deficient; its rank is decided with `tolerance`). A column whose
  // residual is not larger than `tolerance` times its original length becomes exactly 0 and leaves
  // `remaining`, which is resized to the number of columns and marks the columns that remain. A
  // basis with no columns removes nothing. Returns the number of remaining columns, or -1 when the
  // row counts differ or an element is not finite (nothing changes then).
  int ResidOfOrthProjection(const QXRectMatrix& basis, double tolerance, QXBitSet& remaining);

  // Eliminates row `row` from every column by using one column as pivot: the column j with the
  // largest |a(row, j)| relative to the column's largest element. Every other column t loses
  // a(row, t)/a(row, j) times column j, the pivot column becomes 0, and row `row` is exactly 0
  // afterwards. Returns the pivot column, or -1 when the row is already negligible (no element above
  // `tolerance` times its column's largest element; the row is then set to exactly 0) or the index is
  // bad.
  int ZeroOutPivotRow(int row, double tolerance);

  // Cleans the first nRows elements of a column: elements not larger than 1e-10 times the largest of
  // them become exactly 0, so rounding left by eliminations does not show as spurious coefficients.
  // False for a bad column or a negative nRows; nRows beyond the matrix is clipped.
  bool ColClean(int col, int nRows);

  // Makes the matrix block diagonal with nCopies copies of itself: (r*n) x (c*n). nCopies of 1 keeps
  // the matrix; fewer than 1 is refused.
  bool CreateBlockDiagonal(int nCopies);
  // Inserts nShift zero columns in front, moving every column j to j + nShift. Negative is refused.
  bool ShiftColumns(int nShift);

  void Display() const override;

 private:
  // True when every row that is not zero has a column in which no other row is non-zero, with an
  // element there larger than `tolerance` times the row's length: those rows are then independent, as
  // the rows of hypotheses built from estimable functions are (each has its own parameter), and
  // ExtractFullRank need not orthogonalise them.
  bool AllRowsHavePrivateColumns(double tolerance) const;

  double& At(int row, int col) { return fvData[static_cast<std::size_t>(row) * fNCols + col]; }
  double At(int row, int col) const { return fvData[static_cast<std::size_t>(row) * fNCols + col]; }
  bool ValidRow(int row) const { return row >= 0 && row < fNRows; }
  bool ValidCol(int col) const { return col >= 0 && col < fNCols; }

  int fNRows = 0;
  int fNCols = 0;
  std::vector<double> fvData;
};

}  // namespace QXMath_600
