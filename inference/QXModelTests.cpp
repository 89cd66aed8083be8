#include "inference/QXModelTests.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/QXDisplay.h"
#include "common/QXDistFun.h"
#include "common/QXMathFun.h"
#include "common/QXPower.h"
#include "common/QXSweepMatrix.h"
#include "inference/QXSatterthwaite.h"
#include "links/IQXLinkFunc.h"
#include "settings/QXDisplayC.h"

namespace QXMath_600 {

using QXCommon_600::QXStatus;

namespace {

constexpr double kM = QXMV::gMissingValue;
// Pivot tolerance of the generalized inverse of a hypothesis matrix, relative to its diagonal: a row
// whose variance is not above 1e-12 of its own after the rows before it were taken out adds nothing.
constexpr double kInverseTolerance = 1e-12;
// "None found yet" for the smallest significance of a set of rows.
constexpr double kNone = std::numeric_limits<double>::max();

// The smallest significance and adjusted significance over the rows tested so far.
struct Smallest {
  void Add(const QXTestStats& stats) {
    if (!QXMV::IsMissing(stats.GetSig())) sig = std::min(sig, stats.GetSig());
    if (!QXMV::IsMissing(stats.GetAdjSig())) adjSig = std::min(adjSig, stats.GetAdjSig());
  }
  double sig = kNone;
  double adjSig = kNone;
};

bool Usable(double x) { return std::isfinite(x) && !QXMV::IsMissing(x); }
double Clamp01(double x) { return std::min(1.0, std::max(0.0, x)); }

// True when every element is a number and one of them is not 0: a hypothesis without a testable part
// is then false for certain. Unknown differences prove nothing.
bool IsKnownNonZero(const std::vector<double>& d) {
  bool nonZero = false;
  for (double x : d) {
    if (!Usable(x)) return false;
    if (x != 0.0) nonZero = true;
  }
  return nonZero;
}

// A degrees-of-freedom field still at 0.0 means that nothing could be tested.
void MissingWhenZero(QXTestStats& stats) {
  if (stats.GetDF() == 0.0) stats.SetDF(kM);
  if (stats.GetDF2() == 0.0) stats.SetDF2(kM);
}

// A record may come from an earlier test: its statistics are cleared so that none of them outlives
// the test that formed it. Where the record stands in the overall test is the caller's to set.
void ClearStatistics(QXTestStats& stats) {
  const bool used = stats.IsUsedInOverallTest();
  const int nRows = stats.GetNNonRedunRows();
  stats.Reset(false);
  stats.SetUsedInOverallTest(used);
  stats.SetNNonRedunRows(nRows);
}

void SetBounds(QXTestStats& stats, double lower, double upper) {
  stats.SetLowerConfidenceInterval(lower);
  stats.SetUpperConfidenceInterval(upper);
}

// Upper-tail probability 1 - (0.5 (1 - alpha)^e + 0.5) of a Sidak-type critical value, kept accurate
// for small alpha and large n = 1/e.
double SidakUpperTail(double alpha, double e) { return -0.5 * std::expm1(e * std::log1p(-alpha)); }

QXStatus InvalidArguments() { return QXStatus(303, false); }

}  // namespace

QXModelTests::QXModelTests(const std::vector<double>& estimates, const QXBitSet& redundancy,
                           const QXSymMatrix& covariance, double df, QXCommon_600::QXQueryCancel* cancelQuery)
    : fvEstimates(estimates),
      fCovariance(covariance),
      fRedundancy(redundancy),
      fDF(df),
      fpCancelQuery(cancelQuery) {}

// ---- Settings and quantiles -----------------------------------------------------------------------

void QXModelTests::SetTestType(QXConst::QXTestType type) {
  fTestType = type;
  // The percentile belongs to the distribution of the test type; a level set before the type must
  // not leave a normal quantile behind for t tests (or the reverse).
  UpdatePercentile();
}

void QXModelTests::SetDF(double df) {
  fDF = df;
  UpdatePercentile();
}

bool QXModelTests::SetConfidenceLevel(double level) {
  if (!(level >= 0.0 && level < 1.0)) return false;
  fConfidenceLevel = level;
  UpdatePercentile();
  return true;
}

void QXModelTests::UpdatePercentile() {
  if (QXMV::IsMissing(fConfidenceLevel)) return;
  fPercentile = CriticalValue(0.5 * (1.0 - fConfidenceLevel), fDF);
}

double QXModelTests::ComputePercentile(double p, double df) const {
  if (IsChiType()) return QXDistFun::IdfStdNorm(p);
  if (IsTType()) return QXDistFun::IdfT(p, df > 0.0 ? df : fDF);
  return kM;
}

double QXModelTests::CriticalValue(double upper, double df) const {
  if (IsChiType()) return QXDistFun::IdfStdNormUpper(upper);
  if (IsTType()) return QXDistFun::IdfTUpper(upper, df > 0.0 ? df : fDF);
  return kM;
}

double QXModelTests::AdjustedUpperTail(QXConst::QXPAdjustMethod method, double alpha, int n) {
  if (!(alpha > 0.0 && alpha <= 1.0) || n < 1) return kM;
  switch (method) {
    case QXConst::QXPAdjLSD: return 0.5 * alpha;
    case QXConst::QXPAdjBonferroni: return alpha / (2.0 * n);
    case QXConst::QXPAdjSidak: return SidakUpperTail(alpha, 1.0 / n);
    default: return kM;
  }
}

double QXModelTests::ComputeAdjPercentile(QXConst::QXPAdjustMethod method, double alpha, int n,
                                          double df) const {
  const double upper = AdjustedUpperTail(method, alpha, n);
  return QXMV::IsMissing(upper) ? kM : CriticalValue(upper, df);
}

double QXModelTests::AdjustSig(double sig, int n) const {
  switch (fPAdjustment) {
    case QXConst::QXPAdjLSD: return sig;
    case QXConst::QXPAdjBonferroni: return std::min(1.0, n * sig);
    case QXConst::QXPAdjSidak: return std::min(1.0, QXMathFun::SidakAdjust(sig, n));
    default: return kM;
  }
}

// ---- Building blocks ------------------------------------------------------------------------------

QXStatus QXModelTests::CheckColumns(const QXRectMatrix& L, std::size_t nParameters) const {
  if (static_cast<std::size_t>(L.GetNCols()) != nParameters) {
    QXStatus status(322, false);
    status.SetDiscreteDatum(0, L.GetNCols());
    status.SetDiscreteDatum(1, static_cast<long>(nParameters));
    return status;
  }
  // Every product with V would fail and leave the records empty under a success status.
  if (static_cast<std::size_t>(fCovariance.GetNRows()) != nParameters) return QXStatus(336, false);
  return QXStatus();
}

std::vector<double> QXModelTests::ReferenceDiagonal(const QXSymMatrix& S) {
  std::vector<double> diagonal;
  // Rows of zeros get the reference 1.0, so their pivot of 0 fails the relative test instead of
  // being compared with a reference of 0.
  if (S.GetNRows() < 2)
    S.GetDiagonal(diagonal);
  else
    S.GetNCheckDiagonal(kInverseTolerance, 1.0, diagonal);
  return diagonal;
}

int QXModelTests::ComputeInverse(const QXSymMatrix& S, QXSymMatrix& inverse, QXBitSet& kept) const {
  const int n = S.GetNRows();
  const int rank = S.CholInverse(ReferenceDiagonal(S), kInverseTolerance, inverse, kept, fpWorkMonitor);
  inverse.ZeroOutNonDiag(n * QXPower::gMachineEpsilon);
  return rank;
}

double QXModelTests::ComputeChiSquare(const QXRectMatrix& L, const std::vector<double>& h, int& rank,
                                      QXBitSet& kept, std::vector<double>& d) const {
  rank = -1;
  kept.Resize(0);
  if (!L.ComputeRV(fvEstimates, d)) {
    d.clear();
    return kM;
  }
  if (!h.empty())
    for (std::size_t i = 0; i < d.size(); ++i) d[i] -= h[i];
  QXSymMatrix S, inverse;
  if (!fCovariance.ComputeRSRTrans(L, S)) return kM;
  if (S.GetNRows() > QXSweepMatrix::kMaxExtendedFactorOrder) {
    // A large hypothesis: the form from a refined solution instead of an explicit inverse, which
    // would cost three times the work and lose digits to the matrix's condition.
    double form = kM;
    rank =
        S.ComputeInverseQuadraticForm(d, ReferenceDiagonal(S), kInverseTolerance, form, kept, fpWorkMonitor);
    return rank < 0 ? kM : form;
  }
  rank = ComputeInverse(S, inverse, kept);
  if (rank < 0) return kM;
  return inverse.ComputeVSV(d);
}

int QXModelTests::ComputeRowMap(const QXRectMatrix& L, const std::vector<double>& h, std::vector<int>& map) {
  const int r = L.GetNRows();
  map.assign(r, -1);
  int count = r;
  auto value = [&h](int i) { return h.empty() ? 0.0 : h[i]; };
  for (int i = 0; i < r; ++i) {
    if (L.IsRowZero(i)) {
      if (map[i] == -1) --count;
      map[i] = -2;
      continue;
    }
    if (map[i] != -1) continue;
    for (int j = i + 1; j < r; ++j) {
      if (map[j] != -1 || !L.IsERowMultipleOfAnother(i, j, value(i), value(j))) continue;
      map[j] = i;
      --count;
    }
  }
  return count;
}

void QXModelTests::SetOverallStatistic(double w, int rank, double df2, bool formF,
                                       const std::vector<double>& d, QXTestStats& stats) const {
  if (!HasOverallType()) return;
  if (rank >= 0) stats.SetDF(rank);
  const bool formed = rank >= 0 && Usable(w);
  if (formed && w >= 0.0 && rank >= 1) {
    if (fTestType == QXConst::QXTestChiSquare) {
      stats.SetWald(w);
      const double sig = QXDistFun::CdfChiUpper(w, rank);
      if (!QXMV::IsMissing(sig)) stats.SetSig(sig);
    } else if (formF) {
      const double f = w / rank;
      stats.SetWald(f);
      stats.SetDF2(df2);
      const double sig = QXDistFun::CdfFUpper(f, rank, df2);
      if (!QXMV::IsMissing(sig)) stats.SetSig(sig);
    }
    return;
  }
  // No testable part: the hypothesis values are fixed numbers, so a difference from them is certain.
  if (formed && IsKnownNonZero(d)) stats.SetSig(0.0);
  MissingWhenZero(stats);
}

void QXModelTests::SetOverallAdjSig(double minSig, double minAdjSig, int m, QXTestStats& stats) const {
  if (!IsSequential()) {
    if (minAdjSig != kNone) stats.SetAdjSig(minAdjSig);
    return;
  }
  if (minSig == kNone) return;
  const double a =
      fPAdjustment == QXConst::QXPAdjSeqBonferroni ? m * minSig : QXMathFun::SidakAdjust(minSig, m);
  stats.SetAdjSig(Clamp01(a));
}

double QXModelTests::ContrastDF(const std::vector<double>& l) const {
  if (!fpSatterthwaite) return fDF;
  const double g = fpSatterthwaite->ComputegHinvg(l);
  if (QXMV::IsMissing(g) || g == 0.0) return kM;
  return fpSatterthwaite->Bounded(fpSatterthwaite->GetC11().ComputeVSV(l), g);
}

bool QXModelTests::TestContrast(double estimate, double h, double var, int m, double df2, bool withBounds,
                                ContrastScale scale, QXTestStats& stats) const {
  // A multiplier below 1 would shrink adjustments and widen nothing: no set of tests is smaller than one.
  const int n = std::max(m, 1);
  // Rounding can leave the variance of a contrast with no variance slightly negative.
  if (!QXMV::IsMissing(var) && var < 0.0) var = 0.0;
  const bool varKnown = Usable(var);
  if (varKnown && var > 0.0) {
    stats.SetDF(1.0);
    if (IsTType()) stats.SetDF2(df2);
  } else {
    if (HasOverallType()) stats.SetDF(0.0);
    if (fTestType == QXConst::QXTestWaldF) stats.SetDF2(df2);
  }
  if (!varKnown || !Usable(estimate)) return false;

  const double se = std::sqrt(var);
  stats.SetStandardError(se);
  if (withBounds && se == 0.0) SetBounds(stats, estimate, estimate);
  const double diff = estimate - h;
  if (var == 0.0) {
    // A contrast known without error: it differs from its hypothesis value for certain, or not at all.
    if (diff != 0.0) {
      stats.SetSig(0.0);
      stats.SetAdjSig(0.0);
      if (scale == ContrastScale::kOriginal) SetBounds(stats, estimate, estimate);
    }
    MissingWhenZero(stats);
    return true;
  }

  double sig = kM;
  if (IsTType()) {
    const double t = diff / se;
    stats.SetWald(t);
    if (scale == ContrastScale::kLinear || (Usable(df2) && df2 > 0.0)) {
      const double upper = QXDistFun::CdfTUpper(std::fabs(t), df2);
      if (!QXMV::IsMissing(upper)) sig = 2.0 * upper;
    }
  } else if (IsChiType()) {
    const double chi = diff * diff / var;
    stats.SetWald(chi);
    sig = QXDistFun::CdfChiUpper(chi, 1.0);
  }
  if (QXMV::IsMissing(sig)) return true;
  stats.SetSig(sig);
  if (IsSequential()) return true;
  stats.SetAdjSig(AdjustSig(sig, n));

  if (!withBounds || QXMV::IsMissing(fConfidenceLevel)) return true;
  const double alpha = 1.0 - fConfidenceLevel;
  double q = kM;
  if (scale == ContrastScale::kLinear) {
    q = (fPAdjustment == QXConst::QXPAdjLSD && df2 == fDF)
            ? fPercentile
            : ComputeAdjPercentile(fPAdjustment, alpha, n, df2);
  } else if (Usable(df2) && df2 > 0.0) {
    q = ComputeAdjPercentile(fPAdjustment, alpha, n, df2);
  }
  // Centred on the estimate: the interval is for l'b, whatever value it is tested against.
  if (Usable(q)) SetBounds(stats, estimate - q * se, estimate + q * se);
  return true;
}

// ---- Tests on the scale of the linear predictor ---------------------------------------------------

bool QXModelTests::ComputeIndivTest(const QXRectMatrix& L, int row, double h, int m, QXTestStats& stats,
                                    bool withBounds) const {
  ClearStatistics(stats);
  stats.SetTestType(fTestType);
  stats.SetPAdjMethod(fPAdjustment);
  std::vector<double> l;
  if (!L.GetRow(row, l)) return false;
  const double estimate = QXMathFun::DDot(l, fvEstimates);
  stats.SetContrastEstimate(estimate);
  return TestContrast(estimate, h, fCovariance.ComputeVSV(l), m, ContrastDF(l), withBounds,
                      ContrastScale::kLinear, stats);
}

QXStatus QXModelTests::ComputeOverallTest(const QXRectMatrix& L, QXTestStats& stats) const {
  return OverallTest(L, nullptr, stats);
}

QXStatus QXModelTests::OverallTest(const QXRectMatrix& L, const double* form, QXTestStats& stats) const {
  stats.SetTestType(fTestType);
  stats.SetPAdjMethod(fPAdjustment);
  const QXStatus status = CheckColumns(L, fvEstimates.size());
  if (!status.IsOK()) return status;
  stats.Reset(false);

  const int r = L.GetNRows();
  int rank = 0;
  if (HasOverallType()) {
    QXBitSet kept;
    std::vector<double> d;
    double w = kM;
    if (form != nullptr) {
      w = *form;
      rank = r;
    } else {
      w = ComputeChiSquare(L, {}, rank, kept, d);
    }
    const double df2 = fTestType == QXConst::QXTestWaldF && fpSatterthwaite
                           ? fpSatterthwaite->ComputeDF4FixedOverall(L)
                           : fDF;
    SetOverallStatistic(w, rank, df2, true, d, stats);
  }
  stats.SetUsedInOverallTest(rank == r || rank <= 0);
  if (fPAdjustment == QXConst::QXPAdjLSD) return status;

  std::vector<int> map;
  const int m = ComputeRowMap(L, {}, map);
  stats.SetNNonRedunRows(m);
  Smallest smallest;
  QXTestStats scratch;
  for (int i = 0; i < r; ++i) {
    if (map[i] != -1) continue;
    ComputeIndivTest(L, i, 0.0, m, scratch, false);
    smallest.Add(scratch);
  }
  SetOverallAdjSig(smallest.sig, smallest.adjSig, m, stats);
  return status;
}

QXStatus QXModelTests::ComputeModelTestOfForm(const QXRectMatrix& L, double w,
                                              QXModelTestStats& modelTestStats) const {
  QXTestStats record;
  const QXStatus result =
      L.GetNRows() == 0 || L.GetNCols() == 0 ? QXStatus(321, true) : OverallTest(L, &w, record);
  modelTestStats.AddTestStatsAndLMatrixAndStatus(&record, L, result);
  return result;
}

QXStatus QXModelTests::ComputeModelTest(const QXRectMatrix& L, const QXStatus& status,
                                        QXModelTestStats& modelTestStats) const {
  QXTestStats record;
  QXStatus result;
  if (status.IsError() || (status.IsWarning() && status.GetErrorCode() != 321))
    result = status;
  else if (L.GetNRows() == 0 || L.GetNCols() == 0)
    result = QXStatus(321, true);
  else
    result = ComputeOverallTest(L, record);
  modelTestStats.AddTestStatsAndLMatrixAndStatus(&record, L, result);
  return result;
}

QXStatus QXModelTests::ComputeOvAndIndTests(const QXRectMatrix& L, const std::vector<double>& h,
                                            std::vector<QXTestStats>& individual, QXTestStats& overall,
                                            int m) const {
  overall.SetTestType(fTestType);
  overall.SetPAdjMethod(fPAdjustment);
  const QXStatus status = CheckColumns(L, fvEstimates.size());
  if (!status.IsOK()) return status;
  const int r = L.GetNRows();
  if (!h.empty() && h.size() != static_cast<std::size_t>(r)) return InvalidArguments();
  overall.Reset(false);

  int rank = 0;
  QXBitSet kept;
  if (HasOverallType()) {
    std::vector<double> d;
    const double w = ComputeChiSquare(L, h, rank, kept, d);
    SetOverallStatistic(w, rank, fDF, fDF >= rank, d, overall);
  }
  overall.SetUsedInOverallTest(rank == r || rank <= 0);

  std::vector<int> map;
  m = PrepareRows(L, h, m, kept, map, individual, overall);
  for (int i = 0; i < r; ++i) ComputeIndivTest(L, i, h.empty() ? 0.0 : h[i], m, individual[i], false);
  FinishIndividualTests(map, m, individual, overall);
  return status;
}

int QXModelTests::PrepareRows(const QXRectMatrix& M, const std::vector<double>& h, int m,
                              const QXBitSet& kept, std::vector<int>& map,
                              std::vector<QXTestStats>& individual, QXTestStats& overall) {
  const int r = M.GetNRows();
  // A given m stands for tests beyond these rows; the map still has one entry per row.
  if (m < 1)
    m = ComputeRowMap(M, h, map);
  else
    map.assign(r, -1);
  overall.SetNNonRedunRows(m);
  individual.resize(r);
  for (int i = 0; i < r; ++i) {
    individual[i].SetUsedInOverallTest(kept.IsIn(i));
    individual[i].SetNNonRedunRows(m);
  }
  return m;
}

void QXModelTests::FinishIndividualTests(const std::vector<int>& map, int m,
                                         std::vector<QXTestStats>& individual, QXTestStats& overall) const {
  if (IsSequential()) ApplyStepDown(map, m, individual);
  double smallest = kNone;
  for (const QXTestStats& stats : individual)
    if (!QXMV::IsMissing(stats.GetAdjSig())) smallest = std::min(smallest, stats.GetAdjSig());
  overall.SetAdjSig(smallest == kNone ? kM : smallest);
}

void QXModelTests::ApplyStepDown(const std::vector<int>& map, int m,
                                 std::vector<QXTestStats>& individual) const {
  std::vector<int> order;
  for (std::size_t i = 0; i < individual.size(); ++i)
    if (!QXMV::IsMissing(individual[i].GetSig())) order.push_back(static_cast<int>(i));
  if (order.empty()) return;
  // Equal significances keep row order, so the result does not depend on the sort.
  std::stable_sort(order.begin(), order.end(),
                   [&individual](int a, int b) { return individual[a].GetSig() < individual[b].GetSig(); });

  std::size_t first = 0;
  while (first < order.size() && map[order[first]] != -1) ++first;
  if (first == order.size()) first = 0;

  const bool bonferroni = fPAdjustment == QXConst::QXPAdjSeqBonferroni;
  const bool haveLevel = !QXMV::IsMissing(fConfidenceLevel);
  const double alpha = haveLevel ? 1.0 - fConfidenceLevel : kM;
  int n = std::max(m, 1);
  double previous = 0.0;
  for (std::size_t pos = first; pos < order.size(); ++pos) {
    QXTestStats& stats = individual[order[pos]];
    if (pos != first) {
      if (map[order[pos]] != -1) continue;
      n = std::max(n - 1, 1);
    }
    const double p = stats.GetSig();
    double a = Clamp01(bonferroni ? n * p : QXMathFun::SidakAdjust(p, n));
    // The critical probability is carried as its upper tail 1 - c, which keeps its digits.
    double upper = haveLevel ? (bonferroni ? alpha / (2.0 * n) : SidakUpperTail(alpha, 1.0 / n)) : kM;
    if (pos != first && a <= previous) {
      // Monotone step-down: the row inherits the previous adjusted value, and its interval the
      // error rate that value corresponds to at its own significance.
      a = previous;
      if (bonferroni) {
        if (p > 0.0) upper = alpha * p / (2.0 * previous);
      } else if (p > 0.0 && p < 1.0 && previous < 1.0) {
        const double rho = std::log1p(-p) / std::log1p(-previous);
        if (fTestType == QXConst::QXTestChiSquare)
          upper = 0.5 * rho * alpha;
        else if (fTestType == QXConst::QXTestWaldF)
          upper = SidakUpperTail(alpha, rho);
      }
    }
    stats.SetAdjSig(a);
    previous = a;
    if (!haveLevel) continue;
    const double q = CriticalValue(upper, stats.GetDF2());
    const double se = stats.GetStandardError();
    const double estimate = stats.GetContrastEstimate();
    if (Usable(q) && !QXMV::IsMissing(se)) SetBounds(stats, estimate - q * se, estimate + q * se);
  }

  // A multiple of a row is the same hypothesis: it takes that row's adjusted significance and its
  // interval, rescaled to its own standard error.
  for (int row : order) {
    const int source = map[row];
    if (source < 0) continue;
    const QXTestStats& base = individual[source];
    QXTestStats& stats = individual[row];
    stats.SetAdjSig(base.GetAdjSig());
    if (QXMV::IsMissing(base.GetLowerConfidenceInterval())) continue;
    double w = base.GetContrastEstimate() - base.GetLowerConfidenceInterval();
    const double se = stats.GetStandardError(), seBase = base.GetStandardError();
    if (se != seBase) w = seBase > 0.0 ? w * se / seBase : 0.0;
    SetBounds(stats, stats.GetContrastEstimate() - w, stats.GetContrastEstimate() + w);
  }
}

// ---- Tests on the response scale ------------------------------------------------------------------

bool QXModelTests::ComputeDiagMatrix(const QXRectMatrix& L, const std::vector<double>& b, QXRectMatrix& D,
                                     std::vector<double>& mu) const {
  const int r = L.GetNRows();
  D.SetNRowsCols(r, r);
  D.Clear();
  mu.assign(r, kM);
  std::vector<double> eta;
  const bool result = L.ComputeRV(b, eta);
  if (!result || !fpLinkFunction) return false;
  for (int i = 0; i < r; ++i) {
    mu[i] = fpLinkFunction->InverseLink(eta[i], nullptr);
    // d mu / d eta whatever the kind of link: the cumulative links' Derivative already is it.
    const double slope = QXMV::IsMissing(mu[i]) ? kM : fpLinkFunction->InverseLinkDerivative(mu[i], nullptr);
    D.SetElem(i, i, slope);
  }
  return result;
}

double QXModelTests::ComputeOriginalEstimDenomDf(const QXRectMatrix& T, int row, const QXRectMatrix& L,
                                                 const QXRectMatrix& D, const std::vector<double>& mu,
                                                 double& var, double& df) const {
  var = kM;
  df = kM;
  std::vector<double> gradient;
  const double estimate = ContrastOfMeans(T, row, L, D, mu, gradient);
  if (gradient.empty()) return estimate;
  var = fCovariance.ComputeVSV(gradient);
  df = ContrastDF(gradient);
  return estimate;
}

double QXModelTests::ContrastOfMeans(const QXRectMatrix& T, int row, const QXRectMatrix& L,
                                     const QXRectMatrix& D, const std::vector<double>& mu,
                                     std::vector<double>& gradient) {
  gradient.clear();
  const int r = L.GetNRows(), p = L.GetNCols();
  if (row < 0 || row >= T.GetNRows() || T.GetNCols() != r) return kM;
  double estimate = 0.0;
  gradient.assign(p, 0.0);
  for (int i = 0; i < r; ++i) {
    const double t = T.GetElem(row, i);
    if (t == 0.0) continue;
    // A mean the contrast needs but cannot have: the contrast has no estimate.
    if (QXMV::IsMissing(mu[i])) {
      gradient.clear();
      return kM;
    }
    estimate += t * mu[i];
    // Where d mu / d eta cannot be formed, mu sits at the edge of its range, where the inverse link is
    // flat: the mean contributes no variance.
    const double slope = D.GetElem(i, i);
    if (QXMV::IsMissing(slope)) continue;
    const double weight = t * slope;
    for (int j = 0; j < p; ++j) {
      const double lij = L.GetElem(i, j);
      if (lij != 0.0) gradient[j] += weight * lij;
    }
  }
  return estimate;
}

double QXModelTests::ComputeOriginalChiSquare(const QXRectMatrix& L, const QXRectMatrix& T,
                                              const QXRectMatrix& D, const std::vector<double>& mu, int& rank,
                                              QXBitSet& kept, double& df, std::vector<double>& d) const {
  df = fDF;
  rank = -1;
  kept.Resize(0);
  const int nContrasts = T.GetNRows();
  d.assign(nContrasts, kM);
  // G = T D L: row k is the gradient of the k-th contrast of the means with respect to b.
  QXRectMatrix G(nContrasts, L.GetNCols());
  std::vector<double> gradient;
  for (int k = 0; k < nContrasts; ++k) {
    d[k] = ContrastOfMeans(T, k, L, D, mu, gradient);
    if (gradient.empty()) return kM;
    G.SetRow(k, gradient);
  }
  if (fpSatterthwaite) df = fpSatterthwaite->ComputeDF4FixedOverall(G);
  QXSymMatrix S, inverse;
  if (!fCovariance.ComputeRSRTrans(G, S)) return kM;
  rank = ComputeInverse(S, inverse, kept);
  if (rank < 0) return kM;
  return inverse.ComputeVSV(d);
}

bool QXModelTests::ComputeOriginalIndivTest(double estimate, double var, int m, QXTestStats& stats,
                                            double df2, bool withBounds) const {
  ClearStatistics(stats);
  stats.SetTestType(fTestType);
  stats.SetPAdjMethod(fPAdjustment);
  stats.SetContrastEstimate(estimate);
  return TestContrast(estimate, 0.0, var, m, df2, withBounds, ContrastScale::kOriginal, stats);
}

QXStatus QXModelTests::CheckOriginal(const QXRectMatrix& L, const std::vector<double>& b,
                                     const QXRectMatrix& T) const {
  const QXStatus status = CheckColumns(L, b.size());
  if (!status.IsOK()) return status;
  if (T.GetNCols() != L.GetNRows() || !fpLinkFunction) return InvalidArguments();
  return status;
}

QXStatus QXModelTests::ComputeOriginalOverallTest(const QXRectMatrix& L, const std::vector<double>& b,
                                                  const QXRectMatrix& T, QXTestStats& stats) {
  stats.SetTestType(fTestType);
  stats.SetPAdjMethod(fPAdjustment);
  const QXStatus status = CheckOriginal(L, b, T);
  if (!status.IsOK()) return status;
  stats.Reset(false);

  const int r = T.GetNRows();
  QXRectMatrix D;
  std::vector<double> mu;
  QXBitSet kept;
  SetOriginalOverallStatistic(L, b, T, D, mu, kept, stats);

  std::vector<int> map;
  const int m = ComputeRowMap(T, {}, map);
  stats.SetNNonRedunRows(m);
  Smallest smallest;
  bool cancelled = false;
  QXTestStats scratch;
  for (int i = 0; i < r; ++i) {
    if (map[i] != -1) continue;
    if (fpCancelQuery && fpCancelQuery->IsCancelRequested()) {
      cancelled = true;
      break;
    }
    TestOriginalRow(T, i, L, D, mu, m, false, scratch);
    smallest.Add(scratch);
  }
  if (!cancelled && fpCancelQuery) cancelled = fpCancelQuery->IsCancelRequested();
  if (cancelled) {
    fStatus = QXStatus(1, false);
    return fStatus;
  }
  SetOverallAdjSig(smallest.sig, smallest.adjSig, m, stats);
  return status;
}

QXStatus QXModelTests::ComputeOriginalOvAndIndTests(const QXRectMatrix& L, const std::vector<double>& b,
                                                    const QXRectMatrix& T,
                                                    std::vector<QXTestStats>& individual,
                                                    QXTestStats& overall, int m) const {
  overall.SetTestType(fTestType);
  overall.SetPAdjMethod(fPAdjustment);
  const QXStatus status = CheckOriginal(L, b, T);
  if (!status.IsOK()) return status;
  overall.Reset(false);

  const int r = T.GetNRows();
  QXRectMatrix D;
  std::vector<double> mu;
  QXBitSet kept;
  SetOriginalOverallStatistic(L, b, T, D, mu, kept, overall);

  std::vector<int> map;
  m = PrepareRows(T, {}, m, kept, map, individual, overall);
  for (int i = 0; i < r; ++i) TestOriginalRow(T, i, L, D, mu, m, true, individual[i]);
  FinishIndividualTests(map, m, individual, overall);
  return status;
}

void QXModelTests::SetOriginalOverallStatistic(const QXRectMatrix& L, const std::vector<double>& b,
                                               const QXRectMatrix& T, QXRectMatrix& D,
                                               std::vector<double>& mu, QXBitSet& kept,
                                               QXTestStats& stats) const {
  ComputeDiagMatrix(L, b, D, mu);
  int rank = 0;
  if (HasOverallType()) {
    std::vector<double> d;
    double df = fDF;
    const double w = ComputeOriginalChiSquare(L, T, D, mu, rank, kept, df, d);
    SetOverallStatistic(w, rank, df, true, d, stats);
  }
  stats.SetUsedInOverallTest(rank == T.GetNRows() || rank <= 0);
}

void QXModelTests::TestOriginalRow(const QXRectMatrix& T, int row, const QXRectMatrix& L,
                                   const QXRectMatrix& D, const std::vector<double>& mu, int m,
                                   bool withBounds, QXTestStats& stats) const {
  double var = kM, df2 = kM;
  const double estimate = ComputeOriginalEstimDenomDf(T, row, L, D, mu, var, df2);
  ComputeOriginalIndivTest(estimate, var, m, stats, df2, withBounds);
}

// ---- Display --------------------------------------------------------------------------------------

void QXModelTests::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXModelTests display start");
  DisplayDV("Parameter estimates", fvEstimates);
  DisplayText(1, "Redundancy indicators");
  fRedundancy.Display();
  DisplayD("Degrees of freedom", fDF);
  DisplayC("Test type", fTestType);
  DisplayC("p-value adjustment method", fPAdjustment);
  if (!QXMV::IsMissing(fPercentile)) DisplayD("Percentile", fPercentile);
  if (!QXMV::IsMissing(fConfidenceLevel)) DisplayD("Confidence level", fConfidenceLevel);
  DisplayText(1, "QXModelTests display end");
}

}  // namespace QXMath_600
