#include "frontend/FitRunner.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "common/QXBitSet.h"
#include "common/QXMissingValue.h"
#include "common/QXStatus.h"
#include "common/QXSymMatrix.h"
#include "common/RecordIterator.h"
#include "factory/QXRegFactory.h"
#include "frontend/EffectTests.h"
#include "frontend/ProgressBar.h"
#include "frontend/ReportWriter.h"
#include "model/IQXRegOutputStats.h"
#include "records/BinaryRecordIterator.h"
#include "settings/QXConst.h"
#include "settings/QXLogRegSettings.h"

namespace QXFit {

namespace {

// Passes the library's reads through to the record file and moves the progress bar. The library
// reports no progress of its own; counting here costs one increment per record.
class ProgressIterator : public QXCommon_600::MultiPassRecordIter {
 public:
  ProgressIterator(QXCommon_600::MultiPassRecordIter& inner, long long nRecords, ProgressBar* progress,
                   std::string phase, int nPasses)
      : fInner(inner),
        fNRecords(nRecords),
        fpProgress(progress),
        fPhase(std::move(phase)),
        fNPasses(nPasses) {}

  bool HasMore() const override { return fInner.HasMore(); }
  const QXCommon_600::Record* Next() override {
    if (fpProgress != nullptr && (++fCount & 0xFFF) == 0 && fNRecords > 0)
      fpProgress->Update(static_cast<double>(fCount) / static_cast<double>(fNRecords));
    return fInner.Next();
  }
  int GetFailReason() const override { return fInner.GetFailReason(); }
  int NewPass() override {
    ++fPass;
    fCount = 0;
    if (fpProgress != nullptr) {
      std::string phase = fPhase;
      if (fNPasses > 1)
        phase += ", pass " + std::to_string(std::min(fPass, fNPasses)) + "/" + std::to_string(fNPasses);
      if (fNPasses == 0) phase += ", pass " + std::to_string(fPass);  // as many as the iterations take
      fpProgress->Start(phase);
    }
    return fInner.NewPass();
  }

 private:
  QXCommon_600::MultiPassRecordIter& fInner;
  long long fNRecords;
  ProgressBar* fpProgress;
  std::string fPhase;
  int fNPasses;
  int fPass = 0;
  long long fCount = 0;
};

std::string Describe(const QXCommon_600::QXStatus& status) {
  return "the model cannot be fitted: " + status.GetMessage();
}

std::optional<double> Present(double value) {
  if (QXMV::IsMissing(value) || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

FitRunner::FitRunner(std::FILE* records, int nVariables, long long nRecords, ProgressBar* progress)
    : fpRecords(records), fNVariables(nVariables), fNRecords(nRecords), fpProgress(progress) {}

FitRunner::FitRunner(QXCommon_600::MultiPassRecordIter& records, long long nRecords, ProgressBar* progress)
    : fpIterator(&records), fNRecords(nRecords), fpProgress(progress) {}

FitRunner::~FitRunner() = default;

bool FitRunner::Fit(const QXMath_600::QXRegSettings& settings, std::string& error) {
  QXMath_600::QXRegFactory factory;
  // The factory chooses the model by the settings' type, so a logistic model's settings are copied whole.
  const auto* logistic = dynamic_cast<const QXMath_600::QXLogRegSettings*>(&settings);
  std::unique_ptr<QXMath_600::QXRegSettings> copy =
      logistic != nullptr ? std::make_unique<QXMath_600::QXLogRegSettings>(*logistic)
                          : std::make_unique<QXMath_600::QXRegSettings>(settings);
  // The component keeps the listener for the tests of its effects as well.
  if (fpProgress != nullptr && copy->GetProgressListener() == nullptr) copy->SetProgressListener(fpProgress);
  fpComponent.reset(factory.CreateRegAlgorithm(*copy));
  if (!fpComponent) {
    error = Describe(factory.GetStatus());
    return false;
  }
  std::optional<QXCommon_600::BinaryRecordIterator> file;
  if (fpIterator == nullptr) file.emplace(fpRecords, fNVariables);
  // A linear fit takes a data pass, a cross-product pass and a fit pass; a logistic fit one pass more
  // for every iteration and step halving.
  ProgressIterator iterator(fpIterator != nullptr ? *fpIterator : *file, fNRecords, fpProgress, "fitting",
                            logistic != nullptr ? 0 : 3);
  const QXCommon_600::QXStatus status = fpComponent->BuildModel(iterator);
  if (fpProgress != nullptr) fpProgress->Clear();
  if (status.IsError()) {
    error = Describe(status);
    return false;
  }
  return true;
}

bool FitRunner::GetResult(const ModelBuilder& model, FitResult& result, std::string& error) const {
  QXMath_600::IQXRegOutputStats* stats = nullptr;
  const QXCommon_600::QXStatus status =
      fpComponent ? fpComponent->GetOutputStats(stats) : QXCommon_600::QXStatus(311, false);
  if (status.IsError() || stats == nullptr) {
    error = Describe(status);
    return false;
  }
  const auto& estimates = stats->GetParamEstimates();
  const auto& parameters = stats->GetParameters();
  const QXMath_600::QXSymMatrix* covariance = stats->GetCovarianceMatrix();
  const QXMath_600::QXBitSet& nonRedundant = stats->GetRedundancyIndicators();
  // The component's copy of the settings lives as long as the component, as the tests require.
  const QXMath_600::QXRegSettings& settings = fpComponent->GetCompSettings();
  result.fbIntercept = settings.GetInterceptUse();
  result.fRSquared = Present(stats->GetModelFitStat(QXConst::QXFitRSquare));
  result.fRmse = Present(stats->GetModelFitStat(QXConst::QXFitRootMSE));
  result.fDfError = Present(stats->GetNDegFreedom());
  result.fTotalFreqWeight = stats->GetTotalFreqWeight();
  result.fTotalRegrWeight = stats->GetTotalRegrWeight();
  result.fParameters.clear();
  const int n = static_cast<int>(std::min(estimates.size(), parameters.size()));
  for (int k = 0; k < n; ++k) {
    ParameterResult p;
    p.fLabel = model.GetParameterLabel(parameters[static_cast<std::size_t>(k)]);
    p.fEstimate = estimates[static_cast<std::size_t>(k)];
    p.fbRedundant = !nonRedundant.IsIn(k);
    result.fParameters.push_back(std::move(p));
  }

  const std::vector<double>& means = stats->GetMeanValues();
  CheckFit(result, means.empty() ? QXMV::gMissingValue : means.back());

  // The covariance of the estimates, built once and given to both kinds of test.
  const std::optional<double> sigma2 = ComputeErrorVariance(result);
  if (!sigma2 || covariance == nullptr || covariance->GetNRows() != static_cast<int>(estimates.size())) {
    FillParameterTests(result, estimates, nonRedundant, QXMath_600::QXSymMatrix());
    result.AddWarning("no error degrees of freedom (total weight " +
                      ReportWriter::FormatNumber(result.fTotalFreqWeight) + " against " +
                      std::to_string(nonRedundant.Count()) + " estimable parameters): nothing is tested");
    return true;
  }
  QXMath_600::QXSymMatrix scaled = *covariance;
  scaled.MultiplyByNumber(*sigma2);
  FillParameterTests(result, estimates, nonRedundant, scaled);
  // With no effect there is nothing to adjust for: the intercept's test is its parameter's, and there
  // is no corrected model (R's summary of y ~ 1 has no F statistic).
  if (settings.GetModelEffects().empty()) {
    TestInterceptOnly(result);
    AddSumsOfSquares(result);
    return true;
  }
  std::vector<std::string> effectLabels;
  for (const auto& effect : settings.GetModelEffects()) effectLabels.push_back(model.GetEffectLabel(effect));
  if (!RunEffectTests(settings, *stats, scaled, effectLabels, result, error)) return false;
  AddSumsOfSquares(result);
  return true;
}

}  // namespace QXFit
