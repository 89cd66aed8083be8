#include "frontend/RowRecordIterator.h"

namespace QXFit {

RowRecordIterator::RowRecordIterator(RowSource& source, const std::vector<ModelVariable>& variables,
                                     long long nRows)
    : fSource(source),
      fVariables(variables),
      fEncoder(source, variables),
      fNRows(nRows),
      fRecord(static_cast<int>(variables.size())) {}

int RowRecordIterator::NewPass() {
  fNext = 0;
  if (!fSource.Rewind()) {
    fFailReason = kReadFailure;
  } else {
    fFailReason = fNRows > 0 ? kMoreRecords : kEndOfData;
  }
  return fFailReason;
}

const QXCommon_600::Record* RowRecordIterator::Next() {
  if (fFailReason != kMoreRecords) return nullptr;
  if (!fSource.Next()) {
    fFailReason = kReadFailure;
    return nullptr;
  }
  const std::size_t n = fVariables.size();
  for (std::size_t i = 0; i < n; ++i) {
    const ValueState state = fEncoder.Encode(fSource, i, fNext, fRecord[static_cast<int>(i)]);
    // A text where a number was, or a level the scan did not see: the data changed under the fit.
    if (state == ValueState::kNotNumber || state == ValueState::kUnknownLevel) {
      fFailReason = kReadFailure;
      return nullptr;
    }
  }
  if (++fNext == fNRows) fFailReason = kEndOfData;
  return &fRecord;
}

}  // namespace QXFit
