// The canonical link of the negative binomial distribution with ancillary parameter k,
// eta = log(k mu / (1 + k mu)). k is set at construction and may be replaced through SetParam, since
// the distribution's k is often estimated after the link object exists.
#pragma once

#include "links/IQXLinkFunc.h"

namespace QXMath_600 {

class QXREGRES_API QXLinkNegBinomial : public IQXLinkFunc {
 public:
  explicit QXLinkNegBinomial(double k) : fParam(k) {}

  double Link(double mu, std::uint32_t* status) const override;
  // e / (1 - e) / k with e = exp(eta); only negative eta give a positive mean.
  double InverseLink(double eta, std::uint32_t* status) const override;
  double Derivative(double mu, std::uint32_t* status) const override;
  double SecondDerivative(double mu, std::uint32_t* status) const override;
  void Display() const override;
  void SetParam(double k) override { fParam = k; }

 private:
  double fParam;
};

}  // namespace QXMath_600
