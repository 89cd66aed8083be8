#include "marginals/QXMarginals.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/QXDisplay.h"
#include "common/QXDistFun.h"
#include "common/QXMissingValue.h"
#include "inference/QXCombinations.h"
#include "inference/QXSatterthwaite.h"
#include "links/QXLinkIdentity.h"
#include "marginals/QXEmmeansCellTable.h"
#include "marginals/QXMultiCompare.h"
#include "settings/QXDisplayC.h"

namespace QXMath_600 {

using QXCommon_600::QXStatus;

namespace {

constexpr double kM = QXMV::gMissingValue;
// The largest L matrix the object builds (rows x estimates, 800 MB): beyond it a request is refused
// (303) rather than left to exhaust memory.
constexpr double kMaxLElements = 1e8;

bool Contains(const std::vector<int>& list, int value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

bool Known(double x) { return !QXMV::IsMissing(x) && std::isfinite(x); }

// Whether list[i] already occurs before position i.
bool Repeats(const std::vector<int>& list, std::size_t i) {
  return std::find(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(i), list[i]) !=
         list.begin() + static_cast<std::ptrdiff_t>(i);
}

QXStatus SpecError(long code, int s) {
  QXStatus status(code, false);
  status.SetDiscreteDatum(0, s);
  return status;
}

QXStatus UnusableSpec(int s, int var) {
  QXStatus status = SpecError(333, s);
  status.SetDiscreteDatum(1, var);
  return status;
}

double IntegerPower(double x, int power) {
  double result = 1.0;
  for (int i = 0; i < power; ++i) result *= x;
  return result;
}

}  // namespace

// ---- Construction ---------------------------------------------------------------------------------

QXMarginals::QXMarginals(const QXRegSettings& settings, const std::vector<QXEmmeansSpec>& specs,
                         QXLiteDesignMatrix& liteDesign, const std::vector<double>& estimates,
                         QXCancelInfo& cancel, const std::vector<double>& covariateMeans,
                         const QXFactorCounts* counts, QXConst::LinkType linkType, double linkParam)
    : fvEstimates(estimates),
      fvCovariateMeans(covariateMeans),
      fpCancelInfo(&cancel),
      fvSpecs(specs),
      fNSpecs(static_cast<int>(specs.size())),
      fPercentile(kM),
      fpLiteDesign(&liteDesign) {
  fPAdjust = specs.empty() ? settings.GetPAdjustment() : specs.front().GetPAdjust();
  SetLinkFunction(linkType, linkParam);
  Initialize(settings, liteDesign, counts);
}

QXMarginals::QXMarginals(const QXRegSettings& settings, QXLiteDesignMatrix& liteDesign,
                         const std::vector<double>& estimates, QXCancelInfo& cancel,
                         const std::vector<double>& covariateMeans, const QXFactorCounts* counts)
    : fvEstimates(estimates),
      fvCovariateMeans(covariateMeans),
      fpCancelInfo(&cancel),
      fPercentile(kM),
      fpLiteDesign(&liteDesign) {
  fPAdjust = settings.GetPAdjustment();
  Initialize(settings, liteDesign, counts);
}

QXMarginals::~QXMarginals() = default;

void QXMarginals::Initialize(const QXRegSettings& settings, QXLiteDesignMatrix& liteDesign,
                             const QXFactorCounts* counts) {
  fvSpecStatus.assign(fNSpecs, QXStatus());
  fvFactors = settings.GetFactors();
  fNFactors = static_cast<int>(fvFactors.size());
  fvCovariates = settings.GetCovariates();
  fTolerance = settings.GetTolerance();
  fTestType = settings.GetTestType();
  fConfidenceLevel = settings.GetConfidenceLevel();
  fbInterceptUse = settings.GetInterceptUse();
  fNEstimates = static_cast<int>(fvEstimates.size());
  fvModelEffects = liteDesign.GetModelEffects();
  fNEffects = static_cast<int>(fvModelEffects.size());
  fpEMLMatrix = std::make_unique<QXRectMatrix>();

  fStatus = ValidateInputs(settings, counts);
  if (fStatus.IsError()) return;
  // Even the form without requests checks the design: with the intercept on one side only, every mean
  // would be off by the intercept without any sign of it.
  fStatus = CheckConsistency(settings);
  if (fStatus.IsError()) return;

  int largest = -1;
  for (int v : fvFactors) largest = std::max(largest, v);
  for (int v : fvCovariates) largest = std::max(largest, v);
  fvLocalIndexMap.assign(largest + 1, -1);
  for (int i = 0; i < fNFactors; ++i) fvLocalIndexMap[fvFactors[i]] = i;
  for (std::size_t i = 0; i < fvCovariates.size(); ++i)
    fvLocalIndexMap[fvCovariates[i]] = static_cast<int>(i);
  int largestCovariate = -1;
  for (int v : fvCovariates) largestCovariate = std::max(largestCovariate, v);
  fvCovMeansByVar.assign(largestCovariate + 1, kM);
  for (std::size_t i = 0; i < fvCovariates.size(); ++i)
    fvCovMeansByVar[fvCovariates[i]] = fvCovariateMeans[i];

  ComputeEmmeans(settings, counts);
}

QXStatus QXMarginals::ValidateInputs(const QXRegSettings& settings, const QXFactorCounts* counts) const {
  const QXLiteDesignMatrix& lite = *fpLiteDesign;
  // Parameter indices of the lite design address the estimates and the columns of L.
  if (lite.GetStatus().IsError() || lite.GetNParameters() != fNEstimates || lite.GetFactors() != fvFactors)
    return QXStatus(335, false);
  if (fvCovariateMeans.size() < fvCovariates.size()) return QXStatus(303, false);
  if (counts == nullptr) return QXStatus();
  if (counts->GetNFactors() != fNFactors) return QXStatus(303, false);
  for (int i = 0; i < fNFactors; ++i)
    if (counts->GetNCategories(i) != settings.GetFactorSizes()[i]) return QXStatus(303, false);
  return QXStatus();
}

QXStatus QXMarginals::CheckConsistency(const QXRegSettings& settings) const {
  if (fNEffects == 0) return QXStatus(335, false);
  if (fvModelEffects.front().IsIntercept() != fbInterceptUse) return QXStatus(335, false);
  if (fNEffects > settings.GetNModelEffects() + (fbInterceptUse ? 1 : 0)) return QXStatus(335, false);
  // A covariate the settings do not know has no value at which it could be held, nor a factor they
  // do not know any observed level.
  for (const QXModelEffect& effect : fvModelEffects) {
    for (int c : effect.GetCovariates())
      if (!Contains(fvCovariates, c)) return QXStatus(335, false);
    for (int f : effect.GetFactors())
      if (!Contains(fvFactors, f)) return QXStatus(335, false);
  }
  return QXStatus();
}

void QXMarginals::ComputeEmmeans(const QXRegSettings& settings, const QXFactorCounts* counts) {
  fbDesignComplete = fpLiteDesign->GetIncompleteEffectIndex() < 0;
  SetObservedCategories(settings, counts);
  SetLocalEffectFactors();
  for (int s = 0; s < fNSpecs; ++s) {
    fvSpecStatus[s] = ValidateSpec(s);
    if (!fvSpecStatus[s].IsOK()) continue;
    CompleteCovariates(fvSpecs[s]);
    fvSpecStatus[s] = CheckCompareFactor(s);
  }
  if (fbDesignComplete) return;

  // One enumeration of the cells that exist serves every request.
  fvCellTables.resize(fNSpecs);
  std::vector<QXEmmeansCellTable*> tables;
  for (int s = 0; s < fNSpecs; ++s) {
    Layout layout;
    QXMultiCompare multi;
    if (!IsBuildable(fvSpecStatus[s]) || GetEmmeansFactorIndices(s, layout, multi).IsError()) continue;
    fvCellTables[s] = std::make_unique<QXEmmeansCellTable>(layout.order, fNEstimates);
    tables.push_back(fvCellTables[s].get());
  }
  const QXStatus status = ComputeIncompleteCounts(tables);
  if (status.IsError()) fStatus = status;
}

void QXMarginals::SetObservedCategories(const QXRegSettings& settings, const QXFactorCounts* counts) {
  // A level that no parameter uses has no cell to average: it is not observed even when the counts
  // (or, without counts, the settings) list it, so a complete design never reaches for a column that
  // does not exist.
  std::vector<bool> used(fNFactors, false);
  for (const QXModelEffect& effect : fvModelEffects)
    for (int f : effect.GetFactors())
      if (LocalFactor(f) >= 0) used[LocalFactor(f)] = true;
  const std::vector<std::vector<int>>& active = fpLiteDesign->GetActiveFactorCategories();
  fvObservedCategories.assign(fNFactors, {});
  for (int i = 0; i < fNFactors; ++i) {
    const QXFactorCounts::Counts* c = counts != nullptr ? counts->GetCountsPtr(i) : nullptr;
    for (int level = 0; level < settings.GetFactorSizes()[i]; ++level) {
      if (c != nullptr && !((*c)[level].first > 0.0)) continue;
      if (used[i] && !Contains(active[i], level)) continue;
      fvObservedCategories[i].push_back(level);
    }
  }
}

void QXMarginals::SetLocalEffectFactors() {
  fvEffectFactors.assign(fNEffects, {});
  fvEffectFirstParameter.assign(fNEffects, 0);
  fvEffectNParameters.assign(fNEffects, 0);
  for (int k = 0; k < fNEffects; ++k) {
    for (int f : GetOriginalOrderFactorIndices(fvModelEffects[k]))
      fvEffectFactors[k].push_back(LocalFactor(f));
    fpLiteDesign->GetParamsForEffect(k, fvEffectFirstParameter[k], fvEffectNParameters[k]);
  }
}

std::vector<int> QXMarginals::GetOriginalOrderFactorIndices(const QXModelEffect& effect) {
  const std::vector<int> factors = effect.GetFactors();
  const std::vector<int> levels = effect.GetFactorLevels();
  std::vector<int> ordered;
  const int deepest = levels.empty() ? -1 : *std::max_element(levels.begin(), levels.end());
  for (int level = 0; level <= deepest; ++level)
    for (std::size_t i = 0; i < factors.size(); ++i)
      if (levels[i] == level) ordered.push_back(factors[i]);
  return ordered;
}

int QXMarginals::LocalFactor(int var) const {
  if (var < 0 || var >= static_cast<int>(fvLocalIndexMap.size())) return -1;
  const int local = fvLocalIndexMap[var];
  return local >= 0 && local < fNFactors && fvFactors[local] == var ? local : -1;
}

int QXMarginals::LocalCovariate(int var) const {
  if (var < 0 || var >= static_cast<int>(fvLocalIndexMap.size())) return -1;
  const int local = fvLocalIndexMap[var];
  return local >= 0 && local < static_cast<int>(fvCovariates.size()) && fvCovariates[local] == var ? local
                                                                                                   : -1;
}

bool QXMarginals::IsBuildable(const QXStatus& status) {
  return !(status.IsError() && (status.GetErrorCode() == 333 || status.GetErrorCode() == 303));
}

QXStatus QXMarginals::ValidateSpec(int s) const {
  const QXEmmeansSpec& spec = fvSpecs[s];
  // The specification's vectors can be edited through their mutable getters, so nothing the adding
  // setters refused can be taken for granted.
  const std::vector<int>& factors = spec.GetFactors();
  for (std::size_t i = 0; i < factors.size(); ++i)
    if (LocalFactor(factors[i]) < 0 || Repeats(factors, i)) return UnusableSpec(s, factors[i]);
  std::vector<int> reordered;
  if (ReorderFactors(factors, spec.GetFactorsNestLevel(), reordered).IsError()) return SpecError(303, s);
  const auto& covariates = spec.GetCovariates();
  for (std::size_t i = 0; i < covariates.size(); ++i) {
    const auto& [var, value] = covariates[i];
    bool repeated = false;
    for (std::size_t j = 0; j < i; ++j) repeated = repeated || covariates[j].first == var;
    if (LocalCovariate(var) < 0 || repeated || (!QXMV::IsMissing(value) && !std::isfinite(value)))
      return UnusableSpec(s, var);
  }
  const std::vector<int>& compare = spec.GetCompareFactors();
  for (std::size_t i = 0; i < compare.size(); ++i)
    if (!Contains(factors, compare[i]) || Repeats(compare, i)) return UnusableSpec(s, compare[i]);
  // Several compare factors need every combination of their levels in every group.
  if (compare.size() > 1 && !fbDesignComplete) return UnusableSpec(s, compare[1]);
  const int scale = spec.GetEmmScaleType();
  if (scale != QXConst::QXEmmOriginal && scale != QXConst::QXEmmTransformed) return UnusableSpec(s, -1);
  return QXStatus();
}

void QXMarginals::CompleteCovariates(QXEmmeansSpec& spec) const {
  auto& covariates = spec.GetCovariates();
  for (auto& [var, value] : covariates)
    if (QXMV::IsMissing(value)) value = fvCovMeansByVar[var];
  for (int c : fvCovariates) {
    bool listed = false;
    for (const auto& held : covariates) listed = listed || held.first == c;
    if (!listed) covariates.emplace_back(c, fvCovMeansByVar[c]);
  }
}

QXStatus QXMarginals::CheckCompareFactor(int s) {
  QXEmmeansSpec& spec = fvSpecs[s];
  const std::vector<int>& compare = spec.GetCompareFactors();
  if (compare.empty()) return QXStatus();
  // With several compare factors their combinations are the compared categories.
  long long n = 1;
  for (int f : compare) n *= static_cast<long long>(fvObservedCategories[LocalFactor(f)].size());
  if (n < 2) return SpecError(324, s);
  if (spec.GetContrastType() == QXConst::QXContrastSimple && spec.GetRefCateg() >= 0) {
    const bool observed = compare.size() == 1
                              ? Contains(fvObservedCategories[LocalFactor(compare[0])], spec.GetRefCateg())
                              : spec.GetRefCateg() < n;
    if (!observed) {
      QXStatus warning(327, true);
      warning.SetDiscreteDatum(0, s);
      return warning;
    }
  }
  if (spec.GetContrastType() == QXConst::QXContrastPolynomial) {
    const std::size_t nValues = spec.GetMetricValueList().size();
    if (nValues == 0) {
      std::vector<double> scores(static_cast<std::size_t>(n));
      for (std::size_t i = 0; i < scores.size(); ++i) scores[i] = static_cast<double>(i + 1);
      spec.SetMetricValueList(scores);
    } else if (nValues < static_cast<std::size_t>(n)) {
      return SpecError(325, s);
    } else if (nValues > static_cast<std::size_t>(n)) {
      return QXStatus(326, true);
    }
  }
  return QXStatus();
}

QXStatus QXMarginals::ReorderFactors(const std::vector<int>& factors, const std::vector<int>& nestLevels,
                                     std::vector<int>& result) {
  result.clear();
  if (nestLevels.empty()) {
    result = factors;
    return QXStatus();
  }
  if (nestLevels.size() != factors.size()) return QXStatus(303, false);
  // A negative level would fall out of the grouping and lose its factor.
  if (*std::min_element(nestLevels.begin(), nestLevels.end()) < 0) return QXStatus(303, false);
  const int highest = *std::max_element(nestLevels.begin(), nestLevels.end());
  for (int level = highest; level >= 0; --level)
    for (std::size_t i = 0; i < factors.size(); ++i)
      if (nestLevels[i] == level) result.push_back(factors[i]);
  return QXStatus();
}

QXStatus QXMarginals::GetEmmeansFactorIndices(int s, Layout& layout, QXMultiCompare& multi) const {
  const QXEmmeansSpec& spec = fvSpecs[s];
  layout = Layout();
  const std::vector<int>& compare = spec.GetCompareFactors();
  if (compare.size() > 1) {
    std::vector<int> local, localCompare;
    for (int f : spec.GetFactors()) local.push_back(LocalFactor(f));
    for (int f : compare) localCompare.push_back(LocalFactor(f));
    if (!multi.Set(local, localCompare, fvObservedCategories)) return UnusableSpec(s, compare[0]);
    layout.order = multi.GetFactorOrder();
    layout.reportedVars = spec.GetFactors();
    for (int f : layout.order)
      layout.report.push_back(static_cast<int>(std::find(local.begin(), local.end(), f) - local.begin()));
    layout.nCompare = multi.GetNCompare();
    return QXStatus();
  }
  std::vector<int> reordered;
  const QXStatus status = ReorderFactors(spec.GetFactors(), spec.GetFactorsNestLevel(), reordered);
  if (status.IsError()) return SpecError(303, s);
  layout.reportedVars = reordered;
  const int compareVar = compare.empty() ? -1 : compare[0];
  for (std::size_t i = 0; i < reordered.size(); ++i) {
    if (reordered[i] == compareVar) {
      layout.comparePosition = static_cast<int>(i);
      continue;
    }
    layout.order.push_back(LocalFactor(reordered[i]));
    layout.report.push_back(static_cast<int>(i));
  }
  if (layout.comparePosition >= 0) {
    layout.order.push_back(LocalFactor(compareVar));
    layout.report.push_back(layout.comparePosition);
    layout.nCompare = 1;
  }
  return QXStatus();
}

// ---- L matrices -----------------------------------------------------------------------------------

std::vector<double> QXMarginals::ComputeCovarExpressions(int s) const {
  if (s >= 0) return ComputeCovarExpressions(fvSpecs[s].GetCovariates());
  std::vector<std::pair<int, double>> means;
  for (std::size_t i = 0; i < fvCovariates.size(); ++i)
    means.emplace_back(fvCovariates[i], fvCovariateMeans[i]);
  return ComputeCovarExpressions(means);
}

std::vector<double> QXMarginals::ComputeCovarExpressions(
    const std::vector<std::pair<int, double>>& values) const {
  std::vector<double> e(fNEffects, 1.0);
  for (int k = 0; k < fNEffects; ++k) {
    const std::vector<int> covariates = fvModelEffects[k].GetCovariates();
    const std::vector<int> powers = fvModelEffects[k].GetCovMultiplicities();
    for (std::size_t i = 0; i < covariates.size(); ++i) {
      double value = 0.0;
      for (const auto& [var, held] : values)
        if (var == covariates[i]) value = held;
      e[k] *= IntegerPower(value, powers[i]);
    }
  }
  return e;
}

bool QXMarginals::SizeLMatrix(double rows) {
  if (!(rows * std::max(fNEstimates, 1) <= kMaxLElements)) return false;
  const int n = static_cast<int>(rows);
  if (!fpEMLMatrix->SetNRowsCols(n, fNEstimates)) return false;
  fvRowCategories.assign(n, {});
  fvRowCompare.assign(n, -1);
  return true;
}

QXStatus QXMarginals::SetCompleteLMatrix(const Layout& layout, const std::vector<double>& e) {
  const QXLiteDesignMatrix& lite = *fpLiteDesign;
  QXCombinations rows;
  rows.Set(&fvObservedCategories, layout.order);
  if (!SizeLMatrix(rows.GetNCombinations())) return QXStatus(303, false);

  // Each effect averages over its factors that the request does not fix.
  std::vector<QXCombinations> walks(fNEffects);
  for (int k = 0; k < fNEffects; ++k) walks[k].Set(&fvObservedCategories, fvEffectFactors[k], layout.order);
  std::vector<int> levels(fNFactors, 0);
  QXRectMatrix& L = *fpEMLMatrix;
  for (int row = 0; rows.Next(levels); ++row) {
    if (IsCancelled()) return QXStatus(1, false);
    for (int k = 0; k < fNEffects; ++k) {
      const double weight = e[k] / walks[k].GetNCombinations();
      walks[k].Reset();
      while (walks[k].Next(levels)) {
        const int column = lite.GetEffectParameterIndex(k, levels);
        // Only a design whose observed levels outrun its parameters gets here.
        if (column < 0) return QXStatus(303, false);
        L.SetElem(row, column, L.GetElem(row, column) + weight);
      }
    }
    SetRowCategories(row, layout, levels);
  }
  return QXStatus();
}

QXStatus QXMarginals::SetIncompleteLMatrix(const QXEmmeansCellTable& table, const Layout& layout,
                                           const std::vector<double>& e) {
  if (!SizeLMatrix(table.GetNCells())) return QXStatus(303, false);
  QXRectMatrix& L = *fpEMLMatrix;
  std::vector<int> levels(fNFactors, 0);
  for (int row = 0; row < table.GetNCells(); ++row) {
    if (IsCancelled()) return QXStatus(1, false);
    const std::vector<double>& entry = table.GetEntry(row);
    const double count = entry[fNEstimates];
    for (int k = 0; k < fNEffects; ++k)
      for (int j = fvEffectFirstParameter[k]; j < fvEffectFirstParameter[k] + fvEffectNParameters[k]; ++j)
        if (entry[j] > 0.0) L.SetElem(row, j, entry[j] * e[k] / count);
    const std::vector<int>& key = table.GetKey(row);
    for (std::size_t i = 0; i < key.size(); ++i) levels[layout.order[i]] = key[i];
    SetRowCategories(row, layout, levels);
  }
  return QXStatus();
}

void QXMarginals::SetRowCategories(int row, const Layout& layout, const std::vector<int>& levels) {
  std::vector<int>& categories = fvRowCategories[row];
  categories.assign(layout.order.size(), -1);
  for (std::size_t i = 0; i < layout.order.size(); ++i)
    categories[layout.report[i]] = levels[layout.order[i]];
  if (layout.nCompare == 1) fvRowCompare[row] = levels[layout.order.back()];
  if (layout.nCompare > 1) fvRowCompare[row] = fpMultiCompare->CombinationIndex(levels);
}

QXStatus QXMarginals::ComputeIncompleteCounts(const std::vector<QXEmmeansCellTable*>& tables) {
  const QXLiteDesignMatrix& lite = *fpLiteDesign;
  const int kStar = lite.GetIncompleteEffectIndex();
  if (kStar < 0) return QXStatus(303, false);
  const std::vector<int>& starFactors = fvEffectFactors[kStar];
  // The other factors that matter: those of some effect or of some request's key.
  std::vector<int> others;
  auto addOther = [&](int f) {
    if (!Contains(starFactors, f) && !Contains(others, f)) others.push_back(f);
  };
  for (const std::vector<int>& factors : fvEffectFactors)
    for (int f : factors) addOther(f);
  for (const QXEmmeansCellTable* table : tables)
    for (int f : table->GetKeyFactors()) addOther(f);
  std::sort(others.begin(), others.end());

  std::vector<int> levels(fNFactors, 0);
  QXCombinations walk;
  walk.Set(&fvObservedCategories, others);
  const int first = fvEffectFirstParameter[kStar];
  for (int p = first; p < first + fvEffectNParameters[kStar]; ++p) {
    const QXRegrParameter& parameter = lite.GetParameters()[p];
    bool observed = true;
    for (int i = 0; i < parameter.GetNFactors() && observed; ++i) {
      const int local = LocalFactor(parameter.GetFactors()[i]);
      observed = local >= 0 && i < static_cast<int>(parameter.GetCategories().size());
      if (!observed) break;
      levels[local] = parameter.GetCategories()[i];
      observed = Contains(fvObservedCategories[local], levels[local]);
    }
    // A repeated cell is counted once, under the parameter its cell is filed with.
    if (!observed || lite.GetEffectParameterIndex(kStar, levels) != p) continue;
    walk.Reset();
    while (walk.Next(levels)) {
      if (IsCancelled()) return QXStatus(1, false);
      bool ok = false;
      const std::vector<int>& indices = lite.GetParameterIndices(levels, ok);
      if (!ok) continue;
      for (QXEmmeansCellTable* table : tables) table->Add(levels, indices);
    }
  }
  for (QXEmmeansCellTable* table : tables) table->Sort();
  return QXStatus();
}

void QXMarginals::ProcessTestGroups(int s, const Layout& layout) {
  fNTests = 0;
  fvTestStarts.clear();
  fvCompareCategories.clear();
  if (layout.nCompare == 0) return;
  if (layout.nCompare == 1) {
    fvCompareCategories = fvObservedCategories[layout.order.back()];
  } else {
    for (int c = 0; c < fpMultiCompare->GetNCombinations(); ++c) fvCompareCategories.push_back(c);
  }
  const int rows = fpEMLMatrix->GetNRows();
  if (fbDesignComplete) {
    const int k = static_cast<int>(fvCompareCategories.size());
    if (k < 2) return;
    for (int start = 0; start < rows; start += k) fvTestStarts.push_back(start);
  } else {
    // Rows come in key order with the compare factor last, so a group is a run of rows that agree on
    // every other factor.
    const std::size_t nGroup = layout.order.size() - layout.nCompare;
    for (int row = 0; row < rows; ++row) {
      bool same = row > 0;
      for (std::size_t i = 0; same && i < nGroup; ++i)
        same = fvRowCategories[row][layout.report[i]] == fvRowCategories[row - 1][layout.report[i]];
      if (!same) fvTestStarts.push_back(row);
    }
  }
  fNTests = static_cast<int>(fvTestStarts.size());
  fvTestStarts.push_back(rows);
  bool anyPair = false;
  for (int t = 0; t < fNTests; ++t) anyPair = anyPair || fvTestStarts[t + 1] - fvTestStarts[t] >= 2;
  if (!anyPair && !fvSpecStatus[s].IsError()) fvSpecStatus[s] = SpecError(324, s);
}

QXStatus QXMarginals::SetEmmeansData(int s) {
  if (s == fCurrentSpec) return QXStatus();
  if (!IsBuildable(fvSpecStatus[s])) return fvSpecStatus[s];
  InvalidateCurrent();
  Layout layout;
  auto multi = std::make_unique<QXMultiCompare>();
  QXStatus status = GetEmmeansFactorIndices(s, layout, *multi);
  if (status.IsError()) return status;
  if (layout.nCompare > 1) fpMultiCompare = std::move(multi);
  const std::vector<double> e = ComputeCovarExpressions(s);
  if (fbDesignComplete)
    status = SetCompleteLMatrix(layout, e);
  else
    status = fvCellTables[s] ? SetIncompleteLMatrix(*fvCellTables[s], layout, e) : QXStatus(303, false);
  if (status.IsError()) {
    InvalidateCurrent();
    if (status.GetErrorCode() == 1) fStatus = status;
    return status;
  }
  fLayout = layout;
  ProcessTestGroups(s, layout);
  fCurrentSpec = s;
  fTestFactorIndex = layout.nCompare == 1 ? layout.order.back() : -1;
  fTestFactorPosition = layout.comparePosition;
  fPAdjust = fvSpecs[s].GetPAdjust();
  if (fpModelTests) fpModelTests->SetPAdjustment(fPAdjust);
  return QXStatus();
}

void QXMarginals::InvalidateCurrent() {
  fCurrentSpec = -1;
  fCurrentTest = -1;
  fTestFirstRow = -1;
  fNTests = 0;
  fTestFactorIndex = -1;
  fTestFactorPosition = -1;
  fvTestStarts.clear();
  fvTestCategories.clear();
  fvCompareCategories.clear();
  fvRowCategories.clear();
  fvRowCompare.clear();
  fLayout = Layout();
  fpMultiCompare.reset();
  fpEMLMatrix->SetNRowsCols(0, 0);
}

bool QXMarginals::IsCancelled() { return fpCancelInfo != nullptr && fpCancelInfo->IsCancel(); }

// ---- Means ----------------------------------------------------------------------------------------

bool QXMarginals::SetLinkFunction(QXConst::LinkType type, double param) {
  fpLinkFunction.reset(CreateLinkFunction(type, param));
  // The tests hold the link by pointer: they must not keep the one just destroyed. Pairs formed
  // through the old link are stale.
  if (fpModelTests) fpModelTests->SetLinkFunction(&Link());
  fPWSpec = fPWTest = -1;
  return fpLinkFunction != nullptr;
}

const IQXLinkFunc& QXMarginals::Link() const {
  // Without a link the response scale is the linear predictor's: a mean on the original scale of a
  // model without a link is its linear-predictor mean.
  static const QXLinkIdentity identity;
  if (fpLinkFunction) return *fpLinkFunction;
  return identity;
}

bool QXMarginals::IsTType() const {
  return fTestType == QXConst::QXTestWaldF || fTestType == QXConst::QXTestIndividualT;
}

double QXMarginals::ComputeUpperCritical(double upper, double df) const {
  if (fTestType == QXConst::QXTestChiSquare || fTestType == QXConst::QXTestIndividualChiSquare)
    return QXDistFun::IdfStdNormUpper(upper);
  if (IsTType()) return QXDistFun::IdfTUpper(upper, df > 0.0 ? df : fDF);
  return kM;
}

double QXMarginals::ComputePercentile(double df) const {
  return ComputeUpperCritical(0.5 * (1.0 - fConfidenceLevel), df);
}

QXStatus QXMarginals::SetEmmeansTesting(const QXSymMatrix* covariance, const QXBitSet& redundancy, double df,
                                        QXSatterthwaite* satterthwaite) {
  if (fStatus.IsError()) return fStatus;
  if (covariance == nullptr || !(df >= 0.0)) return QXStatus(303, false);
  if (covariance->GetNRows() != fNEstimates || redundancy.Size() < fNEstimates) return QXStatus(336, false);
  fpPECovar = covariance;
  fDF = df;
  fRedundancy = redundancy;
  fPercentile = ComputePercentile(df);
  fpModelTests = std::make_unique<QXModelTests>(fvEstimates, fRedundancy, *covariance, df, nullptr);
  fpModelTests->SetTestType(fTestType);
  fpModelTests->SetPAdjustment(fPAdjust);
  fpModelTests->SetLinkFunction(&Link());
  fpModelTests->SetConfidenceLevel(fConfidenceLevel);
  fpSatterthwaite = satterthwaite;
  if (satterthwaite != nullptr) fpModelTests->SetSatterthwaite(satterthwaite);
  fpGroupMatrix = std::make_unique<QXRectMatrix>();
  fpContrastL = std::make_unique<QXRectMatrix>();
  fpContrastC = std::make_unique<QXRectMatrix>();
  // Pairs computed with the previous covariance are stale.
  fPWSpec = fPWTest = -1;
  return QXStatus();
}

QXStatus QXMarginals::GetSpecStatus(int s) const {
  if (s < 0 || s >= fNSpecs) return IndexStatus(328, s, fNSpecs - 1);
  return fvSpecStatus[s];
}

QXStatus QXMarginals::IndexStatus(long code, int index, int largest) {
  QXStatus status(code, false);
  status.SetDiscreteDatum(0, index);
  status.SetDiscreteDatum(1, largest);
  return status;
}

QXStatus QXMarginals::GetEmmeansStats(int s, const QXEmmeansSpec*& spec, const QXRectMatrix*& L,
                                      std::vector<QXEmmeansStats>& stats) {
  if (fStatus.IsError()) return fStatus;
  if (fpPECovar == nullptr) return QXStatus(303, false);
  if (s < 0 || s >= fNSpecs) return IndexStatus(328, s, fNSpecs - 1);
  const QXStatus status = SetEmmeansData(s);
  if (status.IsError()) return status;
  spec = &fvSpecs[s];
  L = fpEMLMatrix.get();

  const int rows = L->GetNRows();
  stats.assign(rows, QXEmmeansStats());
  fvRowDF.assign(rows, fDF);
  if (fpSatterthwaite != nullptr) {
    std::vector<double> variances;
    fpSatterthwaite->ComputeDF4FixedOverallNIndiv(*L, variances, fvRowDF);
  }
  const bool original = spec->GetEmmScaleType() == QXConst::QXEmmOriginal;
  std::vector<int> indices;
  std::vector<double> values;
  for (int r = 0; r < rows; ++r) {
    QXEmmeansStats& record = stats[r];
    record.fvCategories = fvRowCategories[r];
    // Rows are sparse: a mean touches only the cells it averages.
    indices.clear();
    values.clear();
    double eta = 0.0;
    for (int j = 0; j < fNEstimates; ++j) {
      const double l = L->GetElem(r, j);
      if (l == 0.0) continue;
      indices.push_back(j);
      values.push_back(l);
      eta += l * fvEstimates[j];
    }
    double var = fpPECovar->ComputeVSV(indices, values);
    if (!QXMV::IsMissing(var) && var < 0.0) var = 0.0;
    const double se = Known(var) ? std::sqrt(var) : kM;
    // A row whose Satterthwaite df cannot be formed falls back to the error df, as its bounds do.
    const double rowDF = r < static_cast<int>(fvRowDF.size()) ? fvRowDF[r] : kM;
    const bool ownDF = fpSatterthwaite != nullptr && Known(rowDF) && rowDF > 0.0;
    const double df = ownDF ? rowDF : fDF;
    const double q = ownDF ? ComputePercentile(df) : fPercentile;
    if (IsTType()) record.fDF = df;
    const double h = Known(q) && Known(se) ? q * se : kM;
    if (!original) {
      record.fMean = eta;
      record.fStdError = se;
      if (Known(h)) {
        record.fLower = eta - h;
        record.fUpper = eta + h;
      }
      continue;
    }
    SetResponseScale(eta, se, h, record);
  }
  return QXStatus();
}

void QXMarginals::SetResponseScale(double eta, double se, double h, QXEmmeansStats& record) const {
  const IQXLinkFunc& link = Link();
  const double mu = link.InverseLink(eta, nullptr);
  record.fMean = mu;
  if (QXMV::IsMissing(mu)) return;
  // The delta method: d mu / d eta whatever the kind of link. Its size is what scales the standard
  // error; a decreasing inverse link (the log complement) would otherwise give a negative one.
  const double slope = link.InverseLinkDerivative(mu, nullptr);
  if (Known(se) && Known(slope)) record.fStdError = se * std::fabs(slope);
  if (!Known(h)) return;
  const double a = link.InverseLink(eta - h, nullptr);
  const double b = link.InverseLink(eta + h, nullptr);
  if (QXMV::IsMissing(a) || QXMV::IsMissing(b)) return;
  record.fLower = std::min(a, b);
  record.fUpper = std::max(a, b);
}

QXStatus QXMarginals::GetFactorEmmeans(int f, const QXRectMatrix*& L, std::vector<double>& means) {
  if (fStatus.IsError()) return fStatus;
  const int local = LocalFactor(f);
  if (local < 0) return IndexStatus(328, f, static_cast<int>(fvLocalIndexMap.size()) - 1);
  InvalidateCurrent();
  Layout layout;
  layout.order = {local};
  layout.report = {0};
  layout.reportedVars = {f};
  const std::vector<double> e = ComputeCovarExpressions(-1);
  QXStatus status;
  if (fbDesignComplete) {
    status = SetCompleteLMatrix(layout, e);
  } else {
    // An empty cell: the levels' means average the full combinations that exist, as for a request.
    QXEmmeansCellTable table(layout.order, fNEstimates);
    std::vector<QXEmmeansCellTable*> tables{&table};
    status = ComputeIncompleteCounts(tables);
    if (!status.IsError()) status = SetIncompleteLMatrix(table, layout, e);
  }
  if (status.IsError()) return FailBuild(status);
  L = fpEMLMatrix.get();
  const std::vector<int>& observed = fvObservedCategories[local];
  means.assign(observed.empty() ? 0 : observed.back() + 1, kM);
  std::vector<double> row;
  for (int r = 0; r < L->GetNRows(); ++r) {
    L->GetRow(r, row);
    double mean = 0.0;
    for (int j = 0; j < fNEstimates; ++j) mean += row[j] * fvEstimates[j];
    means[fvRowCategories[r][0]] = mean;
  }
  return QXStatus();
}

QXStatus QXMarginals::FailBuild(const QXStatus& status) {
  InvalidateCurrent();
  if (status.GetErrorCode() == 1) fStatus = status;
  return status;
}

QXStatus QXMarginals::GetCovarEmmeans(int c, double from, double to, int n, const QXRectMatrix*& L,
                                      std::vector<double>& values, std::vector<double>& means) {
  if (fStatus.IsError()) return fStatus;
  if (n < 2 || !std::isfinite(from) || !std::isfinite(to) || !(from < to) || LocalCovariate(c) < 0)
    return QXStatus(303, false);
  InvalidateCurrent();
  // The factor part of every column, averaged over the factors' observed levels (or, with empty
  // cells, over the full combinations that exist); the covariates multiply it row by row.
  std::vector<double> average;
  const QXStatus status = AverageDesignRow(average);
  if (status.IsError()) return FailBuild(status);
  if (!fpEMLMatrix->SetNRowsCols(n, fNEstimates)) return FailBuild(QXStatus(303, false));

  std::vector<std::pair<int, double>> held;
  for (std::size_t i = 0; i < fvCovariates.size(); ++i)
    held.emplace_back(fvCovariates[i], fvCovariateMeans[i]);
  values.assign(n, 0.0);
  means.assign(n, 0.0);
  const double step = (to - from) / (n - 1);
  QXRectMatrix& M = *fpEMLMatrix;
  for (int i = 0; i < n; ++i) {
    if (IsCancelled()) return FailBuild(QXStatus(1, false));
    values[i] = i == n - 1 ? to : from + i * step;
    for (auto& [var, value] : held)
      if (var == c) value = values[i];
    const std::vector<double> e = ComputeCovarExpressions(held);
    for (int k = 0; k < fNEffects; ++k)
      for (int j = fvEffectFirstParameter[k]; j < fvEffectFirstParameter[k] + fvEffectNParameters[k]; ++j) {
        if (average[j] == 0.0) continue;
        M.SetElem(i, j, average[j] * e[k]);
        means[i] += average[j] * e[k] * fvEstimates[j];
      }
  }
  L = fpEMLMatrix.get();
  return QXStatus();
}

QXStatus QXMarginals::AverageDesignRow(std::vector<double>& average) {
  average.assign(fNEstimates, 0.0);
  if (!fbDesignComplete) {
    QXEmmeansCellTable table({}, fNEstimates);
    std::vector<QXEmmeansCellTable*> tables{&table};
    const QXStatus status = ComputeIncompleteCounts(tables);
    if (status.IsError()) return status;
    if (table.GetNCells() != 1) return QXStatus(303, false);
    const std::vector<double>& entry = table.GetEntry(0);
    for (int j = 0; j < fNEstimates; ++j) average[j] = entry[j] / entry[fNEstimates];
    return QXStatus();
  }
  const QXLiteDesignMatrix& lite = *fpLiteDesign;
  std::vector<int> levels(fNFactors, 0);
  for (int k = 0; k < fNEffects; ++k) {
    QXCombinations walk;
    walk.Set(&fvObservedCategories, fvEffectFactors[k]);
    const double weight = 1.0 / walk.GetNCombinations();
    while (walk.Next(levels)) {
      const int column = lite.GetEffectParameterIndex(k, levels);
      if (column < 0) return QXStatus(303, false);
      average[column] += weight;
    }
  }
  return QXStatus();
}

// ---- Display --------------------------------------------------------------------------------------

void QXMarginals::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXMarginals display start");
  DisplayDV("Parameter estimates", fvEstimates);
  DisplayDV("Covariate means", fvCovariateMeans);
  DisplayI("Number of emmeans specifications", fNSpecs);
  DisplayText(1, "Emmeans specifications");
  for (const QXEmmeansSpec& spec : fvSpecs) spec.Display();
  DisplayB("True if model design is complete", fbDesignComplete);
  DisplayI("Current emmeans specification index", fCurrentSpec);
  if (fpEMLMatrix && fpEMLMatrix->GetNRows() > 0) {
    DisplayText(1, "L matrix pointer for the current specification");
    fpEMLMatrix->Display();
  } else {
    DisplayText(1, "fpEMLMatrix is 0");
  }
  DisplayI("The number of tests", fNTests);
  DisplayI("Test factor index in the factor list", fTestFactorIndex);
  DisplayI("Test factor index in the emmeans specification", fTestFactorPosition);
  DisplayIV("Vector of current categories for the test factor", fvTestCategories);
  DisplayIV("Row of the L matrix where the current test begins", fvTestStarts);
  DisplayIV("Factor indices", fvFactors);
  DisplayI("Number of factors", fNFactors);
  DisplayText(1, "Categories for each factor");
  for (const std::vector<int>& observed : fvObservedCategories) DisplayIV("Categories", observed);
  DisplayIV("Local factor and covariate indices", fvLocalIndexMap);
  for (std::size_t s = 0; s < fvCellTables.size(); ++s)
    if (fvCellTables[s]) fvCellTables[s]->Display();
  if (fpPECovar != nullptr) {
    DisplayText(1, "Covariance matrix of parameter estimates:");
    fpPECovar->Display();
  } else {
    DisplayText(1, "fpPECovar is 0");
  }
  DisplayD("Percentile of t-distribution", fPercentile);
  DisplayD("Number of degrees of freedom", fDF);
  DisplayC("Statistical test type", fTestType);
  DisplayC("p-Adjustment method type", fPAdjust);
  DisplayText(1, "Model effects");
  for (const QXModelEffect& effect : fvModelEffects) effect.Display();
  if (fpModelTests) {
    DisplayText(1, "Pointer for the model testing object");
    fpModelTests->Display();
  } else {
    DisplayText(1, "fpModelTests is 0");
  }
  DisplayText(1, "QXMarginals display end");
}

}  // namespace QXMath_600
