#include "model/QXRegANOVA.h"

#include "common/QXDisplay.h"

namespace QXMath_600 {

void QXRegANOVA::Display() const {
  using namespace QXDisplay_600;
  // The degrees-of-freedom label keeps its trailing blank: it is the label readers of these dumps know.
  DisplayText(1, " ");
  DisplayText(1, "Start display of QXRegANOVA");
  DisplayText(1, "Model");
  DisplayD("SumOfSquares", fModelSumOfSquares);
  DisplayD("DegreesOfFreedom ", fModelDF);
  DisplayD("Regression Mean Square", fModelMeanSquare);
  DisplayD("F statistics", fModelF);
  DisplayD("P-Value", fModelPValue);
  DisplayText(1, "Error");
  DisplayD("SumOfSquares", fErrorSumOfSquares);
  DisplayD("DegreesOfFreedom ", fErrorDF);
  DisplayD("Regression Mean Square", fErrorMeanSquare);
  DisplayText(1, "Total");
  DisplayD("SumOfSquares", fTotalSumOfSquares);
  DisplayD("DegreesOfFreedom ", fTotalDF);
  DisplayText(1, "End display of QXRegANOVA");
}

}  // namespace QXMath_600
