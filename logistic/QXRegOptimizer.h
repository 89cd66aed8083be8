// Maximum likelihood for the multinomial logistic model by Fisher scoring with step halving. Every
// iteration solves I d = s (I the information matrix and s the score vector at the current
// parameters), tries the full step with a pass that forms the log-likelihood, scores and information
// at once, and keeps it unless the log-likelihood falls. Otherwise it halves the step while the
// log-likelihood falls, with passes that form only the log-likelihood, and forms the scores and
// information at the accepted parameters in one more pass. Then it tests convergence and separation.
//
// How the iteration ended is kept as a convergence state:
//   0 iterating, 1 log-likelihood change below its criterion, 2 parameter change below its criterion,
//   3 both, 4 information matrix singular (or nearly so without signs of separation), 5 step halving
//   could not keep the log-likelihood from falling, 6 maximum number of iterations reached, 7 complete
//   separation, 8 quasi-complete separation, 9 not iterated (before Estimate, and when no iteration is
//   needed: an intercept-only model, whose starting values are its estimates, a model without
//   parameters, or a maximum of 0 iterations).
// None of these is an error: the estimates are those of the last accepted step.
//
// Progress reports carry the seconds since Estimate started, from a monotonic clock.
#pragma once

#include <chrono>
#include <vector>

#include "common/QXCallbacks.h"
#include "common/QXExport.h"
#include "common/QXStatus.h"
#include "common/QXSymMatrix.h"
#include "logistic/IQXAccumStats.h"
#include "logistic/IQXDataHandler.h"
#include "logistic/IQXRegModel.h"
#include "records/QXCancelInfo.h"
#include "settings/QXLogRegSettings.h"

namespace QXMath_600 {

class QXREGRES_API QXRegOptimizer {
 public:
  static constexpr int kIterating = 0;
  static constexpr int kLogLikelihoodConverged = 1;
  static constexpr int kParametersConverged = 2;
  static constexpr int kBothConverged = 3;
  static constexpr int kSingularInformation = 4;
  static constexpr int kStepHalvingFailed = 5;
  static constexpr int kMaxIterationsReached = 6;
  static constexpr int kCompleteSeparation = 7;
  static constexpr int kQuasiCompleteSeparation = 8;
  static constexpr int kNotIterated = 9;

  // Everything is borrowed and must outlive Estimate; beta holds the starting values of the model's
  // kept parameters and receives the estimates. A null listener gets no reports; reportFrequency
  // below 1 counts as 1. The cancel information is the algorithm's, which its Cancel sets.
  QXRegOptimizer(const QXLogRegSettings& settings, const IQXRegModel& model, IQXDataHandler& handler,
                 IQXAccumStats& accumulator, std::vector<double>& beta,
                 QXCommon_600::ProgressListener* listener, int reportFrequency,
                 const QXCancelInfo& cancelInfo);
  QXRegOptimizer(const QXRegOptimizer&) = delete;
  QXRegOptimizer& operator=(const QXRegOptimizer&) = delete;

  // The iteration. Errors of the data passes end it with their status, a cancel with 1; the
  // information matrix cannot be allocated: 305. Afterwards GetInverseInformation holds the inverse
  // of the information matrix at the estimates (zero rows and columns for pivots that failed).
  QXCommon_600::QXStatus Estimate();

  int GetConvergenceState() const { return fConvergenceState; }
  int GetNIterations() const { return fNIterations; }
  // The log-likelihood at the starting values and at the estimates; the system-missing value before
  // Estimate.
  double GetInitialLL() const { return fInitialLL; }
  double GetCurrentLL() const { return fCurrentLL; }
  double GetLastLLChange() const { return fLastLLChange; }
  double GetLastParamChange() const { return fLastParamChange; }
  // The weight accumulated by the last pass.
  double GetAccumulatedWeight() const { return fAccumulatedWeight; }
  const QXSymMatrix& GetInverseInformation() const { return fH; }
  void DeleteMatrix() { fH = QXSymMatrix(); }
  bool IsCancelled() const { return fbCancelled; }
  const QXCommon_600::QXStatus& GetStatus() const { return fStatus; }

  // Cox and Snell, Nagelkerke and McFadden R-square from the initial log-likelihood LL0 (the
  // intercept-only model when the model has an intercept, equal probabilities otherwise), the final LL
  // and the accumulated weight N. All three are 0 when no iteration ran; one that cannot be formed is
  // the system-missing value. True when none is missing.
  bool ComputeRSquares(double& coxSnell, double& nagelkerke, double& mcFadden) const;

  // |old - current|, divided by |old| unless absolute; the system-missing value when either is missing.
  static double LogLikelihoodChange(double oldLL, double currentLL, bool absolute);

  void Display() const;

 private:
  QXCommon_600::QXStatus Pass(bool logLikelihoodOnly, bool separationCheck);
  // The accumulator's log-likelihood, a positive value taken as 0 (rounding at a perfect fit).
  double ReadLL() const;
  // Copies the information matrix into fH and factors it; false when it cannot be allocated.
  bool FactorInformation(int& rankDefect, double& pivotMeasure);
  // The change from previousBeta to the current parameters as the convergence test measures it.
  double ParameterChange(const std::vector<double>& previousBeta) const;
  int TestConvergence(double oldLL, const std::vector<double>& previousBeta, int rankDefect,
                      double pivotMeasure, bool separationCheck);
  bool Cancelled();
  void Report(int halvings);

  const QXLogRegSettings* fpSettings;
  const IQXRegModel* fpModel;
  IQXDataHandler* fpHandler;
  IQXAccumStats* fpAccumulator;
  int fNParameters;
  int fNCategories;
  std::vector<double>* fpBeta;
  QXSymMatrix fH;
  QXConst::QXHessianCompMethod fHessianMethod = QXConst::QXHessianFisher;
  int fConvergenceState = kNotIterated;
  double fLLCriterion;
  double fParamCriterion;
  int fMaxIterations;
  bool fbLLChangeAbsolute;
  bool fbParamChangeAbsolute;
  double fInitialLL;
  double fCurrentLL;
  int fNIterations = 0;
  double fLastLLChange;
  double fLastParamChange;
  double fAccumulatedWeight = 0.0;
  bool fbCancelled = false;
  const QXCancelInfo* fpCancelInfo;
  QXCommon_600::ProgressListener* fpListener;
  int fReportFrequency;
  int fLastReported = -1;
  std::chrono::steady_clock::time_point fStart;
  QXCommon_600::QXStatus fStatus;
};

}  // namespace QXMath_600
