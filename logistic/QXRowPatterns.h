// The stored rows of one covariate pattern of the pattern tabulator: the records whose factor effects
// fall in the same cells, each kept as its analysis variables in the record extractor's layout, one
// row after another. When the fit's iterations begin, the rows are recast into what every iteration
// reads of them, and the stored rows are released.
#pragma once

#include <vector>

#include "common/QXExport.h"

namespace QXMath_600 {

class QXREGRES_API QXRowPatterns {
 public:
  // Rows of the extractor's width, back to back; at the dependent variable's position each holds the
  // row's category as its position among the model's categories.
  std::vector<double> fRecordData;
  // From the first iteration on: the pattern's design columns over the kept parameters (those of
  // effects without covariates first), their fixed values, and per row its category, its weight and
  // its values of the other columns.
  std::vector<int> fColumns;
  std::vector<double> fFixedValues;
  std::vector<double> fFitRows;

  void Display() const;
};

}  // namespace QXMath_600
