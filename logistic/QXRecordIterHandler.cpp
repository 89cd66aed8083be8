#include "logistic/QXRecordIterHandler.h"

#include <algorithm>

#include "common/QXDisplay.h"
#include "design/QXFactorCounts.h"
#include "records/QXValidatedPass.h"

namespace QXMath_600 {

using QXCommon_600::QXStatus;
using QXCommon_600::Record;

QXRecordIterHandler::QXRecordIterHandler(QXCommon_600::MultiPassRecordIter& records,
                                         const QXCancelInfo& cancelInfo,
                                         const QXRegRecordValidator& validator, int dependentVar,
                                         int freqWeightVar, int regrWeightVar)
    : fpRecords(&records),
      fpCancelInfo(&cancelInfo),
      fDependentVar(dependentVar),
      fFreqWeightVar(freqWeightVar),
      fRegrWeightVar(regrWeightVar),
      fpValidator(&validator) {}

void QXRecordIterHandler::SetStatsModel(IQXAccumStats* accumulator, const IQXRegModel* model) {
  IQXDataHandler::SetStatsModel(accumulator, model);
  fvKeySlots.clear();
  fvKeyCells.clear();
}

void QXRecordIterHandler::CleanStatsModel() {
  IQXDataHandler::CleanStatsModel();
  fvKeySlots.clear();
  fvKeyCells.clear();
}

void QXRecordIterHandler::PrepareCellKeys() {
  fNWaiting = 0;
  const std::size_t nKeys = static_cast<std::size_t>(std::max(0, fpModel->GetNCellKeys()));
  if (fvKeySlots.size() == nKeys && fCellGeneration == fpAccumulator->GetCellGeneration()) return;
  fvKeySlots.assign(nKeys, kUnknown);
  fvKeyCells.clear();
  fCellGeneration = fpAccumulator->GetCellGeneration();
  if (fvChunkCells.empty()) {
    fvChunkCells.resize(kChunk);
    fvChunkCategories.resize(kChunk);
    fvChunkWeights.resize(kChunk);
  }
}

int QXRecordIterHandler::AddKeyCell(const Record& record, int key) {
  int& slot = fvKeySlots[static_cast<std::size_t>(key)];
  slot = kNoCell;
  if (!fpModel->GetRecordPattern(record, fvIndices, fvFixedValues, fvVaryingEffects)) return slot;
  // The accumulator's cells take fixed columns of value 1, which are what the factors give.
  for (double value : fvFixedValues)
    if (value != 1.0) return slot;
  KeyCell keyCell;
  keyCell.cell = fpAccumulator->AddCell(fvIndices, static_cast<int>(fvFixedValues.size()));
  if (keyCell.cell < 0) return slot;
  fpModel->GetVaryingPositions(fvVaryingEffects, keyCell.begins, keyCell.positions);
  keyCell.bSingle = keyCell.positions.size() + 1 == keyCell.begins.size();
  fvKeyCells.push_back(std::move(keyCell));
  return slot = static_cast<int>(fvKeyCells.size() - 1);
}

bool QXRecordIterHandler::FlushChunk(bool logLikelihoodOnly) {
  if (fNWaiting == 0) return true;
  const std::size_t n = fNWaiting;
  fNWaiting = 0;
  return fpAccumulator->UpdateForCellRows(fvChunkCells.data(), fvChunkCategories.data(),
                                          fvChunkWeights.data(), fvChunkVarying.data(), fStride, n,
                                          logLikelihoodOnly) >= 0;
}

bool QXRecordIterHandler::AddToChunk(const KeyCell& keyCell, const double* values, int category,
                                     double weight, bool logLikelihoodOnly) {
  const std::size_t nv = keyCell.begins.size() - 1;
  if (nv > fStride) {
    // A cell with more varying columns than any before: the rows waiting go first, at their stride.
    if (!FlushChunk(logLikelihoodOnly)) return false;
    fStride = nv;
    fvChunkVarying.resize(kChunk * fStride);
  }
  fvChunkCells[fNWaiting] = keyCell.cell;
  fvChunkCategories[fNWaiting] = category;
  fvChunkWeights[fNWaiting] = weight;
  double* varying = fvChunkVarying.data() + fNWaiting * fStride;
  const int* positions = keyCell.positions.data();
  if (keyCell.bSingle) {
    for (std::size_t j = 0; j < nv; ++j) varying[j] = values[positions[j]];
  } else {
    // As the model forms an effect's value: the product of its covariates, in their order.
    const int* begins = keyCell.begins.data();
    for (std::size_t j = 0; j < nv; ++j) {
      double value = 1.0;
      for (int t = begins[j]; t < begins[j + 1]; ++t) value *= values[positions[t]];
      varying[j] = value;
    }
  }
  ++fNWaiting;
  return fNWaiting < kChunk || FlushChunk(logLikelihoodOnly);
}

QXStatus QXRecordIterHandler::ComputeStatsForOptimizer(bool logLikelihoodOnly) {
  if (fpAccumulator == nullptr || fpModel == nullptr) return fStatus = QXStatus(303, false);
  fpRecords->NewPass();
  if (!fpRecords->HasMore()) return fStatus = QXStatus(307, false);
  PrepareCellKeys();
  const std::vector<int>& localIndices = fpModel->GetDependLocalIndices();
  fStatus =
      RunValidatedPass(*fpRecords, *fpValidator, *fpCancelInfo, 304, nullptr, [&](const Record& record) {
        const int code = QXFactorCounts::LevelIndex(record[fDependentVar], 0);
        const int category = code >= 0 && code < static_cast<int>(localIndices.size())
                                 ? localIndices[static_cast<std::size_t>(code)]
                                 : -1;
        double weight = 1.0;
        if (fFreqWeightVar >= 0) weight = record[fFreqWeightVar];
        if (fRegrWeightVar >= 0) weight *= record[fRegrWeightVar];
        const int key = fpModel->GetCellKey(record);
        if (key >= 0 && static_cast<std::size_t>(key) < fvKeySlots.size()) {
          int slot = fvKeySlots[static_cast<std::size_t>(key)];
          if (slot == kUnknown) slot = AddKeyCell(record, key);
          if (slot >= 0) {
            if (!AddToChunk(fvKeyCells[static_cast<std::size_t>(slot)], record.GetAll(), category, weight,
                            logLikelihoodOnly))
              return QXStatus(303, false);
            return QXStatus();
          }
        }
        if (!FlushChunk(logLikelihoodOnly)) return QXStatus(303, false);
        int count = 0;
        if (!fpModel->ExpandRecord(record, count, fvIndices, fvValues)) return QXStatus(303, false);
        if (fpAccumulator->UpdateForRow(fvIndices, fvValues, category, weight, logLikelihoodOnly) < 0)
          return QXStatus(303, false);
        return QXStatus();
      });
  if (!fStatus.IsError() && !FlushChunk(logLikelihoodOnly)) fStatus = QXStatus(303, false);
  fNWaiting = 0;
  return fStatus;
}

void QXRecordIterHandler::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXRecordIterHandler display start");
  DisplayI("Status", fStatus.GetErrorCode());
  DisplayI("Number of warnings", static_cast<long long>(fvWarnings.size()));
  DisplayB("Accumulator set", fpAccumulator != nullptr);
  DisplayB("Model set", fpModel != nullptr);
  DisplayI("Dependent variable index", fDependentVar);
  DisplayI("Frequency weight variable index", fFreqWeightVar);
  DisplayI("Regression weight variable index", fRegrWeightVar);
  DisplayI("Cells found by their factors' levels", static_cast<long long>(fvKeyCells.size()));
  DisplayText(1, "QXRecordIterHandler display end");
}

}  // namespace QXMath_600
