// Rows handed to the accumulator one at a time are summed per cell (same columns, same columns at 1)
// and spread when the sums are read. Every such sum must equal the row-by-row update, which the
// accumulator still uses for rows beyond the cells' caps: both are run on the same rows here and
// compared, over rows of many shapes (factor cells, covariates, factor-by-covariate columns, covariate
// products, weights, a covariate that happens to be 1, a column named twice, an unusable predictor).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "accumulator_sums.h"
#include "logistic_test_support.h"
#include "nested_design_rows.h"

namespace {

using QXMath_600::QXAccumStatsLogistic;
using QXMath_600::QXLogRegSettings;
using Sums = qx_logistic_test::AccumulatorSums;

using Row = qx_logistic_test::SparseRow;
constexpr int kParameters = qx_logistic_test::kNestedParameters;
constexpr int kCategories = qx_logistic_test::kNestedCategories;

std::vector<Row> MakeRows(int n, unsigned seed) { return qx_logistic_test::MakeNestedSparseRows(n, seed); }

std::vector<double> MakeBeta(unsigned seed) {
  return qx_logistic_test::RandomParameters((kCategories - 1) * kParameters, seed);
}

// One pass over the rows; the cells' caps (0 for every row on its own).
Sums Pass(QXAccumStatsLogistic& accumulator, const std::vector<Row>& rows, bool logLikelihoodOnly = false) {
  accumulator.Reset(QXConst::QXHessianFisher, true);
  for (const Row& row : rows)
    EXPECT_EQ(accumulator.UpdateForRow(row.indices, row.values, row.category, row.weight, logLikelihoodOnly),
              0);
  return qx_logistic_test::ReadSums(accumulator);
}

void ExpectSameSums(const Sums& a, const Sums& b) {
  // Relative to the sum of the magnitudes: about the total weight.
  qx_logistic_test::ExpectSameSums(a, b, 1e-13, a.weight * 4.0);
}

TEST(CellAccumulator, CellSumsEqualRowByRowSumsWithAndWithoutCaps) {
  const std::vector<double> beta = MakeBeta(5);
  const std::vector<Row> rows = MakeRows(3000, 9);
  QXLogRegSettings settings;
  QXAccumStatsLogistic byRow(settings, kParameters, kCategories, beta);
  byRow.SetCellLimits(0, 0);
  const Sums expected = Pass(byRow, rows);
  EXPECT_EQ(byRow.GetNCells(), 0u);

  QXAccumStatsLogistic byCell(settings, kParameters, kCategories, beta);
  ExpectSameSums(Pass(byCell, rows), expected);
  // 4 x 2 cells of the factors, each with and without the covariate at 1 (and at 0 it has no square).
  EXPECT_GT(byCell.GetNCells(), 8u);
  EXPECT_LT(byCell.GetNCells(), 40u);

  // Caps met part way: the rows of the cells beyond them go one by one, in the same pass.
  QXAccumStatsLogistic fewCells(settings, kParameters, kCategories, beta);
  fewCells.SetCellLimits(3, 1 << 20);
  ExpectSameSums(Pass(fewCells, rows), expected);
  EXPECT_EQ(fewCells.GetNCells(), 3u);
  QXAccumStatsLogistic fewDoubles(settings, kParameters, kCategories, beta);
  fewDoubles.SetCellLimits(1000, 100);
  ExpectSameSums(Pass(fewDoubles, rows), expected);
  EXPECT_LT(fewDoubles.GetNCells(), 6u);
}

TEST(CellAccumulator, EveryPassUsesItsOwnParametersAndSums) {
  std::vector<double> beta = MakeBeta(5);
  const std::vector<Row> rows = MakeRows(500, 4);
  QXLogRegSettings settings;
  QXAccumStatsLogistic byCell(settings, kParameters, kCategories, beta);
  Pass(byCell, rows);
  Pass(byCell, rows, true);  // a likelihood-only pass leaves no sums behind
  // The optimizer moves the parameters in place between passes.
  for (double& b : beta) b *= -1.5;
  const Sums second = Pass(byCell, rows);

  QXAccumStatsLogistic fresh(settings, kParameters, kCategories, beta);
  fresh.SetCellLimits(0, 0);
  ExpectSameSums(second, Pass(fresh, rows));
}

TEST(CellAccumulator, SumsReadMidPassAreNotCountedTwice) {
  const std::vector<double> beta = MakeBeta(6);
  const std::vector<Row> rows = MakeRows(400, 2);
  QXLogRegSettings settings;
  QXAccumStatsLogistic byCell(settings, kParameters, kCategories, beta);
  byCell.Reset(QXConst::QXHessianFisher, true);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    ASSERT_EQ(byCell.UpdateForRow(rows[r].indices, rows[r].values, rows[r].category, rows[r].weight, false),
              0);
    if (r == 100 || r == 101 || r == 300) qx_logistic_test::ReadSums(byCell);
  }
  QXAccumStatsLogistic byRow(settings, kParameters, kCategories, beta);
  byRow.SetCellLimits(0, 0);
  ExpectSameSums(qx_logistic_test::ReadSums(byCell), Pass(byRow, rows));
}

TEST(CellAccumulator, RepeatedColumnsBadColumnsAndUnusablePredictorsAsRowByRow) {
  const std::vector<double> beta = MakeBeta(8);
  std::vector<Row> rows = MakeRows(200, 3);
  // A column named twice is added on its own, as it always was.
  rows.push_back({{0, 9, 9}, {1.0, 0.5, -1.25}, 1, 2.0});
  rows.push_back({{0, 0}, {1.0, 1.0}, 2, 1.0});
  QXLogRegSettings settings;
  QXAccumStatsLogistic byCell(settings, kParameters, kCategories, beta);
  QXAccumStatsLogistic byRow(settings, kParameters, kCategories, beta);
  byRow.SetCellLimits(0, 0);
  ExpectSameSums(Pass(byCell, rows), Pass(byRow, rows));

  // Refused alike: a column outside the block, with or without cells.
  for (QXAccumStatsLogistic* accumulator : {&byCell, &byRow}) {
    EXPECT_EQ(accumulator->UpdateForRow({0, kParameters}, {1.0, 1.0}, 0, 1.0, false), -1);
    EXPECT_EQ(accumulator->UpdateForRow({-1}, {1.0}, 0, 1.0, false), -1);
  }

  // Predictors that are not finite: the rows are not used and the likelihood is missing.
  rows.push_back({{0, 9}, {1.0, std::numeric_limits<double>::infinity()}, 0, 1.0});
  rows.push_back({{0, 9}, {1.0, std::numeric_limits<double>::quiet_NaN()}, 0, 1.0});
  const Sums cell = Pass(byCell, rows);
  const Sums row = Pass(byRow, rows);
  EXPECT_EQ(cell.invalid, 2);
  EXPECT_TRUE(QXMV::IsMissing(cell.ll));
  ExpectSameSums(cell, row);
}

}  // namespace
