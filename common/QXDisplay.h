// Diagnostic dump functions shared by every Display() of the library. They print one line each to
// standard output: a label, " = " and the value. Output is for developers and is never parsed.
#pragma once

#include <string_view>
#include <vector>

#include "common/QXExport.h"

namespace QXDisplay_600 {

// Prints a line of text. Level 1 is an ordinary line; each further level indents by two spaces.
QXCOMMON_API void DisplayText(int level, std::string_view text);
QXCOMMON_API void DisplayB(std::string_view label, bool value);
QXCOMMON_API void DisplayI(std::string_view label, long long value);
// Full precision (17 significant digits); the system-missing value prints as "sysmis".
QXCOMMON_API void DisplayD(std::string_view label, double value);
// Fixed notation with the given number of decimals; the system-missing value prints as "sysmis".
QXCOMMON_API void DisplayDF(std::string_view label, double value, int decimals = 6);
QXCOMMON_API void DisplayS(std::string_view label, std::string_view value);
QXCOMMON_API void DisplayIV(std::string_view label, const std::vector<int>& values);
QXCOMMON_API void DisplayDV(std::string_view label, const std::vector<double>& values);

}  // namespace QXDisplay_600
