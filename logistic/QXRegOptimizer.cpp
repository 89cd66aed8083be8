#include "logistic/QXRegOptimizer.h"

#include <algorithm>
#include <cmath>

#include "common/QXDisplay.h"
#include "common/QXMathFun.h"
#include "common/QXMissingValue.h"
#include "common/QXPower.h"

namespace QXMath_600 {

using QXCommon_600::QXStatus;

namespace {

// Below this pivot measure (the sine of the smallest angle between a column of the information matrix
// and the span of the columns before it) the matrix counts as nearly singular.
constexpr double kNearlySingular = 0.000316;
// Fitted probabilities this close to 1 (or below kTinyProbability) are signs of separation.
constexpr double kSeparationMargin = 0.01;
constexpr double kTinyProbability = 0.001;
// The floor below which the relative parameter change is measured in absolute terms.
constexpr double kRelativeChangeFloor = 1e-6;

}  // namespace

QXRegOptimizer::QXRegOptimizer(const QXLogRegSettings& settings, const IQXRegModel& model,
                               IQXDataHandler& handler, IQXAccumStats& accumulator, std::vector<double>& beta,
                               QXCommon_600::ProgressListener* listener, int reportFrequency,
                               const QXCancelInfo& cancelInfo)
    : fpSettings(&settings),
      fpModel(&model),
      fpHandler(&handler),
      fpAccumulator(&accumulator),
      fNParameters(std::max(model.GetNAllNonRedundant(), 0)),
      fNCategories(model.GetNDependCategories()),
      fpBeta(&beta),
      fLLCriterion(settings.GetLLConCriterion()),
      fParamCriterion(settings.GetParamEstConCriterion()),
      fMaxIterations(settings.GetMaxIterations()),
      fbLLChangeAbsolute(settings.GetLLFuncChange()),
      fbParamChangeAbsolute(settings.GetParamEstChange()),
      fInitialLL(QXMV::gMissingValue),
      fCurrentLL(QXMV::gMissingValue),
      fLastLLChange(QXMV::gMissingValue),
      fLastParamChange(QXMV::gMissingValue),
      fpCancelInfo(&cancelInfo),
      fpListener(listener),
      fReportFrequency(std::max(reportFrequency, 1)) {
  beta.resize(static_cast<std::size_t>(fNParameters), 0.0);
}

QXStatus QXRegOptimizer::Pass(bool logLikelihoodOnly, bool separationCheck) {
  fpHandler->ResetAccumStats(fHessianMethod, separationCheck);
  return fpHandler->ComputeStatsForOptimizer(logLikelihoodOnly);
}

double QXRegOptimizer::ReadLL() const {
  const double ll = fpAccumulator->GetLL();
  if (QXMV::IsMissing(ll)) return ll;
  return ll > 0.0 ? 0.0 : ll;
}

bool QXRegOptimizer::FactorInformation(int& rankDefect, double& pivotMeasure) {
  if (!fpAccumulator->GetHessian(fH)) return false;
  rankDefect = fH.LTChol(fpSettings->GetTolerance(), pivotMeasure);
  return true;
}

bool QXRegOptimizer::Cancelled() {
  if (fpCancelInfo->WillCancel()) fbCancelled = true;
  return fbCancelled;
}

void QXRegOptimizer::Report(int halvings) {
  if (fpListener == nullptr) return;
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - fStart).count();
  QXCommon_600::QXIterationReporter report;
  report.SetInfo(*fpBeta, fNIterations, halvings, fCurrentLL, elapsed);
  fpListener->Report(report);
  fLastReported = fNIterations;
}

double QXRegOptimizer::LogLikelihoodChange(double oldLL, double currentLL, bool absolute) {
  if (QXMV::IsMissing(oldLL) || QXMV::IsMissing(currentLL)) return QXMV::gMissingValue;
  const double change = std::fabs(oldLL - currentLL);
  return absolute ? change : change / std::fabs(oldLL);
}

double QXRegOptimizer::ParameterChange(const std::vector<double>& previousBeta) const {
  return fbParamChangeAbsolute ? QXMathFun::VNrm1Diff(previousBeta, *fpBeta)
                               : QXMathFun::VMaxRelDiff(previousBeta, *fpBeta, kRelativeChangeFloor);
}

int QXRegOptimizer::TestConvergence(double oldLL, const std::vector<double>& previousBeta, int rankDefect,
                                    double pivotMeasure, bool separationCheck) {
  int state = kIterating;
  if (separationCheck) {
    double minObserved = 0.0, maxObserved = 0.0, minComputed = 0.0;
    fpAccumulator->GetMinMaxProbabilities(minObserved, maxObserved, minComputed);
    if (1.0 - minObserved <= kSeparationMargin && 1.0 - maxObserved <= kSeparationMargin)
      state = kCompleteSeparation;
    else if (pivotMeasure > kNearlySingular)
      state = rankDefect > 0 ? kSingularInformation : kIterating;
    else if (maxObserved > 1.0 - kSeparationMargin || minComputed < kTinyProbability)
      state = kQuasiCompleteSeparation;
    else
      state = kSingularInformation;
  } else if (rankDefect > 0) {
    state = kSingularInformation;
  }
  fLastLLChange = LogLikelihoodChange(oldLL, fCurrentLL, fbLLChangeAbsolute);
  // A missing change (no log-likelihood) passes no criterion.
  const bool llConverged = !QXMV::IsMissing(fLastLLChange) && fLastLLChange < fLLCriterion;
  if (state == kIterating && llConverged) state = kLogLikelihoodConverged;
  if (fNParameters > 0) {
    fLastParamChange = ParameterChange(previousBeta);
    if (fLastParamChange < fParamCriterion && (state == kIterating || state == kLogLikelihoodConverged))
      return state + 2;
  }
  if (state != kIterating) return state;
  return fNIterations >= fMaxIterations ? kMaxIterationsReached : kIterating;
}

QXStatus QXRegOptimizer::Estimate() {
  if (fStatus.IsError()) return fStatus;
  fStart = std::chrono::steady_clock::now();
  std::vector<double>& beta = *fpBeta;
  std::vector<double> step(static_cast<std::size_t>(fNParameters), 0.0);
  std::vector<double> previousBeta(static_cast<std::size_t>(fNParameters), 0.0);
  const int maxHalvings = fpSettings->GetMaxStepHalvingValue();
  const int startingIteration = fpSettings->GetStartingIteration();

  fpHandler->SetStatsModel(fpAccumulator, fpModel);
  const auto finish = [this](const QXStatus& status) {
    fStatus = status;
    if (fbCancelled || status.GetErrorCode() == 1) {
      fbCancelled = true;
      fStatus = QXStatus(1, false);
    }
    fpHandler->CleanStatsModel();
    return fStatus;
  };

  QXStatus status = Pass(false, false);
  if (status.IsError()) return finish(status);
  fInitialLL = fCurrentLL = ReadLL();
  double oldLL = fCurrentLL;
  Report(0);
  int rankDefect = 0;
  double pivotMeasure = 1.0;
  if (fNParameters > 0) {
    if (!FactorInformation(rankDefect, pivotMeasure)) return finish(QXStatus(305, false));
    fH.LTSubstitute(fpAccumulator->GetScores(), step);
  }

  const bool interceptsOnly = fpSettings->GetInterceptUse() && fNParameters < fNCategories;
  fConvergenceState = interceptsOnly || fNParameters == 0 || fMaxIterations == 0 ? kNotIterated : kIterating;
  int halvings = 0;
  while (fConvergenceState == kIterating) {
    if (Cancelled()) return finish(QXStatus(1, false));
    ++fNIterations;
    previousBeta = beta;
    double lambda = 1.0;
    bool accepted = false;
    const bool separationCheck = startingIteration >= 1 && fNIterations >= startingIteration;
    // The full step is almost always taken, so its pass forms everything the next iteration needs;
    // halved steps are rarer and try the log-likelihood alone, leaving the full pass for the one kept.
    bool fullPass = false;
    for (halvings = 0;; ++halvings) {
      for (std::size_t i = 0; i < beta.size(); ++i) beta[i] = previousBeta[i] + lambda * step[i];
      fullPass = halvings == 0;
      status = fullPass ? Pass(false, separationCheck) : Pass(true, false);
      if (status.IsError()) return finish(status);
      const double trialLL = ReadLL();
      // At the maximum the log-likelihood of a full step differs from the last one by rounding error
      // only, and may come out lower: a step already below the convergence criterion is taken, so that
      // a fit that has converged does not end as one whose step halving failed.
      const bool negligible = halvings == 0 && ParameterChange(previousBeta) < fParamCriterion;
      if (!QXMV::IsMissing(trialLL) && (QXMV::IsMissing(oldLL) || trialLL >= oldLL || negligible)) {
        accepted = true;
        break;
      }
      if (halvings >= maxHalvings) break;
      if (Cancelled()) return finish(QXStatus(1, false));
      lambda /= 2.0 * fpAccumulator->GetStepAdjustmentFactor();
    }
    if (!accepted) {
      // The information matrix still holds the factor at the restored parameters.
      fConvergenceState = kStepHalvingFailed;
      beta = previousBeta;
      fLastLLChange = fLastParamChange = 0.0;
      break;
    }
    if (!fullPass) {
      status = Pass(false, separationCheck);
      if (status.IsError()) return finish(status);
    }
    fCurrentLL = ReadLL();
    if (!FactorInformation(rankDefect, pivotMeasure)) return finish(QXStatus(305, false));
    fConvergenceState = TestConvergence(oldLL, previousBeta, rankDefect, pivotMeasure, separationCheck);
    oldLL = fCurrentLL;
    if (fConvergenceState == kIterating) fH.LTSubstitute(fpAccumulator->GetScores(), step);
    if (fNIterations % fReportFrequency == 0) Report(halvings);
  }
  if (Cancelled()) return finish(QXStatus(1, false));

  if (fNParameters > 0) fH.LTInverse();
  std::int64_t valid = 0, invalid = 0;
  fpAccumulator->GetCounts(valid, invalid, fAccumulatedWeight);
  if (fLastReported != fNIterations) Report(halvings);
  return finish(QXStatus());
}

bool QXRegOptimizer::ComputeRSquares(double& coxSnell, double& nagelkerke, double& mcFadden) const {
  coxSnell = nagelkerke = mcFadden = 0.0;
  const double ll0 = fInitialLL, ll = fCurrentLL, n = fAccumulatedWeight;
  if (fNIterations < 1 || !(n > 0.0) || QXMV::IsMissing(ll0) || QXMV::IsMissing(ll)) return true;
  coxSnell = nagelkerke = mcFadden = QXMV::gMissingValue;
  const double x = (2.0 * ll0 - 2.0 * ll) / n;
  // 1 - e^x through expm1, which keeps the digits of an R-square near 0.
  if (x <= QXPower::gMachineMaxExp) coxSnell = -std::expm1(x);
  const double y = 2.0 * ll0 / n;
  if (!QXMV::IsMissing(coxSnell) && y <= QXPower::gMachineMaxExp && std::expm1(y) != 0.0)
    nagelkerke = coxSnell / -std::expm1(y);
  if (ll0 != 0.0)
    mcFadden = 1.0 - ll / ll0;
  else if (ll == 0.0)
    mcFadden = 0.0;
  return !QXMV::IsMissing(coxSnell) && !QXMV::IsMissing(nagelkerke) && !QXMV::IsMissing(mcFadden);
}

void QXRegOptimizer::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXRegOptimizer display start");
  DisplayI("Number of estimated parameters", fNParameters);
  DisplayI("Number of response categories", fNCategories);
  DisplayDV("Parameter estimates", *fpBeta);
  DisplayText(1, "Information matrix (H):");
  fH.Display();
  DisplayI("Convergence state", fConvergenceState);
  DisplayD("Log-likelihood convergence criterion", fLLCriterion);
  DisplayD("Parameter convergence criterion", fParamCriterion);
  DisplayI("Maximum iterations", fMaxIterations);
  DisplayB("Log-likelihood change is absolute", fbLLChangeAbsolute);
  DisplayB("Parameter change is absolute", fbParamChangeAbsolute);
  DisplayD("Initial log-likelihood", fInitialLL);
  DisplayD("Current log-likelihood", fCurrentLL);
  DisplayI("Iterations", fNIterations);
  DisplayD("Last log-likelihood change", fLastLLChange);
  DisplayD("Last parameter change", fLastParamChange);
  DisplayD("Accumulated weight", fAccumulatedWeight);
  DisplayB("Cancelled", fbCancelled);
  DisplayI("Report frequency", fReportFrequency);
  DisplayI("Status", fStatus.GetErrorCode());
  DisplayText(1, "QXRegOptimizer display end");
}

}  // namespace QXMath_600
