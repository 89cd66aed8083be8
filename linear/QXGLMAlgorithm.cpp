#include "linear/QXGLMAlgorithm.h"

#include <algorithm>
#include <cmath>

#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"
#include "design/QXFactorCounts.h"
#include "design/QXFactorTableSetup.h"
#include "records/QXValidatedPass.h"
#include "settings/QXRegrParameter.h"

namespace QXMath_600 {

using QXCommon_600::MultiPassRecordIter;
using QXCommon_600::QXStatus;
using QXCommon_600::Record;

namespace {

QXStatus Error(long code) { return QXStatus(code, false); }

}  // namespace

QXGLMAlgorithm::QXGLMAlgorithm(const QXRegSettings& settings)
    : fpSettings(&settings),
      fCancelInfo(settings.GetCancelPointer()),
      fRecordValidator(settings.GetVariableTypes(), settings.GetFactors(), settings.GetFactorSizes(), 0),
      fFactorTables(settings.GetFactors(), settings.GetFactorSizes(), settings.GetFrequencyWeightVar(), -1, 0,
                    0, -1, 0.0, QXConst::QXOffsetNone),
      fModel(settings, fCancelInfo) {
  fFactorTables.SetRegrWeightVar(settings.GetRegrWeightVar());
}

QXStatus QXGLMAlgorithm::SetUpTables() {
  std::vector<std::vector<int>> effectFactors;
  if (!GetEffectFactorLists(*fpSettings, effectFactors)) return Error(303);
  if (!fFactorTables.SetModelEffectFactors(effectFactors)) return Error(303);
  std::vector<int> means = fpSettings->GetCovariates();
  means.push_back(fpSettings->GetDependent());
  fFactorTables.SetCovariates(means);
  return QXStatus();
}

QXStatus QXGLMAlgorithm::ProcessData(MultiPassRecordIter& records) {
  if (fStatus.IsError()) return fStatus;
  records.NewPass();
  if (!records.HasMore()) fStatus = Error(307);
  if (fbDataProcessed) fStatus = Error(306);
  if (fStatus.IsError()) return fStatus;
  fStatus = SetUpTables();
  if (fStatus.IsError()) return fStatus;

  fStatus = FillFactorTables(records, fRecordValidator, fCancelInfo, fFactorTables, *fpSettings, 0,
                             fRecordCount, fValidCount);
  if (!fStatus.IsError()) fbDataProcessed = true;
  fvMeanValues = fFactorTables.GetCovariateMeans();
  return fStatus;
}

QXStatus QXGLMAlgorithm::CreateModelParameters() {
  if (fStatus.IsError()) return fStatus;
  if (!fbDataProcessed || fModel.IsParametersCreated()) return fStatus = Error(303);
  fModel.Setup();
  return fStatus = fModel.CreateParameters(fFactorTables);
}

QXStatus QXGLMAlgorithm::AccumulateCrossProducts(MultiPassRecordIter& records) {
  if (fStatus.IsError()) return fStatus;
  if (!fbDataProcessed) return fStatus = Error(313);
  const double totalWeight = fFactorTables.GetTotalWeight();
  // Every record's weight is divided by W: an overflowed total would turn all of them into 0.
  if (!(totalWeight > 0.0) || !std::isfinite(totalWeight)) return fStatus = Error(308);
  fModel.SetTotals(totalWeight, fvMeanValues.empty() ? QXMV::gMissingValue : fvMeanValues.back());
  records.NewPass();
  fStatus = RunValidatedPass(
      records, fRecordValidator, fCancelInfo, 312, nullptr,
      [this](const Record& record) { return fModel.AddRecord(record.GetAll()) ? QXStatus() : Error(313); });
  return fStatus;
}

QXStatus QXGLMAlgorithm::ComputeFitStatistics(MultiPassRecordIter& records) {
  if (fStatus.IsError()) return fStatus;
  if (!fModel.IsSolved()) return fStatus = Error(303);
  records.NewPass();
  fStatus =
      RunValidatedPass(records, fRecordValidator, fCancelInfo, 312, nullptr, [this](const Record& record) {
        fModel.AddResidual(record.GetAll());
        return QXStatus();
      });
  if (fStatus.IsError()) return fStatus;
  return fStatus = fModel.ComputeFitStats();
}

QXStatus QXGLMAlgorithm::BuildModel(MultiPassRecordIter& records) {
  if (fStatus.IsError()) return fStatus;
  if (!fModel.IsParametersCreated()) return fStatus = Error(309);
  if (fbModelBuilt) return fStatus = Error(310);
  if (AccumulateCrossProducts(records).IsError()) return fStatus;
  if ((fStatus = fModel.Solve()).IsError()) return fStatus;
  if (ComputeFitStatistics(records).IsError()) return fStatus;
  fbModelBuilt = true;
  if (!fvWarnings.empty()) return fvWarnings.back();
  return fStatus;
}

QXStatus QXGLMAlgorithm::Score(const Record& record, double& predicted) const {
  // The prediction is written only with a successful status, so that a caller's value survives an
  // error; a record with a missing factor or covariate is scored as missing.
  if (fStatus.IsError()) return fStatus;
  if (fCancelInfo.WillCancel()) return Error(1);
  if (!fbModelBuilt) return Error(311);
  QXStatus status;
  if (!fRecordValidator.IsValid4Scoring(record, status)) {
    if (!status.IsError()) predicted = QXMV::gMissingValue;
    return status;
  }
  predicted = fModel.Predict(record.GetAll());
  return status;
}

void QXGLMAlgorithm::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXGLMAlgorithm display start");
  DisplayText(1, "Record Validator");
  fRecordValidator.Display();
  DisplayText(1, "fFactorTables");
  fFactorTables.Display();
  DisplayDV("fMeanValues", fvMeanValues);
  DisplayText(1, "fModel");
  fModel.Display();
  DisplayB("fbDataProcessed", fbDataProcessed);
  DisplayB("fbModelBuilt", fbModelBuilt);
  DisplayI("fRecordCount", fRecordCount);
  DisplayI("fValidCount", fValidCount);
  DisplayText(1, "QXGLMAlgorithm display end");
}

}  // namespace QXMath_600
