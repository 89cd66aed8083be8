#include "frontend/FitResult.h"

#include <algorithm>
#include <cmath>

#include "common/QXMissingValue.h"
#include "common/QXRectMatrix.h"
#include "inference/QXModelTests.h"
#include "settings/QXConst.h"

namespace QXFit {

namespace {

std::optional<double> Present(double value) {
  if (QXMV::IsMissing(value) || !std::isfinite(value)) return std::nullopt;
  return value;
}

QXConst::QXTestType LibraryTestType(TestKind test) {
  return test == TestKind::kF ? QXConst::QXTestWaldF : QXConst::QXTestChiSquare;
}

}  // namespace

void FitResult::AddWarning(const std::string& text) {
  if (std::find(fWarnings.begin(), fWarnings.end(), text) == fWarnings.end()) fWarnings.push_back(text);
}

std::optional<double> ComputeErrorVariance(const FitResult& result) {
  if (!result.fRmse || !result.fDfError || *result.fDfError <= 0.0 || result.fTotalFreqWeight <= 0.0)
    return std::nullopt;
  return *result.fRmse * *result.fRmse * result.fTotalFreqWeight / *result.fDfError;
}

void FillParameterTests(FitResult& result, const std::vector<double>& estimates,
                        const QXMath_600::QXBitSet& nonRedundant, const QXMath_600::QXSymMatrix& covariance) {
  const std::optional<double> sigma2 = ComputeErrorVariance(result);
  result.fSigma.reset();
  if (sigma2) result.fSigma = std::sqrt(*sigma2);
  for (auto& p : result.fParameters) {
    p.fStdError.reset();
    p.fStatistic.reset();
    p.fDF.reset();
    p.fP.reset();
    p.fLower.reset();
    p.fUpper.reset();
  }
  const int n = static_cast<int>(std::min(estimates.size(), result.fParameters.size()));
  if (!sigma2 || covariance.GetNRows() != static_cast<int>(estimates.size())) return;

  QXMath_600::QXModelTests tests(estimates, nonRedundant, covariance, *result.fDfError, nullptr);
  tests.SetTestType(LibraryTestType(result.fTest));
  tests.SetConfidenceLevel(result.fConfidenceLevel);
  // One unit row, moved from parameter to parameter: the tests cost O(P) each, the table O(P^2).
  QXMath_600::QXRectMatrix row(1, static_cast<int>(estimates.size()));
  QXMath_600::QXTestStats stats;
  for (int k = 0; k < n; ++k) {
    ParameterResult& p = result.fParameters[static_cast<std::size_t>(k)];
    if (p.fbRedundant) continue;
    row.SetElem(0, k, 1.0);
    stats.Reset(true);
    // One test with no adjustment (m = 1); the bounds use the percentile of the confidence level.
    if (tests.ComputeIndivTest(row, 0, 0.0, 1, stats, true)) {
      p.fStdError = Present(stats.GetStandardError());
      p.fStatistic = Present(stats.GetWald());
      p.fDF = Present(result.fTest == TestKind::kF ? stats.GetDF2() : stats.GetDF());
      if (p.fStatistic) p.fP = Present(stats.GetSig());
      p.fLower = Present(stats.GetLowerConfidenceInterval());
      p.fUpper = Present(stats.GetUpperConfidenceInterval());
    }
    row.SetElem(0, k, 0.0);
  }
}

EffectTestResult ToEffectTestResult(const std::string& effect, const QXMath_600::QXTestStats* stats,
                                    const QXCommon_600::QXStatus* status, TestKind test) {
  EffectTestResult row;
  row.fEffect = effect;
  if (status != nullptr && !status->IsOK()) row.fStatus = status->GetMessage();
  if (stats == nullptr) return row;
  // A record whose test did not run keeps the default df of 0.0: no test has 0 degrees of freedom.
  if (stats->GetDF() > 0.0) row.fDF = Present(stats->GetDF());
  if (test == TestKind::kF) row.fDFError = Present(stats->GetDF2());
  row.fStatistic = Present(stats->GetWald());
  if (row.fStatistic) row.fP = Present(stats->GetSig());
  return row;
}

void AddSumsOfSquares(FitResult& result) {
  const std::optional<double> sigma2 = ComputeErrorVariance(result);
  if (!sigma2) return;
  const bool f = result.fTest == TestKind::kF;
  auto add = [&](EffectTestResult& row) {
    if (!row.fStatistic || !row.fDF) return;
    row.fSumSq = *row.fStatistic * (f ? *row.fDF : 1.0) * *sigma2;
    row.fMeanSq = *row.fSumSq / *row.fDF;
  };
  for (auto& row : result.fTypeI) add(row);
  for (auto& row : result.fTypeIII) add(row);
  if (result.fCorrectedModel) add(*result.fCorrectedModel);
  result.fErrorSumSq = *result.fRmse * *result.fRmse * result.fTotalFreqWeight;
  result.fErrorMeanSq = *sigma2;
}

void CheckFit(FitResult& result, double responseMean) {
  const double intercept = result.fbIntercept ? 1.0 : 0.0;
  if (result.fRSquared && result.fDfError && *result.fDfError > 0.0)
    result.fAdjRSquared =
        1.0 - (1.0 - *result.fRSquared) * (result.fTotalFreqWeight - intercept) / *result.fDfError;
  // Without error degrees of freedom every residual is 0 by construction, which says nothing of the data.
  if (!result.fRmse || !result.fDfError || *result.fDfError <= 0.0) return;
  if (result.fbIntercept && !result.fRSquared) {
    result.AddWarning("the response is constant: R-square is not defined and the tests are not meaningful");
    return;
  }
  // R's test: the residual variance against the mean square of the fitted values, at 1e-30. The
  // weighted mean square of the response about 0 is ybar^2 + TSS / W, and TSS = RSS / (1 - R^2).
  const double rss = *result.fRmse * *result.fRmse;  // per unit of weight
  double meanSquare = QXMV::IsMissing(responseMean) ? 0.0 : responseMean * responseMean;
  if (result.fRSquared && *result.fRSquared < 1.0) meanSquare += rss / (1.0 - *result.fRSquared);
  if (rss <= 1e-30 * meanSquare || (result.fRSquared && *result.fRSquared >= 1.0))
    result.AddWarning(
        "essentially perfect fit: the residuals are about 0 against the response, so the tests are not "
        "meaningful");
}

void TestInterceptOnly(FitResult& result) {
  if (result.fParameters.empty()) return;
  const ParameterResult& p = result.fParameters.front();
  EffectTestResult row;
  row.fEffect = "Intercept";
  row.fDF = 1.0;
  if (result.fTest == TestKind::kF) {
    row.fDFError = result.fDfError;
    if (p.fStatistic) row.fStatistic = *p.fStatistic * *p.fStatistic;
  } else {
    row.fStatistic = p.fStatistic;
  }
  if (row.fStatistic) row.fP = p.fP;
  if (result.fbTypeI) result.fTypeI = {row};
  if (result.fbTypeIII) result.fTypeIII = {row};
}

}  // namespace QXFit
