// The result record of one estimated marginal mean or of one comparison of two: the level indices it
// refers to and its statistics. Statistics that were not formed hold QXMV::gMissingValue.
#pragma once

#include <vector>

#include "common/QXExport.h"
#include "common/QXMissingValue.h"

namespace QXMath_600 {

class QXREGRES_API QXEmmeansStats {
 public:
  QXEmmeansStats() = default;

  // Empties the categories and sets every statistic to the missing value.
  void Reset() { *this = QXEmmeansStats(); }
  void Display() const;

  // The zero-based level indices of the mean (or the pair of levels of a comparison).
  std::vector<int> fvCategories;
  double fMean = QXMV::gMissingValue;
  double fStdError = QXMV::gMissingValue;
  double fLower = QXMV::gMissingValue;
  double fUpper = QXMV::gMissingValue;
  double fSig = QXMV::gMissingValue;
  double fDF = QXMV::gMissingValue;
  double fTStat = QXMV::gMissingValue;
};

}  // namespace QXMath_600
