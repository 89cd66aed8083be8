#include "logistic/QXLogOutputStats.h"

#include <cmath>

#include "common/QXDisplay.h"
#include "common/QXDistFun.h"
#include "common/QXMissingValue.h"
#include "logistic/QXLogAlgorithm.h"

namespace QXMath_600 {

using QXCommon_600::QXStatus;
using QXCommon_600::Record;

QXLogOutputStats::QXLogOutputStats(const QXLogRegSettings& settings, QXLogAlgorithm& algorithm)
    : fpAlgorithm(&algorithm),
      fpSettings(&settings),
      fvMeanValues(algorithm.GetMeanValues()),
      fFactorCounts(algorithm.GetFactorTables()),
      fvParameters(algorithm.GetModel().GetAllParameters()),
      fvParamEstimates(algorithm.GetModel().GetEstimates()),
      fTotalFreqWeight(algorithm.GetFactorTables().GetTotalWeight()),
      fTotalRegrWeight(algorithm.GetFactorTables().GetTotalRegrWeight()),
      fCoxSnellRSquare(QXMV::gMissingValue),
      fNagelkerkeRSquare(QXMV::gMissingValue),
      fMcFaddenRSquare(QXMV::gMissingValue),
      fpCovarianceMatrix(algorithm.GetModel().GetHessianGI()),
      fRedundancyIndicators(algorithm.GetModel().GetAllNonRedundancy()),
      fNBasicParameters(algorithm.GetModel().GetNBasicParameters()),
      fConvergenceState(QXRegOptimizer::kNotIterated),
      fNIterations(0),
      fInitialLogLikelihood(QXMV::gMissingValue),
      fFinalLogLikelihood(QXMV::gMissingValue) {
  const QXLogModel& model = algorithm.GetModel();
  fNDegFreedom = settings.GetDF() > 0.0 ? settings.GetDF()
                                        : fTotalFreqWeight - static_cast<double>(model.GetNAllNonRedundant());
  if (const QXRegOptimizer* optimizer = algorithm.GetOptimizer()) {
    optimizer->ComputeRSquares(fCoxSnellRSquare, fNagelkerkeRSquare, fMcFaddenRSquare);
    fConvergenceState = optimizer->GetConvergenceState();
    fNIterations = optimizer->GetNIterations();
    fInitialLogLikelihood = optimizer->GetInitialLL();
    fFinalLogLikelihood = optimizer->GetCurrentLL();
  }
  if (settings.GetInterceptUse()) {
    fvEffectFirstParameters.push_back(0);
    fvEffectNParameters.push_back(1);
  }
  const std::vector<int>& first = model.GetFirstParameterIndices();
  const std::vector<int>& count = model.GetNEffectParameters();
  fvEffectFirstParameters.insert(fvEffectFirstParameters.end(), first.begin(), first.end());
  fvEffectNParameters.insert(fvEffectNParameters.end(), count.begin(), count.end());
  FillParamStats();
}

void QXLogOutputStats::FillParamStats() {
  const int n = static_cast<int>(fvParameters.size());
  if (fRedundancyIndicators.Size() != n) return;
  const double level = fpSettings->GetConfidenceLevel();
  const double z = QXDistFun::IdfStdNormUpper((1.0 - level) / 2.0);
  fvParamStats.assign(static_cast<std::size_t>(n), QXRegrParameterStats());
  for (int i = 0; i < n; ++i) {
    QXRegrParameterStats& stats = fvParamStats[static_cast<std::size_t>(i)];
    stats.fParamIndex = i;
    stats.fEstimate = fvParamEstimates[static_cast<std::size_t>(i)];
    stats.fbRedundant = !fRedundancyIndicators.IsIn(i);
    stats.fModelEffectIndex = fvParameters[static_cast<std::size_t>(i)].GetEffectIndex();
    if (stats.fbRedundant || fpCovarianceMatrix == nullptr) continue;
    const double variance = fpCovarianceMatrix->GetElem(i, i);
    // A pivot of the information matrix that failed leaves no variance to test with.
    if (!(variance > 0.0) || !std::isfinite(variance)) continue;
    const double se = std::sqrt(variance);
    stats.fStdError = se;
    stats.fChiSquare = (stats.fEstimate / se) * (stats.fEstimate / se);
    stats.fDF = 1.0;
    stats.fSig = QXDistFun::CdfChiUpper(stats.fChiSquare, 1.0);
    if (QXMV::IsMissing(z)) continue;
    stats.fLowerBound = stats.fEstimate - z * se;
    stats.fUpperBound = stats.fEstimate + z * se;
    stats.fbExpBounds = true;
    stats.fExpLowerBound = std::exp(stats.fLowerBound);
    stats.fExpUpperBound = std::exp(stats.fUpperBound);
  }
}

double QXLogOutputStats::GetModelFitStat(QXConst::QXModelFitStat stat) const {
  switch (stat) {
    case QXConst::QXFitCoxSnell: return fCoxSnellRSquare;
    case QXConst::QXFitNagelkerke: return fNagelkerkeRSquare;
    case QXConst::QXFitMcFadden: return fMcFaddenRSquare;
    default: return QXMV::gMissingValue;
  }
}

const QXRegRecordValidator& QXLogOutputStats::GetRecordValidator() const {
  return fpAlgorithm->GetRecordValidator();
}

bool QXLogOutputStats::ExpandRow(const Record& record, std::vector<double>& row) const {
  QXStatus ignored;
  if (!fpAlgorithm->GetRecordValidator().IsValid4Scoring(record, ignored)) return false;
  return fpAlgorithm->GetModel().GetDesignRow(row, record);
}

bool QXLogOutputStats::ExpandRow(const Record& record, std::vector<int>& indices,
                                 std::vector<double>& values) const {
  QXStatus ignored;
  if (!fpAlgorithm->GetRecordValidator().IsValid4Scoring(record, ignored)) return false;
  return fpAlgorithm->GetModel().GetRowValues(record, indices, values);
}

const std::vector<int>& QXLogOutputStats::GetDependCategories() const {
  return fpAlgorithm->GetModel().GetDependCategories();
}

const QXSymMatrix& QXLogOutputStats::GetXPrimeWXMatrix() const {
  return fpAlgorithm->GetModel().GetXPrimeWX();
}

const QXBitSet& QXLogOutputStats::GetBasicRedundancyIndicators() const {
  return fpAlgorithm->GetModel().GetBasicNonRedundancy();
}

QXStatus QXLogOutputStats::ComputeClassificationTable(QXCommon_600::MultiPassRecordIter& records) {
  return fpAlgorithm->ClassifyRecords(records);
}

const QXRectMatrix* QXLogOutputStats::GetClassificationTable() const {
  return fpAlgorithm->IsClassified() ? &fpAlgorithm->GetModel().GetClassificationTable() : nullptr;
}

void QXLogOutputStats::Cancel() { fpAlgorithm->Cancel(); }

void QXLogOutputStats::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXLogOutputStats display start");
  DisplayDV("fMeanValues", fvMeanValues);
  DisplayText(1, "fFactorCounts:");
  fFactorCounts.Display();
  for (std::size_t i = 0; i < fvParameters.size(); ++i) {
    fvParameters[i].Display();
    DisplayD("Parameter estimate", fvParamEstimates[i]);
    DisplayB("Redundant", !fRedundancyIndicators.IsIn(static_cast<int>(i)));
  }
  DisplayD("fTotalFreqWeight", fTotalFreqWeight);
  DisplayD("fTotalRegrWeight", fTotalRegrWeight);
  DisplayD("fNDegFreedom", fNDegFreedom);
  DisplayD("fCoxSnellRSquare", fCoxSnellRSquare);
  DisplayD("fNagelkerkeRSquare", fNagelkerkeRSquare);
  DisplayD("fMcFaddenRSquare", fMcFaddenRSquare);
  DisplayI("Convergence state", fConvergenceState);
  DisplayI("Iterations", fNIterations);
  DisplayD("Initial log-likelihood", fInitialLogLikelihood);
  DisplayD("Final log-likelihood", fFinalLogLikelihood);
  for (const QXRegrParameterStats& stats : fvParamStats) stats.Display();
  if (fpCovarianceMatrix != nullptr) {
    DisplayText(1, "Covariance matrix:");
    fpCovarianceMatrix->Display();
  }
  DisplayText(1, "QXLogOutputStats display end");
}

}  // namespace QXMath_600
