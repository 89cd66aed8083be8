// qxfit's use of the library's marginal means: matches the --emmeans requests to the model's factors
// and covariates (before the data are read, so that a misspelt name stops the run early), then, after
// the fit, asks QXMarginals for the means, the comparisons and the overall tests of every request and
// labels them with the level texts.
#pragma once

#include <string>
#include <vector>

#include "marginals/QXEmmeansSpec.h"
#include "model/IQXRegComponent.h"
#include "tools/qxfit/EmmeansRequest.h"
#include "tools/qxfit/FitResult.h"
#include "tools/qxfit/ModelBuilder.h"

namespace QXFit {

class MarginalMeans {
 public:
  // Matches every request of `options` to `model` (built). False with a message for a name that is
  // not a factor of the model (or, for --at, not a covariate), a reference level the compared factor
  // lacks, or a scale that the model does not have. The model is borrowed and must outlive the object.
  bool Resolve(const EmmeansOptions& options, const ModelBuilder& model, bool logistic, std::string& error);
  bool IsEmpty() const { return fSpecs.empty(); }

  // The requests over a fitted linear model, whose fit `result` already holds (its error variance
  // scales the covariance). Adds one EmmeansResult per request to result.fEmmeans and the requests'
  // warnings to result.fWarnings. False with the library's message when the marginal means cannot be
  // formed at all.
  bool Compute(QXMath_600::IQXRegComponent& component, FitResult& result, std::string& error) const;

 private:
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
