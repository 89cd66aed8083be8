// Powers and exponentials that report failure instead of producing infinities or NaN, and the two
// machine constants the fitting code tests against. A failed operation writes the system-missing
// value to its output and returns false, so callers may test either the result or the output.
#pragma once

#include "common/QXExport.h"

namespace QXMath_600 {

class QXCOMMON_API QXPower {
 public:
  // The machine epsilon of doubles, 2^-52: the gap between 1 and the next double.
  static constexpr double gMachineEpsilon = 0x1p-52;
  // The largest double x whose exponential is finite (log of the largest double, rounded down).
  static constexpr double gMachineMaxExp = 709.782712893384;

  // out = x^y. Fails (out = QXMV::gMissingValue, result false) when x or y is NaN or missing, when a
  // negative x meets a y that is not an integer (no real result), when 0 meets a negative y (a
  // pole), and when the result overflows or is otherwise not finite. 0^0 is 1; results that
  // underflow are 0 and count as success.
  static bool Power(double x, double y, double& out);

  // out = e^x. Fails (out = QXMV::gMissingValue, result false) when x is NaN or missing or exceeds
  // gMachineMaxExp; e^-infinity is 0 and succeeds.
  static bool Exponent(double x, double& out);

  // True for finite odd integers; doubles of magnitude 2^53 or more are all even.
  static bool IsOddInteger(double x);
};

}  // namespace QXMath_600
