// The library's side of a long kernel computation: it counts the pivots the kernel reports, tells the
// settings' progress listener the share of the work done, and stops the work when the caller cancels
// (the WillCancel rule of every loop of the library).
#pragma once

#include "common/IQXWorkMonitor.h"
#include "common/QXCallbacks.h"
#include "common/QXExport.h"

namespace QXMath_600 {

class QXCancelInfo;

class QXREGRES_API QXWorkProgress : public IQXWorkMonitor {
 public:
  // `task` names the work for the listener and must outlive this object; totalPivots is how many pivots
  // the work will take in all (more work reported than that counts as all of it). The listener may be
  // null.
  QXWorkProgress(QXCancelInfo& cancelInfo, QXCommon_600::ProgressListener* listener, const char* task,
                 double totalPivots);

  // Each pivot the kernel reports counts as `weight` pivots of the total (1 unless set): a pivot of a
  // smaller matrix costs less, (order / total's order)^2.
  void SetPivotWeight(double weight) { fPivotWeight = weight; }
  bool ContinueAfter(int nPivots) override;
  // Adds work the kernel does not count (units of pivots), and reports it like ContinueAfter.
  bool Advance(double pivots);
  // Reports the whole work as done.
  void Finish();
  bool IsCancelled() const;

 private:
  void Report();

  QXCancelInfo& fCancelInfo;
  QXCommon_600::ProgressListener* fpListener;
  const char* fTask;
  double fTotal;
  double fDone = 0.0;
  double fPivotWeight = 1.0;
  double fReported = -1.0;
};

}  // namespace QXMath_600
