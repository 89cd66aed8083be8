// Type III hypotheses: each effect adjusted for every effect that does not contain it. The general
// estimable function H' of X'WX swept on the non-redundant parameters gives one column for each
// non-redundant parameter c: 1 at c, 0 at the other non-redundant parameters, and at every aliased
// parameter the coefficient of c in that aliased column. The columns of effect e are made orthogonal
// to those of the effects containing e, and the parameters of the other effects are eliminated from
// them. For a design without empty cells this is the test of the effect's sum-to-zero coefficients
// (equally weighted marginal means); with empty cells it stays a testable hypothesis about the cells
// that were observed.
//
// The columns differ from the unit vectors only at the aliased parameters, so the projection is solved
// in the space of the aliased parameters (a system of their number). The sweep that defines the
// hypothesis takes the effects that do not contain e first; whenever that leaves the same parameters
// aliased as the index order (hierarchical models with an intercept), the one sweep of the shared data
// serves every effect, and the construction costs in proportion to the effect's parameters times those
// of the effects containing it.
#pragma once

#include <vector>

#include "common/QXExport.h"
#include "common/QXRectMatrix.h"
#include "common/QXStatus.h"
#include "inference/QXBaseModelEffectTest.h"

namespace QXMath_600 {

struct QXSweptColumns;

class QXREGRES_API QXModelEffectTestTypeIII : public QXBaseModelEffectTest {
 public:
  QXModelEffectTestTypeIII() = default;
  ~QXModelEffectTestTypeIII() override;

  // Warning 321 when the effect has no hypothesis (no non-redundant parameter, or nothing left after
  // the orthogonalisation); error 303 for an effect out of range or, with the settings'
  // transform-effects flag, scale values that do not give one offset and one non-zero scale factor per
  // parameter after the intercept (or an aliased intercept, which the transformation cannot carry).
  QXCommon_600::QXStatus ComputeEffectLMatrix(int effect, std::vector<int>& rowIndices) override;

 protected:
  // An effect contained in no other is tested adjusted for all the others: for a linear model tested
  // with the fit's own sweep and covariance, W is that sum of squares over sigma^2 when the sweep has
  // it (the last effect's Type I sum of squares, or the model without the effect fitted beside the
  // sweep when few parameters lie outside it, as for a many-level factor beside a few covariates).
  bool KnownWaldForm(int effect, int rows, double& w) const override;

 private:
  // The effects that do not contain e (in model order), e, then those that contain it.
  std::vector<int> SweepOrder(int effect) const;
  // Whether sweeping in `order` leaves aliased exactly the parameters the index-order sweep did, so
  // that its columns serve: every non-redundant parameter keeps a clear share of its column against
  // all the others, and every aliased one is made, within rounding, of non-redundant parameters that
  // come before it in `order`.
  bool IndexOrderServes(const std::vector<int>& order) const;
  // The hypothesis of effect e from a sweep and the columns T read at its aliased parameters.
  QXCommon_600::QXStatus BuildHypothesis(int effect, const QXSweptColumns& sweep, const QXRectMatrix& T,
                                         std::vector<int>& rowIndices);
  // The aliased columns of a sweep after W becomes R W R' + A, which turns a matrix swept in the
  // parameters of centred and scaled covariates into the one of the covariates as given (R undoes the
  // scaling and centring of the swept parameters; A carries the centring offsets of the aliased ones).
  // Only the rows of swept parameters are transformed: they are all a hypothesis reads.
  QXCommon_600::QXStatus TransformColumns(const QXSweptColumns& sweep, QXRectMatrix& out) const;

  QXRectMatrix fTransformedColumns;
  bool fbTransformed = false;
};

}  // namespace QXMath_600
