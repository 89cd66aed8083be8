// The two extreme-value links: the complementary log-log, eta = log(-log(1 - mu)), and the negative
// log-log, eta = -log(-log(mu)), with their cumulative forms for ordinal models, which share link and
// inverse and whose derivatives are those of the inverse link (the extreme-value densities and their
// slopes, written through mu).
#pragma once

#include "links/IQXLinkFunc.h"

namespace QXMath_600 {

class QXREGRES_API QXLinkCompLog2 : public IQXLinkFunc {
 public:
  double Link(double mu, std::uint32_t* status) const override;
  double InverseLink(double eta, std::uint32_t* status) const override;
  double Derivative(double mu, std::uint32_t* status) const override;
  double SecondDerivative(double mu, std::uint32_t* status) const override;
  void Display() const override;
};

class QXREGRES_API QXLinkNegLog2 : public IQXLinkFunc {
 public:
  double Link(double mu, std::uint32_t* status) const override;
  double InverseLink(double eta, std::uint32_t* status) const override;
  double Derivative(double mu, std::uint32_t* status) const override;
  double SecondDerivative(double mu, std::uint32_t* status) const override;
  void Display() const override;
};

class QXREGRES_API QXLinkCumCompLog2 : public QXLinkCompLog2 {
 public:
  bool IsCumulative() const override { return true; }
  // -log(1 - mu) (1 - mu); 0.0 with status 1 at mu = 0 and 1.
  double Derivative(double mu, std::uint32_t* status) const override;
  // -log(1 - mu) (1 - mu) (log(1 - mu) + 1); 0.0 with status 1 at mu = 0 and 1.
  double SecondDerivative(double mu, std::uint32_t* status) const override;
  void Display() const override;
};

class QXREGRES_API QXLinkCumNegLog2 : public QXLinkNegLog2 {
 public:
  bool IsCumulative() const override { return true; }
  // -mu log(mu); 0.0 with status 1 at mu = 0 and 1.
  double Derivative(double mu, std::uint32_t* status) const override;
  // mu log(mu) (log(mu) + 1); 0.0 with status 1 at mu = 0, while mu = 1 lies in the domain and gives
  // 0.0 with status 0.
  double SecondDerivative(double mu, std::uint32_t* status) const override;
  void Display() const override;
};

}  // namespace QXMath_600
