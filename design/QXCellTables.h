// The machinery shared by the factor tables and the effects tables: for every model effect that
// contains factors, a hash table of the combinations of factor levels (cells) seen in the data, the
// numbering of those cells as parameters, and the lookup of a row's cell in every effect.
//
// Numbering runs effect by effect in model order; inside an effect the cells are numbered in
// ascending lexicographic order of their level indices, the effect's first factor most significant,
// whatever order they were seen in. An effect without factors (the intercept, a covariate effect)
// has one fixed parameter. Every observed cell gets a parameter and an unobserved one none, so a
// lookup of an unobserved cell gives -1.
//
// Lookups write into working members (keys, factor values, index vectors) although they are const:
// they allocate nothing, one object serves one thread at a time, and a returned reference is valid
// until the next lookup.
#pragma once

#include <memory>
#include <vector>

#include "common/QXExport.h"
#include "common/QXHashKey.h"
#include "design/QXFactorCounts.h"
#include "design/QXHashtable.h"

namespace QXMath_600 {

class QXREGRES_API QXCellTables {
 public:
  QXCellTables(const QXCellTables&) = delete;
  QXCellTables& operator=(const QXCellTables&) = delete;

  // Replaces the model effects, one list of factor record indices per effect (an empty list is an
  // effect without factors), and rebuilds empty tables: every cell recorded before is dropped.
  // Refused (false, nothing changed) when a list names a variable that is not one of the factors.
  bool SetModelEffectFactors(const std::vector<std::vector<int>>& effectFactors);

  int GetNModelEffects() const { return fNModelEffects; }
  // The number of model effects that contain factors.
  int GetNEffects() const { return fNEffects; }
  const std::vector<std::vector<int>>& GetModelEffectFactors() const { return fvModelEffectFactors; }
  // Per effect with factors, its model effect.
  const std::vector<int>& GetModelEffectIndices() const { return fvModelEffectIndices; }
  // Per model effect, its number among the effects with factors, -1 for an effect without factors.
  const std::vector<int>& GetLocalEffectIndices() const { return fvLocalEffectIndices; }
  // Per model effect, the number of parameters of all earlier model effects.
  const std::vector<int>& GetParameterOffsets() const { return fvParameterOffsets; }

  // 0 for an index out of range, 1 for an effect without factors, else its number of numbered cells.
  int GetNEffectParameters(int modelEffect) const;
  // The category codes (level index + category base) of the k-th parameter of an effect, one per
  // factor in the effect's order. An effect without factors gives an empty `values`. False for an
  // effect or a k out of range.
  bool GetParameterFactorValues(std::vector<int>& values, int modelEffect, int k) const;

  // The parameter index of every model effect's cell for `levels` (one level index per factor, in
  // factor order); -1, with ok false, for an effect whose cell has no parameter, and for every effect
  // with factors when `levels` is shorter than the factors. Effects without factors give their fixed
  // index.
  const std::vector<int>& GetParameterIndices(const std::vector<int>& levels, bool& ok) const;
  // The parameter index of one effect's cell for `levels` (as above); -1 when the cell has none or
  // the arguments are out of range; the fixed index for an effect without factors.
  int GetEffectParameterIndex(int modelEffect, const std::vector<int>& levels) const;

 protected:
  QXCellTables() = default;
  ~QXCellTables() = default;

  // The factors' record indices, their numbers of categories and the category base; drops every
  // effect.
  void SetCellFactors(const std::vector<int>& factorIndices, const std::vector<int>& nCategories,
                      int categoryBase);

  // The per-record operations are defined in the class so that they inline into the row loops.

  // The level index of each factor read from row[positions[i]], without a range check.
  void ReadLevels(const double* row, const std::vector<int>& positions) const {
    for (int i = 0; i < fNCellFactors; ++i) {
      const int at = positions[i];
      fvFactorValues[i] =
          at >= 0 ? QXFactorCounts::LevelIndex(row[at], fCellCategoryBase) : QXFactorCounts::kNoLevel;
    }
  }
  // Files the cell of the current factor values in every effect's table, appending new cells to the
  // effect's cell list. False when a table is full.
  bool RecordCells();
  // Numbers the cells from `first` into the tables and the index vectors; returns `first` + the
  // number of parameters, or -1 (nothing changed) when `first` is negative or that would overflow.
  int NumberCells(int first);
  // Puts effect e's cell list in ascending key order.
  void SortCells(int e);
  // Looks up every effect's cell for the current factor values into fvParameterIndices; false when
  // some cell has no parameter.
  bool LookUpCells() const {
    bool ok = true;
    for (int e = 0; e < fNEffects; ++e) {
      const int index = GetParameterIndex(fvTables[e].get(), FillKey(e, fvFactorValues.data()));
      fvParameterIndices[fvModelEffectIndices[e]] = index;
      if (index < 0) ok = false;
    }
    return ok;
  }
  // Fills effect e's working key from `levels`, indexed by factor position.
  QXHashKey& FillKey(int e, const int* levels) const {
    QXHashKey& key = fvKeys[e];
    const int* factor = fvEffectFactors.data() + fvCumNFactors[e];
    const int n = fvNEffectFactors[e];
    for (int j = 0; j < n; ++j) key[j] = levels[factor[j]];
    return key;
  }
  // Computes and stores the key's hash code; returns the value stored for the key, -1 for a null
  // table, a negative code or an absent key.
  int GetParameterIndex(const QXHashtable<int>* table, QXHashKey& key) const {
    if (table == nullptr || key.UpdateHashCode() < 0) return -1;
    const int* value = table->Get(key);
    return value != nullptr ? *value : -1;
  }
  // Prints fields under their labels, the tables at level 2.
  void DisplayCells() const;

  // Marks which cells each effect has seen, over all combinations of its factors' levels, so that a
  // data pass finds a known cell by one array read instead of a hash probe: set up when all effects
  // together need at most kMaxSeenCells marks, else unused (every record then probes the tables).
  static constexpr long long kMaxSeenCells = 1LL << 20;
  void SetUpSeenCells();
  // The mark of effect e's cell for the current factor values, or null when the levels are outside
  // the factors' categories or the effect has no marks.
  unsigned char* SeenCell(int e) const;

  std::vector<int> fvCellFactorIndices;
  std::vector<int> fvCellFactorSizes;
  int fNCellFactors = 0;
  int fCellCategoryBase = 0;

  std::vector<std::vector<int>> fvModelEffectFactors;
  int fNModelEffects = 0;
  int fNEffects = 0;
  std::vector<int> fvEffectFactors;
  std::vector<int> fvNEffectFactors;
  std::vector<int> fvCumNFactors{0};
  mutable std::vector<QXHashKey> fvKeys;
  std::vector<std::unique_ptr<QXHashtable<int>>> fvTables;
  // The cells of each effect in the order first seen, sorted by key when numbered.
  std::vector<std::vector<QXHashPair<int>*>> fvCells;
  std::vector<int> fvLocalFactorIndex;
  mutable std::vector<int> fvFactorValues;
  mutable std::vector<int> fvParameterIndices;
  mutable std::vector<int> fvLocalParamIndices;
  std::vector<int> fvLocalEffectIndices;
  std::vector<int> fvModelEffectIndices;
  std::vector<int> fvNEffectParameters;
  std::vector<int> fvParameterOffsets;
  // Per effect with factors: where its marks start in fvSeen (-1 for none), and the stride of each of
  // its factors in fvSeenStrides (parallel to fvEffectFactors).
  std::vector<long long> fvSeenStart;
  std::vector<long long> fvSeenStrides;
  mutable std::vector<unsigned char> fvSeen;
};

}  // namespace QXMath_600
