// Rows whose cell the caller names (AddCell, UpdateForCellRows) go through the accumulator in chunks:
// predictors, one call for a chunk's exponentials, then each row into its cell's sums. Whatever the
// chunks' ends, every sum must equal the row-by-row update of the same rows, and a refused row must end
// the call with the rows before it kept.
#include <gtest/gtest.h>

#include <cstddef>
#include <limits>
#include <map>
#include <vector>

#include "accumulator_sums.h"
#include "logistic_test_support.h"
#include "nested_design_rows.h"

namespace {

using QXMath_600::QXAccumStatsLogistic;
using Sums = qx_logistic_test::AccumulatorSums;

using qx_logistic_test::CellRow;
constexpr int kParameters = qx_logistic_test::kNestedParameters;
constexpr int kCategories = qx_logistic_test::kNestedCategories;

std::vector<CellRow> MakeRows(int n, unsigned seed) { return qx_logistic_test::MakeNestedRows(n, seed); }

std::vector<double> MakeBeta(unsigned seed) {
  return qx_logistic_test::RandomParameters((kCategories - 1) * kParameters, seed);
}

Sums RowByRow(const std::vector<double>& beta, const std::vector<CellRow>& rows, bool logLikelihoodOnly) {
  QXMath_600::QXLogRegSettings settings;
  QXAccumStatsLogistic accumulator(settings, kParameters, kCategories, beta);
  accumulator.SetCellLimits(0, 0);
  accumulator.Reset(QXConst::QXHessianFisher, true);
  for (const CellRow& row : rows) {
    const qx_logistic_test::SparseRow sparse = qx_logistic_test::AsSparseRow(row);
    EXPECT_EQ(accumulator.UpdateForRow(sparse.indices, sparse.values, sparse.category, sparse.weight,
                                       logLikelihoodOnly),
              0);
  }
  return qx_logistic_test::ReadSums(accumulator);
}

// The rows as a data handler hands them over: cells named on first sight, calls of `sizes` rows
// (the last size repeated), each row's varying values at a stride of 4.
class CellRowFeeder {
 public:
  explicit CellRowFeeder(QXAccumStatsLogistic& accumulator) : fAccumulator(accumulator) {}

  int Pass(const std::vector<CellRow>& rows, const std::vector<std::size_t>& sizes, bool logLikelihoodOnly) {
    fAccumulator.Reset(QXConst::QXHessianFisher, true);
    std::size_t next = 0;
    for (std::size_t call = 0; next < rows.size(); ++call) {
      const std::size_t n = std::min(sizes[std::min(call, sizes.size() - 1)], rows.size() - next);
      std::vector<int> cells, categories;
      std::vector<double> weights, varying(n * kStride, 0.0);
      for (std::size_t i = 0; i < n; ++i) {
        const CellRow& row = rows[next + i];
        cells.push_back(CellOf(row));
        categories.push_back(row.category);
        weights.push_back(row.weight);
        std::copy(row.varying.begin(), row.varying.end(),
                  varying.begin() + static_cast<std::ptrdiff_t>(i * kStride));
      }
      const int result = fAccumulator.UpdateForCellRows(cells.data(), categories.data(), weights.data(),
                                                        varying.data(), kStride, n, logLikelihoodOnly);
      if (result != 0) return result;
      next += n;
    }
    return 0;
  }
  int CellOf(const CellRow& row) {
    const auto found = fCells.find(row.key);
    if (found != fCells.end()) return found->second;
    std::vector<int> columns = row.fixed;
    columns.insert(columns.end(), row.varyingColumns.begin(), row.varyingColumns.end());
    return fCells[row.key] = fAccumulator.AddCell(columns, static_cast<int>(row.fixed.size()));
  }
  static constexpr std::size_t kStride = 4;

 private:
  QXAccumStatsLogistic& fAccumulator;
  std::map<int, int> fCells;
};

void ExpectSameSums(const Sums& a, const Sums& b) {
  // The chunk's log-likelihood defers the logs of rows of weight 1 into products, so it differs from
  // the row-by-row sum by rounding: 1e-13 relative.
  qx_logistic_test::ExpectSameSums(a, b, 1e-13, a.weight * 4.0);
}

TEST(CellRows, ChunksOfNamedCellsGiveTheSumsOfRowsOneByOne) {
  const std::vector<double> beta = MakeBeta(5);
  const std::vector<CellRow> rows = MakeRows(3000, 9);
  for (bool logLikelihoodOnly : {false, true}) {
    const Sums expected = RowByRow(beta, rows, logLikelihoodOnly);
    // Calls of one row, of a chunk's size and either side of it, and of many chunks.
    for (const std::vector<std::size_t>& sizes :
         std::vector<std::vector<std::size_t>>{{1}, {255, 256, 257}, {1000}, {3000}}) {
      QXMath_600::QXLogRegSettings settings;
      QXAccumStatsLogistic accumulator(settings, kParameters, kCategories, beta);
      CellRowFeeder feeder(accumulator);
      ASSERT_EQ(feeder.Pass(rows, sizes, logLikelihoodOnly), 0);
      EXPECT_EQ(accumulator.GetNCells(), 8u);
      if (logLikelihoodOnly) {
        EXPECT_PRED3(qx_linear_test::Near, qx_logistic_test::ReadSums(accumulator).ll, expected.ll, 1e-13);
        continue;
      }
      ExpectSameSums(qx_logistic_test::ReadSums(accumulator), expected);
      // A second pass at other parameters starts the cells afresh.
      std::vector<double> other = MakeBeta(6);
      QXAccumStatsLogistic second(settings, kParameters, kCategories, other);
      CellRowFeeder secondFeeder(second);
      ASSERT_EQ(secondFeeder.Pass(rows, sizes, false), 0);
      other = beta;  // the same object, now holding the first parameters
      ASSERT_EQ(secondFeeder.Pass(rows, sizes, false), 0);
      ExpectSameSums(qx_logistic_test::ReadSums(second), expected);
    }
  }
}

TEST(CellRows, AnUnusablePredictorMakesTheLikelihoodMissingAndLeavesTheRowOut) {
  std::vector<double> beta = MakeBeta(7);
  beta[9] = std::numeric_limits<double>::max();  // block 0's covariate: x = 2 overflows
  std::vector<CellRow> rows = MakeRows(600, 3);
  rows[300].varying[0] = 2.0;
  const Sums expected = RowByRow(beta, rows, false);
  ASSERT_EQ(expected.ll, QXMV::gMissingValue);
  QXMath_600::QXLogRegSettings settings;
  QXAccumStatsLogistic accumulator(settings, kParameters, kCategories, beta);
  CellRowFeeder feeder(accumulator);
  ASSERT_EQ(feeder.Pass(rows, {256}, false), 0);
  const Sums sums = qx_logistic_test::ReadSums(accumulator);
  EXPECT_EQ(sums.invalid, expected.invalid);
  EXPECT_GT(sums.invalid, 0);
  ExpectSameSums(sums, expected);
}

TEST(CellRows, ARefusedRowEndsTheCallAndTheRowsBeforeItStay) {
  const std::vector<double> beta = MakeBeta(5);
  const std::vector<CellRow> rows = MakeRows(400, 9);
  const std::vector<CellRow> before(rows.begin(), rows.begin() + 300);
  const Sums expected = RowByRow(beta, before, false);
  QXMath_600::QXLogRegSettings settings;
  QXAccumStatsLogistic accumulator(settings, kParameters, kCategories, beta);
  CellRowFeeder feeder(accumulator);
  ASSERT_EQ(feeder.Pass(rows, {400}, false), 0);  // names every cell
  std::vector<int> cells, categories;
  std::vector<double> weights, varying(rows.size() * CellRowFeeder::kStride, 0.0);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    cells.push_back(feeder.CellOf(rows[i]));
    categories.push_back(rows[i].category);
    weights.push_back(rows[i].weight);
    std::copy(rows[i].varying.begin(), rows[i].varying.end(),
              varying.begin() + static_cast<std::ptrdiff_t>(i * CellRowFeeder::kStride));
  }
  const auto run = [&](auto spoil, std::size_t stride = CellRowFeeder::kStride) {
    std::vector<int> c = cells, y = categories;
    std::vector<double> w = weights;
    spoil(c, y, w);
    accumulator.Reset(QXConst::QXHessianFisher, true);
    EXPECT_EQ(
        accumulator.UpdateForCellRows(c.data(), y.data(), w.data(), varying.data(), stride, c.size(), false),
        -1);
    if (stride == CellRowFeeder::kStride) ExpectSameSums(qx_logistic_test::ReadSums(accumulator), expected);
  };
  run([](auto& c, auto&, auto&) { c[300] = 8; });  // no such cell
  run([](auto& c, auto&, auto&) { c[300] = -1; });
  run([](auto&, auto& y, auto&) { y[300] = kCategories; });
  run([](auto&, auto& y, auto&) { y[300] = -1; });
  run([](auto&, auto&, auto& w) { w[300] = 0.0; });
  run([](auto&, auto&, auto& w) { w[300] = std::numeric_limits<double>::quiet_NaN(); });
  run([](auto&, auto&, auto&) {}, 2);  // a cell has three varying columns
  EXPECT_EQ(accumulator.UpdateForCellRows(nullptr, nullptr, nullptr, nullptr, 0, 1, false), -1);
  EXPECT_EQ(accumulator.UpdateForCellRows(nullptr, nullptr, nullptr, nullptr, 0, 0, false), 0);
}

TEST(CellRows, CellsThatCannotBeKeptAreRefusedAndNewLimitsForgetTheNumbers) {
  const std::vector<double> beta = MakeBeta(5);
  QXMath_600::QXLogRegSettings settings;
  QXAccumStatsLogistic accumulator(settings, kParameters, kCategories, beta);
  EXPECT_EQ(accumulator.AddCell({0, 12}, 1), -1);    // outside the block
  EXPECT_EQ(accumulator.AddCell({0, 3, 3}, 1), -1);  // a column twice
  EXPECT_EQ(accumulator.AddCell({0, 3}, 3), -1);     // more fixed columns than columns
  EXPECT_EQ(accumulator.AddCell({0, 3}, -1), -1);
  EXPECT_EQ(accumulator.AddCell({}, 0), -1);
  EXPECT_EQ(accumulator.AddCell(std::vector<int>(65, 0), 0), -1);
  const std::uint64_t generation = accumulator.GetCellGeneration();
  accumulator.SetCellLimits(1, 1 << 20);
  EXPECT_NE(accumulator.GetCellGeneration(), generation);
  const int cell = accumulator.AddCell({0, 1, 9}, 2);
  EXPECT_EQ(cell, 0);
  EXPECT_EQ(accumulator.AddCell({0, 2, 9}, 2), -1);  // beyond the cap
  // A row of a cell found by its columns is no named cell.
  accumulator.SetCellLimits(4, 1 << 20);
  accumulator.Reset(QXConst::QXHessianFisher, false);
  ASSERT_EQ(accumulator.UpdateForRow({0, 1, 9}, {1.0, 1.0, 0.5}, 0, 1.0, false), 0);
  ASSERT_EQ(accumulator.GetNCells(), 1u);
  const int category = 0;
  const double weight = 1.0, value = 0.5;
  const int found = 0;
  EXPECT_EQ(accumulator.UpdateForCellRows(&found, &category, &weight, &value, 1, 1, false), -1);
}

}  // namespace
