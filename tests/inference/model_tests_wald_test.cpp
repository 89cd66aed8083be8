// Wald tests of L b = h against R: car::linearHypothesis and confint on a full-rank fit, emmeans on
// the library's over-parameterised design, p.adjust and the Holm-Sidak step-down
// (tests/reference/model_tests_wald.R).
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "qxregres600r.h"
#include "tests/common/kernel_reference.h"
#include "tests/inference/model_tests_support.h"

namespace {

using model_tests::ExpectStat;
using model_tests::FittedModel;
using model_tests::kM;
using nlohmann::json;
using QXMath_600::QXModelTests;
using QXMath_600::QXRectMatrix;
using QXMath_600::QXTestStats;
using namespace QXConst;

// R and the library form the same statistics from the same b and V. What separates them is the
// rounding of L V L' and of its inverse (condition numbers below 1e3 here), amplified in a p-value
// by at most the statistic itself (d log p / d log W is about W/2), and the distribution functions'
// own last digits: a few units of 1e-14. 1e-12 relative leaves a margin of twenty.
constexpr double kRel = 1e-12;

const json& Reference() {
  static const json reference = kernel_test::LoadReference("model_tests_wald.json");
  return reference;
}

std::vector<double> Values(const json& v) { return v.get<std::vector<double>>(); }

class SalariesWald : public ::testing::Test {
 protected:
  const json& ref = Reference()["salaries"];
  FittedModel model{ref};
  QXRectMatrix L = kernel_test::ToRect(ref["L"]);
  std::vector<double> h = Values(ref["h"]);
};

TEST_F(SalariesWald, OverallAndRowTestsOfLbEqualsHMatchLinearHypothesis) {
  for (QXTestType type : {QXTestWaldF, QXTestChiSquare}) {
    const bool f = type == QXTestWaldF;
    const QXModelTests tests = model.Tests(type);
    std::vector<QXTestStats> rows;
    QXTestStats overall;
    ASSERT_TRUE(tests.ComputeOvAndIndTests(L, h, rows, overall, 0).IsOK());
    ExpectStat(overall.GetWald(), ref[f ? "F" : "chisq"], kRel, "overall statistic");
    ExpectStat(overall.GetSig(), ref[f ? "p_F" : "p_chisq"], kRel, "overall p");
    EXPECT_EQ(overall.GetDF(), 3.0);
    EXPECT_EQ(overall.GetDF2(), f ? model.df : kM);
    EXPECT_TRUE(overall.IsUsedInOverallTest());
    ASSERT_EQ(rows.size(), 3u);
    for (int i = 0; i < 3; ++i) {
      const std::string row = "row " + std::to_string(i);
      ExpectStat(rows[i].GetContrastEstimate(), ref["rows"]["estimate"][i], kRel, row);
      ExpectStat(rows[i].GetStandardError(), ref["rows"]["se"][i], kRel, row);
      ExpectStat(rows[i].GetWald(), ref["rows"][f ? "t" : "chisq"][i], kRel, row);
      ExpectStat(rows[i].GetSig(), ref["rows"][f ? "p_t" : "p_chisq"][i], kRel, row);
      EXPECT_EQ(rows[i].GetAdjSig(), rows[i].GetSig()) << row;
      EXPECT_TRUE(rows[i].IsUsedInOverallTest()) << row;
    }
  }
}

TEST_F(SalariesWald, IntervalsAreCentredOnTheEstimateAtTheQuantilesOfConfint) {
  for (QXTestType type : {QXTestIndividualT, QXTestIndividualChiSquare}) {
    const bool t = type == QXTestIndividualT;
    const QXModelTests tests = model.Tests(type);
    for (int i = 0; i < 3; ++i) {
      QXTestStats stats;
      ASSERT_TRUE(tests.ComputeIndivTest(L, i, h[i], 1, stats, true));
      ExpectStat(stats.GetLowerConfidenceInterval(), ref["rows"][t ? "lower" : "lower_z"][i], kRel, "lower");
      ExpectStat(stats.GetUpperConfidenceInterval(), ref["rows"][t ? "upper" : "upper_z"][i], kRel, "upper");
    }
  }
}

TEST_F(SalariesWald, ConsistentMultipleAndZeroRowLeaveTheStatisticOnTheIndependentRows) {
  const json& def = ref["deficient"];
  const QXRectMatrix Ld = kernel_test::ToRect(def["L"]);
  for (QXTestType type : {QXTestWaldF, QXTestChiSquare}) {
    const bool f = type == QXTestWaldF;
    std::vector<QXTestStats> rows;
    QXTestStats overall;
    ASSERT_TRUE(model.Tests(type).ComputeOvAndIndTests(Ld, Values(def["h"]), rows, overall, 0).IsOK());
    ExpectStat(overall.GetWald(), def[f ? "F" : "chisq"], kRel, "overall statistic");
    ExpectStat(overall.GetSig(), def[f ? "p_F" : "p_chisq"], kRel, "overall p");
    EXPECT_EQ(overall.GetDF(), def["rank"].get<double>());
    EXPECT_FALSE(overall.IsUsedInOverallTest());
    EXPECT_EQ(overall.GetNNonRedunRows(), 3);
    const std::vector<bool> kept = {true, true, true, false, false};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(rows[i].IsUsedInOverallTest(), kept[i]) << i;
    // The multiple tests the same hypothesis as its row; the zero row tests 0 = 0.
    EXPECT_TRUE(kernel_test::Near(rows[3].GetSig(), rows[0].GetSig(), 1e-13));
    EXPECT_EQ(rows[4].GetStandardError(), 0.0);
    EXPECT_EQ(rows[4].GetSig(), kM);
    EXPECT_EQ(rows[4].GetDF(), kM);
  }
}

class WarpbreaksWald : public ::testing::Test {
 protected:
  // Rows: L-M, L-H, M-H (rank 2), -2 (L-M), a zero row.
  const json& ref = Reference()["warpbreaks"];
  FittedModel model{ref};
  QXRectMatrix L = kernel_test::ToRect(ref["L"]);
};

TEST_F(WarpbreaksWald, PairwiseDifferencesOnTheOverParameterisedDesignMatchEmmeans) {
  for (QXTestType type : {QXTestWaldF, QXTestChiSquare}) {
    const bool f = type == QXTestWaldF;
    std::vector<QXTestStats> rows;
    QXTestStats overall;
    ASSERT_TRUE(model.Tests(type).ComputeOvAndIndTests(L, {}, rows, overall, -1).IsOK());
    ExpectStat(overall.GetWald(), ref[f ? "F" : "chisq"], kRel, "overall statistic");
    ExpectStat(overall.GetSig(), ref[f ? "p_F" : "p_chisq"], kRel, "overall p");
    EXPECT_EQ(overall.GetDF(), 2.0);
    EXPECT_FALSE(overall.IsUsedInOverallTest());
    EXPECT_EQ(overall.GetNNonRedunRows(), 3);
    ASSERT_EQ(rows.size(), 5u);
    for (int i = 0; i < 5; ++i) {
      const std::string row = "row " + std::to_string(i);
      ExpectStat(rows[i].GetContrastEstimate(), i == 4 ? json(0.0) : ref["estimate"][i], kRel, row);
      ExpectStat(rows[i].GetStandardError(), i == 4 ? json(0.0) : ref["se"][i], kRel, row);
      ExpectStat(rows[i].GetSig(), ref[f ? "p_t" : "p_z"][i], kRel, row);
      EXPECT_EQ(rows[i].IsUsedInOverallTest(), i < 2) << row;
      EXPECT_EQ(rows[i].GetNNonRedunRows(), 3) << row;
    }
    if (f) ExpectStat(rows[0].GetWald(), ref["t"][0], kRel, "t");
    EXPECT_EQ(rows[4].GetDF(), kM);
    EXPECT_EQ(rows[4].GetDF2(), f ? model.df : kM);
  }
}

TEST_F(WarpbreaksWald, SingleStepAdjustmentsAndIntervalsMatchEmmeans) {
  struct Case {
    QXTestType type;
    QXPAdjustMethod method;
    const char* sig;
    const char* interval;
  };
  const json& ci_t = ref["ci_t"];
  const json& ci_z = ref["ci_z"];
  const std::vector<Case> cases = {{QXTestIndividualT, QXPAdjLSD, "p_t", "none"},
                                   {QXTestIndividualT, QXPAdjBonferroni, "t_bonferroni", "bonferroni"},
                                   {QXTestIndividualT, QXPAdjSidak, "t_sidak", "sidak"},
                                   {QXTestChiSquare, QXPAdjLSD, "p_z", "none"},
                                   {QXTestChiSquare, QXPAdjBonferroni, "z_bonferroni", "bonferroni"}};
  for (const Case& c : cases) {
    const json& ci = (c.type == QXTestIndividualT ? ci_t : ci_z)[c.interval];
    const QXModelTests tests = model.Tests(c.type, c.method);
    for (int i = 0; i < 4; ++i) {
      const std::string what = std::string(c.sig) + " row " + std::to_string(i);
      QXTestStats stats;
      ASSERT_TRUE(tests.ComputeIndivTest(L, i, 0.0, 3, stats, true));
      ExpectStat(stats.GetAdjSig(), ref[c.sig][i], kRel, what);
      ExpectStat(stats.GetLowerConfidenceInterval(), ci["lower"][i], kRel, what);
      ExpectStat(stats.GetUpperConfidenceInterval(), ci["upper"][i], kRel, what);
    }
  }
}

TEST_F(WarpbreaksWald, StepDownMatchesHolmAndHolmSidakAndCarriesOverToTheMultiple) {
  for (QXTestType type : {QXTestWaldF, QXTestChiSquare}) {
    for (QXPAdjustMethod method : {QXPAdjSeqBonferroni, QXPAdjSeqSidak}) {
      const json& expected = ref[type == QXTestWaldF ? "stepdown_t" : "stepdown_z"]
                                [method == QXPAdjSeqBonferroni ? "bonferroni" : "sidak"];
      std::vector<QXTestStats> rows;
      QXTestStats overall;
      ASSERT_TRUE(model.Tests(type, method).ComputeOvAndIndTests(L, {}, rows, overall, -1).IsOK());
      double smallest = 1.0;
      for (int i = 0; i < 5; ++i) {
        const std::string what = "type " + std::to_string(type) + " method " + std::to_string(method) +
                                 " row " + std::to_string(i);
        ExpectStat(rows[i].GetAdjSig(), expected["adj"][i], kRel, what);
        ExpectStat(rows[i].GetLowerConfidenceInterval(), expected["lower"][i], kRel, what);
        ExpectStat(rows[i].GetUpperConfidenceInterval(), expected["upper"][i], kRel, what);
        if (i < 3) smallest = std::min(smallest, expected["adj"][i].get<double>());
      }
      EXPECT_TRUE(kernel_test::Near(overall.GetAdjSig(), smallest, kRel));
    }
  }
  const json& holm = ref["t_holm"];
  const json& holmSidak = ref["t_holm_sidak"];
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(kernel_test::Near(ref["stepdown_t"]["bonferroni"]["adj"][i], holm[i], 1e-15));
    EXPECT_TRUE(kernel_test::Near(ref["stepdown_t"]["sidak"]["adj"][i], holmSidak[i], 1e-15));
  }
}

TEST_F(WarpbreaksWald, OverallTestTakesItsAdjustedSigFromTheDistinctRows) {
  auto smallest = [this](const char* key) {
    double s = 1.0;
    for (int i = 0; i < 3; ++i) s = std::min(s, ref[key][i].get<double>());
    return s;
  };
  struct Case {
    QXPAdjustMethod method;
    double expected;
  };
  const std::vector<Case> cases = {{QXPAdjLSD, kM},
                                   {QXPAdjBonferroni, smallest("t_bonferroni")},
                                   {QXPAdjSidak, smallest("t_sidak")},
                                   {QXPAdjSeqBonferroni, smallest("t_holm")},
                                   {QXPAdjSeqSidak, smallest("t_holm_sidak")}};
  for (const Case& c : cases) {
    QXTestStats overall;
    ASSERT_TRUE(model.Tests(QXTestWaldF, c.method).ComputeOverallTest(L, overall).IsOK());
    ExpectStat(overall.GetWald(), ref["F"], kRel, "F");
    if (c.expected == kM) {
      EXPECT_EQ(overall.GetAdjSig(), kM);
      EXPECT_EQ(overall.GetNNonRedunRows(), 0);
      continue;
    }
    EXPECT_TRUE(kernel_test::Near(overall.GetAdjSig(), c.expected, kRel)) << c.method;
    EXPECT_EQ(overall.GetNNonRedunRows(), 3);
  }
}

TEST(StepDown, TiesKeepRowOrderAndTheTextbookExampleGivesHolmsValues) {
  for (const char* name : {"textbook", "ties"}) {
    const json& ref = Reference()["stepdown"][name];
    const std::vector<double> b = Values(ref["b"]), v = Values(ref["v"]);
    const int n = static_cast<int>(b.size());
    QXRectMatrix L(n, n);
    QXMath_600::QXSymMatrix V(n);
    for (int i = 0; i < n; ++i) {
      L.SetElem(i, i, 1.0);
      V.SetElem(i, i, v[i]);
    }
    const QXMath_600::QXBitSet redundancy(n);
    for (const json& c : ref["cases"]) {
      QXModelTests tests(b, redundancy, V, ref["df"].get<double>(), nullptr);
      tests.SetTestType(static_cast<QXTestType>(c["type"].get<int>()));
      tests.SetPAdjustment(c["method"] == "bonferroni" ? QXPAdjSeqBonferroni : QXPAdjSeqSidak);
      tests.SetConfidenceLevel(1.0 - Reference()["alpha"].get<double>());
      std::vector<QXTestStats> rows;
      QXTestStats overall;
      ASSERT_TRUE(tests.ComputeOvAndIndTests(L, {}, rows, overall, 0).IsOK());
      const std::vector<double> adjusted = Values(c["adj"]);
      EXPECT_TRUE(
          kernel_test::Near(overall.GetAdjSig(), *std::min_element(adjusted.begin(), adjusted.end()), kRel));
      for (int i = 0; i < n; ++i) {
        const std::string what = std::string(name) + " " + c["method"].get<std::string>() + " type " +
                                 std::to_string(c["type"].get<int>()) + " row " + std::to_string(i);
        ExpectStat(rows[i].GetSig(), c["p"][i], kRel, what);
        ExpectStat(rows[i].GetAdjSig(), c["adj"][i], kRel, what);
        ExpectStat(rows[i].GetLowerConfidenceInterval(), c["lower"][i], kRel, what);
        ExpectStat(rows[i].GetUpperConfidenceInterval(), c["upper"][i], kRel, what);
      }
    }
  }
  // The textbook example: 0.01, 0.02, 0.03 become 0.03, 0.04, 0.04 (rows hold 0.02, 0.03, 0.01).
  const json& textbook = Reference()["stepdown"]["textbook"]["cases"][2];
  ASSERT_EQ(textbook["method"], "bonferroni");
  const std::vector<double> expected = {0.04, 0.04, 0.03};
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(textbook["adj"][i].get<double>(), expected[i], 1e-14);
}

}  // namespace
