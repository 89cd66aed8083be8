#include "linear/QXGLMOutputStats.h"

#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"
#include "linear/QXGLMAlgorithm.h"

namespace QXMath_600 {

QXGLMOutputStats::QXGLMOutputStats(const QXRegSettings& settings, QXGLMAlgorithm& algorithm)
    : fpAlgorithm(&algorithm),
      fvMeanValues(algorithm.GetMeanValues()),
      fFactorCounts(static_cast<const QXFactorCounts&>(algorithm.GetFactorTables())),
      fvParameters(algorithm.GetModel().GetParameters()),
      fvParamEstimates(algorithm.GetModel().GetParamEstimates()),
      fTotalFreqWeight(algorithm.GetFactorTables().GetTotalWeight()),
      fTotalRegrWeight(algorithm.GetFactorTables().GetTotalRegrWeight()),
      fMultipleRSquare(algorithm.GetModel().GetMultipleRSquare()),
      fRMSE(algorithm.GetModel().GetRootMeanSquareError()) {
  const QXGLMModel& model = algorithm.GetModel();
  const int p = model.GetNParameters();
  const QXBitSet& swept = model.GetRedundancyIndicators();
  fNDegFreedom = settings.GetDF() > 0.0 ? settings.GetDF() : fTotalFreqWeight - model.GetRank();
  // Fractional frequency weights can total less than the rank; no test has negative degrees of freedom.
  if (fNDegFreedom < 0.0) fNDegFreedom = QXMV::gMissingValue;

  fRedundancyIndicators = QXBitSet(p);
  fvParamStats.resize(static_cast<std::size_t>(p));
  for (int k = 0; k < p; ++k) {
    const bool kept = swept.IsIn(k);
    fRedundancyIndicators.Set(k, kept);
    QXRegrParameterStats& stats = fvParamStats[k];
    stats.fParamIndex = k;
    stats.fEstimate = fvParamEstimates[k];
    stats.fbRedundant = !kept;
    stats.fModelEffectIndex = fvParameters[k].GetEffectIndex();
  }
  // The swept block scaled by 1/W is minus the inverse of sum f g x x'.
  model.GetZPrimeZMatrix().ExtractFirstNRows(p, fCovarianceMatrix);
  fCovarianceMatrix.ChangeSign();

  if (settings.GetInterceptUse()) {
    fvEffectFirstParameters.push_back(0);
    fvEffectNParameters.push_back(1);
  }
  const std::vector<int>& first = model.GetFirstParameterIndices();
  const std::vector<int>& count = model.GetNEffectParameters();
  fvEffectFirstParameters.insert(fvEffectFirstParameters.end(), first.begin(), first.end());
  fvEffectNParameters.insert(fvEffectNParameters.end(), count.begin(), count.end());
}

const QXSymMatrix& QXGLMOutputStats::GetXPrimeWXMatrix() const {
  return fpAlgorithm->GetModel().GetXPrimeWXMatrix();
}

const QXEffectSweep* QXGLMOutputStats::GetEffectSweep() const {
  return fpAlgorithm->GetModel().GetEffectSweep();
}

double QXGLMOutputStats::GetModelFitStat(QXConst::QXModelFitStat stat) const {
  switch (stat) {
    case QXConst::QXFitRootMSE: return fRMSE;
    case QXConst::QXFitRSquare: return fMultipleRSquare;
    default: return QXMV::gMissingValue;
  }
}

const QXRegRecordValidator& QXGLMOutputStats::GetRecordValidator() const {
  return fpAlgorithm->GetRecordValidator();
}

bool QXGLMOutputStats::ExpandRow(const QXCommon_600::Record& record, std::vector<double>& row) const {
  QXCommon_600::QXStatus ignored;
  if (!fpAlgorithm->GetRecordValidator().IsValid4Scoring(record, ignored)) return false;
  // Exactly P entries: a longer row would also receive the dependent value, which scoring records need not
  // hold.
  row.resize(fvParamEstimates.size());
  return fpAlgorithm->GetModel().ExpandRow(row, record.GetAll());
}

void QXGLMOutputStats::Cancel() { fpAlgorithm->Cancel(); }

void QXGLMOutputStats::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXGLMOutputStats display start");
  DisplayDV("fMeanValues", fvMeanValues);
  DisplayText(1, "fFactorCounts:");
  fFactorCounts.Display();
  DisplayI("fParameters and fParamStats: total model parameters",
           static_cast<long long>(fvParameters.size()));
  for (std::size_t k = 0; k < fvParameters.size(); ++k) {
    fvParameters[k].Display();
    DisplayD("Parameter estimate", fvParamEstimates[k]);
    DisplayB("Redundant", fvParamStats[k].fbRedundant);
  }
  DisplayDV("fParamEstimates", fvParamEstimates);
  DisplayD("fTotalFreqWeight", fTotalFreqWeight);
  DisplayD("fTotalRegrWeight", fTotalRegrWeight);
  DisplayD("fNDegFreedom", fNDegFreedom);
  DisplayD("Multiple R Square", fMultipleRSquare);
  DisplayD("RMSE", fRMSE);
  DisplayText(1, "Covariance matrix:");
  fCovarianceMatrix.Display();
  DisplayText(1, "QXGLMOutputStats display end");
}

}  // namespace QXMath_600
