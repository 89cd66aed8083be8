// The question every long loop of the library asks: does the caller want the work stopped? A cancel
// is remembered in a flag, which the library's own Cancel operations may set from another thread while
// a pass runs; the caller's QXQueryCancel, when attached, is asked until it once says yes.
#pragma once

#include <atomic>

#include "common/QXCallbacks.h"
#include "common/QXExport.h"

namespace QXMath_600 {

class QXREGRES_API QXCancelInfo {
 public:
  QXCancelInfo() = default;
  explicit QXCancelInfo(QXCommon_600::QXQueryCancel* queryCancel) : fpQueryCancel(queryCancel) {}
  // Copies take the flag's value at the time of the copy.
  QXCancelInfo(const QXCancelInfo& other);
  QXCancelInfo& operator=(const QXCancelInfo& other);
  ~QXCancelInfo() = default;

  // Marks the work cancelled; safe to call from any thread.
  void SetCancel() { fbCancelled.store(true); }
  // True once cancelled. Until then the caller's object, if any, is asked, and a yes is remembered so
  // that it is not asked again.
  bool IsCancel();
  // True when cancelled or when the caller's object says a cancel is pending; the answer is passed
  // through, not remembered.
  bool WillCancel() const;

  QXCommon_600::QXQueryCancel* GetCancelPtr() const { return fpQueryCancel; }
  // Replaces the caller's object; a cancel already remembered stays.
  void SetCancelPtr(QXCommon_600::QXQueryCancel* queryCancel) { fpQueryCancel = queryCancel; }

  void Display() const;

 private:
  QXCommon_600::QXQueryCancel* fpQueryCancel = nullptr;
  std::atomic<bool> fbCancelled{false};
};

}  // namespace QXMath_600
