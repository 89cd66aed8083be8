// The data handler that streams: every pass of the optimizer is a pass over the caller's multi-pass
// record iterator, through the record validator, so that nothing of the data is kept in memory.
#pragma once

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

  // 303 without an accumulator and a model, or when a row is refused or falls in no cell of the
  // model (the data changed since the data pass); 304 for a null record or an iterator that ends on a
  // failure; 307 when no pass can start; 1 when cancelled; the validator's 315 and 316.
  QXCommon_600::QXStatus ComputeStatsForOptimizer(bool logLikelihoodOnly) override;
  std::vector<QXCommon_600::QXStatus> GetWarnings() const override { return fvWarnings; }
  void Display() const override;

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
};

}  // namespace QXMath_600
