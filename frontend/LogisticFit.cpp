#include "frontend/LogisticFit.h"

#include <cmath>
#include <optional>
#include <vector>

#include "common/QXDistFun.h"
#include "common/QXMissingValue.h"
#include "common/QXRectMatrix.h"
#include "common/QXStatus.h"
#include "frontend/EffectTests.h"
#include "inference/QXModelEffectTest.h"
#include "inference/QXModelTests.h"
#include "inference/QXTestStats.h"
#include "logistic/QXLogOutputStats.h"
#include "settings/QXConst.h"

namespace QXFit {

namespace {

std::optional<double> Present(double value) {
  if (QXMV::IsMissing(value) || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string Describe(const QXCommon_600::QXStatus& status) {
  return "the model cannot be fitted: " + status.GetMessage();
}

void ReadParameters(const QXMath_600::QXLogOutputStats& stats, const ModelBuilder& model,
                    LogisticResult& result) {
  const auto& parameters = stats.GetParameters();
  const auto& paramStats = stats.GetParamStats();
  const auto& estimates = stats.GetParamEstimates();
  const QXMath_600::QXBitSet& kept = stats.GetRedundancyIndicators();
  const FactorLevels& levels = model.GetVariables().front().fLevels;
  const std::size_t n = std::min(parameters.size(), estimates.size());
  result.fFit.fParameters.clear();
  result.fOddsRatios.clear();
  for (std::size_t k = 0; k < n; ++k) {
    ParameterResult p;
    p.fLabel = model.GetParameterLabel(parameters[k]);
    p.fEstimate = estimates[k];
    p.fbRedundant = !kept.IsIn(static_cast<int>(k));
    OddsRatioResult odds;
    odds.fCategory = levels.GetText(parameters[k].GetTargetCategory());
    if (!p.fbRedundant && k < paramStats.size()) {
      const QXMath_600::QXRegrParameterStats& s = paramStats[k];
      p.fStdError = Present(s.fStdError);
      p.fStatistic = Present(s.fChiSquare);
      if (p.fStatistic) {
        p.fDF = s.fDF;
        p.fP = Present(s.fSig);
      }
      p.fLower = Present(s.fLowerBound);
      p.fUpper = Present(s.fUpperBound);
      odds.fExpB = Present(std::exp(p.fEstimate));
      if (s.fbExpBounds) {
        odds.fLower = Present(s.fExpLowerBound);
        odds.fUpper = Present(s.fExpUpperBound);
      }
    }
    result.fFit.fParameters.push_back(std::move(p));
    result.fOddsRatios.push_back(std::move(odds));
  }
}

// -2 log-likelihoods, the likelihood-ratio test against the baseline, and the pseudo R-squares.
void ReadFit(const QXMath_600::QXLogOutputStats& stats, LogisticResult& result) {
  result.fIterations = stats.GetNIterations();
  result.fConvergenceState = stats.GetConvergenceState();
  result.fMinus2LLBaseline = Present(-2.0 * stats.GetInitialLogLikelihood());
  result.fMinus2LLFinal = Present(-2.0 * stats.GetFinalLogLikelihood());
  // The baseline keeps one parameter per block (the intercept) with an intercept, none without.
  const int kept = stats.GetRedundancyIndicators().Count();
  const int nBlocks = static_cast<int>(result.fCategories.size()) - 1;
  const int baseline = result.fbInterceptOnlyBaseline ? nBlocks : 0;
  if (result.fMinus2LLBaseline && result.fMinus2LLFinal && kept >= baseline) {
    result.fLRChiSquare = *result.fMinus2LLBaseline - *result.fMinus2LLFinal;
    result.fLRDF = kept - baseline;
    // A test on 0 degrees of freedom has no p-value.
    if (*result.fLRDF > 0.0)
      result.fLRP =
          Present(QXMath_600::QXDistFun::CdfChiUpper(std::max(0.0, *result.fLRChiSquare), *result.fLRDF));
  }
  result.fCoxSnell = Present(stats.GetModelFitStat(QXConst::QXFitCoxSnell));
  result.fNagelkerke = Present(stats.GetModelFitStat(QXConst::QXFitNagelkerke));
  result.fMcFadden = Present(stats.GetModelFitStat(QXConst::QXFitMcFadden));
}

// With no effect there is nothing to adjust for: the intercept's test is the joint Wald test of the
// intercepts of every logit, as a linear model's intercept-only table gives its parameter's test.
void TestInterceptsOnly(const QXMath_600::QXLogOutputStats& stats, LogisticResult& result) {
  const std::vector<double>& estimates = stats.GetParamEstimates();
  const QXMath_600::QXSymMatrix* covariance = stats.GetCovarianceMatrix();
  const int nBasic = stats.GetNBasicParameters();
  const int nBlocks = nBasic > 0 ? static_cast<int>(estimates.size()) / nBasic : 0;
  if (covariance == nullptr || nBlocks < 1) return;
  QXMath_600::QXRectMatrix L(nBlocks, static_cast<int>(estimates.size()));
  for (int k = 0; k < nBlocks; ++k) L.SetElem(k, k * nBasic, 1.0);
  QXMath_600::QXModelTests tests(estimates, stats.GetRedundancyIndicators(), *covariance, -1.0, nullptr);
  tests.SetTestType(QXConst::QXTestChiSquare);
  QXMath_600::QXTestStats wald;
  const QXCommon_600::QXStatus status = tests.ComputeOverallTest(L, wald);
  EffectTestResult row = ToEffectTestResult("Intercept", &wald, &status, TestKind::kChiSquare);
  if (row.fStatus) result.fFit.AddWarning(*row.fStatus);
  if (result.fFit.fbTypeI) result.fFit.fTypeI = {row};
  if (result.fFit.fbTypeIII) result.fFit.fTypeIII = {row};
}

// The Wald tests of the effects, each over its parameters in every block.
bool ReadEffectTests(const QXMath_600::QXRegSettings& settings, const QXMath_600::QXLogOutputStats& stats,
                     const ModelBuilder& model, LogisticResult& result, std::string& error) {
  FitResult& fit = result.fFit;
  if (!fit.fbTypeI && !fit.fbTypeIII) return true;
  if (settings.GetModelEffects().empty()) {
    if (settings.GetInterceptUse()) TestInterceptsOnly(stats, result);
    return true;
  }
  QXConst::QXEffectAnalysisType type = QXConst::QXEffectTypeIII;
  if (fit.fbTypeI) type = fit.fbTypeIII ? QXConst::QXEffectTypeIAndIII : QXConst::QXEffectTypeI;
  const int nCategories = static_cast<int>(stats.GetDependCategories().size());
  QXMath_600::QXModelEffectTest tests(settings, settings.GetModelEffects(), stats.GetParamEstimates(),
                                      stats.GetEffectFirstParameters(), stats.GetEffectNParameters(), type,
                                      stats.GetCovarianceMatrix(), &stats.GetXPrimeWXMatrix(),
                                      &stats.GetRedundancyIndicators(), QXConst::QXDistNomMultinomial,
                                      nCategories, &stats.GetBasicRedundancyIndicators(), -1.0, nullptr);
  const QXCommon_600::QXStatus status = tests.TestModelEffect();
  if (status.IsError()) {
    error = "the model effects cannot be tested: " + status.GetMessage();
    return false;
  }
  if (status.IsWarning()) fit.AddWarning(status.GetMessage());
  std::vector<std::string> labels;
  if (settings.GetInterceptUse()) labels.push_back("Intercept");
  for (const auto& effect : settings.GetModelEffects()) labels.push_back(model.GetEffectLabel(effect));
  if (fit.fbTypeI) fit.fTypeI = ReadEffectTable(tests.GetTypeITestStats(), labels, fit.fTest, fit);
  if (fit.fbTypeIII) fit.fTypeIII = ReadEffectTable(tests.GetTypeIIITestStats(), labels, fit.fTest, fit);
  return true;
}

bool ReadClassification(QXMath_600::QXLogOutputStats& stats, QXCommon_600::MultiPassRecordIter& records,
                        LogisticResult& result, std::string& error) {
  const QXCommon_600::QXStatus status = stats.ComputeClassificationTable(records);
  const QXMath_600::QXRectMatrix* table = stats.GetClassificationTable();
  if (status.IsError() || table == nullptr) {
    error = "the records cannot be classified: " + status.GetMessage();
    return false;
  }
  const int k = static_cast<int>(result.fCategories.size());
  double correct = 0.0, total = 0.0;
  result.fClassification.clear();
  for (int i = 0; i < k && i < table->GetNRows(); ++i) {
    ClassificationRow row;
    row.fObserved = result.fCategories[static_cast<std::size_t>(i)];
    double rowTotal = 0.0;
    for (int j = 0; j < k && j < table->GetNCols(); ++j) {
      row.fPredicted.push_back(table->GetElem(i, j));
      rowTotal += table->GetElem(i, j);
    }
    const double hits = table->GetElem(i, i);
    if (rowTotal > 0.0) row.fPercentCorrect = 100.0 * hits / rowTotal;
    correct += hits;
    total += rowTotal;
    result.fClassification.push_back(std::move(row));
  }
  result.fPercentCorrect.reset();
  if (total > 0.0) result.fPercentCorrect = 100.0 * correct / total;
  return true;
}

}  // namespace

QXMath_600::QXLogRegSettings MakeLogisticSettings(const ModelBuilder& model,
                                                  const QXMath_600::QXRegSettings& settings) {
  QXMath_600::QXLogRegSettings logistic;
  static_cast<QXMath_600::QXRegSettings&>(logistic) = settings;
  logistic.SetTestType(QXConst::QXTestChiSquare);
  const int nCategories = model.GetVariables().front().fLevels.GetNLevels();
  // The settings take no fewer than two categories; a response with one level then reaches the library,
  // which refuses it with its own status (318: fewer than two categories with weight).
  if (!logistic.SetDependentRefCat(model.GetResponseReference(), std::max(2, nCategories)))
    logistic.SetDependentRefCat(-1, std::max(2, nCategories));
  return logistic;
}

bool ReadLogisticResult(QXMath_600::IQXRegComponent& component, const ModelBuilder& model,
                        QXCommon_600::MultiPassRecordIter& records, LogisticResult& result,
                        std::string& error) {
  QXMath_600::IQXRegOutputStats* any = nullptr;
  const QXCommon_600::QXStatus status = component.GetOutputStats(any);
  auto* stats = dynamic_cast<QXMath_600::QXLogOutputStats*>(any);
  if (status.IsError() || stats == nullptr) {
    error = Describe(status.IsError() ? status : QXCommon_600::QXStatus(303, false));
    return false;
  }
  const QXMath_600::QXRegSettings& settings = component.GetCompSettings();
  FitResult& fit = result.fFit;
  fit.fTest = TestKind::kChiSquare;
  fit.fbIntercept = settings.GetInterceptUse();
  fit.fTotalFreqWeight = stats->GetTotalFreqWeight();
  fit.fTotalRegrWeight = stats->GetTotalRegrWeight();
  result.fResponse = model.GetVariables().front().fName;
  result.fbInterceptOnlyBaseline = settings.GetInterceptUse();
  const FactorLevels& levels = model.GetVariables().front().fLevels;
  result.fCategories.clear();
  for (const int code : stats->GetDependCategories()) result.fCategories.push_back(levels.GetText(code));
  for (const auto& warning : component.GetWarnings()) fit.AddWarning(warning.GetMessage());

  ReadParameters(*stats, model, result);
  ReadFit(*stats, result);
  if (!ReadEffectTests(settings, *stats, model, result, error)) return false;
  return ReadClassification(*stats, records, result, error);
}

}  // namespace QXFit
