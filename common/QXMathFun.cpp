#include "common/QXMathFun.h"

#include <cmath>
#include <cstddef>

#include "common/QXMissingValue.h"

namespace QXMath_600 {

namespace {

constexpr double kM = QXMV::gMissingValue;

bool SameLength(const std::vector<double>& x, const std::vector<double>& y) { return x.size() == y.size(); }

int Length(const std::vector<double>& x) { return static_cast<int>(x.size()); }

}  // namespace

double QXMathFun::DDot(int n, const double* x, const double* y) {
  if (n <= 0) return 0.0;
  if (x == nullptr || y == nullptr) return kM;
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += x[i] * y[i];
  return sum;
}

double QXMathFun::DDot(const std::vector<double>& x, const std::vector<double>& y) {
  return SameLength(x, y) ? DDot(Length(x), x.data(), y.data()) : kM;
}

// The scaled sum of squares of the reference BLAS: squares of entries near 1e200 would overflow
// and those near 1e-200 underflow, so every entry is divided by the largest magnitude seen so far.
double QXMathFun::DNrm2(int n, const double* x) {
  if (n <= 0) return 0.0;
  if (x == nullptr) return kM;
  double scale = 0.0;
  double ssq = 1.0;
  for (int i = 0; i < n; ++i) {
    if (x[i] == 0.0) continue;
    const double a = std::fabs(x[i]);
    if (scale < a) {
      ssq = 1.0 + ssq * (scale / a) * (scale / a);
      scale = a;
    } else {
      ssq += (a / scale) * (a / scale);
    }
  }
  return scale * std::sqrt(ssq);
}

double QXMathFun::DNrm2(const std::vector<double>& x) { return DNrm2(Length(x), x.data()); }

void QXMathFun::DScal(int n, double alpha, double* x) {
  if (x == nullptr) return;
  for (int i = 0; i < n; ++i) x[i] *= alpha;
}

void QXMathFun::DScal(double alpha, std::vector<double>& x) { DScal(Length(x), alpha, x.data()); }

bool QXMathFun::DAxpy(int n, double alpha, const double* x, double* y) {
  if (n <= 0) return true;
  if (x == nullptr || y == nullptr) return false;
  for (int i = 0; i < n; ++i) y[i] += alpha * x[i];
  return true;
}

bool QXMathFun::DAxpy(double alpha, const std::vector<double>& x, std::vector<double>& y) {
  return SameLength(x, y) && DAxpy(Length(x), alpha, x.data(), y.data());
}

double QXMathFun::VMaxRelDiff(const std::vector<double>& x, const std::vector<double>& y, double floor) {
  if (!SameLength(x, y)) return kM;
  double worst = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double denominator = std::fmax(std::fabs(x[i]), floor);
    const double change = std::fabs(x[i] - y[i]);
    const double relative = denominator > 0.0 ? change / denominator : change;
    if (relative > worst || std::isnan(relative)) worst = relative;
  }
  return worst;
}

double QXMathFun::VNrm1Diff(const std::vector<double>& x, const std::vector<double>& y) {
  if (!SameLength(x, y)) return kM;
  double sum = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) sum += std::fabs(x[i] - y[i]);
  return sum;
}

double QXMathFun::SidakAdjust(double p, double m) {
  if (std::isnan(p) || std::isnan(m) || QXMV::IsMissing(p) || QXMV::IsMissing(m)) return kM;
  if (p < 0.0 || p > 1.0 || m < 0.0) return kM;
  if (p == 1.0) return m > 0.0 ? 1.0 : 0.0;
  return -std::expm1(m * std::log1p(-p));
}

}  // namespace QXMath_600
