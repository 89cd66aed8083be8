// A link function g maps a mean or probability mu to the linear-predictor scale eta = g(mu) and back.
// The marginal means back-transform their estimates and standard errors through it, and the model
// tests state which link their delta-method tests belong to.
//
// Every operation is a pure function of its argument and of the object's one optional parameter. It
// never throws and never allocates; it reports through an optional status code (the pointer may be
// null) and returns QXMV::gMissingValue whenever it cannot produce a value:
//   0  success
//   1  the argument lies outside the function's domain (also written, with the value 0.0, by the
//      derivatives of the cumulative links at mu = 0 and mu = 1), or is NaN or the missing value
//   2  numerical failure: a power, exponent or normal quantile could not be formed, an exponent would
//      overflow, or the formula gave a value that is not finite
//   3  the computed result lies outside its admissible range
//
// For the ordinary links Derivative and SecondDerivative are g'(mu) and g''(mu). For the cumulative
// links (ordinal models) they are the derivatives of the inverse link, d mu / d eta and
// d2 mu / d eta2 (the density of the latent distribution and its slope), written as functions of mu.
//
// The delta method needs d mu / d eta, whichever kind the link is: a standard error on the response
// scale is the linear predictor's standard error times d mu / d eta, and a contrast of means has the
// gradient T diag(d mu / d eta) L. Derivative alone cannot give it, since the two kinds answer
// reciprocal quantities; InverseLinkDerivative does, for both kinds, and every delta-method
// computation of the library (the model tests' response-scale tests, the marginal means on the
// response scale) goes through it. IsCumulative tells the kinds apart for a caller that reads
// Derivative itself.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/QXExport.h"
#include "settings/QXConst.h"

namespace QXMath_600 {

class QXREGRES_API IQXLinkFunc {
 public:
  IQXLinkFunc() = default;
  IQXLinkFunc(const IQXLinkFunc&) = default;
  IQXLinkFunc& operator=(const IQXLinkFunc&) = default;
  virtual ~IQXLinkFunc() = default;

  // eta = g(mu).
  virtual double Link(double mu, std::uint32_t* status) const = 0;
  // mu = g^-1(eta).
  virtual double InverseLink(double eta, std::uint32_t* status) const = 0;
  // g'(mu); for the cumulative links d mu / d eta.
  virtual double Derivative(double mu, std::uint32_t* status) const = 0;
  // g''(mu); for the cumulative links d2 mu / d eta2.
  virtual double SecondDerivative(double mu, std::uint32_t* status) const = 0;
  // Sets the ancillary parameter of the links that have a replaceable one; the others ignore it.
  virtual void SetParam(double /*param*/) {}
  // True for the cumulative links, whose Derivative is d mu / d eta rather than g'(mu).
  virtual bool IsCumulative() const { return false; }
  // Prints the link's class and its parameter, for the links that have one.
  virtual void Display() const;

  // d mu / d eta at mu: 1 / g'(mu) for the ordinary links, Derivative itself for the cumulative ones.
  // Where an ordinary link's g'(mu) is missing the result is missing with Derivative's status; where
  // it is 0 or its reciprocal is not finite, missing with status 2. A cumulative link answers as its
  // Derivative does (0.0 with status 1 at mu = 0 and 1, where the inverse link is flat).
  double InverseLinkDerivative(double mu, std::uint32_t* status) const;

 protected:
  static void DisplayLink(std::string_view className, const double* parameter);
};

// A new link object of the given type, owned by the caller (delete it through the interface). param
// is the negative binomial k or the power p of the odds-power and power links, and is ignored by the
// other types. A type outside 0 .. 14 gives null.
QXREGRES_API IQXLinkFunc* CreateLinkFunction(QXConst::LinkType type, double param);

}  // namespace QXMath_600
