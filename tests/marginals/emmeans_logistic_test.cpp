// Marginal means of a two-category logistic model on the link (log-odds) and the response
// (probability) scale, against emmeans on R's glm with the binomial family
// (tests/reference/emmeans_logistic.R): means with standard errors and bounds (back-transformed on the
// response scale), pairwise differences of log-odds and of probabilities with every adjustment, the
// contrast kinds and the joint test of each group, on both scales, with normal-theory (z) tests.
//
// The design is the model's own: its parameters come from a fit through the public API of the same
// records and effects, and the estimates and covariance are R's fit of the logistic model on that
// over-parameterised design (aliased columns 0), as the library's logistic component hands them out.
//
// Tolerance: 1e-9 relative; both sides form the same quantities from the same estimates, and the
// largest difference seen is near 1e-13.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "emmeans_checks.h"
#include "tests/common/kernel_reference.h"

namespace marginals_test {
namespace {

constexpr Checks kChecks{1e-9, true};

class EmmeansLogistic : public ::testing::TestWithParam<std::size_t> {
 protected:
  void SetUp() override {
    fCase = LoadReference("emmeans_logistic.json")["cases"][GetParam()];
    fSettings = qx_linear_test::MakeSettings(fCase);
    // z tests and intervals, as emmeans gives for a glm.
    fSettings.SetTestType(QXConst::QXTestChiSquare);
    fModel =
        std::make_unique<FittedModel>(fSettings, fCase["records"].get<std::vector<std::vector<double>>>());
    ASSERT_TRUE(fModel->Ok());
    ASSERT_EQ(fModel->fStats->GetParameters().size(), fCase["b"].size());
    fModel->UseEstimates(fCase["b"].get<std::vector<double>>(), kernel_test::ToSym(fCase["V"]));
    fModel->fLink = QXConst::QXLinkTypeLogit;
  }

  json fCase;
  QXMath_600::QXRegSettings fSettings;
  std::unique_ptr<FittedModel> fModel;
};

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
