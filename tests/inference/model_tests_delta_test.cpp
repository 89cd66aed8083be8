// Tests on the response scale against emmeans: contrasts of probabilities (logit link) and of rates
// (log link) of glm fits, with delta-method standard errors (tests/reference/model_tests_delta.R).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "tests/inference/model_tests_support.h"

namespace model_tests {
namespace {

using namespace QXConst;

// The library and R form the same delta-method quantities from the same b and V; the means pass
// through exp or the logistic function and the contrast variances through a 3 x 3 generalized
// inverse, which costs a few units of 1e-15. The smallest p-value here is 2.5e-16 (z = 8.2), whose
// relative error is about z^2 times that of z. 1e-12 relative leaves a margin of ten or more.
constexpr double kRel = 1e-12;

double Smallest(const json& values) {
  const std::vector<double> v = values.get<std::vector<double>>();
  return *std::min_element(v.begin(), v.end());
}

// One glm fit with the link it was fitted with; t tests need finite df, which only the log case has.
struct ResponseScaleModel {
  explicit ResponseScaleModel(const std::string& name)
      : ref(kernel_test::LoadReference("model_tests_delta.json")[name]),
        model(ref),
        link(QXMath_600::CreateLinkFunction(name == "logit" ? QXLinkTypeLogit : QXLinkTypeLog, 0.0)) {}
  QXModelTests Tests(QXTestType type, QXPAdjustMethod method = QXPAdjLSD) const {
    QXModelTests tests = model.Tests(type, method);
    tests.SetLinkFunction(link.get());
    return tests;
  }
  json ref;
  FittedModel model;
  std::unique_ptr<IQXLinkFunc> link;
};

class ResponseScale : public ::testing::TestWithParam<const char*> {};

TEST_P(ResponseScale, MeansAndTheirContrastsMatchEmmeans) {
  const ResponseScaleModel m(GetParam());
  const json& z = m.ref["z"];
  const QXRectMatrix L = kernel_test::ToRect(z["L"]), T = kernel_test::ToRect(z["T"]);
  std::vector<QXTestStats> rows;
  QXTestStats overall;
  // The means themselves (T = I): their delta-method standard errors.
  QXRectMatrix identity(3, 3);
  for (int i = 0; i < 3; ++i) identity.SetElem(i, i, 1.0);
  ASSERT_TRUE(
      m.Tests(QXTestChiSquare).ComputeOriginalOvAndIndTests(L, m.model.b, identity, rows, overall, 0).IsOK());
  ExpectColumn(rows, &QXTestStats::GetContrastEstimate, z["mu"], kRel, "mean");
  ExpectColumn(rows, &QXTestStats::GetStandardError, z["mean_se"], kRel, "mean se");

  // Pairwise differences (rank 2 of 3 rows) with the single-step and step-down adjustments.
  for (QXPAdjustMethod method : {QXPAdjLSD, QXPAdjBonferroni, QXPAdjSeqBonferroni}) {
    const char* adjusted = method == QXPAdjLSD ? "p" : method == QXPAdjBonferroni ? "p_bonferroni" : "p_holm";
    const std::string what = adjusted;
    QXModelTests tests = m.Tests(QXTestChiSquare, method);
    ASSERT_TRUE(tests.ComputeOriginalOvAndIndTests(L, m.model.b, T, rows, overall, -1).IsOK());
    ExpectStat(overall.GetWald(), z["chisq"], kRel, what + " chi-square");
    ExpectStat(overall.GetSig(), z["p_chisq"], kRel, what + " p");
    EXPECT_EQ(overall.GetDF(), 2.0);
    EXPECT_FALSE(overall.IsUsedInOverallTest());
    EXPECT_EQ(overall.GetNNonRedunRows(), 3);
    ExpectColumn(rows, &QXTestStats::GetContrastEstimate, z["estimate"], kRel, what);
    ExpectColumn(rows, &QXTestStats::GetStandardError, z["se"], kRel, what);
    ExpectColumn(rows, &QXTestStats::GetSig, z["p"], kRel, what);
    ExpectColumn(rows, &QXTestStats::GetAdjSig, z[adjusted], kRel, what);
    ExpectStat(overall.GetAdjSig(), Smallest(z[adjusted]), kRel, what + " overall adjusted");
    if (method != QXPAdjSeqBonferroni) {
      const json& ci = z[method == QXPAdjLSD ? "ci_none" : "ci_bonferroni"];
      ExpectColumn(rows, &QXTestStats::GetLowerConfidenceInterval, ci["lower"], kRel, what + " lower");
      ExpectColumn(rows, &QXTestStats::GetUpperConfidenceInterval, ci["upper"], kRel, what + " upper");
      // The overall test alone: the same statistic, the adjusted value from the rows.
      ASSERT_TRUE(tests.ComputeOriginalOverallTest(L, m.model.b, T, overall).IsOK());
      ExpectStat(overall.GetWald(), z["chisq"], kRel, what + " overall test");
      ExpectStat(overall.GetAdjSig(), Smallest(z[adjusted]), kRel, what + " overall test adjusted");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Links, ResponseScale, ::testing::Values("logit", "log"));

// The cumulative logit shares the logit's inverse link, so its delta-method tests are the logit's,
// although its Derivative answers d mu / d eta where the logit's answers d eta / d mu.
TEST(ResponseScaleLinks, CumulativeLinkGivesTheTestsOfItsOrdinaryTwin) {
  const ResponseScaleModel m("logit");
  const json& z = m.ref["z"];
  const QXRectMatrix L = kernel_test::ToRect(z["L"]), T = kernel_test::ToRect(z["T"]);
  const std::unique_ptr<IQXLinkFunc> cumulative(QXMath_600::CreateLinkFunction(QXLinkTypeCumLogit, 0.0));
  QXModelTests tests = m.Tests(QXTestChiSquare);
  tests.SetLinkFunction(cumulative.get());
  std::vector<QXTestStats> rows;
  QXTestStats overall;
  ASSERT_TRUE(tests.ComputeOriginalOvAndIndTests(L, m.model.b, T, rows, overall, -1).IsOK());
  ExpectStat(overall.GetWald(), z["chisq"], kRel, "chi-square");
  ExpectColumn(rows, &QXTestStats::GetStandardError, z["se"], kRel, "se");
  ExpectColumn(rows, &QXTestStats::GetSig, z["p"], kRel, "p");
}

TEST(ResponseScaleT, RatesAtFiniteDfGiveTheFAndTTestsOfEmmeans) {
  const ResponseScaleModel m("log");
  const json& t = m.ref["t"];
  std::vector<QXTestStats> rows;
  QXTestStats overall;
  ASSERT_TRUE(m.Tests(QXTestWaldF)
                  .ComputeOriginalOvAndIndTests(kernel_test::ToRect(t["L"]), m.model.b,
                                                kernel_test::ToRect(t["T"]), rows, overall, -1)
                  .IsOK());
  ExpectStat(overall.GetWald(), t["F"], kRel, "F");
  ExpectStat(overall.GetSig(), t["p_F"], kRel, "p of F");
  EXPECT_EQ(overall.GetDF2(), m.model.df);
  ExpectColumn(rows, &QXTestStats::GetWald, t["stat"], kRel, "t");
  ExpectColumn(rows, &QXTestStats::GetSig, t["p"], kRel, "p");
  ExpectColumn(rows, &QXTestStats::GetLowerConfidenceInterval, t["ci_none"]["lower"], kRel, "lower");
  ExpectColumn(rows, &QXTestStats::GetUpperConfidenceInterval, t["ci_none"]["upper"], kRel, "upper");
  for (const QXTestStats& row : rows) EXPECT_EQ(row.GetDF2(), m.model.df);
}

}  // namespace
}  // namespace model_tests
