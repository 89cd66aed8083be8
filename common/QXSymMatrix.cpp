#include "common/QXSymMatrix.h"

#include <Eigen/Core>
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#include "common/QXBitSet.h"
#include "common/QXDisplay.h"
#include "common/QXDoubleDouble.h"
#include "common/QXExtractSweptColumns.h"
#include "common/QXMissingValue.h"
#include "common/QXRectMatrix.h"
#include "common/QXSparseVector.h"
#include "common/QXSweepMatrix.h"

namespace QXMath_600 {

using detail::DD;

namespace {

// Per-entry scratch of the outer-product update: the weighted entry w*v as double-double, the
// entry itself, and the Dekker splits of both high parts.
constexpr std::size_t kEntryStride = 8;

bool PackedSize(int order, std::size_t& size) {
  if (order < 0) return false;
  const std::size_t n = static_cast<std::size_t>(order);
  if (n > 0 && (n + 1) > std::numeric_limits<std::size_t>::max() / n / 2) return false;
  size = n * (n + 1) / 2;
  return true;
}

// The exact product of two doubles as high part and error, by one of two methods: Dekker's
// splitting for the x86-64 baseline the build targets, or the hardware FMA, chosen at run time
// because nearly every machine running the library has one and it makes the product 2 flops
// instead of 17.
struct PortableProduct {
  // Whether RunSplit reads the splits, so that the entries need them.
  static constexpr bool kSplits = true;
  static void Run(double a, double b, double& p, double& e) { detail::TwoProd(a, b, p, e); }
  // With the factors' splits computed beforehand (one split per row entry, not one per product).
  static void RunSplit(double a, double ah, double al, double b, double bh, double bl, double& p, double& e) {
    detail::TwoProdSplit(a, ah, al, b, bh, bl, p, e);
  }
};

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)) && !defined(__FMA__)
#define QX_FMA_DISPATCH 1
struct FmaProduct {
  static constexpr bool kSplits = false;
  static void Run(double a, double b, double& p, double& e) {
    p = a * b;
    e = __builtin_fma(a, b, -p);
  }
  static void RunSplit(double a, double, double, double b, double, double, double& p, double& e) {
    Run(a, b, p, e);
  }
};
#endif

// Adds (w v_t) v_u for every pair u <= t of entries to the packed element (indices[t], indices[u]):
// the exact product of the high parts plus the cross terms goes into the low part, with the
// rounding error of adding it to the high part (TwoSum). The low part is not renormalized per
// record; the sweep normalizes it once.
template <class Product>
void AccumulatePairsT(const int* indices, const double* entries, int count, double* H, double* L);

// Fills the per-entry scratch of w v v' for v = hi + lo (lo may be null), then accumulates the pairs.
template <class Product>
void AccumulateOuterProductT(const int* indices, const double* hi, const double* lo, int count, double w,
                             double* entries, double* H, double* L) {
  double* e = entries;
  for (int t = 0; t < count; ++t, e += kEntryStride) {
    const double v = hi[t];
    double p, err;
    Product::Run(w, v, p, err);
    if (lo) err += w * lo[t];
    e[0] = p;  // w v, high part
    e[1] = err;
    e[2] = v;  // v, high part
    e[3] = lo ? lo[t] : 0.0;
    if (Product::kSplits) {
      detail::Split(p, e[4], e[5]);
      detail::Split(v, e[6], e[7]);
    }
  }
  AccumulatePairsT<Product>(indices, entries, count, H, L);
}

template <class Product>
void AccumulatePairsT(const int* indices, const double* entries, int count, double* H, double* L) {
  const double* et = entries;
  for (int t = 0; t < count; ++t, et += kEntryStride) {
    const int it = indices[t];
    const double* eu = entries;
    for (int u = 0; u <= t; ++u, eu += kEntryStride) {
      const int iu = indices[u];
      double p, err;
      Product::RunSplit(et[0], et[4], et[5], eu[2], eu[6], eu[7], p, err);
      err += et[0] * eu[3] + et[1] * eu[2];
      // A repeated index meets its partner in both orders in v v'; the loop visits the pair once.
      if (it == iu && t != u) p *= 2.0, err *= 2.0;
      const std::size_t idx = it >= iu ? static_cast<std::size_t>(it) * (it + 1) / 2 + iu
                                       : static_cast<std::size_t>(iu) * (iu + 1) / 2 + it;
      double s, se;
      detail::TwoSum(H[idx], p, s, se);
      H[idx] = s;
      L[idx] += se + err;
    }
  }
}

template <class Product>
DD MulT(DD a, DD b) {
  double p, e;
  Product::Run(a.hi, b.hi, p, e);
  e += a.hi * b.lo + a.lo * b.hi;
  detail::FastTwoSum(p, e, p, e);
  return {p, e};
}

// The update of a sweep step: a_ij -= c_i b_j for the rows i and columns j listed in nz (the
// non-zeros of the pivot column), in double-double.
template <class Product>
void SweepRowsT(const int* nz, int count, const double* cHi, const double* cLo, const double* bHi,
                const double* bLo, double* H, double* L) {
  for (int s = 0; s < count; ++s) {
    const int i = nz[s];
    const DD c{cHi[s], cLo[s]};
    const std::size_t rowStart = static_cast<std::size_t>(i) * (i + 1) / 2;
    for (int t = 0; t <= s; ++t) {
      const std::size_t idx = rowStart + nz[t];
      const DD updated = detail::Add({H[idx], L[idx]}, detail::Neg(MulT<Product>(c, DD{bHi[t], bLo[t]})));
      H[idx] = updated.hi;
      L[idx] = updated.lo;
    }
  }
}

#ifdef QX_FMA_DISPATCH
__attribute__((target("fma"), flatten)) void AccumulateOuterProductFma(const int* indices, const double* hi,
                                                                       const double* lo, int count, double w,
                                                                       double* entries, double* H,
                                                                       double* L) {
  AccumulateOuterProductT<FmaProduct>(indices, hi, lo, count, w, entries, H, L);
}
__attribute__((target("fma"), flatten)) void SweepRowsFma(const int* nz, int count, const double* cHi,
                                                          const double* cLo, const double* bHi,
                                                          const double* bLo, double* H, double* L) {
  SweepRowsT<FmaProduct>(nz, count, cHi, cLo, bHi, bLo, H, L);
}
bool HasFma() {
  static const bool has = __builtin_cpu_supports("fma");
  return has;
}
#endif

void OuterProductKernel(const int* indices, const double* hi, const double* lo, int count, double w,
                        double* entries, double* H, double* L) {
#ifdef QX_FMA_DISPATCH
  if (HasFma()) return AccumulateOuterProductFma(indices, hi, lo, count, w, entries, H, L);
#endif
  AccumulateOuterProductT<PortableProduct>(indices, hi, lo, count, w, entries, H, L);
}

void SweepRows(const int* nz, int count, const double* cHi, const double* cLo, const double* bHi,
               const double* bLo, double* H, double* L) {
#ifdef QX_FMA_DISPATCH
  if (HasFma()) return SweepRowsFma(nz, count, cHi, cLo, bHi, bLo, H, L);
#endif
  SweepRowsT<PortableProduct>(nz, count, cHi, cLo, bHi, bLo, H, L);
}

}  // namespace

QXSymMatrix::QXSymMatrix(int order) {
  std::size_t size = 0;
  if (order < 0 || !PackedSize(order, size)) order = 0, size = 0;
  fvHi.assign(size, 0.0);
  fN = order;
}

bool QXSymMatrix::SetNRowsCols(int order) {
  std::size_t size = 0;
  if (!PackedSize(order, size)) return false;
  try {
    std::vector<double> hi(size, 0.0);
    fvHi.swap(hi);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  std::vector<double>().swap(fvLo);
  fN = order;
  fbLoNormalized = true;
  MarkChanged();
  return true;
}

void QXSymMatrix::Clear() {
  std::fill(fvHi.begin(), fvHi.end(), 0.0);
  std::vector<double>().swap(fvLo);
  fbLoNormalized = true;
  MarkChanged();
}

double QXSymMatrix::GetElem(int i, int j) const {
  if (i < 0 || j < 0 || i >= fN || j >= fN) return QXMV::gMissingValue;
  const std::size_t idx = Index(i, j);
  return fvLo.empty() ? fvHi[idx] : fvHi[idx] + fvLo[idx];
}

bool QXSymMatrix::GetElemExtended(int i, int j, double& hi, double& lo) const {
  if (i < 0 || j < 0 || i >= fN || j >= fN) return false;
  const std::size_t idx = Index(i, j);
  if (fvLo.empty()) {
    hi = fvHi[idx];
    lo = 0.0;
    return true;
  }
  // Low parts may hold raw accumulated errors until the next sweep: hand out the normalized sum.
  detail::TwoSum(fvHi[idx], fvLo[idx], hi, lo);
  return true;
}

bool QXSymMatrix::SetElem(int i, int j, double value) {
  if (i < 0 || j < 0 || i >= fN || j >= fN) return false;
  const std::size_t idx = Index(i, j);
  fvHi[idx] = value;
  if (!fvLo.empty()) fvLo[idx] = 0.0;
  MarkChanged();
  return true;
}

void QXSymMatrix::FoldLowPart() {
  if (fvLo.empty()) return;
  for (std::size_t t = 0; t < fvHi.size(); ++t) fvHi[t] += fvLo[t];
  std::vector<double>().swap(fvLo);
  fbLoNormalized = true;
}

void QXSymMatrix::EnsureLowPart() {
  if (fvLo.empty() && !fvHi.empty()) {
    fvLo.assign(fvHi.size(), 0.0);
    fbLoNormalized = true;
  }
}

void QXSymMatrix::NormalizeLowPart() {
  if (fbLoNormalized || fvLo.empty()) return;
  for (std::size_t t = 0; t < fvHi.size(); ++t) detail::TwoSum(fvHi[t], fvLo[t], fvHi[t], fvLo[t]);
  fbLoNormalized = true;
}

// ---- Accumulation ---------------------------------------------------------------------------------

bool QXSymMatrix::AddOuterProduct(const int* indices, const double* hi, const double* lo, int count,
                                  double w) {
  if (count < 0 || !std::isfinite(w)) return false;
  if (count == 0) return true;
  if (!indices || !hi) return false;
  for (int t = 0; t < count; ++t)
    if (indices[t] < 0 || indices[t] >= fN) return false;
  if (w == 0.0) return true;
  EnsureLowPart();
  fbLoNormalized = false;
  MarkChanged();
  const std::size_t need = kEntryStride * static_cast<std::size_t>(count);
  if (fvWork.size() < need) fvWork.resize(need);
  OuterProductKernel(indices, hi, lo, count, w, fvWork.data(), fvHi.data(), fvLo.data());
  return true;
}

bool QXSymMatrix::UpdateXX(const std::vector<double>& v, double w) {
  return UpdateXX(v.data(), static_cast<int>(v.size()), w);
}

bool QXSymMatrix::UpdateXX(const double* v, int length, double w) {
  if (length != fN || (!v && length > 0) || !std::isfinite(w)) return false;
  if (fvWorkIndex.size() < static_cast<std::size_t>(fN)) fvWorkIndex.resize(fN);
  if (fvWork.size() < static_cast<std::size_t>(2 * fN)) fvWork.resize(2 * static_cast<std::size_t>(fN));
  // Gather the non-zeros first: a design row is mostly zeros and its cost should follow them.
  int count = 0;
  for (int i = 0; i < fN; ++i)
    if (v[i] != 0.0) fvWorkIndex[count++] = i;
  // The values are read through the index list; copy them next to it so that the update sees the
  // same (indices, values) form as the sparse entry point. fvWork is reused by the update itself,
  // so the values go into a separate region past the entry scratch.
  std::vector<double>& values = fvGather;
  if (values.size() < static_cast<std::size_t>(count)) values.resize(fN);
  for (int t = 0; t < count; ++t) values[t] = v[fvWorkIndex[t]];
  return AddOuterProduct(fvWorkIndex.data(), values.data(), nullptr, count, w);
}

bool QXSymMatrix::UpdateXXSparse(const int* indices, const double* values, int count, double w) {
  if (count > 0 && !values) return false;
  return AddOuterProduct(indices, values, nullptr, count, w);
}

bool QXSymMatrix::UpdateXXSparse(const std::vector<int>& indices, const std::vector<double>& values,
                                 double w) {
  if (indices.size() != values.size() ||
      indices.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    return false;
  return AddOuterProduct(indices.data(), values.data(), nullptr, static_cast<int>(indices.size()), w);
}

bool QXSymMatrix::UpdateXXSparse(const QXSparseVector& v, double w) {
  if (!v.IsValid() || (v.GetDimension() >= 0 && v.GetDimension() > fN)) return false;
  return AddOuterProduct(v.GetIndices(), v.GetValues(), nullptr, v.GetNNonZero(), w);
}

bool QXSymMatrix::UpdateXXExtended(const std::vector<double>& hi, const std::vector<double>& lo, double w) {
  if (hi.size() != static_cast<std::size_t>(fN) || lo.size() != hi.size() || !std::isfinite(w)) return false;
  if (fvWorkIndex.size() < static_cast<std::size_t>(fN)) fvWorkIndex.resize(fN);
  std::vector<double>& values = fvGather;
  if (values.size() < 2 * static_cast<std::size_t>(fN)) values.resize(2 * static_cast<std::size_t>(fN));
  int count = 0;
  for (int i = 0; i < fN; ++i)
    if (hi[i] != 0.0 || lo[i] != 0.0) {
      fvWorkIndex[count] = i;
      values[count] = hi[i];
      values[fN + count] = lo[i];
      ++count;
    }
  return AddOuterProduct(fvWorkIndex.data(), values.data(), values.data() + fN, count, w);
}

bool QXSymMatrix::UpdateXXSparseExtended(const int* indices, const double* hi, const double* lo, int count,
                                         double w) {
  if (count > 0 && !hi) return false;
  return AddOuterProduct(indices, hi, lo, count, w);
}

bool QXSymMatrix::AddScattered(const QXSymMatrix& block, const int* indices, const int* sources, int count) {
  if (count < 0 || &block == this) return false;
  if (count == 0) return true;
  if (!indices || !sources) return false;
  for (int t = 0; t < count; ++t)
    if (indices[t] < 0 || indices[t] >= fN || sources[t] < 0 || sources[t] >= block.fN) return false;
  EnsureLowPart();
  fbLoNormalized = false;
  MarkChanged();
  for (int a = 0; a < count; ++a)
    for (int b = 0; b <= a; ++b) {
      const std::size_t from = Index(sources[a], sources[b]);
      double hi = block.fvHi[from];
      double lo = block.fvLo.empty() ? 0.0 : block.fvLo[from];
      // A repeated index meets its partner in both orders; the loop visits the pair once.
      if (indices[a] == indices[b] && a != b) hi *= 2.0, lo *= 2.0;
      AddExtendedAt(Index(indices[a], indices[b]), hi, lo);
    }
  return true;
}

bool QXSymMatrix::AddElemExtended(int i, int j, double hi, double lo) {
  if (i < 0 || j < 0 || i >= fN || j >= fN) return false;
  EnsureLowPart();
  fbLoNormalized = false;
  MarkChanged();
  AddExtendedAt(Index(i, j), hi, lo);
  return true;
}

void QXSymMatrix::AddExtendedAt(std::size_t index, double hi, double lo) {
  double sum, error;
  detail::TwoSum(fvHi[index], hi, sum, error);
  fvHi[index] = sum;
  fvLo[index] += error + lo;
}

void QXSymMatrix::AccumulateOuterProduct(const int* indices, const double* hi, const double* lo, int count,
                                         double w, double* scratch, double* packedHi, double* packedLo) {
  static_assert(kOuterProductScratch == kEntryStride);
  OuterProductKernel(indices, hi, lo, count, w, scratch, packedHi, packedLo);
}

// ---- Sweep ----------------------------------------------------------------------------------------

void QXSymMatrix::GetDiagonal(std::vector<double>& diagonal) const {
  diagonal.resize(fN);
  for (int i = 0; i < fN; ++i) diagonal[i] = GetElem(i, i);
}

int QXSymMatrix::GetNCheckDiagonal(double tolerance, double replacement,
                                   std::vector<double>& diagonal) const {
  GetDiagonal(diagonal);
  double largest = 0.0;
  for (double d : diagonal)
    if (std::isfinite(d)) largest = std::max(largest, std::fabs(d));
  bool indefinite = false;
  int replaced = 0;
  for (double& d : diagonal) {
    if (std::isfinite(d) && d > 0.0) continue;
    if (std::isfinite(d) && d < -tolerance * largest) indefinite = true;
    d = replacement;
    ++replaced;
  }
  return indefinite ? -1 : replaced;
}

bool QXSymMatrix::Sweep(int k, double tolerance, const std::vector<double>& referenceDiagonal, QXBitSet& kept,
                        bool zeroAliased) {
  if (k < 0 || k >= fN || k >= kept.Size() || static_cast<std::size_t>(k) >= referenceDiagonal.size())
    return false;
  const bool reverse = kept.IsIn(k);
  EnsureLowPart();
  NormalizeLowPart();
  const std::size_t kk = Index(k, k);
  const DD pivot{fvHi[kk], fvLo[kk]};
  const double a = detail::ToDouble(pivot);
  bool passes;
  if (reverse) {
    passes = std::isfinite(a) && a != 0.0;
  } else {
    const double d = referenceDiagonal[k];
    passes = std::isfinite(a) && std::isfinite(d) && d > 0.0 && a > 0.0 && a > tolerance * d;
  }
  if (!passes) {
    if (zeroAliased) {
      for (int j = 0; j < fN; ++j) {
        const std::size_t idx = Index(k, j);
        fvHi[idx] = 0.0;
        fvLo[idx] = 0.0;
      }
      MarkChanged();
    }
    return false;
  }
  MarkChanged();
  const std::size_t n = static_cast<std::size_t>(fN);
  if (fvWork.size() < 4 * n) fvWork.resize(4 * n);
  if (fvWorkIndex.size() < n) fvWorkIndex.resize(n);
  // c = column k, b = column k / pivot, both in double-double; nz lists the rows where c is not 0,
  // which is all the update has to visit (sparse designs keep many zeros through the sweep).
  double* cHi = fvWork.data();
  double* cLo = cHi + n;
  double* bHi = cLo + n;
  double* bLo = bHi + n;
  int* nz = fvWorkIndex.data();
  const DD inverse = detail::Div({1.0, 0.0}, pivot);
  int count = 0;
  for (int i = 0; i < fN; ++i) {
    if (i == k) continue;
    const std::size_t idx = Index(i, k);
    if (fvHi[idx] == 0.0 && fvLo[idx] == 0.0) continue;
    const DD c{fvHi[idx], fvLo[idx]};
    const DD b = detail::Mul(c, inverse);
    cHi[count] = c.hi;
    cLo[count] = c.lo;
    bHi[count] = b.hi;
    bLo[count] = b.lo;
    nz[count++] = i;
  }
  SweepRows(nz, count, cHi, cLo, bHi, bLo, fvHi.data(), fvLo.data());
  // The pivot row and column: +b forward, -b reverse; elements where c was 0 stay 0.
  const double sign = reverse ? -1.0 : 1.0;
  for (int s = 0; s < count; ++s) {
    const std::size_t idx = Index(nz[s], k);
    fvHi[idx] = sign * bHi[s];
    fvLo[idx] = sign * bLo[s];
  }
  fvHi[kk] = -inverse.hi;
  fvLo[kk] = -inverse.lo;
  kept.Set(k, !reverse);
  return true;
}

bool QXSymMatrix::GetRegCoeffs(std::vector<double>& coeffs, const QXBitSet& kept) const {
  if (fN < 1) return false;
  coeffs.assign(fN - 1, 0.0);
  for (int k = 0; k < fN - 1; ++k)
    if (kept.IsIn(k)) coeffs[k] = GetElem(k, fN - 1);
  return true;
}

void QXSymMatrix::ZeroOutRedundant(const QXBitSet& kept, int count) {
  FoldLowPart();
  MarkChanged();
  const int limit = count < 0 ? fN : std::min(count, fN);
  for (int k = 0; k < limit; ++k) {
    if (kept.IsIn(k)) continue;
    for (int j = 0; j < fN; ++j) fvHi[Index(k, j)] = 0.0;
  }
}

void QXSymMatrix::MultiplyByNumber(double factor) {
  FoldLowPart();
  MarkChanged();
  for (double& x : fvHi) x *= factor;
}

void QXSymMatrix::ChangeSign() {
  FoldLowPart();
  MarkChanged();
  for (double& x : fvHi) x = -x;
}

bool QXSymMatrix::IsMultipleOf(const QXSymMatrix& other, int n, double factor, double relative) const {
  if (n < 0 || n > fN || n > other.fN) return false;
  // Packed by rows, both leading blocks are prefixes of the storage.
  const std::size_t size = static_cast<std::size_t>(n) * (n + 1) / 2;
  for (std::size_t t = 0; t < size; ++t) {
    const double value = Value(t);
    if (!(std::fabs(value - factor * other.Value(t)) <= relative * std::fabs(value))) return false;
  }
  return true;
}

bool QXSymMatrix::ExtractFirstNRows(int n, QXSymMatrix& out, double factor) const {
  if (n < 0 || n > fN) return false;
  QXSymMatrix result(n);
  // Packed by rows, the leading block is a prefix of the storage. The factor multiplies the
  // double-double value before it is rounded: weighted counts accumulated as sums of w / W come back
  // as the exact counts once multiplied by W.
  const std::size_t size = result.fvHi.size();
  for (std::size_t t = 0; t < size; ++t) {
    const detail::DD value{fvHi[t], fvLo.empty() ? 0.0 : fvLo[t]};
    result.fvHi[t] = factor == 1.0 ? value.hi + value.lo : detail::ToDouble(detail::Mul(value, factor));
  }
  out = std::move(result);
  return true;
}

int QXSymMatrix::ExtractH(int first, int last, const QXBitSet& swept, QXRectMatrix& out) const {
  return detail::ExtractSweptColumns(*this, fN, first, last, swept, out);
}

// ---- Generalized inverse and Cholesky family ----------------------------------------------------

int QXSymMatrix::CholInverse(const std::vector<double>& diagonal, double tolerance, QXSymMatrix& inverse,
                             QXBitSet& kept, IQXWorkMonitor* monitor) const {
  const bool finite = std::all_of(fvHi.begin(), fvHi.end(), [](double x) { return std::isfinite(x); }) &&
                      std::all_of(fvLo.begin(), fvLo.end(), [](double x) { return std::isfinite(x); });
  if (diagonal.size() < static_cast<std::size_t>(fN) || !finite) {
    inverse = QXSymMatrix(fN);
    kept.Resize(0);
    return -1;
  }
  // Large orders are swept in double precision, a block at a time, and again in double-double only
  // when that leaves too few digits.
  QXSweepMatrix work;
  QXBitSet swept(fN);
  QXSweepMatrix::Precision precision = QXSweepMatrix::ChoosePrecision(fN);
  for (;;) {
    swept = QXBitSet(fN);
    if (!work.Assign(*this, fN, precision)) {
      if (precision == QXSweepMatrix::Precision::kExtended) throw std::bad_alloc();
      precision = QXSweepMatrix::Precision::kExtended;
      continue;
    }
    if (work.SweepRange(0, fN - 1, tolerance, diagonal, swept, true, nullptr, monitor) < 0) {
      inverse = QXSymMatrix(fN);
      kept.Resize(0);
      return -1;
    }
    if (work.IsAccurate(swept)) break;
    precision = QXSweepMatrix::Precision::kExtended;
  }
  // The swept block is minus the inverse of the kept block; failed pivots were zeroed by the sweep.
  QXSymMatrix result;
  work.MoveTo(result);
  result.ChangeSign();
  result.fvWork.clear();
  result.fvWorkIndex.clear();
  inverse = std::move(result);
  kept = swept;
  return swept.Count();
}

int QXSymMatrix::CholInverse(const std::vector<double>& diagonal, double tolerance,
                             QXSymMatrix& inverse) const {
  QXBitSet kept;
  return CholInverse(diagonal, tolerance, inverse, kept);
}

int QXSymMatrix::ComputeInverseQuadraticForm(const std::vector<double>& d,
                                             const std::vector<double>& diagonal, double tolerance,
                                             double& form, QXBitSet& kept, IQXWorkMonitor* monitor) const {
  form = QXMV::gMissingValue;
  const bool finite = std::all_of(fvHi.begin(), fvHi.end(), [](double x) { return std::isfinite(x); }) &&
                      std::all_of(fvLo.begin(), fvLo.end(), [](double x) { return std::isfinite(x); });
  if (diagonal.size() < static_cast<std::size_t>(fN) || d.size() != static_cast<std::size_t>(fN) || !finite) {
    kept.Resize(0);
    return -1;
  }
  QXSweepMatrix work;
  QXBitSet swept(fN);
  const bool small = fN <= QXSweepMatrix::kMaxExtendedFactorOrder;
  for (auto precision = small ? QXSweepMatrix::Precision::kExtended : QXSweepMatrix::Precision::kDouble;;
       precision = QXSweepMatrix::Precision::kExtended) {
    swept = QXBitSet(fN);
    if (!work.Assign(*this, fN, precision)) throw std::bad_alloc();
    if (work.Factor(tolerance, diagonal, swept, monitor) < 0) {
      kept.Resize(0);
      return -1;
    }
    // The conditioning is refinement's business; only the pivot decisions must be the extended ones.
    if (work.GetPrecision() == QXSweepMatrix::Precision::kExtended || !work.HasUnclearDecision()) break;
  }
  std::vector<double> x, correction, hi, lo, residual(static_cast<std::size_t>(fN), 0.0);
  work.SolveFactored(swept, d, x);
  if (work.GetPrecision() == QXSweepMatrix::Precision::kDouble) {
    constexpr int kMaxSteps = 4;
    for (int step = 0; step < kMaxSteps; ++step) {
      MultiplyExtended(swept, x, hi, lo);
      double size = 0.0, change = 0.0;
      for (int i = 0; i < fN; ++i) residual[i] = swept.IsIn(i) ? (d[i] - hi[i]) - lo[i] : 0.0;
      work.SolveFactored(swept, residual, correction);
      for (int i = 0; i < fN; ++i) {
        x[i] += correction[i];
        size = std::max(size, std::fabs(x[i]));
        change = std::max(change, std::fabs(correction[i]));
      }
      if (change <= 4.0 * 1.1102230246251565e-16 * size) break;
    }
  }
  detail::DD sum;
  for (int i = 0; i < fN; ++i) {
    if (!swept.IsIn(i)) continue;
    double p, e;
    detail::TwoProd(d[i], x[i], p, e);
    sum = detail::Add(sum, detail::DD{p, e});
  }
  form = detail::ToDouble(sum);
  kept = swept;
  return swept.Count();
}

bool QXSymMatrix::MultiplyExtended(const QXBitSet& set, const std::vector<double>& x, std::vector<double>& hi,
                                   std::vector<double>& lo, int nColumns) const {
  const std::size_t n = static_cast<std::size_t>(fN);
  if (nColumns < 1 || x.size() != n * static_cast<std::size_t>(nColumns)) return false;
  hi.assign(x.size(), 0.0);
  lo.assign(x.size(), 0.0);
  const auto add = [&](std::size_t at, double aHi, double aLo, double value) {
    if (value == 0.0) return;
    double p, e, s, se;
    detail::TwoProd(aHi, value, p, e);
    detail::TwoSum(hi[at], p, s, se);
    hi[at] = s;
    lo[at] += se + e + aLo * value;
  };
  // One pass over the matrix for all columns, skipping its zeros: cross products of designs are
  // mostly zeros.
  for (int i = 0; i < fN; ++i) {
    if (!set.IsIn(i)) continue;
    const std::size_t row = static_cast<std::size_t>(i) * (i + 1) / 2;
    for (int j = 0; j <= i; ++j) {
      const double aHi = fvHi[row + j];
      const double aLo = fvLo.empty() ? 0.0 : fvLo[row + j];
      if ((aHi == 0.0 && aLo == 0.0) || !set.IsIn(j)) continue;
      for (std::size_t c = 0; c < static_cast<std::size_t>(nColumns); ++c) {
        add(i + c * n, aHi, aLo, x[j + c * n]);
        if (j != i) add(j + c * n, aHi, aLo, x[i + c * n]);
      }
    }
  }
  return true;
}

void QXSymMatrix::ZeroOutNonDiag(double threshold) {
  FoldLowPart();
  MarkChanged();
  for (int i = 0; i < fN; ++i)
    for (int j = 0; j < i; ++j) {
      double& a = fvHi[Index(i, j)];
      if (std::fabs(a) <= threshold * std::sqrt(std::fabs(fvHi[Index(i, i)] * fvHi[Index(j, j)]))) a = 0.0;
    }
}

int QXSymMatrix::LTChol(double tolerance, double& pivotMeasure) {
  FoldLowPart();
  pivotMeasure = 1.0;
  int failed = 0;
  for (int k = 0; k < fN; ++k) {
    double* rowK = fvHi.data() + static_cast<std::size_t>(k) * (k + 1) / 2;
    const double h = rowK[k];
    double r = h;
    for (int j = 0; j < k; ++j) r -= rowK[j] * rowK[j];
    const bool passes = std::isfinite(r) && std::isfinite(h) && h > 0.0 && r > tolerance * h && r > 0.0;
    const double measure =
        (std::isfinite(r) && std::isfinite(h) && h > 0.0) ? std::sqrt(std::max(r, 0.0) / h) : 0.0;
    pivotMeasure = std::min(pivotMeasure, measure);
    if (!passes) {
      ++failed;
      for (int j = 0; j <= k; ++j) rowK[j] = 0.0;
      for (int i = k + 1; i < fN; ++i) fvHi[Index(i, k)] = 0.0;
      continue;
    }
    const double lkk = std::sqrt(r);
    rowK[k] = lkk;
    for (int i = k + 1; i < fN; ++i) {
      double* rowI = fvHi.data() + static_cast<std::size_t>(i) * (i + 1) / 2;
      double s = rowI[k];
      for (int j = 0; j < k; ++j) s -= rowI[j] * rowK[j];
      rowI[k] = s / lkk;
    }
  }
  fbFactored = true;
  return failed;
}

bool QXSymMatrix::LTSubstitute(const std::vector<double>& b, std::vector<double>& x) const {
  if (!fbFactored || b.size() != static_cast<std::size_t>(fN)) return false;
  std::vector<double> y(b);
  for (int i = 0; i < fN; ++i) {
    const double* row = fvHi.data() + static_cast<std::size_t>(i) * (i + 1) / 2;
    if (row[i] == 0.0) {
      y[i] = 0.0;
      continue;
    }
    double s = y[i];
    for (int j = 0; j < i; ++j) s -= row[j] * y[j];
    y[i] = s / row[i];
  }
  for (int i = fN - 1; i >= 0; --i) {
    const double lii = fvHi[Index(i, i)];
    if (lii == 0.0) {
      y[i] = 0.0;
      continue;
    }
    double s = y[i];
    for (int j = i + 1; j < fN; ++j) s -= fvHi[Index(j, i)] * y[j];
    y[i] = s / lii;
  }
  x.swap(y);
  return true;
}

bool QXSymMatrix::LTInverse() {
  if (!fbFactored) return false;
  double* a = fvHi.data();
  // X = L^-1 in place, column by column from the left: column j of X needs the columns of L to its
  // right, still intact, and the entries of X above it in the same column. Rows and columns of failed
  // pivots stay 0.
  for (int j = 0; j < fN; ++j) {
    const double ljj = a[Index(j, j)];
    if (ljj == 0.0) continue;
    a[Index(j, j)] = 1.0 / ljj;
    for (int i = j + 1; i < fN; ++i) {
      const double lii = a[Index(i, i)];
      if (lii == 0.0) {
        a[Index(i, j)] = 0.0;
        continue;
      }
      const double* rowI = a + static_cast<std::size_t>(i) * (i + 1) / 2;
      double sum = rowI[j] * a[Index(j, j)];
      for (int t = j + 1; t < i; ++t) sum += rowI[t] * a[Index(t, j)];
      a[Index(i, j)] = -sum / lii;
    }
  }
  // (L L')^-1 = X' X, again in place: element (i, j), j <= i, needs only rows i and below.
  for (int i = 0; i < fN; ++i)
    for (int j = 0; j <= i; ++j) {
      double sum = 0.0;
      for (int t = i; t < fN; ++t) sum += a[Index(t, i)] * a[Index(t, j)];
      a[Index(i, j)] = sum;
    }
  fbFactored = false;
  return true;
}

bool QXSymMatrix::Expand(const QXBitSet& kept, QXSymMatrix& out) const {
  if (kept.Count() != fN) return false;
  std::vector<int> position;
  position.reserve(fN);
  for (int i = 0; i < kept.Size(); ++i)
    if (kept.IsIn(i)) position.push_back(i);
  QXSymMatrix result(kept.Size());
  for (int i = 0; i < fN; ++i)
    for (int j = 0; j <= i; ++j) result.fvHi[Index(position[i], position[j])] = Value(Index(i, j));
  out = std::move(result);
  return true;
}

// ---- Products -------------------------------------------------------------------------------------

double QXSymMatrix::ComputeVSV(const std::vector<double>& v) const {
  if (v.size() != static_cast<std::size_t>(fN)) return QXMV::gMissingValue;
  double diag = 0.0, off = 0.0;
  for (int i = 0; i < fN; ++i) {
    if (v[i] == 0.0) continue;
    for (int j = 0; j < i; ++j)
      if (v[j] != 0.0) off += v[i] * v[j] * Value(Index(i, j));
    diag += v[i] * v[i] * Value(Index(i, i));
  }
  return diag + 2.0 * off;
}

double QXSymMatrix::ComputeVSV(const std::vector<int>& indices, const std::vector<double>& values) const {
  if (indices.size() != values.size()) return QXMV::gMissingValue;
  for (int i : indices)
    if (i < 0 || i >= fN) return QXMV::gMissingValue;
  double sum = 0.0;
  for (std::size_t s = 0; s < indices.size(); ++s)
    for (std::size_t t = 0; t < indices.size(); ++t)
      sum += values[s] * values[t] * Value(Index(indices[s], indices[t]));
  return sum;
}

bool QXSymMatrix::ComputeSV(const std::vector<double>& v, std::vector<double>& out) const {
  if (v.size() != static_cast<std::size_t>(fN)) return false;
  std::vector<double> result(fN, 0.0);
  for (int i = 0; i < fN; ++i)
    for (int j = 0; j < fN; ++j)
      if (v[j] != 0.0) result[i] += Value(Index(i, j)) * v[j];
  out.swap(result);
  return true;
}

bool QXSymMatrix::ComputeRSRTrans(const QXRectMatrix& r, QXSymMatrix& out) const {
  if (r.GetNCols() != fN) return false;
  const int m = r.GetNRows();
  // Hypothesis rows are mostly zeros: each row of R is kept as its non-zeros, so that T = R S costs
  // their number times the order and T R' their number times the rows.
  std::vector<std::vector<int>> nzIndex(static_cast<std::size_t>(m));
  std::vector<std::vector<double>> nzValue(static_cast<std::size_t>(m));
  std::vector<double> row;
  for (int i = 0; i < m; ++i) {
    r.GetRow(i, row);
    for (int k = 0; k < fN; ++k)
      if (row[k] != 0.0) {
        nzIndex[i].push_back(k);
        nzValue[i].push_back(row[k]);
      }
  }
  std::size_t nonZeros = 0;
  for (const std::vector<int>& list : nzIndex) nonZeros += list.size();
  // Rows filled with the rounding noise of a sweep are not sparse: there two matrix products do the
  // same work at the speed of Eigen's kernels. A few rows do not pay for the dense copy of S that
  // those products need (order^2 elements, as much work as the sparse products of those rows).
  constexpr int kMinDenseRows = 8;
  if (m >= kMinDenseRows && nonZeros > static_cast<std::size_t>(m) * static_cast<std::size_t>(fN) / 8)
    return ComputeRSRTransDense(r, out);
  QXSymMatrix result(m);
  std::vector<double> t(static_cast<std::size_t>(fN));
  for (int i = 0; i < m; ++i) {
    std::fill(t.begin(), t.end(), 0.0);
    for (std::size_t s = 0; s < nzIndex[i].size(); ++s) {
      const int k = nzIndex[i][s];
      const double rik = nzValue[i][s];
      // Row k of S: its packed row up to the diagonal, then down column k.
      const std::size_t start = static_cast<std::size_t>(k) * (k + 1) / 2;
      for (int j = 0; j <= k; ++j) t[j] += rik * Value(start + j);
      for (int j = k + 1; j < fN; ++j) t[j] += rik * Value(Index(j, k));
    }
    for (int j = 0; j <= i; ++j) {
      double sum = 0.0;
      for (std::size_t s = 0; s < nzIndex[j].size(); ++s) sum += t[nzIndex[j][s]] * nzValue[j][s];
      result.fvHi[Index(i, j)] = sum;
    }
  }
  out = std::move(result);
  return true;
}

bool QXSymMatrix::ComputeRSRTransDense(const QXRectMatrix& r, QXSymMatrix& out) const {
  const int m = r.GetNRows();
  Eigen::MatrixXd S(fN, fN), R(m, fN);
  for (int i = 0; i < fN; ++i)
    for (int j = 0; j <= i; ++j) S(i, j) = S(j, i) = Value(Index(i, j));
  std::vector<double> row;
  for (int i = 0; i < m; ++i) {
    r.GetRow(i, row);
    for (int j = 0; j < fN; ++j) R(i, j) = row[j];
  }
  const Eigen::MatrixXd T = R * S;
  Eigen::MatrixXd product = Eigen::MatrixXd::Zero(m, m);
  product.triangularView<Eigen::Lower>() += T * R.transpose();
  QXSymMatrix result(m);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j <= i; ++j) result.fvHi[Index(i, j)] = product(i, j);
  out = std::move(result);
  return true;
}

bool QXSymMatrix::ComputeAXpY(double a, const QXSymMatrix& x) {
  if (x.fN != fN) return false;
  FoldLowPart();
  MarkChanged();
  for (std::size_t t = 0; t < fvHi.size(); ++t)
    fvHi[t] += a * (x.fvLo.empty() ? x.fvHi[t] : x.fvHi[t] + x.fvLo[t]);
  return true;
}

void QXSymMatrix::Display() const {
  QXDisplay_600::DisplayText(1, " ");
  QXDisplay_600::DisplayText(1, "QXSymMatrix display start");
  QXDisplay_600::DisplayI("Order", fN);
  QXDisplay_600::DisplayB("Holds a Cholesky factor", fbFactored);
  std::vector<double> row(fN);
  for (int i = 0; i < fN; ++i) {
    for (int j = 0; j < fN; ++j) row[j] = GetElem(i, j);
    QXDisplay_600::DisplayDV("Row " + std::to_string(i), row);
  }
  QXDisplay_600::DisplayText(1, "QXSymMatrix display end");
}

}  // namespace QXMath_600
