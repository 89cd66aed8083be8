// The cumulative Cauchit link of ordinal models, eta = tan((mu - 1/2) pi), the quantile function of
// the standard Cauchy distribution. Its heavy tails suit outcomes with occasional extreme latent
// values. As for every cumulative link, the derivatives are those of the inverse link: the Cauchy
// density cos^2((mu - 1/2) pi) / pi and its slope, written through mu.
#pragma once

#include "links/IQXLinkFunc.h"

namespace QXMath_600 {

class QXREGRES_API QXLinkCumCauchit : public IQXLinkFunc {
 public:
  bool IsCumulative() const override { return true; }
  double Link(double mu, std::uint32_t* status) const override;
  // atan(eta) / pi + 1/2; succeeds for every eta.
  double InverseLink(double eta, std::uint32_t* status) const override;
  // 0.0 with status 1 at mu = 0 and 1.
  double Derivative(double mu, std::uint32_t* status) const override;
  // sin(2 pi mu) cos^2((mu - 1/2) pi) / pi; 0.0 with status 1 at mu = 0 and 1.
  double SecondDerivative(double mu, std::uint32_t* status) const override;
  void Display() const override;
};

}  // namespace QXMath_600
