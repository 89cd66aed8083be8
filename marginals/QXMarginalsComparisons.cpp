// The comparisons of QXMarginals within the test groups of a request: contrasts, pairwise differences
// with their step-down adjustments, and the joint test of a group.
#include <algorithm>
#include <cmath>

#include "common/QXDistFun.h"
#include "common/QXMathFun.h"
#include "common/QXMissingValue.h"
#include "inference/QXContrasts.h"
#include "links/QXLinkIdentity.h"
#include "marginals/QXMarginals.h"
#include "marginals/QXMultiCompare.h"

namespace QXMath_600 {

using QXCommon_600::QXStatus;

namespace {

constexpr double kM = QXMV::gMissingValue;

bool Known(double x) { return !QXMV::IsMissing(x) && std::isfinite(x); }
double Clamp01(double x) { return std::min(1.0, std::max(0.0, x)); }

// Upper tail 1 - (0.5 (1 - alpha)^e + 0.5) of a Sidak-type critical probability, without the
// cancellation of forming the probability first.
double SidakUpperTail(double alpha, double e) { return -0.5 * std::expm1(e * std::log1p(-alpha)); }

}  // namespace

bool QXMarginals::OnResponseScale(int s) const {
  // With the identity link the response scale is the linear predictor's, and the tests of the linear
  // predictor give the same statistics without the delta method's detour.
  return fvSpecs[s].GetEmmScaleType() == QXConst::QXEmmOriginal &&
         dynamic_cast<const QXLinkIdentity*>(&Link()) == nullptr;
}

QXStatus QXMarginals::WithWarning(const QXStatus& result, const QXStatus& warning) {
  return result.IsOK() && warning.IsWarning() ? warning : result;
}

// ---- Test groups ----------------------------------------------------------------------------------

int QXMarginals::GetNEmmeansTests(int s, QXStatus& status) {
  if (fStatus.IsError()) {
    status = fStatus;
    return -1;
  }
  if (s < 0 || s >= fNSpecs) {
    status = IndexStatus(328, s, fNSpecs - 1);
    return -1;
  }
  const QXStatus built = SetEmmeansData(s);
  status = built.IsError() ? built : fvSpecStatus[s];
  return built.IsError() ? -1 : fNTests;
}

QXStatus QXMarginals::SetEmmeansTest(int t) {
  if (fNTests == 0) return QXStatus(303, false);
  if (t < 0 || t >= fNTests) return IndexStatus(329, t, fNTests - 1);
  fTestFirstRow = fvTestStarts[t];
  fvTestCategories.assign(fvRowCompare.begin() + fvTestStarts[t], fvRowCompare.begin() + fvTestStarts[t + 1]);
  fCurrentTest = t;
  return QXStatus();
}

QXStatus QXMarginals::PrepareTest(int s, int t, bool needTests) {
  if (fStatus.IsError()) return fStatus;
  if (s < 0 || s >= fNSpecs) return IndexStatus(328, s, fNSpecs - 1);
  if (needTests && !fpModelTests) return QXStatus(303, false);
  QXStatus status = SetEmmeansData(s);
  if (status.IsError()) return status;
  // 324 and 325 stop the comparisons of a request whose means are still available.
  if (fvSpecStatus[s].IsError()) return fvSpecStatus[s];
  status = SetEmmeansTest(t);
  if (status.IsError()) return status;
  if (fpModelTests) fpModelTests->SetPAdjustment(fvSpecs[s].GetPAdjust());
  return status;
}

QXStatus QXMarginals::GetTableFactors(std::vector<std::pair<int, int>>& tableFactors) const {
  tableFactors.clear();
  if (fTestFirstRow < 0) return QXStatus(303, false);
  const std::vector<int>& categories = fvRowCategories[fTestFirstRow];
  const std::size_t nGroup = fLayout.order.size() - fLayout.nCompare;
  std::vector<bool> grouping(categories.size(), false);
  for (std::size_t i = 0; i < nGroup; ++i) grouping[fLayout.report[i]] = true;
  for (std::size_t p = 0; p < categories.size(); ++p)
    if (grouping[p]) tableFactors.emplace_back(fLayout.reportedVars[p], categories[p]);
  return QXStatus();
}

QXStatus QXMarginals::SingleCategoryStatus(int t) const {
  QXStatus status(330, fvSpecs[fCurrentSpec].GetContrastType() == QXConst::QXContrastPairwise);
  status.SetDiscreteDatum(0, t);
  return status;
}

QXStatus QXMarginals::TestWarning(int s, int t) const {
  if (!fbDesignComplete && fvTestCategories.size() < fvCompareCategories.size()) {
    QXStatus warning(332, true);
    warning.SetDiscreteDatum(0, t);
    return warning;
  }
  return fvSpecStatus[s];
}

void QXMarginals::SetGroupMatrix(int first, int count) {
  const QXRectMatrix& L = *fpEMLMatrix;
  fpGroupMatrix->SetNRowsCols(count, fNEstimates);
  std::vector<double> row;
  for (int i = 0; i < count; ++i) {
    L.GetRow(first + i, row);
    fpGroupMatrix->SetRow(i, row);
  }
}

// ---- Contrasts ------------------------------------------------------------------------------------

QXStatus QXMarginals::BuildContrast(int s, int t, std::vector<int>& categories, QXStatus& warning) {
  const QXEmmeansSpec& spec = fvSpecs[s];
  const int k = static_cast<int>(categories.size());
  QXRectMatrix& C = *fpContrastC;
  switch (spec.GetContrastType()) {
    case QXConst::QXContrastSimple: {
      int reference = k - 1;
      if (spec.GetRefCateg() < 0) {
        if (categories.back() != fvCompareCategories.back()) {
          warning = QXStatus(331, true);
          warning.SetDiscreteDatum(0, s);
          warning.SetDiscreteDatum(1, t);
        }
      } else {
        int found = -1;
        for (int i = k - 1; i >= 0 && found < 0; --i)
          if (categories[i] == spec.GetRefCateg()) found = i;
        if (found < 0) {
          warning = QXStatus(327, true);
          warning.SetDiscreteDatum(0, s);
        } else {
          reference = found;
          // The reference's column goes last in the list, after the levels of the contrast's rows.
          std::rotate(categories.begin() + found, categories.begin() + found + 1, categories.end());
        }
      }
      return QXContrasts::ComputeSimpleContrast(k, reference, C);
    }
    case QXConst::QXContrastDeviation: return QXContrasts::ComputeDeviationContrast(k, C);
    case QXConst::QXContrastHelmert: return QXContrasts::ComputeHelmertContrast(k, C);
    case QXConst::QXContrastDifference: return QXContrasts::ComputeDifferenceContrast(k, C);
    case QXConst::QXContrastRepeated: return QXContrasts::ComputeRepeatedContrast(k, C);
    case QXConst::QXContrastPolynomial: {
      // Each category keeps its own score: a group that lacks a level (an empty cell) is not shifted
      // onto the scores of the levels it lacks.
      const std::vector<double>& metric = spec.GetMetricValueList();
      std::vector<double> scores;
      for (int category : categories) {
        const auto at = std::find(fvCompareCategories.begin(), fvCompareCategories.end(), category);
        const std::size_t position = static_cast<std::size_t>(at - fvCompareCategories.begin());
        if (position >= metric.size()) return SpecError325(s);
        scores.push_back(metric[position]);
      }
      return QXContrasts::ComputePolynomialContrast(k, scores, C);
    }
    default: return QXStatus(303, false);
  }
}

QXStatus QXMarginals::SpecError325(int s) {
  QXStatus status(325, false);
  status.SetDiscreteDatum(0, s);
  return status;
}

void QXMarginals::AddContrastBounds(std::vector<QXTestStats>& individual) const {
  // The joint and row tests of a contrast leave the single-step intervals of the link scale unformed;
  // a caller reading a contrast wants them as for a pair.
  const QXConst::QXPAdjustMethod method = fpModelTests->GetPAdjustment();
  if (method == QXConst::QXPAdjSeqBonferroni || method == QXConst::QXPAdjSeqSidak) return;
  for (QXTestStats& stats : individual) {
    const double se = stats.GetStandardError(), estimate = stats.GetContrastEstimate();
    if (!QXMV::IsMissing(stats.GetLowerConfidenceInterval()) || !Known(se) || !Known(estimate)) continue;
    const double q = fpModelTests->ComputeAdjPercentile(method, 1.0 - fConfidenceLevel,
                                                        stats.GetNNonRedunRows(), stats.GetDF2());
    if (!Known(q)) continue;
    stats.SetLowerConfidenceInterval(estimate - q * se);
    stats.SetUpperConfidenceInterval(estimate + q * se);
  }
}

QXStatus QXMarginals::GetEmmeansTests(int s, int t, std::vector<std::pair<int, int>>& tableFactors,
                                      std::vector<int>& categories, QXRectMatrix*& contrastL,
                                      std::vector<QXTestStats>& individual, QXTestStats& overall) {
  if (fStatus.IsError()) return fStatus;
  if (s < 0 || s >= fNSpecs) return IndexStatus(328, s, fNSpecs - 1);
  if (fvSpecs[s].GetContrastType() == QXConst::QXContrastPairwise) return QXStatus(303, false);
  QXStatus status = PrepareTest(s, t, true);
  if (status.IsError()) return status;
  const int k = static_cast<int>(fvTestCategories.size());
  GetTableFactors(tableFactors);
  categories = fvTestCategories;
  if (k < 2) return SingleCategoryStatus(t);

  QXStatus warning;
  status = BuildContrast(s, t, categories, warning);
  if (status.IsError()) return status;
  SetGroupMatrix(fTestFirstRow, k);
  fpContrastC->ComputeMatrixProduct(*fpGroupMatrix, *fpContrastL);
  contrastL = fpContrastL.get();
  if (!OnResponseScale(s)) {
    status = fpModelTests->ComputeOvAndIndTests(*fpContrastL, {}, individual, overall, -1);
    if (!status.IsError()) AddContrastBounds(individual);
  } else {
    status = fpModelTests->ComputeOriginalOvAndIndTests(*fpGroupMatrix, fvEstimates, *fpContrastC, individual,
                                                        overall, -1);
  }
  return WithWarning(status, warning.IsWarning() ? warning : TestWarning(s, t));
}

QXStatus QXMarginals::GetPairwiseOverallTest(int s, int t, std::vector<std::pair<int, int>>& tableFactors,
                                             QXTestStats& overall) {
  QXStatus status = PrepareTest(s, t, true);
  if (status.IsError()) return status;
  const int k = static_cast<int>(fvTestCategories.size());
  GetTableFactors(tableFactors);
  if (k < 2) return SingleCategoryStatus(t);
  // Every mean against the first: k - 1 rows spanning all differences among the means.
  status = QXContrasts::ComputeSimpleContrast(k, 0, *fpContrastC);
  if (status.IsError()) return status;
  SetGroupMatrix(fTestFirstRow, k);
  if (!OnResponseScale(s)) {
    fpContrastC->ComputeMatrixProduct(*fpGroupMatrix, *fpContrastL);
    status = fpModelTests->ComputeOverallTest(*fpContrastL, overall);
  } else {
    status = fpModelTests->ComputeOriginalOverallTest(*fpGroupMatrix, fvEstimates, *fpContrastC, overall);
  }
  return WithWarning(status, TestWarning(s, t));
}

bool QXMarginals::GetPWCombinations(int s, std::vector<std::vector<int>>& combinations) {
  combinations.clear();
  if (fStatus.IsError() || s < 0 || s >= fNSpecs || SetEmmeansData(s).IsError() || fLayout.nCompare == 0)
    return false;
  if (fLayout.nCompare > 1) {
    combinations = fpMultiCompare->GetCombinations();
    return true;
  }
  for (int category : fvCompareCategories) combinations.push_back({category});
  return true;
}

// ---- Pairwise comparisons -------------------------------------------------------------------------

int QXMarginals::GetNPairwiseEmmeansTests(int s, int t) {
  if (PrepareTest(s, t, false).IsError()) return -1;
  const int k = static_cast<int>(fvTestCategories.size());
  return k < 2 ? 1 : k * (k - 1);
}

QXStatus QXMarginals::GetPairwiseEmmeansTests(int s, int t, int p,
                                              std::vector<std::pair<int, int>>& tableFactors,
                                              std::vector<int>& categories, QXEmmeansStats& stats) {
  QXStatus status = PrepareTest(s, t, true);
  if (status.IsError()) return status;
  const int k = static_cast<int>(fvTestCategories.size());
  if (k < 2) {
    GetTableFactors(tableFactors);
    categories = fvTestCategories;
    stats.Reset();
    stats.fvCategories = fvTestCategories;
    return QXStatus(330, true);
  }
  const int n = k * (k - 1);
  if (p < 0 || p >= n) return IndexStatus(328, p, n - 1);
  // The pairs of a test are adjusted together, so they are computed together; a cache left by
  // another test is never handed out for this one.
  if (p == 0 || fPWSpec != s || fPWTest != t) {
    status = FillPairwiseCache(s, t);
    if (status.IsError()) return status;
  }
  tableFactors = fvPWTableFactors[p];
  categories = fvPWCategories[p];
  stats = fvPWStats[p];
  return WithWarning(fvPWStatus[p], TestWarning(s, t));
}

QXStatus QXMarginals::FillPairwiseCache(int s, int t) {
  fPWSpec = fPWTest = -1;
  fvPWStats.clear();
  fvPWTableFactors.clear();
  fvPWCategories.clear();
  fvPWStatus.clear();
  const int k = static_cast<int>(fvTestCategories.size());
  const int n = k * (k - 1);
  for (int p = 0; p < n; ++p) {
    if (IsCancelled()) {
      fStatus = QXStatus(1, false);
      return fStatus;
    }
    std::vector<std::pair<int, int>> tableFactors;
    std::vector<int> categories;
    QXEmmeansStats stats;
    const int i = p / (k - 1), j = p % (k - 1) >= i ? p % (k - 1) + 1 : p % (k - 1);
    if (i < j) {
      fvPWStatus.push_back(ComputePairwiseEmmeansTests(s, t, p, tableFactors, categories, stats));
    } else {
      // (i, j) is (j, i) seen from the other side, computed earlier: the same test of the negated
      // difference, with the same significance and the interval mirrored, to the last bit.
      const int mirror = j * (k - 1) + i - 1;
      fvPWStatus.push_back(fvPWStatus[mirror]);
      tableFactors = fvPWTableFactors[mirror];
      categories = {fvTestCategories[i]};
      stats = Mirrored(fvPWStats[mirror], fvTestCategories[j]);
    }
    fvPWTableFactors.push_back(std::move(tableFactors));
    fvPWCategories.push_back(std::move(categories));
    fvPWStats.push_back(std::move(stats));
  }
  const QXConst::QXPAdjustMethod method = fvSpecs[s].GetPAdjust();
  if (method == QXConst::QXPAdjSeqBonferroni || method == QXConst::QXPAdjSeqSidak)
    ProcessSequentialAdjustment(n / 2, method);
  fPWSpec = s;
  fPWTest = t;
  return QXStatus();
}

QXStatus QXMarginals::ComputePairwiseEmmeansTests(int s, int /*t*/, int p,
                                                  std::vector<std::pair<int, int>>& tableFactors,
                                                  std::vector<int>& categories, QXEmmeansStats& stats) {
  const int k = static_cast<int>(fvTestCategories.size());
  const int i = p / (k - 1);
  int j = p % (k - 1);
  if (j >= i) ++j;
  GetTableFactors(tableFactors);
  categories = {fvTestCategories[i]};
  stats.Reset();
  stats.fvCategories = {fvTestCategories[j]};
  const int m = k * (k - 1) / 2;

  QXTestStats result;
  QXStatus status;
  std::vector<double> rowI, rowJ;
  fpEMLMatrix->GetRow(fTestFirstRow + i, rowI);
  fpEMLMatrix->GetRow(fTestFirstRow + j, rowJ);
  if (!OnResponseScale(s)) {
    for (int c = 0; c < fNEstimates; ++c) rowI[c] -= rowJ[c];
    fPairRows.SetNRowsCols(1, fNEstimates);
    fPairRows.SetRow(0, rowI);
    fpModelTests->ComputeIndivTest(fPairRows, 0, 0.0, m, result, true);
  } else {
    fPairRows.SetNRowsCols(2, fNEstimates);
    fPairRows.SetRow(0, rowI);
    fPairRows.SetRow(1, rowJ);
    fPairContrast.SetNRowsCols(1, 2);
    fPairContrast.SetElem(0, 0, 1.0);
    fPairContrast.SetElem(0, 1, -1.0);
    std::vector<QXTestStats> individual;
    QXTestStats overall;
    status = fpModelTests->ComputeOriginalOvAndIndTests(fPairRows, fvEstimates, fPairContrast, individual,
                                                        overall, m);
    if (!individual.empty()) result = individual.front();
  }
  const bool sequential = fvSpecs[s].GetPAdjust() == QXConst::QXPAdjSeqBonferroni ||
                          fvSpecs[s].GetPAdjust() == QXConst::QXPAdjSeqSidak;
  stats.fMean = result.GetContrastEstimate();
  stats.fStdError = result.GetStandardError();
  stats.fLower = result.GetLowerConfidenceInterval();
  stats.fUpper = result.GetUpperConfidenceInterval();
  // The step-down adjustment needs every pair's own significance; it replaces them afterwards.
  stats.fSig = sequential ? result.GetSig() : result.GetAdjSig();
  stats.fDF = IsTType() ? result.GetDF2() : kM;
  stats.fTStat = result.GetWald();
  return status;
}

QXEmmeansStats QXMarginals::Mirrored(const QXEmmeansStats& stats, int category) const {
  QXEmmeansStats mirrored = stats;
  mirrored.fvCategories = {category};
  auto negated = [](double x) { return QXMV::IsMissing(x) ? x : -x; };
  mirrored.fMean = negated(stats.fMean);
  // A t statistic changes sign with the difference; a chi-square does not.
  if (IsTType()) mirrored.fTStat = negated(stats.fTStat);
  if (!QXMV::IsMissing(stats.fLower) && !QXMV::IsMissing(stats.fUpper)) {
    mirrored.fLower = -stats.fUpper;
    mirrored.fUpper = -stats.fLower;
  }
  return mirrored;
}

void QXMarginals::ProcessSequentialAdjustment(int m, QXConst::QXPAdjustMethod method) {
  const int k = static_cast<int>(fvTestCategories.size());
  if (k < 2 || (method != QXConst::QXPAdjSeqBonferroni && method != QXConst::QXPAdjSeqSidak)) return;
  const bool bonferroni = method == QXConst::QXPAdjSeqBonferroni;
  // A raised Sidak pair's level: the chi-square tests take the first-order form 1 - e alpha / 2, the
  // t tests the exact (1 - alpha)^e. The individual forms of each (types 1 and 3) share their
  // distribution, so they share its rule too.
  const bool normal =
      fTestType == QXConst::QXTestChiSquare || fTestType == QXConst::QXTestIndividualChiSquare;
  const double alpha = 1.0 - fConfidenceLevel;
  auto pairIndex = [k](int i, int j) { return i * (k - 1) + (j < i ? j : j - 1); };

  // One direction of every pair, by ascending significance; ties keep pair order.
  std::vector<int> order;
  for (int i = 0; i < k; ++i)
    for (int j = i + 1; j < k; ++j)
      if (!QXMV::IsMissing(fvPWStats[pairIndex(i, j)].fSig)) order.push_back(pairIndex(i, j));
  std::stable_sort(order.begin(), order.end(),
                   [this](int a, int b) { return fvPWStats[a].fSig < fvPWStats[b].fSig; });

  double previous = 0.0;
  for (std::size_t r = 0; r < order.size(); ++r) {
    QXEmmeansStats& stats = fvPWStats[order[r]];
    const int left = std::max(m - static_cast<int>(r), 1);
    const double p = stats.fSig;
    double adjusted = Clamp01(bonferroni ? left * p : QXMathFun::SidakAdjust(p, left));
    // The interval's error rate is carried as its upper tail, which keeps the digits of small rates.
    double upper = bonferroni ? alpha / (2.0 * left) : SidakUpperTail(alpha, 1.0 / left);
    if (r > 0 && previous >= adjusted) {
      // Monotone step-down: the pair inherits the previous adjusted value, and its interval the error
      // rate that value stands for at its own significance.
      adjusted = previous;
      if (bonferroni) {
        if (p > 0.0) upper = alpha * p / (2.0 * previous);
      } else if (p > 0.0 && p < 1.0 && previous < 1.0) {
        const double e = std::log1p(-p) / std::log1p(-previous);
        upper = normal ? 0.5 * e * alpha : SidakUpperTail(alpha, e);
      }
    }
    stats.fSig = adjusted;
    previous = adjusted;
    const double critical = ComputeUpperCritical(upper, stats.fDF > 0.0 ? stats.fDF : fDF);
    if (Known(critical) && Known(stats.fStdError) && Known(stats.fMean)) {
      stats.fLower = stats.fMean - critical * stats.fStdError;
      stats.fUpper = stats.fMean + critical * stats.fStdError;
    }
  }
  // The reversed pair is the same comparison seen from the other side.
  for (int i = 0; i < k; ++i)
    for (int j = 0; j < i; ++j) {
      const QXEmmeansStats& mirror = fvPWStats[pairIndex(j, i)];
      QXEmmeansStats& stats = fvPWStats[pairIndex(i, j)];
      stats.fSig = mirror.fSig;
      if (QXMV::IsMissing(mirror.fLower) || QXMV::IsMissing(mirror.fUpper)) continue;
      stats.fLower = -mirror.fUpper;
      stats.fUpper = -mirror.fLower;
    }
}

}  // namespace QXMath_600
