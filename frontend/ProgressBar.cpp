#include "frontend/ProgressBar.h"

#include <algorithm>

#if defined(_WIN32)
#include <io.h>
#define QXFIT_ISATTY _isatty
#define QXFIT_FILENO _fileno
#else
#include <unistd.h>
#define QXFIT_ISATTY isatty
#define QXFIT_FILENO fileno
#endif

namespace QXFit {

namespace {
constexpr int kWidth = 30;
}

bool ProgressBar::IsTerminal(std::FILE* out) {
  return out != nullptr && QXFIT_ISATTY(QXFIT_FILENO(out)) != 0;
}

void ProgressBar::Start(const std::string& phase) {
  if (!fbEnabled) return;
  fPhase = phase;
  fPercent = -1;
  Update(0.0);
}

void ProgressBar::Update(double fraction) {
  if (!fbEnabled) return;
  const int percent = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100.0);
  if (percent == fPercent) return;
  fPercent = percent;
  Draw();
}

void ProgressBar::ReportProgress(const char* task, double fraction) {
  if (!fbEnabled || task == nullptr) return;
  if (fTask != task || !fbShown) {
    fTask = task;
    Start(fTask == "sweep" ? "solving" : fTask == "effect tests" ? "testing effects" : fTask);
  }
  Update(fraction);
  if (fraction >= 1.0) {
    Clear();
    fTask.clear();
  }
}

void ProgressBar::Draw() {
  const int filled = fPercent * kWidth / 100;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kWidth - filled), '.');
  std::fprintf(fpOut, "\r\033[Kqxfit: %-24s [%s] %3d%%", fPhase.c_str(), bar.c_str(), fPercent);
  std::fflush(fpOut);
  fbShown = true;
}

void ProgressBar::Clear() {
  if (!fbShown) return;
  std::fprintf(fpOut, "\r\033[K");
  std::fflush(fpOut);
  fbShown = false;
}

}  // namespace QXFit
