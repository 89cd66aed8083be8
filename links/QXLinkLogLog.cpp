#include "links/QXLinkLogLog.h"

#include <cmath>

#include "common/QXPower.h"
#include "links/QXLinkStatus.h"

namespace QXMath_600 {

using namespace LinkDetail;

// log(1 - mu) is taken as log1p(-mu) throughout: for small mu, 1 - mu would round away the very
// digits the complementary log-log depends on.

namespace {

bool InOpenUnit(double mu) { return !IsBadArgument(mu) && mu > 0.0 && mu < 1.0; }

// (l + 1) x^-2 with the sign given, a failed power being a numerical failure.
double ScaledInverseSquare(double factor, double x, std::uint32_t* status) {
  double power = 0.0;
  if (!QXPower::Power(x, -2.0, power)) return Fail(kNumerical, status);
  return Finish(factor * power, status);
}

}  // namespace

double QXLinkCompLog2::Link(double mu, std::uint32_t* status) const {
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  return Finish(std::log(-std::log1p(-mu)), status);
}

double QXLinkCompLog2::InverseLink(double eta, std::uint32_t* status) const {
  if (IsBadArgument(eta)) return Fail(kDomain, status);
  if (eta < kExpLow) return Report(0.0, kSuccess, status);
  if (eta > kExpHigh) return Report(1.0, kSuccess, status);
  const double v = std::exp(eta);
  if (v > -kExpLow) return Report(1.0, kSuccess, status);
  // 1 - exp(-v) through expm1, exact to the last digit when v is small.
  const double mu = -std::expm1(-v);
  if (!(mu >= 0.0 && mu <= 1.0)) return Fail(kRange, status);
  return Report(mu, kSuccess, status);
}

double QXLinkCompLog2::Derivative(double mu, std::uint32_t* status) const {
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  return Finish(1.0 / ((mu - 1.0) * std::log1p(-mu)), status);
}

double QXLinkCompLog2::SecondDerivative(double mu, std::uint32_t* status) const {
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  const double l = std::log1p(-mu);
  return ScaledInverseSquare(-(l + 1.0), (mu - 1.0) * l, status);
}

double QXLinkNegLog2::Link(double mu, std::uint32_t* status) const {
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  return Finish(-std::log(-std::log(mu)), status);
}

double QXLinkNegLog2::InverseLink(double eta, std::uint32_t* status) const {
  if (IsBadArgument(eta)) return Fail(kDomain, status);
  // The exponential is of -eta, so the guards change sides.
  if (eta > -kExpLow) return Report(1.0, kSuccess, status);
  if (eta < -kExpHigh) return Report(0.0, kSuccess, status);
  const double v = std::exp(-eta);
  if (v > -kExpLow) return Report(0.0, kSuccess, status);
  const double mu = std::exp(-v);
  if (!(mu >= 0.0 && mu <= 1.0)) return Fail(kRange, status);
  return Report(mu, kSuccess, status);
}

double QXLinkNegLog2::Derivative(double mu, std::uint32_t* status) const {
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  return Finish(-1.0 / (mu * std::log(mu)), status);
}

double QXLinkNegLog2::SecondDerivative(double mu, std::uint32_t* status) const {
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  const double l = std::log(mu);
  return ScaledInverseSquare(l + 1.0, l * mu, status);
}

double QXLinkCumCompLog2::Derivative(double mu, std::uint32_t* status) const {
  if (IsCumulativeBoundary(mu)) return Report(0.0, kDomain, status);
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  return Finish(-std::log1p(-mu) * (1.0 - mu), status);
}

double QXLinkCumCompLog2::SecondDerivative(double mu, std::uint32_t* status) const {
  if (IsCumulativeBoundary(mu)) return Report(0.0, kDomain, status);
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  const double l = std::log1p(-mu);
  return Finish(-l * (1.0 - mu) * (l + 1.0), status);
}

double QXLinkCumNegLog2::Derivative(double mu, std::uint32_t* status) const {
  if (IsCumulativeBoundary(mu)) return Report(0.0, kDomain, status);
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  return Finish(-mu * std::log(mu), status);
}

double QXLinkCumNegLog2::SecondDerivative(double mu, std::uint32_t* status) const {
  if (mu == 0.0) return Report(0.0, kDomain, status);
  if (IsBadArgument(mu) || !(mu > 0.0 && mu <= 1.0)) return Fail(kDomain, status);
  const double l = std::log(mu);
  return Finish(mu * l * (l + 1.0), status);
}

void QXLinkCompLog2::Display() const { DisplayLink("QXLinkCompLog2", nullptr); }

void QXLinkNegLog2::Display() const { DisplayLink("QXLinkNegLog2", nullptr); }

void QXLinkCumCompLog2::Display() const { DisplayLink("QXLinkCumCompLog2", nullptr); }

void QXLinkCumNegLog2::Display() const { DisplayLink("QXLinkCumNegLog2", nullptr); }

}  // namespace QXMath_600
