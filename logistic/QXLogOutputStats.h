// The results of a fitted multinomial logistic regression, formed once from its algorithm when the
// component first hands them out: estimates and their covariance matrix (the inverse of the Fisher
// information, not to be scaled), redundancy, parameters, per-parameter Wald statistics, category
// counts, totals of weights, error degrees of freedom and the pseudo R-squares; beside them how the
// fit ended and what the tests of model effects and the classification table need.
//
// Layout: parameter k * P + j is basic parameter j (P per block, GetNBasicParameters) for the k-th
// category of GetDependCategories(), whose last category is the reference and has no block.
//
// Parameter statistics: for every kept parameter the standard error, the Wald chi-square on 1 degree
// of freedom with its significance, and the confidence bounds of the estimate and of its exponential
// (an odds ratio against the reference) at the settings' confidence level, from the normal
// distribution.
//
// Error degrees of freedom: the settings' value when it is above 0, else the total frequency weight
// minus the number of kept parameters (all blocks), the rule of the linear model.
#pragma once

#include <vector>

#include "common/QXBitSet.h"
#include "common/QXExport.h"
#include "common/QXRectMatrix.h"
#include "common/QXStatus.h"
#include "common/QXSymMatrix.h"
#include "common/Record.h"
#include "common/RecordIterator.h"
#include "design/QXFactorCounts.h"
#include "model/IQXRegOutputStats.h"
#include "model/QXRegrParameterStats.h"
#include "settings/QXConst.h"
#include "settings/QXLogRegSettings.h"

namespace QXMath_600 {

class QXLogAlgorithm;

class QXREGRES_API QXLogOutputStats : public IQXRegOutputStats {
 public:
  // The algorithm must hold a built model and outlive this object (its component owns both).
  QXLogOutputStats(const QXLogRegSettings& settings, QXLogAlgorithm& algorithm);

  QXConst::QXRegModelType GetModelType() const override { return QXConst::QXRegModelLogistic; }
  const QXFactorCounts& GetFactorCounts() const override { return fFactorCounts; }
  // The weighted means of the covariates in settings order (the dependent is categorical).
  const std::vector<double>& GetMeanValues() const override { return fvMeanValues; }
  const std::vector<double>& GetParamEstimates() const override { return fvParamEstimates; }
  const std::vector<QXRegrParameter>& GetParameters() const override { return fvParameters; }
  double GetTotalFreqWeight() const override { return fTotalFreqWeight; }
  double GetTotalRegrWeight() const override { return fTotalRegrWeight; }
  double GetNDegFreedom() const override { return fNDegFreedom; }
  // QXFitCoxSnell, QXFitNagelkerke and QXFitMcFadden (0 for a model fitted without iteration); the
  // system-missing value for the other statistics.
  double GetModelFitStat(QXConst::QXModelFitStat stat) const override;
  // Order (K - 1) P, zero rows and columns for redundant parameters.
  const QXSymMatrix* GetCovarianceMatrix() const override { return fpCovarianceMatrix; }
  const std::vector<QXRegrParameterStats>& GetParamStats() const override { return fvParamStats; }
  // (K - 1) P entries: the kept parameters.
  const QXBitSet& GetRedundancyIndicators() const override { return fRedundancyIndicators; }
  const QXRegRecordValidator& GetRecordValidator() const override;
  // The record's design row over the P basic parameters (the columns of every block's linear
  // predictor). False, row untouched, when the validator refuses the record for scoring; false with
  // the row filled but for the effects whose cell has no parameter.
  bool ExpandRow(const QXCommon_600::Record& record, std::vector<double>& row) const override;
  void Cancel() override;
  void Display() const override;

  // ---- Beyond the interface --------------------------------------------------------------------
  // Category codes, the reference last.
  const std::vector<int>& GetDependCategories() const;
  // Per model effect with a cell for the record: its basic parameter index and design value. False
  // when the validator refuses the record or some cell has no parameter.
  bool ExpandRow(const QXCommon_600::Record& record, std::vector<int>& indices,
                 std::vector<double>& values) const;
  int GetNBasicParameters() const { return fNBasicParameters; }
  // The logit of the baseline-category model: log(p_k / p_K) is linear in the parameters.
  QXConst::LinkType GetLinkType() const { return QXConst::QXLinkTypeLogit; }

  // How the fit ended: the optimizer's convergence state (QXRegOptimizer: 1-3 converged, 4 singular
  // information, 5 step halving failed, 6 iteration limit, 7 and 8 complete and quasi-complete
  // separation, 9 not iterated), and the warning of the component's list for 4 to 8.
  int GetConvergenceState() const { return fConvergenceState; }
  int GetNIterations() const { return fNIterations; }
  // The log-likelihood at the starting values (with an intercept, that of the intercept-only model)
  // and at the estimates.
  double GetInitialLogLikelihood() const { return fInitialLogLikelihood; }
  double GetFinalLogLikelihood() const { return fFinalLogLikelihood; }

  // What the tests of model effects take (QXModelEffectTest with QXDistNomMultinomial): sum f g x x'
  // over the basic parameters, the effects' basic parameter ranges (the intercept as effect 0, one
  // parameter, when the model has one) and the kept basic parameters.
  const QXSymMatrix& GetXPrimeWXMatrix() const;
  const std::vector<int>& GetEffectFirstParameters() const { return fvEffectFirstParameters; }
  const std::vector<int>& GetEffectNParameters() const { return fvEffectNParameters; }
  const QXBitSet& GetBasicRedundancyIndicators() const;

  // One more pass over the data the model was built from, which scores every valid record: the
  // classification table then counts (with frequency weights) the records of every observed category
  // (row) by predicted category (column), both in the order of GetDependCategories(). Runs once;
  // later calls return the first outcome (QXLogAlgorithm::ClassifyRecords).
  QXCommon_600::QXStatus ComputeClassificationTable(QXCommon_600::MultiPassRecordIter& records);
  // K x K; null until ComputeClassificationTable succeeded.
  const QXRectMatrix* GetClassificationTable() const;

 private:
  void FillParamStats();

  QXLogAlgorithm* fpAlgorithm;
  const QXLogRegSettings* fpSettings;
  std::vector<double> fvMeanValues;
  QXFactorCounts fFactorCounts;
  std::vector<QXRegrParameter> fvParameters;
  std::vector<double> fvParamEstimates;
  double fTotalFreqWeight;
  double fTotalRegrWeight;
  double fNDegFreedom;
  double fCoxSnellRSquare;
  double fNagelkerkeRSquare;
  double fMcFaddenRSquare;
  const QXSymMatrix* fpCovarianceMatrix;
  std::vector<QXRegrParameterStats> fvParamStats;
  QXBitSet fRedundancyIndicators;
  int fNBasicParameters;
  int fConvergenceState;
  int fNIterations;
  double fInitialLogLikelihood;
  double fFinalLogLikelihood;
  std::vector<int> fvEffectFirstParameters;
  std::vector<int> fvEffectNParameters;
};

}  // namespace QXMath_600
