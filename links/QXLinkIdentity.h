// The identity link, eta = mu: the link of the general linear model, under which the marginal means
// and their bounds are reported as they are.
#pragma once

#include "links/IQXLinkFunc.h"

namespace QXMath_600 {

class QXREGRES_API QXLinkIdentity : public IQXLinkFunc {
 public:
  double Link(double mu, std::uint32_t* status) const override;
  // The same operation as Link.
  double InverseLink(double eta, std::uint32_t* status) const override;
  double Derivative(double mu, std::uint32_t* status) const override;
  double SecondDerivative(double mu, std::uint32_t* status) const override;
  void Display() const override;
};

}  // namespace QXMath_600
