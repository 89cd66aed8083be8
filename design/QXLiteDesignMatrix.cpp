#include "design/QXLiteDesignMatrix.h"

#include <algorithm>
#include <string>

#include "common/QXDisplay.h"
#include "design/QXFactorCounts.h"

namespace QXMath_600 {

using QXCommon_600::QXStatus;

namespace {

bool Contains(const std::vector<int>& list, int value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

QXLiteDesignMatrix::QXLiteDesignMatrix(const std::vector<int>& factors, const std::vector<int>& nCategories,
                                       const std::vector<int>& covariates)
    : fvFactors(factors),
      fvNCategories(nCategories),
      fvCovariates(covariates),
      fvFactorValues(factors.size(), 0),
      fbHasFactors(!factors.empty()),
      fvActiveCategories(factors.size()) {
  int largest = -1;
  for (int var : factors) largest = std::max(largest, var);
  fvLocalFactorMap.assign(static_cast<std::size_t>(largest + 1), -1);
  // The first of repeated entries is the factor's position, for filing and for lookups alike.
  for (int i = static_cast<int>(factors.size()) - 1; i >= 0; --i)
    if (factors[i] >= 0) fvLocalFactorMap[factors[i]] = i;
}

QXLiteDesignMatrix::QXLiteDesignMatrix(QXLiteDesignMatrix&&) noexcept = default;
QXLiteDesignMatrix& QXLiteDesignMatrix::operator=(QXLiteDesignMatrix&&) noexcept = default;
QXLiteDesignMatrix::~QXLiteDesignMatrix() = default;

int QXLiteDesignMatrix::LocalFactor(int var) const {
  if (var < 0 || static_cast<std::size_t>(var) >= fvLocalFactorMap.size()) return -1;
  return fvLocalFactorMap[var];
}

bool QXLiteDesignMatrix::KnownEffect(const QXModelEffect& effect) const {
  std::vector<int> factors = effect.GetFactors();
  for (int var : factors)
    if (LocalFactor(var) < 0) return false;
  std::sort(factors.begin(), factors.end());
  if (std::adjacent_find(factors.begin(), factors.end()) != factors.end()) return false;
  for (int var : effect.GetCovariates())
    if (!Contains(fvCovariates, var)) return false;
  return true;
}

bool QXLiteDesignMatrix::KnownParameter(const QXRegrParameter& p) const {
  const std::vector<int>& categories = p.GetCategories();
  if (categories.size() != p.GetFactors().size()) return false;
  for (int var : p.GetFactors())
    if (LocalFactor(var) < 0) return false;
  // Rows never map to a negative code, and the codes of the records' missing values are negative.
  if (std::any_of(categories.begin(), categories.end(), [](int c) { return c < 0; })) return false;
  for (int var : p.GetCovariates())
    if (!Contains(fvCovariates, var)) return false;
  return p.GetCovariates().size() == p.GetCovariateMultiplicities().size();
}

bool QXLiteDesignMatrix::HasFactorsOf(const QXRegrParameter& p, const std::vector<int>& factors) {
  if (static_cast<std::size_t>(p.GetNFactors()) != factors.size()) return false;
  for (int var : factors)
    if (!Contains(p.GetFactors(), var)) return false;
  return true;
}

bool QXLiteDesignMatrix::Refuse() {
  fStatus = QXStatus(303, false);
  return false;
}

void QXLiteDesignMatrix::CreateNewTable(const QXModelEffect& effect) {
  const std::vector<int> factors = effect.GetFactors();
  const int n = static_cast<int>(factors.size());
  fvModelEffects.push_back(effect);
  fvNEffectFactors.push_back(n);
  fvRowParamIndices.push_back(fNParameters);
  fvFirstParameter.push_back(fNParameters);
  fvKeys.emplace_back(n);
  ++fNModelEffects;
  fvCumNFactors.push_back(fvCumNFactors.back() + n);
  fvWorkIndices.push_back(0);
  fvWorkValues.push_back(0.0);
  if (n > 0) {
    for (int var : factors) fvEffectFactors.push_back(LocalFactor(var));
    fvTables.push_back(std::make_unique<QXHashtable<int>>());
    fvNEffectParameters.push_back(0);
  } else {
    fvTables.push_back(nullptr);
    fvNEffectParameters.push_back(1);
  }
}

void QXLiteDesignMatrix::AppendParameter(const QXRegrParameter& p, int e) {
  fvParameters.push_back(p);
  fColumnValues.Append(p);
  ++fNParameters;
  if (fvTables[e] != nullptr) ++fvNEffectParameters[e];
}

bool QXLiteDesignMatrix::UpdateHashtable(QXHashtable<int>* table, QXHashKey& key) {
  if (table == nullptr) return false;
  key.UpdateHashCode();
  return table->Put(key, fNParameters);
}

bool QXLiteDesignMatrix::AddParamToTable(const QXRegrParameter& p, int e) {
  if (e != fNModelEffects - 1 || fvTables[e] == nullptr) return false;
  // The key follows the effect's factor order, which is also the order of every lookup.
  QXHashKey& key = fvKeys[e];
  const int* positions = fvEffectFactors.data() + fvCumNFactors[e];
  for (int j = 0; j < fvNEffectFactors[e]; ++j) key[j] = p.ContainsFactor(fvFactors[positions[j]], -1);
  const std::vector<int>& factors = p.GetFactors();
  for (std::size_t f = 0; f < factors.size(); ++f) {
    std::vector<int>& active = fvActiveCategories[LocalFactor(factors[f])];
    const int code = p.GetCategories()[f];
    if (!Contains(active, code)) active.push_back(code);
  }
  const bool filed = UpdateHashtable(fvTables[e].get(), key);
  AppendParameter(p, e);
  return filed;
}

int QXLiteDesignMatrix::AddModelEffect(const QXModelEffect& effect,
                                       const std::vector<QXRegrParameter>& parameters) {
  // Everything is checked before anything is added, so that a refusal leaves no partial effect.
  const std::vector<int> factors = effect.GetFactors();
  bool valid = KnownEffect(effect);
  if (factors.empty()) {
    valid = valid && !parameters.empty() && parameters[0].GetNFactors() == 0 && KnownParameter(parameters[0]);
  } else {
    for (const QXRegrParameter& p : parameters)
      valid = valid && KnownParameter(p) && HasFactorsOf(p, factors);
  }
  if (!valid) {
    Refuse();
    return -1;
  }

  CreateNewTable(effect);
  const int e = fNModelEffects - 1;
  if (factors.empty()) {
    AppendParameter(parameters[0], e);
  } else {
    for (const QXRegrParameter& p : parameters) AddParamToTable(p, e);
  }
  return fNParameters;
}

bool QXLiteDesignMatrix::CheckParamEffect(const QXRegrParameter& p, const QXModelEffect& effect) const {
  if (effect.GetNCovariates() != p.GetNCovariates() || !HasFactorsOf(p, effect.GetFactors())) return false;
  if (effect.GetCovariates() != p.GetCovariates()) return false;
  for (int var : p.GetCovariates())
    if (effect.GetCovariateMult(var) != p.GetCovariateMult(var)) return false;
  return true;
}

void QXLiteDesignMatrix::MakeEffectFromParam(QXModelEffect& effect, const QXRegrParameter& p) const {
  std::vector<int> candidates = p.GetFactors();
  candidates.insert(candidates.end(), p.GetCovariates().begin(), p.GetCovariates().end());
  effect = QXModelEffect(p.GetNFactors(), p.GetNCovariates(), &candidates);
  for (int var : p.GetFactors()) effect.AddNewFactor(var, false);
  const std::vector<int>& covariates = p.GetCovariates();
  for (std::size_t c = 0; c < covariates.size(); ++c)
    for (int k = 0; k < p.GetCovariateMultiplicities()[c]; ++k) effect.AddCovariate(covariates[c]);
}

bool QXLiteDesignMatrix::AddRegrParameter(const QXRegrParameter& p) {
  if (!KnownParameter(p)) return Refuse();
  bool belongs = fNModelEffects > 0 && CheckParamEffect(p, fvModelEffects.back());
  // Parameters carry the index of their model effect: two effects of the same variables (a repeated
  // term) stay two effects, with a column each, as in the fitted model.
  const bool lastHasParameters = belongs && fNParameters > fvFirstParameter.back();
  if (lastHasParameters && p.GetEffectIndex() >= 0 && fvParameters.back().GetEffectIndex() >= 0 &&
      p.GetEffectIndex() != fvParameters.back().GetEffectIndex())
    belongs = false;
  if (!belongs) {
    QXModelEffect effect;
    MakeEffectFromParam(effect, p);
    CreateNewTable(effect);
    if (p.GetNFactors() == 0) {
      AppendParameter(p, fNModelEffects - 1);
      return true;
    }
  } else if (p.GetNFactors() == 0) {
    return true;
  }
  return AddParamToTable(p, fNModelEffects - 1);
}

bool QXLiteDesignMatrix::GetParamsForEffect(int effect, int& first, int& count) const {
  if (effect < 0 || effect >= fNModelEffects) return false;
  first = fvFirstParameter[effect];
  count = fvNEffectParameters[effect];
  return true;
}

int QXLiteDesignMatrix::GetParameterIndex(const QXHashtable<int>* table, QXHashKey& key) const {
  if (table == nullptr || key.UpdateHashCode() < 0) return -1;
  const int* value = table->Get(key);
  return value != nullptr ? *value : -1;
}

QXHashKey& QXLiteDesignMatrix::FillKey(int e, const int* levels) const {
  QXHashKey& key = fvKeys[e];
  const int* positions = fvEffectFactors.data() + fvCumNFactors[e];
  const int n = fvNEffectFactors[e];
  for (int j = 0; j < n; ++j) key[j] = levels[positions[j]];
  return key;
}

const std::vector<int>& QXLiteDesignMatrix::MarkUnplaced(bool& ok) const {
  ok = true;
  for (int e = 0; e < fNModelEffects; ++e) {
    if (fvTables[e] == nullptr) continue;
    fvRowParamIndices[e] = -1;
    ok = false;
  }
  return fvRowParamIndices;
}

bool QXLiteDesignMatrix::LookUpEffects() const {
  bool ok = true;
  for (int e = 0; e < fNModelEffects; ++e) {
    const QXHashtable<int>* table = fvTables[e].get();
    if (table == nullptr) continue;
    const int index = GetParameterIndex(table, FillKey(e, fvFactorValues.data()));
    fvRowParamIndices[e] = index;
    if (index < 0) ok = false;
  }
  return ok;
}

const std::vector<int>& QXLiteDesignMatrix::GetParameterIndices(const std::vector<int>& levels,
                                                                bool& ok) const {
  if (levels.size() < fvFactors.size()) return MarkUnplaced(ok);
  std::copy_n(levels.begin(), fvFactors.size(), fvFactorValues.begin());
  ok = LookUpEffects();
  return fvRowParamIndices;
}

const std::vector<int>& QXLiteDesignMatrix::GetRowParameterIndices(const double* row, bool& ok) const {
  if (row == nullptr) return MarkUnplaced(ok);
  const int n = static_cast<int>(fvFactors.size());
  for (int i = 0; i < n; ++i) {
    const int var = fvFactors[i];
    fvFactorValues[i] = var >= 0 ? QXFactorCounts::LevelIndex(row[var], 0) : QXFactorCounts::kNoLevel;
  }
  ok = LookUpEffects();
  return fvRowParamIndices;
}

int QXLiteDesignMatrix::GetEffectParameterIndex(int effect, const std::vector<int>& levels) const {
  if (effect < 0 || effect >= fNModelEffects) return -1;
  const QXHashtable<int>* table = fvTables[effect].get();
  if (table == nullptr) return fvFirstParameter[effect];
  if (levels.size() < fvFactors.size()) return -1;
  return GetParameterIndex(table, FillKey(effect, levels.data()));
}

int QXLiteDesignMatrix::GetMinRowSize() const {
  int largest = fDepVar;
  for (int var : fvFactors) largest = std::max(largest, var);
  for (int var : fvCovariates) largest = std::max(largest, var);
  return largest + 1;
}

bool QXLiteDesignMatrix::ExpandSparse(const double* row) const {
  bool ok = false;
  const std::vector<int>& indices = GetRowParameterIndices(row, ok);
  for (int e = 0; e < fNModelEffects; ++e) {
    const int i = indices[e];
    fvWorkIndices[e] = i;
    fvWorkValues[e] = i >= 0 ? fColumnValues.Value(row, i) : 0.0;
  }
  return ok;
}

bool QXLiteDesignMatrix::ExpandRowX(const double* row, std::vector<double>& x) const {
  if (x.size() < static_cast<std::size_t>(fNParameters) || !ExpandSparse(row)) return false;
  std::fill(x.begin(), x.begin() + fNParameters, 0.0);
  for (int e = 0; e < fNModelEffects; ++e) x[fvWorkIndices[e]] = fvWorkValues[e];
  return true;
}

bool QXLiteDesignMatrix::ExpandRowX(const double* row, std::vector<int>& indices,
                                    std::vector<double>& values) const {
  const bool ok = ExpandSparse(row);
  indices.assign(fvWorkIndices.begin(), fvWorkIndices.end());
  values.assign(fvWorkValues.begin(), fvWorkValues.end());
  return ok;
}

bool QXLiteDesignMatrix::ExpandRowXY(const double* row, std::vector<double>& xy) const {
  if (fDepVar < 0 || !ExpandSparse(row)) return false;
  xy.assign(static_cast<std::size_t>(fNParameters) + 1, 0.0);
  for (int e = 0; e < fNModelEffects; ++e) xy[fvWorkIndices[e]] = fvWorkValues[e];
  xy[fNParameters] = row[fDepVar];
  return true;
}

bool QXLiteDesignMatrix::ExpandRowXY(const double* row, std::vector<int>& indices,
                                     std::vector<double>& values) const {
  if (fDepVar < 0 || !ExpandRowX(row, indices, values)) return false;
  indices.push_back(fNParameters);
  values.push_back(row[fDepVar]);
  return true;
}

int QXLiteDesignMatrix::GetIncompleteEffectIndex() const {
  double best = 1.0;
  int result = -1;
  for (int e = 0; e < fNModelEffects; ++e) {
    if (fvTables[e] == nullptr) continue;
    // In doubles: the product of the factors' category counts may exceed an int.
    double combinations = 1.0;
    for (int j = fvCumNFactors[e]; j < fvCumNFactors[e + 1]; ++j)
      combinations *= static_cast<double>(fvActiveCategories[fvEffectFactors[j]].size());
    // An effect without parameters has no active categories to compare with: 0/0 is not below best.
    const double ratio = fvNEffectParameters[e] / combinations;
    if (ratio < best) {
      best = ratio;
      result = e;
    }
  }
  return result;
}

void QXLiteDesignMatrix::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "Start display of QXLiteDesignMatrix");
  DisplayIV("Factors", fvFactors);
  DisplayIV("Numbers of categories", fvNCategories);
  DisplayIV("Covariates", fvCovariates);
  DisplayIV("Local factor map", fvLocalFactorMap);
  DisplayI("Dependent variable", fDepVar);
  DisplayI("Number of model effects", fNModelEffects);
  for (const QXModelEffect& effect : fvModelEffects) effect.Display();
  DisplayI("Number of fixed parameters", fNParameters);
  for (const QXRegrParameter& p : fvParameters) p.Display();
  DisplayIV("First parameter of each effect", fvFirstParameter);
  DisplayIV("Number of parameters of each effect", fvNEffectParameters);
  DisplayIV("Concatenated list of factors of the effects", fvEffectFactors);
  DisplayIV("Number of factors of each effect", fvNEffectFactors);
  DisplayIV("Cumulative number of factors up to each effect", fvCumNFactors);
  DisplayIV("Factor values", fvFactorValues);
  DisplayIV("Parameter indices of the current row", fvRowParamIndices);
  for (const std::unique_ptr<QXHashtable<int>>& table : fvTables) {
    if (table != nullptr) table->Display();
  }
  for (std::size_t i = 0; i < fvActiveCategories.size(); ++i)
    DisplayIV("Active categories of factor " + std::to_string(i), fvActiveCategories[i]);
  DisplayB("Has factors", fbHasFactors);
  DisplayI("Status", fStatus.GetErrorCode());
  DisplayText(1, "End display of QXLiteDesignMatrix");
}

}  // namespace QXMath_600
