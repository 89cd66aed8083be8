// The system-missing value: one double that marks a missing datum in a record and every statistic
// that cannot be formed. It is the most negative finite double, so ordinary data never holds it and
// it lies below -0.5, where the category test takes any value as missing.
#pragma once

#include <limits>

#include "common/QXExport.h"

namespace QXMV {

inline constexpr double gMissingValue = -std::numeric_limits<double>::max();

// True when a value is the system-missing value.
inline constexpr bool IsMissing(double value) { return value == gMissingValue; }

}  // namespace QXMV
