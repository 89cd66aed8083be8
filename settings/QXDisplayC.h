// Display of the QXConst enumerations: one line per call, the label followed by the member's text
// (" = Logit"). Values outside an enumeration print its "unrecognized" text, so a corrupted setting
// still shows up readably in a diagnostic dump.
#pragma once

#include <string_view>

#include "common/QXExport.h"
#include "settings/QXConst.h"

namespace QXDisplay_600 {

QXREGRES_API void DisplayC(std::string_view label, QXConst::QXVariableType value);
QXREGRES_API void DisplayC(std::string_view label, QXConst::LinkType value);
QXREGRES_API void DisplayC(std::string_view label, QXConst::DistType value);
QXREGRES_API void DisplayC(std::string_view label, QXConst::QXContrastType value);
QXREGRES_API void DisplayC(std::string_view label, QXConst::QXPAdjustMethod value);
QXREGRES_API void DisplayC(std::string_view label, QXConst::QXTestType value);
QXREGRES_API void DisplayC(std::string_view label, QXConst::QXEffectAnalysisType value);
QXREGRES_API void DisplayC(std::string_view label, QXConst::QXOffsetType value);
QXREGRES_API void DisplayC(std::string_view label, QXConst::QXCovbType value);
QXREGRES_API void DisplayC(std::string_view label, QXConst::QXCategOrder value);
QXREGRES_API void DisplayC(std::string_view label, QXConst::QXCategRef value);
QXREGRES_API void DisplayC(std::string_view label, QXConst::QXClassMissing value);
QXREGRES_API void DisplayC(std::string_view label, QXConst::QXConvType value);
QXREGRES_API void DisplayC(std::string_view label, QXConst::QXDependentType value);
QXREGRES_API void DisplayC(std::string_view label, QXConst::QXEmmScaleType value);
QXREGRES_API void DisplayC(std::string_view label, QXConst::QXHessianCompMethod value);

}  // namespace QXDisplay_600
