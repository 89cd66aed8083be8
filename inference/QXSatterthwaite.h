// Satterthwaite denominator degrees of freedom for tests and intervals of linear combinations of the
// fixed effects of a mixed model, whose covariance C11 depends on estimated variance parameters theta.
// The caller builds the object from matrices it already has after estimating theta and hands it to
// the model tests and the marginal means; the library never creates one.
//
// Conventions (what the caller passes):
// - H^-1 is the inverse of H, the Hessian (observed or expected) of -2 times the (restricted) log
//   likelihood with respect to theta, so that Cov(theta-hat) = 2 H^-1. For a combination l with
//   variance v(theta) = l' C11 l and gradient g = dv/dtheta, the Satterthwaite degrees of freedom
//   2 v^2 / (g' Cov(theta-hat) g) are then v^2 / G with G = g' H^-1 g, the form used here.
// - g is formed from the mixed model equations M [beta; u] = rhs, whose inverse C = M^-1 has the
//   blocks C11 (fixed effects), C21 = R (random by fixed) and C22. For lambda = [l; 0] (or [x; z]),
//   dC/dtheta_i = -C (dM/dtheta_i) C, so with t = C11 l and u = C21 l
//       g_i = t' (-dM11_i) t + 2 u' (-dM21_i) t + u' (-dM22_i) u.
//   The caller passes the negated derivative blocks, which makes every term a plain quadratic form:
//   * derivative matrices of C11 (constructor), one per theta: D_i = -dM11/dtheta_i (order p), so
//     that dC11/dtheta_i = C11 D_i C11 when the random part is absent. A marginal-model caller with
//     V(theta) = Var(y) passes D_i = X' V^-1 (dV/dtheta_i) V^-1 X and needs no further information.
//   * SetAdditionalInfo splits theta in two groups. The first group (one pair each, in theta order)
//     enters only the covariance G of the random effects: its pair holds B_i = -d(G_k^-1)/dtheta_i as
//     a block-diagonal matrix placed at the pair's offset inside every random-effect block k. The
//     second group (the remaining theta, e.g. residual variances) enters M through R^-1: D_i above,
//     plus per random-effect block k a rectangular A_ki = -dM21_i restricted to block k (rows of the
//     block, p columns) and a symmetric S_ki = -dM22_i restricted to block k. A null A or S means a
//     zero derivative in that block.
//   * The random effects are q = (length of the double vector) coefficients in m equal blocks (m = the
//     length of the vector of symmetric-matrix vectors, typically the subjects), of b = q / m each.
//     The rectangular matrix of SetAdditionalInfo is R = C21 (q x p), the symmetric one C22 (q x q),
//     needed for combinations with a random part. The block-diagonal matrix (the covariance of one
//     block of random effects) is kept for display only.
// - Until SetAdditionalInfo is called every theta belongs to the second group with no random part:
//   the marginal-model use.
//
// Failures (a matrix of the wrong order, a missing derivative, a zero or negative G) give
// QXMV::gMissingValue; results are never larger than the residual degrees of freedom. Everything
// passed in is the caller's and must outlive the object.
#pragma once

#include <utility>
#include <vector>

#include "common/QXDiagMatrix.h"
#include "common/QXExport.h"
#include "common/QXRectMatrix.h"
#include "common/QXSymBlockDiagMatrix.h"
#include "common/QXSymMatrix.h"

namespace QXMath_600 {

class QXModelTests;

class QXREGRES_API QXSatterthwaite {
 public:
  QXSatterthwaite(const QXSymMatrix& hInverse, const QXSymMatrix& c11, const std::vector<double>& theta,
                  const std::vector<QXSymMatrix*>& c11Derivatives, double residualDF);

  // Stores each argument only when it is not set yet (the first call wins), then sets the two group
  // sizes from the stored pair vector.
  void SetAdditionalInfo(const std::vector<double>& randomEffects, const QXSymBlockDiagMatrix& gBlock,
                         const QXRectMatrix& c21, const QXSymMatrix& c22,
                         const std::vector<std::pair<QXSymBlockDiagMatrix*, int>>& gDerivatives,
                         const std::vector<std::vector<QXRectMatrix*>>& rectDerivatives,
                         const std::vector<std::vector<QXSymMatrix*>>& symDerivatives);

  // Degrees of freedom of one combination l of the fixed effects, dense or as index/value pairs.
  double ComputeDF4XRow(const std::vector<double>& row) const;
  double ComputeDF4XRow(const std::vector<int>& indices, const std::vector<double>& values) const;

  // Degrees of freedom of the joint F test of the rows of L (Fai and Cornelius): each direction of
  // the spectral decomposition L C11 L' = P diag(lambda) P' gets nu_k = lambda_k^2 / G_k; with
  // E = sum nu_k / (nu_k - 2) over the m directions of positive variance, nu = 2 E / (E - m). The
  // residual degrees of freedom replace a result that is not positive or exceeds them.
  double ComputeDF4FixedOverall(const QXRectMatrix& L);

  // The degrees of freedom of each row of L separately into `out`, and each row's variance
  // l' C11 l into `variances` (both one value per row; missing where a row has none).
  void ComputeDF4FixedOverallNIndiv(const QXRectMatrix& L, std::vector<double>& variances,
                                    std::vector<double>& out) const;

  // Degrees of freedom of x' beta + z' u, a combination with a fixed part x and a random part z. In
  // the dense form z covers random-effect block `block` (b entries), or all q random effects when
  // block is negative. In the sparse form the z indices run over all q random effects. An empty z
  // gives ComputeDF4XRow(x).
  double ComputeDF4XZRow(const std::vector<double>& x, const std::vector<double>& z, int block) const;
  double ComputeDF4XZRow(const std::vector<int>& xIndices, const std::vector<double>& xValues,
                         const std::vector<int>& zIndices, const std::vector<double>& zValues) const;

  const QXSymMatrix& GetC11() const { return *fpC11; }
  double GetResidualDF() const { return fResidualDF; }

  void Display() const;

 private:
  // The model tests form (l' C11 l)^2 / G themselves.
  friend class QXModelTests;

  // G = g' H^-1 g for the combination l of the fixed effects; missing when it cannot be formed.
  double ComputegHinvg(const std::vector<double>& row) const;
  double ComputegHinvg(const std::vector<int>& indices, const std::vector<double>& values) const;

  // G from C lambda split into its fixed part t (p entries) and its random part u (q entries; empty
  // when there is no random part).
  double ComputeG(const std::vector<double>& t, const std::vector<double>& u) const;
  // v^2 / G bounded by the residual degrees of freedom; missing for a missing v or an unusable G.
  double Bounded(double v, double g) const;
  // Number of random-effect coefficients, of blocks and of coefficients per block (all 0 when the
  // random part is absent); false when they are inconsistent.
  bool RandomLayout(int& q, int& nBlocks, int& blockLength) const;
  // u = C21 l for a combination of the fixed effects (empty without a random part); false when C21
  // does not fit.
  bool FormRandomPart(const std::vector<double>& l, std::vector<double>& u) const;
  // Degrees of freedom of [x; z]' [beta; u] for dense x (p entries) and z (q entries).
  double ComputeXZ(const std::vector<double>& x, const std::vector<double>& z) const;

  const QXSymMatrix* fpHInverse;
  const QXSymMatrix* fpC11;
  const QXRectMatrix* fpC21 = nullptr;
  const QXSymMatrix* fpC22 = nullptr;
  const std::vector<double>* fpTheta;
  const std::vector<double>* fpRandomEffects = nullptr;
  const QXSymBlockDiagMatrix* fpGBlock = nullptr;
  const std::vector<std::pair<QXSymBlockDiagMatrix*, int>>* fpGDerivatives = nullptr;
  const std::vector<std::vector<QXRectMatrix*>>* fpRectDerivatives = nullptr;
  const std::vector<std::vector<QXSymMatrix*>>* fpSymDerivatives = nullptr;
  const std::vector<QXSymMatrix*>* fpC11Derivatives;
  int fNTheta;
  int fNFirstGroup = 0;
  int fNSecondGroup;
  double fResidualDF;
  // The decomposition of the last overall computation, kept for Display.
  QXDiagMatrix fEigenValues;
  QXRectMatrix fEigenVectors;
  QXSymMatrix fLCL;
};

}  // namespace QXMath_600
