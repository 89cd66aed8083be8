// The accumulator's pattern rows against the same rows one at a time: the rows of a pattern go in
// chunks, column by column, so every way a chunk can end (full, partial, cut short by a refused row,
// holding a row whose predictor is not finite) must leave the sums of the rows taken one by one.
// Also the batched exponentials the chunks use.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "accumulator_sums.h"
#include "logistic/QXBatchExp.h"
#include "logistic_test_support.h"

namespace {

using QXMath_600::QXAccumStatsLogistic;
using QXMath_600::QXLogRegSettings;
using Sums = qx_logistic_test::AccumulatorSums;

constexpr int kParameters = 6;  // a block: 4 columns of the pattern, 2 elsewhere
constexpr int kCategories = 4;
const std::vector<int> kColumns{4, 0, 2, 5};  // the first two fixed, the last two varying
const std::vector<double> kFixed{1.0, 0.5};

// Rows of the pattern: category, weight (1 mostly, as unweighted data has), two varying values.
std::vector<double> PatternRows(int nRows, unsigned seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> value(-2.0, 3.0);
  std::vector<double> rows;
  for (int r = 0; r < nRows; ++r) {
    rows.push_back(static_cast<double>(random() % kCategories));
    rows.push_back(random() % 3 == 0 ? 0.25 + value(random) * value(random) * 0.1 + 1.0 : 1.0);
    rows.push_back(value(random));
    rows.push_back(r % 7 == 0 ? 0.0 : value(random));
  }
  return rows;
}

std::vector<double> Beta() {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> value(-0.8, 0.8);
  std::vector<double> beta((kCategories - 1) * kParameters);
  for (double& b : beta) b = value(random);
  return beta;
}

// The rows [first, last) one at a time, every column listed.
Sums OneByOne(const std::vector<double>& beta, const std::vector<double>& rows, int first, int last) {
  QXLogRegSettings settings;
  QXAccumStatsLogistic accumulator(settings, kParameters, kCategories, beta);
  accumulator.Reset(QXConst::QXHessianFisher, true);
  for (int r = first; r < last; ++r) {
    const double* row = rows.data() + 4 * r;
    const std::vector<double> values{kFixed[0], kFixed[1], row[2], row[3]};
    EXPECT_EQ(accumulator.UpdateForRow(kColumns, values, static_cast<int>(row[0]), row[1], false), 0);
  }
  return qx_logistic_test::ReadSums(accumulator);
}

// The rows in pattern calls of the given sizes.
Sums InPatterns(const std::vector<double>& beta, const std::vector<double>& rows,
                const std::vector<std::int64_t>& calls, bool logLikelihoodOnly = false) {
  QXLogRegSettings settings;
  QXAccumStatsLogistic accumulator(settings, kParameters, kCategories, beta);
  accumulator.Reset(QXConst::QXHessianFisher, true);
  std::int64_t first = 0;
  for (std::int64_t n : calls) {
    EXPECT_EQ(accumulator.UpdateForPattern(kColumns, kFixed, rows.data() + 4 * first, n, logLikelihoodOnly),
              0);
    first += n;
  }
  return qx_logistic_test::ReadSums(accumulator);
}

void ExpectSameSums(const Sums& a, const Sums& b) {
  // Relative to the sum of the magnitudes: about the number of rows.
  qx_logistic_test::ExpectSameSums(a, b, 1e-14, static_cast<double>(a.valid));
}

TEST(PatternAccumulator, ChunksOfEverySizeSumAsTheRowsOneByOne) {
  const std::vector<double> beta = Beta();
  const std::vector<double> rows = PatternRows(1000, 3);
  const Sums expected = OneByOne(beta, rows, 0, 1000);
  ASSERT_GT(expected.information.GetElem(0, 0), 0.0);
  ExpectSameSums(InPatterns(beta, rows, {1000}), expected);
  // Calls that end within a chunk, on its last row, and hold a single row.
  ExpectSameSums(InPatterns(beta, rows, {1, 255, 256, 257, 231}), expected);
  // The log-likelihood alone is the full pass's to the last bit.
  EXPECT_EQ(InPatterns(beta, rows, {1000}, true).ll, InPatterns(beta, rows, {1000}).ll);
}

TEST(PatternAccumulator, ARowWhosePredictorIsNotFiniteIsLeftOutOfEverySum) {
  const std::vector<double> beta = Beta();
  std::vector<double> rows = PatternRows(600, 5);
  rows[4 * 300 + 2] = std::numeric_limits<double>::infinity();
  Sums taken = InPatterns(beta, rows, {600});
  EXPECT_TRUE(QXMV::IsMissing(taken.ll));
  EXPECT_EQ(taken.invalid, 1);
  // Every other row as if the bad one were not there.
  std::vector<double> without(rows.begin(), rows.begin() + 4 * 300);
  without.insert(without.end(), rows.begin() + 4 * 301, rows.end());
  Sums expected = OneByOne(beta, without, 0, 599);
  expected.invalid = 1;
  taken.ll = expected.ll;
  ExpectSameSums(taken, expected);
}

TEST(PatternAccumulator, ARefusedRowEndsTheCallAndTheRowsBeforeItStay) {
  const std::vector<double> beta = Beta();
  for (const auto& [column, bad] :
       std::vector<std::pair<int, double>>{{0, 4.0},
                                           {0, 1.5},
                                           {0, -1.0},
                                           {1, 0.0},
                                           {1, -2.0},
                                           {1, std::numeric_limits<double>::infinity()},
                                           {1, std::nan("")}}) {
    std::vector<double> rows = PatternRows(600, 9);
    rows[4 * 300 + column] = bad;
    QXLogRegSettings settings;
    QXAccumStatsLogistic accumulator(settings, kParameters, kCategories, beta);
    accumulator.Reset(QXConst::QXHessianFisher, true);
    EXPECT_EQ(accumulator.UpdateForPattern(kColumns, kFixed, rows.data(), 600, false), -1) << column << bad;
    ExpectSameSums(qx_logistic_test::ReadSums(accumulator), OneByOne(beta, rows, 0, 300));
  }
}

// glibc documents its vector math functions to 4 units in the last place; std::exp is within one.
TEST(BatchExp, EveryArgumentWithinFourUnitsInTheLastPlaceWhateverItsPosition) {
  std::vector<double> in;
  for (double x = -745.5; x <= 709.0; x += 0.73) in.push_back(x);
  for (double x : {0.0, -0.0, 1e-300, -1e-17, -708.4, -744.0, -746.0, -1e300}) in.push_back(x);
  std::vector<double> out(in.size(), -1.0);
  QXMath_600::ExpOf(in.data(), out.data(), in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    const double expected = std::exp(in[i]);
    const double ulp = std::nextafter(expected, std::numeric_limits<double>::infinity()) - expected;
    EXPECT_LE(std::fabs(out[i] - expected), 4.0 * std::max(ulp, std::numeric_limits<double>::denorm_min()))
        << in[i];
  }
  // The largest predictor's argument is 0, whose exponential must be 1 exactly.
  for (std::size_t n = 0; n <= 9; ++n) {
    std::vector<double> values(n, 0.0);
    if (n > 2) values[1] = -0.0;
    if (n > 3) values[2] = -std::numeric_limits<double>::infinity();
    if (n > 4) values[3] = std::nan("");
    QXMath_600::ExpOf(values.data(), values.data(), n);  // in place
    for (std::size_t i = 0; i < n; ++i) {
      if (n > 3 && i == 2) {
        EXPECT_EQ(values[i], 0.0);
      } else if (n > 4 && i == 3) {
        EXPECT_TRUE(std::isnan(values[i]));
      } else {
        EXPECT_EQ(values[i], 1.0) << n << " " << i;
      }
    }
  }
}

}  // namespace
