#include "marginals/QXMultiCompare.h"

#include <algorithm>

namespace QXMath_600 {

namespace {

bool Contains(const std::vector<int>& list, int value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

bool QXMultiCompare::Set(const std::vector<int>& factors, const std::vector<int>& compare,
                         const std::vector<std::vector<int>>& observed) {
  *this = QXMultiCompare();
  for (std::size_t i = 0; i < compare.size(); ++i) {
    const int c = compare[i];
    if (!Contains(factors, c) || std::find(compare.begin(), compare.begin() + i, c) != compare.begin() + i ||
        c < 0 || c >= static_cast<int>(observed.size()))
      return false;
  }
  for (int f : factors)
    if (!Contains(compare, f)) fvOrder.push_back(f);
  fvOrder.insert(fvOrder.end(), compare.begin(), compare.end());
  fvCompare = compare;

  const int n = static_cast<int>(compare.size());
  fvPositions.resize(n);
  fvStrides.assign(n, 1);
  long long combinations = 1;
  for (int i = n - 1; i >= 0; --i) {
    const std::vector<int>& levels = observed[compare[i]];
    const int largest = levels.empty() ? -1 : *std::max_element(levels.begin(), levels.end());
    fvPositions[i].assign(largest + 1, -1);
    for (std::size_t pos = 0; pos < levels.size(); ++pos) fvPositions[i][levels[pos]] = static_cast<int>(pos);
    fvStrides[i] = static_cast<int>(combinations);
    combinations *= static_cast<long long>(levels.size());
    // The combinations are listed one by one; a product beyond what an index can count is no request.
    if (combinations > (1 << 24)) {
      *this = QXMultiCompare();
      return false;
    }
  }
  fvCombinations.assign(static_cast<std::size_t>(combinations), std::vector<int>(n));
  for (long long c = 0; c < combinations; ++c)
    for (int i = 0; i < n; ++i) {
      const std::vector<int>& levels = observed[compare[i]];
      fvCombinations[c][i] = levels[(c / fvStrides[i]) % static_cast<long long>(levels.size())];
    }
  return true;
}

int QXMultiCompare::CombinationIndex(const std::vector<int>& levels) const {
  int index = 0;
  for (std::size_t i = 0; i < fvCompare.size(); ++i) {
    const int level = levels[fvCompare[i]];
    if (level < 0 || level >= static_cast<int>(fvPositions[i].size()) || fvPositions[i][level] < 0) return -1;
    index += fvPositions[i][level] * fvStrides[i];
  }
  return index;
}

}  // namespace QXMath_600
