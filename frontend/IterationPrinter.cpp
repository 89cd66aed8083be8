#include "frontend/IterationPrinter.h"

#include <array>
#include <cstdio>

#include "frontend/ProgressBar.h"

namespace QXFit {

void IterationPrinter::Report(const QXCommon_600::QXIterationReporter& report) {
  if (!fbPrintLines) return;
  // The line stays above the bar, which the next pass draws again.
  if (fpBar != nullptr) fpBar->Clear();
  std::array<char, 64> value{};
  std::snprintf(value.data(), value.size(), "%.10g", -2.0 * report.GetLogLikelihood());
  fOut << "qxfit: iteration " << report.GetIteration() << ": -2 log-likelihood " << value.data();
  const int halvings = report.GetStepHalvings();
  if (halvings > 0) fOut << " (" << halvings << (halvings == 1 ? " step halving)" : " step halvings)");
  fOut << '\n';
  fOut.flush();
}

void IterationPrinter::ReportProgress(const char* task, double fraction) {
  if (fpBar != nullptr) fpBar->ReportProgress(task, fraction);
}

}  // namespace QXFit
