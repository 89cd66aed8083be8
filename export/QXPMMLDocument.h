// A complete, standalone PMML 4.4 document of a fitted model, which any PMML consumer can score: the
// header, a data dictionary of the variables the model reads (a factor's categories as the texts the
// variable list gives them) and a GeneralRegressionModel built from QXPMMLRegrExporter's elements.
//
//   general linear model        modelType "generalLinear", functionName "regression"; the
//                               prediction is the linear predictor.
//   multinomial logistic        "multinomialLogistic", "classification", with the reference
//                               category named in "targetReferenceCategory"; the dependent's data
//                               field lists only the categories the model predicts (the blocks'
//                               and the reference), since a consumer would score any other as the
//                               reference.
//   ordinal multinomial         "ordinalMultinomial", "classification", with "cumulativeLink"; the
//                               estimates follow PMML's sign convention, P(Y <= j) = F(theta_j + x'b).
//
// Records are scored by a PMML consumer from the variables' values as the document names them: the
// category texts of factors, the numbers of covariates.
//
// Typical use, after a component has built its model:
//   std::unique_ptr<QXXML_600::XMLElement> document;
//   if (QXPMMLDocument::Create(*component, variables, {}, document).IsOK())
//     file << document->ToDocument();
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/QXBitSet.h"
#include "common/QXExport.h"
#include "common/QXMissingValue.h"
#include "common/QXStatus.h"
#include "common/QXSymMatrix.h"
#include "common/QXVarList.h"
#include "common/XMLElement.h"
#include "model/IQXRegComponent.h"
#include "model/QXRegANOVA.h"
#include "settings/QXRegSettings.h"
#include "settings/QXRegrParameter.h"

namespace QXMath_600 {

// What the document says beyond the estimates. Pointers are borrowed for the call and may be null.
struct QXREGRES_API QXPMMLDocumentOptions {
  // The model's "modelName" and the header's "description" and "copyright"; left out when empty.
  std::string fModelName;
  std::string fDescription;
  std::string fCopyright;
  // The covariance of the estimates, written as "PCovMatrix" (its order must be the number of
  // estimates: status 336 otherwise). Of the settings' covariance type.
  const QXSymMatrix* fpCovariance = nullptr;
  // The covariates' means in settings order and the total frequency, for the covariates'
  // "UnivariateStats"; an ANOVA table for the dependent's. "ModelStats" is written when either the
  // means or the table are given.
  const std::vector<double>* fpCovariateMeans = nullptr;
  double fTotalFrequency = QXMV::gMissingValue;
  const QXRegANOVA* fpAnova = nullptr;
  // Multinomial model: the reference category of the dependent (its level index). With -1 it is the
  // one category that no block of estimates predicts, or, for a fitted component, its model's
  // reference.
  int fReferenceCategory = -1;
  // Ordinal model: the PMML cumulative link ("logit", "probit", "cloglog", "loglog" or "cauchit").
  std::string fCumulativeLink = "logit";
};

class QXREGRES_API QXPMMLDocument {
 public:
  // The document of the given estimates. Error 303 when the exporter cannot describe them
  // (QXPMMLRegrExporter::GetStatus), when two of the document's fields share a name or a categorical
  // field two category texts, when the reference category of a multinomial model is not one that no
  // block predicts (or, with -1, is not the only such category) and for an unknown cumulative link;
  // 336 for a covariance matrix of the wrong order. `document` is null on error.
  static QXCommon_600::QXStatus Create(const QXRegSettings& settings,
                                       const QXCommon_600::QXVarList& variables,
                                       const std::vector<QXRegrParameter>& parameters,
                                       const std::vector<double>& estimates, const QXBitSet& nonRedundant,
                                       const QXPMMLDocumentOptions& options,
                                       std::unique_ptr<QXXML_600::XMLElement>& document);
  // The document of a component's fitted model: its settings, parameters, estimates and redundancy,
  // and, unless the options give them, the covariance of the estimates (for a linear model the
  // component's matrix times RMSE^2 W / df, left out without error degrees of freedom), the covariate
  // means, the total frequency weight and a logistic model's reference category. The component's
  // error, or 310 when it has no model yet.
  static QXCommon_600::QXStatus Create(IQXRegComponent& component, const QXCommon_600::QXVarList& variables,
                                       const QXPMMLDocumentOptions& options,
                                       std::unique_ptr<QXXML_600::XMLElement>& document);
};

}  // namespace QXMath_600
