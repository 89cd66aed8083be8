// A working copy of a symmetric matrix for sweeping: the cross products of the linear fit, the
// hypothesis matrices L V L' whose generalized inverses the Wald tests need, and the X'WX from which
// the tests of model effects build their hypotheses. It sweeps in one of two precisions.
//
//  - Double: a dense matrix of doubles (lower triangle, by columns), swept a block of pivots at a
//    time. The pivots of a block are swept one after the other on the block's own columns only, each
//    tested on its current value exactly as in a one-at-a-time sweep; the rest of the matrix then
//    takes the whole block at once, as one symmetric product of rank up to the block size, which runs
//    at the speed of a matrix product instead of at that of memory. A full sweep costs n^3 flops.
//  - Extended: the double-double sweep of QXSymMatrix, one pivot at a time, about 32 significant
//    digits: many times slower at large orders, and what ill-conditioned problems need.
//
// Which one: ChoosePrecision gives Extended for small orders, where it costs next to nothing, and
// Double above. A double sweep loses digits in proportion to the condition of the swept block and can
// decide a pivot whose tolerance test is close differently from the extended sweep; IsAccurate tells
// whether it kept at least kMinDoubleDigits digits and decided every pivot clearly, so that callers
// repeat the work in extended precision only where that buys digits.
//
// The sweep, its tolerance test, its sign convention and the meaning of zeroAliased are those of
// QXSymMatrix::Sweep (forward sweeps only: a pivot already in the kept set is left alone).
#pragma once

#include <vector>

#include "common/QXExport.h"
#include "common/QXSymMatrix.h"

namespace QXMath_600 {

class IQXWorkMonitor;
class QXBitSet;
class QXRectMatrix;

class QXCOMMON_API QXSweepMatrix {
 public:
  enum class Precision { kDouble, kExtended };

  // Orders up to this are swept in extended precision from the start: there it costs milliseconds.
  static constexpr int kMaxExtendedOrder = 256;
  // A double sweep is accepted when its estimated condition leaves at least this many significant
  // digits (normwise) in the swept block.
  static constexpr double kMinDoubleDigits = 10.0;

  static Precision ChoosePrecision(int order) {
    return order <= kMaxExtendedOrder ? Precision::kExtended : Precision::kDouble;
  }
  // A dense matrix whose solution is refined afterwards (a Wald form's L V L') needs double-double only
  // for its pivot decisions, which Factor decides again where they are close: above this order it is
  // factored in double. A dense extended sweep of order 250 costs more than fitting 500 parameters.
  static constexpr int kMaxExtendedFactorOrder = 64;

  QXSweepMatrix() = default;
  QXSweepMatrix(const QXSweepMatrix&) = delete;
  QXSweepMatrix& operator=(const QXSweepMatrix&) = delete;

  // Takes the leading `order` rows and columns of source (all of it for a negative order). In double
  // precision the elements are rounded to doubles, and the source must stay alive and unchanged while
  // this object sweeps: tolerance tests too close to call in double are checked against it. In
  // extended precision the low parts of a source of the same order are kept. False, leaving the object
  // empty, when the memory is not there or the order does not fit.
  bool Assign(const QXSymMatrix& source, int order, Precision precision);
  // Releases the matrix (the reduction row stays set).
  void Clear();

  // With a row r set (the dependent variable of a cross-product matrix, never a pivot), every pivot k
  // swept records a_kr^2 / a_kk at the moment it is taken: how much the swept r'r element drops by it,
  // a sum of squares that is never negative, so summing a set of pivots' reductions loses nothing to
  // cancellation (unlike the difference of the r'r element before and after). A negative row turns
  // this off. Assign clears the reductions.
  void SetReductionRow(int row) { fReductionRow = row; }
  // The reduction of pivot k, 0 for a pivot not swept or without a reduction row.
  double GetReduction(int k) const {
    return k >= 0 && static_cast<std::size_t>(k) < fvReductions.size() ? fvReductions[k] : 0.0;
  }

  int GetNRows() const { return fN; }
  Precision GetPrecision() const { return fPrecision; }
  double GetElem(int i, int j) const;

  // Sweeps the pivots first .. last in index order, each as QXSymMatrix::Sweep does, except that a
  // pivot already in `kept` and, when `allowed` is given, a pivot outside `allowed` are not swept (the
  // latter counts as aliased). Returns the number of pivots swept, or -1 when the arguments do not fit
  // the matrix or the monitor stopped the work (the matrix is then in no defined state).
  int SweepRange(int first, int last, double tolerance, const std::vector<double>& referenceDiagonal,
                 QXBitSet& kept, bool zeroAliased, const QXBitSet* allowed, IQXWorkMonitor* monitor);

  // Factors the whole matrix instead of sweeping it: the same pivots, tested in the same order with the
  // same tolerance and zeroed when they fail, but only what follows each pivot is updated, a third of
  // the work of a sweep. The matrix then holds L D L' of the kept pivots, for SolveFactored. In double
  // precision the close tests are decided again in double-double afterwards: pivots kept only by
  // rounding are left out of a second factorization; HasUnclearDecision says when that did not settle
  // every test. Extended precision sweeps instead. Returns the rank, or -1 as SweepRange. Call once,
  // on a freshly assigned matrix.
  int Factor(double tolerance, const std::vector<double>& referenceDiagonal, QXBitSet& kept,
             IQXWorkMonitor* monitor);
  // x = the solution of the kept block's system for b's kept entries (0 elsewhere), after Factor (or a
  // full sweep). False when b does not have one entry per row.
  bool SolveFactored(const QXBitSet& kept, const std::vector<double>& b, std::vector<double>& x) const;

  // As QXSymMatrix::ExtractH.
  int ExtractH(int first, int last, const QXBitSet& swept, QXRectMatrix& out) const;

  // Whether the sweeps so far are as trustworthy as extended ones: always for an extended sweep; for
  // a double sweep, when every tolerance test was clear and the swept block's estimated condition
  // leaves kMinDoubleDigits digits. `kept` is the set of swept pivots.
  bool IsAccurate(const QXBitSet& kept) const {
    double condition = 0.0;
    return IsAccurate(kept, condition);
  }
  // The same, also giving the estimated condition it judged (EstimateCondition), which costs a power
  // iteration over the matrix.
  bool IsAccurate(const QXBitSet& kept, double& condition) const;
  // The parts of that judgement: whether some tolerance test of a double sweep was too close to call,
  // and the estimated 2-norm condition of the swept block scaled to unit diagonal (an upper estimate:
  // the largest eigenvalue is taken over the whole matrix as assigned). Missing in extended precision.
  bool HasUnclearDecision() const { return fbUnclearDecision; }
  double EstimateCondition(const QXBitSet& kept) const;

  // out_i = sum over j in `set` of M_ij v_j for i in `set`, 0 elsewhere (after a sweep on `set`, minus
  // its inverse times v), for nColumns columns v of one entry per row, one after the other. False on a
  // length mismatch.
  bool MultiplyRestricted(const QXBitSet& set, const std::vector<double>& v, std::vector<double>& out,
                          int nColumns = 1) const;

  // Moves the matrix into out (order GetNRows()), emptying this object; in extended precision out
  // keeps the low parts. False, out unchanged, when out cannot take it.
  bool MoveTo(QXSymMatrix& out);

 private:
  // The double sweep of pivots k0 .. k1-1 (one block).
  int SweepBlock(int k0, int k1, double tolerance, const std::vector<double>& referenceDiagonal,
                 QXBitSet& kept, bool zeroAliased, const QXBitSet* allowed);
  // The double sweep's tolerance test of pivot k (its column in `column`, its current value in
  // `pivot`, `passes` the test as double computed it): when the ratio lies within the rounding error
  // of the tolerance, the test is decided again on v'Av in double-double from the source, which then
  // also replaces the pivot. Without a source such a test makes the sweep unclear.
  bool ConfirmDecision(int k, const double* column, double tolerance,
                       const std::vector<double>& referenceDiagonal, const QXBitSet& kept, bool passes,
                       double& pivot);
  // After a factorization: decides again, in double-double, the tests whose ratio was small enough for
  // rounding to matter. Pivots kept only by rounding join keptByRounding; false when a pivot was lost
  // to rounding.
  bool VerifyCloseDecisions(double tolerance, const std::vector<double>& referenceDiagonal,
                            const QXBitSet& kept, QXBitSet& keptByRounding) const;
  // v'Av in double-double over the source, v = e_k minus the swept rows of `column`.
  double VerifiedResidual(int k, const double* column, const QXBitSet& kept) const;
  // The largest eigenvalue of D^-1/2 M D^-1/2 (inverse false, the matrix as assigned) or of
  // D^1/2 (-M_SS) D^1/2 (inverse true, the swept block), by power iteration; D the diagonal at
  // assignment.
  double LargestScaledEigenvalue(const QXBitSet& kept, bool inverse) const;
  // Records pivot k's reduction from its current value and its element in the reduction row.
  void RecordReduction(int k, double pivot, double rowElement) {
    if (fReductionRow > k && fReductionRow < fN && pivot > 0.0)
      fvReductions[static_cast<std::size_t>(k)] = rowElement * rowElement / pivot;
  }

  Precision fPrecision = Precision::kDouble;
  int fN = 0;
  // Double precision: column-major n x n, lower triangle authoritative.
  std::vector<double> fvA;
  // The diagonal at assignment, and the largest eigenvalue of the scaled assigned matrix.
  std::vector<double> fvScale;
  double fLargestEigenvalue = 0.0;
  bool fbUnclearDecision = false;
  // Factor is running (fbFactorOnly) or has run (fbFactored); the ratios a_kk / d_k it met.
  bool fbFactorOnly = false;
  bool fbFactored = false;
  std::vector<double> fvRatios;
  const QXSymMatrix* fpSource = nullptr;
  int fReductionRow = -1;
  std::vector<double> fvReductions;
  // Extended precision.
  QXSymMatrix fExtended;
  // Scratch of the block sweep: the block's columns before and after, and one column.
  std::vector<double> fvBefore;
  std::vector<double> fvAfter;
};

}  // namespace QXMath_600
