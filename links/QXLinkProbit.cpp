#include "links/QXLinkProbit.h"

#include <cmath>

#include "common/QXDistFun.h"
#include "links/QXLinkStatus.h"

namespace QXMath_600 {

using namespace LinkDetail;

namespace {

bool InOpenUnit(double mu) { return !IsBadArgument(mu) && mu > 0.0 && mu < 1.0; }

// The normal quantile of mu, or false after reporting a numerical failure.
bool Quantile(double mu, double& z, std::uint32_t* status) {
  z = QXDistFun::IdfStdNorm(mu);
  if (QXMV::IsMissing(z) || !std::isfinite(z)) {
    Fail(kNumerical, status);
    return false;
  }
  return true;
}

}  // namespace

double QXLinkProbit::Link(double mu, std::uint32_t* status) const {
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  double z = 0.0;
  if (!Quantile(mu, z, status)) return QXMV::gMissingValue;
  return Report(z, kSuccess, status);
}

double QXLinkProbit::InverseLink(double eta, std::uint32_t* status) const {
  if (IsBadArgument(eta)) return Fail(kDomain, status);
  const double mu = QXDistFun::CdfStdNorm(eta);
  if (QXMV::IsMissing(mu)) return Fail(kNumerical, status);
  if (!(mu >= 0.0 && mu <= 1.0)) return Fail(kRange, status);
  return Report(mu, kSuccess, status);
}

double QXLinkProbit::Derivative(double mu, std::uint32_t* status) const {
  if (IsCumulativeBoundary(mu)) return Report(0.0, kDomain, status);
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  double z = 0.0;
  if (!Quantile(mu, z, status)) return QXMV::gMissingValue;
  // 1 / phi(z) = exp(log(2 pi) / 2 + z^2 / 2), guarded on the log scale.
  const double t = 0.5 * std::log(kTwoPi) + 0.5 * z * z;
  if (t > kExpHigh) return Fail(kNumerical, status);
  return Report(std::exp(t), kSuccess, status);
}

double QXLinkProbit::SecondDerivative(double mu, std::uint32_t* status) const {
  if (IsCumulativeBoundary(mu)) return Report(0.0, kDomain, status);
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  double z = 0.0;
  if (!Quantile(mu, z, status)) return QXMV::gMissingValue;
  // 2 pi |z| exp(z^2) on the log scale; z = 0 gives log 0 = -infinity, below the lower guard.
  const double t = std::log(std::fabs(z)) + std::log(kPi) + std::log(2.0) + z * z;
  if (t > kExpHigh) return Fail(kNumerical, status);
  if (t < kExpLow) return Report(0.0, kSuccess, status);
  const double value = std::exp(t);
  return Report(z < 0.0 ? -value : value, kSuccess, status);
}

double QXLinkCumProbit::Derivative(double mu, std::uint32_t* status) const {
  if (IsCumulativeBoundary(mu)) return Report(0.0, kDomain, status);
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  std::uint32_t probitStatus = kSuccess;
  const double d = QXLinkProbit::Derivative(mu, &probitStatus);
  if (QXMV::IsMissing(d) || d == 0.0) return Report(d, kNumerical, status);
  return Report(1.0 / d, probitStatus, status);
}

double QXLinkCumProbit::SecondDerivative(double mu, std::uint32_t* status) const {
  if (IsCumulativeBoundary(mu)) return Report(0.0, kDomain, status);
  if (!InOpenUnit(mu)) return Fail(kDomain, status);
  const double z = Link(mu, nullptr);
  const double f = Derivative(mu, nullptr);
  if (QXMV::IsMissing(z) || QXMV::IsMissing(f)) return Fail(kNumerical, status);
  return Finish(-f * z, status);
}

void QXLinkProbit::Display() const { DisplayLink("QXLinkProbit", nullptr); }

void QXLinkCumProbit::Display() const { DisplayLink("QXLinkCumProbit", nullptr); }

}  // namespace QXMath_600
