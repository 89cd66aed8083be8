#include "common/QXPower.h"

#include <cmath>

#include "common/QXMissingValue.h"

namespace QXMath_600 {

namespace {

bool Fail(double& out) {
  out = QXMV::gMissingValue;
  return false;
}

bool IsBad(double x) { return std::isnan(x) || QXMV::IsMissing(x); }

}  // namespace

bool QXPower::Power(double x, double y, double& out) {
  if (IsBad(x) || IsBad(y)) return Fail(out);
  if (x < 0.0 && std::trunc(y) != y) return Fail(out);
  if (x == 0.0 && y < 0.0) return Fail(out);
  const double result = std::pow(x, y);
  if (!std::isfinite(result)) return Fail(out);
  out = result;
  return true;
}

bool QXPower::Exponent(double x, double& out) {
  if (IsBad(x) || x > gMachineMaxExp) return Fail(out);
  out = std::exp(x);
  return true;
}

bool QXPower::IsOddInteger(double x) { return std::isfinite(x) && std::fabs(std::fmod(x, 2.0)) == 1.0; }

}  // namespace QXMath_600
