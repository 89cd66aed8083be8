// Walks through every combination of categories of the free variables, like an odometer whose last
// wheel turns fastest: the cells of a table of marginal means. The category lists belong to the
// caller (one list of category values per variable); each combination is written into the caller's
// vector indexed by variable, leaving the entries of other variables to the caller.
#pragma once

#include <vector>

#include "common/QXExport.h"

namespace QXMath_600 {

class QXREGRES_API QXCombinations {
 public:
  QXCombinations() = default;

  // Walks over the free variables, none held fixed.
  bool Set(const std::vector<std::vector<int>>* categoryLists, const std::vector<int>& freeVars);
  // Stores the lists (not owned; they must outlive the walk) and takes as free every listed free
  // variable that is not among the fixed ones, in the given order. False, with no free variables and
  // no lists, when the pointer is null or a free variable is negative or has no list.
  bool Set(const std::vector<std::vector<int>>* categoryLists, const std::vector<int>& freeVars,
           const std::vector<int>& fixedVars);

  // Writes the next combination into `combination` (indexed by variable). The first call after Set
  // or Reset gives every free variable its first category; later calls advance the last free
  // variable that can still advance and send those after it back to their first category. False when
  // the walk is over, and also when a free variable has no place in `combination` or no category.
  bool Next(std::vector<int>& combination);

  // The number of combinations: the product of the free variables' numbers of categories, 1 when
  // no variable is free.
  double GetNCombinations() const;
  // The next call of Next starts again from the first combination.
  void Reset() { fbReset = true; }

  void Display() const;

 private:
  // The category value at a position of a free variable's list, or false when the caller's lists
  // have changed under the walk and the position no longer exists.
  bool WriteCategory(int freeIndex, std::vector<int>& combination) const;

  const std::vector<std::vector<int>>* fpCategoryLists = nullptr;
  std::vector<int> fvNVarCats;
  std::vector<int> fvFreeVars;
  int fNFreeVars = 0;
  std::vector<int> fvCurrCat;
  bool fbReset = true;
};

}  // namespace QXMath_600
