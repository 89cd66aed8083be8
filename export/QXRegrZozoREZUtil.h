// Turns the per-parameter statistics of a fitted model into ZozoREZ elements: a "ParameterEstimates"
// element holding one "ParameterStats" per parameter, each optionally describing its parameter by a
// readable label and a "RegressionParameter" element listing the factors (with their categories and
// nesting) and covariates (with their powers) it is made of. The caller owns every element returned.
//
// Two forms of "ParameterStats":
//   by index (short form)  "paramName" P%07d of the index, "paramLabel" in the PMML label style,
//                          "estimate", "stdError", "sig", "tTest", "chiSquare", "df" and the
//                          confidence bounds;
//   by name (full form)    "paramName", "estimate", "expEstimate" (when the record has exponential
//                          bounds), "stdError", "sig", "tTest" (which carries the record's Wald
//                          chi-square), "zTest", the bounds, "isRedundant" and the exponential bounds.
// Statistics that were not formed (the system-missing value) are left out of both.
//
// Labels of the full form: "A=1" for a main effect, "[A=1]*[B=2]" for an interaction, "X*X" for a
// power, "X([A=1])" for a covariate within a factor, "[A=1]([B=2])" for A nested within B. Factors and
// covariates follow the order of the effect's variables in the settings when the caller attached it
// to the effect (SetVarsIndicesForTheEffectInSetting), and the parameter's own order otherwise.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/QXExport.h"
#include "common/QXVarList.h"
#include "common/XMLElement.h"
#include "model/QXRegrParameterStats.h"
#include "settings/QXModelEffect.h"
#include "settings/QXRegSettings.h"
#include "settings/QXRegrParameter.h"

namespace QXMath_600 {

class QXREGRES_API QXRegrZozoREZUtil {
 public:
  virtual ~QXRegrZozoREZUtil();

  // "ParameterEstimates" with the attribute (when its name is an XML name), the child (when not
  // null) and then the full form of every parameter's statistics.
  static std::unique_ptr<QXXML_600::XMLElement> CreateParameterEstimates(
      const std::vector<QXRegrParameterStats>& statistics, const QXRegSettings& settings,
      const QXCommon_600::QXVarList& variables, const std::vector<QXRegrParameter>& parameters,
      std::string_view attributeName, std::string_view attributeValue,
      std::unique_ptr<QXXML_600::XMLElement> child, bool perTarget);
  // Appends to `parent` every element CreateAllElemParamStats makes, in order.
  static void AddAllElemParamStats(const std::vector<QXRegrParameterStats>& statistics,
                                   const QXRegSettings& settings, const QXCommon_600::QXVarList& variables,
                                   const std::vector<QXRegrParameter>& parameters,
                                   QXXML_600::XMLElement& parent, bool fullDetail, bool perTarget);
  // Short form (fullDetail false): one element per statistics record that names a parameter, by
  // index. Full form: one element per parameter that has a statistics record, named P%07d, with the
  // effect's index as a "fixedEffectIndex" child, a "paramLabel" and a "RegressionParameter" child;
  // parameters without an effect (intercepts, thresholds) are described by the dependent variable
  // and their target category when perTarget is set.
  static void CreateAllElemParamStats(const std::vector<QXRegrParameterStats>& statistics,
                                      const QXRegSettings& settings, const QXCommon_600::QXVarList& variables,
                                      const std::vector<QXRegrParameter>& parameters,
                                      std::vector<std::unique_ptr<QXXML_600::XMLElement>>& elements,
                                      bool fullDetail, bool perTarget);
  // "ParameterStats" by index, with "paramLabel" when `label` is not null.
  static std::unique_ptr<QXXML_600::XMLElement> CreateElemParamStats(const QXRegrParameterStats& statistics,
                                                                     int index, const std::string* label);
  // "ParameterStats" by name.
  static std::unique_ptr<QXXML_600::XMLElement> CreateElemParamStats(const QXRegrParameterStats& statistics,
                                                                     std::string_view name, bool redundant);
  // "RegressionParameter" of a parameter and its label: "isIntercept" for the intercept, otherwise one
  // "Covariate" per covariate and then one "Factor" per factor. Null, with an empty label, when a
  // variable or category is not in the list.
  static std::unique_ptr<QXXML_600::XMLElement> CreateRegrParam(const std::vector<QXModelEffect>& effects,
                                                                const QXRegrParameter& parameter,
                                                                const QXCommon_600::QXVarList& variables,
                                                                std::string& label);
  // "RegressionParameter" of a parameter without an effect that predicts one category of the dependent
  // (an ordinal threshold): the dependent at that category, labelled "name=category". Null, with an
  // empty label, for any other parameter.
  static std::unique_ptr<QXXML_600::XMLElement> CreateRegrParamForTarget(
      int dependent, const QXRegrParameter& parameter, const QXCommon_600::QXVarList& variables,
      std::string& label);
  // The statistics records that name a parameter (index not -1) and, for each, its parameter's label
  // in the PMML style (empty when the parameter cannot be described).
  static void GetParamLables(const std::vector<QXRegrParameterStats>& statistics,
                             const QXRegSettings& settings, const QXCommon_600::QXVarList& variables,
                             const std::vector<QXRegrParameter>& parameters, std::vector<std::string>& labels,
                             std::vector<QXRegrParameterStats>& namedStatistics);

 private:
  // Orders the covariates (with their powers) and the factors by their positions in `order`, those
  // not in it last in their own order; returns the permutation applied to the factors.
  static std::vector<std::size_t> SortCovAndFactor(const std::vector<int>& order,
                                                   std::vector<int>& covariates, std::vector<int>& powers,
                                                   std::vector<int>& factors);
  // Carries the factors' categories and nesting levels along with the permutation.
  static void SortFactorCatAndNestLevel(const std::vector<std::size_t>& permutation,
                                        std::vector<int>& categories, std::vector<int>& levels);
  // Which factors open a nested group, from their depths below the deepest level (one deeper still
  // when covariates come first): the first factor when it lies below the top, each later one when its
  // depth differs from the one before.
  static std::vector<bool> TransferNest(const std::vector<int>& levels, bool hasCovariates);
};

}  // namespace QXMath_600
