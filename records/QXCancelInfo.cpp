#include "records/QXCancelInfo.h"

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

}  // namespace QXMath_600
