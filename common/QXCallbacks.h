// Callbacks a caller hands to the library through the settings. The library only borrows them; the
// thread factories are stored and handed back but never used.
#pragma once

#include <vector>

#include "common/QXExport.h"
#include "common/QXStatus.h"

namespace QXCommon_600 {

// Asked by every long loop of the library whether the caller wants the work stopped. Both answers
// may be given from another thread than the one running the loop, so implementations read their
// own state atomically.
class QXCOMMON_API QXQueryCancel {
 public:
  virtual ~QXQueryCancel() = default;
  // The caller asks to stop; the library remembers a true answer and stops.
  virtual bool IsCancelRequested() = 0;
  // A stop is about to be requested; the library stops without remembering the answer.
  virtual bool IsCancelPending() = 0;
};

// One line of an iteration history, filled by SetInfo and handed to a ProgressListener.
class QXCOMMON_API QXIterationReporter {
 public:
  void SetInfo(const std::vector<double>& parameters, int iteration, int stepHalvings, double logLikelihood,
               double elapsedSeconds);

  const std::vector<double>& GetParameters() const { return fParameters; }
  int GetIteration() const { return fIteration; }
  int GetStepHalvings() const { return fStepHalvings; }
  double GetLogLikelihood() const { return fLogLikelihood; }
  double GetElapsedSeconds() const { return fElapsedSeconds; }

 private:
  std::vector<double> fParameters;
  int fIteration = 0;
  int fStepHalvings = 0;
  double fLogLikelihood = 0.0;
  double fElapsedSeconds = 0.0;
};

class QXCOMMON_API ProgressListener {
 public:
  virtual ~ProgressListener() = default;
  virtual void Report(const QXIterationReporter& report) = 0;
  // How far a long computation that has no iterations has come: the sweep of a large linear model
  // ("sweep") or the tests of its effects ("effect tests"), as a fraction of the work that rises from
  // 0 to 1. Called from the thread doing the work, at most a few hundred times per computation.
  // Ignored unless a listener overrides it.
  virtual void ReportProgress(const char* task, double fraction) {
    (void)task;
    (void)fraction;
  }
};

// A list of warning statuses, each kept once.
class QXCOMMON_API QXWarnings {
 public:
  // Adds a warning unless an equal one is already listed; returns whether it was added.
  bool Add(const QXStatus& warning);
  const std::vector<QXStatus>& GetAll() const { return fWarnings; }
  bool IsEmpty() const { return fWarnings.empty(); }
  void Clear() { fWarnings.clear(); }

 private:
  std::vector<QXStatus> fWarnings;
};

}  // namespace QXCommon_600

namespace QXThread_600 {

// Opaque to the library: a caller's means of creating worker threads and per-thread iterators.
class QXCOMMON_API IQXThreadFactory {
 public:
  virtual ~IQXThreadFactory() = default;
};

class QXCOMMON_API QXThreadIterFactory {
 public:
  virtual ~QXThreadIterFactory() = default;
};

}  // namespace QXThread_600
