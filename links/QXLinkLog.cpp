#include "links/QXLinkLog.h"

#include <cmath>

#include "common/QXPower.h"
#include "links/QXLinkStatus.h"

namespace QXMath_600 {

using namespace LinkDetail;

namespace {

// -x^-2, a failed power being a numerical failure.
double MinusInverseSquare(double x, std::uint32_t* status) {
  double power = 0.0;
  if (!QXPower::Power(x, -2.0, power)) return Fail(kNumerical, status);
  return Finish(-power, status);
}

}  // namespace

double QXLinkLog::Link(double mu, std::uint32_t* status) const {
  if (IsBadArgument(mu) || !(mu > 0.0)) return Fail(kDomain, status);
  return Finish(std::log(mu), status);
}

double QXLinkLog::InverseLink(double eta, std::uint32_t* status) const {
  if (IsBadArgument(eta)) return Fail(kDomain, status);
  if (eta < kExpLow) return Report(0.0, kSuccess, status);
  if (eta > kExpHigh) return Fail(kNumerical, status);
  const double mu = std::exp(eta);
  if (mu < 0.0) return Fail(kRange, status);
  return Report(mu, kSuccess, status);
}

double QXLinkLog::Derivative(double mu, std::uint32_t* status) const {
  if (IsBadArgument(mu) || !(mu > 0.0)) return Fail(kDomain, status);
  return Finish(1.0 / mu, status);
}

double QXLinkLog::SecondDerivative(double mu, std::uint32_t* status) const {
  if (IsBadArgument(mu) || !(mu > 0.0)) return Fail(kDomain, status);
  return MinusInverseSquare(mu, status);
}

double QXLinkLogComp::Link(double mu, std::uint32_t* status) const {
  if (IsBadArgument(mu) || !(1.0 - mu > 0.0)) return Fail(kDomain, status);
  // log1p keeps the digits of a small mu that 1 - mu would round away.
  return Finish(std::log1p(-mu), status);
}

double QXLinkLogComp::InverseLink(double eta, std::uint32_t* status) const {
  if (IsBadArgument(eta)) return Fail(kDomain, status);
  if (eta < kExpLow) return Report(1.0, kSuccess, status);
  if (eta > kExpHigh) return Fail(kNumerical, status);
  // -expm1 keeps the digits of 1 - e^eta for eta near 0.
  const double mu = -std::expm1(eta);
  if (mu > 1.0) return Fail(kRange, status);
  return Report(mu, kSuccess, status);
}

double QXLinkLogComp::Derivative(double mu, std::uint32_t* status) const {
  if (IsBadArgument(mu) || !(1.0 - mu > 0.0)) return Fail(kDomain, status);
  return Finish(-1.0 / (1.0 - mu), status);
}

double QXLinkLogComp::SecondDerivative(double mu, std::uint32_t* status) const {
  if (IsBadArgument(mu) || !(1.0 - mu > 0.0)) return Fail(kDomain, status);
  return MinusInverseSquare(1.0 - mu, status);
}

void QXLinkLog::Display() const { DisplayLink("QXLinkLog", nullptr); }

void QXLinkLogComp::Display() const { DisplayLink("QXLinkLogComp", nullptr); }

}  // namespace QXMath_600
