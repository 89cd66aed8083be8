// The bookkeeping of a request that compares the cells of two or more factors at once (for example
// all cells of A x B within each level of C): the order in which the request's factors are
// enumerated, and the combinations of the compare factors' observed levels that play the part of a
// single compare factor's levels. Combination c is numbered with the last compare factor varying
// fastest; the test groups, contrasts and pairs of the marginal means run over these numbers.
#pragma once

#include <vector>

namespace QXMath_600 {

class QXMultiCompare {
 public:
  // factors: the request's factors as local factor indices, in their listed order; compare: the
  // compare factors, in their listed order; observed: each local factor's observed levels. False
  // (and an empty object) when a compare factor is not among the factors or is listed twice.
  bool Set(const std::vector<int>& factors, const std::vector<int>& compare,
           const std::vector<std::vector<int>>& observed);

  // The factors not compared, in their listed order, then the compare factors in compare order.
  const std::vector<int>& GetFactorOrder() const { return fvOrder; }
  int GetNCompare() const { return static_cast<int>(fvCompare.size()); }
  // K, the product of the compare factors' numbers of observed levels.
  int GetNCombinations() const { return static_cast<int>(fvCombinations.size()); }
  // Each combination's levels, one per compare factor in compare order.
  const std::vector<std::vector<int>>& GetCombinations() const { return fvCombinations; }
  // The number of the combination of the compare factors' levels in `levels` (one level per local
  // factor); -1 when a level is not observed.
  int CombinationIndex(const std::vector<int>& levels) const;

 private:
  std::vector<int> fvOrder;
  std::vector<int> fvCompare;
  // Per compare factor, the position of each level among its observed levels (-1 when not observed).
  std::vector<std::vector<int>> fvPositions;
  std::vector<int> fvStrides;
  std::vector<std::vector<int>> fvCombinations;
};

}  // namespace QXMath_600
