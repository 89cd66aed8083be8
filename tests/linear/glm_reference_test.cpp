// End-to-end fits through the public API (settings, factory, binary iterator over a file, output
// statistics, scoring) against lm() on the library's design, for the cases of
// tests/reference/linear_models.json: crossed and nested factors, an empty cell, covariates, powers
// and products of covariates, factor-by-covariate slopes, a design confounded with blocks, frequency
// and regression weights, and models without an intercept.
//
// Tolerance: 1e-12 relative. lm() solves by Householder QR in double, which on these small,
// well-conditioned designs agrees with the exact solution to about 1e-14 (the two agree to that
// level); the library's sweep runs in double-double. Estimates that are 0 in exact arithmetic (lm() gives
// rounding noise there) are compared relative to the largest estimate of the model.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "linear_test_support.h"
#include "qxregres600r.h"

namespace {

using nlohmann::json;
using qx_linear_test::ColumnIndex;
using qx_linear_test::MakeSettings;
using qx_linear_test::Near;
using qx_linear_test::NearScaled;
using qx_linear_test::RecordFile;
using qx_linear_test::Records;
using QXMath_600::IQXRegComponent;
using QXMath_600::IQXRegOutputStats;

constexpr double kRel = 1e-12;

const json& Cases() {
  static const json cases = [] {
    std::ifstream in(std::string(QX_TEST_REFERENCE_DIR) + "/linear_models.json");
    return json::parse(in)["cases"];
  }();
  return cases;
}

class LinearModelAgainstLm : public ::testing::TestWithParam<std::size_t> {
 protected:
  void SetUp() override {
    fCase = Cases()[GetParam()];
    fRecords = fCase["records"].get<Records>();
    fFile = std::make_unique<RecordFile>(fRecords);
    fSettings = MakeSettings(fCase);
    QXMath_600::QXRegFactory factory;
    fComponent.reset(factory.CreateRegAlgorithm(fSettings));
    ASSERT_NE(fComponent, nullptr) << factory.GetStatus().GetMessage();
    auto it = fFile->Iterator();
    const QXCommon_600::QXStatus status = fComponent->BuildModel(it);
    ASSERT_TRUE(status.IsOK()) << status.GetMessage();
    ASSERT_TRUE(fComponent->GetOutputStats(fStats).IsOK());
  }

  json fCase;
  Records fRecords;
  std::unique_ptr<RecordFile> fFile;
  QXMath_600::QXRegSettings fSettings;
  std::unique_ptr<IQXRegComponent> fComponent;
  IQXRegOutputStats* fStats = nullptr;
};

TEST_P(LinearModelAgainstLm, EstimatesAliasingAndStandardErrorsMatch) {
  const json& reference = fCase["parameters"];
  const std::vector<double>& estimates = fStats->GetParamEstimates();
  ASSERT_EQ(estimates.size(), reference.size());
  double largest = 0.0;
  for (const json& p : reference) largest = std::max(largest, std::fabs(p["estimate"].get<double>()));

  const double w = fStats->GetTotalFreqWeight();
  const double df = fStats->GetNDegFreedom();
  const double rmse = fStats->GetModelFitStat(QXConst::QXFitRootMSE);
  const double sigma2 = rmse * rmse * w / df;
  const QXMath_600::QXSymMatrix* covariance = fStats->GetCovarianceMatrix();
  for (std::size_t k = 0; k < reference.size(); ++k) {
    const json& p = reference[k];
    const int i = static_cast<int>(k);
    SCOPED_TRACE(p["label"].get<std::string>());
    EXPECT_EQ(!fStats->GetRedundancyIndicators().IsIn(i), p["redundant"].get<bool>());
    EXPECT_EQ(fStats->GetParamStats()[k].fbRedundant, p["redundant"].get<bool>());
    EXPECT_EQ(fStats->GetParameters()[k].GetEffectIndex(), p["effect"].get<int>());
    EXPECT_PRED4(NearScaled, estimates[k], p["estimate"].get<double>(), kRel, largest);
    if (p["redundant"].get<bool>()) {
      EXPECT_EQ(estimates[k], 0.0);
      EXPECT_EQ(covariance->GetElem(i, i), 0.0);
      continue;
    }
    EXPECT_PRED3(Near, std::sqrt(covariance->GetElem(i, i) * sigma2), p["std_error"].get<double>(), kRel);
  }
}

TEST_P(LinearModelAgainstLm, FitStatisticsAndDegreesOfFreedomMatch) {
  EXPECT_PRED3(Near, fStats->GetModelFitStat(QXConst::QXFitRSquare), fCase["r_squared"].get<double>(), kRel);
  EXPECT_PRED3(Near, fStats->GetModelFitStat(QXConst::QXFitRootMSE), fCase["rmse"].get<double>(), kRel);
  EXPECT_EQ(fStats->GetNDegFreedom(), fCase["df_error"].get<double>());
  EXPECT_PRED3(Near, fStats->GetTotalFreqWeight(), fCase["total_freq_weight"].get<double>(), 1e-15);
  EXPECT_PRED3(Near, fStats->GetTotalRegrWeight(), fCase["total_regr_weight"].get<double>(), 1e-14);
  const double sigma = fStats->GetModelFitStat(QXConst::QXFitRootMSE) *
                       std::sqrt(fStats->GetTotalFreqWeight() / fStats->GetNDegFreedom());
  EXPECT_PRED3(Near, sigma, fCase["sigma"].get<double>(), kRel);
}

TEST_P(LinearModelAgainstLm, ScoresEveryRecordAsLmFitsIt) {
  const std::vector<double> fitted = fCase["fitted"].get<std::vector<double>>();
  double scale = 0.0;
  for (double f : fitted) scale = std::max(scale, std::fabs(f));
  std::vector<double> probabilities{7.0};
  for (std::size_t i = 0; i < fRecords.size(); ++i) {
    const QXCommon_600::Record record(fRecords[i].data(), static_cast<int>(fRecords[i].size()));
    double predicted = 0.0;
    ASSERT_TRUE(fComponent->Score(record, predicted, probabilities).IsOK());
    EXPECT_PRED4(NearScaled, predicted, fitted[i], kRel, scale) << "record " << i;
    // The design row of the output statistics gives the same prediction.
    std::vector<double> row;
    ASSERT_TRUE(fStats->ExpandRow(record, row));
    ASSERT_EQ(row.size(), fStats->GetParamEstimates().size());
    double dot = 0.0;
    for (std::size_t k = 0; k < row.size(); ++k) dot += row[k] * fStats->GetParamEstimates()[k];
    EXPECT_PRED4(NearScaled, dot, fitted[i], kRel, scale);
  }
  EXPECT_EQ(probabilities, std::vector<double>{7.0});
}

INSTANTIATE_TEST_SUITE_P(PublicDatasets, LinearModelAgainstLm,
                         ::testing::Range<std::size_t>(0, Cases().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                           return Cases()[info.param]["name"].get<std::string>();
                         });

}  // namespace
