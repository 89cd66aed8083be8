#include "links/QXLinkCumCauchit.h"

#include <algorithm>
#include <cmath>

#include "links/QXLinkStatus.h"

namespace QXMath_600 {

using namespace LinkDetail;

// In the tails mu - 1/2 and atan(eta) / pi + 1/2 cancel: a mean of 1e-10 would keep only six digits.
// The forms below use the reflections tan((mu - 1/2) pi) = -1 / tan(pi mu) and
// cos((mu - 1/2) pi) = sin(pi mu) = sin(pi (1 - mu)), whose arguments are exact where it matters
// (1 - mu and 1/2 - mu are exact for mu >= 1/4).

namespace {

bool InOpenUnit(double mu) { return !IsBadArgument(mu) && mu > 0.0 && mu < 1.0; }

// sin(pi mu) = cos((mu - 1/2) pi), accurate at both ends of (0, 1).
double SinPiMu(double mu) { return std::sin(kPi * std::min(mu, 1.0 - mu)); }

}  // namespace

double QXLinkCumCauchit::Link(double mu, std::uint32_t* status) const {
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  if (mu < 0.25) return Finish(-1.0 / std::tan(kPi * mu), status);
  if (mu > 0.75) return Finish(1.0 / std::tan(kPi * (1.0 - mu)), status);
  return Finish(std::tan((mu - 0.5) * kPi), status);
}

double QXLinkCumCauchit::InverseLink(double eta, std::uint32_t* status) const {
  if (IsBadArgument(eta)) return Fail(kDomain, status);
  // For eta < -1, atan(eta) + pi / 2 = -atan(1 / eta), without the cancellation.
  if (eta < -1.0) return Report(-std::atan(1.0 / eta) / kPi, kSuccess, status);
  return Report(std::atan(eta) / kPi + 0.5, kSuccess, status);
}

double QXLinkCumCauchit::Derivative(double mu, std::uint32_t* status) const {
  if (IsCumulativeBoundary(mu)) return Report(0.0, kDomain, status);
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  const double s = SinPiMu(mu);
  return Finish(s * s / kPi, status);
}

double QXLinkCumCauchit::SecondDerivative(double mu, std::uint32_t* status) const {
  if (IsCumulativeBoundary(mu)) return Report(0.0, kDomain, status);
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  // sin(2 pi mu) = 2 sin(pi mu) cos(pi mu), and cos(pi mu) = sin(pi (1/2 - mu)).
  const double s = SinPiMu(mu);
  const double c = std::sin(kPi * (0.5 - mu));
  return Finish(2.0 * s * c * s * s / kPi, status);
}

void QXLinkCumCauchit::Display() const { DisplayLink("QXLinkCumCauchit", nullptr); }

}  // namespace QXMath_600
