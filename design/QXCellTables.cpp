#include "design/QXCellTables.h"

#include <algorithm>
#include <climits>

#include "common/QXDisplay.h"

namespace QXMath_600 {

void QXCellTables::SetCellFactors(const std::vector<int>& factorIndices, const std::vector<int>& nCategories,
                                  int categoryBase) {
  fvCellFactorIndices = factorIndices;
  fvCellFactorSizes = nCategories;
  fvCellFactorSizes.resize(factorIndices.size(), 0);
  fNCellFactors = static_cast<int>(factorIndices.size());
  fCellCategoryBase = categoryBase;
  fvFactorValues.assign(factorIndices.size(), 0);
  SetModelEffectFactors({});
}

bool QXCellTables::SetModelEffectFactors(const std::vector<std::vector<int>>& effectFactors) {
  // The position of each factor variable among the factors; variables that are not factors keep 0,
  // so every listed variable is checked against the factor it maps to before anything changes.
  std::vector<int> localFactorIndex;
  for (int i = 0; i < fNCellFactors; ++i) {
    const int var = fvCellFactorIndices[i];
    if (var < 0) continue;
    if (static_cast<std::size_t>(var) >= localFactorIndex.size()) localFactorIndex.resize(var + 1, 0);
    localFactorIndex[var] = i;
  }
  for (const std::vector<int>& factors : effectFactors) {
    for (int var : factors) {
      if (var < 0 || static_cast<std::size_t>(var) >= localFactorIndex.size() ||
          fvCellFactorIndices[localFactorIndex[var]] != var)
        return false;
    }
  }

  fvModelEffectFactors = effectFactors;
  fNModelEffects = static_cast<int>(effectFactors.size());
  fNEffects = 0;
  fvEffectFactors.clear();
  fvNEffectFactors.clear();
  fvCumNFactors.assign(1, 0);
  fvKeys.clear();
  fvTables.clear();
  fvCells.clear();
  fvModelEffectIndices.clear();
  fvLocalFactorIndex = std::move(localFactorIndex);
  fvParameterIndices.assign(effectFactors.size(), 0);
  fvLocalEffectIndices.assign(effectFactors.size(), -1);

  for (int m = 0; m < fNModelEffects; ++m) {
    const std::vector<int>& factors = effectFactors[m];
    if (factors.empty()) continue;
    const int n = static_cast<int>(factors.size());
    fvNEffectFactors.push_back(n);
    fvCumNFactors.push_back(fvCumNFactors.back() + n);
    fvKeys.emplace_back(n);
    fvTables.push_back(std::make_unique<QXHashtable<int>>());
    fvCells.emplace_back();
    for (int var : factors) fvEffectFactors.push_back(fvLocalFactorIndex[var]);
    fvLocalEffectIndices[m] = fNEffects;
    fvModelEffectIndices.push_back(m);
    ++fNEffects;
  }
  fvLocalParamIndices.assign(static_cast<std::size_t>(fNEffects), 0);
  fvNEffectParameters.assign(static_cast<std::size_t>(fNEffects), 0);
  fvParameterOffsets.assign(effectFactors.size(), 0);
  SetUpSeenCells();
  return true;
}

void QXCellTables::SetUpSeenCells() {
  fvSeenStart.assign(static_cast<std::size_t>(fNEffects), -1);
  fvSeenStrides.assign(fvEffectFactors.size(), 0);
  long long used = 0;
  for (int e = 0; e < fNEffects; ++e) {
    long long combinations = 1;
    for (int j = fvCumNFactors[e]; j < fvCumNFactors[e + 1] && combinations <= kMaxSeenCells; ++j)
      combinations *= std::max(fvCellFactorSizes[fvEffectFactors[j]], 0);
    if (combinations == 0 || used + combinations > kMaxSeenCells) continue;
    // Mixed radix over the effect's factors, the last one varying fastest.
    long long stride = 1;
    for (int j = fvCumNFactors[e + 1] - 1; j >= fvCumNFactors[e]; --j) {
      fvSeenStrides[j] = stride;
      stride *= fvCellFactorSizes[fvEffectFactors[j]];
    }
    fvSeenStart[e] = used;
    used += combinations;
  }
  fvSeen.assign(static_cast<std::size_t>(used), 0);
}

unsigned char* QXCellTables::SeenCell(int e) const {
  long long at = fvSeenStart[e];
  if (at < 0) return nullptr;
  for (int j = fvCumNFactors[e]; j < fvCumNFactors[e + 1]; ++j) {
    const int factor = fvEffectFactors[j];
    const int level = fvFactorValues[factor];
    // Unsigned, so that a negative level fails the same test as one beyond the last category.
    if (static_cast<unsigned>(level) >= static_cast<unsigned>(fvCellFactorSizes[factor])) return nullptr;
    at += level * fvSeenStrides[j];
  }
  return &fvSeen[static_cast<std::size_t>(at)];
}

bool QXCellTables::RecordCells() {
  bool ok = true;
  for (int e = 0; e < fNEffects; ++e) {
    unsigned char* seen = SeenCell(e);
    if (seen != nullptr && *seen != 0) continue;
    QXHashtable<int>& table = *fvTables[e];
    QXHashKey& key = FillKey(e, fvFactorValues.data());
    key.UpdateHashCode();
    if (table.Find(key) == nullptr) {
      QXHashPair<int>* pair = table.Insert(key, 0);
      if (pair == nullptr) {
        ok = false;
        continue;
      }
      fvCells[e].push_back(pair);
    }
    if (seen != nullptr) *seen = 1;
  }
  return ok;
}

int QXCellTables::NumberCells(int first) {
  if (first < 0) return -1;
  long long total = first;
  for (int m = 0; m < fNModelEffects; ++m) {
    const int e = fvLocalEffectIndices[m];
    total += e < 0 ? 1 : static_cast<long long>(fvCells[e].size());
  }
  if (total > INT_MAX) return -1;

  std::fill(fvParameterIndices.begin(), fvParameterIndices.end(), 0);
  int next = first;
  int offset = 0;
  for (int m = 0; m < fNModelEffects; ++m) {
    fvParameterOffsets[m] = offset;
    const int e = fvLocalEffectIndices[m];
    if (e < 0) {
      fvParameterIndices[m] = next++;
      ++offset;
      continue;
    }
    SortCells(e);
    for (QXHashPair<int>* cell : fvCells[e]) cell->GetValue() = next++;
    fvNEffectParameters[e] = static_cast<int>(fvCells[e].size());
    offset += fvNEffectParameters[e];
  }
  return next;
}

void QXCellTables::SortCells(int e) {
  std::sort(fvCells[e].begin(), fvCells[e].end(),
            [](const QXHashPair<int>* a, const QXHashPair<int>* b) { return a->GetKey() < b->GetKey(); });
}

int QXCellTables::GetNEffectParameters(int modelEffect) const {
  if (modelEffect < 0 || modelEffect >= fNModelEffects) return 0;
  const int e = fvLocalEffectIndices[modelEffect];
  return e < 0 ? 1 : fvNEffectParameters[e];
}

bool QXCellTables::GetParameterFactorValues(std::vector<int>& values, int modelEffect, int k) const {
  if (modelEffect < 0 || modelEffect >= fNModelEffects) return false;
  const int e = fvLocalEffectIndices[modelEffect];
  if (e < 0) {
    values.clear();
    return true;
  }
  if (k < 0 || k >= fvNEffectParameters[e] || static_cast<std::size_t>(k) >= fvCells[e].size()) return false;
  const QXHashKey& key = fvCells[e][static_cast<std::size_t>(k)]->GetKey();
  values.resize(static_cast<std::size_t>(key.GetLength()));
  for (int j = 0; j < key.GetLength(); ++j) values[j] = key[j] + fCellCategoryBase;
  return true;
}

const std::vector<int>& QXCellTables::GetParameterIndices(const std::vector<int>& levels, bool& ok) const {
  if (levels.size() < fvFactorValues.size()) {
    for (int e = 0; e < fNEffects; ++e) fvParameterIndices[fvModelEffectIndices[e]] = -1;
    ok = fNEffects == 0;
    return fvParameterIndices;
  }
  std::copy_n(levels.begin(), fvFactorValues.size(), fvFactorValues.begin());
  ok = LookUpCells();
  return fvParameterIndices;
}

int QXCellTables::GetEffectParameterIndex(int modelEffect, const std::vector<int>& levels) const {
  if (modelEffect < 0 || modelEffect >= fNModelEffects) return -1;
  const int e = fvLocalEffectIndices[modelEffect];
  if (e < 0) return fvParameterIndices[modelEffect];
  if (levels.size() < static_cast<std::size_t>(fNCellFactors)) return -1;
  return GetParameterIndex(fvTables[e].get(), FillKey(e, levels.data()));
}

void QXCellTables::DisplayCells() const {
  using namespace QXDisplay_600;
  DisplayI("Total number of model effects", fNModelEffects);
  for (const std::vector<int>& factors : fvModelEffectFactors)
    DisplayIV("Factors of a model effect", factors);
  DisplayI("Number of model effects containing factors", fNEffects);
  DisplayIV("Concatenated list of factors for fNEffects effects", fvEffectFactors);
  DisplayIV("Number of factors in effects ( fNEffects )", fvNEffectFactors);
  DisplayIV("Cumulative number of factors up to effect ( fNEffects+1 )", fvCumNFactors);
  for (const std::unique_ptr<QXHashtable<int>>& table : fvTables) table->Display();
  DisplayIV("Vector of local factor indices ( max factor index + 1 )", fvLocalFactorIndex);
  DisplayIV("Factor values ( fNFactors )", fvFactorValues);
  DisplayIV("Vector of parameter indices ( fNModelEffects )", fvParameterIndices);
  DisplayIV("Vector of local parameter indices ( fNEffects )", fvLocalParamIndices);
  DisplayIV("Vector of local effect indices ( fNModelEffects )", fvLocalEffectIndices);
  DisplayIV("Vector of original model effect indices ( fNEffects )", fvModelEffectIndices);
  DisplayIV("Vector of number of parameters for each effect ( fNEffects )", fvNEffectParameters);
  DisplayIV("Vector of parameter offsets for each effect ( fNModelEffects )", fvParameterOffsets);
}

}  // namespace QXMath_600
