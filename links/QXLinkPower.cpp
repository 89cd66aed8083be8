#include "links/QXLinkPower.h"

#include <cmath>

#include "common/QXPower.h"
#include "links/QXLinkStatus.h"

namespace QXMath_600 {

using namespace LinkDetail;

namespace {

bool InOpenUnit(double mu) { return !IsBadArgument(mu) && mu > 0.0 && 1.0 - mu > 0.0; }

// factor * x^y, a failed power being a numerical failure.
double ScaledPower(double factor, double x, double y, std::uint32_t* status) {
  double power = 0.0;
  if (!QXPower::Power(x, y, power)) return Fail(kNumerical, status);
  return Finish(factor * power, status);
}

}  // namespace

double QXLinkPower::Link(double mu, std::uint32_t* status) const {
  if (IsBadArgument(mu)) return Fail(kDomain, status);
  if (fParam != 0.0) return ScaledPower(1.0, mu, fParam, status);
  if (!(mu > 0.0)) return Fail(kNumerical, status);
  return Finish(std::log(mu), status);
}

double QXLinkPower::InverseLink(double eta, std::uint32_t* status) const {
  if (IsBadArgument(eta)) return Fail(kDomain, status);
  if (fParam == 0.0) {
    double mu = 0.0;
    if (!QXPower::Exponent(eta, mu)) return Fail(kNumerical, status);
    return Finish(mu, status);
  }
  if (QXPower::IsOddInteger(fParam) && eta < 0.0) return ScaledPower(-1.0, -eta, 1.0 / fParam, status);
  return ScaledPower(1.0, eta, 1.0 / fParam, status);
}

double QXLinkPower::Derivative(double mu, std::uint32_t* status) const {
  if (IsBadArgument(mu)) return Fail(kDomain, status);
  if (fParam != 0.0) return ScaledPower(fParam, mu, fParam - 1.0, status);
  if (mu == 0.0) return Fail(kNumerical, status);
  return Finish(1.0 / mu, status);
}

double QXLinkPower::SecondDerivative(double mu, std::uint32_t* status) const {
  if (IsBadArgument(mu)) return Fail(kDomain, status);
  if (fParam == 0.0) {
    if (mu == 0.0) return Fail(kNumerical, status);
    return ScaledPower(-1.0, mu, -2.0, status);
  }
  if (fParam == 1.0) {
    if (mu == 0.0) return Fail(kNumerical, status);
    return Report(0.0, kSuccess, status);
  }
  return ScaledPower(fParam * (fParam - 1.0), mu, fParam - 2.0, status);
}

double QXLinkOddsPower::Link(double mu, std::uint32_t* status) const {
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  const double logOdds = LogOdds(mu);
  if (fParam == 0.0) return Finish(logOdds, status);
  // (x^p - 1) / p as expm1(p log x) / p: the same value without the cancellation near x = 1. An
  // overflowing power shows as a non-finite result, a numerical failure as for a failed Power.
  return Finish(std::expm1(fParam * logOdds) / fParam, status);
}

double QXLinkOddsPower::InverseLink(double eta, std::uint32_t* status) const {
  if (IsBadArgument(eta)) return Fail(kDomain, status);
  double r = 0.0;
  if (fParam == 0.0) {
    if (!QXPower::Exponent(eta, r)) return Fail(kDomain, status);
  } else if (!QXPower::Power(fParam * eta + 1.0, 1.0 / fParam, r)) {
    return Fail(kNumerical, status);
  }
  const double mu = r / (r + 1.0);
  if (!(mu >= 0.0 && mu <= 1.0)) return Fail(kRange, status);
  return Report(mu, kSuccess, status);
}

double QXLinkOddsPower::Derivative(double mu, std::uint32_t* status) const {
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  const double q = (1.0 - mu) * mu;
  if (fParam == 0.0) return Finish(1.0 / q, status);
  return ScaledPower(1.0 / q, mu / (1.0 - mu), fParam, status);
}

double QXLinkOddsPower::SecondDerivative(double mu, std::uint32_t* status) const {
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  const double q = (1.0 - mu) * mu;
  if (fParam == 0.0) return ScaledPower(2.0 * mu - 1.0, q, -2.0, status);
  const double factor = ((fParam + 1.0) / (1.0 - mu) + (fParam - 1.0) / mu) / q;
  return ScaledPower(factor, mu / (1.0 - mu), fParam, status);
}

void QXLinkPower::Display() const { DisplayLink("QXLinkPower", &fParam); }

void QXLinkOddsPower::Display() const { DisplayLink("QXLinkOddsPower", &fParam); }

}  // namespace QXMath_600
