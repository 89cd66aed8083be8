#include "logistic/QXPatternTabulator.h"

#include <algorithm>

#include "common/QXDisplay.h"
#include "design/QXFactorCounts.h"
#include "design/QXFactorTableSetup.h"
#include "records/QXValidatedPass.h"

namespace QXMath_600 {

using QXCommon_600::QXStatus;
using QXCommon_600::Record;

namespace {

// In-memory passes ask the cancel question once per this many rows (and once per pattern).
constexpr std::int64_t kCancelCheckRows = 4096;

}  // namespace

QXPatternTabulator::QXPatternTabulator(const QXLogRegSettings& settings, const QXRecordExtractor& extractor,
                                       const QXCancelInfo& cancelInfo)
    : fDependVar(settings.GetDependent()),
      fpVariableType(&settings.GetVariableTypes()),
      fFreqWeightVar(settings.GetFrequencyWeightVar()),
      fRegrWeightVar(settings.GetRegrWeightVar()),
      fFreqWeightOffset(extractor.GetFreqWeightOffset()),
      fRegrWeightOffset(extractor.GetRegrWeightOffset()),
      fNAnalysVars(extractor.GetExtractSize()),
      fpExtractor(&extractor),
      fpCancelInfo(&cancelInfo),
      fValidator(settings.GetVariableTypes(), settings.GetFactors(), settings.GetFactorSizes(),
                 settings.GetDependentNCategs()),
      fpSettings(&settings) {
  for (int index : extractor.GetAllRecordIndices()) fMinRecordSize = std::max(fMinRecordSize, index + 1);
}

QXPatternTabulator::~QXPatternTabulator() = default;

QXStatus QXPatternTabulator::FillFactorTables(QXCommon_600::MultiPassRecordIter& records,
                                              QXFactorTables& tables) {
  if (fStatus.IsError()) return fStatus;
  records.NewPass();
  if (!records.HasMore()) return fStatus = QXStatus(307, false);
  fRecordCount = fValidCount = 0;
  fStatus = QXMath_600::FillFactorTables(records, fValidator, *fpCancelInfo, tables, *fpSettings,
                                         fpSettings->GetDependentNCategs(), fRecordCount, fValidCount);
  if (!fStatus.IsError() && !(tables.GetTotalWeight() > 0.0)) fStatus = QXStatus(308, false);
  return fStatus;
}

QXStatus QXPatternTabulator::CreateRowPatterns(QXCommon_600::MultiPassRecordIter& records,
                                               const QXFactorTables& tables, const IQXRegModel& model) {
  if (fStatus.IsError()) return fStatus;
  fvDependCategories = model.GetDependCategories();
  fvDependLocalIndices = model.GetDependLocalIndices();
  fpModelEffectIndices = &tables.GetModelEffectIndices();
  fpLocalEffectIndices = &tables.GetLocalEffectIndices();
  fpParameterOffsets = &tables.GetParameterOffsets();
  fNFactorEffects = tables.GetNEffects();
  fNAllEffects = tables.GetNModelEffects();

  // A factor effect's local index lies in 0 .. its number of cells - 1.
  fvBounds.clear();
  for (int m : *fpModelEffectIndices) fvBounds.push_back(std::max(tables.GetNEffectParameters(m), 1));
  if (fNFactorEffects > 0) {
    if (!fPacker.SetBounds(fvBounds) || !fPacker.Pack(fvBounds, fvPackedBounds))
      return fStatus = QXStatus(303, false);
    fNPackedKey = fPacker.GetPackedLength();
  } else {
    fvPackedBounds = fvBounds;
    fNPackedKey = static_cast<int>(fvBounds.size());
  }
  fpKey = std::make_unique<QXHashKey>(fNPackedKey);
  fvLocal.assign(static_cast<std::size_t>(fNFactorEffects), 0);
  fvCells.assign(static_cast<std::size_t>(fNAllEffects), 0);

  records.NewPass();
  if (!records.HasMore()) return fStatus = QXStatus(307, false);
  if (fbRowPatternsCreated) return fStatus = QXStatus(313, false);
  fpRowPatternTable = std::make_unique<QXHashtable<QXRowPatterns>>();
  fRecordCount = fValidCount = 0;
  fStatus =
      RunValidatedPass(records, fValidator, *fpCancelInfo, 312, &fRecordCount, [&](const Record& record) {
        const QXStatus status = AddRecordToPatterns(record, tables);
        if (!status.IsError()) ++fValidCount;
        return status;
      });
  if (fStatus.IsError()) return fStatus;
  if (fValidCount == 0) return fStatus = QXStatus(307, false);
  fbRowPatternsCreated = true;
  return fStatus;
}

QXStatus QXPatternTabulator::AddRecordToPatterns(const Record& record, const QXFactorTables& tables) {
  if (record.Size() == 0) return QXStatus(314, false);
  if (record.Size() < fMinRecordSize) return QXStatus(315, false);
  if (!fpRowPatternTable || !fpKey) return QXStatus(313, false);
  bool ok = false;
  const std::vector<int>& cells = tables.GetRowParameterIndices(record.GetAll(), ok);
  if (!ok) return QXStatus();
  for (int e = 0; e < fNFactorEffects; ++e) {
    const int m = (*fpModelEffectIndices)[static_cast<std::size_t>(e)];
    fvLocal[static_cast<std::size_t>(e)] = cells[static_cast<std::size_t>(m)] - (*fpParameterOffsets)[m];
  }
  if (fNFactorEffects > 0 && !fPacker.Pack(fvLocal.data(), fpKey->GetValues())) return QXStatus(303, false);
  const int code = QXFactorCounts::LevelIndex(record[fDependVar], 0);
  const int category = code >= 0 && code < static_cast<int>(fvDependLocalIndices.size())
                           ? fvDependLocalIndices[static_cast<std::size_t>(code)]
                           : -1;
  if (category < 0) return QXStatus(303, false);
  fpKey->UpdateHashCode();
  QXRowPatterns* pattern = fpRowPatternTable->Get(*fpKey);
  if (pattern == nullptr) {
    QXHashPair<QXRowPatterns>* pair = fpRowPatternTable->Insert(*fpKey, QXRowPatterns());
    if (pair == nullptr) return QXStatus(313, false);
    pattern = &pair->GetValue();
  }
  std::vector<double>& data = pattern->fRecordData;
  const std::size_t start = data.size();
  data.resize(start + static_cast<std::size_t>(fNAnalysVars));
  fpExtractor->ExtractRecord(data.data() + start, record.GetAll());
  data[start + static_cast<std::size_t>(fpExtractor->GetDependentOffset())] = category;
  return QXStatus();
}

bool QXPatternTabulator::UnpackCells(const QXHashKey& key) {
  if (fNFactorEffects > 0 && !fPacker.Unpack(key.GetValues(), fvLocal.data())) return false;
  for (int m = 0; m < fNAllEffects; ++m) fvCells[static_cast<std::size_t>(m)] = (*fpParameterOffsets)[m];
  for (int e = 0; e < fNFactorEffects; ++e)
    fvCells[static_cast<std::size_t>((*fpModelEffectIndices)[static_cast<std::size_t>(e)])] +=
        fvLocal[static_cast<std::size_t>(e)];
  return true;
}

QXStatus QXPatternTabulator::PrepareFitRows() {
  const int dependOffset = fpExtractor->GetDependentOffset();
  QXStatus status;
  fpRowPatternTable->ForEach([&](QXHashPair<QXRowPatterns>& pair) {
    QXRowPatterns& pattern = pair.GetValue();
    if (status.IsError()) return;
    if (!UnpackCells(pair.GetKey()) ||
        !fpModel->ExpandStoredPattern(fvCells, pattern.fColumns, pattern.fFixedValues, fvVaryingEffects)) {
      status = QXStatus(313, false);
      return;
    }
    const std::size_t nRows = pattern.fRecordData.size() / static_cast<std::size_t>(fNAnalysVars);
    const std::size_t stride = 2 + fvVaryingEffects.size();
    pattern.fFitRows.resize(nRows * stride);
    for (std::size_t r = 0; r < nRows; ++r) {
      const double* row = pattern.fRecordData.data() + r * static_cast<std::size_t>(fNAnalysVars);
      double* fit = pattern.fFitRows.data() + r * stride;
      fit[0] = QXFactorCounts::LevelIndex(row[dependOffset], 0);
      fit[1] = 1.0;
      if (fFreqWeightOffset >= 0) fit[1] = row[fFreqWeightOffset];
      if (fRegrWeightOffset >= 0) fit[1] *= row[fRegrWeightOffset];
      fpModel->GetVaryingValues(row, fvVaryingEffects, fit + 2);
    }
    std::vector<double>().swap(pattern.fRecordData);
  });
  if (!status.IsError()) fbFitRowsPrepared = true;
  return status;
}

QXStatus QXPatternTabulator::ComputeStatsForOptimizer(bool logLikelihoodOnly) {
  if (!fbRowPatternsCreated || fpAccumulator == nullptr || fpModel == nullptr) return QXStatus(313, false);
  if (!fbFitRowsPrepared) {
    const QXStatus prepared = PrepareFitRows();
    if (prepared.IsError()) return prepared;
  }
  QXStatus status;
  fpRowPatternTable->ForEach([&](const QXHashPair<QXRowPatterns>& pair) {
    const QXRowPatterns& pattern = pair.GetValue();
    const std::size_t stride = 2 + pattern.fColumns.size() - pattern.fFixedValues.size();
    const std::int64_t nRows = static_cast<std::int64_t>(pattern.fFitRows.size() / stride);
    // In pieces, so that a cancel is seen within a large pattern.
    for (std::int64_t first = 0; first < nRows && !status.IsError(); first += kCancelCheckRows) {
      if (fpCancelInfo->WillCancel()) {
        status = QXStatus(1, false);
        return;
      }
      const std::int64_t count = std::min(kCancelCheckRows, nRows - first);
      if (fpAccumulator->UpdateForPattern(pattern.fColumns, pattern.fFixedValues,
                                          pattern.fFitRows.data() + static_cast<std::size_t>(first) * stride,
                                          count, logLikelihoodOnly) < 0)
        status = QXStatus(313, false);
    }
  });
  return status;
}

QXStatus QXPatternTabulator::ProcessRowPatterns(IQXRegModel& model) {
  if (!fbRowPatternsCreated) return QXStatus(303, false);
  if (fbFitRowsPrepared) return QXStatus(313, false);
  QXStatus status;
  const std::int64_t width = fNAnalysVars;
  fpRowPatternTable->ForEach([&](const QXHashPair<QXRowPatterns>& pair) {
    if (status.IsError()) return;
    if (!UnpackCells(pair.GetKey())) {
      status = QXStatus(313, false);
      return;
    }
    const std::vector<double>& data = pair.GetValue().fRecordData;
    const std::int64_t nRows = static_cast<std::int64_t>(data.size()) / width;
    // In pieces, so that a cancel is seen within a large pattern.
    for (std::int64_t first = 0; first < nRows; first += kCancelCheckRows) {
      if (fpCancelInfo->WillCancel()) {
        status = QXStatus(1, false);
        return;
      }
      const std::int64_t count = std::min(kCancelCheckRows, nRows - first);
      if (!model.AddPatternToXtX(data.data() + first * width, count, fNAnalysVars, fvCells)) {
        status = QXStatus(fpCancelInfo->WillCancel() ? 1 : 313, false);
        return;
      }
    }
  });
  return status;
}

void QXPatternTabulator::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXPatternTabulator display start");
  DisplayI("fNFactorEffects", fNFactorEffects);
  DisplayI("fNAllEffects", fNAllEffects);
  if (fpModelEffectIndices != nullptr)
    DisplayIV("Original indices of the model effects with factors", *fpModelEffectIndices);
  if (fpLocalEffectIndices != nullptr) DisplayIV("Indices of local effects", *fpLocalEffectIndices);
  if (fpParameterOffsets != nullptr) DisplayIV("Parameter offsets of the model effects", *fpParameterOffsets);
  DisplayIV("Bounds for regression parameter indices", fvBounds);
  DisplayIV("Packed bounds", fvPackedBounds);
  DisplayI("fNPackedKey", fNPackedKey);
  DisplayIV("Dependent categories", fvDependCategories);
  DisplayIV("Local indices of the dependent categories", fvDependLocalIndices);
  DisplayI("fDependVar", fDependVar);
  DisplayI("fFreqWeightVar", fFreqWeightVar);
  DisplayI("fRegrWeightVar", fRegrWeightVar);
  DisplayI("fFreqWeightOffset", fFreqWeightOffset);
  DisplayI("fRegrWeightOffset", fRegrWeightOffset);
  DisplayI("fNAnalysVars", fNAnalysVars);
  if (fpRowPatternTable)
    fpRowPatternTable->Display();
  else
    DisplayText(1, "fpRowPatternTable is undefined");
  if (fpKey)
    fpKey->Display();
  else
    DisplayText(1, "fpKey is undefined");
  DisplayI("fRecordCount", fRecordCount);
  DisplayI("fValidCount", fValidCount);
  DisplayB("fbRowPatternsCreated", fbRowPatternsCreated);
  DisplayI("fStatus", fStatus.GetErrorCode());
  DisplayText(1, "QXPatternTabulator display end");
}

}  // namespace QXMath_600
