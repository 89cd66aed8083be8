#include "links/QXLinkNegBinomial.h"

#include <cmath>

#include "common/QXPower.h"
#include "links/QXLinkStatus.h"

namespace QXMath_600 {

using namespace LinkDetail;

double QXLinkNegBinomial::Link(double mu, std::uint32_t* status) const {
  if (IsBadArgument(mu) || !(mu > 0.0)) return Fail(kDomain, status);
  const double t = mu * fParam;
  const double x = t / (t + 1.0);
  if (!(x > 0.0)) return Fail(kDomain, status);
  // log(t / (t + 1)) = -log1p(1 / t): for a large mean the ratio is close to 1 and its log would keep
  // only the rounding of the division.
  return Finish(-std::log1p(1.0 / t), status);
}

double QXLinkNegBinomial::InverseLink(double eta, std::uint32_t* status) const {
  if (IsBadArgument(eta)) return Fail(kDomain, status);
  double mu = 0.0;
  if (eta > kExpHigh) {
    mu = -1.0 / fParam;
  } else if (eta >= kExpLow) {
    const double e = std::exp(eta);
    if (e == 1.0) return Fail(kDomain, status);
    // e / (1 - e) with 1 - e as -expm1(eta), which keeps its digits for eta near 0.
    mu = e / -std::expm1(eta) / fParam;
  }
  if (std::isnan(mu)) return Fail(kNumerical, status);
  if (mu < 0.0) return Fail(kRange, status);
  return Finish(mu, status);
}

double QXLinkNegBinomial::Derivative(double mu, std::uint32_t* status) const {
  if (IsBadArgument(mu) || !(mu > 0.0)) return Fail(kDomain, status);
  return Finish(1.0 / ((mu * fParam + 1.0) * mu), status);
}

double QXLinkNegBinomial::SecondDerivative(double mu, std::uint32_t* status) const {
  if (IsBadArgument(mu) || !(mu > 0.0)) return Fail(kDomain, status);
  double power = 0.0;
  if (!QXPower::Power((mu * fParam + 1.0) * mu, -2.0, power)) return Fail(kNumerical, status);
  return Finish(-(2.0 * fParam * mu + 1.0) * power, status);
}

void QXLinkNegBinomial::Display() const { DisplayLink("QXLinkNegBinomial", &fParam); }

}  // namespace QXMath_600
