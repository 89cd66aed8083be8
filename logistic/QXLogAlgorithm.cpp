#include "logistic/QXLogAlgorithm.h"

#include <algorithm>

#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"
#include "design/QXFactorTableSetup.h"
#include "records/QXValidatedPass.h"

namespace QXMath_600 {

using QXCommon_600::MultiPassRecordIter;
using QXCommon_600::QXStatus;
using QXCommon_600::Record;

namespace {

QXStatus Error(long code) { return QXStatus(code, false); }

}  // namespace

QXLogAlgorithm::QXLogAlgorithm(const QXLogRegSettings& settings)
    : fpSettings(&settings),
      fPatternExtractor(settings.GetDependent(), settings.GetFactors(), settings.GetCovariates(),
                        settings.GetFrequencyWeightVar(), settings.GetRegrWeightVar()),
      fFactorTables(settings.GetFactors(), settings.GetFactorSizes(), settings.GetFrequencyWeightVar(),
                    settings.GetDependent(), settings.GetDependentNCategs(), 0, -1, 0.0,
                    QXConst::QXOffsetNone),
      fRecordValidator(settings.GetVariableTypes(), settings.GetFactors(), settings.GetFactorSizes(),
                       settings.GetDependentNCategs()),
      fCancelInfo(settings.GetCancelPointer()),
      fModel(settings, fCancelInfo) {
  fFactorTables.SetRegrWeightVar(settings.GetRegrWeightVar());
}

// The optimizer reads the accumulator and the handlers, so it goes first.
QXLogAlgorithm::~QXLogAlgorithm() { fpOptimizer.reset(); }

const QXStatus& QXLogAlgorithm::Merge(const QXStatus& status) {
  if (status.IsError()) {
    fStatus = status;
  } else if (status.IsWarning() &&
             std::find(fvWarnings.begin(), fvWarnings.end(), status) == fvWarnings.end()) {
    fvWarnings.push_back(status);
  }
  return status;
}

QXStatus QXLogAlgorithm::SetUpTables() {
  std::vector<std::vector<int>> effectFactors;
  if (!GetEffectFactorLists(*fpSettings, effectFactors)) return Error(303);
  if (!fFactorTables.SetModelEffectFactors(effectFactors)) return Error(303);
  fFactorTables.SetCovariates(fpSettings->GetCovariates());
  return QXStatus();
}

QXStatus QXLogAlgorithm::RunFactorTablePass(MultiPassRecordIter& records) {
  if (fbFactorTableFilled) return Error(306);
  const QXStatus setUp = SetUpTables();
  if (setUp.IsError()) return setUp;
  QXStatus status;
  if (fpSettings->GetUsePatternTabulator()) {
    fpPatternTabulator = std::make_unique<QXPatternTabulator>(*fpSettings, fPatternExtractor, fCancelInfo);
    status = fpPatternTabulator->FillFactorTables(records, fFactorTables);
    fRecordCount = fpPatternTabulator->GetRecordCount();
    fValidCount = fpPatternTabulator->GetValidCount();
  } else {
    records.NewPass();
    if (!records.HasMore()) return Error(307);
    status = FillFactorTables(records, fRecordValidator, fCancelInfo, fFactorTables, *fpSettings,
                              fpSettings->GetDependentNCategs(), fRecordCount, fValidCount);
    if (!status.IsError() && !(fFactorTables.GetTotalWeight() > 0.0)) status = Error(308);
  }
  if (status.IsError()) return status;
  fvMeanValues = fFactorTables.GetCovariateMeans();
  fbFactorTableFilled = true;
  return fCancelInfo.WillCancel() ? Error(1) : status;
}

QXStatus QXLogAlgorithm::CreateParameters(MultiPassRecordIter& records,
                                          std::vector<QXRegrParameter>& parameters) {
  if (fStatus.IsError()) return fStatus;
  if (fCancelInfo.WillCancel()) return Merge(Error(1));
  if (Merge(RunFactorTablePass(records)).IsError()) return fStatus;
  if (!fbFactorTableFilled) return Merge(Error(309));
  if (fbModelBuilt) return Merge(Error(310));

  const std::vector<int>& covariates = fpSettings->GetCovariates();
  fModel.SetRecordIndices(covariates, fpSettings->GetFrequencyWeightVar(), fpSettings->GetDependent());
  if (fpPatternTabulator) {
    fModel.SetFittingRowLayout(
        fPatternExtractor.GetCovariateOffsets(), fPatternExtractor.GetFreqWeightOffset(),
        fPatternExtractor.GetRegrWeightOffset(), fPatternExtractor.GetDependentOffset(), true);
  } else {
    fModel.SetFittingRowLayout(covariates, fpSettings->GetFrequencyWeightVar(),
                               fpSettings->GetRegrWeightVar(), fpSettings->GetDependent(), false);
  }
  if (Merge(fModel.SetupDependCategories(fFactorTables)).IsError()) return fStatus;
  if (fCancelInfo.WillCancel()) return Merge(Error(1));
  if (Merge(fModel.CreateParameters()).IsError()) return fStatus;
  parameters = fModel.GetAllParameters();
  fbParametersCreated = !parameters.empty();
  return fvWarnings.empty() ? fStatus : fvWarnings.back();
}

QXStatus QXLogAlgorithm::AccumulateCrossProducts(MultiPassRecordIter& records) {
  if (fpPatternTabulator) return fpPatternTabulator->ProcessRowPatterns(fModel);
  records.NewPass();
  if (!records.HasMore()) return Error(307);
  return RunValidatedPass(records, fRecordValidator, fCancelInfo, 312, nullptr, [this](const Record& record) {
    return fModel.AddRecordToXtX(record) ? QXStatus() : Error(fCancelInfo.WillCancel() ? 1 : 313);
  });
}

QXStatus QXLogAlgorithm::Fit(MultiPassRecordIter& records) {
  if (fpPatternTabulator &&
      Merge(fpPatternTabulator->CreateRowPatterns(records, fFactorTables, fModel)).IsError())
    return fStatus;
  if (Merge(AccumulateCrossProducts(records)).IsError()) return fStatus;
  if (Merge(fModel.ComputeRedundancy()).IsError()) return fStatus;
  if (Merge(fModel.GetInitialValues(fvBeta)).IsError()) return fStatus;

  const int nCategories = fModel.GetNDependCategories();
  fpAccumulator = std::make_unique<QXAccumStatsLogistic>(*fpSettings, fModel.GetNBasicNonRedundant(),
                                                         nCategories, fvBeta);
  if (!fpAccumulator->IsValid()) {
    QXStatus status = Error(305);
    status.SetDiscreteDatum(0, static_cast<long>(fvBeta.size()));
    return Merge(status);
  }
  IQXDataHandler* handler = fpPatternTabulator.get();
  if (handler == nullptr) {
    fpRecordHandler = std::make_unique<QXRecordIterHandler>(
        records, fCancelInfo, fRecordValidator, fpSettings->GetDependent(),
        fpSettings->GetFrequencyWeightVar(), fpSettings->GetRegrWeightVar());
    handler = fpRecordHandler.get();
  }
  fpOptimizer = std::make_unique<QXRegOptimizer>(*fpSettings, fModel, *handler, *fpAccumulator, fvBeta,
                                                 fpSettings->GetProgressListener(),
                                                 fpSettings->GetIterationFrequency(), fCancelInfo);
  if (Merge(fpOptimizer->Estimate()).IsError()) return fStatus;
  if (Merge(fModel.SetFinalEstimates(fvBeta, fpOptimizer->GetInverseInformation())).IsError()) return fStatus;
  return Merge(ConvergenceWarning());
}

QXStatus QXLogAlgorithm::ConvergenceWarning() const {
  const int state = fpOptimizer->GetConvergenceState();
  // An intercept-only model needs no iteration (its starting values are its estimates); any other
  // model left without one by a maximum of 0 iterations holds only starting values.
  const int n = fModel.GetNAllNonRedundant();
  const bool interceptsOnly = fpSettings->GetInterceptUse() && n < fModel.GetNDependCategories();
  const bool notIteratedButNeeded = state == QXRegOptimizer::kNotIterated && n > 0 && !interceptsOnly;
  if (state < QXRegOptimizer::kSingularInformation ||
      (state == QXRegOptimizer::kNotIterated && !notIteratedButNeeded))
    return QXStatus();
  QXStatus warning(kConvergenceWarning, true);
  warning.SetDiscreteDatum(0, state);
  return warning;
}

QXStatus QXLogAlgorithm::BuildModel(MultiPassRecordIter& records) {
  if (fStatus.IsError()) return fStatus;
  if (!fbParametersCreated) {
    std::vector<QXRegrParameter> scratch;
    if (CreateParameters(records, scratch).IsError()) return fStatus;
  }
  if (fbModelBuilt) return Merge(Error(310));
  Fit(records);
  // What only the fit needed goes now, whatever its outcome; the optimizer stays for its history.
  if (fpOptimizer) fpOptimizer->DeleteMatrix();
  fpAccumulator.reset();
  fpPatternTabulator.reset();
  fpRecordHandler.reset();
  fModel.DeleteXtX();
  if (fStatus.IsError()) return fStatus;
  fbModelBuilt = true;
  if (!fvWarnings.empty()) fStatus = fvWarnings.back();
  return fStatus;
}

QXStatus QXLogAlgorithm::Score(const Record& record, double& predicted,
                               std::vector<double>& probabilities) const {
  predicted = QXMV::gMissingValue;
  if (fStatus.IsError()) return fStatus;
  if (!fbModelBuilt) return Error(311);
  probabilities.assign(static_cast<std::size_t>(fModel.GetNDependCategories()), QXMV::gMissingValue);
  QXStatus status;
  if (!fRecordValidator.IsValid4Scoring(record, status)) return status;
  int category = -1;
  status = fModel.Score(record, probabilities, category);
  if (!status.IsError()) predicted = category;
  return status;
}

QXStatus QXLogAlgorithm::ClassifyRecords(MultiPassRecordIter& records) {
  if (fStatus.IsError()) return fStatus;
  if (!fbModelBuilt) return Error(311);
  if (fbClassified) return fClassificationStatus;
  records.NewPass();
  if (!records.HasMore()) return Error(307);
  std::vector<double> caseScores;
  QXStatus status = RunValidatedPass(
      records, fRecordValidator, fCancelInfo, 312, nullptr,
      [&](const Record& record) { return fModel.AddRecordToClassification(caseScores, record); });
  if (!status.IsError()) status = fModel.FinishClassification();
  fbClassified = !status.IsError();
  fClassificationStatus = status;
  return status;
}

void QXLogAlgorithm::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXLogAlgorithm display start");
  DisplayText(1, "fPatternExtractor");
  fPatternExtractor.Display();
  DisplayText(1, "fFactorTables");
  fFactorTables.Display();
  DisplayText(1, "Record Validator");
  fRecordValidator.Display();
  if (fpPatternTabulator) fpPatternTabulator->Display();
  if (fpRecordHandler) fpRecordHandler->Display();
  DisplayDV("fMeanValues", fvMeanValues);
  DisplayText(1, "fModel");
  fModel.Display();
  if (fpAccumulator) fpAccumulator->Display(false);
  if (fpOptimizer) fpOptimizer->Display();
  DisplayB("fbFactorTableFilled", fbFactorTableFilled);
  DisplayB("Parameters created", fbParametersCreated);
  DisplayB("fbModelBuilt", fbModelBuilt);
  DisplayI("fRecordCount", fRecordCount);
  DisplayI("fValidCount", fValidCount);
  DisplayI("fStatus", fStatus.GetErrorCode());
  DisplayI("Number of warnings", static_cast<long long>(fvWarnings.size()));
  DisplayText(1, "QXLogAlgorithm display end");
}

}  // namespace QXMath_600
