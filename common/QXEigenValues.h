// Eigenvalues and eigenvectors of a symmetric matrix, as the Satterthwaite approximation needs them
// for the joint test of several contrasts (M = L C L' = P diag(lambda) P').
#pragma once

#include <vector>

#include "common/QXDiagMatrix.h"
#include "common/QXExport.h"
#include "common/QXRectMatrix.h"

namespace QXMath_600 {

class QXSymMatrix;

class QXCOMMON_API QXEigenValues {
 public:
  // tolerance: eigenvalues whose magnitude is at most tolerance times the largest magnitude are set
  // to exactly 0 (they are the rounding noise of a singular M, and the caller tests them against 0).
  // maxSweeps: the decomposition is a symmetric QR iteration (Eigen's self-adjoint solver), which
  // bounds its own iterations at 30 per eigenvalue; the argument must be positive and is kept only
  // to state the caller's limit.
  explicit QXEigenValues(double tolerance = 1e-12, int maxSweeps = 30);

  // Decomposes m. False (and nothing available) when the parameters are invalid, m holds a
  // non-finite element or the iteration does not converge.
  bool Compute(const QXSymMatrix& m);
  bool IsComputed() const { return fbComputed; }

  // The eigenvalues in `values` and the matching unit eigenvectors as the columns of `vectors`,
  // sorted by eigenvalue, largest first (smallest first when descending is false). False before a
  // successful Compute.
  bool GetSorted(QXDiagMatrix& values, QXRectMatrix& vectors, bool descending = true) const;

  void Display() const;

 private:
  double fTolerance;
  int fMaxSweeps;
  bool fbComputed = false;
  std::vector<double> fvValues;  // ascending
  QXRectMatrix fVectors;         // columns match fvValues
};

}  // namespace QXMath_600
