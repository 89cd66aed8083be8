// The log link, eta = log(mu), for positive means (counts, rates), and the log-complement link,
// eta = log(1 - mu), for probabilities of not having an event.
#pragma once

#include "links/IQXLinkFunc.h"

namespace QXMath_600 {

class QXREGRES_API QXLinkLog : public IQXLinkFunc {
 public:
  double Link(double mu, std::uint32_t* status) const override;
  double InverseLink(double eta, std::uint32_t* status) const override;
  double Derivative(double mu, std::uint32_t* status) const override;
  double SecondDerivative(double mu, std::uint32_t* status) const override;
  void Display() const override;
};

class QXREGRES_API QXLinkLogComp : public IQXLinkFunc {
 public:
  double Link(double mu, std::uint32_t* status) const override;
  // 1 - exp(eta); a negative result (eta > 0) is returned as it is.
  double InverseLink(double eta, std::uint32_t* status) const override;
  double Derivative(double mu, std::uint32_t* status) const override;
  double SecondDerivative(double mu, std::uint32_t* status) const override;
  void Display() const override;
};

}  // namespace QXMath_600
