// Type III hypotheses: each effect adjusted for every effect that does not contain it. X'WX is swept
// on the effects that do not contain e, then on e, then on the effects that contain e; the rows of the
// general estimable function for e are made orthogonal to those of the effects containing e, and the
// parameters of the other effects are eliminated from them. For a design without empty cells this is
// the test of the effect's sum-to-zero coefficients (equally weighted marginal means); with empty
// cells it stays a testable hypothesis about the cells that were observed.
#pragma once

#include <vector>

#include "common/QXExport.h"
#include "common/QXStatus.h"
#include "inference/QXBaseModelEffectTest.h"

namespace QXMath_600 {

class QXBitSet;
class QXSymMatrix;

class QXREGRES_API QXModelEffectTestTypeIII : public QXBaseModelEffectTest {
 public:
  QXModelEffectTestTypeIII() = default;
  ~QXModelEffectTestTypeIII() override;

  // Warning 321 when the effect has no hypothesis (all its parameters aliased with effects that do not
  // contain it, or nothing left after the orthogonalisation); error 303 for an effect out of range or,
  // with the settings' transform-effects flag, scale values that do not give one offset and one non-zero
  // scale factor per parameter after the intercept.
  QXCommon_600::QXStatus ComputeEffectLMatrix(int effect, std::vector<int>& rowIndices) override;

 private:
  // W becomes R W R' + A, which turns a matrix swept in the parameters of centred and scaled covariates
  // into the one of the covariates as given (R undoes the scaling and centring of the swept
  // parameters; A carries the centring offsets of the aliased ones).
  QXCommon_600::QXStatus TransformEffects(QXSymMatrix& W, const QXBitSet& swept);
};

}  // namespace QXMath_600
