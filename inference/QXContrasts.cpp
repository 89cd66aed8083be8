#include "inference/QXContrasts.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "common/QXMathFun.h"

namespace QXMath_600 {

namespace {

using QXCommon_600::QXStatus;

QXStatus Invalid() { return QXStatus(320, false); }

// Sizes the matrix, refusing shapes whose element count does not fit (a pairwise contrast of a
// factor with tens of thousands of levels).
bool Resize(long long rows, int k, QXRectMatrix& m) {
  if (rows > INT_MAX || rows * k > INT_MAX) return false;
  return m.SetNRowsCols(static_cast<int>(rows), k);
}

}  // namespace

QXStatus QXContrasts::ComputeSimpleContrast(int k, int reference, QXRectMatrix& m) {
  if (k < 2 || reference < 0 || reference >= k) return Invalid();
  if (!Resize(k - 1, k, m)) return Invalid();
  for (int i = 0; i < k - 1; ++i) {
    m.SetElem(i, reference, -1.0);
    m.SetElem(i, i < reference ? i : i + 1, 1.0);
  }
  return QXStatus();
}

QXStatus QXContrasts::ComputeDeviationContrast(int k, QXRectMatrix& m) {
  if (k < 2 || !Resize(k, k, m)) return Invalid();
  const double share = 1.0 / k;
  for (int i = 0; i < k; ++i)
    for (int j = 0; j < k; ++j) m.SetElem(i, j, i == j ? 1.0 - share : -share);
  return QXStatus();
}

QXStatus QXContrasts::ComputeHelmertContrast(int k, QXRectMatrix& m) {
  if (k < 2 || !Resize(k - 1, k, m)) return Invalid();
  for (int i = 0; i < k - 1; ++i) {
    m.SetElem(i, i, 1.0);
    const double later = -1.0 / (k - 1 - i);
    for (int j = i + 1; j < k; ++j) m.SetElem(i, j, later);
  }
  return QXStatus();
}

QXStatus QXContrasts::ComputeDifferenceContrast(int k, QXRectMatrix& m) {
  if (k < 2 || !Resize(k - 1, k, m)) return Invalid();
  for (int i = 0; i < k - 1; ++i) {
    m.SetElem(i, i + 1, 1.0);
    const double earlier = -1.0 / (i + 1);
    for (int j = 0; j <= i; ++j) m.SetElem(i, j, earlier);
  }
  return QXStatus();
}

QXStatus QXContrasts::ComputeRepeatedContrast(int k, QXRectMatrix& m) {
  if (k < 2 || !Resize(k - 1, k, m)) return Invalid();
  for (int i = 0; i < k - 1; ++i) {
    m.SetElem(i, i, 1.0);
    m.SetElem(i, i + 1, -1.0);
  }
  return QXStatus();
}

// The polynomials come from the three-term recurrence of monic polynomials orthogonal over the k
// points with equal weights: P_d = (x - B/A) P_{d-1} - (A/A_prev) P_{d-2}. The points are first
// mapped onto [-s, s] so that P_{k-1}, of order s^(k-1), and its squares cannot overflow; the rows
// are normalised at the end, so s does not change the result.
//
// The recurrence alone drifts away from orthogonality as the degree grows (by 1e-4 at degree 39 for
// unequally spaced points), so each new polynomial is orthogonalised again against all lower ones,
// twice (Gram-Schmidt: twice is enough). That removes only rounding: the exact P_d is already
// orthogonal to them, and subtracting lower-degree polynomials keeps its leading coefficient.
QXStatus QXContrasts::ComputePolynomialContrast(int k, const std::vector<double>& metricValues,
                                                QXRectMatrix& m) {
  if (k < 2 || static_cast<int>(metricValues.size()) < k) return Invalid();
  const auto first = metricValues.begin(), last = metricValues.begin() + k;
  if (!std::all_of(first, last, [](double v) { return std::isfinite(v); })) return Invalid();
  const auto [lowest, highest] = std::minmax_element(first, last);
  const double min = *lowest, max = *highest, range = max - min;
  if (!(range > 0.0) || !std::isfinite(range)) return Invalid();
  QXRectMatrix result;
  if (!Resize(k - 1, k, result)) return Invalid();

  const double scale = std::min(std::exp(709.0 / (2.0 * (k - 1))), static_cast<double>(k));
  std::vector<double> x(k);
  double mean = 0.0;
  for (int i = 0; i < k; ++i) {
    x[i] = ((metricValues[i] - min) - (max - metricValues[i])) / range * scale;
    mean += x[i];
  }
  mean /= k;
  // polys[d] = P_d at the points, with its sum of squares.
  std::vector<std::vector<double>> polys(1, std::vector<double>(k, 1.0));
  std::vector<double> squares(1, static_cast<double>(k));
  const auto reorthogonalize = [&](std::vector<double>& p) {
    for (int pass = 0; pass < 2; ++pass)
      for (std::size_t j = 0; j < polys.size(); ++j) {
        if (!(squares[j] > 0.0)) continue;
        const double c = QXMathFun::DDot(p, polys[j]) / squares[j];
        QXMathFun::DAxpy(-c, polys[j], p);
      }
  };
  std::vector<double> next(k);
  for (int d = 1; d < k; ++d) {
    const std::vector<double>& current = polys[d - 1];
    if (d == 1) {
      for (int i = 0; i < k; ++i) next[i] = x[i] - mean;
    } else {
      const std::vector<double>& previous = polys[d - 2];
      const double a = squares[d - 1];
      // A vanishing polynomial means the points are not distinct enough for this degree; the rows
      // from here on stay zero rather than filling with NaN.
      if (!(a > 0.0)) break;
      double b = 0.0;
      for (int i = 0; i < k; ++i) b += current[i] * current[i] * x[i];
      for (int i = 0; i < k; ++i) next[i] = (x[i] - b / a) * current[i] - (a / squares[d - 2]) * previous[i];
    }
    reorthogonalize(next);
    polys.push_back(next);
    squares.push_back(QXMathFun::DDot(next, next));
  }

  for (std::size_t d = 1; d < polys.size(); ++d) {
    std::vector<double>& row = polys[d];
    const double norm = QXMathFun::DNrm2(row);
    if (norm > 0.0) QXMathFun::DScal(1.0 / norm, row);
    result.SetRow(static_cast<int>(d) - 1, row);
  }
  m = std::move(result);
  return QXStatus();
}

QXStatus QXContrasts::ComputePairwiseContrast(int k, QXRectMatrix& m) {
  if (k < 2 || !Resize(static_cast<long long>(k) * (k - 1), k, m)) return Invalid();
  int row = 0;
  for (int a = 0; a < k; ++a)
    for (int b = 0; b < k; ++b) {
      if (b == a) continue;
      m.SetElem(row, a, 1.0);
      m.SetElem(row, b, -1.0);
      ++row;
    }
  return QXStatus();
}

}  // namespace QXMath_600
