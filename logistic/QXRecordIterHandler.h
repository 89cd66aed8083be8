// The data handler that streams: every pass of the optimizer is a pass over the caller's multi-pass
// record iterator, through the record validator, so that nothing of the data is kept in memory.
//
// A record's cells (and so its design columns) depend on its factors' levels only. The handler numbers
// the combinations of levels (the model's cell keys), asks the model for a combination's columns the
// first time it meets it and has the accumulator keep a cell for them; later records of the combination
// go to that cell by one array read, with only their covariate values read. They wait in a chunk of a
// fixed size, which the accumulator takes at once (one call for the chunk's exponentials). Records
// whose combination has no such cell (too many combinations, a cell beyond the accumulator's caps, a
// level without a parameter) are expanded and added one by one, after the rows waiting before them,
// so that the rows are summed in the order of the records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/QXExport.h"
#include "common/QXStatus.h"
#include "common/RecordIterator.h"
#include "logistic/IQXDataHandler.h"
#include "records/QXCancelInfo.h"
#include "records/QXRegRecordValidator.h"

namespace QXMath_600 {

class QXREGRES_API QXRecordIterHandler : public IQXDataHandler {
 public:
  // Everything is borrowed. The indices are record indices; -1 for an absent weight.
  QXRecordIterHandler(QXCommon_600::MultiPassRecordIter& records, const QXCancelInfo& cancelInfo,
                      const QXRegRecordValidator& validator, int dependentVar, int freqWeightVar,
                      int regrWeightVar);

  // Also forgets the cells found for the previous accumulator and model.
  void SetStatsModel(IQXAccumStats* accumulator, const IQXRegModel* model) override;
  void CleanStatsModel() override;
  // 303 without an accumulator and a model, or when a row is refused or falls in no cell of the
  // model (the data changed since the data pass); 304 for a null record or an iterator that ends on a
  // failure; 307 when no pass can start; 1 when cancelled; the validator's 315 and 316.
  QXCommon_600::QXStatus ComputeStatsForOptimizer(bool logLikelihoodOnly) override;
  std::vector<QXCommon_600::QXStatus> GetWarnings() const override { return fvWarnings; }
  void Display() const override;

  // The rows of a chunk handed to the accumulator at once.
  static constexpr std::size_t kChunk = 256;

 private:
  QXCommon_600::QXStatus fStatus;
  std::vector<QXCommon_600::QXStatus> fvWarnings;
  QXCommon_600::MultiPassRecordIter* fpRecords;
  const QXCancelInfo* fpCancelInfo;
  int fDependentVar;
  int fFreqWeightVar;
  int fRegrWeightVar;
  const QXRegRecordValidator* fpValidator;
  // The sparse row of the current record, reused.
  std::vector<int> fvIndices;
  std::vector<double> fvValues;

  // Per cell key: kUnknown before its first record, kNoCell when its rows go one by one, else the
  // position of its cell in fvKeyCells.
  static constexpr int kUnknown = -1;
  static constexpr int kNoCell = -2;
  // A key's cell: the accumulator's number, and the record positions whose products are the values
  // of its varying columns (see IQXRegModel::GetVaryingPositions).
  struct KeyCell {
    int cell;
    std::vector<int> begins;
    std::vector<int> positions;
    bool bSingle = false;  // every varying value is one covariate (1 x_j is x_j)
  };
  std::vector<int> fvKeySlots;
  std::vector<KeyCell> fvKeyCells;
  std::uint64_t fCellGeneration = 0;
  // The cell's columns from the model, reused.
  std::vector<double> fvFixedValues;
  std::vector<int> fvVaryingEffects;
  // The rows waiting for the accumulator: cell, category, weight and fStride varying values each.
  std::vector<int> fvChunkCells, fvChunkCategories;
  std::vector<double> fvChunkWeights, fvChunkVarying;
  std::size_t fStride = 0;
  std::size_t fNWaiting = 0;

  // Starts the pass's use of the cell keys; forgets the cells when the accumulator has dropped them.
  void PrepareCellKeys();
  // Sets up the cell of a key from its first record; the slot (kNoCell when there is none).
  int AddKeyCell(const QXCommon_600::Record& record, int key);
  // Adds a row of a key's cell to the chunk, handing the chunk over when full; false when the
  // accumulator refused a row.
  bool AddToChunk(const KeyCell& keyCell, const double* values, int category, double weight,
                  bool logLikelihoodOnly);
  // Hands the waiting rows to the accumulator; false when it refused one.
  bool FlushChunk(bool logLikelihoodOnly);
};

}  // namespace QXMath_600
