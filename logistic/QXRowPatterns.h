// The stored rows of one covariate pattern of the pattern tabulator: the records whose factor effects
// fall in the same cells, each kept as its analysis variables in the record extractor's layout, one
// row after another.
#pragma once

#include <vector>

#include "common/QXExport.h"

namespace QXMath_600 {

class QXREGRES_API QXRowPatterns {
 public:
  // Rows of the extractor's width, back to back; at the dependent variable's position each holds the
  // row's category as its position among the model's categories.
  std::vector<double> fRecordData;

  void Display() const;
};

}  // namespace QXMath_600
