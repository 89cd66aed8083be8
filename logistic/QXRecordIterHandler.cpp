#include "logistic/QXRecordIterHandler.h"

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

QXStatus QXRecordIterHandler::ComputeStatsForOptimizer(bool logLikelihoodOnly) {
  if (fpAccumulator == nullptr || fpModel == nullptr) return fStatus = QXStatus(303, false);
  fpRecords->NewPass();
  if (!fpRecords->HasMore()) return fStatus = QXStatus(307, false);
  const std::vector<int>& localIndices = fpModel->GetDependLocalIndices();
  fStatus =
      RunValidatedPass(*fpRecords, *fpValidator, *fpCancelInfo, 304, nullptr, [&](const Record& record) {
        int count = 0;
        if (!fpModel->ExpandRecord(record, count, fvIndices, fvValues)) return QXStatus(303, false);
        const int code = QXFactorCounts::LevelIndex(record[fDependentVar], 0);
        const int category = code >= 0 && code < static_cast<int>(localIndices.size())
                                 ? localIndices[static_cast<std::size_t>(code)]
                                 : -1;
        double weight = 1.0;
        if (fFreqWeightVar >= 0) weight = record[fFreqWeightVar];
        if (fRegrWeightVar >= 0) weight *= record[fRegrWeightVar];
        if (fpAccumulator->UpdateForRow(fvIndices, fvValues, category, weight, logLikelihoodOnly) < 0)
          return QXStatus(303, false);
        return QXStatus();
      });
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
  DisplayText(1, "QXRecordIterHandler display end");
}

}  // namespace QXMath_600
