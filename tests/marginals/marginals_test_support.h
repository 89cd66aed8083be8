// Shared by the marginal-means suites: a model fitted through the public API from a reference case (or
// from records made in the test), its lite design rebuilt from the parameters as a caller rebuilds it,
// the covariance of the estimates, and requests built from the reference files' descriptions.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "qxregres600r.h"
#include "tests/linear/linear_test_support.h"

namespace marginals_test {

using nlohmann::json;
using QXConst::QXContrastType;
using QXConst::QXPAdjustMethod;
using QXMath_600::QXEmmeansSpec;
using QXMath_600::QXEmmeansStats;
using QXMath_600::QXMarginals;
using QXMath_600::QXTestStats;

inline constexpr double kM = QXMV::gMissingValue;

inline json LoadReference(const std::string& file) {
  std::ifstream in(std::string(QX_TEST_REFERENCE_DIR) + "/" + file);
  return json::parse(in);
}

// |a - b| <= rel * max(|b|, scale).
inline ::testing::AssertionResult Close(double actual, double expected, double rel, double scale,
                                        const std::string& what) {
  if (std::fabs(actual - expected) <= rel * std::max(std::fabs(expected), scale))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << what << ": " << actual << " vs " << expected;
}

// A fitted model and everything a caller hands to the marginal means. The settings are the caller's
// (the factory reads their dynamic type) and must outlive the object.
class FittedModel {
 public:
  FittedModel(QXMath_600::QXRegSettings& settings, const std::vector<std::vector<double>>& records)
      : fSettings(settings) {
    for (const std::vector<double>& r : records) fRows.insert(fRows.end(), r.begin(), r.end());
    QXMath_600::QXRegFactory factory;
    fComponent.reset(factory.CreateRegAlgorithm(settings));
    EXPECT_NE(fComponent, nullptr);
    if (!fComponent) return;
    QXCommon_600::QXMemoryRecordIterator it(fRows.data(), static_cast<std::int64_t>(records.size()),
                                            static_cast<int>(records.empty() ? 1 : records[0].size()));
    EXPECT_FALSE(fComponent->BuildModel(it).IsError());
    EXPECT_FALSE(fComponent->GetOutputStats(fStats).IsError());
    if (fStats == nullptr) return;
    fLite = std::make_unique<QXMath_600::QXLiteDesignMatrix>(settings.GetFactors(), settings.GetFactorSizes(),
                                                             settings.GetCovariates());
    for (const QXMath_600::QXRegrParameter& p : fStats->GetParameters()) fLite->AddRegrParameter(p);
    fCovariance = *fStats->GetCovarianceMatrix();
    if (fStats->GetModelType() == QXConst::QXRegModelGLM) {
      // The linear model's covariance is unscaled.
      const double rmse = fStats->GetModelFitStat(QXConst::QXFitRootMSE);
      fCovariance.MultiplyByNumber(rmse * rmse * fStats->GetTotalFreqWeight() / fStats->GetNDegFreedom());
    }
    fCovariateMeans.assign(
        fStats->GetMeanValues().begin(),
        fStats->GetMeanValues().begin() + static_cast<long>(settings.GetCovariates().size()));
    fEstimates = fStats->GetParamEstimates();
    fDF = fStats->GetNDegFreedom();
  }

  // Another model's estimates and covariance over the same parameters, for the marginal means.
  void UseEstimates(const std::vector<double>& estimates, const QXMath_600::QXSymMatrix& covariance) {
    fEstimates = estimates;
    fCovariance = covariance;
  }

  bool Ok() const { return fStats != nullptr; }

  // Marginal means over the fitted model, ready for tests.
  std::unique_ptr<QXMarginals> Marginals(const std::vector<QXEmmeansSpec>& specs) {
    auto m = std::make_unique<QXMarginals>(fSettings, specs, *fLite, fEstimates, fCancel, fCovariateMeans,
                                           &fStats->GetFactorCounts(), fLink, 0.0);
    EXPECT_TRUE(m->GetStatus().IsOK()) << m->GetStatus().GetMessage();
    EXPECT_TRUE(m->SetEmmeansTesting(&fCovariance, fStats->GetRedundancyIndicators(), fDF, nullptr).IsOK());
    return m;
  }

  QXMath_600::QXRegSettings& fSettings;
  std::vector<double> fRows;
  std::unique_ptr<QXMath_600::IQXRegComponent> fComponent;
  QXMath_600::IQXRegOutputStats* fStats = nullptr;
  std::unique_ptr<QXMath_600::QXLiteDesignMatrix> fLite;
  QXMath_600::QXSymMatrix fCovariance;
  std::vector<double> fCovariateMeans;
  std::vector<double> fEstimates;
  double fDF = 0.0;
  QXConst::LinkType fLink = QXConst::QXLinkTypeIdentity;
  QXMath_600::QXCancelInfo fCancel;
};

// A request of a reference file as a specification of the given kind.
inline QXEmmeansSpec MakeSpec(const json& c, const json& request, QXContrastType type,
                              QXPAdjustMethod adjust) {
  QXEmmeansSpec spec;
  const auto& factors = request["factors"];
  for (std::size_t i = 0; i < factors.size(); ++i) {
    const int var = qx_linear_test::ColumnIndex(c, factors[i]);
    if (request.contains("nest") && !request["nest"].is_null())
      spec.AddFactor(var, request["nest"][i].get<int>());
    else
      spec.AddFactor(var);
  }
  for (const auto& f : request["compare"]) spec.AddCompareFactor(qx_linear_test::ColumnIndex(c, f));
  if (request.contains("at") && !request["at"].is_null())
    for (const auto& [name, value] : request["at"].items())
      spec.AddCovariate(qx_linear_test::ColumnIndex(c, name), value.get<double>());
  spec.SetContrastType(type);
  spec.SetPAdjust(adjust);
  // The link scale is the linear predictor's; the response scale goes through the inverse link.
  const bool link = request.contains("scale") && request["scale"] == "link";
  spec.SetEmmScaleType(link ? QXConst::QXEmmTransformed : QXConst::QXEmmOriginal);
  return spec;
}

// "name=level" pairs of a JSON object of factor codes, keyed by record index, sorted.
inline std::string LevelKey(const json& c, const json& levels) {
  std::vector<std::pair<int, int>> pairs;
  for (const auto& [name, code] : levels.items())
    pairs.emplace_back(qx_linear_test::ColumnIndex(c, name), code.get<int>());
  std::sort(pairs.begin(), pairs.end());
  std::string key;
  for (const auto& [var, level] : pairs) key += std::to_string(var) + "=" + std::to_string(level) + ";";
  return key;
}

inline std::string LevelKey(const std::vector<std::pair<int, int>>& levels) {
  std::vector<std::pair<int, int>> pairs = levels;
  std::sort(pairs.begin(), pairs.end());
  std::string key;
  for (const auto& [var, level] : pairs) key += std::to_string(var) + "=" + std::to_string(level) + ";";
  return key;
}

}  // namespace marginals_test
