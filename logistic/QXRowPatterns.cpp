#include "logistic/QXRowPatterns.h"

#include "common/QXDisplay.h"

namespace QXMath_600 {

void QXRowPatterns::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, "QXRowPatterns display start");
  DisplayDV("fRecordData", fRecordData);
  DisplayIV("fColumns", fColumns);
  DisplayDV("fFixedValues", fFixedValues);
  DisplayDV("fFitRows", fFitRows);
  DisplayText(1, "QXRowPatterns display end");
}

}  // namespace QXMath_600
