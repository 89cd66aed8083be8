// Cross products summed apart and scattered into a larger matrix: the rows of a design whose columns
// share values (a pattern of cells) summed over a small matrix of their distinct values, then spread,
// must give what the rows added one by one give, low parts included.
#include <gtest/gtest.h>

#include <vector>

#include "common/QXSymMatrix.h"

namespace {

using QXMath_600::QXSymMatrix;

// Rows (w, v1, v2) whose products are not exact in double, so the low parts matter.
const std::vector<std::vector<double>> kRows{
    {1.0, 0.1, 1.0 / 3.0}, {2.5, -7.3, 1e-9}, {0.7, 1e8 + 0.1, 0.0}, {1.0, 3.0, -2.2}};

TEST(SymMatrixScatter, PatternSumsScatteredEqualTheRowsAddedOneByOne) {
  // Columns 4 and 0 hold 1 in every row, column 2 holds v1 and column 5 holds v2.
  QXSymMatrix expected(6);
  QXSymMatrix block(3);
  for (const std::vector<double>& r : kRows) {
    ASSERT_TRUE(expected.UpdateXXSparse({4, 0, 2, 5}, {1.0, 1.0, r[1], r[2]}, r[0]));
    ASSERT_TRUE(block.UpdateXX({1.0, r[1], r[2]}, r[0]));
  }
  QXSymMatrix scattered(6);
  ASSERT_TRUE(scattered.UpdateXXSparse({1, 3}, {0.5, 0.25}, 3.0));  // something there already
  ASSERT_TRUE(expected.UpdateXXSparse({1, 3}, {0.5, 0.25}, 3.0));
  const std::vector<int> indices{4, 0, 2, 5}, sources{0, 0, 1, 2};
  ASSERT_TRUE(scattered.AddScattered(block, indices.data(), sources.data(), 4));
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j <= i; ++j) EXPECT_EQ(scattered.GetElem(i, j), expected.GetElem(i, j)) << i << " " << j;
}

TEST(SymMatrixScatter, ARepeatedIndexAddsAsARepeatedIndexOfARow) {
  QXSymMatrix expected(2), block(2);
  for (const std::vector<double>& r : kRows) {
    ASSERT_TRUE(expected.UpdateXXSparse({1, 1, 0}, {r[1], r[2], 1.0}, r[0]));
    ASSERT_TRUE(block.UpdateXX({r[1], r[2]}, r[0]));
  }
  QXSymMatrix scattered(2);
  const std::vector<int> indices{1, 1}, sources{0, 1};
  ASSERT_TRUE(scattered.AddScattered(block, indices.data(), sources.data(), 2));
  EXPECT_DOUBLE_EQ(scattered.GetElem(1, 1), expected.GetElem(1, 1));
  EXPECT_EQ(scattered.GetElem(0, 0), 0.0);  // column 0 was not named
}

TEST(SymMatrixScatter, IndicesOrSourcesOutsideTheirMatrixChangeNothing) {
  QXSymMatrix block(2), target(3);
  ASSERT_TRUE(block.UpdateXX({1.0, 2.0}, 1.0));
  ASSERT_TRUE(target.SetElem(2, 2, 5.0));
  const std::vector<int> good{0, 2}, outside{0, 3}, negative{-1, 0}, sources{0, 1}, badSources{0, 2};
  EXPECT_FALSE(target.AddScattered(block, outside.data(), sources.data(), 2));
  EXPECT_FALSE(target.AddScattered(block, negative.data(), sources.data(), 2));
  EXPECT_FALSE(target.AddScattered(block, good.data(), badSources.data(), 2));
  EXPECT_FALSE(target.AddScattered(block, good.data(), sources.data(), -1));
  EXPECT_FALSE(target.AddScattered(block, nullptr, sources.data(), 2));
  EXPECT_FALSE(target.AddScattered(target, good.data(), sources.data(), 2));
  EXPECT_EQ(target.GetElem(2, 2), 5.0);
  EXPECT_EQ(target.GetElem(0, 0), 0.0);
  EXPECT_TRUE(target.AddScattered(block, good.data(), sources.data(), 0));
  ASSERT_TRUE(target.AddScattered(block, good.data(), sources.data(), 2));
  EXPECT_EQ(target.GetElem(2, 0), 2.0);
  EXPECT_EQ(target.GetElem(2, 2), 9.0);
}

}  // namespace
