// The sweep of a weighted cross-product matrix: sign convention, aliased pivots, reverse sweep, and
// the estimable functions read from a swept matrix. References: lm.wfit (tests/reference/
// kernel_sweep.R).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/QXBitSet.h"
#include "common/QXMissingValue.h"
#include "common/QXRectMatrix.h"
#include "common/QXSymMatrix.h"
#include "kernel_reference.h"

namespace {

using kernel_test::Near;
using QXMath_600::QXBitSet;
using QXMath_600::QXRectMatrix;
using QXMath_600::QXSymMatrix;

// The cross-product matrix of [X y] with the case's weights.
QXSymMatrix CrossProducts(const nlohmann::json& c) {
  const auto X = c["X"];
  const auto y = c["y"].get<std::vector<double>>();
  const auto w = c["w"].get<std::vector<double>>();
  const int p = static_cast<int>(X[0].size());
  QXSymMatrix m(p + 1);
  for (std::size_t i = 0; i < y.size(); ++i) {
    std::vector<double> row = X[i].get<std::vector<double>>();
    row.push_back(y[i]);
    EXPECT_TRUE(m.UpdateXX(row, w[i]));
  }
  return m;
}

class SweepAgainstLm : public ::testing::TestWithParam<int> {};

// Coefficients, minus the unscaled covariance and the residual sum of squares all sit where the
// convention puts them; the aliased columns stay out of the set with zero rows and columns. The
// tolerance 1e-11 relative covers the double rounding of R's QR on the badly scaled case; the
// sweep itself is far more accurate.
TEST_P(SweepAgainstLm, SweepMarksAliasedPivotRedundantAndHoldsMinusInverse) {
  const auto c = kernel_test::LoadReference("kernel_sweep.json")[GetParam()];
  QXSymMatrix m = CrossProducts(c);
  const int p = m.GetNRows() - 1;
  std::vector<double> d;
  m.GetDiagonal(d);
  QXBitSet kept(p + 1);
  int swept = 0;
  for (int k = 0; k < p; ++k) swept += m.Sweep(k, 1e-12, d, kept, true);
  const auto expectKept = c["kept"].get<std::vector<int>>();
  EXPECT_EQ(swept, c["rank"].get<int>());
  for (int k = 0; k <= p; ++k)
    EXPECT_EQ(kept.IsIn(k), std::find(expectKept.begin(), expectKept.end(), k) != expectKept.end()) << k;

  std::vector<double> b;
  ASSERT_TRUE(m.GetRegCoeffs(b, kept));
  const auto coef = c["coefficients"].get<std::vector<double>>();
  const double scale = std::fabs(coef[0]) + 1.0;
  for (int k = 0; k < p; ++k) EXPECT_TRUE(Near(b[k], coef[k], 1e-11, scale)) << c["name"] << " b" << k;

  const auto cov = c["cov_unscaled"];
  for (std::size_t s = 0; s < expectKept.size(); ++s)
    for (std::size_t t = 0; t < expectKept.size(); ++t)
      EXPECT_TRUE(Near(-m.GetElem(expectKept[s], expectKept[t]), cov[s][t].get<double>(), 1e-10))
          << c["name"] << " (" << s << "," << t << ")";
  for (int k = 0; k < p; ++k) {
    if (kept.IsIn(k)) continue;
    for (int j = 0; j <= p; ++j) EXPECT_EQ(m.GetElem(k, j), 0.0);
  }
  EXPECT_TRUE(Near(m.GetElem(p, p), c["rss"].get<double>(), 1e-9));
}

INSTANTIATE_TEST_SUITE_P(Designs, SweepAgainstLm, ::testing::Values(0, 1, 2));

TEST(Sweep, SweepingTwiceRestoresTheMatrix) {
  const auto c = kernel_test::LoadReference("kernel_sweep.json")[2];
  const QXSymMatrix original = CrossProducts(c);
  QXSymMatrix m = original;
  std::vector<double> d;
  m.GetDiagonal(d);
  QXBitSet kept(4);
  for (int k : {0, 1, 2}) ASSERT_TRUE(m.Sweep(k, 1e-12, d, kept, true));
  for (int k : {1, 0, 2}) ASSERT_TRUE(m.Sweep(k, 1e-12, d, kept, true));
  EXPECT_EQ(kept.Count(), 0);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j <= i; ++j)
      EXPECT_TRUE(Near(m.GetElem(i, j), original.GetElem(i, j), 1e-13, 1.0)) << i << j;
}

TEST(Sweep, FailedPivotIsLeftInPlaceWhenNotZeroing) {
  // The one-way layout: sweeping intercept and two cells leaves the third cell column aliased; kept
  // unzeroed, its row holds the regression of that column on the swept ones (mu - a1 - a2), which is
  // what the estimable functions need.
  const auto c = kernel_test::LoadReference("kernel_sweep.json")[0];
  QXSymMatrix m = CrossProducts(c);
  std::vector<double> d;
  m.GetDiagonal(d);
  QXBitSet kept(5);
  for (int k = 0; k < 4; ++k) m.Sweep(k, 1e-12, d, kept, false);
  EXPECT_FALSE(kept.IsIn(3));
  EXPECT_NEAR(m.GetElem(0, 3), 1.0, 1e-14);
  EXPECT_NEAR(m.GetElem(1, 3), -1.0, 1e-14);
  EXPECT_NEAR(m.GetElem(2, 3), -1.0, 1e-14);
  EXPECT_NEAR(m.GetElem(3, 3), 0.0, 1e-12);

  // General form of the estimable functions: one column per kept parameter.
  QXRectMatrix h;
  ASSERT_EQ(m.ExtractH(0, 3, kept, h), 3);
  ASSERT_EQ(h.GetNRows(), 5);
  const double expected[4][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, -1, -1}};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(h.GetElem(i, j), expected[i][j], 1e-14) << i << j;
  EXPECT_EQ(m.ExtractH(2, 1, kept, h), -1);
  EXPECT_EQ(m.ExtractH(0, 5, kept, h), -1);
}

TEST(Sweep, ZeroColumnAndBadArgumentsAreRefused) {
  QXSymMatrix m(3);
  m.UpdateXX(std::vector<double>{1.0, 0.0, 2.0}, 1.0);
  m.UpdateXX(std::vector<double>{1.0, 0.0, 3.0}, 1.0);
  std::vector<double> d;
  m.GetDiagonal(d);
  QXBitSet kept(3);
  EXPECT_TRUE(m.Sweep(0, 1e-12, d, kept, true));
  EXPECT_FALSE(m.Sweep(1, 1e-12, d, kept, true));  // zero column: reference 0
  EXPECT_FALSE(kept.IsIn(1));
  EXPECT_FALSE(m.Sweep(-1, 1e-12, d, kept, true));
  EXPECT_FALSE(m.Sweep(3, 1e-12, d, kept, true));
  QXBitSet small(1);
  EXPECT_FALSE(m.Sweep(2, 1e-12, d, small, true));
  EXPECT_FALSE(m.Sweep(2, 1e-12, std::vector<double>{1.0}, kept, true));
  QXSymMatrix nan(2);
  nan.SetElem(0, 0, std::nan(""));
  QXBitSet k2(2);
  EXPECT_FALSE(nan.Sweep(0, 1e-12, std::vector<double>{1.0, 1.0}, k2, true));
  EXPECT_FALSE(k2.IsIn(0));
}

TEST(Sweep, SolveSequenceGivesScaledCovariance) {
  // The linear model's order of calls: coefficients first, then the redundant rows go, the matrix is
  // scaled and its sign changed on the leading block.
  const auto c = kernel_test::LoadReference("kernel_sweep.json")[0];
  QXSymMatrix m = CrossProducts(c);
  std::vector<double> d;
  m.GetDiagonal(d);
  QXBitSet kept(5);
  for (int k = 0; k < 4; ++k) m.Sweep(k, 1e-12, d, kept, true);
  std::vector<double> b;
  m.GetRegCoeffs(b, kept);
  m.ZeroOutRedundant(kept);
  m.MultiplyByNumber(0.5);
  QXSymMatrix cov;
  ASSERT_TRUE(m.ExtractFirstNRows(4, cov));
  cov.ChangeSign();
  EXPECT_FALSE(m.HasLowPart());
  EXPECT_TRUE(Near(cov.GetElem(1, 2), 0.5 * c["cov_unscaled"][1][2].get<double>(), 1e-12));
  EXPECT_EQ(cov.GetElem(3, 3), 0.0);
  EXPECT_FALSE(m.ExtractFirstNRows(6, cov));
}

}  // namespace
