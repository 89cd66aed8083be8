#include "links/QXLinkIdentity.h"

#include "links/QXLinkStatus.h"

namespace QXMath_600 {

using namespace LinkDetail;

double QXLinkIdentity::Link(double mu, std::uint32_t* status) const {
  if (IsBadArgument(mu)) return Fail(kDomain, status);
  return Report(mu, kSuccess, status);
}

double QXLinkIdentity::InverseLink(double eta, std::uint32_t* status) const { return Link(eta, status); }

double QXLinkIdentity::Derivative(double mu, std::uint32_t* status) const {
  if (IsBadArgument(mu)) return Fail(kDomain, status);
  return Report(1.0, kSuccess, status);
}

double QXLinkIdentity::SecondDerivative(double mu, std::uint32_t* status) const {
  if (IsBadArgument(mu)) return Fail(kDomain, status);
  return Report(0.0, kSuccess, status);
}

void QXLinkIdentity::Display() const { DisplayLink("QXLinkIdentity", nullptr); }

}  // namespace QXMath_600
