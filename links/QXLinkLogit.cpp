#include "links/QXLinkLogit.h"

#include <cmath>

#include "common/QXPower.h"
#include "links/QXLinkStatus.h"

namespace QXMath_600 {

using namespace LinkDetail;

namespace {

bool InOpenUnit(double mu) { return !IsBadArgument(mu) && mu > 0.0 && 1.0 - mu > 0.0; }

}  // namespace

double QXLinkLogit::Link(double mu, std::uint32_t* status) const {
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  return Finish(LogOdds(mu), status);
}

double QXLinkLogit::InverseLink(double eta, std::uint32_t* status) const {
  if (IsBadArgument(eta)) return Fail(kDomain, status);
  if (eta > kExpHigh) return Report(1.0, kSuccess, status);
  if (eta < kExpLow) return Report(0.0, kSuccess, status);
  const double e = std::exp(eta);
  return Report(e / (e + 1.0), kSuccess, status);
}

double QXLinkLogit::Derivative(double mu, std::uint32_t* status) const {
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  return Finish(1.0 / ((1.0 - mu) * mu), status);
}

double QXLinkLogit::SecondDerivative(double mu, std::uint32_t* status) const {
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  double power = 0.0;
  if (!QXPower::Power((1.0 - mu) * mu, -2.0, power)) return Fail(kNumerical, status);
  return Finish((2.0 * mu - 1.0) * power, status);
}

double QXLinkCumLogit::Derivative(double mu, std::uint32_t* status) const {
  if (IsCumulativeBoundary(mu)) return Report(0.0, kDomain, status);
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  return Finish((1.0 - mu) * mu, status);
}

double QXLinkCumLogit::SecondDerivative(double mu, std::uint32_t* status) const {
  if (IsCumulativeBoundary(mu)) return Report(0.0, kDomain, status);
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  return Finish((1.0 - 2.0 * mu) * ((1.0 - mu) * mu), status);
}

void QXLinkLogit::Display() const { DisplayLink("QXLinkLogit", nullptr); }

void QXLinkCumLogit::Display() const { DisplayLink("QXLinkCumLogit", nullptr); }

}  // namespace QXMath_600
