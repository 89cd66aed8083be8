#include "common/QXDistFun.h"

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/fisher_f.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <boost/math/special_functions/erf.hpp>
#include <cmath>
#include <exception>
#include <limits>
#include <new>

#include "common/QXMissingValue.h"

namespace QXMath_600 {

namespace {

// Boost reports every error by its return value (NaN or an infinity) and never throws or sets
// errno; the domain is checked before Boost is called, and a non-finite probability that slips
// through is turned into the missing value by Finished.
using Policy = boost::math::policies::policy<
    boost::math::policies::domain_error<boost::math::policies::ignore_error>,
    boost::math::policies::pole_error<boost::math::policies::ignore_error>,
    boost::math::policies::overflow_error<boost::math::policies::ignore_error>,
    boost::math::policies::underflow_error<boost::math::policies::ignore_error>,
    boost::math::policies::denorm_error<boost::math::policies::ignore_error>,
    boost::math::policies::evaluation_error<boost::math::policies::ignore_error>,
    boost::math::policies::rounding_error<boost::math::policies::ignore_error>,
    boost::math::policies::indeterminate_result_error<boost::math::policies::ignore_error>>;

using Normal = boost::math::normal_distribution<double, Policy>;
using StudentT = boost::math::students_t_distribution<double, Policy>;
using ChiSquared = boost::math::chi_squared_distribution<double, Policy>;
using FisherF = boost::math::fisher_f_distribution<double, Policy>;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kM = QXMV::gMissingValue;

bool IsBad(double x) { return std::isnan(x) || QXMV::IsMissing(x); }
bool IsBadDf(double df) { return IsBad(df) || !(df > 0.0); }
bool IsBadProbability(double p) { return IsBad(p) || p < 0.0 || p > 1.0; }

double FinishedProbability(double p) { return std::isfinite(p) && p >= 0.0 && p <= 1.0 ? p : kM; }
double FinishedQuantile(double x) { return std::isnan(x) ? kM : x; }

// Boost cannot throw under Policy; the guard keeps the promise that only lack of memory leaves
// the companion layer should a future Boost add a throwing path.
template <class F>
double Guarded(F compute) {
  try {
    return compute();
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    return kM;
  }
}

// P(Z <= z) = erfc(y)/2 with y = -z/sqrt(2). Rounding y to a double perturbs erfc(y) by a relative
// 2y^2 times the rounding error, which reaches 1e-13 in the far tail (z near -37). The rounding
// error of y is recovered exactly with fma and applied as a first-order correction, using
// erfc'(y) = -2/sqrt(pi) exp(-y^2).
double NormalCdf(double z) {
  if (z == -kInf) return 0.0;
  if (z == kInf) return 1.0;
  constexpr double kInvSqrt2 = 0.7071067811865476;           // 1/sqrt(2) rounded
  constexpr double kInvSqrt2Rest = -4.8336466567264565e-17;  // 1/sqrt(2) - kInvSqrt2
  constexpr double kTwoOverSqrtPi = 1.1283791670955126;
  const double x = -z;
  const double y = x * kInvSqrt2;
  const double yRest = std::fma(x, kInvSqrt2, -y) + x * kInvSqrt2Rest;
  return FinishedProbability(Guarded([y, yRest] {
    const double e = boost::math::erfc(y, Policy());
    return 0.5 * (e - yRest * kTwoOverSqrtPi * std::exp(-y * y));
  }));
}

double NormalQuantile(double p) {
  if (p == 0.0) return -kInf;
  if (p == 1.0) return kInf;
  return FinishedQuantile(Guarded([p] { return boost::math::quantile(Normal(), p); }));
}

// The tail beyond |t| when t^2/df exceeds 1e200. Boost forms z = df/(df + t^2), which underflows
// (or t^2 overflows) once |t| passes about 1e154 sqrt(df), although for df up to 2 the tail is still
// representable there: an upper-tail p-value of 1e-300 would come out as 0. So far out,
// z = df/t^2 to double precision and the tail I_z(df/2, 1/2)/2 is z^(df/2)/(df B(df/2, 1/2)), the
// first term of its series in z.
double TFarTail(double absT, double df) {
  const double a = df / 2.0;
  const double base = std::sqrt(df) / absT;  // z^(1/2)
  const double zPowA = base >= std::numeric_limits<double>::min()
                           ? std::pow(base, df)
                           : std::exp(df * (0.5 * std::log(df) - std::log(absT)));
  return zPowA / (df * boost::math::beta(a, 0.5, Policy()));
}

double TCdf(double t, double df) {
  if (t == -kInf) return 0.0;
  if (t == kInf) return 1.0;
  if (df == kInf) return NormalCdf(t);
  const double absT = std::fabs(t);
  if (absT > 1e100 * std::sqrt(df)) {
    const double tail = FinishedProbability(Guarded([absT, df] { return TFarTail(absT, df); }));
    if (QXMV::IsMissing(tail)) return kM;
    return t < 0.0 ? tail : 1.0 - tail;
  }
  return FinishedProbability(Guarded([t, df] { return boost::math::cdf(StudentT(df), t); }));
}

double TQuantile(double p, double df) {
  if (df == kInf) return NormalQuantile(p);
  if (p == 0.0) return -kInf;
  if (p == 1.0) return kInf;
  return FinishedQuantile(Guarded([p, df] { return boost::math::quantile(StudentT(df), p); }));
}

// Lower or upper tail of the chi-square distribution; the tails are computed directly (regularised
// incomplete gamma P or Q), never one from the other.
double ChiTail(double x, double df, bool upper) {
  const double below = upper ? 1.0 : 0.0;  // the probability mass at or below x when x <= 0
  if (x <= 0.0) return below;
  if (x == kInf) return 1.0 - below;
  // With infinitely many degrees of freedom the mass has moved beyond every finite x.
  if (df == kInf) return below;
  return FinishedProbability(Guarded([x, df, upper] {
    const ChiSquared dist(df);
    return upper ? boost::math::cdf(boost::math::complement(dist, x)) : boost::math::cdf(dist, x);
  }));
}

double FTail(double f, double df1, double df2, bool upper) {
  const double below = upper ? 1.0 : 0.0;
  if (f <= 0.0) return below;
  if (f == kInf) return 1.0 - below;
  if (df1 == kInf && df2 == kInf) return f < 1.0 ? below : 1.0 - below;  // F is 1 almost surely
  // F = (X1/df1)/(X2/df2): an infinite df1 makes X1/df1 equal 1, an infinite df2 makes X2/df2 equal
  // 1, which leaves a (reciprocal) scaled chi-square.
  if (df2 == kInf) return ChiTail(f * df1, df1, upper);
  if (df1 == kInf) return ChiTail(df2 / f, df2, !upper);
  return FinishedProbability(Guarded([f, df1, df2, upper] {
    const FisherF dist(df1, df2);
    return upper ? boost::math::cdf(boost::math::complement(dist, f)) : boost::math::cdf(dist, f);
  }));
}

}  // namespace

double QXDistFun::CdfStdNorm(double z) { return IsBad(z) ? kM : NormalCdf(z); }

// The normal distribution is symmetric, so the upper tail at z is the lower tail at -z, exactly.
double QXDistFun::CdfStdNormUpper(double z) { return IsBad(z) ? kM : NormalCdf(-z); }

double QXDistFun::IdfStdNorm(double p) { return IsBadProbability(p) ? kM : NormalQuantile(p); }

double QXDistFun::IdfStdNormUpper(double q) { return IsBadProbability(q) ? kM : -NormalQuantile(q); }

double QXDistFun::CdfT(double t, double df) { return IsBad(t) || IsBadDf(df) ? kM : TCdf(t, df); }

double QXDistFun::CdfTUpper(double t, double df) { return IsBad(t) || IsBadDf(df) ? kM : TCdf(-t, df); }

double QXDistFun::IdfT(double p, double df) {
  return IsBadProbability(p) || IsBadDf(df) ? kM : TQuantile(p, df);
}

double QXDistFun::IdfTUpper(double q, double df) {
  return IsBadProbability(q) || IsBadDf(df) ? kM : -TQuantile(q, df);
}

double QXDistFun::CdfChi(double x, double df) { return IsBad(x) || IsBadDf(df) ? kM : ChiTail(x, df, false); }

double QXDistFun::CdfChiUpper(double x, double df) {
  return IsBad(x) || IsBadDf(df) ? kM : ChiTail(x, df, true);
}

double QXDistFun::CdfF(double f, double df1, double df2) {
  return IsBad(f) || IsBadDf(df1) || IsBadDf(df2) ? kM : FTail(f, df1, df2, false);
}

double QXDistFun::CdfFUpper(double f, double df1, double df2) {
  return IsBad(f) || IsBadDf(df1) || IsBadDf(df2) ? kM : FTail(f, df1, df2, true);
}

}  // namespace QXMath_600
