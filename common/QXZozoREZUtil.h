// Building blocks of the ZozoREZ parameter-statistics elements: the description of one factor or
// covariate that a regression parameter is made of, and a named statistic. The library's
// "RegressionParameter" elements hold these as children. The caller owns every element returned.
//
// Element and attribute texts:
//   <Factor name="A" category="1"/>               a factor at one of its categories;
//   <Factor name="B" category="2" isNested="true"/>  the same for a factor nested within the
//                                                 factors before it ("isNested" only when true,
//                                                 as the library writes "isRedundant");
//   <Covariate name="X" power="2"/>               a covariate raised to a power (X*X);
//   <Statistic name="sig" value="0.0123"/>        a named statistic; "value" is left out when the
//                                                 value is missing.
#pragma once

#include <memory>
#include <string_view>

#include "common/QXExport.h"
#include "common/XMLElement.h"

namespace QXXML_600 {

class QXCOMMON_API QXZozoREZUtil {
 public:
  static std::unique_ptr<XMLElement> CreateElemFactor(std::string_view name, std::string_view category,
                                                      bool nested);
  static std::unique_ptr<XMLElement> CreateElemCovariate(std::string_view name, int power);
  static std::unique_ptr<XMLElement> CreateElemStatistic(std::string_view name, double value);
};

}  // namespace QXXML_600
