#include "inference/QXTestStats.h"

#include "common/QXDisplay.h"
#include "settings/QXDisplayC.h"

namespace QXMath_600 {

void QXTestStats::Reset(bool resetAll) {
  const QXConst::QXTestType type = fTestType;
  const QXConst::QXPAdjustMethod method = fPAdjMethod;
  *this = QXTestStats();
  if (resetAll) return;
  fTestType = type;
  fPAdjMethod = method;
}

void QXTestStats::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXTestStats display start");
  DisplayC("Test type", fTestType);
  DisplayC("p-value adjustment method", fPAdjMethod);
  DisplayD("df", fDF);
  DisplayD("df2", fDF2);
  DisplayD("Wald", fWald);
  DisplayD("Sig", fSig);
  DisplayD("Adjusted Sig", fAdjSig);
  DisplayD("Contrast Estimate", fContrastEstimate);
  DisplayD("Standard Error", fStandardError);
  DisplayB("Used in Overall", fbUsedInOverallTest);
  DisplayD("Lower confidence interval", fLowerConfidenceInterval);
  DisplayD("Upper confidence interval", fUpperConfidenceInterval);
  DisplayText(1, "QXTestStats display end");
}

}  // namespace QXMath_600
