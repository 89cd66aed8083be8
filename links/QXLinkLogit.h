// The logit link, eta = log(mu / (1 - mu)), of binary and multinomial logistic regression, and the
// cumulative logit of ordinal models, which shares its link and inverse and whose derivatives are
// those of the inverse link (the logistic density mu (1 - mu) and its slope).
#pragma once

#include "links/IQXLinkFunc.h"

namespace QXMath_600 {

class QXREGRES_API QXLinkLogit : public IQXLinkFunc {
 public:
  double Link(double mu, std::uint32_t* status) const override;
  // Succeeds for every eta; beyond the exponential guards the result is 0 or 1.
  double InverseLink(double eta, std::uint32_t* status) const override;
  double Derivative(double mu, std::uint32_t* status) const override;
  double SecondDerivative(double mu, std::uint32_t* status) const override;
  void Display() const override;
};

class QXREGRES_API QXLinkCumLogit : public QXLinkLogit {
 public:
  bool IsCumulative() const override { return true; }
  // d mu / d eta = (1 - mu) mu; 0.0 with status 1 at mu = 0 and 1.
  double Derivative(double mu, std::uint32_t* status) const override;
  // d2 mu / d eta2 = (1 - 2 mu) (1 - mu) mu; 0.0 with status 1 at mu = 0 and 1.
  double SecondDerivative(double mu, std::uint32_t* status) const override;
  void Display() const override;
};

}  // namespace QXMath_600
