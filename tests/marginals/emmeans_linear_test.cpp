// Marginal means of linear models fitted through the public API, against emmeans on lm() fits of the
// same data (tests/reference/emmeans_linear.R): means with standard errors and bounds (covariates at
// their means and at given values, a nested request), pairwise differences with every adjustment, the
// contrast kinds, joint tests of each group, several compare factors, the factor and covariate
// profiles; and a design with an empty cell against the stated formula (means over the combinations
// that exist).
//
// Tolerance: 1e-10 relative. The library and R reach the same numbers from different parameterisations
// (the over-parameterised design with aliased columns against R's treatment contrasts), each solving
// its own least-squares problem; every value agrees to 1e-12 (p-values down to 1e-20 included).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "emmeans_checks.h"

namespace marginals_test {
namespace {

constexpr Checks kChecks{1e-10, false};

class EmmeansLinear : public ::testing::TestWithParam<std::size_t> {
 protected:
  void SetUp() override {
    fCase = LoadReference("emmeans_linear.json")["cases"][GetParam()];
    fSettings = qx_linear_test::MakeSettings(fCase);
    fModel =
        std::make_unique<FittedModel>(fSettings, fCase["records"].get<std::vector<std::vector<double>>>());
    ASSERT_TRUE(fModel->Ok());
    ASSERT_EQ(fModel->fStats->GetNDegFreedom(), fCase["df_error"].get<double>());
  }

  json fCase;
  QXMath_600::QXRegSettings fSettings;
  std::unique_ptr<FittedModel> fModel;
};

TEST_P(EmmeansLinear, MeansWithStandardErrorsAndBounds) {
  for (const json& request : fCase["requests"]) ExpectMeans(fCase, *fModel, request, kChecks);
}

TEST_P(EmmeansLinear, PairwiseDifferencesWithEveryAdjustment) {
  for (const json& request : fCase["requests"])
    if (request.contains("pairs")) ExpectPairs(fCase, *fModel, request, kChecks);
}

TEST_P(EmmeansLinear, ContrastsOfEveryKindAndTheirJointTest) {
  for (const json& request : fCase["requests"])
    if (request.contains("contrasts")) ExpectContrasts(fCase, *fModel, request, kChecks);
}

TEST_P(EmmeansLinear, JointTestOfEachGroup) {
  for (const json& request : fCase["requests"])
    if (request.contains("joint")) ExpectJointTests(fCase, *fModel, request, kChecks);
}

TEST_P(EmmeansLinear, FactorAndCovariateProfiles) {
  auto m = fModel->Marginals({});
  const QXMath_600::QXRectMatrix* L = nullptr;
  if (fCase.contains("factor_means") && !fCase["factor_means"].is_null()) {
    for (const json& expected : fCase["factor_means"]) {
      std::vector<double> means;
      ASSERT_TRUE(
          m->GetFactorEmmeans(qx_linear_test::ColumnIndex(fCase, expected["factor"]), L, means).IsOK());
      for (std::size_t i = 0; i < expected["levels"].size(); ++i)
        EXPECT_TRUE(Close(means[expected["levels"][i].get<int>()], expected["means"][i], kChecks.rel, 0.0,
                          "factor mean"));
    }
  }
  if (fCase.contains("covariate_means") && !fCase["covariate_means"].is_null()) {
    const json& expected = fCase["covariate_means"];
    const std::vector<double> grid = expected["values"];
    std::vector<double> values, means;
    ASSERT_TRUE(m->GetCovarEmmeans(qx_linear_test::ColumnIndex(fCase, expected["covariate"]), grid.front(),
                                   grid.back(), static_cast<int>(grid.size()), L, values, means)
                    .IsOK());
    EXPECT_EQ(values, grid);
    for (std::size_t i = 0; i < grid.size(); ++i)
      EXPECT_TRUE(Close(means[i], expected["means"][i], kChecks.rel, 0.0, "covariate mean"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EmmeansLinear, ::testing::Range<std::size_t>(0, 5),
    [](const ::testing::TestParamInfo<std::size_t>& info) {
      return LoadReference("emmeans_linear.json")["cases"][info.param]["name"].get<std::string>();
    });

}  // namespace
}  // namespace marginals_test
