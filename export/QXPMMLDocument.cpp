#include "export/QXPMMLDocument.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <string_view>

#include "export/QXPMMLRegrExporter.h"
#include "logistic/QXLogOutputStats.h"
#include "model/IQXRegOutputStats.h"
#include "settings/QXConst.h"

#ifndef QX_VERSION
#define QX_VERSION "unknown"
#endif

namespace QXMath_600 {

using QXCommon_600::QXStatus;
using QXXML_600::XMLElement;

namespace {

const QXStatus kInvalid(303, false);

bool IsCumulativeLink(std::string_view link) {
  for (std::string_view known : {"logit", "probit", "cloglog", "loglog", "cauchit"})
    if (link == known) return true;
  return false;
}

std::unique_ptr<XMLElement> Header(const QXPMMLDocumentOptions& options) {
  auto header = XMLElement::Create("Header");
  if (!options.fCopyright.empty()) header->AddAttribute("copyright", options.fCopyright);
  if (!options.fDescription.empty()) header->AddAttribute("description", options.fDescription);
  XMLElement* application = header->AddChild(XMLElement::Create("Application"));
  application->AddAttribute("name", "qxregres600r");
  application->AddAttribute("version", QX_VERSION);
  return header;
}

// A field of the data dictionary: continuous, or categorical with the variable's category texts as
// its values (only those whose level index `offered` lists, when it is given). Null when two
// categories share a text, which would make a record's category ambiguous.
std::unique_ptr<XMLElement> DataField(const QXCommon_600::IQXVariable& variable, bool categorical,
                                      bool ordinal, const std::vector<int>* offered) {
  auto field = XMLElement::Create("DataField");
  field->AddAttribute("name", variable.GetName());
  if (!categorical) {
    field->AddAttribute("optype", "continuous");
    field->AddAttribute("dataType", "double");
    return field;
  }
  field->AddAttribute("optype", ordinal ? "ordinal" : "categorical");
  field->AddAttribute("dataType", "string");
  std::set<std::string> seen;
  for (int c = 0; c < variable.GetNCategories(); ++c) {
    if (offered != nullptr && std::find(offered->begin(), offered->end(), c) == offered->end()) continue;
    const std::string text = variable.GetCategoryText(c);
    if (!seen.insert(text).second) return nullptr;
    field->AddChild(XMLElement::Create("Value"))->AddAttribute("value", text);
  }
  return field;
}

// The dependent (with the categories `dependentCategories` lists, when given), the active factors and
// the active covariates, each once.
std::unique_ptr<XMLElement> DataDictionary(const QXRegSettings& settings,
                                           const QXCommon_600::QXVarList& variables,
                                           const QXPMMLRegrExporter& exporter,
                                           const std::vector<int>* dependentCategories) {
  auto dictionary = XMLElement::Create("DataDictionary");
  std::set<std::string> names;
  const auto add = [&](int v, bool categorical, bool ordinal, const std::vector<int>* offered) {
    const QXCommon_600::IQXVariable* variable = variables.GetVarAt(v);
    if (variable == nullptr || !names.insert(variable->GetName()).second) return false;
    ordinal = ordinal || variable->GetMeasurement() == QXCommon_600::QXMeasurement::Ordinal;
    return dictionary->AddChild(DataField(*variable, categorical, ordinal, offered)) != nullptr;
  };
  const QXConst::QXRegModelType type = settings.GetModelType();
  bool complete = add(settings.GetDependent(), type != QXConst::QXRegModelGLM,
                      type == QXConst::QXRegModelOrdinal, dependentCategories);
  for (int v : exporter.GetActiveFactors()) complete = complete && add(v, true, false, nullptr);
  for (int v : exporter.GetActiveCovariates()) complete = complete && add(v, false, false, nullptr);
  if (!complete) return nullptr;
  dictionary->AddAttribute("numberOfFields", std::to_string(dictionary->GetNChildren()));
  return dictionary;
}

// The reference category of a multinomial model: the requested one when no block predicts it, or
// else the only category that no block predicts; -1 when there is none.
int ReferenceCategory(const QXPMMLRegrExporter& exporter, int requested) {
  const std::vector<int>& targets = exporter.GetTargetCategories();
  const int k = static_cast<int>(exporter.GetDependentCategories().size());
  const auto predicted = [&](int c) { return std::find(targets.begin(), targets.end(), c) != targets.end(); };
  if (requested >= 0) return requested < k && !predicted(requested) ? requested : -1;
  int reference = -1;
  for (int c = 0; c < k; ++c) {
    if (predicted(c)) continue;
    if (reference >= 0) return -1;
    reference = c;
  }
  return reference;
}

// The GeneralRegressionModel element's own attributes, `reference` that of a multinomial model; false
// when the model type's extra is invalid.
bool AddModelAttributes(XMLElement& model, const QXRegSettings& settings,
                        const QXCommon_600::QXVarList& variables, const QXPMMLRegrExporter& exporter,
                        const QXPMMLDocumentOptions& options, int reference) {
  switch (settings.GetModelType()) {
    case QXConst::QXRegModelLogistic:
      model.AddAttribute("modelType", "multinomialLogistic");
      model.AddAttribute("functionName", "classification");
      model.AddAttribute("targetReferenceCategory",
                         exporter.GetDependentCategories()[static_cast<std::size_t>(reference)]);
      break;
    case QXConst::QXRegModelOrdinal:
      if (!IsCumulativeLink(options.fCumulativeLink)) return false;
      model.AddAttribute("modelType", "ordinalMultinomial");
      model.AddAttribute("functionName", "classification");
      model.AddAttribute("cumulativeLink", options.fCumulativeLink);
      break;
    default:
      model.AddAttribute("modelType", "generalLinear");
      model.AddAttribute("functionName", "regression");
      break;
  }
  if (!options.fModelName.empty()) model.AddAttribute("modelName", options.fModelName);
  model.AddAttribute("targetVariableName", variables.GetVarAt(settings.GetDependent())->GetName());
  return true;
}

}  // namespace

QXStatus QXPMMLDocument::Create(const QXRegSettings& settings, const QXCommon_600::QXVarList& variables,
                                const std::vector<QXRegrParameter>& parameters,
                                const std::vector<double>& estimates, const QXBitSet& nonRedundant,
                                const QXPMMLDocumentOptions& options, std::unique_ptr<XMLElement>& document) {
  document.reset();
  const QXPMMLRegrExporter exporter(settings, variables, parameters, estimates, nonRedundant, nullptr);
  if (exporter.GetStatus().IsError()) return exporter.GetStatus();

  // A multinomial model offers only the categories it predicts: the blocks' and the reference. A
  // category the data never showed has neither, and a consumer would give it the reference's
  // probability.
  int reference = -1;
  std::vector<int> predicted;
  const bool multinomial = settings.GetModelType() == QXConst::QXRegModelLogistic;
  if (multinomial) {
    reference = ReferenceCategory(exporter, options.fReferenceCategory);
    if (reference < 0) return kInvalid;
    predicted = exporter.GetTargetCategories();
    predicted.push_back(reference);
  }

  auto pmml = XMLElement::Create("PMML");
  pmml->AddAttribute("xmlns", "http://www.dmg.org/PMML-4_4");
  pmml->AddAttribute("version", "4.4");
  pmml->AddChild(Header(options));
  if (!pmml->AddChild(DataDictionary(settings, variables, exporter, multinomial ? &predicted : nullptr)))
    return kInvalid;

  XMLElement* model = pmml->AddChild(XMLElement::Create("GeneralRegressionModel"));
  if (!AddModelAttributes(*model, settings, variables, exporter, options, reference)) return kInvalid;
  model->AddChild(exporter.ExportMiningSchema(-1, -1, nullptr));
  if (options.fpCovariateMeans != nullptr || options.fpAnova != nullptr) {
    static const std::vector<double> kNoMeans;
    auto stats = exporter.ExportModelStats(options.fpCovariateMeans ? *options.fpCovariateMeans : kNoMeans,
                                           options.fTotalFrequency, options.fpAnova);
    if (stats->GetNChildren() > 0) model->AddChild(std::move(stats));
  }
  model->AddChild(exporter.ExportParameterList());
  model->AddChild(exporter.ExportFactorList());
  model->AddChild(exporter.ExportCovariateList());
  model->AddChild(exporter.ExportPPMatrix());
  if (options.fpCovariance != nullptr) {
    if (options.fpCovariance->GetNRows() != static_cast<int>(estimates.size())) return QXStatus(336, false);
    model->AddChild(exporter.ExportPCovMatrix(*options.fpCovariance, settings.GetCovbType(), false, 0));
  }
  model->AddChild(exporter.ExportParamMatrix(false, 0));
  document = std::move(pmml);
  return QXStatus();
}

QXStatus QXPMMLDocument::Create(IQXRegComponent& component, const QXCommon_600::QXVarList& variables,
                                const QXPMMLDocumentOptions& options, std::unique_ptr<XMLElement>& document) {
  document.reset();
  IQXRegOutputStats* stats = nullptr;
  const QXStatus status = component.GetOutputStats(stats);
  if (status.IsError()) return status;
  if (stats == nullptr) return QXStatus(310, false);

  QXPMMLDocumentOptions filled = options;
  // The linear model's matrix is (X'WX)^-1; the covariance of its estimates is that times sigma^2.
  QXSymMatrix scaled;
  const QXSymMatrix* covariance = stats->GetCovarianceMatrix();
  if (filled.fpCovariance == nullptr && covariance != nullptr) {
    if (stats->GetModelType() != QXConst::QXRegModelGLM) {
      filled.fpCovariance = covariance;
    } else {
      const double rmse = stats->GetModelFitStat(QXConst::QXFitRootMSE);
      const double df = stats->GetNDegFreedom();
      const double sigma2 = rmse * rmse * stats->GetTotalFreqWeight() / df;
      if (!QXMV::IsMissing(rmse) && df > 0.0 && std::isfinite(sigma2)) {
        scaled = *covariance;
        scaled.MultiplyByNumber(sigma2);
        filled.fpCovariance = &scaled;
      }
    }
  }
  // The model knows its reference, which a category absent from the data would otherwise leave
  // ambiguous.
  if (filled.fReferenceCategory < 0)
    if (const auto* logistic = dynamic_cast<const QXLogOutputStats*>(stats))
      filled.fReferenceCategory = logistic->GetDependCategories().back();
  if (filled.fpCovariateMeans == nullptr) filled.fpCovariateMeans = &stats->GetMeanValues();
  if (QXMV::IsMissing(filled.fTotalFrequency)) filled.fTotalFrequency = stats->GetTotalFreqWeight();
  return Create(component.GetCompSettings(), variables, stats->GetParameters(), stats->GetParamEstimates(),
                stats->GetRedundancyIndicators(), filled, document);
}

}  // namespace QXMath_600
