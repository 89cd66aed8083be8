#include "common/QXCallbacks.h"

#include <algorithm>

namespace QXCommon_600 {

void QXIterationReporter::SetInfo(const std::vector<double>& parameters, int iteration, int stepHalvings,
                                  double logLikelihood, double elapsedSeconds) {
  fParameters = parameters;
  fIteration = iteration;
  fStepHalvings = stepHalvings;
  fLogLikelihood = logLikelihood;
  fElapsedSeconds = elapsedSeconds;
}

bool QXWarnings::Add(const QXStatus& warning) {
  if (std::find(fWarnings.begin(), fWarnings.end(), warning) != fWarnings.end()) return false;
  fWarnings.push_back(warning);
  return true;
}

}  // namespace QXCommon_600
