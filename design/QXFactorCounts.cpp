#include "design/QXFactorCounts.h"

#include <algorithm>

#include "common/QXDisplay.h"
#include "settings/QXDisplayC.h"

namespace QXMath_600 {

using QXCommon_600::Record;

QXFactorCounts::QXFactorCounts(const std::vector<int>& factorIndices, const std::vector<int>& nCategories,
                               int weightVar, int dependVar, int nDependCategories, int categoryBase,
                               int offsetVar, double offsetValue, QXConst::QXOffsetType offsetType)
    : fvFactorIndices(factorIndices),
      fvNCategories(nCategories),
      fNFactors(static_cast<int>(factorIndices.size())),
      fFreqWeightVar(weightVar),
      fDependVar(dependVar),
      fNDependCategories(nDependCategories),
      fCategoryBase(categoryBase),
      fOffsetVar(offsetVar),
      fOffsetValue(offsetValue),
      fOffsetType(offsetType) {
  fvNCategories.resize(fvFactorIndices.size(), 0);
  fvCounts.reserve(fvFactorIndices.size());
  for (int n : fvNCategories) fvCounts.emplace_back(static_cast<std::size_t>(std::max(n, 0)));
  if (fDependVar >= 0 && fNDependCategories >= 1) {
    fDependCounts.emplace(static_cast<std::size_t>(fNDependCategories));
    fOffsetCounts.emplace(static_cast<std::size_t>(fNDependCategories));
  }
  int largest = std::max(fFreqWeightVar, fDependCounts ? fDependVar : -1);
  if (fOffsetType == QXConst::QXOffsetVariable) largest = std::max(largest, fOffsetVar);
  for (int var : fvFactorIndices) largest = std::max(largest, var);
  fMinRecordSize = largest + 1;
}

bool QXFactorCounts::Update(const Record& r) {
  if (r.Size() < fMinRecordSize) return false;
  const double* values = r.GetAll();
  const double w = FreqWeight(values);
  double offset = 0.0;
  if (fOffsetType == QXConst::QXOffsetValue) offset = fOffsetValue;
  if (fOffsetType == QXConst::QXOffsetVariable && fOffsetVar >= 0) offset = values[fOffsetVar];
  if (!CountFactors(values, w, nullptr)) return false;
  if (!HasDependCounts()) return true;
  const int k = CountDependent(values, w);
  if (k == kNoLevel) return false;
  std::pair<double, double>& total = (*fOffsetCounts)[static_cast<std::size_t>(k)];
  total.first += offset * w;
  total.second += w;
  return true;
}

int QXFactorCounts::GetNCategories(int i) const { return i >= 0 && i < fNFactors ? fvNCategories[i] : -1; }

int QXFactorCounts::GetNActiveCategories(int i) const {
  if (i < 0 || i >= fNFactors) return -1;
  const Counts& counts = fvCounts[static_cast<std::size_t>(i)];
  return static_cast<int>(std::count_if(counts.begin(), counts.end(),
                                        [](const std::pair<double, double>& c) { return c.first > 0.0; }));
}

const QXFactorCounts::Counts* QXFactorCounts::GetCountsPtr(int i) const {
  return i >= 0 && i < fNFactors ? &fvCounts[static_cast<std::size_t>(i)] : nullptr;
}

namespace {

void DisplayPairs(const QXFactorCounts::Counts& counts, std::string_view firstLabel,
                  std::string_view secondLabel) {
  std::vector<double> first;
  std::vector<double> second;
  for (const std::pair<double, double>& c : counts) {
    first.push_back(c.first);
    second.push_back(c.second);
  }
  QXDisplay_600::DisplayDV(firstLabel, first);
  QXDisplay_600::DisplayDV(secondLabel, second);
}

}  // namespace

void QXFactorCounts::DisplayCounts(std::string_view weightLabel) const {
  using namespace QXDisplay_600;
  DisplayIV("Vector of factor indices", fvFactorIndices);
  DisplayIV("Vector of factor numbers of categories", fvNCategories);
  DisplayI("The number of factors", fNFactors);
  DisplayI(weightLabel, fFreqWeightVar);
  DisplayI("Index of the dependent categorical variable", fDependVar);
  DisplayI("Number of categories for dependent variable", fNDependCategories);
  DisplayI("Category base", fCategoryBase);
  for (const Counts& counts : fvCounts)
    DisplayPairs(counts, "Vector of weighted case counts for categories of this factor",
                 "Vector of unweighted case counts for categories of this factor");
  if (fDependCounts) {
    DisplayPairs(*fDependCounts, "Vector of weighted case counts for categories of the dependent variable",
                 "Vector of unweighted case counts for categories of the dependent variable");
    DisplayPairs(*fOffsetCounts, "Vector of weighted offset sums for categories of the dependent variable",
                 "Vector of weight sums for categories of the dependent variable");
  } else {
    DisplayText(1, "Vector of case counts for categories of the dependent variable undefined");
  }
  DisplayI("Index of the offset variable", fOffsetVar);
  DisplayD("Offset value", fOffsetValue);
  DisplayC("Offset type", fOffsetType);
}

void QXFactorCounts::Display() const {
  QXDisplay_600::DisplayText(1, " ");
  QXDisplay_600::DisplayText(1, "QXFactorCounts display start");
  DisplayCounts("Index of the weight variable");
  QXDisplay_600::DisplayText(1, "QXFactorCounts display end");
}

}  // namespace QXMath_600
