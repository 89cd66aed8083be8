#include "frontend/RowRecordIterator.h"

#include <algorithm>

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
  fBlockFirst = fBlockRows = fBlockGood = 0;
  if (!fSource.Rewind()) {
    fFailReason = kReadFailure;
  } else {
    fFailReason = fNRows > 0 ? kMoreRecords : kEndOfData;
  }
  return fFailReason;
}

void RowRecordIterator::FillBlock() {
  const std::size_t n = fVariables.size();
  if (fvBlock.empty()) fvBlock.resize(static_cast<std::size_t>(kBlockRows) * n);
  fBlockFirst = fNext;
  fBlockRows = std::min(kBlockRows, fNRows - fNext);
  fBlockGood = fBlockRows;
  for (std::size_t i = 0; i < n; ++i)
    fBlockGood = std::min(fBlockGood, fEncoder.EncodeRows(i, fNext, fBlockRows, fvBlock.data() + i, n));
}

bool RowRecordIterator::EncodeCurrentRow() {
  const std::size_t n = fVariables.size();
  for (std::size_t i = 0; i < n; ++i) {
    const ValueState state = fEncoder.Encode(fSource, i, fNext, fRecord[static_cast<int>(i)]);
    // A text where a number was, or a level the scan did not see: the data changed under the fit.
    if (state == ValueState::kNotNumber || state == ValueState::kUnknownLevel) return false;
  }
  return true;
}

const QXCommon_600::Record* RowRecordIterator::Next() {
  if (fFailReason != kMoreRecords) return nullptr;
  // The source moves with the records, so that it reports where the pass stands.
  if (!fSource.Next()) {
    fFailReason = kReadFailure;
    return nullptr;
  }
  if (fEncoder.EncodesInMemory()) {
    if (fNext >= fBlockFirst + fBlockRows) FillBlock();
    if (fNext >= fBlockFirst + fBlockGood) {
      fFailReason = kReadFailure;
      return nullptr;
    }
    const std::size_t n = fVariables.size();
    const double* row = fvBlock.data() + static_cast<std::size_t>(fNext - fBlockFirst) * n;
    std::copy(row, row + n, fRecord.GetAll());
  } else if (!EncodeCurrentRow()) {
    fFailReason = kReadFailure;
    return nullptr;
  }
  if (++fNext == fNRows) fFailReason = kEndOfData;
  return &fRecord;
}

}  // namespace QXFit
