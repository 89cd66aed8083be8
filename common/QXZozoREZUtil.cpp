#include "common/QXZozoREZUtil.h"

#include <cmath>
#include <string>

#include "common/QXMissingValue.h"

namespace QXXML_600 {

std::unique_ptr<XMLElement> QXZozoREZUtil::CreateElemFactor(std::string_view name, std::string_view category,
                                                            bool nested) {
  auto factor = XMLElement::Create("Factor");
  factor->AddAttribute("name", name);
  factor->AddAttribute("category", category);
  if (nested) factor->AddAttribute("isNested", "true");
  return factor;
}

std::unique_ptr<XMLElement> QXZozoREZUtil::CreateElemCovariate(std::string_view name, int power) {
  auto covariate = XMLElement::Create("Covariate");
  covariate->AddAttribute("name", name);
  covariate->AddAttribute("power", std::to_string(power));
  return covariate;
}

std::unique_ptr<XMLElement> QXZozoREZUtil::CreateElemStatistic(std::string_view name, double value) {
  auto statistic = XMLElement::Create("Statistic");
  statistic->AddAttribute("name", name);
  if (!QXMV::IsMissing(value) && !std::isnan(value)) statistic->AddAttribute("value", value);
  return statistic;
}

}  // namespace QXXML_600
