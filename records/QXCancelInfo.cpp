#include "records/QXCancelInfo.h"

#include "common/QXDisplay.h"

namespace QXMath_600 {

QXCancelInfo::QXCancelInfo(const QXCancelInfo& other)
    : fpQueryCancel(other.fpQueryCancel), fbCancelled(other.fbCancelled.load()) {}

QXCancelInfo& QXCancelInfo::operator=(const QXCancelInfo& other) {
  fpQueryCancel = other.fpQueryCancel;
  fbCancelled.store(other.fbCancelled.load());
  return *this;
}

bool QXCancelInfo::IsCancel() {
  if (fbCancelled.load()) return true;
  if (!fpQueryCancel || !fpQueryCancel->IsCancelRequested()) return false;
  // Only a yes is stored: writing back a no could erase a SetCancel made meanwhile on another thread.
  fbCancelled.store(true);
  return true;
}

bool QXCancelInfo::WillCancel() const {
  if (fbCancelled.load()) return true;
  return fpQueryCancel != nullptr && fpQueryCancel->IsCancelPending();
}

void QXCancelInfo::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXCancelInfo display start");
  DisplayB("fbCancelled", fbCancelled.load());
  DisplayText(1, fpQueryCancel != nullptr ? "fpQueryCancel is set" : "fpQueryCancel is 0");
  DisplayText(1, "QXCancelInfo display end");
}

}  // namespace QXMath_600
