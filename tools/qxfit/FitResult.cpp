#include "tools/qxfit/FitResult.h"

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
      p.fP = Present(stats.GetSig());
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
  row.fP = Present(stats->GetSig());
  return row;
}

}  // namespace QXFit
