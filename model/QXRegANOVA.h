// The three rows of an analysis-of-variance table (model, error, total) that a caller fills from a
// fitted model and hands to the PMML export. The library never computes it; a value left at the
// system-missing value is left out of the export.
#pragma once

#include "common/QXExport.h"
#include "common/QXMissingValue.h"

namespace QXMath_600 {

struct QXREGRES_API QXRegANOVA {
  // Prints each row with its labelled values; missing values print as such.
  void Display() const;

  double fModelSumOfSquares = QXMV::gMissingValue;
  double fModelDF = QXMV::gMissingValue;
  double fModelMeanSquare = QXMV::gMissingValue;
  double fModelF = QXMV::gMissingValue;
  double fModelPValue = QXMV::gMissingValue;
  double fErrorSumOfSquares = QXMV::gMissingValue;
  double fErrorDF = QXMV::gMissingValue;
  double fErrorMeanSquare = QXMV::gMissingValue;
  double fTotalSumOfSquares = QXMV::gMissingValue;
  double fTotalDF = QXMV::gMissingValue;
};

}  // namespace QXMath_600
