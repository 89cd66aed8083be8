// The streamed pass of a logistic fit must not allocate per record: this test binary counts every
// operator new while a second pass adds its rows, summed per cell and row by row.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "logistic_test_support.h"
#include "tests/common/counting_allocator.h"

namespace {

using qx_test_alloc::AllocationCounter;
using QXMath_600::QXAccumStatsLogistic;

struct Row {
  std::vector<int> indices;
  std::vector<double> values;
  int category = 0;
  double weight = 1.0;
};

constexpr int kParameters = 8;
constexpr int kCategories = 3;

// An intercept (0), a factor of 4 levels (1..4), a covariate (5), its product with level 1 (6) and its
// square (7); every fifth row weighted.
std::vector<Row> MakeRows(int n) {
  std::vector<Row> rows;
  for (int r = 0; r < n; ++r) {
    const int a = r % 4;
    const double x = 0.01 * ((r * 37) % 101) - 0.5;
    Row row;
    row.indices = {0, 1 + a, 5};
    row.values = {1.0, 1.0, x};
    if (a == 0) {
      row.indices.push_back(6);
      row.values.push_back(x);
    }
    row.indices.push_back(7);
    row.values.push_back(x * x);
    row.category = (r * 7) % kCategories;
    row.weight = r % 5 == 0 ? 2.5 : 1.0;
    rows.push_back(row);
  }
  return rows;
}

// The allocations of one pass over the first `count` rows, after a pass over all of them has set up
// the cells (a pass may set up a new cell once; a known cell must cost nothing).
long CountSecondPass(const std::vector<Row>& rows, std::size_t count, bool byCell) {
  const std::vector<double> beta((kCategories - 1) * kParameters, 0.1);
  QXMath_600::QXLogRegSettings settings;
  QXAccumStatsLogistic accumulator(settings, kParameters, kCategories, beta);
  if (!byCell) accumulator.SetCellLimits(0, 0);
  accumulator.Reset(QXConst::QXHessianFisher, true);
  for (const Row& row : rows)
    accumulator.UpdateForRow(row.indices, row.values, row.category, row.weight, false);
  accumulator.GetScores();
  AllocationCounter counter;
  accumulator.Reset(QXConst::QXHessianFisher, true);
  for (std::size_t r = 0; r < count; ++r) {
    const Row& row = rows[r];
    EXPECT_EQ(accumulator.UpdateForRow(row.indices, row.values, row.category, row.weight, false), 0);
  }
  return counter.Count();
}

TEST(LogisticPassAllocation, RowsOfKnownCellsAndRowsOneByOneAllocateNothing) {
  const std::vector<Row> rows = MakeRows(3000);
  {
    AllocationCounter live;  // the replacement counts in this binary
    std::vector<Row> copy(rows.begin(), rows.begin() + 2);
    ASSERT_GT(live.Count(), 0);
  }
  for (bool byCell : {true, false}) {
    const long few = CountSecondPass(rows, 150, byCell);
    const long many = CountSecondPass(rows, rows.size(), byCell);
    EXPECT_EQ(many, few) << byCell;
    EXPECT_EQ(many, 0) << byCell;
  }
}

// Rows of cells the caller names go in calls of a data handler's chunk (the first two columns fixed,
// the others varying); once the cells exist and a pass has sized the chunk, a pass allocates nothing.
long CountSecondPassOfCellRows(const std::vector<Row>& rows, std::size_t count) {
  const std::vector<double> beta((kCategories - 1) * kParameters, 0.1);
  QXMath_600::QXLogRegSettings settings;
  QXAccumStatsLogistic accumulator(settings, kParameters, kCategories, beta);
  std::vector<int> cells, categories;
  std::vector<double> weights, varying;
  constexpr std::size_t kStride = 3;
  std::vector<int> cellOfLevel(4, -1);
  for (const Row& row : rows) {
    int& cell = cellOfLevel[static_cast<std::size_t>(row.indices[1] - 1)];
    if (cell < 0) cell = accumulator.AddCell(row.indices, 2);
    cells.push_back(cell);
    categories.push_back(row.category);
    weights.push_back(row.weight);
    for (std::size_t j = 0; j < kStride; ++j)
      varying.push_back(2 + j < row.values.size() ? row.values[2 + j] : 0.0);
  }
  const auto pass = [&](std::size_t n) {
    accumulator.Reset(QXConst::QXHessianFisher, true);
    for (std::size_t first = 0; first < n; first += 256)
      EXPECT_EQ(accumulator.UpdateForCellRows(cells.data() + first, categories.data() + first,
                                              weights.data() + first, varying.data() + first * kStride,
                                              kStride, std::min<std::size_t>(256, n - first), false),
                0);
    accumulator.GetScores();
  };
  pass(rows.size());
  AllocationCounter counter;
  pass(count);
  return counter.Count();
}

TEST(LogisticPassAllocation, ChunksOfNamedCellsAllocateNothing) {
  const std::vector<Row> rows = MakeRows(3000);
  EXPECT_EQ(CountSecondPassOfCellRows(rows, 150), 0);
  EXPECT_EQ(CountSecondPassOfCellRows(rows, rows.size()), 0);
}

}  // namespace
