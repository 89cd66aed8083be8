// Type I (sequential) hypotheses: each effect adjusted for the effects before it in model order. The
// hypothesis of effect e is what X'WX swept on the effects before e and on e itself holds: for each
// swept parameter c of e, the row with 1 at c, 0 at the other swept parameters and, at every parameter
// j not swept yet, the coefficient of c in the regression of column j on the swept columns. Its Wald
// statistic is the sequential sum of squares of e over the error variance.
#pragma once

#include <vector>

#include "common/QXExport.h"
#include "inference/QXBaseModelEffectTest.h"

namespace QXMath_600 {

class QXREGRES_API QXModelEffectTestTypeI : public QXBaseModelEffectTest {
 public:
  QXModelEffectTestTypeI() = default;
  ~QXModelEffectTestTypeI() override;

  // Effects may be asked for in any order: each hypothesis was kept when the shared data swept X'WX.
  // An effect whose parameters were all swept by earlier effects leaves L empty, and its test then
  // records warning 321.
  QXCommon_600::QXStatus ComputeEffectLMatrix(int effect, std::vector<int>& rowIndices) override;

 protected:
  // For a linear model tested with the fit's own sweep and covariance, W is the reduction in the
  // residual sum of squares that the effect's pivots made, over sigma^2: no L V L' to invert.
  bool KnownWaldForm(int effect, int rows, double& w) const override;
};

}  // namespace QXMath_600
