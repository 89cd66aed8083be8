// Writes the parts of a PMML GeneralRegressionModel that describe a fitted regression: the mining
// schema, the parameter list with readable labels, the factor and covariate lists, the
// predictor-to-parameter matrix, the estimates, their covariance and the model statistics. Each
// export returns a new element that the caller owns and places in its own document (QXPMMLDocument
// assembles a complete one).
//
// Layouts of the estimates, by the settings' model type:
//   general linear     one estimate per parameter;
//   multinomial        one block of m estimates per non-reference category of the dependent. A
//                      block's category is the target category its parameters carry when the caller
//                      hands over the model's whole parameter list (one parameter per estimate, as
//                      the logistic output statistics do), and otherwise block b stands for category
//                      b of the dependent;
//   ordinal            k - 1 thresholds in place of the intercept, then the other parameters; the
//                      parameter list must start with the intercept.
// Parameters are named P0000001, P0000002, ... in the order of one linear predictor, so the blocks
// of a multinomial model and the thresholds of an ordinal one share names and are told apart by
// their target category.
//
// Names and category texts come from the caller's variable list: entry i describes record variable
// i, and a factor's category with level index c is its category c. Inputs that cannot describe the
// estimates (a variable or category the list lacks, estimates that do not split into the model's
// blocks, too few parameters) leave error 303 in GetStatus, and every export then returns null.
//
// The settings, variable list, parameters, estimates and non-redundant set are borrowed and must
// outlive the exporter.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/QXBitSet.h"
#include "common/QXExport.h"
#include "common/QXStatus.h"
#include "common/QXSymMatrix.h"
#include "common/QXVarList.h"
#include "common/XMLElement.h"
#include "model/QXRegANOVA.h"
#include "settings/QXConst.h"
#include "settings/QXModelEffect.h"
#include "settings/QXRegSettings.h"
#include "settings/QXRegrParameter.h"

namespace QXMath_600 {

// How one estimate appears in the PMML parameter list and predictor-to-parameter matrix.
struct QXREGRES_API ParamAttribute {
  std::string fName;
  std::string fLabel;
  // (factor name, category text) for each factor of the parameter, the outermost first.
  std::vector<std::pair<std::string, std::string>> fvFactorPredictors;
  // (covariate name, power) for each covariate of the parameter.
  std::vector<std::pair<std::string, int>> fvCovariatePredictors;
};

class QXREGRES_API QXPMMLRegrExporter {
 public:
  // `effectsToUse`, when not null, restricts the active variables (the mining schema, the factor and
  // covariate lists, the model statistics) to those of the model effects in the set; the parameters
  // are described whatever the set holds.
  QXPMMLRegrExporter(const QXRegSettings& settings, const QXCommon_600::QXVarList& variables,
                     const std::vector<QXRegrParameter>& parameters, const std::vector<double>& estimates,
                     const QXBitSet& nonRedundant, const QXBitSet* effectsToUse);
  QXPMMLRegrExporter(const QXPMMLRegrExporter&) = delete;
  QXPMMLRegrExporter& operator=(const QXPMMLRegrExporter&) = delete;
  virtual ~QXPMMLRegrExporter();

  // Success, or error 303 when the inputs cannot describe the estimates (see above).
  const QXCommon_600::QXStatus& GetStatus() const { return fStatus; }
  // One entry per estimate: the t threshold placeholders of an ordinal model, then the m parameters
  // of one linear predictor.
  const std::vector<ParamAttribute>& GetParamInfo() const { return fvParamInfo; }
  // Record indices of the factors and covariates the (chosen) model effects use.
  const std::vector<int>& GetActiveFactors() const { return fvActiveFactors; }
  const std::vector<int>& GetActiveCovariates() const { return fvActiveCovariates; }
  // Multinomial model: the dependent's category (level index) of each block of estimates.
  const std::vector<int>& GetTargetCategories() const { return fvBlockTargets; }
  // The texts of the dependent's categories, by level index.
  const std::vector<std::string>& GetDependentCategories() const { return fvDependentCategories; }

  // "MiningSchema": the active factors and covariates (with an "importance" each when `importances`
  // holds one value per active variable), the dependent as the predicted field, then variable b and
  // variable a when they are not -1. Null when a named variable is not in the variable list.
  std::unique_ptr<QXXML_600::XMLElement> ExportMiningSchema(int a, int b,
                                                            const std::vector<double>* importances) const;
  // "MiningField" of one variable: "importance" when it lies in [0, 1], "name", and "usageType"
  // "predicted" for the dependent (isPredictor false). Null for a variable not in the list.
  std::unique_ptr<QXXML_600::XMLElement> ExportMiningField(int variable, bool isPredictor,
                                                           double importance) const;
  // "ParameterList": one "Parameter" (name and label) per parameter of one linear predictor.
  std::unique_ptr<QXXML_600::XMLElement> ExportParameterList() const;
  // "FactorList" / "CovariateList" with a "Predictor" per active variable; null when there is none.
  std::unique_ptr<QXXML_600::XMLElement> ExportFactorList() const;
  std::unique_ptr<QXXML_600::XMLElement> ExportCovariateList() const;
  // Appends a "Predictor" named after each variable to `parent`.
  void AddPredictors(const std::vector<int>& variables, QXXML_600::XMLElement& parent) const;
  // "PPMatrix": for each parameter one "PPCell" per factor (value = category text) and then per
  // covariate (value = power).
  std::unique_ptr<QXXML_600::XMLElement> ExportPPMatrix() const;
  // "ParamMatrix": one "PCell" per estimate with its target category, parameter name, "beta" and
  // "df" (1 for a non-redundant estimate, else 0). With fixedTarget every cell carries the
  // dependent's category 1 - targetIndex (the one target of a binary model); null when that category
  // does not exist.
  std::unique_ptr<QXXML_600::XMLElement> ExportParamMatrix(bool fixedTarget, int targetIndex) const;
  // "PCovMatrix": the non-zero elements of the lower triangle of `covariance`, whose order must be
  // the number of estimates (else null); a matrix without one gives a single cell of value "0.0".
  std::unique_ptr<QXXML_600::XMLElement> ExportPCovMatrix(const QXSymMatrix& covariance,
                                                          QXConst::QXCovbType covarianceType,
                                                          bool fixedTarget, int targetIndex) const;
  // "ModelStats": with an ANOVA table, a "UnivariateStats" of the dependent holding its "Anova";
  // then a "UnivariateStats" per active covariate with `totalFrequency` ("Counts"), the range of the
  // variable in the list and the mean from `means` (covariates in settings order, as the output
  // statistics give them). Missing values leave their attributes out.
  std::unique_ptr<QXXML_600::XMLElement> ExportModelStats(const std::vector<double>& means,
                                                          double totalFrequency,
                                                          const QXRegANOVA* anova) const;
  // The three "AnovaRow" elements ("Model", "Error", "Total") of the table, appended to `parent`.
  void ExportModelAnova(const QXRegANOVA& table, QXXML_600::XMLElement& parent) const;
  // Adds the attribute when the element is not null and the value is not the missing value.
  static void ExportAttributeValue(QXXML_600::XMLElement* element, std::string_view name, double value);

  // The parameter's PMML label ("Intercept", "[A=1] * [B=2]", "[A=1]([B=2])", "X * X",
  // "[A=1] * X", "X([A=1])") and predictors, from the variable list; false (nothing useful in
  // `attribute`) when a variable or category is not in the list. `effects` supplies the
  // factors-in-parentheses flag of the parameter's effect.
  static bool DescribeParameter(const QXRegrParameter& parameter, const std::vector<QXModelEffect>& effects,
                                const QXCommon_600::QXVarList& variables, ParamAttribute& attribute);
  // "P%07d" of number: P0000001 for 1.
  static std::string ParameterName(int number);

  void Display() const;

 private:
  void CreateParameters();
  bool SetUpLayout(const std::vector<QXRegrParameter>& parameters);
  bool SetUpMultinomialBlocks(const std::vector<QXRegrParameter>& parameters);
  void SetUpActiveVariables(const QXBitSet* effectsToUse);
  const std::string* VariableName(int variable) const;
  // The target category text of estimate i, or null when the cell carries none.
  const std::string* EstimateTarget(int i, bool fixedTarget, int targetIndex) const;
  // The entry (of fvParamInfo) that names estimate i.
  const ParamAttribute& EstimateEntry(int i) const;
  bool HasFixedTarget(int targetIndex) const;

  const QXRegSettings& fSettings;
  const std::vector<QXModelEffect>& fModelEffects;
  std::vector<int> fvActiveFactors;
  std::vector<int> fvActiveCovariates;
  const QXCommon_600::QXVarList& fVariables;
  const std::vector<QXRegrParameter>& fParameters;
  const std::vector<double>& fEstimates;
  const QXBitSet& fNonRedundant;
  std::vector<ParamAttribute> fvParamInfo;
  int fN = 0;
  int fM = 0;
  int fT = 0;
  QXConst::QXRegModelType fModelType;
  int fK = 0;
  std::vector<std::string> fvDependentCategories;
  std::vector<int> fvBlockTargets;
  QXCommon_600::QXStatus fStatus;
};

}  // namespace QXMath_600
