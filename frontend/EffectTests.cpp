#include "frontend/EffectTests.h"

#include "common/QXStatus.h"
#include "inference/QXModelEffectTest.h"
#include "inference/QXModelTestStats.h"
#include "linear/QXGLMOutputStats.h"
#include "settings/QXConst.h"

namespace QXFit {

namespace {

std::string Describe(const QXCommon_600::QXStatus& status) {
  return "the model effects cannot be tested: " + status.GetMessage();
}

}  // namespace

std::vector<EffectTestResult> ReadEffectTable(const QXMath_600::QXModelTestStats* stats,
                                              const std::vector<std::string>& labels, TestKind test,
                                              FitResult& result) {
  std::vector<EffectTestResult> rows;
  if (stats == nullptr) return rows;
  for (int i = 0; i < stats->GetNTests(); ++i) {
    const std::string label = i < static_cast<int>(labels.size()) ? labels[static_cast<std::size_t>(i)]
                                                                  : "effect " + std::to_string(i);
    rows.push_back(ToEffectTestResult(label, stats->GetTestStats(i), stats->GetStatus(i), test));
    if (rows.back().fStatus) result.AddWarning(*rows.back().fStatus);
  }
  return rows;
}

bool RunEffectTests(const QXMath_600::QXRegSettings& settings, const QXMath_600::IQXRegOutputStats& stats,
                    const QXMath_600::QXSymMatrix& covariance, const std::vector<std::string>& effectLabels,
                    FitResult& result, std::string& error) {
  // X'WX and the effects' parameter ranges belong to the linear model's statistics.
  const auto* linear = dynamic_cast<const QXMath_600::QXGLMOutputStats*>(&stats);
  if (linear == nullptr) {
    error = Describe(QXCommon_600::QXStatus(303, false));
    return false;
  }
  QXConst::QXEffectAnalysisType type = QXConst::QXEffectTypeIII;
  if (result.fbTypeI) type = result.fbTypeIII ? QXConst::QXEffectTypeIAndIII : QXConst::QXEffectTypeI;
  const std::vector<double>& estimates = linear->GetParamEstimates();
  QXMath_600::QXModelEffectTest tests(settings, settings.GetModelEffects(), estimates,
                                      linear->GetEffectFirstParameters(), linear->GetEffectNParameters(),
                                      type, &covariance, &linear->GetXPrimeWXMatrix(),
                                      &linear->GetRedundancyIndicators(), QXConst::QXDistNormal, 0, nullptr,
                                      linear->GetNDegFreedom(), nullptr, linear->GetEffectSweep());
  const QXCommon_600::QXStatus status = tests.TestModelEffect();
  if (status.IsError()) {
    error = Describe(status);
    return false;
  }
  if (status.IsWarning()) result.AddWarning(status.GetMessage());

  std::vector<std::string> labels = effectLabels;
  const QXMath_600::QXModelTestStats* typeI = tests.GetTypeITestStats();
  const QXMath_600::QXModelTestStats* typeIII = tests.GetTypeIIITestStats();
  const QXMath_600::QXModelTestStats* any = typeIII != nullptr ? typeIII : typeI;
  if (any != nullptr && settings.GetInterceptUse() && any->GetNTests() == static_cast<int>(labels.size()) + 1)
    labels.insert(labels.begin(), "Intercept");
  if (result.fbTypeI) result.fTypeI = ReadEffectTable(typeI, labels, result.fTest, result);
  if (result.fbTypeIII) result.fTypeIII = ReadEffectTable(typeIII, labels, result.fTest, result);

  const QXMath_600::QXModelTestStats* corrected = tests.GetCorrectedModelTestStats(nullptr);
  if (corrected != nullptr && corrected->GetNTests() > 0) {
    result.fCorrectedModel = ToEffectTestResult("Corrected model", corrected->GetTestStats(0),
                                                corrected->GetStatus(0), result.fTest);
    if (result.fCorrectedModel->fStatus) result.AddWarning(*result.fCorrectedModel->fStatus);
  }
  return true;
}

}  // namespace QXFit
