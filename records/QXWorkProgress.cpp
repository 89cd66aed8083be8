#include "records/QXWorkProgress.h"

#include <algorithm>

#include "records/QXCancelInfo.h"

namespace QXMath_600 {

namespace {

// The listener hears of every step of at least this share of the work: a few hundred calls in all.
constexpr double kReportStep = 0.005;

}  // namespace

QXWorkProgress::QXWorkProgress(QXCancelInfo& cancelInfo, QXCommon_600::ProgressListener* listener,
                               const char* task, double totalPivots)
    : fCancelInfo(cancelInfo), fpListener(listener), fTask(task), fTotal(totalPivots) {
  Report();
}

bool QXWorkProgress::ContinueAfter(int nPivots) { return Advance(nPivots * fPivotWeight); }

bool QXWorkProgress::Advance(double pivots) {
  fDone += pivots;
  Report();
  return !IsCancelled();
}

void QXWorkProgress::Finish() {
  fDone = std::max(fDone, fTotal);
  Report();
}

bool QXWorkProgress::IsCancelled() const { return fCancelInfo.WillCancel(); }

void QXWorkProgress::Report() {
  if (fpListener == nullptr) return;
  const double fraction = fTotal > 0.0 ? std::clamp(fDone / fTotal, 0.0, 1.0) : 1.0;
  if (fraction < fReported + kReportStep && !(fraction == 1.0 && fReported < 1.0)) return;
  fReported = fraction;
  fpListener->ReportProgress(fTask, fraction);
}

}  // namespace QXMath_600
