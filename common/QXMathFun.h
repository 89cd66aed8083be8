// Elementary vector operations of the fitting and testing code: BLAS-style kernels on raw arrays
// (dot product, Euclidean norm, scaling, axpy) and the convergence measures of the optimizer.
// Nothing allocates. Vectors of different lengths, and null arrays with a positive length, give
// QXMV::gMissingValue (or change nothing) instead of reading past an end.
#pragma once

#include <vector>

#include "common/QXExport.h"

namespace QXMath_600 {

class QXCOMMON_API QXMathFun {
 public:
  // Sum of x[i]*y[i] over the first n entries; 0 for n <= 0.
  static double DDot(int n, const double* x, const double* y);
  static double DDot(const std::vector<double>& x, const std::vector<double>& y);

  // Euclidean norm of the first n entries, scaled so that it neither overflows nor underflows for
  // entries near the ends of the double range; 0 for n <= 0.
  static double DNrm2(int n, const double* x);
  static double DNrm2(const std::vector<double>& x);

  // x[i] *= alpha for the first n entries.
  static void DScal(int n, double alpha, double* x);
  static void DScal(double alpha, std::vector<double>& x);

  // y[i] += alpha*x[i] for the first n entries; returns false (changing nothing) on a length
  // mismatch or null arrays.
  static bool DAxpy(int n, double alpha, const double* x, double* y);
  static bool DAxpy(double alpha, const std::vector<double>& x, std::vector<double>& y);

  // The largest relative change max |x[i] - y[i]| / max(|x[i]|, floor) from the previous values x
  // to the current values y. The floor keeps estimates near zero from dividing by zero: there the
  // change is measured in absolute terms. 0 for empty vectors; a NaN change gives NaN, which no
  // convergence test passes.
  static double VMaxRelDiff(const std::vector<double>& x, const std::vector<double>& y, double floor);

  // The L1 norm of the change, sum |x[i] - y[i]|. 0 for empty vectors.
  static double VNrm1Diff(const std::vector<double>& x, const std::vector<double>& y);

  // The Sidak-adjusted probability 1 - (1 - p)^m, formed as -expm1(m log1p(-p)) so that small p
  // keep their digits (the direct form gives 0 for p below 1.1e-16). p outside [0, 1], m < 0 or a
  // missing argument gives QXMV::gMissingValue.
  static double SidakAdjust(double p, double m);
};

}  // namespace QXMath_600
