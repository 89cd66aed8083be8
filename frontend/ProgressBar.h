// A one-line progress bar on a terminal: the phase of the work and how far it has come. It redraws
// only when the shown percentage changes, so callers may update it as often as they like, and it
// draws nothing at all when disabled (output that is not a terminal, or --quiet). As the settings'
// progress listener it also follows the library's long computations between the passes: the sweep
// of a large model and the tests of its effects.
#pragma once

#include <cstdio>
#include <string>

#include "common/QXCallbacks.h"

namespace QXFit {

class ProgressBar : public QXCommon_600::ProgressListener {
 public:
  ProgressBar(std::FILE* out, bool enabled) : fpOut(out), fbEnabled(enabled && out != nullptr) {}
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;
  ~ProgressBar() override { Clear(); }

  // True when stderr is a terminal, the only place a progress bar belongs.
  static bool IsTerminal(std::FILE* out);

  void Start(const std::string& phase);
  // fraction in [0, 1]; other values are clamped.
  void Update(double fraction);
  // Removes the bar, leaving the line empty for what is printed next.
  void Clear();

  // The library's iteration history is not shown.
  void Report(const QXCommon_600::QXIterationReporter&) override {}
  // Shows the task under its own phase and removes the bar when the task is done.
  void ReportProgress(const char* task, double fraction) override;

 private:
  void Draw();

  std::FILE* fpOut;
  bool fbEnabled;
  bool fbShown = false;
  std::string fPhase;
  std::string fTask;
  int fPercent = -1;
};

}  // namespace QXFit
