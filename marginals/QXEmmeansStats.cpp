#include "marginals/QXEmmeansStats.h"

#include "common/QXDisplay.h"

namespace QXMath_600 {

void QXEmmeansStats::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXEmmeansStats display start");
  DisplayIV("Categories", fvCategories);
  DisplayD("Mean", fMean);
  DisplayD("Standard error", fStdError);
  DisplayD("Lower", fLower);
  DisplayD("Upper", fUpper);
  DisplayD("Significance", fSig);
  DisplayD("Degree of freedom", fDF);
  DisplayD("T statistics", fTStat);
  DisplayText(1, "QXEmmeansStats display end");
}

}  // namespace QXMath_600
