#include "inference/QXCombinations.h"

#include <algorithm>
#include <cstddef>

#include "common/QXDisplay.h"

namespace QXMath_600 {

bool QXCombinations::Set(const std::vector<std::vector<int>>* categoryLists,
                         const std::vector<int>& freeVars) {
  return Set(categoryLists, freeVars, {});
}

bool QXCombinations::Set(const std::vector<std::vector<int>>* categoryLists, const std::vector<int>& freeVars,
                         const std::vector<int>& fixedVars) {
  fpCategoryLists = categoryLists;
  fvNVarCats.clear();
  fvFreeVars.clear();
  fvCurrCat.clear();
  fNFreeVars = 0;
  fbReset = true;
  if (!categoryLists) return false;
  const int nLists = static_cast<int>(categoryLists->size());
  for (int v : freeVars)
    if (v < 0 || v >= nLists) {
      // Without this the first Next would report the empty walk as one combination.
      fpCategoryLists = nullptr;
      return false;
    }
  for (const auto& list : *categoryLists) fvNVarCats.push_back(static_cast<int>(list.size()));
  for (int v : freeVars)
    if (std::find(fixedVars.begin(), fixedVars.end(), v) == fixedVars.end()) fvFreeVars.push_back(v);
  fNFreeVars = static_cast<int>(fvFreeVars.size());
  fvCurrCat.assign(fNFreeVars, 0);
  return true;
}

bool QXCombinations::WriteCategory(int freeIndex, std::vector<int>& combination) const {
  const int v = fvFreeVars[freeIndex];
  if (static_cast<std::size_t>(v) >= fpCategoryLists->size()) return false;
  const std::vector<int>& list = (*fpCategoryLists)[v];
  const int position = fvCurrCat[freeIndex];
  if (static_cast<std::size_t>(position) >= list.size()) return false;
  combination[v] = list[position];
  return true;
}

bool QXCombinations::Next(std::vector<int>& combination) {
  if (!fpCategoryLists) return false;
  bool ok = true;
  // A free variable without a place in the caller's vector is skipped, but the walk reports it.
  const auto write = [&](int f) {
    if (static_cast<std::size_t>(fvFreeVars[f]) >= combination.size()) {
      ok = false;
      return;
    }
    if (!WriteCategory(f, combination)) ok = false;
  };
  if (fbReset) {
    std::fill(fvCurrCat.begin(), fvCurrCat.end(), 0);
    for (int f = 0; f < fNFreeVars; ++f) write(f);
    fbReset = false;
    return ok;
  }
  int advance = fNFreeVars - 1;
  while (advance >= 0 && fvCurrCat[advance] >= fvNVarCats[fvFreeVars[advance]] - 1) --advance;
  if (advance < 0) return false;
  ++fvCurrCat[advance];
  for (int f = advance + 1; f < fNFreeVars; ++f) fvCurrCat[f] = 0;
  for (int f = advance; f < fNFreeVars; ++f) write(f);
  return ok;
}

double QXCombinations::GetNCombinations() const {
  double n = 1.0;
  for (int v : fvFreeVars) n *= fvNVarCats[v];
  return n;
}

void QXCombinations::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXCombinations display start");
  DisplayIV("fvNVarCats", fvNVarCats);
  DisplayIV("fvFreeVars", fvFreeVars);
  DisplayI("fNFreeVars", fNFreeVars);
  DisplayIV("fvCurrCat", fvCurrCat);
  DisplayB("fbReset", fbReset);
  DisplayText(1, "QXCombinations display end");
}

}  // namespace QXMath_600
