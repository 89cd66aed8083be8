// The results of a fitted general linear model, copied once from its algorithm when the component
// first hands them out: estimates, redundancy, parameters, category counts, totals of weights, error
// degrees of freedom, R-square and root mean square error, and the covariance matrix.
//
// The covariance matrix is the inverse of sum f g x x' over the non-redundant parameters, with zero
// rows and columns for the redundant ones. It is not multiplied by an error variance: a caller that
// needs the covariance of the estimates scales it by sigma^2 = RMSE^2 W / GetNDegFreedom().
//
// Error degrees of freedom: the settings' value when it is above 0, else W minus the rank (the number
// of non-redundant parameters). Counting aliased parameters would understate the degrees of freedom of
// every model with a factor and an intercept, and the regression-weight total V would change the
// inference when every regression weight is multiplied by a constant; with frequency weights W - rank
// is what a fit on the expanded records gives. Fractional frequency weights can make W - rank negative:
// the degrees of freedom are then the system-missing value, and nothing that needs them can be formed.
//
// The parameter statistics carry the index, the estimate, the redundancy flag and the effect index;
// the linear model forms no standard errors or tests of its own there.
//
// Tests of model effects (QXModelEffectTest) take what this class gives through its non-virtual
// accessors: the weighted cross products X'WX, the effects' parameter ranges, the estimates, the
// covariance scaled by sigma^2, the error degrees of freedom and the fit's own sweep of X'WX
// (examples/effect_tests.cpp).
#pragma once

#include <vector>

#include "common/QXBitSet.h"
#include "common/QXExport.h"
#include "common/QXSymMatrix.h"
#include "design/QXFactorCounts.h"
#include "model/IQXRegOutputStats.h"
#include "model/QXRegrParameterStats.h"
#include "settings/QXRegSettings.h"

namespace QXMath_600 {

class QXEffectSweep;
class QXGLMAlgorithm;

class QXREGRES_API QXGLMOutputStats : public IQXRegOutputStats {
 public:
  // The algorithm must hold a built model and outlive this object (its component owns both).
  QXGLMOutputStats(const QXRegSettings& settings, QXGLMAlgorithm& algorithm);

  QXConst::QXRegModelType GetModelType() const override { return QXConst::QXRegModelGLM; }
  const QXFactorCounts& GetFactorCounts() const override { return fFactorCounts; }
  const std::vector<double>& GetMeanValues() const override { return fvMeanValues; }
  const std::vector<double>& GetParamEstimates() const override { return fvParamEstimates; }
  const std::vector<QXRegrParameter>& GetParameters() const override { return fvParameters; }
  double GetTotalFreqWeight() const override { return fTotalFreqWeight; }
  double GetTotalRegrWeight() const override { return fTotalRegrWeight; }
  double GetNDegFreedom() const override { return fNDegFreedom; }
  // QXFitRootMSE and QXFitRSquare; the system-missing value for the other statistics.
  double GetModelFitStat(QXConst::QXModelFitStat stat) const override;
  const QXSymMatrix* GetCovarianceMatrix() const override { return &fCovarianceMatrix; }
  const std::vector<QXRegrParameterStats>& GetParamStats() const override { return fvParamStats; }
  // P entries.
  const QXBitSet& GetRedundancyIndicators() const override { return fRedundancyIndicators; }
  const QXRegRecordValidator& GetRecordValidator() const override;
  // False, row untouched, when the validator refuses the record for scoring. Otherwise row gets P
  // entries: the record's design row, without the columns of effects whose cell has no parameter
  // (and then false).
  bool ExpandRow(const QXCommon_600::Record& record, std::vector<double>& row) const override;
  void Cancel() override;
  void Display() const override;

  // sum f g x x' over the P parameters, redundant ones included, as accumulated before the sweep (the
  // accumulation adds f g / W, so this is W times that matrix). Lives with the component.
  const QXSymMatrix& GetXPrimeWXMatrix() const;
  // The fit's sweep of X'WX, which QXModelEffectTest reads instead of sweeping again (null when the
  // fit did not finish its sweep).
  const QXEffectSweep* GetEffectSweep() const;
  // The effects' parameter ranges as the tests of model effects take them: the index of each effect's
  // first parameter and its number of parameters, with the intercept as effect 0 (first parameter
  // 0, one parameter) when the model has one, then the settings' effects in order.
  const std::vector<int>& GetEffectFirstParameters() const { return fvEffectFirstParameters; }
  const std::vector<int>& GetEffectNParameters() const { return fvEffectNParameters; }

 private:
  QXGLMAlgorithm* fpAlgorithm;
  std::vector<double> fvMeanValues;
  QXFactorCounts fFactorCounts;
  std::vector<QXRegrParameter> fvParameters;
  std::vector<double> fvParamEstimates;
  double fTotalFreqWeight;
  double fTotalRegrWeight;
  double fNDegFreedom;
  double fMultipleRSquare;
  double fRMSE;
  QXSymMatrix fCovarianceMatrix;
  std::vector<QXRegrParameterStats> fvParamStats;
  QXBitSet fRedundancyIndicators;
  std::vector<int> fvEffectFirstParameters;
  std::vector<int> fvEffectNParameters;
};

}  // namespace QXMath_600
