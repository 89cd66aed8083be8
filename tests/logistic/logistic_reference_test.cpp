// End-to-end fits through the public API (settings, factory, binary iterator over a file, output
// statistics, scoring) against R, for the cases of tests/reference/logistic_models.json: three
// factors with frequency weights, covariates only, a reference category given by its code, an aliased
// effect, an empty cell, nesting, an intercept-only model, regression weights, no intercept, and two
// categories against glm(binomial). Every case is fitted twice, streaming and with the pattern
// tabulator, with the settings' default convergence criteria.
//
// Tolerances (relative): 1e-10 on estimates, standard errors, log-likelihoods, pseudo R-squares and
// fitted probabilities against the reference, which is VGAM's fit refined by Newton steps in R to
// rounding level, with standard errors from the inverse information at it. The library stops when
// the relative parameter change falls below 1e-6, and Fisher scoring converges quadratically, so its
// estimates come within 5e-11 of the maximum (measured; most within 1e-13). Second opinions: VGAM's
// own estimates, which stop up to 1.3e-8 short of the maximum on the badly scaled square of a
// covariate, at 1e-7, and its standard errors, formed from working weights floored at 1.8e-12 and up to
// 2.1e-7 off, at 1e-6; nnet, which stops near 1e-8 in the log-likelihood, at 1e-5; glm at 1e-10 on
// estimates.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "logistic_test_support.h"

namespace {

using qx_linear_test::Near;
using qx_linear_test::NearScaled;
using qx_logistic_test::Fit;
using qx_logistic_test::json;
using qx_logistic_test::MakeSettings;
using qx_logistic_test::ReferenceCases;

constexpr double kRel = 1e-10;

class LogisticModelAgainstR : public ::testing::TestWithParam<std::tuple<std::size_t, bool>> {
 protected:
  void SetUp() override {
    fCase = ReferenceCases()[std::get<0>(GetParam())];
    fRecords = fCase["records"].get<qx_linear_test::Records>();
    fFit = std::make_unique<Fit>(MakeSettings(fCase, std::get<1>(GetParam())), fRecords);
    ASSERT_FALSE(fFit->status.IsError()) << fFit->status.GetMessage();
    ASSERT_NE(fFit->stats, nullptr);
  }
  // The largest reference estimate: estimates that are 0 in exact arithmetic are compared on its scale.
  double Largest(const char* key) const {
    double largest = 0.0;
    for (const json& p : fCase["parameters"]) largest = std::max(largest, std::fabs(p[key].get<double>()));
    return largest;
  }

  json fCase;
  qx_linear_test::Records fRecords;
  std::unique_ptr<Fit> fFit;
};

TEST_P(LogisticModelAgainstR, EstimatesStandardErrorsAndLayoutMatch) {
  const QXMath_600::QXLogOutputStats& stats = *fFit->stats;
  const json& reference = fCase["parameters"];
  ASSERT_EQ(stats.GetParamEstimates().size(), reference.size());
  EXPECT_EQ(stats.GetDependCategories(), fCase["categories"].get<std::vector<int>>());
  const double largest = Largest("estimate");
  const QXMath_600::QXSymMatrix* covariance = stats.GetCovarianceMatrix();
  ASSERT_NE(covariance, nullptr);
  for (std::size_t k = 0; k < reference.size(); ++k) {
    const json& p = reference[k];
    const int i = static_cast<int>(k);
    SCOPED_TRACE(p["label"].get<std::string>() + " for category " + std::to_string(p["category"].get<int>()));
    const bool redundant = p["redundant"].get<bool>();
    EXPECT_EQ(!stats.GetRedundancyIndicators().IsIn(i), redundant);
    EXPECT_EQ(stats.GetParamStats()[k].fbRedundant, redundant);
    EXPECT_EQ(stats.GetParameters()[k].GetEffectIndex(), p["effect"].get<int>());
    EXPECT_EQ(stats.GetParameters()[k].GetTargetCategory(), p["category"].get<int>());
    const double estimate = stats.GetParamEstimates()[k];
    if (redundant) {
      EXPECT_EQ(estimate, 0.0);
      EXPECT_EQ(covariance->GetElem(i, i), 0.0);
      continue;
    }
    EXPECT_PRED4(NearScaled, estimate, p["estimate"].get<double>(), kRel, largest);
    EXPECT_PRED4(NearScaled, estimate, p["vgam_estimate"].get<double>(), 1e-7, largest);
    EXPECT_PRED4(NearScaled, estimate, p["nnet_estimate"].get<double>(), 1e-5, largest);
    if (!p["glm_estimate"].is_null()) {
      EXPECT_PRED3(Near, estimate, p["glm_estimate"].get<double>(), kRel);
    }
    const double se = std::sqrt(covariance->GetElem(i, i));
    EXPECT_PRED3(Near, se, p["std_error"].get<double>(), kRel);
    EXPECT_PRED3(Near, se, p["vgam_std_error"].get<double>(), 1e-6);
    EXPECT_PRED3(Near, stats.GetParamStats()[k].fStdError, se, 1e-15);
  }
}

TEST_P(LogisticModelAgainstR, LikelihoodsPseudoRSquaresAndDegreesOfFreedomMatch) {
  const QXMath_600::QXLogOutputStats& stats = *fFit->stats;
  EXPECT_PRED3(Near, stats.GetFinalLogLikelihood(), fCase["loglik"].get<double>(), kRel);
  EXPECT_PRED3(Near, stats.GetInitialLogLikelihood(), fCase["loglik0"].get<double>(), kRel);
  const bool iterated = stats.GetNIterations() > 0;
  EXPECT_EQ(iterated, fCase["parameters"].size() > fCase["categories"].size() - 1 || !fCase["intercept"]);
  const auto fit = [&](QXConst::QXModelFitStat s, const char* key) {
    const double value = stats.GetModelFitStat(s);
    if (iterated) {
      EXPECT_PRED4(NearScaled, value, fCase[key].get<double>(), kRel, 1e-3) << key;
    } else {
      EXPECT_EQ(value, 0.0) << key;
    }
  };
  fit(QXConst::QXFitCoxSnell, "cox_snell");
  fit(QXConst::QXFitNagelkerke, "nagelkerke");
  fit(QXConst::QXFitMcFadden, "mcfadden");
  EXPECT_TRUE(QXMV::IsMissing(stats.GetModelFitStat(QXConst::QXFitRSquare)));
  EXPECT_EQ(stats.GetNDegFreedom(), fCase["df_error"].get<double>());
  EXPECT_PRED3(Near, stats.GetTotalFreqWeight(), fCase["total_freq_weight"].get<double>(), 1e-15);
  EXPECT_PRED3(Near, stats.GetTotalRegrWeight(), fCase["total_weight"].get<double>(), 1e-14);
  const int state = stats.GetConvergenceState();
  EXPECT_TRUE(iterated ? state == 2 || state == 3 : state == 9) << state;
  EXPECT_TRUE(fFit->component->GetWarnings().empty());
}

TEST_P(LogisticModelAgainstR, ScoresEveryRecordAsRFitsIt) {
  const std::vector<std::vector<double>> probabilities = fCase["probabilities"];
  const std::vector<int> predicted = fCase["predicted"];
  for (std::size_t i = 0; i < fRecords.size(); ++i) {
    const QXCommon_600::Record record(fRecords[i].data(), static_cast<int>(fRecords[i].size()));
    double category = 0.0;
    std::vector<double> p;
    ASSERT_TRUE(fFit->component->Score(record, category, p).IsOK());
    EXPECT_EQ(category, predicted[i]) << "record " << i;
    ASSERT_EQ(p.size(), probabilities[i].size());
    for (std::size_t k = 0; k < p.size(); ++k)
      EXPECT_PRED4(NearScaled, p[k], probabilities[i][k], kRel, 1e-6) << "record " << i << " category " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(PublicDatasets, LogisticModelAgainstR,
                         ::testing::Combine(::testing::Range<std::size_t>(0, ReferenceCases().size()),
                                            ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<std::size_t, bool>>& info) {
                           return ReferenceCases()[std::get<0>(info.param)]["name"].get<std::string>() +
                                  (std::get<1>(info.param) ? "_tabulated" : "_streamed");
                         });

}  // namespace
