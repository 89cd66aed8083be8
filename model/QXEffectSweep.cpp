#include "model/QXEffectSweep.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "common/QXMissingValue.h"

namespace QXMath_600 {

namespace {

// The first p members of a set over a larger order.
QXBitSet Leading(const QXBitSet& set, int p) {
  QXBitSet result(p);
  for (int k = 0; k < p; ++k)
    if (set.IsIn(k)) result.Set(k);
  return result;
}

}  // namespace

QXEffectSweep::QXEffectSweep(const QXSymMatrix& source, int p, std::vector<int> starts,
                             std::vector<int> sizes, IQXWorkMonitor* monitor)
    : fpSource(&source),
      fP(p < 0 ? 0 : p),
      fOrder(source.GetNRows()),
      fvStarts(std::move(starts)),
      fvSizes(std::move(sizes)),
      fpMonitor(monitor) {
  if (fOrder < fP) fP = fOrder;
  source.GetDiagonal(fvDiagonal);
  fvInverseRoot.assign(fvDiagonal.size(), 0.0);
  for (std::size_t j = 0; j < fvDiagonal.size(); ++j)
    if (fvDiagonal[j] > 0.0) fvInverseRoot[j] = 1.0 / std::sqrt(fvDiagonal[j]);
}

QXEffectSweep::Outcome QXEffectSweep::SweepInOrder(const std::vector<int>& effects, double tolerance,
                                                   const QXBitSet* allowed, bool finish,
                                                   const AfterEffect& afterEffect, QXSweepMatrix& work,
                                                   QXSweptColumns& out, double* condition) const {
  if (fpSource == nullptr) return Outcome::kNoSource;
  QXBitSet kept;
  for (auto precision = QXSweepMatrix::ChoosePrecision(fOrder);;
       precision = QXSweepMatrix::Precision::kExtended) {
    if (!work.Assign(*fpSource, fOrder, precision)) return Outcome::kNoMemory;
    kept = QXBitSet(fOrder);
    const auto sweep = [&](int first, int last) {
      return work.SweepRange(first, last, tolerance, fvDiagonal, kept, false, allowed, fpMonitor) >= 0;
    };
    // Every pivot of a swept range has been tested; one that failed fails again later (sweeping more
    // pivots only shrinks what is left of its column), so the finish takes the parameters outside every
    // range only, and the monitor hears each pivot once.
    QXBitSet tested(fP);
    for (std::size_t position = 0; position < effects.size(); ++position) {
      const std::size_t e = static_cast<std::size_t>(effects[position]);
      const long long first = e < fvStarts.size() ? fvStarts[e] : -1;
      const long long count = e < fvSizes.size() ? fvSizes[e] : 0;
      if (first >= 0 && count > 0 && first + count <= fP) {
        if (!sweep(static_cast<int>(first), static_cast<int>(first + count - 1))) return Outcome::kCancelled;
        tested.SetRange(static_cast<int>(first), static_cast<int>(first + count - 1));
      }
      if (afterEffect) afterEffect(position, work, kept);
    }
    for (int k = 0; finish && k < fP;) {
      if (tested.IsIn(k)) {
        ++k;
        continue;
      }
      int last = k;
      while (last + 1 < fP && !tested.IsIn(last + 1)) ++last;
      if (!sweep(k, last)) return Outcome::kCancelled;
      k = last + 1;
    }
    double estimate = 0.0;
    const bool accurate = work.IsAccurate(kept, estimate);
    if (condition != nullptr) *condition = estimate;
    if (accurate) break;
  }
  out.fKept = Leading(kept, fP);
  out.fvAliased.clear();
  for (int k = 0; k < fP; ++k)
    if (!out.fKept.IsIn(k)) out.fvAliased.push_back(k);
  out.fColumns = QXRectMatrix(fP, static_cast<int>(out.fvAliased.size()));
  for (std::size_t a = 0; a < out.fvAliased.size(); ++a)
    for (int i = 0; i < fP; ++i)
      out.fColumns.SetElem(i, static_cast<int>(a), work.GetElem(i, out.fvAliased[a]));
  if (work.GetPrecision() == QXSweepMatrix::Precision::kDouble) RefineAliasedColumns(work, out);
  return Outcome::kDone;
}

void QXEffectSweep::RefineAliasedColumns(const QXSweepMatrix& work, QXSweptColumns& out) const {
  // The coefficients T that express the aliased columns through the kept ones solve X'WX_SS T = X'WX_SN.
  // A double sweep leaves them with rounding noise of the order of the condition times eps where they
  // are exactly 0 (a cell through the cells of other levels), and the eliminations of the Type III
  // hypotheses take noise above 1e-12 of a column for a real coefficient. One step of refinement,
  // residuals with exact products against X'WX, brings them to the digits of the double inverse times
  // eps: exact zeros come back as noise of about 1e-25.
  const int m = static_cast<int>(out.fvAliased.size());
  if (m == 0) return;
  const std::size_t n = static_cast<std::size_t>(fOrder);
  const QXBitSet kept = [&] {
    QXBitSet set(fOrder);
    for (int k = 0; k < fP; ++k)
      if (out.fKept.IsIn(k)) set.Set(k);
    return set;
  }();
  std::vector<double> T(n * m, 0.0), hi, lo, residual(n * m, 0.0), correction;
  for (int a = 0; a < m; ++a)
    for (int i = 0; i < fP; ++i)
      if (kept.IsIn(i)) T[i + a * n] = out.fColumns.GetElem(i, a);
  fpSource->MultiplyExtended(kept, T, hi, lo, m);
  for (int a = 0; a < m; ++a)
    for (int i = 0; i < fP; ++i) {
      if (!kept.IsIn(i)) continue;
      double targetHi = 0.0, targetLo = 0.0;
      fpSource->GetElemExtended(i, out.fvAliased[a], targetHi, targetLo);
      const std::size_t at = i + a * n;
      residual[at] = (targetHi - hi[at]) + (targetLo - lo[at]);
    }
  // The swept block is minus the inverse.
  work.MultiplyRestricted(kept, residual, correction, m);
  for (int a = 0; a < m; ++a)
    for (int i = 0; i < fP; ++i)
      if (kept.IsIn(i)) out.fColumns.SetElem(i, a, T[i + a * n] - correction[i + a * n]);
}

void QXEffectSweep::ExtractTypeI(const QXSweepMatrix& matrix, int first, int last, const QXBitSet& swept,
                                 const std::vector<int>& parameters, QXRectMatrix& columns) const {
  // The columns of QXSymMatrix::ExtractH over the parameter rows: 1 at the pivot's own row and the
  // swept matrix's entries at the rows not swept yet, 0 elsewhere. Only those rows are visited.
  std::vector<int> unswept;
  for (int j = 0; j < fP; ++j)
    if (!swept.IsIn(j)) unswept.push_back(j);
  columns = QXRectMatrix(fP, swept.InRange(first, last));
  // Column c holds, at a parameter j not swept yet, the coefficient of c when column j of the design is
  // regressed on the swept ones. Coefficients that the sweep's rounding made of an exact 0 (every one
  // at a cell that does not share a level with c, once an intercept has filled the matrix) would make
  // the hypothesis dense; judged in units of unit-length design columns, those below 1e-10 of the
  // column's largest are that rounding, and become 0 as Type III hypotheses clean theirs.
  constexpr double kRelativeNoise = 1e-10;
  std::vector<double> values(unswept.size());
  int t = 0;
  for (int c = first; c <= last; ++c) {
    if (!swept.IsIn(c)) continue;
    for (std::size_t u = 0; u < unswept.size(); ++u) values[u] = matrix.GetElem(c, unswept[u]);
    const double dc = t < static_cast<int>(parameters.size()) ? fvDiagonal[parameters[t]] : 0.0;
    double own = 1.0;
    if (dc > 0.0) {
      const double rootDc = std::sqrt(dc);
      // The pivot's own 1 counts at its own scale.
      const double ownScaled = fvInverseRoot[c] * rootDc;
      double largest = ownScaled;
      for (std::size_t u = 0; u < unswept.size(); ++u)
        if (fvInverseRoot[unswept[u]] > 0.0)
          largest = std::max(largest, std::fabs(values[u]) * rootDc * fvInverseRoot[unswept[u]]);
      const double threshold = kRelativeNoise * largest;
      for (std::size_t u = 0; u < unswept.size(); ++u)
        if (fvInverseRoot[unswept[u]] > 0.0 &&
            std::fabs(values[u]) * rootDc * fvInverseRoot[unswept[u]] <= threshold)
          values[u] = 0.0;
      if (fvInverseRoot[c] > 0.0 && ownScaled <= threshold) own = 0.0;
    }
    columns.SetElem(c, t, own);
    for (std::size_t u = 0; u < unswept.size(); ++u)
      if (values[u] != 0.0) columns.SetElem(unswept[u], t, values[u]);
    ++t;
  }
}

QXEffectSweep::Outcome QXEffectSweep::SweepForHypotheses(double tolerance, const QXBitSet* allowed,
                                                         bool keepTypeI, QXSweepMatrix& work) {
  fbDone = false;
  fbTypeIKept = keepTypeI;
  std::vector<int> order;
  for (std::size_t e = 0; e < fvStarts.size() && e < fvSizes.size(); ++e)
    order.push_back(static_cast<int>(e));
  // After each effect the swept matrix holds its Type I (sequential) hypotheses: the effect adjusted
  // for the effects before it. Parameters outside every range still belong to the model, so the sweep
  // ends on all of them. A repeated sweep (double precision was not enough) records them again.
  QXBitSet before(fP);
  fvTypeIColumns.clear();
  fvTypeIParameters.clear();
  fvTypeISS.clear();
  // The fit's matrix carries the dependent last: its reductions are the Type I sums of squares.
  const bool withDependent = keepTypeI && fOrder == fP + 1;
  work.SetReductionRow(withDependent ? fP : -1);
  fvDroppedRSS.clear();
  fvDroppedRank.clear();
  if (withDependent && allowed == nullptr && fpSource != nullptr) FitWithoutEachLargeRange(tolerance);
  const auto keepTypeIHypotheses = [&](std::size_t e, const QXSweepMatrix& matrix, const QXBitSet& kept) {
    if (e == 0) {
      fvTypeIColumns.clear();
      fvTypeIParameters.clear();
      fvTypeISS.clear();
      before = QXBitSet(fP);
    }
    if (!keepTypeI) return;
    const int first = fvStarts[e], count = fvSizes[e];
    std::vector<int> fresh;
    QXRectMatrix columns;
    for (int k = first; k < first + count && first >= 0 && first + count <= fP; ++k)
      if (kept.IsIn(k) && !before.IsIn(k)) fresh.push_back(k);
    if (!fresh.empty()) ExtractTypeI(matrix, first, first + count - 1, kept, fresh, columns);
    if (withDependent) {
      double sum = 0.0;
      for (int k : fresh) sum += matrix.GetReduction(k);
      fvTypeISS.push_back(sum);
    }
    fvTypeIColumns.push_back(std::move(columns));
    fvTypeIParameters.push_back(std::move(fresh));
    before = Leading(kept, fP);
  };
  const Outcome outcome =
      SweepInOrder(order, tolerance, allowed, true, keepTypeIHypotheses, work, fIndexOrder, &fCondition);
  work.SetReductionRow(-1);
  if (outcome != Outcome::kDone) return outcome;
  // An effect without a range of its own was never swept and had no entry.
  if (fvTypeISS.size() != fvTypeIColumns.size()) fvTypeISS.clear();
  fPrecision = work.GetPrecision();
  fvUnexplained.assign(static_cast<std::size_t>(fP), 0.0);
  for (int k = 0; k < fP; ++k) {
    // The swept diagonal is minus the inverse's.
    const double product = -work.GetElem(k, k) * fvDiagonal[k];
    if (fIndexOrder.fKept.IsIn(k) && product > 0.0) fvUnexplained[k] = 1.0 / product;
  }
  fbDone = true;
  return Outcome::kDone;
}

void QXEffectSweep::SetFitSolution(const QXSymMatrix* swept, double scale,
                                   const std::vector<double>* estimates, double residualSS) {
  fpFitSwept = swept;
  fFitScale = scale;
  fpFitEstimates = estimates;
  fResidualSS = residualSS;
  fbResidualSet = true;
}

double QXEffectSweep::GetResidualSS() const {
  return fbResidualSet ? fResidualSS * fFitScale : QXMV::gMissingValue;
}

bool QXEffectSweep::GetFitWithout(std::size_t e, double& residualSS, int& rank) const {
  if (e >= fvDroppedRSS.size() || fvDroppedRank[e] < 0) return false;
  residualSS = fvDroppedRSS[e] * fFitScale;
  rank = fvDroppedRank[e];
  return true;
}

void QXEffectSweep::FitWithoutEachLargeRange(double tolerance) {
  // A many-level factor with a few covariates: the model without the factor has a handful of
  // parameters, and its residual sum of squares (in double-double, from the accumulated cross
  // products) gives the factor's sum of squares adjusted for everything else without inverting a
  // hypothesis of the factor's order.
  fvDroppedRSS.assign(fvStarts.size(), 0.0);
  fvDroppedRank.assign(fvStarts.size(), -1);
  for (std::size_t e = 0; e < fvStarts.size() && e < fvSizes.size(); ++e) {
    const long long first = fvStarts[e], count = fvSizes[e];
    // Only a range at least as large as the rest, whose own test would cost more than this sweep: at
    // most two qualify, so that small models with many effects are not swept once per effect.
    if (first < 0 || count <= 0 || first + count > fP || fP - count > kMaxDroppedOrder || count < fP - count)
      continue;
    std::vector<int> index;
    for (int j = 0; j < fP; ++j)
      if (j < first || j >= first + count) index.push_back(j);
    index.push_back(fP);
    const int k = static_cast<int>(index.size()) - 1;
    QXSymMatrix reduced;
    if (!reduced.SetNRowsCols(k + 1)) continue;
    std::vector<double> diagonal(static_cast<std::size_t>(k) + 1);
    for (int a = 0; a <= k; ++a) {
      diagonal[a] = fvDiagonal[index[a]];
      for (int b = 0; b <= a; ++b) {
        double hi = 0.0, lo = 0.0;
        fpSource->GetElemExtended(index[a], index[b], hi, lo);
        reduced.AddElemExtended(a, b, hi, lo);
      }
    }
    QXBitSet kept(k + 1);
    for (int a = 0; a < k; ++a) reduced.Sweep(a, tolerance, diagonal, kept, false);
    fvDroppedRSS[e] = reduced.GetElem(k, k);
    fvDroppedRank[e] = kept.Count();
  }
}

double QXEffectSweep::ErrorVarianceOf(const QXSymMatrix& covariance,
                                      const std::vector<double>& estimates) const {
  if (!fbDone || fpFitSwept == nullptr || fpFitEstimates == nullptr || fpFitSwept->GetNRows() < fP ||
      covariance.GetNRows() != fP || *fpFitEstimates != estimates)
    return 0.0;
  // sigma^2 from one diagonal element, then every element must be that multiple of the fit's: a
  // covariance of another kind (robust, or of other estimates) is not sigma^2 (X'WX)^-. The caller
  // scaled each element once, so a few units of rounding separate the two.
  constexpr double kRounding = 1e-13;
  const QXBitSet& kept = fIndexOrder.fKept;
  double sigma2 = 0.0;
  for (int k = 0; k < fP && sigma2 == 0.0; ++k) {
    const double g = -fpFitSwept->GetElem(k, k);
    if (kept.IsIn(k) && g > 0.0) sigma2 = covariance.GetElem(k, k) / g;
  }
  if (!(sigma2 > 0.0) || !std::isfinite(sigma2)) return 0.0;
  return covariance.IsMultipleOf(*fpFitSwept, fP, -sigma2, kRounding) ? sigma2 : 0.0;
}

}  // namespace QXMath_600
