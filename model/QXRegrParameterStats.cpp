#include "model/QXRegrParameterStats.h"

#include <cmath>
#include <string_view>

#include "common/QXDisplay.h"

namespace QXMath_600 {

double QXRegrParameterStats::GetSqrtDeff() const {
  if (QXMV::IsMissing(fDesignEffect) || !(fDesignEffect >= 0.0)) return QXMV::gMissingValue;
  return std::sqrt(fDesignEffect);
}

void QXRegrParameterStats::Display() const {
  using namespace QXDisplay_600;
  const auto displayFormed = [](std::string_view label, double value) {
    if (!QXMV::IsMissing(value)) DisplayD(label, value);
  };
  DisplayText(1, " ");
  DisplayI("Begin Parameter Stats for regression parameter", fParamIndex);
  if (fModelEffectIndex >= 0) DisplayI("Model effect index", fModelEffectIndex);
  DisplayD("Parameter estimate", fEstimate);
  DisplayB("Redundant?", fbRedundant);
  displayFormed("Standard error", fStdError);
  displayFormed("Conf. Interval Lower Bound", fLowerBound);
  displayFormed("Conf. Interval Upper Bound", fUpperBound);
  displayFormed("T test", fTStat);
  displayFormed("Degrees of freedom", fDF);
  displayFormed("Sig", fSig);
  displayFormed("Chi Square Stat", fChiSquare);
  if (fbExpBounds) {
    DisplayD("Exp Conf Interval Lower", fExpLowerBound);
    DisplayD("Exp Conf Interval Upper", fExpUpperBound);
  }
}

}  // namespace QXMath_600
