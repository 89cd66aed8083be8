// The probit link, eta = Phi^-1(mu) with Phi the standard normal distribution, and the cumulative
// probit of ordinal models, which shares its link and inverse and whose derivatives are those of the
// inverse link: the normal density phi(Phi^-1(mu)) and its slope.
#pragma once

#include "links/IQXLinkFunc.h"

namespace QXMath_600 {

class QXREGRES_API QXLinkProbit : public IQXLinkFunc {
 public:
  double Link(double mu, std::uint32_t* status) const override;
  double InverseLink(double eta, std::uint32_t* status) const override;
  // 1 / phi(z), z = Phi^-1(mu); 0.0 with status 1 at mu = 0 and 1.
  double Derivative(double mu, std::uint32_t* status) const override;
  // 2 pi z exp(z^2); 0.0 with status 1 at mu = 0 and 1.
  double SecondDerivative(double mu, std::uint32_t* status) const override;
  void Display() const override;
};

class QXREGRES_API QXLinkCumProbit : public QXLinkProbit {
 public:
  bool IsCumulative() const override { return true; }
  // phi(z), the reciprocal of the probit derivative.
  double Derivative(double mu, std::uint32_t* status) const override;
  // -z phi(z), formed from this object's own Link and Derivative.
  double SecondDerivative(double mu, std::uint32_t* status) const override;
  void Display() const override;
};

}  // namespace QXMath_600
