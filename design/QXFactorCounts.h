// How many cases of a data pass fall into each category of each factor and of a categorical
// dependent variable, weighted and unweighted, with the offset totals of each dependent category.
// The fitted models hand these counts out with their results, and the marginal means read them to
// learn which categories were observed.
//
// A category value is a double holding an integer code; its level index is trunc(value + 0.5) minus
// the category base (0 when the records hold zero-based codes, 1 when they are coded from 1). A level
// index is valid from 0 to the variable's number of categories - 1. With base 0, the code equal to
// the number of categories passes the record validator (which accepts codes 0 to m so that data
// coded from 0 and data coded from 1 both pass) but has no level here: Update returns false for it,
// and the model's data pass reports such a record as a categorical value out of range.
//
// The class is not polymorphic: the factor tables derive from it and are copied out as plain counts,
// but are never deleted through a QXFactorCounts pointer.
#pragma once

#include <climits>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "common/QXExport.h"
#include "common/Record.h"
#include "settings/QXConst.h"

namespace QXMath_600 {

class QXREGRES_API QXFactorCounts {
 public:
  using Counts = std::vector<std::pair<double, double>>;

  // The level index of a category value; kNoLevel when value + 0.5 is not a number or its truncation
  // minus the base lies outside the range of int, so that no value converts with undefined
  // behaviour and no such value can equal a valid level.
  static constexpr int kNoLevel = INT_MIN;
  static int LevelIndex(double value, int categoryBase) {
    const double shifted = value + 0.5;
    // Beyond 2^62 in magnitude no level fits in an int; within, the conversion truncates exactly as
    // std::trunc does, in one instruction instead of the long rounding sequence of the x86-64
    // baseline (this runs for every factor of every record of every pass). Written so that NaN,
    // which compares false with everything, fails the test as well.
    constexpr double kLimit = 4611686018427387904.0;
    if (!(shifted > -kLimit && shifted < kLimit)) return kNoLevel;
    const std::int64_t level = static_cast<std::int64_t>(shifted) - categoryBase;
    if (level <= INT_MIN || level > INT_MAX) return kNoLevel;
    return static_cast<int>(level);
  }

  // Arguments: factor record indices, their numbers of categories (parallel; missing entries count
  // as 0 categories), frequency weight record index (negative: every case weighs 1), dependent
  // record index (negative: no categorical dependent), number of dependent categories, category
  // base, offset record index, offset value, offset type. A factor with a negative record index has
  // no valid level. The dependent and offset counts exist when the dependent index is at least 0 and
  // it has at least one category.
  QXFactorCounts(const std::vector<int>& factorIndices, const std::vector<int>& nCategories, int weightVar,
                 int dependVar, int nDependCategories, int categoryBase, int offsetVar, double offsetValue,
                 QXConst::QXOffsetType offsetType);

  // Adds one case: every factor with a valid level is counted, then, when all were valid, the
  // dependent and its offset total. Returns false when some factor or the dependent has no valid
  // level, and, counting nothing, when the record is shorter than the variables read.
  bool Update(const QXCommon_600::Record& r);

  int GetNFactors() const { return fNFactors; }
  // -1 for an index outside 0..GetNFactors()-1.
  int GetNCategories(int i) const;
  // Categories of factor i with a weighted count above 0 (a category seen only with weight 0 is not
  // active); -1 for an index out of range.
  int GetNActiveCategories(int i) const;
  // (weighted, unweighted) count per category of factor i; null for an index out of range.
  const Counts* GetCountsPtr(int i) const;
  // (weighted, unweighted) count per dependent category; null without a categorical dependent.
  const Counts* GetDependCountsPtr() const { return fDependCounts ? &*fDependCounts : nullptr; }
  // (sum of offset x weight, sum of weights) per dependent category; null without a dependent.
  const Counts* GetOffsetCountsForDepCatPtr() const { return fOffsetCounts ? &*fOffsetCounts : nullptr; }

  void Display() const;

 protected:
  int GetCategoryBase() const { return fCategoryBase; }
  int GetFreqWeightVar() const { return fFreqWeightVar; }
  int GetDependVar() const { return fDependVar; }
  const std::vector<int>& GetFactorIndices() const { return fvFactorIndices; }
  // One more than the largest record index the counts read.
  int GetMinRecordSize() const { return fMinRecordSize; }

  double FreqWeight(const double* values) const { return fFreqWeightVar >= 0 ? values[fFreqWeightVar] : 1.0; }
  // Counts every factor with a valid level and, when `levels` is not null, writes each factor's level
  // to levels[i] (kNoLevel when invalid); true when all were valid. Defined here, like the other
  // per-record helpers, so that it inlines into the record loops.
  bool CountFactors(const double* values, double w, int* levels) {
    bool ok = true;
    for (int i = 0; i < fNFactors; ++i) {
      const int var = fvFactorIndices[i];
      const int k = var >= 0 ? LevelIndex(values[var], fCategoryBase) : kNoLevel;
      if (k >= 0 && k < fvNCategories[i]) {
        std::pair<double, double>& count = fvCounts[i][static_cast<std::size_t>(k)];
        count.first += w;
        count.second += 1.0;
        if (levels != nullptr) levels[i] = k;
      } else {
        if (levels != nullptr) levels[i] = kNoLevel;
        ok = false;
      }
    }
    return ok;
  }
  // The dependent's level, counted when valid; kNoLevel (nothing counted) when invalid. Call only
  // with dependent counts present.
  int CountDependent(const double* values, double w) {
    const int k = LevelIndex(values[fDependVar], fCategoryBase);
    if (k < 0 || k >= fNDependCategories) return kNoLevel;
    std::pair<double, double>& count = (*fDependCounts)[static_cast<std::size_t>(k)];
    count.first += w;
    count.second += 1.0;
    return k;
  }
  bool HasDependCounts() const { return fDependCounts.has_value(); }

  // The counts' fields under their labels, the frequency weight index under `weightLabel`.
  void DisplayCounts(std::string_view weightLabel) const;

 private:
  std::vector<int> fvFactorIndices;
  std::vector<int> fvNCategories;
  int fNFactors = 0;
  int fFreqWeightVar = -1;
  int fDependVar = -1;
  int fNDependCategories = 0;
  int fCategoryBase = 0;
  std::vector<Counts> fvCounts;
  std::optional<Counts> fDependCounts;
  std::optional<Counts> fOffsetCounts;
  int fOffsetVar = -1;
  double fOffsetValue = 0.0;
  QXConst::QXOffsetType fOffsetType = QXConst::QXOffsetNone;
  int fMinRecordSize = 0;
};

}  // namespace QXMath_600
