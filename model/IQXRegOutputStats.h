// The results of a fitted model, whatever its family: estimates with their covariance matrix and
// redundancy, the parameters, the category counts, the totals of weights, the error degrees of
// freedom and the fit statistics, plus the row expansion and record validation that the tests and
// the marginal means rebuild the design with. The component that hands it out owns it.
//
// Every vector over the parameters follows the model's parameter numbering; a redundant parameter
// keeps its place with estimate 0 and zero rows and columns in the covariance matrix.
#pragma once

#include <vector>

#include "common/QXExport.h"
#include "common/Record.h"
#include "settings/QXConst.h"
#include "settings/QXRegrParameter.h"

namespace QXMath_600 {

class QXBitSet;
class QXFactorCounts;
class QXRegRecordValidator;
class QXSymMatrix;
struct QXRegrParameterStats;

class QXREGRES_API IQXRegOutputStats {
 public:
  IQXRegOutputStats() = default;
  IQXRegOutputStats(const IQXRegOutputStats&) = default;
  IQXRegOutputStats& operator=(const IQXRegOutputStats&) = default;
  virtual ~IQXRegOutputStats();

  virtual QXConst::QXRegModelType GetModelType() const = 0;
  virtual const QXFactorCounts& GetFactorCounts() const = 0;
  // Weighted means of the covariates in settings order, then of the dependent variable.
  virtual const std::vector<double>& GetMeanValues() const = 0;
  virtual const std::vector<double>& GetParamEstimates() const = 0;
  virtual const std::vector<QXRegrParameter>& GetParameters() const = 0;
  // W, the sum of the frequency weights of the records used.
  virtual double GetTotalFreqWeight() const = 0;
  // V, the sum of frequency weight times regression weight.
  virtual double GetTotalRegrWeight() const = 0;
  // The error degrees of freedom of the model's tests.
  virtual double GetNDegFreedom() const = 0;
  // The system-missing value for a statistic the model family does not answer.
  virtual double GetModelFitStat(QXConst::QXModelFitStat stat) const = 0;
  // The linear model's matrix is unscaled: the inverse of sum f g x x' over the non-redundant
  // parameters (f, g the frequency and regression weights). The covariance of its estimates is that
  // matrix times sigma^2 = RMSE^2 W / GetNDegFreedom(), RMSE being GetModelFitStat(QXFitRootMSE) and
  // W GetTotalFreqWeight().
  virtual const QXSymMatrix* GetCovarianceMatrix() const = 0;
  virtual const std::vector<QXRegrParameterStats>& GetParamStats() const = 0;
  // The set of non-redundant parameters.
  virtual const QXBitSet& GetRedundancyIndicators() const = 0;
  virtual const QXRegRecordValidator& GetRecordValidator() const = 0;
  // The record's design row over the parameters. False, row untouched, when the record cannot be
  // scored; false with the row filled except the effects whose cell has no parameter.
  virtual bool ExpandRow(const QXCommon_600::Record& record, std::vector<double>& row) const = 0;
  // Stops the running or next pass of the model; may be called from another thread.
  virtual void Cancel() = 0;
  virtual void Display() const = 0;
};

}  // namespace QXMath_600
