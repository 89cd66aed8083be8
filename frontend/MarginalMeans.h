// qxfit's use of the library's marginal means: matches the --emmeans requests to the model's factors
// and covariates (before the data are read, so that a misspelt name stops the run early), then, after
// the fit, asks QXMarginals for the means, the comparisons and the overall tests of every request and
// labels them with the level texts.
#pragma once

#include <string>
#include <vector>

#include "common/QXBitSet.h"
#include "common/QXStatus.h"
#include "common/QXSymMatrix.h"
#include "frontend/EmmeansRequest.h"
#include "frontend/FitResult.h"
#include "frontend/ModelBuilder.h"
#include "marginals/QXEmmeansSpec.h"
#include "model/IQXRegComponent.h"
#include "model/IQXRegOutputStats.h"
#include "settings/QXConst.h"
#include "settings/QXRegSettings.h"

namespace QXMath_600 {
class QXMarginals;
}

namespace QXFit {

class MarginalMeans {
 public:
  // Matches every request of `options` to `model` (built). False with a message for a name that is
  // not a factor of the model (or, for --at, not a covariate), a reference level the compared factor
  // lacks, or a scale that the model does not have. The model is borrowed and must outlive the object.
  bool Resolve(const EmmeansOptions& options, const ModelBuilder& model, bool logistic, std::string& error);
  bool IsEmpty() const { return fSpecs.empty(); }

  // The requests over a fitted model whose fit `result` already holds (a linear model's error variance
  // scales its covariance). Adds one EmmeansResult per request to result.fEmmeans (for a logistic
  // model, one per request and non-reference category) and the requests' warnings to
  // result.fWarnings. False with the library's message when the marginal means cannot be formed.
  bool Compute(QXMath_600::IQXRegComponent& component, FitResult& result, std::string& error) const;

 private:
  // One linear predictor of the fitted model, over which the means are formed.
  struct Predictor {
    const std::vector<QXMath_600::QXRegrParameter>& fParameters;
    const std::vector<double>& fEstimates;
    const QXMath_600::QXSymMatrix& fCovariance;  // of the estimates, scaled
    const QXMath_600::QXBitSet& fRedundancy;
    QXConst::LinkType fLink;
  };
  // The library's statuses of one request, kept with it and among the report's warnings.
  struct Notes {
    EmmeansResult& fOut;
    FitResult& fResult;
    void Add(const QXCommon_600::QXStatus& status);
    void Add(const std::string& text);
  };

  // The requests over one linear predictor, appended to result.fEmmeans; chi-square (z) tests or t.
  bool ComputeOver(const QXMath_600::QXRegSettings& settings, const QXMath_600::IQXRegOutputStats& stats,
                   const Predictor& predictor, bool chiSquare, FitResult& result, std::string& error) const;
  // One set of requests per non-reference category of a logistic model.
  bool ComputeLogistic(QXMath_600::IQXRegComponent& component, const QXMath_600::IQXRegOutputStats& stats,
                       FitResult& result, std::string& error) const;
  // False when the request has no means (an error of the library, kept in the notes).
  bool ReadMeans(QXMath_600::QXMarginals& marginals, int s, const QXMath_600::QXEmmeansSpec& request,
                 EmmeansResult& out, Notes& notes) const;
  void ReadComparisons(QXMath_600::QXMarginals& marginals, int s, const QXMath_600::QXEmmeansSpec& request,
                       bool chiSquare, EmmeansResult& out, Notes& notes) const;
  int FindFactor(const std::string& name, const std::string& option, std::string& error) const;
  std::string LevelText(int var, int level) const;
  std::string FactorLabel(int var) const;
  LevelTexts Texts(const std::vector<std::pair<int, int>>& levels) const;
  std::string CategoryText(int s, int category, const std::vector<std::vector<int>>& combinations) const;

  const ModelBuilder* fpModel = nullptr;
  EmmeansOptions fOptions;
  std::vector<QXMath_600::QXEmmeansSpec> fSpecs;
};

}  // namespace QXFit
