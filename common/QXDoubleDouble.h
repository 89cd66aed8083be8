// Double-double arithmetic for the kernel's compensated accumulation and sweep: a value is the
// unevaluated sum hi + lo of two doubles with |lo| <= ulp(hi)/2, about 32 significant digits.
// Internal to the companion layer; the building blocks are the error-free transformations TwoSum
// (Knuth) and TwoProd (an FMA where the target has one, Dekker's splitting otherwise, because a
// software fma is far slower than the 17 flops of the split).
//
// The code relies on IEEE double arithmetic evaluated as written: it must not be compiled with
// value-changing optimizations (-ffast-math) or with contraction of a*b+c into an FMA, which the
// build turns off for the kernel's sources.
#pragma once

#include <cmath>

namespace QXMath_600::detail {

struct DD {
  double hi = 0.0;
  double lo = 0.0;
};

inline void TwoSum(double a, double b, double& s, double& e) {
  s = a + b;
  const double bb = s - a;
  e = (a - (s - bb)) + (b - bb);
}

// Requires |a| >= |b| (or a == 0).
inline void FastTwoSum(double a, double b, double& s, double& e) {
  s = a + b;
  e = b - (s - a);
}

// Splits a into two halves of 26 bits each, so that products of halves are exact.
inline void Split(double a, double& h, double& l) {
  constexpr double kSplitter = 134217729.0;  // 2^27 + 1
  const double t = kSplitter * a;
  h = t - (t - a);
  l = a - h;
}

inline void TwoProd(double a, double b, double& p, double& e) {
  p = a * b;
#if defined(__FMA__) || defined(__FP_FAST_FMA)
  e = std::fma(a, b, -p);
#else
  double ah, al, bh, bl;
  Split(a, ah, al);
  Split(b, bh, bl);
  e = ((ah * bh - p) + ah * bl + al * bh) + al * bl;
#endif
}

// TwoProd with the splits of both factors computed beforehand (one split per row entry instead of
// one per product in the accumulation of outer products).
inline void TwoProdSplit(double a, double ah, double al, double b, double bh, double bl, double& p,
                         double& e) {
  p = a * b;
#if defined(__FMA__) || defined(__FP_FAST_FMA)
  (void)ah, (void)al, (void)bh, (void)bl;
  e = std::fma(a, b, -p);
#else
  e = ((ah * bh - p) + ah * bl + al * bh) + al * bl;
#endif
}

inline DD Add(DD a, DD b) {
  double s, e, t, f;
  TwoSum(a.hi, b.hi, s, e);
  TwoSum(a.lo, b.lo, t, f);
  e += t;
  FastTwoSum(s, e, s, e);
  e += f;
  FastTwoSum(s, e, s, e);
  return {s, e};
}

inline DD Neg(DD a) { return {-a.hi, -a.lo}; }

inline DD Mul(DD a, DD b) {
  double p, e;
  TwoProd(a.hi, b.hi, p, e);
  e += a.hi * b.lo + a.lo * b.hi;
  FastTwoSum(p, e, p, e);
  return {p, e};
}

inline DD Mul(DD a, double b) {
  double p, e;
  TwoProd(a.hi, b, p, e);
  e += a.lo * b;
  FastTwoSum(p, e, p, e);
  return {p, e};
}

inline DD Div(DD a, DD b) {
  const double q1 = a.hi / b.hi;
  DD r = Add(a, Neg(Mul(b, q1)));
  const double q2 = r.hi / b.hi;
  r = Add(r, Neg(Mul(b, q2)));
  const double q3 = r.hi / b.hi;
  double s, e;
  FastTwoSum(q1, q2, s, e);
  return Add({s, e}, {q3, 0.0});
}

inline double ToDouble(DD a) { return a.hi + a.lo; }

}  // namespace QXMath_600::detail
