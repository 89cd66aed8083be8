// The power link, eta = mu^p (the log link at p = 0), and the odds-power link,
// eta = ((mu / (1 - mu))^p - 1) / p (the logit at p = 0). The power p is fixed at construction;
// SetParam leaves it unchanged.
#pragma once

#include "links/IQXLinkFunc.h"

namespace QXMath_600 {

class QXREGRES_API QXLinkPower : public IQXLinkFunc {
 public:
  explicit QXLinkPower(double power) : fParam(power) {}

  double Link(double mu, std::uint32_t* status) const override;
  // eta^(1/p); for an odd integer p a negative eta has the real root -|eta|^(1/p).
  double InverseLink(double eta, std::uint32_t* status) const override;
  double Derivative(double mu, std::uint32_t* status) const override;
  double SecondDerivative(double mu, std::uint32_t* status) const override;
  void Display() const override;

 private:
  double fParam;
};

class QXREGRES_API QXLinkOddsPower : public IQXLinkFunc {
 public:
  explicit QXLinkOddsPower(double power) : fParam(power) {}

  double Link(double mu, std::uint32_t* status) const override;
  double InverseLink(double eta, std::uint32_t* status) const override;
  double Derivative(double mu, std::uint32_t* status) const override;
  double SecondDerivative(double mu, std::uint32_t* status) const override;
  void Display() const override;

 private:
  double fParam;
};

}  // namespace QXMath_600
