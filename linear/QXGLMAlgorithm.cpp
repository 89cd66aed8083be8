#include "linear/QXGLMAlgorithm.h"

#include <algorithm>
#include <cmath>

#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"
#include "design/QXFactorCounts.h"
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

template <class Use>
void QXGLMAlgorithm::RunPass(MultiPassRecordIter& records, std::int64_t* delivered, Use&& use) {
  bool cancelled = false;
  while (records.HasMore()) {
    if (fCancelInfo.WillCancel()) {
      cancelled = true;
      break;
    }
    const Record* record = records.Next();
    if (record == nullptr) {
      fStatus = Error(312);
      return;
    }
    if (delivered != nullptr) ++*delivered;
    if (!fRecordValidator.IsValidRecord(*record, fStatus)) {
      if (fStatus.IsError()) return;
      continue;
    }
    if (!use(*record)) return;
  }
  if (cancelled) {
    fStatus = Error(1);
    return;
  }
  // A read error or a truncated last record ends the iterator's pass early; fitting what was read
  // would pass off part of the data as all of it.
  const int reason = records.GetFailReason();
  if (reason != 0 && reason != 1) {
    fStatus = Error(304);
    fStatus.SetDiscreteDatum(0, reason);
  }
}

QXStatus QXGLMAlgorithm::SetUpTables() {
  const std::vector<int>& factors = fpSettings->GetFactors();
  const std::vector<int>& covariates = fpSettings->GetCovariates();
  const auto isIn = [](const std::vector<int>& list, int var) {
    return std::find(list.begin(), list.end(), var) != list.end();
  };
  std::vector<std::vector<int>> effectFactors;
  if (fpSettings->GetInterceptUse()) effectFactors.emplace_back();
  const std::vector<QXModelEffect>& effects = fpSettings->GetModelEffects();
  for (std::size_t e = 0; e < effects.size(); ++e) {
    QXRegrParameter parameter;
    parameter.SetupFromEffect(effects[e], static_cast<int>(e), 0);
    for (int var : parameter.GetFactors())
      if (!isIn(factors, var)) return Error(303);
    for (int var : parameter.GetCovariates())
      if (!isIn(covariates, var)) return Error(303);
    effectFactors.push_back(parameter.GetFactors());
  }
  if (!fFactorTables.SetModelEffectFactors(effectFactors)) return Error(303);
  std::vector<int> means = covariates;
  means.push_back(fpSettings->GetDependent());
  fFactorTables.SetCovariates(means);
  return QXStatus();
}

QXStatus QXGLMAlgorithm::UnfiledRecordStatus(const Record& record) const {
  const std::vector<int>& factors = fpSettings->GetFactors();
  const std::vector<int>& sizes = fpSettings->GetFactorSizes();
  for (std::size_t i = 0; i < factors.size() && i < sizes.size(); ++i) {
    const double value = record[factors[i]];
    const int level = QXFactorCounts::LevelIndex(value, 0);
    if (level >= 0 && level < sizes[i]) continue;
    QXStatus status = Error(316);
    status.SetDiscreteDatum(1, factors[i]);
    status.SetScaleDatum(1, value);
    return status;
  }
  // Every factor had a level, so a cell table could not take one more cell.
  return Error(305);
}

QXStatus QXGLMAlgorithm::ProcessData(MultiPassRecordIter& records) {
  if (fStatus.IsError()) return fStatus;
  records.NewPass();
  if (!records.HasMore()) fStatus = Error(307);
  if (fbDataProcessed) fStatus = Error(306);
  if (fStatus.IsError()) return fStatus;
  fStatus = SetUpTables();
  if (fStatus.IsError()) return fStatus;

  RunPass(records, &fRecordCount, [this](const Record& record) {
    if (!fFactorTables.UpdateAll(record)) {
      fStatus = UnfiledRecordStatus(record);
      return false;
    }
    ++fValidCount;
    return true;
  });
  if (!fStatus.IsError() && fValidCount == 0) fStatus = Error(307);
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
  RunPass(records, nullptr, [this](const Record& record) {
    if (fModel.AddRecord(record.GetAll())) return true;
    fStatus = Error(313);
    return false;
  });
  return fStatus;
}

QXStatus QXGLMAlgorithm::ComputeFitStatistics(MultiPassRecordIter& records) {
  if (fStatus.IsError()) return fStatus;
  if (!fModel.IsSolved()) return fStatus = Error(303);
  records.NewPass();
  RunPass(records, nullptr, [this](const Record& record) {
    fModel.AddResidual(record.GetAll());
    return true;
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
