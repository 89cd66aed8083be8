// The results of one fit as the report shows them: a plain structure, independent of the library's
// interfaces, so that the report can be written and checked on its own. The statistics are the
// library's: the parameter table comes from its Wald tests (QXModelTests) on the covariance of the
// estimates, the effect tables from its tests of model effects.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/QXBitSet.h"
#include "common/QXStatus.h"
#include "common/QXSymMatrix.h"
#include "frontend/EmmeansResult.h"
#include "inference/QXTestStats.h"

namespace QXFit {

// F tests for effects with t tests for single parameters, or Wald chi-square tests for both.
enum class TestKind { kF, kChiSquare };

struct ParameterResult {
  std::string fLabel;
  double fEstimate = 0.0;
  bool fbRedundant = false;
  // Not formed for a redundant parameter, nor without error degrees of freedom.
  std::optional<double> fStdError;
  std::optional<double> fStatistic;  // t, or the chi-square on one degree of freedom
  // The degrees of freedom of the statistic's distribution: the error degrees of freedom for t, 1
  // for the chi-square.
  std::optional<double> fDF;
  std::optional<double> fP;
  std::optional<double> fLower;  // confidence bounds at the fit's confidence level
  std::optional<double> fUpper;
};

// The test of one model effect, or of the corrected model.
struct EffectTestResult {
  std::string fEffect;
  std::optional<double> fDF;
  std::optional<double> fDFError;  // the denominator of F; none for the chi-square
  // The hypothesis sum of squares and mean square, as R's anova shows them: for a linear model the
  // Wald statistic is SS / sigma^2 (F = SS / df / sigma^2), so SS is the statistic times sigma^2.
  std::optional<double> fSumSq;
  std::optional<double> fMeanSq;
  std::optional<double> fStatistic;
  std::optional<double> fP;
  // The text of the warning of an effect that could not be tested, or of another warning status.
  std::optional<std::string> fStatus;
};

struct FitResult {
  std::string fModel;  // the formula as given
  long long fRecordsRead = 0;
  long long fRecordsUsed = 0;
  // The records left out, by the first reason that applies.
  long long fLeftOutMissing = 0;
  long long fLeftOutNotFinite = 0;
  long long fLeftOutUndefined = 0;
  long long fLeftOutWeight = 0;
  bool fbIntercept = true;
  std::optional<double> fRSquared;
  // 1 - (1 - R^2) (W - i) / df, i = 1 with an intercept and 0 without, as R's summary.lm.
  std::optional<double> fAdjRSquared;
  // The library's root mean square error: the square root of the weighted residual sum of squares
  // divided by the total frequency weight W (not by the error degrees of freedom).
  std::optional<double> fRmse;
  std::optional<double> fDfError;
  // sigma, the residual standard error: the square root of the residual sum of squares over the error
  // degrees of freedom, as R's summary.lm reports it.
  std::optional<double> fSigma;
  double fTotalFreqWeight = 0.0;
  double fTotalRegrWeight = 0.0;
  TestKind fTest = TestKind::kF;
  double fConfidenceLevel = 0.95;
  std::vector<ParameterResult> fParameters;

  // The tests of model effects that were asked for, one entry per effect in the library's order.
  bool fbTypeI = false;
  bool fbTypeIII = false;
  std::vector<EffectTestResult> fTypeI;
  std::vector<EffectTestResult> fTypeIII;
  std::optional<EffectTestResult> fCorrectedModel;
  // The error row of the effect tables: the weighted residual sum of squares (RMSE^2 W), its degrees
  // of freedom and sigma^2.
  std::optional<double> fErrorSumSq;
  std::optional<double> fErrorMeanSq;
  // One entry per --emmeans request, in the order given.
  std::vector<EmmeansResult> fEmmeans;
  // Distinct, in order of first appearance.
  std::vector<std::string> fWarnings;

  void AddWarning(const std::string& text);
};

// sigma^2 = RMSE^2 * W / df, the error variance that scales the library's unscaled covariance matrix
// into the covariance of the estimates. None without error degrees of freedom.
std::optional<double> ComputeErrorVariance(const FitResult& result);

// Tests every non-redundant parameter against 0 through the library's Wald tests, with confidence
// bounds at result.fConfidenceLevel: t on result.fDfError degrees of freedom, or the chi-square, as
// result.fTest says. `covariance` is the covariance of the estimates (already scaled by sigma^2).
void FillParameterTests(FitResult& result, const std::vector<double>& estimates,
                        const QXMath_600::QXBitSet& nonRedundant, const QXMath_600::QXSymMatrix& covariance);

// One row of an effect table from the library's record of the test and its status. A p-value is kept
// only beside its statistic.
EffectTestResult ToEffectTestResult(const std::string& effect, const QXMath_600::QXTestStats* stats,
                                    const QXCommon_600::QXStatus* status, TestKind test);

// The sums of squares and mean squares of every effect test and of the corrected model, and the error
// row, from sigma^2; nothing without it.
void AddSumsOfSquares(FitResult& result);

// R-square adjusted for the degrees of freedom, and the warnings of a fit whose tests mean nothing: a
// constant response, or residuals that vanish against the response's scale (R's "essentially perfect
// fit" test). `responseMean` is the weighted mean of the response.
void CheckFit(FitResult& result, double responseMean);

// The tables of a model with an intercept and no effect: the intercept's test, which is its parameter
// test (F = t^2), as R reports it for y ~ 1.
void TestInterceptOnly(FitResult& result);

}  // namespace QXFit
