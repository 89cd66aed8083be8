// Model tests at their edges: refused arguments, hypotheses without a testable part, test types
// without an overall statistic, the multiplier, quantiles, cancellation, means at the edge of a link's
// range, and Satterthwaite degrees of freedom (references: model_tests_wald.R for the quantiles,
// model_tests_satterthwaite.R for the mixed model).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "tests/inference/model_tests_support.h"

namespace model_tests {
namespace {

using QXCommon_600::QXStatus;
using namespace QXConst;

QXRectMatrix Rect(const std::vector<std::vector<double>>& rows) {
  QXRectMatrix m;
  for (const auto& row : rows) m.AppendRow(row);
  return m;
}

// b = (1, 2, 3) with variances 0.25, 1 and 0 (the third parameter is known without error); df 10.
class SmallModel : public ::testing::Test {
 protected:
  SmallModel() {
    V.SetElem(0, 0, 0.25);
    V.SetElem(1, 1, 1.0);
  }
  QXModelTests Tests(QXTestType type, QXPAdjustMethod method = QXPAdjLSD) const {
    QXModelTests tests(b, redundancy, V, 10.0, nullptr);
    tests.SetTestType(type);
    tests.SetPAdjustment(method);
    tests.SetConfidenceLevel(0.95);
    tests.SetLinkFunction(logit.get());
    return tests;
  }
  std::vector<double> b = {1.0, 2.0, 3.0};
  QXSymMatrix V{3};
  QXBitSet redundancy{3};
  std::unique_ptr<IQXLinkFunc> logit{QXMath_600::CreateLinkFunction(QXLinkTypeLogit, 0.0)};
  QXRectMatrix L01 = Rect({{1, 0, 0}, {0, 1, 0}});  // t = 2 for both rows
  std::vector<QXTestStats> rows;
  QXTestStats overall;
};

TEST_F(SmallModel, ArgumentsThatDoNotFitAreRefusedWithAStatus) {
  QXModelTests tests = Tests(QXTestWaldF);
  const QXRectMatrix narrow(1, 2), T = Rect({{1, -1}});
  const QXStatus mismatch = tests.ComputeOverallTest(narrow, overall);
  EXPECT_EQ(mismatch.GetErrorCode(), 322);
  EXPECT_TRUE(mismatch.IsError());
  EXPECT_EQ(mismatch.GetDiscreteDatum(0), 2);
  EXPECT_EQ(mismatch.GetDiscreteDatum(1), 3);
  EXPECT_EQ(overall.GetWald(), kM);
  EXPECT_EQ(tests.ComputeOvAndIndTests(narrow, {}, rows, overall, 0).GetErrorCode(), 322);
  EXPECT_EQ(tests.ComputeOriginalOverallTest(narrow, b, T, overall).GetErrorCode(), 322);
  EXPECT_EQ(tests.ComputeOriginalOvAndIndTests(L01, {1.0, 2.0}, T, rows, overall, 0).GetErrorCode(), 322);
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(tests.ComputeOvAndIndTests(L01, {1.0}, rows, overall, 0).GetErrorCode(), 303);  // one h per row
  EXPECT_EQ(tests.ComputeOriginalOverallTest(L01, b, Rect({{1, -1, 0}}), overall).GetErrorCode(), 303);
  tests.SetLinkFunction(nullptr);
  EXPECT_EQ(tests.ComputeOriginalOverallTest(L01, b, T, overall).GetErrorCode(), 303);
  EXPECT_FALSE(tests.ComputeIndivTest(L01, 2, 0.0, 1, overall, true));
  EXPECT_FALSE(tests.ComputeIndivTest(L01, -1, 0.0, 1, overall, true));
  const QXSymMatrix small(2);
  EXPECT_EQ(QXModelTests(b, redundancy, small, 10.0, nullptr).ComputeOverallTest(L01, overall).GetErrorCode(),
            336);

  // Non-finite estimates or covariances: no statistic, rather than a false certainty.
  const std::vector<double> nanEstimates = {std::nan(""), 2.0, 3.0};
  QXSymMatrix infiniteV(V);
  infiniteV.SetElem(0, 0, std::numeric_limits<double>::infinity());
  for (const QXModelTests& bad : {QXModelTests(nanEstimates, redundancy, V, 10.0, nullptr),
                                  QXModelTests(b, redundancy, infiniteV, 10.0, nullptr)}) {
    ASSERT_TRUE(bad.ComputeOvAndIndTests(L01, {}, rows, overall, 0).IsOK());
    EXPECT_EQ(overall.GetSig(), kM);
    EXPECT_EQ(rows[0].GetSig(), kM);
  }
}

TEST_F(SmallModel, ModelTestRecordsEveryEffectAndSkipsAfterAnError) {
  const QXModelTests tests = Tests(QXTestWaldF);
  QXMath_600::QXModelTestStats stats;
  const QXRectMatrix L = Rect({{1, 0, 0}});
  EXPECT_EQ(tests.ComputeModelTest(QXRectMatrix(0, 3), QXStatus(), stats), QXStatus(321, true));
  EXPECT_TRUE(tests.ComputeModelTest(L, QXStatus(321, true), stats).IsOK());
  EXPECT_EQ(tests.ComputeModelTest(L, QXStatus(303, false), stats), QXStatus(303, false));
  EXPECT_EQ(tests.ComputeModelTest(L, QXStatus(323, true), stats), QXStatus(323, true));
  ASSERT_EQ(stats.GetNTests(), 4);
  EXPECT_EQ(stats.GetTestStats(0)->GetWald(), kM);
  EXPECT_EQ(stats.GetTestStats(1)->GetWald(), 4.0);  // F = (1 / 0.5)^2
  EXPECT_EQ(stats.GetTestStats(2)->GetWald(), kM);
  EXPECT_EQ(*stats.GetStatus(3), QXStatus(323, true));
}

TEST_F(SmallModel, HypothesisWithoutTestablePartIsDecidedByItsValue) {
  const QXModelTests tests = Tests(QXTestWaldF, QXPAdjBonferroni);
  // L b = 3 (and 6) without variance: rank 0, and false for certain.
  for (const QXRectMatrix& L : {Rect({{0, 0, 1}}), Rect({{0, 0, 1}, {0, 0, 2}})}) {
    ASSERT_TRUE(tests.ComputeOverallTest(L, overall).IsOK());
    EXPECT_EQ(overall.GetSig(), 0.0);
    EXPECT_EQ(overall.GetAdjSig(), 0.0);
    EXPECT_EQ(overall.GetWald(), kM);
    EXPECT_EQ(overall.GetDF(), kM);
    EXPECT_EQ(overall.GetDF2(), kM);
    EXPECT_TRUE(overall.IsUsedInOverallTest());
  }
  // Against its own value the same contrast holds, and a reused record keeps nothing of before.
  ASSERT_TRUE(tests.ComputeOvAndIndTests(Rect({{0, 0, 1}}), {3.0}, rows, overall, 0).IsOK());
  EXPECT_EQ(overall.GetSig(), kM);
  EXPECT_EQ(rows[0].GetSig(), kM);
  EXPECT_EQ(rows[0].GetStandardError(), 0.0);
  ASSERT_TRUE(tests.ComputeOvAndIndTests(Rect({{0, 0, 1}}), {2.5}, rows, overall, 0).IsOK());
  EXPECT_EQ(overall.GetSig(), 0.0);
  EXPECT_EQ(rows[0].GetAdjSig(), 0.0);
}

TEST_F(SmallModel, TestTypesWithoutOverallStatisticTestTheRowsOnly) {
  for (QXTestType type : {QXTestIndividualT, QXTestIndividualChiSquare, static_cast<QXTestType>(7)}) {
    ASSERT_TRUE(Tests(type).ComputeOvAndIndTests(L01, {}, rows, overall, 0).IsOK());
    EXPECT_EQ(overall.GetWald(), kM);
    EXPECT_EQ(overall.GetSig(), kM);
    EXPECT_TRUE(overall.IsUsedInOverallTest());
    const double statistic = type == QXTestIndividualT ? 2.0 : type == QXTestIndividualChiSquare ? 4.0 : kM;
    for (const QXTestStats& row : rows) {
      EXPECT_EQ(row.GetWald(), statistic);
      EXPECT_EQ(row.GetDF2(), type == QXTestIndividualT ? 10.0 : kM);
      EXPECT_EQ(row.GetSig() == kM, statistic == kM);
    }
  }
  EXPECT_EQ(Tests(static_cast<QXTestType>(7)).ComputePercentile(0.9, 5.0), kM);
  // An F test needs as many residual df as its rank.
  QXModelTests tests = Tests(QXTestWaldF);
  tests.SetDF(1.0);
  ASSERT_TRUE(tests.ComputeOvAndIndTests(L01, {}, rows, overall, 0).IsOK());
  EXPECT_EQ(overall.GetDF(), 2.0);
  EXPECT_EQ(overall.GetWald(), kM);
  EXPECT_EQ(overall.GetSig(), kM);
}

TEST_F(SmallModel, GivenMultiplierSmallerThanTheRowsAndAdjustmentsCappedAtOne) {
  // m = 1 for three rows (one of them zero): the row map still covers every row, and the step-down
  // never multiplies by less than one test.
  const QXRectMatrix L = Rect({{1, 0, 0}, {0, 1, 0}, {0, 0, 0}});
  ASSERT_TRUE(Tests(QXTestWaldF, QXPAdjSeqBonferroni).ComputeOvAndIndTests(L, {}, rows, overall, 1).IsOK());
  ASSERT_EQ(rows.size(), 3u);
  for (const QXTestStats& row : rows) EXPECT_EQ(row.GetNNonRedunRows(), 1);
  EXPECT_EQ(rows[1].GetAdjSig(), rows[1].GetSig());
  ASSERT_TRUE(
      Tests(QXTestChiSquare, QXPAdjSeqSidak)
          .ComputeOriginalOvAndIndTests(L, b, Rect({{1, 0, 0}, {0, 1, 0}, {1, -1, 0}}), rows, overall, 2)
          .IsOK());
  EXPECT_EQ(rows.size(), 3u);
  // p about 0.84 and 0.92 over five tests.
  for (QXPAdjustMethod method : {QXPAdjBonferroni, QXPAdjSeqBonferroni, QXPAdjSidak, QXPAdjSeqSidak}) {
    ASSERT_TRUE(
        Tests(QXTestChiSquare, method).ComputeOvAndIndTests(L01, {0.9, 1.9}, rows, overall, 5).IsOK());
    if (method == QXPAdjBonferroni || method == QXPAdjSeqBonferroni) {
      EXPECT_EQ(rows[1].GetAdjSig(), 1.0);
    } else {
      EXPECT_LT(rows[1].GetAdjSig(), 1.0);
    }
  }
}

TEST_F(SmallModel, PercentilesFollowTheLevelTheDfAndTheTestType) {
  const json ref = kernel_test::LoadReference("model_tests_wald.json");
  // Both libraries' quantiles agree to a few units of 1e-15.
  for (const json& q : ref["quantiles"]) {
    const QXModelTests tests = Tests(static_cast<QXTestType>(q["type"].get<int>()));
    ExpectStat(tests.ComputeAdjPercentile(static_cast<QXPAdjustMethod>(q["method"].get<int>()), q["alpha"],
                                          q["n"], q["df"]),
               q["q"], 1e-13, "critical value");
  }
  for (const json& q : ref["percentiles"])
    ExpectStat(Tests(static_cast<QXTestType>(q["type"].get<int>())).ComputePercentile(q["p"], q["df"]),
               q["q"], 1e-13, "percentile");
  QXModelTests tests = Tests(QXTestWaldF);
  EXPECT_EQ(tests.ComputeAdjPercentile(QXPAdjSeqBonferroni, 0.05, 3, 10.0), kM);
  EXPECT_EQ(tests.ComputeAdjPercentile(QXPAdjBonferroni, 0.05, 0, 10.0), kM);
  // Level 0.95: t at df 10, then the normal quantile for chi-square tests, then t at df 5.
  const json& quantiles = ref["quantiles"];
  ExpectStat(tests.GetPercentile(), quantiles[0]["q"], 1e-13, "t at df 10");
  tests.SetTestType(QXTestChiSquare);
  ExpectStat(tests.GetPercentile(), quantiles[1]["q"], 1e-13, "normal");
  tests.SetTestType(QXTestWaldF);
  tests.SetDF(5.0);
  ExpectStat(tests.GetPercentile(), quantiles[2]["q"], 1e-13, "t at df 5");
  EXPECT_FALSE(tests.SetConfidenceLevel(1.0));
  EXPECT_FALSE(tests.SetConfidenceLevel(std::nan("")));
  EXPECT_EQ(tests.GetConfidenceLevel(), 0.95);
}

// Says yes from its n-th question on.
class CancelAfter : public QXCommon_600::QXQueryCancel {
 public:
  explicit CancelAfter(int n) : fN(n) {}
  bool IsCancelRequested() override { return ++fAsked >= fN; }
  bool IsCancelPending() override { return false; }
  int fN, fAsked = 0;
};

TEST_F(SmallModel, OriginalScaleOverallTestReportsCancellation) {
  const QXRectMatrix T = Rect({{1, 0}, {0, 1}});
  for (int n : {1, 2, 3, 4}) {
    CancelAfter cancel(n);
    QXModelTests tests(b, redundancy, V, 10.0, &cancel);
    tests.SetLinkFunction(logit.get());
    // Asked before each of the two rows and once after them.
    EXPECT_EQ(tests.ComputeOriginalOverallTest(L01, b, T, overall).GetErrorCode(), n <= 3 ? 1 : 0) << n;
    EXPECT_EQ(tests.GetStatus().GetErrorCode(), n <= 3 ? 1 : 0) << n;
    EXPECT_EQ(cancel.fAsked, std::min(n, 3)) << n;
  }
}

TEST_F(SmallModel, MeansAtTheEdgeOfTheLinkRangeAndMissingMeans) {
  // eta = 800 gives a probability of exactly 1, where the logit has no derivative: the mean is known
  // and adds no variance. Under the log link eta = 710 has no mean at all.
  const QXRectMatrix T = Rect({{1, 0}, {1, -1}, {0, 1}});
  QXModelTests tests = Tests(QXTestChiSquare);
  ASSERT_TRUE(tests.ComputeOriginalOvAndIndTests(L01, {800.0, 0.5, 0.0}, T, rows, overall, 0).IsOK());
  EXPECT_EQ(rows[0].GetContrastEstimate(), 1.0);
  EXPECT_EQ(rows[0].GetStandardError(), 0.0);
  EXPECT_EQ(rows[0].GetSig(), 0.0);
  EXPECT_EQ(rows[0].GetLowerConfidenceInterval(), 1.0);
  const double mu = 1.0 / (1.0 + std::exp(-0.5));  // d mu / d eta = mu (1 - mu), V = 1
  EXPECT_NEAR(rows[1].GetStandardError(), mu * (1.0 - mu), 1e-15);
  EXPECT_EQ(overall.GetDF(), 1.0);
  EXPECT_NE(overall.GetSig(), kM);

  const std::unique_ptr<IQXLinkFunc> log(QXMath_600::CreateLinkFunction(QXLinkTypeLog, 0.0));
  tests.SetLinkFunction(log.get());
  ASSERT_TRUE(tests.ComputeOriginalOvAndIndTests(L01, {710.0, 0.5, 0.0}, T, rows, overall, 0).IsOK());
  EXPECT_EQ(overall.GetSig(), kM);
  EXPECT_EQ(overall.GetDF(), kM);
  EXPECT_EQ(rows[0].GetContrastEstimate(), kM);
  EXPECT_EQ(rows[0].GetSig(), kM);
  EXPECT_NE(rows[2].GetSig(), kM);
}

TEST(ModelTestsSatterthwaite, GrandMeanOfABalancedRandomModelIsTheTTestOfTheGroupMeans) {
  const json ref = kernel_test::LoadReference("model_tests_satterthwaite.json");
  const FittedModel model(ref);
  const QXSymMatrix hInverse = kernel_test::ToSym(ref["h_inverse"]);
  const std::vector<double> theta = ref["theta"].get<std::vector<double>>();
  std::vector<QXSymMatrix> derivatives(2, QXSymMatrix(1));
  for (int i = 0; i < 2; ++i) derivatives[i].SetElem(0, 0, ref["derivatives"][i].get<double>());
  const std::vector<QXSymMatrix*> pointers = {&derivatives[0], &derivatives[1]};
  QXMath_600::QXSatterthwaite satterthwaite(hInverse, model.V, theta, pointers, model.df);
  QXModelTests tests = model.Tests(QXTestWaldF);
  tests.SetSatterthwaite(&satterthwaite);
  const QXRectMatrix L = Rect({{1.0}});
  // The exact df (5) replace the residual df (29); the p-value moves by 14 times the df's rounding.
  QXTestStats overall, row;
  ASSERT_TRUE(tests.ComputeOverallTest(L, overall).IsOK());
  ExpectStat(overall.GetDF2(), ref["df2"], 1e-12, "overall df");
  ExpectStat(overall.GetSig(), ref["p"], 1e-10, "overall p");
  ASSERT_TRUE(tests.ComputeIndivTest(L, 0, 0.0, 1, row, true));
  ExpectStat(row.GetWald(), ref["t"], 1e-13, "t");
  ExpectStat(row.GetDF2(), ref["df2"], 1e-12, "row df");
  ExpectStat(row.GetSig(), ref["p"], 1e-10, "row p");
  ExpectStat(row.GetLowerConfidenceInterval(), ref["lower"], 1e-12, "lower");
  ExpectStat(row.GetUpperConfidenceInterval(), ref["upper"], 1e-12, "upper");
}

}  // namespace
}  // namespace model_tests
