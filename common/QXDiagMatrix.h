// A diagonal matrix held as its diagonal: the eigenvalues of the Satterthwaite approximation and the
// derivative scalings of the delta method. Off-diagonal elements read as 0 and cannot be set.
#pragma once

#include <vector>

#include "common/QXExport.h"

namespace QXMath_600 {

class QXRectMatrix;

class QXCOMMON_API QXDiagMatrix {
 public:
  // A zero matrix; a negative order gives 0.
  explicit QXDiagMatrix(int order = 0);

  int GetNRows() const { return static_cast<int>(fvDiag.size()); }
  // A zero matrix of the new order; false (no change) for a negative order.
  bool SetNRowsCols(int order);
  void Clear();

  // Diagonal element i; the system-missing value outside the matrix.
  double GetElem(int i) const;
  // Element (i, j): 0 off the diagonal, the system-missing value outside the matrix.
  double GetElem(int i, int j) const;
  bool SetElem(int i, double value);
  const std::vector<double>& GetDiagonal() const { return fvDiag; }
  void SetDiagonal(const std::vector<double>& diagonal) { fvDiag = diagonal; }

  // out = D R (each row i of R scaled by d_i). False when R does not have one row per element.
  bool MultiplyLeft(const QXRectMatrix& r, QXRectMatrix& out) const;
  // out = R D (each column j of R scaled by d_j). False when R does not have one column per element.
  bool MultiplyRight(const QXRectMatrix& r, QXRectMatrix& out) const;

  void Display() const;

 private:
  std::vector<double> fvDiag;
};

}  // namespace QXMath_600
