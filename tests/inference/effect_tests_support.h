// What the suites of the tests of model effects share: a general linear model fitted through the
// public API from a reference case (records, model) the way a caller fits one, and the inputs a caller
// then hands to QXModelEffectTest: X'WX, the effects' parameter ranges and the covariance of the
// estimates scaled by sigma^2.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "qxregres600r.h"
#include "tests/linear/linear_test_support.h"

namespace effect_tests {

using nlohmann::json;
using QXMath_600::QXModelEffectTest;
using QXMath_600::QXModelTestStats;
using QXMath_600::QXRectMatrix;
using QXMath_600::QXSymMatrix;
using QXMath_600::QXTestStats;

inline json LoadReference(const std::string& file) {
  std::ifstream in(std::string(QX_TEST_REFERENCE_DIR) + "/" + file);
  return json::parse(in);
}

using qx_linear_test::ColumnIndex;

// Settings as a caller makes them from a case, with the test type the effect tests take.
inline QXMath_600::QXRegSettings MakeSettings(const json& c, QXConst::QXTestType testType) {
  QXMath_600::QXRegSettings settings = qx_linear_test::MakeSettings(c);
  settings.SetTestType(testType);
  return settings;
}

// A linear model fitted from a case, with what the tests of its effects need.
class FittedLinearModel {
 public:
  // `adjust`, when given, changes the settings before the fit (callbacks, tolerance).
  FittedLinearModel(const json& c, QXConst::QXTestType testType,
                    const std::function<void(QXMath_600::QXRegSettings&)>& adjust = {})
      : fRecords(c["records"].get<qx_linear_test::Records>()),
        fFile(fRecords),
        fSettings(MakeSettings(c, testType)) {
    if (adjust) adjust(fSettings);
    QXMath_600::QXRegFactory factory;
    fComponent.reset(factory.CreateRegAlgorithm(fSettings));
    if (!fComponent) {
      ADD_FAILURE() << factory.GetStatus().GetMessage();
      return;
    }
    auto it = fFile.Iterator();
    const QXCommon_600::QXStatus status = fComponent->BuildModel(it);
    QXMath_600::IQXRegOutputStats* stats = nullptr;
    if (!status.IsOK() || !fComponent->GetOutputStats(stats).IsOK()) {
      ADD_FAILURE() << status.GetMessage();
      return;
    }
    fpStats = dynamic_cast<const QXMath_600::QXGLMOutputStats*>(stats);
    if (fpStats == nullptr) {
      ADD_FAILURE() << "not linear output statistics";
      return;
    }
    // The covariance of the estimates: the unscaled matrix times sigma^2 = RMSE^2 W / df.
    const double rmse = fpStats->GetModelFitStat(QXConst::QXFitRootMSE);
    fCovariance = *fpStats->GetCovarianceMatrix();
    fCovariance.MultiplyByNumber(rmse * rmse * fpStats->GetTotalFreqWeight() / fpStats->GetNDegFreedom());
  }

  bool Ok() const { return fpStats != nullptr; }
  const QXMath_600::QXGLMOutputStats& Stats() const { return *fpStats; }
  const QXMath_600::QXRegSettings& Settings() const { return fComponent->GetCompSettings(); }
  const QXSymMatrix& Covariance() const { return fCovariance; }

  // The tests of the model's effects as a caller sets them up; nonRedundant may be the fit's set or
  // null; withFitSweep hands them the fit's sweep of X'WX, as qxfit does.
  std::unique_ptr<QXModelEffectTest> EffectTest(QXConst::QXEffectAnalysisType type,
                                                bool withNonRedundant = true,
                                                const QXSymMatrix* covariance = nullptr,
                                                bool withFitSweep = true) const {
    return std::make_unique<QXModelEffectTest>(
        Settings(), Settings().GetModelEffects(), fpStats->GetParamEstimates(),
        fpStats->GetEffectFirstParameters(), fpStats->GetEffectNParameters(), type,
        covariance != nullptr ? covariance : &fCovariance, &fpStats->GetXPrimeWXMatrix(),
        withNonRedundant ? &fpStats->GetRedundancyIndicators() : nullptr, QXConst::QXDistNormal, 0, nullptr,
        fpStats->GetNDegFreedom(), nullptr, withFitSweep ? fpStats->GetEffectSweep() : nullptr);
  }

 private:
  qx_linear_test::Records fRecords;
  qx_linear_test::RecordFile fFile;
  QXMath_600::QXRegSettings fSettings;
  std::unique_ptr<QXMath_600::IQXRegComponent> fComponent;
  const QXMath_600::QXGLMOutputStats* fpStats = nullptr;
  QXSymMatrix fCovariance;
};

// |actual - expected| <= rel |expected|, with a readable failure.
inline void ExpectRel(double actual, double expected, double rel, const std::string& what) {
  EXPECT_LE(std::fabs(actual - expected), rel * std::fabs(expected))
      << what << ": " << actual << " vs " << expected << " (relative "
      << std::fabs(actual - expected) / std::fabs(expected) << ")";
}

}  // namespace effect_tests
