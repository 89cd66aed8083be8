// A one-line progress bar on a terminal: the phase of the work and how far it has come. It redraws
// only when the shown percentage changes, so callers may update it as often as they like, and it
// draws nothing at all when disabled (output that is not a terminal, or --quiet).
#pragma once

#include <cstdio>
#include <string>

namespace QXFit {

class ProgressBar {
 public:
  ProgressBar(std::FILE* out, bool enabled) : fpOut(out), fbEnabled(enabled && out != nullptr) {}
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;
  ~ProgressBar() { Clear(); }

  // True when stderr is a terminal, the only place a progress bar belongs.
  static bool IsTerminal(std::FILE* out);

  void Start(const std::string& phase);
  // fraction in [0, 1]; other values are clamped.
  void Update(double fraction);
  // Removes the bar, leaving the line empty for what is printed next.
  void Clear();

 private:
  void Draw();

  std::FILE* fpOut;
  bool fbEnabled;
  bool fbShown = false;
  std::string fPhase;
  int fPercent = -1;
};

}  // namespace QXFit
