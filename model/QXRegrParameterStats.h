// The statistics of one regression parameter as a fitted model hands them out: the estimate, whether
// it is aliased, and whatever inference the model formed for it. The linear model fills only the
// index, the estimate, the redundancy flag and the effect index; every statistic that was not formed
// keeps the system-missing value, so the exports can leave it out.
#pragma once

#include "common/QXExport.h"
#include "common/QXMissingValue.h"

namespace QXMath_600 {

struct QXREGRES_API QXRegrParameterStats {
  // The square root of the design effect when that is a number >= 0, else the system-missing value.
  double GetSqrtDeff() const;
  // Prints the index, the estimate and the redundancy flag, then only the statistics that were
  // formed.
  void Display() const;

  // Position of the parameter in the model's parameter list; -1 for none.
  int fParamIndex = -1;
  double fEstimate = QXMV::gMissingValue;
  // Aliased with earlier parameters; a new record counts as redundant until a model says otherwise.
  bool fbRedundant = true;
  double fStdError = QXMV::gMissingValue;
  double fLowerBound = QXMV::gMissingValue;
  double fUpperBound = QXMV::gMissingValue;
  double fTStat = QXMV::gMissingValue;
  // Degrees of freedom of the test; 0.0, not missing, when no test was made.
  double fDF = 0.0;
  double fSig = QXMV::gMissingValue;
  double fDesignEffect = QXMV::gMissingValue;
  int fModelEffectIndex = -1;
  double fChiSquare = QXMV::gMissingValue;
  // Whether the bounds of the exponentiated estimate below hold values.
  bool fbExpBounds = false;
  double fExpLowerBound = QXMV::gMissingValue;
  double fExpUpperBound = QXMV::gMissingValue;
  // Never computed by the library; the callers' exports may carry one.
  double fZStat = QXMV::gMissingValue;
};

}  // namespace QXMath_600
