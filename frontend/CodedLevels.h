// Where a source codes a column itself (a categorical column in memory), the model's level of each of
// its categories, found once, so that encoding a row indexes a table instead of looking up a text in
// every pass over the data.
#pragma once

#include <cstddef>
#include <vector>

#include "frontend/ModelBuilder.h"
#include "frontend/RowSource.h"

namespace QXFit {

class CodedLevels {
 public:
  CodedLevels() = default;
  // For the model's `variables` read from `source`.
  CodedLevels(const RowSource& source, const std::vector<ModelVariable>& variables);

  // The level codes of variable i by the source's codes (-1 for a category that is no level), or
  // null when its values are read by their texts or numbers.
  const std::vector<int>* Get(std::size_t variable) const {
    return variable < fTables.size() && !fTables[variable].empty() ? &fTables[variable] : nullptr;
  }

 private:
  std::vector<std::vector<int>> fTables;
};

}  // namespace QXFit
