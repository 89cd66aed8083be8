#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "qxregres600r.h"

namespace {

using QXCommon_600::QXStatus;
using QXMath_600::QXCombinations;
using QXMath_600::QXContrasts;
using QXMath_600::QXRectMatrix;

using Rows = std::vector<std::vector<double>>;

// Every element within `tolerance` (absolute: contrast coefficients are of order 1).
void ExpectRows(const QXRectMatrix& m, const Rows& expected, double tolerance) {
  ASSERT_EQ(m.GetNRows(), static_cast<int>(expected.size()));
  for (int i = 0; i < m.GetNRows(); ++i) {
    ASSERT_EQ(m.GetNCols(), static_cast<int>(expected[i].size()));
    for (int j = 0; j < m.GetNCols(); ++j)
      EXPECT_NEAR(m.GetElem(i, j), expected[i][j], tolerance) << i << "," << j;
  }
}

// contrasts.json: R's contrast codings and emmeans' contrast methods (see contrasts.R). The fixed
// contrasts are built from simple fractions, so they agree to the last bit but for the rounding of
// 1/k; the polynomial rows come from a recurrence on our side and from a QR decomposition in R, each
// good to a few units of 1e-16 times the condition of the scores (up to about 1e3 here).
class ContrastReference : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::ifstream in(std::string(QX_TEST_REFERENCE_DIR) + "/contrasts.json");
    fRefs = nlohmann::json::parse(in);
  }
  static void Check(const char* kind,
                    const std::function<QXStatus(const nlohmann::json&, QXRectMatrix&)>& make,
                    double tolerance) {
    for (const auto& c : fRefs[kind]) {
      SCOPED_TRACE(testing::Message() << kind << " k = " << c["k"]);
      QXRectMatrix m;
      ASSERT_TRUE(make(c, m).IsOK());
      ExpectRows(m, c["rows"].get<Rows>(), tolerance);
    }
  }
  static nlohmann::json fRefs;
};
nlohmann::json ContrastReference::fRefs;

TEST_F(ContrastReference, FixedContrastsMatchRAndEmmeans) {
  Check(
      "simple",
      [](const auto& c, auto& m) { return QXContrasts::ComputeSimpleContrast(c["k"], c["reference"], m); },
      1e-15);
  Check(
      "deviation", [](const auto& c, auto& m) { return QXContrasts::ComputeDeviationContrast(c["k"], m); },
      1e-15);
  Check(
      "helmert", [](const auto& c, auto& m) { return QXContrasts::ComputeHelmertContrast(c["k"], m); },
      1e-15);
  Check(
      "difference", [](const auto& c, auto& m) { return QXContrasts::ComputeDifferenceContrast(c["k"], m); },
      1e-15);
  Check(
      "repeated", [](const auto& c, auto& m) { return QXContrasts::ComputeRepeatedContrast(c["k"], m); },
      0.0);
}

TEST_F(ContrastReference, PairwiseHoldsEmmeansPairsInBothDirections) {
  for (const auto& c : fRefs["pairwise"]) {
    const int k = c["k"];
    QXRectMatrix m;
    ASSERT_TRUE(QXContrasts::ComputePairwiseContrast(k, m).IsOK());
    ASSERT_EQ(m.GetNRows(), k * (k - 1));
    const Rows unordered = c["rows"].get<Rows>();
    std::size_t next = 0;
    for (int a = 0; a < k; ++a)
      for (int b = 0; b < k; ++b) {
        if (a == b) continue;
        const int row = a * (k - 1) + (b < a ? b : b - 1);
        std::vector<double> values;
        m.GetRow(row, values);
        if (a < b) {
          EXPECT_EQ(values, unordered[next++]) << "k " << k << " pair " << a << "," << b;
        } else {
          std::vector<double> mirror;
          m.GetRow(b * (k - 1) + a - 1, mirror);
          for (double& v : mirror) v = -v;
          EXPECT_EQ(values, mirror);
        }
      }
  }
}

TEST_F(ContrastReference, PolynomialMatchesContrPoly) {
  Check(
      "polynomial",
      [](const auto& c, auto& m) {
        return QXContrasts::ComputePolynomialContrast(c["k"], c["scores"].template get<std::vector<double>>(),
                                                      m);
      },
      1e-13);
}

TEST(Contrasts, PolynomialRowsStayOrthonormal) {
  QXRectMatrix m;

  // Only the first k metric values count, and their order of magnitude does not matter.
  ASSERT_TRUE(QXContrasts::ComputePolynomialContrast(3, {1e9, 2e9, 3e9, -7.0}, m).IsOK());
  ExpectRows(m,
             {{-1 / std::sqrt(2.0), 0, 1 / std::sqrt(2.0)},
              {1 / std::sqrt(6.0), -2 / std::sqrt(6.0), 1 / std::sqrt(6.0)}},
             1e-15);

  // Many levels: the scaled recurrence neither overflows nor loses orthonormality.
  const int k = 40;
  std::vector<double> values(k);
  for (int i = 0; i < k; ++i) values[i] = std::pow(i + 1.0, 1.3);
  ASSERT_TRUE(QXContrasts::ComputePolynomialContrast(k, values, m).IsOK());
  for (int a = 0; a < k - 1; ++a) {
    std::vector<double> ra, rb;
    m.GetRow(a, ra);
    double sum = 0.0;
    for (double v : ra) sum += v;
    EXPECT_NEAR(sum, 0.0, 1e-13);  // orthogonal to the constant
    for (int b = a; b < k - 1; b += 7) {
      m.GetRow(b, rb);
      double dot = 0.0;
      for (int i = 0; i < k; ++i) dot += ra[i] * rb[i];
      EXPECT_NEAR(dot, a == b ? 1.0 : 0.0, 1e-13) << a << "," << b;
    }
    EXPECT_GT(ra[k - 1], 0.0);  // positive leading coefficient: positive at the largest value
  }
}

TEST(Contrasts, InvalidArgumentsGive320AndLeaveTheMatrix) {
  QXRectMatrix m(1, 1);
  m.SetElem(0, 0, 7.0);
  const std::vector<std::function<QXStatus(int)>> kinds = {
      [&](int k) { return QXContrasts::ComputeSimpleContrast(k, 0, m); },
      [&](int k) { return QXContrasts::ComputeDeviationContrast(k, m); },
      [&](int k) { return QXContrasts::ComputeHelmertContrast(k, m); },
      [&](int k) { return QXContrasts::ComputeDifferenceContrast(k, m); },
      [&](int k) { return QXContrasts::ComputeRepeatedContrast(k, m); },
      [&](int k) {
        return QXContrasts::ComputePolynomialContrast(k, {1.0, 2.0}, m);
      },
      [&](int k) { return QXContrasts::ComputePairwiseContrast(k, m); }};
  for (const auto& kind : kinds)
    for (int k : {1, 0, -4}) EXPECT_EQ(kind(k), QXStatus(320, false));
  EXPECT_EQ(QXContrasts::ComputeSimpleContrast(3, 3, m), QXStatus(320, false));
  EXPECT_EQ(QXContrasts::ComputeSimpleContrast(3, -1, m), QXStatus(320, false));
  EXPECT_EQ(QXContrasts::ComputePolynomialContrast(3, {1.0, 2.0}, m), QXStatus(320, false));
  EXPECT_EQ(QXContrasts::ComputePolynomialContrast(3, {2.0, 2.0, 2.0}, m), QXStatus(320, false));
  EXPECT_EQ(QXContrasts::ComputePolynomialContrast(3, {1.0, NAN, 2.0}, m), QXStatus(320, false));
  EXPECT_EQ(QXContrasts::ComputePairwiseContrast(70000, m), QXStatus(320, false));  // rows overflow an int
  EXPECT_EQ(m.GetNRows(), 1);
  EXPECT_EQ(m.GetElem(0, 0), 7.0);
}

TEST(Combinations, OdometerWithTheLastFreeVariableFastest) {
  const std::vector<std::vector<int>> lists = {{10, 11}, {5}, {0, 2, 4}};
  QXCombinations walk;
  ASSERT_TRUE(walk.Set(&lists, {0, 2}));
  EXPECT_EQ(walk.GetNCombinations(), 6.0);
  std::vector<int> combination(3, -9);
  std::vector<std::vector<int>> seen;
  while (walk.Next(combination)) seen.push_back(combination);
  EXPECT_EQ(seen, (std::vector<std::vector<int>>{
                      {10, -9, 0}, {10, -9, 2}, {10, -9, 4}, {11, -9, 0}, {11, -9, 2}, {11, -9, 4}}));
  EXPECT_FALSE(walk.Next(combination));

  walk.Reset();
  ASSERT_TRUE(walk.Next(combination));
  EXPECT_EQ(combination, (std::vector<int>{10, -9, 0}));

  // The order of the free variables decides which turns fastest; fixed ones do not turn.
  ASSERT_TRUE(walk.Set(&lists, {2, 0, 1}, {1}));
  EXPECT_EQ(walk.GetNCombinations(), 6.0);
  ASSERT_TRUE(walk.Next(combination));
  ASSERT_TRUE(walk.Next(combination));
  EXPECT_EQ(combination, (std::vector<int>{11, -9, 0}));

  // No free variable: one empty combination.
  ASSERT_TRUE(walk.Set(&lists, {}));
  EXPECT_EQ(walk.GetNCombinations(), 1.0);
  EXPECT_TRUE(walk.Next(combination));
  EXPECT_FALSE(walk.Next(combination));
}

TEST(Combinations, RefusalsAndShortTargets) {
  const std::vector<std::vector<int>> lists = {{1, 2}, {}};
  QXCombinations walk;
  std::vector<int> combination(2);
  EXPECT_FALSE(walk.Next(combination));  // nothing set
  EXPECT_FALSE(walk.Set(nullptr, {0}));
  EXPECT_FALSE(walk.Set(&lists, {0, 2}));
  EXPECT_FALSE(walk.Set(&lists, {-1}));
  EXPECT_FALSE(walk.Next(combination));     // a refused Set leaves nothing to walk
  EXPECT_TRUE(walk.Set(&lists, {0}, {5}));  // fixed variables are not checked

  // A free variable without categories has no combination.
  ASSERT_TRUE(walk.Set(&lists, {1}));
  EXPECT_EQ(walk.GetNCombinations(), 0.0);
  EXPECT_FALSE(walk.Next(combination));

  // A target too short for a free variable: the entry is skipped and the walk reports it.
  ASSERT_TRUE(walk.Set(&lists, {0}));
  std::vector<int> shortTarget;
  EXPECT_FALSE(walk.Next(shortTarget));
  EXPECT_TRUE(shortTarget.empty());
}

}  // namespace
