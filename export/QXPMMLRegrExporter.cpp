#include "export/QXPMMLRegrExporter.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"
#include "common/QXPMMLExporter.h"
#include "common/QXUniStats.h"

namespace QXMath_600 {

using QXXML_600::XMLElement;

namespace {

std::unique_ptr<XMLElement> Element(std::string_view name) { return XMLElement::Create(name); }

// The position of `value` in `values`, or -1.
int Position(const std::vector<int>& values, int value) {
  const auto found = std::find(values.begin(), values.end(), value);
  return found == values.end() ? -1 : static_cast<int>(found - values.begin());
}

// The factor part of a label: the factors by nesting level from the deepest level out, each level
// after the first in parentheses, so that A nested within B reads [A=1]([B=2]).
std::string FactorLabel(const std::vector<std::pair<std::string, std::string>>& factors,
                        const std::vector<int>& levels) {
  std::vector<int> distinct(levels);
  std::sort(distinct.begin(), distinct.end(), std::greater<int>());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  std::string label;
  int opened = 0;
  for (std::size_t l = 0; l < distinct.size(); ++l) {
    if (l > 0) {
      label += '(';
      ++opened;
    }
    bool first = true;
    for (std::size_t f = 0; f < factors.size(); ++f) {
      if (levels[f] != distinct[l]) continue;
      if (!first) label += " * ";
      label += '[' + factors[f].first + '=' + factors[f].second + ']';
      first = false;
    }
  }
  label.append(static_cast<std::size_t>(opened), ')');
  return label;
}

}  // namespace

QXPMMLRegrExporter::QXPMMLRegrExporter(const QXRegSettings& settings,
                                       const QXCommon_600::QXVarList& variables,
                                       const std::vector<QXRegrParameter>& parameters,
                                       const std::vector<double>& estimates, const QXBitSet& nonRedundant,
                                       const QXBitSet* effectsToUse)
    : fSettings(settings),
      fModelEffects(settings.GetModelEffects()),
      fVariables(variables),
      fParameters(parameters),
      fEstimates(estimates),
      fNonRedundant(nonRedundant),
      fN(static_cast<int>(estimates.size())),
      fModelType(settings.GetModelType()) {
  SetUpActiveVariables(effectsToUse);
  const QXCommon_600::IQXVariable* dependent = variables.GetVarAt(settings.GetDependent());
  if (dependent != nullptr) {
    fK = dependent->GetNCategories();
    for (int c = 0; c < fK; ++c) fvDependentCategories.push_back(dependent->GetCategoryText(c));
  }
  bool described = dependent != nullptr && SetUpLayout(parameters);
  for (int v : fvActiveFactors) described = described && VariableName(v) != nullptr;
  for (int v : fvActiveCovariates) described = described && VariableName(v) != nullptr;
  if (!described) {
    fStatus = QXCommon_600::QXStatus(303, false);
    return;
  }
  CreateParameters();
}

QXPMMLRegrExporter::~QXPMMLRegrExporter() = default;

void QXPMMLRegrExporter::SetUpActiveVariables(const QXBitSet* effectsToUse) {
  if (effectsToUse == nullptr) {
    QXModelEffect::GetUsedVariables(fModelEffects, fvActiveFactors, fvActiveCovariates);
    return;
  }
  std::vector<QXModelEffect> chosen;
  for (std::size_t e = 0; e < fModelEffects.size(); ++e)
    if (effectsToUse->IsIn(static_cast<int>(e))) chosen.push_back(fModelEffects[e]);
  QXModelEffect::GetUsedVariables(chosen, fvActiveFactors, fvActiveCovariates);
}

bool QXPMMLRegrExporter::SetUpLayout(const std::vector<QXRegrParameter>& parameters) {
  const int nParameters = static_cast<int>(parameters.size());
  switch (fModelType) {
    case QXConst::QXRegModelLogistic: return SetUpMultinomialBlocks(parameters);
    case QXConst::QXRegModelOrdinal:
      // The thresholds take the intercept's place, so there must be one to take.
      if (fK < 2 || fN < fK - 1) return false;
      fT = fK - 2;
      fM = fN - fK + 2;
      return nParameters >= fM && parameters[0].IsIntercept();
    default: fM = fN; return nParameters >= fM;
  }
}

bool QXPMMLRegrExporter::SetUpMultinomialBlocks(const std::vector<QXRegrParameter>& parameters) {
  if (fN == 0) return false;
  const bool carried = static_cast<int>(parameters.size()) == fN &&
                       std::all_of(parameters.begin(), parameters.end(),
                                   [](const QXRegrParameter& p) { return p.GetTargetCategory() >= 0; });
  if (!carried) {
    // Without categories on the parameters, block b stands for category b, the reference last.
    if (fK < 2 || fN % (fK - 1) != 0) return false;
    fM = fN / (fK - 1);
    for (int b = 0; b < fK - 1; ++b) fvBlockTargets.push_back(b);
    return static_cast<int>(parameters.size()) >= fM;
  }
  // The blocks are the runs of one target category, all of one length.
  fM = 1;
  while (fM < fN &&
         parameters[static_cast<std::size_t>(fM)].GetTargetCategory() == parameters[0].GetTargetCategory())
    ++fM;
  if (fN % fM != 0) return false;
  for (int first = 0; first < fN; first += fM) {
    const int target = parameters[static_cast<std::size_t>(first)].GetTargetCategory();
    if (target >= fK || Position(fvBlockTargets, target) >= 0) return false;
    for (int i = first; i < first + fM; ++i)
      if (parameters[static_cast<std::size_t>(i)].GetTargetCategory() != target) return false;
    fvBlockTargets.push_back(target);
  }
  return true;
}

void QXPMMLRegrExporter::CreateParameters() {
  fvParamInfo.clear();
  for (int i = 0; i < fT; ++i) fvParamInfo.push_back({ParameterName(1), "Intercept", {}, {}});
  for (int j = 0; j < fM; ++j) {
    ParamAttribute attribute;
    if (!DescribeParameter(fParameters[static_cast<std::size_t>(j)], fModelEffects, fVariables, attribute)) {
      fvParamInfo.clear();
      fStatus = QXCommon_600::QXStatus(303, false);
      return;
    }
    attribute.fName = ParameterName(j + 1);
    fvParamInfo.push_back(std::move(attribute));
  }
}

bool QXPMMLRegrExporter::DescribeParameter(const QXRegrParameter& parameter,
                                           const std::vector<QXModelEffect>& effects,
                                           const QXCommon_600::QXVarList& variables,
                                           ParamAttribute& attribute) {
  attribute.fLabel.clear();
  attribute.fvFactorPredictors.clear();
  attribute.fvCovariatePredictors.clear();
  if (parameter.IsIntercept()) {
    attribute.fLabel = "Intercept";
    return true;
  }
  const std::vector<int>& factors = parameter.GetFactors();
  const std::vector<int>& categories = parameter.GetCategories();
  if (parameter.GetFactorNestLevels().size() != factors.size() ||
      parameter.GetCovariateMultiplicities().size() != parameter.GetCovariates().size())
    return false;
  for (std::size_t f = 0; f < factors.size(); ++f) {
    const QXCommon_600::IQXVariable* factor = variables.GetVarAt(factors[f]);
    if (factor == nullptr || f >= categories.size() || categories[f] < 0 ||
        categories[f] >= factor->GetNCategories())
      return false;
    attribute.fvFactorPredictors.emplace_back(factor->GetName(), factor->GetCategoryText(categories[f]));
  }
  const std::string factorPart = FactorLabel(attribute.fvFactorPredictors, parameter.GetFactorNestLevels());

  std::string covariatePart;
  const std::vector<int>& covariates = parameter.GetCovariates();
  const std::vector<int>& powers = parameter.GetCovariateMultiplicities();
  for (std::size_t c = 0; c < covariates.size(); ++c) {
    const QXCommon_600::IQXVariable* covariate = variables.GetVarAt(covariates[c]);
    if (covariate == nullptr) return false;
    for (int r = 0; r < powers[c]; ++r) {
      if (!covariatePart.empty()) covariatePart += " * ";
      covariatePart += covariate->GetName();
    }
    attribute.fvCovariatePredictors.emplace_back(covariate->GetName(), powers[c]);
  }

  const int e = parameter.GetEffectIndex();
  const bool inParens = e >= 0 && e < static_cast<int>(effects.size()) &&
                        effects[static_cast<std::size_t>(e)].GetFactorsInParens();
  if (factorPart.empty())
    attribute.fLabel = covariatePart;
  else if (covariatePart.empty())
    attribute.fLabel = factorPart;
  else if (inParens)
    attribute.fLabel = covariatePart + '(' + factorPart + ')';
  else
    attribute.fLabel = factorPart + " * " + covariatePart;
  return true;
}

std::string QXPMMLRegrExporter::ParameterName(int number) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "P%07d", number);
  return buffer;
}

const std::string* QXPMMLRegrExporter::VariableName(int variable) const {
  const QXCommon_600::IQXVariable* v = fVariables.GetVarAt(variable);
  return v == nullptr ? nullptr : &v->GetName();
}

bool QXPMMLRegrExporter::HasFixedTarget(int targetIndex) const {
  // Category 1 - targetIndex, written so that no index overflows.
  return targetIndex <= 1 && targetIndex > 1 - fK;
}

const std::string* QXPMMLRegrExporter::EstimateTarget(int i, bool fixedTarget, int targetIndex) const {
  if (fixedTarget) return &fvDependentCategories[static_cast<std::size_t>(1 - targetIndex)];
  if (fModelType == QXConst::QXRegModelOrdinal)
    return i + 1 < fK ? &fvDependentCategories[static_cast<std::size_t>(i)] : nullptr;
  if (fModelType == QXConst::QXRegModelLogistic)
    return &fvDependentCategories[static_cast<std::size_t>(fvBlockTargets[static_cast<std::size_t>(i / fM)])];
  return nullptr;
}

const ParamAttribute& QXPMMLRegrExporter::EstimateEntry(int i) const {
  const int entry = fModelType == QXConst::QXRegModelLogistic ? i % fM : i;
  return fvParamInfo[static_cast<std::size_t>(entry)];
}

std::unique_ptr<XMLElement> QXPMMLRegrExporter::ExportMiningSchema(
    int a, int b, const std::vector<double>* importances) const {
  if (fStatus.IsError()) return nullptr;
  const std::size_t nActive = fvActiveFactors.size() + fvActiveCovariates.size();
  const bool withImportance = importances != nullptr && importances->size() == nActive;
  auto schema = Element("MiningSchema");
  std::size_t position = 0;
  for (const std::vector<int>* active : {&fvActiveFactors, &fvActiveCovariates}) {
    for (int v : *active) {
      const double importance = withImportance ? (*importances)[position] : QXMV::gMissingValue;
      schema->AddChild(ExportMiningField(v, true, importance));
      ++position;
    }
  }
  schema->AddChild(ExportMiningField(fSettings.GetDependent(), false, QXMV::gMissingValue));
  for (int extra : {b, a}) {
    if (extra == -1) continue;
    auto field = ExportMiningField(extra, true, QXMV::gMissingValue);
    if (!field) return nullptr;
    schema->AddChild(std::move(field));
  }
  return schema;
}

std::unique_ptr<XMLElement> QXPMMLRegrExporter::ExportMiningField(int variable, bool isPredictor,
                                                                  double importance) const {
  const std::string* name = VariableName(variable);
  if (name == nullptr) return nullptr;
  auto field = Element("MiningField");
  if (importance >= 0.0 && importance <= 1.0) field->AddAttribute("importance", importance);
  field->AddAttribute("name", *name);
  if (!isPredictor) field->AddAttribute("usageType", "predicted");
  return field;
}

std::unique_ptr<XMLElement> QXPMMLRegrExporter::ExportParameterList() const {
  if (fStatus.IsError()) return nullptr;
  auto list = Element("ParameterList");
  for (int j = fT; j < fT + fM; ++j) {
    const ParamAttribute& entry = fvParamInfo[static_cast<std::size_t>(j)];
    XMLElement* parameter = list->AddChild(Element("Parameter"));
    parameter->AddAttribute("name", entry.fName);
    parameter->AddAttribute("label", entry.fLabel);
  }
  return list;
}

std::unique_ptr<XMLElement> QXPMMLRegrExporter::ExportFactorList() const {
  if (fStatus.IsError() || fvActiveFactors.empty()) return nullptr;
  auto list = Element("FactorList");
  AddPredictors(fvActiveFactors, *list);
  return list;
}

std::unique_ptr<XMLElement> QXPMMLRegrExporter::ExportCovariateList() const {
  if (fStatus.IsError() || fvActiveCovariates.empty()) return nullptr;
  auto list = Element("CovariateList");
  AddPredictors(fvActiveCovariates, *list);
  return list;
}

void QXPMMLRegrExporter::AddPredictors(const std::vector<int>& variables, XMLElement& parent) const {
  for (int v : variables) {
    const std::string* name = VariableName(v);
    if (name != nullptr) parent.AddChild(Element("Predictor"))->AddAttribute("name", *name);
  }
}

std::unique_ptr<XMLElement> QXPMMLRegrExporter::ExportPPMatrix() const {
  if (fStatus.IsError()) return nullptr;
  auto matrix = Element("PPMatrix");
  for (int j = fT; j < fT + fM; ++j) {
    const ParamAttribute& entry = fvParamInfo[static_cast<std::size_t>(j)];
    for (const auto& [factor, category] : entry.fvFactorPredictors) {
      XMLElement* cell = matrix->AddChild(Element("PPCell"));
      cell->AddAttribute("value", category);
      cell->AddAttribute("predictorName", factor);
      cell->AddAttribute("parameterName", entry.fName);
    }
    for (const auto& [covariate, power] : entry.fvCovariatePredictors) {
      XMLElement* cell = matrix->AddChild(Element("PPCell"));
      cell->AddAttribute("value", static_cast<double>(power));
      cell->AddAttribute("predictorName", covariate);
      cell->AddAttribute("parameterName", entry.fName);
    }
  }
  return matrix;
}

std::unique_ptr<XMLElement> QXPMMLRegrExporter::ExportParamMatrix(bool fixedTarget, int targetIndex) const {
  if (fStatus.IsError() || (fixedTarget && !HasFixedTarget(targetIndex))) return nullptr;
  auto matrix = Element("ParamMatrix");
  for (int i = 0; i < fN; ++i) {
    XMLElement* cell = matrix->AddChild(Element("PCell"));
    if (const std::string* target = EstimateTarget(i, fixedTarget, targetIndex))
      cell->AddAttribute("targetCategory", *target);
    cell->AddAttribute("parameterName", EstimateEntry(i).fName);
    cell->AddAttribute("beta", fEstimates[static_cast<std::size_t>(i)]);
    cell->AddAttribute("df", fNonRedundant.IsIn(i) ? "1" : "0");
  }
  return matrix;
}

std::unique_ptr<XMLElement> QXPMMLRegrExporter::ExportPCovMatrix(const QXSymMatrix& covariance,
                                                                 QXConst::QXCovbType covarianceType,
                                                                 bool fixedTarget, int targetIndex) const {
  if (fStatus.IsError() || fN == 0 || covariance.GetNRows() != fN ||
      (fixedTarget && !HasFixedTarget(targetIndex)))
    return nullptr;
  auto matrix = Element("PCovMatrix");
  matrix->AddAttribute("type", covarianceType == QXConst::QXCovbRobust ? "robust" : "model");
  const auto addCell = [&](int i, int j, const std::string* value) {
    XMLElement* cell = matrix->AddChild(Element("PCovCell"));
    if (const std::string* row = EstimateTarget(i, fixedTarget, targetIndex))
      cell->AddAttribute("tRow", *row);
    if (const std::string* col = EstimateTarget(j, fixedTarget, targetIndex))
      cell->AddAttribute("tCol", *col);
    cell->AddAttribute("pRow", EstimateEntry(i).fName);
    cell->AddAttribute("pCol", EstimateEntry(j).fName);
    if (value != nullptr)
      cell->AddAttribute("value", *value);
    else
      cell->AddAttribute("value", covariance.GetElem(i, j));
  };
  for (int i = 0; i < fN; ++i)
    for (int j = 0; j <= i; ++j)
      if (covariance.GetElem(i, j) != 0.0) addCell(i, j, nullptr);
  // The schema asks for at least one cell: an all-zero matrix says so with one.
  if (matrix->GetNChildren() == 0) {
    const std::string zero = "0.0";
    addCell(0, 0, &zero);
  }
  return matrix;
}

std::unique_ptr<XMLElement> QXPMMLRegrExporter::ExportModelStats(const std::vector<double>& means,
                                                                 double totalFrequency,
                                                                 const QXRegANOVA* anova) const {
  if (fStatus.IsError()) return nullptr;
  auto stats = Element("ModelStats");
  if (anova != nullptr) {
    XMLElement* dependent = stats->AddChild(Element("UnivariateStats"));
    dependent->AddAttribute("field", *VariableName(fSettings.GetDependent()));
    ExportModelAnova(*anova, *dependent->AddChild(Element("Anova")));
  }
  const std::vector<int>& covariates = fSettings.GetCovariates();
  for (int v : fvActiveCovariates) {
    const QXCommon_600::IQXVariable* variable = fVariables.GetVarAt(v);
    QXXML_600::QXUniSummary summary;
    if (const QXCommon_600::QXContVar* scale = variable->AsContVar()) {
      summary.fMinimum = scale->GetMin();
      summary.fMaximum = scale->GetMax();
    }
    const int position = Position(covariates, v);
    if (position >= 0 && position < static_cast<int>(means.size()))
      summary.fMean = means[static_cast<std::size_t>(position)];
    std::unique_ptr<XMLElement> element;
    const QXXML_600::QXUniStats uni(variable->GetName(), totalFrequency, summary, {}, {});
    if (QXXML_600::QXPMMLExporter::ExportUniStats(uni, element).IsOK() && element)
      stats->AddChild(std::move(element));
  }
  return stats;
}

void QXPMMLRegrExporter::ExportModelAnova(const QXRegANOVA& table, XMLElement& parent) const {
  XMLElement* model = parent.AddChild(Element("AnovaRow"));
  model->AddAttribute("type", "Model");
  ExportAttributeValue(model, "sumOfSquares", table.fModelSumOfSquares);
  ExportAttributeValue(model, "degreesOfFreedom", table.fModelDF);
  ExportAttributeValue(model, "meanOfSquares", table.fModelMeanSquare);
  ExportAttributeValue(model, "fValue", table.fModelF);
  ExportAttributeValue(model, "pValue", table.fModelPValue);
  XMLElement* error = parent.AddChild(Element("AnovaRow"));
  error->AddAttribute("type", "Error");
  ExportAttributeValue(error, "sumOfSquares", table.fErrorSumOfSquares);
  ExportAttributeValue(error, "degreesOfFreedom", table.fErrorDF);
  ExportAttributeValue(error, "meanOfSquares", table.fErrorMeanSquare);
  XMLElement* total = parent.AddChild(Element("AnovaRow"));
  total->AddAttribute("type", "Total");
  ExportAttributeValue(total, "sumOfSquares", table.fTotalSumOfSquares);
  ExportAttributeValue(total, "degreesOfFreedom", table.fTotalDF);
}

void QXPMMLRegrExporter::ExportAttributeValue(XMLElement* element, std::string_view name, double value) {
  if (element != nullptr && !QXMV::IsMissing(value)) element->AddAttribute(name, value);
}

void QXPMMLRegrExporter::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXPMMLRegrExporter display start");
  DisplayI("Model type", fModelType);
  DisplayIV("Active factors", fvActiveFactors);
  DisplayIV("Active covariates", fvActiveCovariates);
  DisplayI("Number of estimates", fN);
  DisplayI("Number of parameters of one linear predictor", fM);
  DisplayI("Number of threshold placeholders", fT);
  DisplayI("Number of dependent categories", fK);
  for (const std::string& category : fvDependentCategories) DisplayS("Dependent category", category);
  DisplayIV("Target categories of the blocks", fvBlockTargets);
  DisplayDV("Parameter estimates", fEstimates);
  DisplayText(1, "Non-redundant estimates");
  fNonRedundant.Display();
  for (const ParamAttribute& entry : fvParamInfo) {
    DisplayS("Parameter name", entry.fName);
    DisplayS("Parameter label", entry.fLabel);
    for (const auto& [factor, category] : entry.fvFactorPredictors) DisplayS(factor, category);
    for (const auto& [covariate, power] : entry.fvCovariatePredictors) DisplayI(covariate, power);
  }
  DisplayI("Status", fStatus.GetErrorCode());
  DisplayText(1, "QXPMMLRegrExporter display end");
}

}  // namespace QXMath_600
