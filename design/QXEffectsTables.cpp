#include "design/QXEffectsTables.h"

#include <algorithm>
#include <climits>

#include "common/QXDisplay.h"
#include "design/QXFactorCounts.h"

namespace QXMath_600 {

using QXCommon_600::Record;

QXEffectsTables::QXEffectsTables(const std::vector<int>& factorIndices, const std::vector<int>& nCategories,
                                 int categoryBase) {
  SetInfo(factorIndices, nCategories, categoryBase);
}

bool QXEffectsTables::SetInfo(const std::vector<int>& factorIndices, const std::vector<int>& nCategories,
                              int categoryBase) {
  if (fNCellFactors > 0 || fNModelEffects > 0) return false;
  SetCellFactors(factorIndices, nCategories, categoryBase);
  fvNCategories = nCategories;
  fvNCategories.resize(factorIndices.size(), 0);
  int largest = -1;
  for (int var : factorIndices) largest = std::max(largest, var);
  fRecordSizeNeeded = largest + 1;
  return true;
}

bool QXEffectsTables::SetModelEffectFactors(const std::vector<std::vector<int>>& effectFactors) {
  if (!QXCellTables::SetModelEffectFactors(effectFactors)) return false;
  fvLocalParamIndices.assign(static_cast<std::size_t>(fNModelEffects), 0);
  return true;
}

bool QXEffectsTables::UpdateAll(const Record& r) {
  if (r.Size() < fRecordSizeNeeded) return false;
  ReadLevels(r.GetAll(), fvCellFactorIndices);
  for (int level : fvFactorValues)
    if (level == QXFactorCounts::kNoLevel) return false;
  return RecordCells();
}

int QXEffectsTables::CreateParameterIndices() {
  const int n = NumberCells(0);
  for (int m = 0; m < fNModelEffects; ++m)
    if (fvLocalEffectIndices[m] < 0) fvLocalParamIndices[m] = 0;
  return n;
}

const std::vector<int>& QXEffectsTables::GetRowEffectParamIndices(const double* row, bool& ok) const {
  ok = row != nullptr || fNEffects == 0;
  if (row != nullptr) {
    ReadLevels(row, fvCellFactorIndices);
    ok = LookUpCells();
  }
  for (int e = 0; e < fNEffects; ++e) {
    const int m = fvModelEffectIndices[e];
    const int index = row != nullptr ? fvParameterIndices[m] : -1;
    fvLocalParamIndices[m] = index >= 0 ? index - fvParameterOffsets[m] : -1;
  }
  return fvLocalParamIndices;
}

QXHashKey* QXEffectsTables::EffectKey(int modelEffect, const std::vector<int>& values) const {
  if (modelEffect < 0 || modelEffect >= fNModelEffects) return nullptr;
  const int e = fvLocalEffectIndices[modelEffect];
  if (e < 0 || values.size() < static_cast<std::size_t>(fvNEffectFactors[e])) return nullptr;
  QXHashKey& key = fvKeys[e];
  key.SetValues(values.data(), key.GetLength());
  key.UpdateHashCode();
  return &key;
}

int QXEffectsTables::GetEffectLocalParameterIndex(int modelEffect, const std::vector<int>& values) const {
  if (modelEffect >= 0 && modelEffect < fNModelEffects && fvLocalEffectIndices[modelEffect] < 0) return 0;
  QXHashKey* key = EffectKey(modelEffect, values);
  if (key == nullptr) return -1;
  const int index = GetParameterIndex(fvTables[fvLocalEffectIndices[modelEffect]].get(), *key);
  return index >= 0 ? index - fvParameterOffsets[modelEffect] : -1;
}

const QXHashPair<int>* QXEffectsTables::GetEffectHashPairPtr(int modelEffect,
                                                             const std::vector<int>& values) const {
  const QXHashKey* key = EffectKey(modelEffect, values);
  return key != nullptr ? fvTables[fvLocalEffectIndices[modelEffect]]->Find(*key) : nullptr;
}

namespace {

bool SameLeadingLevels(const QXHashKey& a, const QXHashKey& b, int k) {
  for (int j = 0; j < k; ++j)
    if (a[j] != b[j]) return false;
  return true;
}

}  // namespace

int QXEffectsTables::CreateParamIndicesSS(const std::vector<int>& prefix, std::vector<int>& nParams) {
  const int k = static_cast<int>(std::min<std::size_t>(prefix.size(), INT_MAX));
  nParams.assign(static_cast<std::size_t>(fNModelEffects), 1);
  long long result = 0;
  for (int m = 0; m < fNModelEffects; ++m) {
    fvParameterOffsets[m] = 0;
    const int e = fvLocalEffectIndices[m];
    if (e < 0) {
      fvParameterIndices[m] = 0;
      fvLocalParamIndices[m] = 0;
      ++result;
      continue;
    }
    std::vector<QXHashPair<int>*>& cells = fvCells[e];
    const int n = fvNEffectFactors[e];
    if (n == k) {
      for (QXHashPair<int>* cell : cells) cell->GetValue() = 0;
      fvNEffectParameters[e] = 1;
      result += static_cast<long long>(cells.size());
      continue;
    }
    SortCells(e);
    // An effect with fewer factors than the prefix compares all its levels.
    const int leading = std::min(n, k);
    const QXHashPair<int>* groupFirst = nullptr;
    int value = 0;
    int largest = 0;
    for (QXHashPair<int>* cell : cells) {
      const bool sameGroup =
          groupFirst != nullptr && SameLeadingLevels(cell->GetKey(), groupFirst->GetKey(), leading);
      if (!sameGroup) groupFirst = cell;
      value = sameGroup ? value + 1 : 0;
      cell->GetValue() = value;
      largest = std::max(largest, value + 1);
    }
    fvNEffectParameters[e] = largest;
    nParams[m] = largest;
  }
  return static_cast<int>(std::min<long long>(result, INT_MAX));
}

void QXEffectsTables::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXEffectsTables display start");
  DisplayIV("Vector of factor indices", fvCellFactorIndices);
  DisplayIV("Vector of factor numbers of categories", fvNCategories);
  DisplayI("The number of factors", fNCellFactors);
  DisplayI("Category base", fCellCategoryBase);
  DisplayCells();
  DisplayText(1, "QXEffectsTables display end");
}

}  // namespace QXMath_600
