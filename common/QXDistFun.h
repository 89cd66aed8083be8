// Probability distributions of the test statistics: the standard normal, Student's t, chi-square and
// F distributions, as lower-tail probabilities (Cdf), upper-tail probabilities (Cdf...Upper) and
// quantiles (Idf). Every function is pure, thread-safe, never throws and never touches errno.
//
// Conventions shared by every function:
// - Degrees of freedom may be fractional (Satterthwaite) and may be +infinity, which gives the
//   limiting distribution (the t distribution becomes the standard normal, and so on). Degrees of
//   freedom that are zero, negative or NaN give QXMV::gMissingValue.
// - A NaN argument, or one equal to QXMV::gMissingValue, gives QXMV::gMissingValue: a missing
//   statistic stays missing instead of turning into a probability.
// - Infinite arguments give the limiting values (Cdf of -infinity is 0, of +infinity is 1).
// - Probabilities outside [0, 1] give QXMV::gMissingValue; the quantile of 0 is -infinity and the
//   quantile of 1 is +infinity, and so is a quantile beyond the double range (tiny p with df < 1).
//
// Tails: a p-value is an upper-tail probability. Computing it as 1 - Cdf(x) cancels catastrophically
// once Cdf(x) is close to 1 (every p-value below about 1.1e-16 becomes 0, and small ones lose digits).
// Use the Upper forms instead, which are accurate down to the smallest positive double:
//   chi-square test:   CdfChiUpper(chi, df)         rather than 1 - CdfChi(chi, df)
//   F test:            CdfFUpper(f, df1, df2)       rather than 1 - CdfF(f, df1, df2)
//   two-sided t test:  2 * CdfTUpper(|t|, df)       rather than 2 * (1 - CdfT(|t|, df))
// Likewise a critical value for a small error rate a is IdfTUpper(a, df) (or IdfStdNormUpper(a)),
// rather than IdfT(1 - a, df), whose argument has already lost the digits of a.
#pragma once

#include "common/QXExport.h"

namespace QXMath_600 {

class QXCOMMON_API QXDistFun {
 public:
  // Standard normal distribution: P(Z <= z), P(Z > z), and the z with P(Z <= z) = p (or P(Z > z) = q).
  static double CdfStdNorm(double z);
  static double CdfStdNormUpper(double z);
  static double IdfStdNorm(double p);
  static double IdfStdNormUpper(double q);

  // Student's t distribution with df degrees of freedom.
  static double CdfT(double t, double df);
  static double CdfTUpper(double t, double df);
  static double IdfT(double p, double df);
  static double IdfTUpper(double q, double df);

  // Chi-square distribution with df degrees of freedom. Negative x lies below the support
  // (lower tail 0, upper tail 1).
  static double CdfChi(double x, double df);
  static double CdfChiUpper(double x, double df);

  // F distribution with df1 (numerator) and df2 (denominator) degrees of freedom. Negative f lies
  // below the support.
  static double CdfF(double f, double df1, double df2);
  static double CdfFUpper(double f, double df1, double df2);
};

}  // namespace QXMath_600
