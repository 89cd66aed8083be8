// A symmetric matrix of doubles, indexed from 0: the weighted cross-product matrix of a design (built
// record by record and swept to find aliased parameters and the estimates), covariance matrices, the
// information matrix of the logistic fit with its Cholesky factor, and the hypothesis matrices
// L V L' of the tests.
//
// Storage and precision. The lower triangle is packed by rows in a high part, plus a low part that
// exists only while the matrix is accumulated or swept. Together they hold each element as an
// unevaluated sum hi + lo of two doubles (double-double, about 32 significant digits). UpdateXX,
// UpdateXXSparse, Sweep, GetRegCoeffs, GetDiagonal, GetElem and ExtractH work with that sum, so the
// cross products are accumulated with compensated (error-free) products and sums and the sweep
// runs in double-double: the normal equations of a least-squares fit then lose digits only to
// the conditioning of the problem in double-double, not in double, which is what ill-conditioned
// polynomial and collinear designs need. Every other mutating operation first folds the low part
// into the high part (rounding each element to the nearest double) and releases it.
//
// The sweep convention: sweeping pivots K of [A_KK A_KN; A_NK A_NN] gives
// [-A_KK^-1, A_KK^-1 A_KN; ., A_NN - A_NK A_KK^-1 A_KN]. After sweeping every parameter pivot of
// the (P+1)-order cross-product matrix of [X y], the parameter block holds minus the (generalized)
// inverse, the last column the regression coefficients and the corner the residual sum of squares.
//
// Bad input never reads or writes outside the matrix: operations return false, -1, an empty result
// or the system-missing value and leave the matrix unchanged.
#pragma once

#include <cstddef>
#include <vector>

#include "common/QXExport.h"

namespace QXMath_600 {

class IQXWorkMonitor;
class QXBitSet;
class QXRectMatrix;
class QXSparseVector;

// What the tests, the marginal means and the Satterthwaite approximation need of any symmetric
// matrix.
class QXCOMMON_API IQXSymMatrix {
 public:
  virtual ~IQXSymMatrix() = default;
  virtual int GetNRows() const = 0;
  // The element (i, j) = (j, i), or the system-missing value outside the matrix.
  virtual double GetElem(int i, int j) const = 0;
  // Sets (i, j) and (j, i); false and no change outside the matrix.
  virtual bool SetElem(int i, int j, double value) = 0;
  // v' S v, or the system-missing value when v does not have one entry per row.
  virtual double ComputeVSV(const std::vector<double>& v) const = 0;
  // out = S v; false when v does not have one entry per row.
  virtual bool ComputeSV(const std::vector<double>& v, std::vector<double>& out) const = 0;
  virtual void Display() const = 0;
};

class QXCOMMON_API QXSymMatrix : public IQXSymMatrix {
 public:
  // A zero matrix of the given order (a negative order gives 0). Throws std::bad_alloc only when the
  // memory is not there; use SetNRowsCols for a refusal instead.
  explicit QXSymMatrix(int order = 0);

  int GetNRows() const override { return fN; }
  int GetNCols() const { return fN; }
  // True while the low part of the elements is kept (after accumulation or a sweep).
  bool HasLowPart() const { return !fvLo.empty(); }

  // Makes a zero matrix of the given order. False, leaving the matrix unchanged, for a negative order
  // and when the memory cannot be had (so a caller can report that the model is too large).
  bool SetNRowsCols(int order);
  // Sets every element to 0 and drops the low part.
  void Clear();

  double GetElem(int i, int j) const override;
  // The element as the double-double hi + lo that the accumulation and the sweep hold (lo is 0 when
  // the low part has been folded). False, outputs unchanged, outside the matrix.
  bool GetElemExtended(int i, int j, double& hi, double& lo) const;
  bool SetElem(int i, int j, double value) override;

  // ---- Accumulation of cross products (double-double) -------------------------------------------
  // Adds w v v'. v must have one entry per row; zeros of v are skipped, so the cost is the number
  // of rows plus the square of the non-zeros. False, no change, on a length mismatch or a
  // non-finite w. Allocates nothing after the first call (the low part appears then).
  bool UpdateXX(const std::vector<double>& v, double w);
  bool UpdateXX(const double* v, int length, double w);
  // Adds w v v' for v given by its non-zero entries: count pairs (indices[t], values[t]). Indices
  // may come in any order; a repeated index counts as the sum of its values. The cost is
  // proportional to count squared, independent of the order of the matrix. False and no change when
  // count is negative, a pointer is null while count > 0, an index is outside the matrix or w is not
  // finite.
  bool UpdateXXSparse(const int* indices, const double* values, int count, double w);
  bool UpdateXXSparse(const std::vector<int>& indices, const std::vector<double>& values, double w);
  bool UpdateXXSparse(const QXSparseVector& v, double w);
  // Adds w v v' for a row given in double-double, v = hi + lo element by element (for rows whose
  // entries are themselves computed in extended precision, such as powers of a covariate). hi and
  // lo must both have one entry per row.
  bool UpdateXXExtended(const std::vector<double>& hi, const std::vector<double>& lo, double w);
  // The sparse form of UpdateXXExtended: count entries (indices[t], hi[t] + lo[t]), with the rules
  // of UpdateXXSparse. A null lo means every low part is 0, so rows whose entries are plain doubles
  // pay nothing for the extended form.
  bool UpdateXXSparseExtended(const int* indices, const double* hi, const double* lo, int count, double w);
  // Adds a cross-product matrix summed elsewhere (its low part included, so nothing is rounded on the
  // way) to the elements count pairs (indices[t], sources[t]) name: element (indices[a], indices[b])
  // gains block(sources[a], sources[b]). Several indices may share a source, as the columns of a
  // design that share a value in every row do; a repeated index adds as in UpdateXXSparse. False and
  // no change for an index or a source outside its matrix, or a block that is this matrix.
  bool AddScattered(const QXSymMatrix& block, const int* indices, const int* sources, int count);
  // Adds hi + lo to element (i, j) in double-double, as the accumulation does: for cross products
  // gathered elsewhere and added in once. Values that are not finite go in as they are, as an
  // overflowed record's would. False, no change, outside the matrix.
  bool AddElemExtended(int i, int j, double hi, double lo);
  // The kernel of UpdateXXSparseExtended on packed lower triangles held by the caller (high and low
  // parts, of an order above every index), for callers that keep many small cross-product matrices
  // side by side. scratch holds kOuterProductScratch doubles per entry. Nothing is checked: the
  // indices must lie inside the triangle and w must be finite.
  static constexpr int kOuterProductScratch = 8;
  static void AccumulateOuterProduct(const int* indices, const double* hi, const double* lo, int count,
                                     double w, double* scratch, double* packedHi, double* packedLo);

  // ---- Sweep and what is read from a swept matrix -----------------------------------------------
  // The diagonal, resized to the order (each element rounded from its double-double value).
  void GetDiagonal(std::vector<double>& diagonal) const;
  // The diagonal with every entry that is not a finite positive number replaced by `replacement`,
  // so that a zero row of a hypothesis matrix gets a usable reference for the tolerance tests of
  // CholInverse (its pivot is then 0 against a positive reference, hence aliased). Entries are never
  // compared with each other, so rows of very different scales keep their own reference. Returns the
  // number of replaced entries, or -1 when some entry is negative by more than `tolerance` times the
  // largest diagonal magnitude (the matrix cannot be positive semi-definite; the diagonal is still
  // filled).
  int GetNCheckDiagonal(double tolerance, double replacement, std::vector<double>& diagonal) const;

  // Sweeps pivot k when it passes the tolerance test, in double-double.
  //  - k not in `kept`: forward sweep. The pivot passes when its current diagonal a_kk is finite and
  //    a_kk > tolerance * d_k with d_k = referenceDiagonal[k] > 0 (d_k the diagonal before any sweep,
  //    so a_kk / d_k is 1 minus the squared multiple correlation of column k on the columns swept
  //    before it). On success k is added to `kept`.
  //  - k already in `kept`: reverse sweep, which undoes an earlier sweep of k exactly (sweeping twice
  //    restores the matrix); it passes when a_kk is finite and not 0, and k leaves `kept`.
  // A pivot that fails is not swept and stays as it was in `kept`. With zeroAliased true its row and
  // column are then set to 0 (the fitting use: an aliased parameter gets estimate 0 and zero
  // covariances). With zeroAliased false the matrix is left untouched, so that later sweeps keep
  // updating the aliased row and ExtractH can read how the aliased parameter depends on the swept
  // ones (the use of hypothesis construction, which needs those coefficients).
  // Returns true when the pivot was swept. False, no change, when k is outside the matrix or the
  // bit set, or referenceDiagonal has no entry k.
  bool Sweep(int k, double tolerance, const std::vector<double>& referenceDiagonal, QXBitSet& kept,
             bool zeroAliased);

  // Regression coefficients of a swept cross-product matrix: coefficient k (k = 0 .. order-2) is
  // element (k, order-1) when k is in `kept`, else 0. coeffs gets order-1 entries; false for an
  // empty matrix.
  bool GetRegCoeffs(std::vector<double>& coeffs, const QXBitSet& kept) const;

  // Sets to 0 the rows and columns of every index below `count` (the order when count < 0) that is
  // not in `kept`. Indices beyond the bit set count as not kept. Note that the dependent column of a
  // cross-product matrix is never in the swept set, so read the coefficients before calling this, or
  // pass count = order - 1.
  void ZeroOutRedundant(const QXBitSet& kept, int count = -1);
  void MultiplyByNumber(double factor);
  void ChangeSign();
  // out = the leading n x n block times factor, each element rounded once from its double-double
  // value. False for n outside 0 .. order (out unchanged).
  bool ExtractFirstNRows(int n, QXSymMatrix& out, double factor = 1.0) const;
  // Whether every element of the leading n x n block is `factor` times other's, each to `relative` of
  // its own size (elements 0 in both pass). False when either matrix is smaller than n.
  bool IsMultipleOf(const QXSymMatrix& other, int n, double factor, double relative) const;

  // Estimable functions from a swept matrix. For every parameter c in first .. last that is in
  // `swept`, one column of length order: 1 in row c, 0 in the other rows that are in `swept`, and in
  // every row j outside `swept` the element (c, j) (how the unswept, aliased column j is expressed
  // through the swept ones). out gets order rows and one column per such parameter, in index order.
  // Returns the number of columns, or -1 for first > last or a range reaching outside the matrix.
  int ExtractH(int first, int last, const QXBitSet& swept, QXRectMatrix& out) const;

  // ---- Generalized inverse and Cholesky family --------------------------------------------------
  // A generalized inverse by sweeping the pivots 0 .. order-1 in order, each tested as in Sweep
  // against `diagonal` with `tolerance` (this is a Cholesky factorization with the same pivot test).
  // Rows whose pivot fails get zero rows and columns in `inverse`; `kept` is resized to the order and
  // marks the rows kept. Returns the rank, or -1 when diagonal is shorter than the order or an element
  // is not finite (inverse is then a zero matrix of the order and kept empty). Small orders are swept
  // in double-double; large ones in double precision a block at a time, and again in double-double
  // only when that would leave too few digits (QXSweepMatrix). With a monitor the work reports its
  // pivots and stops when told to: the result is then -1 as above.
  int CholInverse(const std::vector<double>& diagonal, double tolerance, QXSymMatrix& inverse, QXBitSet& kept,
                  IQXWorkMonitor* monitor = nullptr) const;
  int CholInverse(const std::vector<double>& diagonal, double tolerance, QXSymMatrix& inverse) const;
  // d' S^- d, S^- the generalized inverse of CholInverse (same pivots, tolerance and `kept`), without
  // forming that inverse's rounding errors into the result: x = S^- d is refined against this matrix
  // with exact products until the correction is negligible, so the form keeps all its digits while the
  // conditioning allows refinement to converge (about 1/eps). Meant for large orders, swept in double
  // precision; a tolerance test too close to call there sends the work to double-double. Returns the
  // rank, or -1 (form missing, kept empty) for the failures of CholInverse, a d without one entry per
  // row, or a stop by the monitor.
  int ComputeInverseQuadraticForm(const std::vector<double>& d, const std::vector<double>& diagonal,
                                  double tolerance, double& form, QXBitSet& kept,
                                  IQXWorkMonitor* monitor = nullptr) const;
  // (hi + lo)_i = sum over j in `set` of a_ij x_j, for i in `set` (0 elsewhere), with exact products
  // and compensated sums: the residuals of iterative refinement. x holds nColumns columns of one entry
  // per row, one after the other (entries outside the set are ignored), and so do hi and lo. False on
  // a length mismatch.
  bool MultiplyExtended(const QXBitSet& set, const std::vector<double>& x, std::vector<double>& hi,
                        std::vector<double>& lo, int nColumns = 1) const;
  // Sets to 0 every off-diagonal element with |a_ij| <= threshold * sqrt(|a_ii a_jj|): rounding noise
  // of a generalized inverse, judged on the scale of its own rows so that the cleaning does not
  // depend on the units of the parameters.
  void ZeroOutNonDiag(double threshold);

  // In-place Cholesky factor L (lower triangle, L L' = this), in double. Pivot k fails when its
  // Schur complement r_k is not finite or r_k <= tolerance * h_kk (h_kk the diagonal before
  // factoring); the column k of L is then 0. Returns the number of failed pivots (the rank defect,
  // > 0 means the matrix is not positive definite at this tolerance) and sets pivotMeasure to the
  // smallest sqrt(max(r_k, 0) / h_kk) over all pivots: the sine of the angle between column k and the
  // span of the columns before it, near 0 for a nearly singular matrix, 1 for a diagonal one (and 1
  // for an empty matrix). A non-positive h_kk makes its pivot fail with measure 0.
  int LTChol(double tolerance, double& pivotMeasure);
  // Solves (L L') x = b with the factor of LTChol; components of failed pivots are 0 (the solution of
  // the kept subsystem). False when the matrix is not factored or b has the wrong length.
  bool LTSubstitute(const std::vector<double>& b, std::vector<double>& x) const;
  // Replaces the factor by (L L')^-1 over the kept pivots, with zero rows and columns for the failed
  // ones. False when the matrix is not factored.
  bool LTInverse();
  // True between LTChol and the next change of the matrix.
  bool IsFactored() const { return fbFactored; }

  // The matrix of order kept.Size() that holds this matrix at the members of `kept` (in order) and 0
  // elsewhere: the inverse of a reduced information matrix spread back over all parameters. False
  // when kept has not exactly order members.
  bool Expand(const QXBitSet& kept, QXSymMatrix& out) const;

  // ---- Products ---------------------------------------------------------------------------------
  double ComputeVSV(const std::vector<double>& v) const override;
  // v' S v for v given by its non-zero entries; the system-missing value for a bad index or length.
  double ComputeVSV(const std::vector<int>& indices, const std::vector<double>& values) const;
  bool ComputeSV(const std::vector<double>& v, std::vector<double>& out) const override;
  // out = R S R' for R with one column per row of S. False on a dimension mismatch.
  bool ComputeRSRTrans(const QXRectMatrix& r, QXSymMatrix& out) const;
  // this = a x + this. False when the orders differ.
  bool ComputeAXpY(double a, const QXSymMatrix& x);

  void Display() const override;

 private:
  // Reads and writes the packed storage directly when it copies a matrix in or out.
  friend class QXSweepMatrix;

  static std::size_t Index(int i, int j) {
    return i >= j ? static_cast<std::size_t>(i) * (i + 1) / 2 + j
                  : static_cast<std::size_t>(j) * (j + 1) / 2 + i;
  }
  // The element at a packed index, high and low parts added; no bounds check (internal loops).
  double Value(std::size_t idx) const { return fvLo.empty() ? fvHi[idx] : fvHi[idx] + fvLo[idx]; }
  // Adds hi + lo to the packed element in double-double; the low part must exist.
  void AddExtendedAt(std::size_t index, double hi, double lo);
  // ComputeRSRTrans for an R whose rows are mostly non-zero.
  bool ComputeRSRTransDense(const QXRectMatrix& r, QXSymMatrix& out) const;
  void FoldLowPart();
  void EnsureLowPart();
  void NormalizeLowPart();
  void MarkChanged() { fbFactored = false; }
  bool AddOuterProduct(const int* indices, const double* hi, const double* lo, int count, double w);

  int fN = 0;
  std::vector<double> fvHi;
  std::vector<double> fvLo;
  // Low parts hold raw accumulated rounding errors until the next sweep normalizes them.
  bool fbLoNormalized = true;
  bool fbFactored = false;
  // Scratch for the per-record updates and the sweep, sized with the matrix so that those loops
  // allocate nothing.
  std::vector<double> fvWork;
  std::vector<int> fvWorkIndex;
  std::vector<double> fvGather;
};

}  // namespace QXMath_600
