// Everything a logistic accumulator holds after a pass, and the comparison of two such readings: the
// chunked, per-pattern and per-cell sums are checked against rows added one at a time.
#ifndef QX_TESTS_LOGISTIC_ACCUMULATOR_SUMS_H
#define QX_TESTS_LOGISTIC_ACCUMULATOR_SUMS_H

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "logistic_test_support.h"

namespace qx_logistic_test {

struct AccumulatorSums {
  double ll = 0.0;
  std::vector<double> scores;
  QXMath_600::QXSymMatrix information;
  std::int64_t valid = 0, invalid = 0;
  double weight = 0.0;
  double minObserved = 0.0, maxObserved = 0.0, minComputed = 0.0;
};

inline AccumulatorSums ReadSums(const QXMath_600::QXAccumStatsLogistic& accumulator) {
  AccumulatorSums s;
  s.ll = accumulator.GetLL();
  s.scores = accumulator.GetScores();
  EXPECT_TRUE(accumulator.GetHessian(s.information));
  accumulator.GetCounts(s.valid, s.invalid, s.weight);
  accumulator.GetMinMaxProbabilities(s.minObserved, s.maxObserved, s.minComputed);
  return s;
}

// The log-likelihood and the probability extremes to `tolerance`; the scores and information, sums of
// terms of both signs, to 1e-14 of `scale` (about the sum of the terms' magnitudes). The counts and
// the weight are added row after row by both, so they agree exactly.
inline void ExpectSameSums(const AccumulatorSums& a, const AccumulatorSums& b, double tolerance,
                           double scale) {
  if (std::isnan(a.ll) || a.ll == QXMV::gMissingValue) {
    EXPECT_EQ(a.ll, b.ll);
  } else {
    EXPECT_PRED3(qx_linear_test::Near, a.ll, b.ll, tolerance);
  }
  EXPECT_EQ(a.valid, b.valid);
  EXPECT_EQ(a.invalid, b.invalid);
  EXPECT_EQ(a.weight, b.weight);
  EXPECT_PRED3(qx_linear_test::Near, a.minObserved, b.minObserved, tolerance);
  EXPECT_PRED3(qx_linear_test::Near, a.maxObserved, b.maxObserved, tolerance);
  EXPECT_PRED3(qx_linear_test::Near, a.minComputed, b.minComputed, tolerance);
  ASSERT_EQ(a.scores.size(), b.scores.size());
  for (std::size_t i = 0; i < a.scores.size(); ++i)
    EXPECT_PRED4(qx_linear_test::NearScaled, a.scores[i], b.scores[i], 1e-14, scale) << i;
  ASSERT_EQ(a.information.GetNRows(), b.information.GetNRows());
  for (int i = 0; i < a.information.GetNRows(); ++i)
    for (int j = 0; j <= i; ++j)
      EXPECT_PRED4(qx_linear_test::NearScaled, a.information.GetElem(i, j), b.information.GetElem(i, j),
                   1e-14, scale)
          << i << " " << j;
}

// n parameters drawn uniformly from (-0.5, 0.5): probabilities well inside (0, 1).
inline std::vector<double> RandomParameters(std::size_t n, unsigned seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> value(-0.5, 0.5);
  std::vector<double> beta(n);
  for (double& b : beta) b = value(random);
  return beta;
}

}  // namespace qx_logistic_test

#endif  // QX_TESTS_LOGISTIC_ACCUMULATOR_SUMS_H
