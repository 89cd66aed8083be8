// Wald tests of L b = h against R: car::linearHypothesis and confint on a full-rank fit, emmeans on
// the library's over-parameterised design, p.adjust and the Holm-Sidak step-down
// (tests/reference/model_tests_wald.R).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/inference/model_tests_support.h"

namespace model_tests {
namespace {

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

double Smallest(const json& values) {
  double smallest = 1.0;
  for (const json& v : values)
    if (!v.is_null()) smallest = std::min(smallest, v.get<double>());
  return smallest;
}

TEST(SalariesWald, HypothesesWithValuesMatchLinearHypothesisAndConfint) {
  const json& ref = Reference()["salaries"];
  const FittedModel model(ref);
  const json& rows = ref["rows"];
  const QXRectMatrix L = kernel_test::ToRect(ref["L"]);
  for (QXTestType type : {QXTestWaldF, QXTestChiSquare}) {
    const bool f = type == QXTestWaldF;
    const QXModelTests tests = model.Tests(type);
    std::vector<QXTestStats> records;
    QXTestStats overall;
    ASSERT_TRUE(tests.ComputeOvAndIndTests(L, Values(ref["h"]), records, overall, 0).IsOK());
    ExpectStat(overall.GetWald(), ref[f ? "F" : "chisq"], kRel, "overall");
    ExpectStat(overall.GetSig(), ref[f ? "p_F" : "p_chisq"], kRel, "overall p");
    EXPECT_EQ(overall.GetDF2(), f ? model.df : kM);
    ExpectColumn(records, &QXTestStats::GetContrastEstimate, rows["estimate"], kRel, "estimate");
    ExpectColumn(records, &QXTestStats::GetStandardError, rows["se"], kRel, "se");
    ExpectColumn(records, &QXTestStats::GetWald, rows[f ? "t" : "chisq"], kRel, "statistic");
    ExpectColumn(records, &QXTestStats::GetSig, rows[f ? "p_t" : "p_chisq"], kRel, "p");
    // Intervals are centred on the estimate, not on its distance from h.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(tests.ComputeIndivTest(L, i, 1e4, 1, records[i], true));
    ExpectColumn(records, &QXTestStats::GetLowerConfidenceInterval, rows[f ? "lower" : "lower_z"], kRel,
                 "lower");
    ExpectColumn(records, &QXTestStats::GetUpperConfidenceInterval, rows[f ? "upper" : "upper_z"], kRel,
                 "upper");

    // The same rows with a consistent multiple of the first and a zero row: rank 3 of 5.
    const json& def = ref["deficient"];
    ASSERT_TRUE(
        tests.ComputeOvAndIndTests(kernel_test::ToRect(def["L"]), Values(def["h"]), records, overall, 0)
            .IsOK());
    ExpectStat(overall.GetWald(), def[f ? "F" : "chisq"], kRel, "deficient");
    ExpectStat(overall.GetSig(), def[f ? "p_F" : "p_chisq"], kRel, "deficient p");
    EXPECT_EQ(overall.GetDF(), def["rank"].get<double>());
    EXPECT_FALSE(overall.IsUsedInOverallTest());
    EXPECT_EQ(overall.GetNNonRedunRows(), 3);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(records[i].IsUsedInOverallTest(), i < 3) << i;
    EXPECT_TRUE(kernel_test::Near(records[3].GetSig(), records[0].GetSig(), 1e-13));
    EXPECT_EQ(records[4].GetSig(), kM);  // 0 = 0
    EXPECT_EQ(records[4].GetDF(), kM);
  }
}

// Rows L-M, L-H, M-H of the tension means (rank 2), -2 (L-M) and a zero row, on a design whose b has
// zeros and whose V has zero rows at the aliased parameters.
class WarpbreaksWald : public ::testing::Test {
 protected:
  const json& ref = Reference()["warpbreaks"];
  FittedModel model{ref};
  QXRectMatrix L = kernel_test::ToRect(ref["L"]);
};

TEST_F(WarpbreaksWald, PairwiseDifferencesAndSingleStepAdjustmentsMatchEmmeans) {
  struct Case {
    QXTestType type;
    QXPAdjustMethod method;
    const char* adjusted;
    const char* interval;
  };
  for (const Case& c : std::vector<Case>{{QXTestWaldF, QXPAdjLSD, "p_t", "none"},
                                         {QXTestWaldF, QXPAdjBonferroni, "t_bonferroni", "bonferroni"},
                                         {QXTestIndividualT, QXPAdjSidak, "t_sidak", "sidak"},
                                         {QXTestChiSquare, QXPAdjLSD, "p_z", "none"},
                                         {QXTestChiSquare, QXPAdjBonferroni, "z_bonferroni", "bonferroni"},
                                         {QXTestIndividualChiSquare, QXPAdjSidak, "z_sidak", "sidak"}}) {
    const bool t = c.type == QXTestWaldF || c.type == QXTestIndividualT;
    const bool overallType = c.type == QXTestWaldF || c.type == QXTestChiSquare;
    const std::string what = c.adjusted;
    const QXModelTests tests = model.Tests(c.type, c.method);
    std::vector<QXTestStats> rows;
    QXTestStats overall;
    ASSERT_TRUE(tests.ComputeOvAndIndTests(L, {}, rows, overall, -1).IsOK());
    if (overallType) {
      ExpectStat(overall.GetWald(), ref[t ? "F" : "chisq"], kRel, what + " overall");
      ExpectStat(overall.GetSig(), ref[t ? "p_F" : "p_chisq"], kRel, what + " overall p");
      EXPECT_EQ(overall.GetDF(), 2.0);
      EXPECT_FALSE(overall.IsUsedInOverallTest());
    }
    EXPECT_EQ(overall.GetNNonRedunRows(), 3);
    ASSERT_EQ(rows.size(), 5u);
    ExpectColumn(rows, &QXTestStats::GetContrastEstimate, ref["estimate"], kRel, what);
    ExpectColumn(rows, &QXTestStats::GetSig, ref[t ? "p_t" : "p_z"], kRel, what);
    ExpectColumn(rows, &QXTestStats::GetAdjSig, ref[c.adjusted], kRel, what);
    ExpectStat(overall.GetAdjSig(), Smallest(ref[c.adjusted]), kRel, what + " overall adjusted");
    for (int i = 0; i < 5; ++i) EXPECT_EQ(rows[i].IsUsedInOverallTest(), overallType && i < 2);
    EXPECT_EQ(rows[4].GetStandardError(), 0.0);
    // Intervals of the single-step methods come with the individual test.
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(tests.ComputeIndivTest(L, i, 0.0, 3, rows[i], true));
    const json& ci = ref[t ? "ci_t" : "ci_z"][c.interval];
    ExpectColumn(rows, &QXTestStats::GetLowerConfidenceInterval, ci["lower"], kRel, what + " lower");
    ExpectColumn(rows, &QXTestStats::GetUpperConfidenceInterval, ci["upper"], kRel, what + " upper");
  }
}

TEST_F(WarpbreaksWald, StepDownMatchesHolmAndHolmSidakAndCarriesOverToTheMultiple) {
  for (QXTestType type : {QXTestWaldF, QXTestChiSquare}) {
    for (QXPAdjustMethod method : {QXPAdjSeqBonferroni, QXPAdjSeqSidak}) {
      const json& expected = ref[type == QXTestWaldF ? "stepdown_t" : "stepdown_z"]
                                [method == QXPAdjSeqBonferroni ? "bonferroni" : "sidak"];
      const std::string what = "type " + std::to_string(type) + " method " + std::to_string(method);
      const QXModelTests tests = model.Tests(type, method);
      std::vector<QXTestStats> rows;
      QXTestStats overall;
      ASSERT_TRUE(tests.ComputeOvAndIndTests(L, {}, rows, overall, -1).IsOK());
      ExpectColumn(rows, &QXTestStats::GetAdjSig, expected["adj"], kRel, what);
      ExpectColumn(rows, &QXTestStats::GetLowerConfidenceInterval, expected["lower"], kRel, what);
      ExpectColumn(rows, &QXTestStats::GetUpperConfidenceInterval, expected["upper"], kRel, what);
      ExpectStat(overall.GetAdjSig(), Smallest(expected["adj"]), kRel, what + " overall");
      // The overall test alone draws the same smallest adjusted value from the distinct rows.
      ASSERT_TRUE(tests.ComputeOverallTest(L, overall).IsOK());
      ExpectStat(overall.GetAdjSig(), Smallest(expected["adj"]), kRel, what + " overall test");
    }
  }
  // The transcribed rule gives what p.adjust and the Holm-Sidak formula give.
  ExpectStat(Smallest(ref["stepdown_t"]["bonferroni"]["adj"]), Smallest(ref["t_holm"]), 1e-15, "holm");
  ExpectStat(Smallest(ref["stepdown_t"]["sidak"]["adj"]), Smallest(ref["t_holm_sidak"]), 1e-15, "holm-sidak");
}

TEST(StepDown, TiesKeepRowOrderAndTheTextbookExampleGivesHolmsValues) {
  for (const char* name : {"textbook", "ties"}) {
    const json& ref = Reference()["stepdown"][name];
    const std::vector<double> b = Values(ref["b"]), v = Values(ref["v"]);
    const int n = static_cast<int>(b.size());
    QXRectMatrix L(n, n);
    QXSymMatrix V(n);
    for (int i = 0; i < n; ++i) {
      L.SetElem(i, i, 1.0);
      V.SetElem(i, i, v[i]);
    }
    const QXBitSet redundancy(n);
    for (const json& c : ref["cases"]) {
      QXModelTests tests(b, redundancy, V, ref["df"].get<double>(), nullptr);
      tests.SetTestType(static_cast<QXTestType>(c["type"].get<int>()));
      tests.SetPAdjustment(c["method"] == "bonferroni" ? QXPAdjSeqBonferroni : QXPAdjSeqSidak);
      tests.SetConfidenceLevel(1.0 - Reference()["alpha"].get<double>());
      std::vector<QXTestStats> rows;
      QXTestStats overall;
      ASSERT_TRUE(tests.ComputeOvAndIndTests(L, {}, rows, overall, 0).IsOK());
      const std::string what = std::string(name) + " " + c["method"].get<std::string>() + " type " +
                               std::to_string(c["type"].get<int>());
      ExpectColumn(rows, &QXTestStats::GetSig, c["p"], kRel, what);
      ExpectColumn(rows, &QXTestStats::GetAdjSig, c["adj"], kRel, what);
      ExpectColumn(rows, &QXTestStats::GetLowerConfidenceInterval, c["lower"], kRel, what);
      ExpectColumn(rows, &QXTestStats::GetUpperConfidenceInterval, c["upper"], kRel, what);
      ExpectStat(overall.GetAdjSig(), Smallest(c["adj"]), kRel, what + " overall");
    }
  }
  // 0.01, 0.02, 0.03 (held by rows 2, 0, 1) become 0.03, 0.04, 0.04.
  const json& textbook = Reference()["stepdown"]["textbook"]["cases"][2]["adj"];
  EXPECT_NEAR(textbook[0].get<double>(), 0.04, 1e-14);
  EXPECT_NEAR(textbook[1].get<double>(), 0.04, 1e-14);
  EXPECT_NEAR(textbook[2].get<double>(), 0.03, 1e-14);
}

}  // namespace
}  // namespace model_tests
