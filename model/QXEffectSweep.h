// X'WX swept effect by effect, as the tests of model effects build their hypotheses from it. The linear
// fit sweeps its cross products this way (index order, effect ranges one after the other, the dependent
// carried along unswept) and keeps the result, so that the tests need not sweep the same matrix again;
// tests run without a fit (or on a fit whose ranges differ) sweep their own copy through the same code.
//
// What one index-order sweep leaves:
//  - the parameters swept (non-redundant) and the aliased ones, with the swept matrix's columns at the
//    aliased ones (refined once against X'WX after a double sweep);
//  - for each effect, its Type I hypotheses: the swept matrix's columns at the effect's parameters just
//    after its own sweep (QXSymMatrix::ExtractH), cleaned of the sweep's rounding noise;
//  - for each non-redundant parameter, the share of its column left when it is regressed on all the
//    other non-redundant ones, and the estimated condition of the swept block;
//  - when the matrix carries the dependent variable (order p + 1, as the fit's does), each effect's
//    Type I sum of squares: the reduction of the dependent's swept element over the effect's pivots,
//    summed from each pivot's non-negative share, so that it is as accurate as the sweep; and, for an
//    effect whose range leaves few parameters outside it, the residual sum of squares and rank of
//    the model without it (an extended sweep of those few), from which the effect's sum of squares
//    adjusted for all the others follows.
//
// Matrices may have more rows than the p parameters (the fit's dependent row and column): those rows are
// carried through the sweep and left out of everything kept here.
#pragma once

#include <functional>
#include <vector>

#include "common/QXBitSet.h"
#include "common/QXExport.h"
#include "common/QXRectMatrix.h"
#include "common/QXSweepMatrix.h"
#include "common/QXSymMatrix.h"

namespace QXMath_600 {

class IQXWorkMonitor;

// What a hypothesis reads of X'WX swept on a set of parameters: the parameters swept, those left
// unswept (aliased) in ascending order, and the swept matrix's columns at them (p rows each). At a
// swept row c such a column holds the coefficient of c when the aliased column is expressed through
// the swept ones.
struct QXSweptColumns {
  QXBitSet fKept;
  std::vector<int> fvAliased;
  QXRectMatrix fColumns;
};

class QXREGRES_API QXEffectSweep {
 public:
  enum class Outcome { kDone, kCancelled, kNoMemory, kNoSource };
  // Runs after each effect's sweep with the effect's position in the list swept, the matrix and the
  // pivots swept so far (over the matrix's order).
  using AfterEffect = std::function<void(std::size_t, const QXSweepMatrix&, const QXBitSet&)>;

  // source: X'WX of order p or more, which must outlive this object and stay unchanged. starts and
  // sizes: the parameter ranges of the effects (a range outside 0 .. p - 1 is skipped). The monitor
  // (may be null) hears every pivot and may stop the sweep.
  QXEffectSweep(const QXSymMatrix& source, int p, std::vector<int> starts, std::vector<int> sizes,
                IQXWorkMonitor* monitor);
  QXEffectSweep(const QXEffectSweep&) = delete;
  QXEffectSweep& operator=(const QXEffectSweep&) = delete;

  // The sweep in index order (each effect's range in turn, then every parameter left), each pivot
  // tested with `tolerance`; `allowed` (may be null) limits the pivots, each of which is then swept
  // whatever its size. With keepTypeI the effects' Type I hypotheses are kept. `work` is left swept.
  Outcome SweepForHypotheses(double tolerance, const QXBitSet* allowed, bool keepTypeI, QXSweepMatrix& work);
  // A sweep on the ranges of `effects` in that order, then with `finish` on every parameter left:
  // in double precision a block at a time for a large matrix, again in double-double when that leaves
  // too few digits. afterEffect may be empty.
  // `condition` (may be null) receives the estimated condition of the swept block (missing after an
  // extended sweep).
  Outcome SweepInOrder(const std::vector<int>& effects, double tolerance, const QXBitSet* allowed,
                       bool finish, const AfterEffect& afterEffect, QXSweepMatrix& work, QXSweptColumns& out,
                       double* condition = nullptr) const;

  // Keeps only the results: the source and the monitor are no longer read (a caller that keeps this
  // object past their lifetime calls it), and SweepInOrder returns kNoSource.
  void ReleaseSource() {
    fpSource = nullptr;
    fpMonitor = nullptr;
  }

  // Results of SweepForHypotheses.
  bool IsDone() const { return fbDone; }
  int GetNParameters() const { return fP; }
  const std::vector<int>& GetEffectStarts() const { return fvStarts; }
  const std::vector<int>& GetEffectSizes() const { return fvSizes; }
  const QXSweptColumns& GetIndexOrderSweep() const { return fIndexOrder; }
  bool HasTypeIHypotheses() const { return fbTypeIKept; }
  // One entry per effect range: the columns (p rows each) and the parameters they belong to.
  const std::vector<QXRectMatrix>& GetTypeIColumns() const { return fvTypeIColumns; }
  const std::vector<std::vector<int>>& GetTypeIParameters() const { return fvTypeIParameters; }
  // Whether the sweep carried the dependent variable and kept each effect's Type I sum of squares.
  bool HasTypeISumsOfSquares() const { return fbTypeIKept && !fvTypeISS.empty(); }
  // The Type I sum of squares of effect range e, in the units of X'WX (the fit's scale,
  // SetFitSolution); 0 without one.
  double GetTypeISumOfSquares(std::size_t e) const {
    return e < fvTypeISS.size() ? fvTypeISS[e] * fFitScale : 0.0;
  }

  // What the fit made of this sweep, which must outlive this object: the swept cross products whose
  // leading p x p block is minus the generalized inverse (X'WX)^- of the fit's covariance, the factor
  // that turns the swept matrix's units into those of X'WX (the fit accumulates weights divided by
  // their total), and the estimates. Set by the fit that owns all three.
  void SetFitSolution(const QXSymMatrix* swept, double scale, const std::vector<double>* estimates,
                      double residualSS);
  // The residual sum of squares and the rank of the model without effect range e, in the units of
  // X'WX; false when not formed (no dependent, or more parameters outside e than kMaxDroppedOrder or
  // than e has).
  bool GetFitWithout(std::size_t e, double& residualSS, int& rank) const;
  // The fit's residual sum of squares in the units of X'WX (SetFitSolution), missing before.
  double GetResidualSS() const;
  // The most parameters outside an effect range for which the model without it is fitted.
  static constexpr int kMaxDroppedOrder = 64;
  // sigma^2 when `covariance` is sigma^2 (X'WX)^- of the fit (elementwise to rounding) and `estimates`
  // are the fit's, so that a Wald form of an estimable L with them is a sum of squares over sigma^2;
  // otherwise, or without the fit's solution, a value that is not positive.
  double ErrorVarianceOf(const QXSymMatrix& covariance, const std::vector<double>& estimates) const;
  // 1 / (d_k (X'WX)^-_kk) for a non-redundant k, 0 elsewhere.
  const std::vector<double>& GetUnexplainedShares() const { return fvUnexplained; }
  double GetCondition() const { return fCondition; }
  QXSweepMatrix::Precision GetPrecision() const { return fPrecision; }

 private:
  // One step of iterative refinement of a double sweep's aliased columns against the source.
  void RefineAliasedColumns(const QXSweepMatrix& work, QXSweptColumns& out) const;
  // The Type I hypotheses of the range first .. last just after its sweep (`swept`: the pivots swept
  // so far), one column per swept parameter of the range, with the rounding noise of the columns of
  // `parameters` set to 0.
  void ExtractTypeI(const QXSweepMatrix& matrix, int first, int last, const QXBitSet& swept,
                    const std::vector<int>& parameters, QXRectMatrix& columns) const;
  // For every effect range that leaves at most kMaxDroppedOrder parameters outside it, and no more than
  // it holds itself: the residual
  // sum of squares and rank of the source's model without the range (fvDroppedRSS, fvDroppedRank).
  void FitWithoutEachLargeRange(double tolerance);

  const QXSymMatrix* fpSource;
  int fP;
  int fOrder;
  std::vector<int> fvStarts;
  std::vector<int> fvSizes;
  IQXWorkMonitor* fpMonitor;
  std::vector<double> fvDiagonal;
  // 1 / sqrt of each positive diagonal element, 0 elsewhere.
  std::vector<double> fvInverseRoot;

  bool fbDone = false;
  bool fbTypeIKept = false;
  QXSweptColumns fIndexOrder;
  std::vector<QXRectMatrix> fvTypeIColumns;
  std::vector<std::vector<int>> fvTypeIParameters;
  std::vector<double> fvTypeISS;
  std::vector<double> fvDroppedRSS;
  std::vector<int> fvDroppedRank;
  double fResidualSS = 0.0;
  bool fbResidualSet = false;
  const QXSymMatrix* fpFitSwept = nullptr;
  double fFitScale = 1.0;
  const std::vector<double>* fpFitEstimates = nullptr;
  std::vector<double> fvUnexplained;
  double fCondition = 0.0;
  QXSweepMatrix::Precision fPrecision = QXSweepMatrix::Precision::kExtended;
};

}  // namespace QXMath_600
