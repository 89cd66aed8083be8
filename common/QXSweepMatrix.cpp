#include "common/QXSweepMatrix.h"

#include <Eigen/Core>
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>

#include "common/IQXWorkMonitor.h"
#include "common/QXBitSet.h"
#include "common/QXDoubleDouble.h"
#include "common/QXExtractSweptColumns.h"
#include "common/QXMissingValue.h"
#include "common/QXRectMatrix.h"

namespace QXMath_600 {

namespace {

using ColMajor = Eigen::Map<Eigen::MatrixXd>;
using ConstColMajor = Eigen::Map<const Eigen::MatrixXd>;

// Pivots per block of the double sweep: the block's columns are swept one pivot at a time (n nb^2
// flops per block, at memory speed), the rest takes them as one product of rank nb (n^2 nb flops at
// matrix-product speed). 64 keeps the first a few percent of the second at the orders where blocking
// matters.
constexpr int kBlock = 64;

// Power iteration stops when the estimate moves by less than this share; the result only decides
// whether a double sweep is accurate enough, so two or three digits of it are plenty.
constexpr double kEigenvalueTolerance = 1e-3;
constexpr int kMaxPowerIterations = 60;

constexpr double kUnitRoundoff = 1.1102230246251565e-16;
// Safety factor on the estimated rounding error of a pivot's ratio (observed errors stay within a
// quarter of the estimate without it).
constexpr double kNoiseFactor = 16.0;

}  // namespace

bool QXSweepMatrix::Assign(const QXSymMatrix& source, int order, Precision precision) {
  Clear();
  const int n = order < 0 ? source.GetNRows() : order;
  if (n > source.GetNRows()) return false;
  fPrecision = precision;
  try {
    if (precision == Precision::kExtended) {
      if (n == source.GetNRows()) {
        fExtended = source;
      } else if (!source.ExtractFirstNRows(n, fExtended)) {
        return false;
      }
    } else {
      const std::size_t size = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
      fvA.assign(size, 0.0);
      fvScale.assign(static_cast<std::size_t>(n), 0.0);
      // The source is packed by rows of its lower triangle: row i of it is column i of the upper
      // triangle here, so both sides are read and written in order.
      for (int i = 0; i < n; ++i) {
        const std::size_t row = static_cast<std::size_t>(i) * (i + 1) / 2;
        double* column = fvA.data() + static_cast<std::size_t>(i) * n;
        for (int j = 0; j <= i; ++j) column[j] = source.Value(row + j);
        fvScale[i] = column[i];
      }
    }
  } catch (const std::bad_alloc&) {
    Clear();
    return false;
  } catch (const std::length_error&) {
    Clear();
    return false;
  }
  fN = n;
  if (fReductionRow >= 0) fvReductions.assign(static_cast<std::size_t>(n), 0.0);
  fpSource = precision == Precision::kDouble ? &source : nullptr;
  if (precision == Precision::kDouble) fLargestEigenvalue = LargestScaledEigenvalue(QXBitSet(), false);
  return true;
}

void QXSweepMatrix::Clear() {
  fN = 0;
  std::vector<double>().swap(fvA);
  std::vector<double>().swap(fvScale);
  std::vector<double>().swap(fvBefore);
  std::vector<double>().swap(fvAfter);
  fExtended = QXSymMatrix();
  fLargestEigenvalue = 0.0;
  fbUnclearDecision = false;
  fbFactored = false;
  fpSource = nullptr;
  std::vector<double>().swap(fvRatios);
  std::vector<double>().swap(fvReductions);
}

double QXSweepMatrix::GetElem(int i, int j) const {
  if (fPrecision == Precision::kExtended) return fExtended.GetElem(i, j);
  if (i < 0 || j < 0 || i >= fN || j >= fN) return QXMV::gMissingValue;
  const std::size_t n = static_cast<std::size_t>(fN);
  return i <= j ? fvA[static_cast<std::size_t>(i) + j * n] : fvA[static_cast<std::size_t>(j) + i * n];
}

int QXSweepMatrix::SweepRange(int first, int last, double tolerance,
                              const std::vector<double>& referenceDiagonal, QXBitSet& kept, bool zeroAliased,
                              const QXBitSet* allowed, IQXWorkMonitor* monitor) {
  if (first < 0 || last >= fN || first > last + 1 || kept.Size() < last + 1 ||
      referenceDiagonal.size() < static_cast<std::size_t>(last + 1))
    return -1;
  int swept = 0;
  if (fPrecision == Precision::kExtended) {
    // A pivot that may not be swept fails a test no value passes, so that Sweep treats it as aliased.
    const double never = std::numeric_limits<double>::infinity();
    for (int k = first; k <= last; ++k) {
      if (kept.IsIn(k)) continue;
      const bool may = allowed == nullptr || allowed->IsIn(k);
      const bool reduces = fReductionRow > k && fReductionRow < fN;
      const double pivot = reduces ? fExtended.GetElem(k, k) : 0.0;
      const double rowElement = reduces ? fExtended.GetElem(k, fReductionRow) : 0.0;
      if (fExtended.Sweep(k, may ? tolerance : never, referenceDiagonal, kept, zeroAliased)) {
        ++swept;
        if (reduces) RecordReduction(k, pivot, rowElement);
      }
      if (monitor != nullptr && !monitor->ContinueAfter(1)) return -1;
    }
    return swept;
  }
  for (int k0 = first; k0 <= last; k0 += kBlock) {
    const int k1 = std::min(last + 1, k0 + kBlock);
    swept += SweepBlock(k0, k1, tolerance, referenceDiagonal, kept, zeroAliased, allowed);
    if (monitor != nullptr && !monitor->ContinueAfter(k1 - k0)) return -1;
  }
  return swept;
}

int QXSweepMatrix::SweepBlock(int k0, int k1, double tolerance, const std::vector<double>& referenceDiagonal,
                              QXBitSet& kept, bool zeroAliased, const QXBitSet* allowed) {
  const Eigen::Index n = fN;
  const int nb = k1 - k0;
  fvBefore.resize(static_cast<std::size_t>(n) * nb);
  ColMajor A(fvA.data(), n, n);
  ColMajor before(fvBefore.data(), n, nb);
  // The block's columns in full: above the diagonal they are columns of the upper triangle, below it
  // rows, which for the rows past the block are read as one block of nb contiguous values per column.
  for (int t = 0; t < nb; ++t) {
    const int j = k0 + t;
    before.col(t).head(j + 1) = A.col(j).head(j + 1);
    for (int i = j + 1; i < k1; ++i) before(i, t) = A(j, i);
  }
  if (k1 < n) before.bottomRows(n - k1) = A.block(k0, k1, nb, n - k1).transpose();
  fvAfter = fvBefore;
  ColMajor after(fvAfter.data(), n, nb);

  std::vector<int> sweptColumns;
  sweptColumns.reserve(static_cast<std::size_t>(nb));
  // Factoring only: the pivot columns as reduced when each pivot was taken, for the update of the rest.
  Eigen::MatrixXd reduced;
  if (fbFactorOnly) reduced.resize(n, nb);
  Eigen::VectorXd pivotColumn(n);
  for (int t = 0; t < nb; ++t) {
    const int k = k0 + t;
    if (kept.IsIn(k)) continue;
    double a = after(k, t);
    const double d = referenceDiagonal[k];
    const bool may = allowed == nullptr || allowed->IsIn(k);
    const bool candidate = may && std::isfinite(a) && std::isfinite(d) && d > 0.0;
    bool passes = candidate && a > 0.0 && a > tolerance * d;
    if (candidate && fbFactorOnly) {
      fvRatios[k] = a / d;
    } else if (candidate) {
      passes = ConfirmDecision(k, after.col(t).data(), tolerance, referenceDiagonal, kept, passes, a);
    }
    // Factoring leaves the rows above the pivot alone: they hold the earlier pivots' multipliers.
    const Eigen::Index from = fbFactorOnly ? k : 0;
    if (!passes) {
      if (zeroAliased) {
        after.col(t).tail(n - from).setZero();
        after.row(k).tail(fbFactorOnly ? nb - t : nb).setZero();
      }
      continue;
    }
    kept.Set(k);
    sweptColumns.push_back(t);
    const double inverse = 1.0 / a;
    pivotColumn = after.col(t);
    if (fReductionRow > k && fReductionRow < n) RecordReduction(k, a, pivotColumn(fReductionRow));
    for (int u = fbFactorOnly ? t + 1 : 0; u < nb; ++u) {
      if (u == t) continue;
      const double c = pivotColumn(k0 + u);
      // A column without a coefficient on the pivot does not change: skip the zeros of sparse designs.
      if (c == 0.0) continue;
      after.col(u).tail(n - from) -= (c * inverse) * pivotColumn.tail(n - from);
      after(k, u) = c * inverse;
    }
    if (fbFactorOnly) reduced.col(t) = pivotColumn;
    after.col(t).tail(n - from) = pivotColumn.tail(n - from) * inverse;
    after(k, t) = -inverse;
  }

  const int m = static_cast<int>(sweptColumns.size());
  if (m > 0) {
    // The rest of the matrix takes the block at once: with Y the block's swept columns after and B
    // the same columns before, the rows and columns outside the block lose Y B', which is what the m
    // one-at-a-time updates add up to (B = Y times the block's pivot submatrix before the sweep).
    // Factoring only the rows and columns after the block take it, with B the pivot columns as reduced
    // when taken (Y B' = L D L' over the block's pivots).
    Eigen::MatrixXd Y(n, m), B(n, m);
    for (int s = 0; s < m; ++s) {
      Y.col(s) = after.col(sweptColumns[s]);
      if (fbFactorOnly)
        B.col(s) = reduced.col(sweptColumns[s]);
      else
        B.col(s) = before.col(sweptColumns[s]);
    }
    const Eigen::Index below = n - k1;
    if (k0 > 0 && !fbFactorOnly)
      A.topLeftCorner(k0, k0).triangularView<Eigen::Upper>() -= Y.topRows(k0) * B.topRows(k0).transpose();
    if (k0 > 0 && below > 0 && !fbFactorOnly)
      A.block(0, k1, k0, below).noalias() -= Y.topRows(k0) * B.bottomRows(below).transpose();
    if (below > 0)
      A.bottomRightCorner(below, below).triangularView<Eigen::Upper>() -=
          Y.bottomRows(below) * B.bottomRows(below).transpose();
  }
  for (int t = 0; t < nb; ++t) {
    const int j = k0 + t;
    A.col(j).head(j + 1) = after.col(t).head(j + 1);
    for (int i = j + 1; i < k1; ++i) A(j, i) = after(i, t);
  }
  if (k1 < n) A.block(k0, k1, nb, n - k1) = after.bottomRows(n - k1).transpose();
  return m;
}

int QXSweepMatrix::Factor(double tolerance, const std::vector<double>& referenceDiagonal, QXBitSet& kept,
                          IQXWorkMonitor* monitor) {
  if (fPrecision == Precision::kExtended)
    return SweepRange(0, fN - 1, tolerance, referenceDiagonal, kept, true, nullptr, monitor);
  // A pivot kept only by rounding (its column a combination of the earlier ones, the common case) is
  // left out of a second factorization; a pivot lost to rounding cannot be restored that way and
  // leaves the decision to the caller.
  const QXSymMatrix* source = fpSource;
  const int n = fN;
  QXBitSet excluded(n);
  for (int attempt = 0;; ++attempt) {
    if (attempt > 0 && (source == nullptr || !Assign(*source, n, Precision::kDouble))) return -1;
    QXBitSet allowed(n);
    allowed.SetRange(0, n - 1);
    for (int k = 0; k < n; ++k)
      if (excluded.IsIn(k)) allowed.Reset(k);
    kept = QXBitSet(n);
    fvRatios.assign(static_cast<std::size_t>(n), std::numeric_limits<double>::quiet_NaN());
    fbFactorOnly = true;
    const int rank = SweepRange(0, n - 1, tolerance, referenceDiagonal, kept, true, &allowed, monitor);
    fbFactorOnly = false;
    if (rank < 0) return -1;
    fbFactored = true;
    QXBitSet keptByRounding(n);
    const bool lostByRounding = !VerifyCloseDecisions(tolerance, referenceDiagonal, kept, keptByRounding);
    if (lostByRounding || (keptByRounding.Count() > 0 && attempt > 0)) {
      fbUnclearDecision = true;
      return rank;
    }
    if (keptByRounding.Count() == 0) return rank;
    excluded.Union(keptByRounding);
  }
}

bool QXSweepMatrix::VerifyCloseDecisions(double tolerance, const std::vector<double>& referenceDiagonal,
                                         const QXBitSet& kept, QXBitSet& keptByRounding) const {
  // A pivot's ratio is decided again when it lies below 1e-6 (or 1e4 times a larger tolerance): only
  // then could rounding carry it across the tolerance, short of a matrix too ill-conditioned for its
  // solutions to be refined anyway. Its coefficients z on the pivots kept before it come from the
  // factor: z = L^-T l, l its multipliers.
  const double threshold = std::max(1e-6, 1e4 * tolerance);
  ConstColMajor A(fvA.data(), fN, fN);
  std::vector<double> z(static_cast<std::size_t>(fN));
  bool agree = true;
  for (int k = 0; k < fN && fpSource != nullptr; ++k) {
    const double ratio = fvRatios[k];
    if (std::isnan(ratio) || ratio >= threshold) continue;
    std::fill(z.begin(), z.end(), 0.0);
    for (int i = 0; i < k; ++i)
      if (kept.IsIn(i)) z[i] = A(i, k);
    for (int j = k - 1; j >= 0; --j) {
      if (!kept.IsIn(j) || z[j] == 0.0) continue;
      for (int i = 0; i < j; ++i)
        if (kept.IsIn(i)) z[i] -= A(i, j) * z[j];
    }
    const double residual = VerifiedResidual(k, z.data(), kept);
    const bool verified =
        std::isfinite(residual) && residual > 0.0 && residual > tolerance * referenceDiagonal[k];
    if (verified == kept.IsIn(k)) continue;
    if (verified)
      agree = false;
    else
      keptByRounding.Set(k);
  }
  return agree;
}

bool QXSweepMatrix::SolveFactored(const QXBitSet& kept, const std::vector<double>& b,
                                  std::vector<double>& x) const {
  if (b.size() != static_cast<std::size_t>(fN)) return false;
  if (fPrecision == Precision::kExtended || !fbFactored) {
    // A swept matrix: minus the inverse times b.
    if (!MultiplyRestricted(kept, b, x)) return false;
    for (double& v : x) v = -v;
    return true;
  }
  // L D L' x = b over the kept pivots: L(i, k) for a pivot k < i stands at (k, i), D_k = -1 / (k, k).
  ConstColMajor A(fvA.data(), fN, fN);
  x.assign(static_cast<std::size_t>(fN), 0.0);
  for (int i = 0; i < fN; ++i) {
    if (!kept.IsIn(i)) continue;
    double sum = b[i];
    for (int k = 0; k < i; ++k) sum -= A(k, i) * x[k];
    x[i] = sum;
  }
  for (int i = 0; i < fN; ++i)
    if (kept.IsIn(i)) x[i] *= -A(i, i);
  for (int j = fN - 1; j >= 0; --j) {
    if (!kept.IsIn(j) || x[j] == 0.0) continue;
    for (int i = 0; i < j; ++i)
      if (kept.IsIn(i)) x[i] -= A(i, j) * x[j];
  }
  return true;
}

bool QXSweepMatrix::ConfirmDecision(int k, const double* column, double tolerance,
                                    const std::vector<double>& referenceDiagonal, const QXBitSet& kept,
                                    bool passes, double& pivot) {
  // The rounding error of the computed ratio: the pivot is the residual sum of squares v'Av of its
  // column regressed on the swept ones, v = e_k - z with z the coefficients now in the column, and
  // each element of A enters with an error of the order of u sqrt(d_i d_j); summed with random signs
  // that is about u (1 + |z~|)^2 relative to d_k, z~ the coefficients in units of unit-diagonal
  // columns. Aliased columns of a factor's last level, or of an interaction's last cells, have large
  // z~ and show exactly this noise.
  const double dk = referenceDiagonal[static_cast<std::size_t>(k)];
  double squares = 0.0;
  for (int j = 0; j < fN; ++j) {
    if (j == k || !kept.IsIn(j) || column[j] == 0.0) continue;
    const double scaled = column[j] * std::sqrt(referenceDiagonal[static_cast<std::size_t>(j)] / dk);
    squares += scaled * scaled;
  }
  const double noise = kNoiseFactor * kUnitRoundoff * (1.0 + std::sqrt(squares)) * (1.0 + std::sqrt(squares));
  const double ratio = pivot / dk;
  if (std::fabs(ratio - tolerance) > noise && (passes || tolerance > 0.0)) return passes;
  if (fpSource == nullptr) {
    fbUnclearDecision = true;
    return passes;
  }
  // Too close to call in double: v'Av with the double coefficients, evaluated in double-double from
  // the matrix as assigned, exceeds the exact residual only by a term quadratic in their error, so it
  // decides the test as the extended sweep would, and is the better pivot.
  const double residual = VerifiedResidual(k, column, kept);
  const bool verified = std::isfinite(residual) && residual > 0.0 && residual > tolerance * dk;
  if (verified) pivot = residual;
  return verified;
}

double QXSweepMatrix::VerifiedResidual(int k, const double* column, const QXBitSet& kept) const {
  std::vector<int> index;
  std::vector<double> v;
  for (int j = 0; j < fN; ++j) {
    if (j == k) {
      index.push_back(j);
      v.push_back(1.0);
    } else if (kept.IsIn(j) && column[j] != 0.0) {
      index.push_back(j);
      v.push_back(-column[j]);
    }
  }
  const std::size_t m = index.size();
  // s = A v in double-double, with exact products of the high parts.
  std::vector<detail::DD> s(m);
  const auto add = [](detail::DD& sum, double aHi, double aLo, double x) {
    double p, e;
    detail::TwoProd(aHi, x, p, e);
    sum = detail::Add(sum, detail::DD{p, e + aLo * x});
  };
  for (std::size_t a = 0; a < m; ++a) {
    const std::size_t row = static_cast<std::size_t>(index[a]) * (index[a] + 1) / 2;
    for (std::size_t b = 0; b <= a; ++b) {
      const std::size_t at = row + static_cast<std::size_t>(index[b]);
      const double hi = fpSource->fvHi[at];
      const double lo = fpSource->fvLo.empty() ? 0.0 : fpSource->fvLo[at];
      add(s[a], hi, lo, v[b]);
      if (b != a) add(s[b], hi, lo, v[a]);
    }
  }
  detail::DD result;
  for (std::size_t a = 0; a < m; ++a) result = detail::Add(result, detail::Mul(s[a], v[a]));
  return detail::ToDouble(result);
}

int QXSweepMatrix::ExtractH(int first, int last, const QXBitSet& swept, QXRectMatrix& out) const {
  return detail::ExtractSweptColumns(*this, fN, first, last, swept, out);
}

double QXSweepMatrix::LargestScaledEigenvalue(const QXBitSet& kept, bool inverse) const {
  const Eigen::Index n = fN;
  ConstColMajor A(fvA.data(), n, n);
  // The rows that take part, with their scale: 1/sqrt(d) for the matrix as assigned, sqrt(d) for the
  // swept block (whose elements are those of an inverse).
  Eigen::VectorXd scale = Eigen::VectorXd::Zero(n);
  for (Eigen::Index i = 0; i < n; ++i) {
    const double d = fvScale[static_cast<std::size_t>(i)];
    if (!(d > 0.0) || !std::isfinite(d)) continue;
    if (inverse && !kept.IsIn(static_cast<int>(i))) continue;
    scale(i) = inverse ? std::sqrt(d) : 1.0 / std::sqrt(d);
  }
  Eigen::VectorXd x = (scale.array() != 0.0).cast<double>().matrix();
  if (x.norm() == 0.0) return 0.0;
  x /= x.norm();
  double estimate = 0.0;
  Eigen::VectorXd y(n);
  for (int iteration = 0; iteration < kMaxPowerIterations; ++iteration) {
    const Eigen::VectorXd z = scale.cwiseProduct(x);
    y.noalias() = A.selfadjointView<Eigen::Upper>() * z;
    y = scale.cwiseProduct(y);
    if (inverse) y = -y;  // the swept block is minus the inverse
    const double next = x.dot(y);
    const double norm = y.norm();
    if (!(norm > 0.0) || !std::isfinite(norm)) return std::isfinite(norm) ? 0.0 : norm;
    x = y / norm;
    const bool settled = std::fabs(next - estimate) <= kEigenvalueTolerance * std::fabs(next);
    estimate = next;
    if (settled) break;
  }
  return estimate;
}

double QXSweepMatrix::EstimateCondition(const QXBitSet& kept) const {
  if (fPrecision == Precision::kExtended) return QXMV::gMissingValue;
  return fLargestEigenvalue * LargestScaledEigenvalue(kept, true);
}

bool QXSweepMatrix::IsAccurate(const QXBitSet& kept, double& condition) const {
  condition = EstimateCondition(kept);
  if (fPrecision == Precision::kExtended) return true;
  if (fbUnclearDecision) return false;
  if (!std::isfinite(condition) || condition < 0.0) return false;
  // Relative rounding error of double arithmetic, times the condition: the digits the sweep may lose.
  return condition * kUnitRoundoff <= std::pow(10.0, -kMinDoubleDigits);
}

bool QXSweepMatrix::MultiplyRestricted(const QXBitSet& set, const std::vector<double>& v,
                                       std::vector<double>& out, int nColumns) const {
  const std::size_t n = static_cast<std::size_t>(fN);
  if (nColumns < 1 || v.size() != n * static_cast<std::size_t>(nColumns)) return false;
  out.assign(v.size(), 0.0);
  if (fPrecision == Precision::kExtended) {
    for (std::size_t c = 0; c < static_cast<std::size_t>(nColumns); ++c)
      for (int i = 0; i < fN; ++i) {
        if (!set.IsIn(i)) continue;
        double sum = 0.0;
        for (int j = 0; j < fN; ++j)
          if (set.IsIn(j) && v[j + c * n] != 0.0) sum += fExtended.GetElem(i, j) * v[j + c * n];
        out[i + c * n] = sum;
      }
    return true;
  }
  Eigen::MatrixXd masked = Eigen::MatrixXd::Zero(fN, nColumns);
  for (int c = 0; c < nColumns; ++c)
    for (int j = 0; j < fN; ++j)
      if (set.IsIn(j)) masked(j, c) = v[j + static_cast<std::size_t>(c) * n];
  ConstColMajor A(fvA.data(), fN, fN);
  const Eigen::MatrixXd product = A.selfadjointView<Eigen::Upper>() * masked;
  for (int c = 0; c < nColumns; ++c)
    for (int i = 0; i < fN; ++i)
      if (set.IsIn(i)) out[i + static_cast<std::size_t>(c) * n] = product(i, c);
  return true;
}

bool QXSweepMatrix::MoveTo(QXSymMatrix& out) {
  if (fPrecision == Precision::kExtended) {
    out = std::move(fExtended);
    Clear();
    return true;
  }
  if (!out.SetNRowsCols(fN)) return false;
  for (int i = 0; i < fN; ++i) {
    const std::size_t row = static_cast<std::size_t>(i) * (i + 1) / 2;
    const double* column = fvA.data() + static_cast<std::size_t>(i) * fN;
    std::copy(column, column + i + 1, out.fvHi.begin() + static_cast<std::ptrdiff_t>(row));
  }
  Clear();
  return true;
}

}  // namespace QXMath_600
