// The tests of model effects of a fitted logistic model, built from what its output statistics give:
// rank ~ discipline * sex + yrs.since.phd on Salaries, the model of effect_tests_multinomial.R, whose
// Type III chi-squares R formed from nnet's estimates and covariance.
//
// Tolerance: X'WX and the parameter ranges exactly (a sum of whole numbers); the chi-squares to 1e-6
// relative, because nnet stops near 1e-8 in the log-likelihood and its estimates differ from the
// maximum in their seventh digit.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "logistic_test_support.h"

namespace {

using qx_logistic_test::Fit;
using qx_logistic_test::json;

TEST(LogisticEffectTests, TypeIIIChiSquaresFromTheOutputStatisticsMatchR) {
  const json* model = nullptr;
  for (const json& c : qx_logistic_test::ReferenceCases())
    if (c["name"] == "salaries_interaction") model = &c;
  ASSERT_NE(model, nullptr);
  std::ifstream in(std::string(QX_TEST_REFERENCE_DIR) + "/effect_tests_multinomial.json");
  const json reference = json::parse(in);

  QXMath_600::QXLogRegSettings settings = qx_logistic_test::MakeSettings(*model, false);
  settings.SetTestType(QXConst::QXTestChiSquare);
  Fit fit(settings, (*model)["records"].get<qx_linear_test::Records>());
  ASSERT_NE(fit.stats, nullptr) << fit.status.GetMessage();
  const QXMath_600::QXLogOutputStats& stats = *fit.stats;

  const std::vector<std::vector<double>> xtx = reference["xtx"];
  const QXMath_600::QXSymMatrix& xPrimeWX = stats.GetXPrimeWXMatrix();
  ASSERT_EQ(xPrimeWX.GetNRows(), static_cast<int>(xtx.size()));
  for (std::size_t i = 0; i < xtx.size(); ++i)
    for (std::size_t j = 0; j < xtx.size(); ++j)
      EXPECT_EQ(xPrimeWX.GetElem(static_cast<int>(i), static_cast<int>(j)), xtx[i][j]) << i << " " << j;
  EXPECT_EQ(stats.GetEffectFirstParameters(), reference["effect_first"].get<std::vector<int>>());
  EXPECT_EQ(stats.GetEffectNParameters(), reference["effect_count"].get<std::vector<int>>());
  const std::vector<bool> nonRedundant = reference["non_redundant"];
  for (std::size_t j = 0; j < nonRedundant.size(); ++j)
    EXPECT_EQ(stats.GetBasicRedundancyIndicators().IsIn(static_cast<int>(j)), nonRedundant[j]) << j;

  const int nCategories = static_cast<int>(stats.GetDependCategories().size());
  QXMath_600::QXModelEffectTest test(settings, settings.GetModelEffects(), stats.GetParamEstimates(),
                                     stats.GetEffectFirstParameters(), stats.GetEffectNParameters(),
                                     QXConst::QXEffectTypeIII, stats.GetCovarianceMatrix(), &xPrimeWX,
                                     &stats.GetRedundancyIndicators(), QXConst::QXDistNomMultinomial,
                                     nCategories, &stats.GetBasicRedundancyIndicators(), -1.0, nullptr);
  ASSERT_TRUE(test.TestModelEffect().IsOK()) << test.GetStatus().GetMessage();
  const QXMath_600::QXModelTestStats* type3 = test.GetTypeIIITestStats();
  const json& expected = reference["nominal"]["type3"];
  ASSERT_EQ(type3->GetNTests(), static_cast<int>(expected.size()));
  for (int e = 0; e < type3->GetNTests(); ++e) {
    if (expected[e].is_null()) continue;
    EXPECT_EQ(type3->GetTestStats(e)->GetDF(), expected[e]["df"].get<double>()) << e;
    EXPECT_PRED3(qx_linear_test::Near, type3->GetTestStats(e)->GetWald(), expected[e]["chi"].get<double>(),
                 1e-6)
        << e;
  }
}

}  // namespace
