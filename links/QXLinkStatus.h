// Helpers shared by the link function sources (not installed as public interface of the links):
// writing the optional status code, and the argument and result checks every link applies.
#pragma once

#include <cmath>
#include <cstdint>

#include "common/QXMissingValue.h"

namespace QXMath_600::LinkDetail {

inline constexpr std::uint32_t kSuccess = 0;
inline constexpr std::uint32_t kDomain = 1;
inline constexpr std::uint32_t kNumerical = 2;
inline constexpr std::uint32_t kRange = 3;

// The guards around every exponential: larger arguments overflow, smaller ones underflow to 0.
inline constexpr double kExpHigh = 709.0;
inline constexpr double kExpLow = -708.0;

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 6.283185307179586;

inline double Report(double value, std::uint32_t code, std::uint32_t* status) {
  if (status) *status = code;
  return value;
}

inline double Fail(std::uint32_t code, std::uint32_t* status) {
  return Report(QXMV::gMissingValue, code, status);
}

// A missing or NaN argument has no image under any link; it must not pass through the comparisons
// below (NaN fails them all) or be read as the most negative double.
inline bool IsBadArgument(double x) { return std::isnan(x) || QXMV::IsMissing(x); }

// The value of a formula with status 0, or a numerical failure when it overflowed or lost itself in
// NaN (a parameter of 0 or infinity, an argument at the edge of the double range).
inline double Finish(double value, std::uint32_t* status) {
  if (!std::isfinite(value)) return Fail(kNumerical, status);
  return Report(value, kSuccess, status);
}

// The boundary rule of the cumulative links' derivatives: the density vanishes at mu = 0 and mu = 1,
// which are nevertheless outside the open domain.
inline bool IsCumulativeBoundary(double mu) { return mu == 0.0 || mu == 1.0; }

// log(mu / (1 - mu)) for 0 < mu < 1. Near 1/2 the log-odds are small and the plain form would leave
// only the rounding of the ratio; there 2 mu - 1 is exact and log1p keeps every digit.
inline double LogOdds(double mu) {
  if (mu >= 0.25 && mu <= 0.75) return std::log1p((2.0 * mu - 1.0) / (1.0 - mu));
  return std::log(mu / (1.0 - mu));
}

}  // namespace QXMath_600::LinkDetail
