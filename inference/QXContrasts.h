// Coefficient matrices of the contrasts among the k levels of one factor, which the marginal means
// apply to the means of a test group: simple, deviation, Helmert, difference, repeated, orthogonal
// polynomial and all pairwise differences. Every matrix has one column per level, in level order,
// and one row per contrast.
//
// Each operation resizes the matrix it fills. Fewer than two levels, and arguments that cannot
// describe a contrast, give status 320 (an error) and leave the matrix unchanged.
#pragma once

#include <vector>

#include "common/QXExport.h"
#include "common/QXRectMatrix.h"
#include "common/QXStatus.h"

namespace QXMath_600 {

class QXREGRES_API QXContrasts {
 public:
  // (k - 1) x k: each level other than `reference` against it, in level order.
  static QXCommon_600::QXStatus ComputeSimpleContrast(int k, int reference, QXRectMatrix& m);
  // k x k: each level against the mean of all levels.
  static QXCommon_600::QXStatus ComputeDeviationContrast(int k, QXRectMatrix& m);
  // (k - 1) x k: each level against the mean of the later levels.
  static QXCommon_600::QXStatus ComputeHelmertContrast(int k, QXRectMatrix& m);
  // (k - 1) x k: each level against the mean of the earlier levels.
  static QXCommon_600::QXStatus ComputeDifferenceContrast(int k, QXRectMatrix& m);
  // (k - 1) x k: each level against the next.
  static QXCommon_600::QXStatus ComputeRepeatedContrast(int k, QXRectMatrix& m);
  // (k - 1) x k: row i is the orthogonal polynomial of degree i + 1 at the first k metric values,
  // scaled to unit length with a positive leading coefficient. The values must be finite and not all
  // equal; with unequal spacing the rows stay orthonormal.
  static QXCommon_600::QXStatus ComputePolynomialContrast(int k, const std::vector<double>& metricValues,
                                                          QXRectMatrix& m);
  // k (k - 1) x k: block a (rows a (k - 1) ..) holds level a minus each other level b, b ascending,
  // so every difference appears in both directions.
  static QXCommon_600::QXStatus ComputePairwiseContrast(int k, QXRectMatrix& m);
};

}  // namespace QXMath_600
