#include "export/QXRegrZozoREZUtil.h"

#include <algorithm>
#include <numeric>

#include "common/QXMissingValue.h"
#include "common/QXPower.h"
#include "common/QXZozoREZUtil.h"
#include "export/QXPMMLRegrExporter.h"

namespace QXMath_600 {

using QXXML_600::XMLElement;

namespace {

void AddIfFormed(XMLElement& element, std::string_view name, double value) {
  if (!QXMV::IsMissing(value)) element.AddAttribute(name, value);
}

// The position of `value` in `order`, or past the end for a value not in it.
std::size_t Rank(const std::vector<int>& order, int value) {
  return static_cast<std::size_t>(std::find(order.begin(), order.end(), value) - order.begin());
}

// Reorders `values` by the permutation; values of another length are left alone.
void Permute(const std::vector<std::size_t>& permutation, std::vector<int>& values) {
  if (values.size() != permutation.size()) return;
  std::vector<int> sorted;
  sorted.reserve(values.size());
  for (std::size_t p : permutation) sorted.push_back(values[p]);
  values.swap(sorted);
}

}  // namespace

QXRegrZozoREZUtil::~QXRegrZozoREZUtil() = default;

std::unique_ptr<XMLElement> QXRegrZozoREZUtil::CreateParameterEstimates(
    const std::vector<QXRegrParameterStats>& statistics, const QXRegSettings& settings,
    const QXCommon_600::QXVarList& variables, const std::vector<QXRegrParameter>& parameters,
    std::string_view attributeName, std::string_view attributeValue, std::unique_ptr<XMLElement> child,
    bool perTarget) {
  auto estimates = XMLElement::Create("ParameterEstimates");
  estimates->AddAttribute(attributeName, attributeValue);
  estimates->AddChild(std::move(child));
  AddAllElemParamStats(statistics, settings, variables, parameters, *estimates, true, perTarget);
  return estimates;
}

void QXRegrZozoREZUtil::AddAllElemParamStats(const std::vector<QXRegrParameterStats>& statistics,
                                             const QXRegSettings& settings,
                                             const QXCommon_600::QXVarList& variables,
                                             const std::vector<QXRegrParameter>& parameters,
                                             XMLElement& parent, bool fullDetail, bool perTarget) {
  std::vector<std::unique_ptr<XMLElement>> elements;
  CreateAllElemParamStats(statistics, settings, variables, parameters, elements, fullDetail, perTarget);
  for (auto& element : elements) parent.AddChild(std::move(element));
}

void QXRegrZozoREZUtil::CreateAllElemParamStats(const std::vector<QXRegrParameterStats>& statistics,
                                                const QXRegSettings& settings,
                                                const QXCommon_600::QXVarList& variables,
                                                const std::vector<QXRegrParameter>& parameters,
                                                std::vector<std::unique_ptr<XMLElement>>& elements,
                                                bool fullDetail, bool perTarget) {
  if (!fullDetail) {
    std::vector<std::string> labels;
    std::vector<QXRegrParameterStats> named;
    GetParamLables(statistics, settings, variables, parameters, labels, named);
    for (std::size_t i = 0; i < named.size(); ++i)
      elements.push_back(
          CreateElemParamStats(named[i], static_cast<int>(i) + 1, labels[i].empty() ? nullptr : &labels[i]));
    return;
  }
  const std::size_t n = std::min(statistics.size(), parameters.size());
  for (std::size_t i = 0; i < n; ++i) {
    const QXRegrParameterStats& stats = statistics[i];
    const QXRegrParameter& parameter = parameters[i];
    auto element = CreateElemParamStats(stats, QXPMMLRegrExporter::ParameterName(static_cast<int>(i) + 1),
                                        stats.fbRedundant);
    std::string label;
    std::unique_ptr<XMLElement> description;
    const int effect = parameter.GetEffectIndex();
    if (effect < 0) {
      description = perTarget ? CreateRegrParamForTarget(settings.GetDependent(), parameter, variables, label)
                              : CreateRegrParam(settings.GetModelEffects(), parameter, variables, label);
    } else {
      element->AddChild(XMLElement::Create("fixedEffectIndex"))->SetText(std::to_string(effect));
      description = CreateRegrParam(settings.GetModelEffects(), parameter, variables, label);
    }
    if (!label.empty()) element->AddAttribute("paramLabel", label);
    element->AddChild(std::move(description));
    elements.push_back(std::move(element));
  }
}

std::unique_ptr<XMLElement> QXRegrZozoREZUtil::CreateElemParamStats(const QXRegrParameterStats& statistics,
                                                                    int index, const std::string* label) {
  auto element = XMLElement::Create("ParameterStats");
  element->AddAttribute("paramName", QXPMMLRegrExporter::ParameterName(index));
  if (label != nullptr) element->AddAttribute("paramLabel", *label);
  AddIfFormed(*element, "estimate", statistics.fEstimate);
  AddIfFormed(*element, "stdError", statistics.fStdError);
  AddIfFormed(*element, "sig", statistics.fSig);
  AddIfFormed(*element, "tTest", statistics.fTStat);
  AddIfFormed(*element, "chiSquare", statistics.fChiSquare);
  AddIfFormed(*element, "df", statistics.fDF);
  AddIfFormed(*element, "confIntervalLower", statistics.fLowerBound);
  AddIfFormed(*element, "confIntervalUpper", statistics.fUpperBound);
  return element;
}

std::unique_ptr<XMLElement> QXRegrZozoREZUtil::CreateElemParamStats(const QXRegrParameterStats& statistics,
                                                                    std::string_view name, bool redundant) {
  auto element = XMLElement::Create("ParameterStats");
  element->AddAttribute("paramName", name);
  AddIfFormed(*element, "estimate", statistics.fEstimate);
  if (statistics.fbExpBounds) {
    double exponential = QXMV::gMissingValue;
    if (QXPower::Exponent(statistics.fEstimate, exponential))
      element->AddAttribute("expEstimate", exponential);
  }
  AddIfFormed(*element, "stdError", statistics.fStdError);
  AddIfFormed(*element, "sig", statistics.fSig);
  AddIfFormed(*element, "tTest", statistics.fChiSquare);
  AddIfFormed(*element, "zTest", statistics.fZStat);
  AddIfFormed(*element, "confIntervalLower", statistics.fLowerBound);
  AddIfFormed(*element, "confIntervalUpper", statistics.fUpperBound);
  if (redundant) element->AddAttribute("isRedundant", "true");
  AddIfFormed(*element, "expCILower", statistics.fExpLowerBound);
  AddIfFormed(*element, "expCIUpper", statistics.fExpUpperBound);
  return element;
}

std::unique_ptr<XMLElement> QXRegrZozoREZUtil::CreateRegrParam(const std::vector<QXModelEffect>& effects,
                                                               const QXRegrParameter& parameter,
                                                               const QXCommon_600::QXVarList& variables,
                                                               std::string& label) {
  label.clear();
  std::vector<int> covariates = parameter.GetCovariates();
  std::vector<int> powers = parameter.GetCovariateMultiplicities();
  std::vector<int> factors = parameter.GetFactors();
  std::vector<int> categories = parameter.GetCategories();
  std::vector<int> levels = parameter.GetFactorNestLevels();
  const int e = parameter.GetEffectIndex();
  if (e >= 0 && e < static_cast<int>(effects.size())) {
    const auto permutation =
        SortCovAndFactor(effects[static_cast<std::size_t>(e)].GetVarsIndicesForTheEffectInSetting(),
                         covariates, powers, factors);
    SortFactorCatAndNestLevel(permutation, categories, levels);
  }

  auto element = XMLElement::Create("RegressionParameter");
  if (factors.empty() && covariates.empty()) {
    element->AddAttribute("isIntercept", "true");
    return element;
  }
  if (levels.size() != factors.size() || powers.size() != covariates.size()) return nullptr;
  std::string text;
  for (std::size_t c = 0; c < covariates.size(); ++c) {
    const QXCommon_600::IQXVariable* covariate = variables.GetVarAt(covariates[c]);
    if (covariate == nullptr) return nullptr;
    for (int r = 0; r < powers[c]; ++r) {
      if (!text.empty()) text += '*';
      text += covariate->GetName();
    }
    element->AddChild(QXXML_600::QXZozoREZUtil::CreateElemCovariate(covariate->GetName(), powers[c]));
  }

  const bool plainMainEffect = covariates.empty() && factors.size() == 1;
  const std::vector<bool> nested =
      plainMainEffect ? std::vector<bool>(1, false) : TransferNest(levels, !covariates.empty());
  int opened = 0;
  for (std::size_t f = 0; f < factors.size(); ++f) {
    const QXCommon_600::IQXVariable* factor = variables.GetVarAt(factors[f]);
    if (factor == nullptr || f >= categories.size() || categories[f] < 0 ||
        categories[f] >= factor->GetNCategories())
      return nullptr;
    const std::string category = factor->GetCategoryText(categories[f]);
    if (plainMainEffect) {
      text = factor->GetName() + '=' + category;
    } else {
      if (nested[f]) {
        text += '(';
        ++opened;
      } else if (!text.empty()) {
        text += '*';
      }
      text += '[' + factor->GetName() + '=' + category + ']';
    }
    element->AddChild(QXXML_600::QXZozoREZUtil::CreateElemFactor(factor->GetName(), category, nested[f]));
  }
  text.append(static_cast<std::size_t>(opened), ')');
  label = std::move(text);
  return element;
}

std::unique_ptr<XMLElement> QXRegrZozoREZUtil::CreateRegrParamForTarget(
    int dependent, const QXRegrParameter& parameter, const QXCommon_600::QXVarList& variables,
    std::string& label) {
  label.clear();
  const int target = parameter.GetTargetCategory();
  const QXCommon_600::IQXVariable* variable = variables.GetVarAt(dependent);
  if (parameter.GetEffectIndex() >= 0 || target < 0 || variable == nullptr ||
      target >= variable->GetNCategories())
    return nullptr;
  const std::string category = variable->GetCategoryText(target);
  label = variable->GetName() + '=' + category;
  auto element = XMLElement::Create("RegressionParameter");
  element->AddChild(QXXML_600::QXZozoREZUtil::CreateElemFactor(variable->GetName(), category, false));
  return element;
}

void QXRegrZozoREZUtil::GetParamLables(const std::vector<QXRegrParameterStats>& statistics,
                                       const QXRegSettings& settings,
                                       const QXCommon_600::QXVarList& variables,
                                       const std::vector<QXRegrParameter>& parameters,
                                       std::vector<std::string>& labels,
                                       std::vector<QXRegrParameterStats>& namedStatistics) {
  labels.clear();
  namedStatistics.clear();
  for (const QXRegrParameterStats& stats : statistics) {
    if (stats.fParamIndex == -1) continue;
    ParamAttribute attribute;
    const bool known =
        stats.fParamIndex >= 0 && stats.fParamIndex < static_cast<int>(parameters.size()) &&
        QXPMMLRegrExporter::DescribeParameter(parameters[static_cast<std::size_t>(stats.fParamIndex)],
                                              settings.GetModelEffects(), variables, attribute);
    labels.push_back(known ? attribute.fLabel : std::string());
    namedStatistics.push_back(stats);
  }
}

std::vector<std::size_t> QXRegrZozoREZUtil::SortCovAndFactor(const std::vector<int>& order,
                                                             std::vector<int>& covariates,
                                                             std::vector<int>& powers,
                                                             std::vector<int>& factors) {
  const auto permutationBy = [&order](const std::vector<int>& variables) {
    std::vector<std::size_t> permutation(variables.size());
    std::iota(permutation.begin(), permutation.end(), std::size_t{0});
    std::stable_sort(permutation.begin(), permutation.end(), [&](std::size_t a, std::size_t b) {
      return Rank(order, variables[a]) < Rank(order, variables[b]);
    });
    return permutation;
  };
  const std::vector<std::size_t> covariateOrder = permutationBy(covariates);
  Permute(covariateOrder, covariates);
  Permute(covariateOrder, powers);
  const std::vector<std::size_t> factorOrder = permutationBy(factors);
  Permute(factorOrder, factors);
  return factorOrder;
}

void QXRegrZozoREZUtil::SortFactorCatAndNestLevel(const std::vector<std::size_t>& permutation,
                                                  std::vector<int>& categories, std::vector<int>& levels) {
  Permute(permutation, categories);
  Permute(permutation, levels);
}

std::vector<bool> QXRegrZozoREZUtil::TransferNest(const std::vector<int>& levels, bool hasCovariates) {
  std::vector<bool> nested(levels.size(), false);
  if (levels.empty()) return nested;
  const int deepest = *std::max_element(levels.begin(), levels.end());
  const auto depth = [&](std::size_t j) { return deepest - levels[j] + (hasCovariates ? 1 : 0); };
  nested[0] = depth(0) >= 1;
  for (std::size_t j = 1; j < levels.size(); ++j) nested[j] = depth(j) != depth(j - 1);
  return nested;
}

}  // namespace QXMath_600
