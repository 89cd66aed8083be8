// Tests on the response scale against emmeans: contrasts of probabilities (logit link) and of rates
// (log link) of glm fits, with delta-method standard errors (tests/reference/model_tests_delta.R).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
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
using QXMath_600::IQXLinkFunc;
using QXMath_600::QXModelTests;
using QXMath_600::QXRectMatrix;
using QXMath_600::QXTestStats;
using namespace QXConst;

// The library and R form the same delta-method quantities from the same b and V; the means pass
// through exp or the logistic function and the contrast variances through a 3 x 3 generalized
// inverse, which costs a few units of 1e-15. The smallest p-value here is 2.5e-16 (z = 8.2), whose
// relative error is about z^2 times that of z. 1e-12 relative leaves a margin of ten or more.
constexpr double kRel = 1e-12;

const json& Reference() {
  static const json reference = kernel_test::LoadReference("model_tests_delta.json");
  return reference;
}

double Smallest(const json& values) {
  const std::vector<double> v = values.get<std::vector<double>>();
  return *std::min_element(v.begin(), v.end());
}

// One glm fit with the link it was fitted with.
class ResponseScale : public ::testing::TestWithParam<const char*> {
 protected:
  const json& ref = Reference()[GetParam()];
  FittedModel model{ref};
  std::unique_ptr<IQXLinkFunc> link{QXMath_600::CreateLinkFunction(
      std::string(GetParam()) == "logit" ? QXLinkTypeLogit : QXLinkTypeLog, 0.0)};

  QXModelTests Tests(QXTestType type, QXPAdjustMethod method = QXPAdjLSD) const {
    QXModelTests tests = model.Tests(type, method);
    tests.SetLinkFunction(link.get());
    return tests;
  }
};

TEST_P(ResponseScale, MeansHaveTheDeltaMethodStandardErrorsOfEmmeans) {
  const json& z = ref["z"];
  const QXRectMatrix L = kernel_test::ToRect(z["L"]);
  QXRectMatrix identity(3, 3);
  for (int i = 0; i < 3; ++i) identity.SetElem(i, i, 1.0);
  std::vector<QXTestStats> rows;
  QXTestStats overall;
  ASSERT_TRUE(
      Tests(QXTestChiSquare).ComputeOriginalOvAndIndTests(L, model.b, identity, rows, overall, 0).IsOK());
  for (int i = 0; i < 3; ++i) {
    ExpectStat(rows[i].GetContrastEstimate(), z["mu"][i], kRel, "mean");
    ExpectStat(rows[i].GetStandardError(), z["mean_se"][i], kRel, "standard error");
  }
  EXPECT_EQ(overall.GetDF(), 3.0);
  EXPECT_TRUE(overall.IsUsedInOverallTest());
}

TEST_P(ResponseScale, PairwiseContrastsOfMeansMatchEmmeans) {
  const json& z = ref["z"];
  const QXRectMatrix L = kernel_test::ToRect(z["L"]), T = kernel_test::ToRect(z["T"]);
  for (QXPAdjustMethod method : {QXPAdjLSD, QXPAdjBonferroni, QXPAdjSeqBonferroni}) {
    std::vector<QXTestStats> rows;
    QXTestStats overall;
    ASSERT_TRUE(
        Tests(QXTestChiSquare, method).ComputeOriginalOvAndIndTests(L, model.b, T, rows, overall, -1).IsOK());
    ExpectStat(overall.GetWald(), z["chisq"], kRel, "chi-square");
    ExpectStat(overall.GetSig(), z["p_chisq"], kRel, "p");
    EXPECT_EQ(overall.GetDF(), 2.0);
    EXPECT_FALSE(overall.IsUsedInOverallTest());
    EXPECT_EQ(overall.GetNNonRedunRows(), 3);
    const char* adjusted = method == QXPAdjLSD ? "p" : method == QXPAdjBonferroni ? "p_bonferroni" : "p_holm";
    const json* ci = method == QXPAdjLSD          ? &z["ci_none"]
                     : method == QXPAdjBonferroni ? &z["ci_bonferroni"]
                                                  : nullptr;
    ASSERT_EQ(rows.size(), 3u);
    for (int i = 0; i < 3; ++i) {
      const std::string what = std::string(adjusted) + " row " + std::to_string(i);
      ExpectStat(rows[i].GetContrastEstimate(), z["estimate"][i], kRel, what);
      ExpectStat(rows[i].GetStandardError(), z["se"][i], kRel, what);
      const double stat = z["stat"][i].get<double>();
      ExpectStat(rows[i].GetWald(), stat * stat, kRel, what);
      ExpectStat(rows[i].GetSig(), z["p"][i], kRel, what);
      ExpectStat(rows[i].GetAdjSig(), z[adjusted][i], kRel, what);
      if (!ci) continue;
      ExpectStat(rows[i].GetLowerConfidenceInterval(), (*ci)["lower"][i], kRel, what);
      ExpectStat(rows[i].GetUpperConfidenceInterval(), (*ci)["upper"][i], kRel, what);
    }
    ExpectStat(overall.GetAdjSig(), Smallest(z[adjusted]), kRel, "overall adjusted");
  }
}

TEST_P(ResponseScale, OverallTestOfTheContrastsMatchesTheJointTest) {
  const json& z = ref["z"];
  const QXRectMatrix L = kernel_test::ToRect(z["L"]), T = kernel_test::ToRect(z["T"]);
  for (QXPAdjustMethod method : {QXPAdjLSD, QXPAdjBonferroni}) {
    QXModelTests tests = Tests(QXTestChiSquare, method);
    QXTestStats overall;
    ASSERT_TRUE(tests.ComputeOriginalOverallTest(L, model.b, T, overall).IsOK());
    ExpectStat(overall.GetWald(), z["chisq"], kRel, "chi-square");
    ExpectStat(overall.GetSig(), z["p_chisq"], kRel, "p");
    EXPECT_EQ(overall.GetNNonRedunRows(), 3);
    ExpectStat(overall.GetAdjSig(), Smallest(z[method == QXPAdjLSD ? "p" : "p_bonferroni"]), kRel,
               "adjusted");
    EXPECT_TRUE(tests.GetStatus().IsOK());
  }
}

INSTANTIATE_TEST_SUITE_P(Links, ResponseScale, ::testing::Values("logit", "log"));

TEST(ResponseScaleT, RatesAtFiniteDfGiveTheFAndTTestsOfEmmeans) {
  const json& ref = Reference()["log"];
  const json& t = ref["t"];
  const FittedModel model(ref);
  const std::unique_ptr<IQXLinkFunc> link(QXMath_600::CreateLinkFunction(QXLinkTypeLog, 0.0));
  QXModelTests tests = model.Tests(QXTestWaldF);
  tests.SetLinkFunction(link.get());
  const QXRectMatrix L = kernel_test::ToRect(t["L"]), T = kernel_test::ToRect(t["T"]);
  std::vector<QXTestStats> rows;
  QXTestStats overall;
  ASSERT_TRUE(tests.ComputeOriginalOvAndIndTests(L, model.b, T, rows, overall, -1).IsOK());
  ExpectStat(overall.GetWald(), t["F"], kRel, "F");
  ExpectStat(overall.GetSig(), t["p_F"], kRel, "p of F");
  EXPECT_EQ(overall.GetDF2(), model.df);
  for (int i = 0; i < 3; ++i) {
    const std::string what = "row " + std::to_string(i);
    ExpectStat(rows[i].GetWald(), t["stat"][i], kRel, what);
    ExpectStat(rows[i].GetSig(), t["p"][i], kRel, what);
    EXPECT_EQ(rows[i].GetDF2(), model.df) << what;
    ExpectStat(rows[i].GetLowerConfidenceInterval(), t["ci_none"]["lower"][i], kRel, what);
    ExpectStat(rows[i].GetUpperConfidenceInterval(), t["ci_none"]["upper"][i], kRel, what);
  }
}

}  // namespace
