// Marginal means of a two-category logistic model on the link (log-odds) and the response
// (probability) scale, against emmeans on R's glm with the binomial family
// (tests/reference/emmeans_logistic.R): means with standard errors and bounds (back-transformed on the
// response scale), pairwise differences of log-odds and of probabilities with every adjustment, the
// contrast kinds and the joint test of each group, on both scales, with normal-theory (z) tests.
//
// The model is fitted by the library's logistic component (the reference category set to the first,
// as glm takes it), its estimates first checked against glm's on the same over-parameterised design.
//
// Tolerance: 1e-9 relative. The fit converges to a parameter change of 1e-12; the means and tests
// then agree with emmeans to 1e-12 (with the covariance at glm's final estimates, see the script).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "emmeans_checks.h"

namespace marginals_test {
namespace {

constexpr Checks kChecks{1e-9, true};

class EmmeansLogistic : public ::testing::TestWithParam<std::size_t> {
 protected:
  void SetUp() override {
    fCase = LoadReference("emmeans_logistic.json")["cases"][GetParam()];
    qx_linear_test::FillSettings(fSettings, fCase);
    ASSERT_TRUE(fSettings.SetDependentRefCat(-2, 2));
    ASSERT_TRUE(fSettings.SetParamEstConCriterion(1e-12));
    // z tests and intervals, as emmeans gives for a glm.
    fSettings.SetTestType(QXConst::QXTestChiSquare);
    fModel =
        std::make_unique<FittedModel>(fSettings, fCase["records"].get<std::vector<std::vector<double>>>());
    ASSERT_TRUE(fModel->Ok());
    ASSERT_EQ(fModel->fStats->GetModelType(), QXConst::QXRegModelLogistic);
    fModel->fLink = QXConst::QXLinkTypeLogit;
  }

  json fCase;
  QXMath_600::QXLogRegSettings fSettings;
  std::unique_ptr<FittedModel> fModel;
};

// The fit the marginal means start from: the library's estimates and aliased parameters are glm's.
TEST_P(EmmeansLogistic, TheFitIsGlms) {
  const std::vector<double> b = fCase["b"];
  const QXMath_600::QXBitSet& kept = fModel->fStats->GetRedundancyIndicators();
  ASSERT_EQ(fModel->fEstimates.size(), b.size());
  for (std::size_t j = 0; j < b.size(); ++j) {
    EXPECT_EQ(kept.IsIn(static_cast<int>(j)), !fCase["aliased"][j].get<bool>()) << j;
    EXPECT_TRUE(Close(fModel->fEstimates[j], b[j], 1e-9, 1e-9, "estimate " + std::to_string(j)));
    EXPECT_TRUE(Close(fModel->fCovariance.GetElem(j, j), fCase["V"][j][j], 1e-9, 1e-12, "variance"));
  }
}

TEST_P(EmmeansLogistic, MeansOnBothScales) {
  for (const json& request : fCase["requests"]) ExpectMeans(fCase, *fModel, request, kChecks);
}

TEST_P(EmmeansLogistic, PairwiseDifferencesOnBothScales) {
  for (const json& request : fCase["requests"])
    if (request.contains("pairs")) ExpectPairs(fCase, *fModel, request, kChecks);
}

TEST_P(EmmeansLogistic, ContrastsOnBothScales) {
  for (const json& request : fCase["requests"])
    if (request.contains("contrasts")) ExpectContrasts(fCase, *fModel, request, kChecks);
}

TEST_P(EmmeansLogistic, JointTestsOnBothScales) {
  for (const json& request : fCase["requests"])
    if (request.contains("joint")) ExpectJointTests(fCase, *fModel, request, kChecks);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EmmeansLogistic, ::testing::Range<std::size_t>(0, 1),
    [](const ::testing::TestParamInfo<std::size_t>& info) {
      return LoadReference("emmeans_logistic.json")["cases"][info.param]["name"].get<std::string>();
    });

}  // namespace
}  // namespace marginals_test
