#include "frontend/RowRecordIterator.h"

#include <cmath>

#include "common/QXMissingValue.h"
#include "frontend/RecordFileWriter.h"

namespace QXFit {

RowRecordIterator::RowRecordIterator(RowSource& source, const std::vector<ModelVariable>& variables,
                                     long long nRows)
    : fSource(source),
      fVariables(variables),
      fCoded(source, variables),
      fInMemory(variables.size()),
      fNRows(nRows),
      fRecord(static_cast<int>(variables.size())) {
  for (std::size_t i = 0; i < variables.size(); ++i) {
    const ColumnArray* array = source.GetColumnArray(variables[i].fColumn);
    if (array == nullptr) continue;
    // A numeric factor's levels are looked up by value, which the generic reading does.
    if (variables[i].IsCategorical() ? fCoded.Get(i) != nullptr : array->fpNumbers != nullptr)
      fInMemory[i] = {array, fCoded.Get(i)};
  }
}

bool RowRecordIterator::Encode(std::size_t i, long long row) {
  double& value = fRecord[static_cast<int>(i)];
  const InMemory& column = fInMemory[i];
  ValueState state = ValueState::kMissing;
  if (column.fpLevels != nullptr) {
    state = EncodeCode(column.fpArray->Code(row), *column.fpLevels, value);
  } else if (column.fpArray != nullptr) {
    const double number = column.fpArray->Number(row);
    // NaN is how memory holds a missing number.
    if (std::isnan(number)) {
      value = QXMV::gMissingValue;
    } else {
      state = EncodeNumber(number, fVariables[i].fTransform, value);
    }
  } else {
    state = EncodeValue(fSource, fVariables[i].fColumn, fVariables[i], value, fCoded.Get(i));
  }
  // A text where a number was, or a level the scan did not see: the data changed under the fit.
  return state != ValueState::kNotNumber && state != ValueState::kUnknownLevel;
}

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
    if (!Encode(i, fNext)) {
      fFailReason = kReadFailure;
      return nullptr;
    }
  }
  if (++fNext == fNRows) fFailReason = kEndOfData;
  return &fRecord;
}

}  // namespace QXFit
