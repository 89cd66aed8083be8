// What a long computation of the kernel (the sweep of a large matrix) reports as it goes, and how it
// learns that it should stop: the caller's object is told how much work was done since the last call
// and answers whether to go on. Units are pivots: sweeping one pivot of an order-n matrix costs about
// n^2 operations, so a caller that knows how many pivots lie ahead can turn the counts into a share
// of the work. The kernel calls it between blocks of pivots, never inside one.
#pragma once

#include "common/QXExport.h"

namespace QXMath_600 {

class QXCOMMON_API IQXWorkMonitor {
 public:
  virtual ~IQXWorkMonitor() = default;
  // nPivots more pivots are done. False stops the computation, which then reports that it was stopped
  // and leaves its matrix in no defined state.
  virtual bool ContinueAfter(int nPivots) = 0;
};

}  // namespace QXMath_600
