#include "common/QXEigenValues.h"

#include <Eigen/Eigenvalues>
#include <cmath>

#include "common/QXDisplay.h"
#include "common/QXSymMatrix.h"

namespace QXMath_600 {

QXEigenValues::QXEigenValues(double tolerance, int maxSweeps)
    : fTolerance(tolerance), fMaxSweeps(maxSweeps) {}

bool QXEigenValues::Compute(const QXSymMatrix& m) {
  fbComputed = false;
  fvValues.clear();
  fVectors.SetNRowsCols(0, 0);
  if (!(fTolerance >= 0.0) || !std::isfinite(fTolerance) || fMaxSweeps < 1) return false;
  const int n = m.GetNRows();
  // Eigen's solver reads the first element of its matrix, so an empty matrix is answered here.
  if (n == 0) {
    fbComputed = true;
    return true;
  }
  Eigen::MatrixXd a(n, n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j) {
      const double x = m.GetElem(i, j);
      if (!std::isfinite(x)) return false;
      a(i, j) = a(j, i) = x;
    }
  Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(a);
  if (solver.info() != Eigen::Success) return false;
  const Eigen::VectorXd& values = solver.eigenvalues();
  double largest = 0.0;
  for (int i = 0; i < n; ++i) largest = std::max(largest, std::fabs(values(i)));
  fvValues.resize(n);
  for (int i = 0; i < n; ++i) fvValues[i] = std::fabs(values(i)) <= fTolerance * largest ? 0.0 : values(i);
  fVectors.SetNRowsCols(n, n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) fVectors.SetElem(i, j, solver.eigenvectors()(i, j));
  fbComputed = true;
  return true;
}

bool QXEigenValues::GetSorted(QXDiagMatrix& values, QXRectMatrix& vectors, bool descending) const {
  if (!fbComputed) return false;
  const int n = static_cast<int>(fvValues.size());
  QXDiagMatrix v(n);
  QXRectMatrix p(n, n);
  // The solver returns ascending eigenvalues; descending order only reverses them.
  for (int t = 0; t < n; ++t) {
    const int src = descending ? n - 1 - t : t;
    v.SetElem(t, fvValues[src]);
    for (int i = 0; i < n; ++i) p.SetElem(i, t, fVectors.GetElem(i, src));
  }
  values = std::move(v);
  vectors = std::move(p);
  return true;
}

void QXEigenValues::Display() const {
  QXDisplay_600::DisplayText(1, " ");
  QXDisplay_600::DisplayText(1, "QXEigenValues display start");
  QXDisplay_600::DisplayD("Tolerance", fTolerance);
  QXDisplay_600::DisplayI("Maximum number of sweeps", fMaxSweeps);
  QXDisplay_600::DisplayB("Computed", fbComputed);
  QXDisplay_600::DisplayDV("Eigenvalues (ascending)", fvValues);
  if (fbComputed) fVectors.Display();
  QXDisplay_600::DisplayText(1, "QXEigenValues display end");
}

}  // namespace QXMath_600
