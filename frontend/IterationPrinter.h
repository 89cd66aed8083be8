// The settings' progress listener for a logistic fit: prints the iteration history, one line per
// reported iteration (at the settings' iteration frequency), and passes the progress of the library's
// other long computations on to the progress bar. The lines go where the tool's notes go, on a
// terminal unless --quiet, or always with --iterations.
#pragma once

#include <ostream>

#include "common/QXCallbacks.h"

namespace QXFit {

class ProgressBar;

class IterationPrinter : public QXCommon_600::ProgressListener {
 public:
  // `bar` may be null; `printLines` false shows nothing but the bar.
  IterationPrinter(std::ostream& out, ProgressBar* bar, bool printLines)
      : fOut(out), fpBar(bar), fbPrintLines(printLines) {}

  // "qxfit: iteration 3: -2 log-likelihood 3493.7604 (1 step halving)".
  void Report(const QXCommon_600::QXIterationReporter& report) override;
  void ReportProgress(const char* task, double fraction) override;

 private:
  std::ostream& fOut;
  ProgressBar* fpBar;
  bool fbPrintLines;
};

}  // namespace QXFit
