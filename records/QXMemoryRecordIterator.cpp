#include "records/QXMemoryRecordIterator.h"

#include <limits>

namespace QXCommon_600 {

namespace {

std::vector<QXMemoryRecordIterator::Column> RowColumns(const double* rows, int nVariables) {
  std::vector<QXMemoryRecordIterator::Column> columns;
  if (nVariables < 1) return columns;
  columns.reserve(static_cast<std::size_t>(nVariables));
  for (int j = 0; j < nVariables; ++j) columns.push_back({rows == nullptr ? nullptr : rows + j, nVariables});
  return columns;
}

std::vector<QXMemoryRecordIterator::Column> PlainColumns(const std::vector<const double*>& data) {
  std::vector<QXMemoryRecordIterator::Column> columns;
  columns.reserve(data.size());
  for (const double* column : data) columns.push_back({column, 1});
  return columns;
}

}  // namespace

QXMemoryRecordIterator::QXMemoryRecordIterator(const double* rows, std::int64_t nRecords, int nVariables)
    : QXMemoryRecordIterator(RowColumns(rows, nVariables), nRecords) {}

QXMemoryRecordIterator::QXMemoryRecordIterator(const std::vector<const double*>& columns,
                                               std::int64_t nRecords)
    : QXMemoryRecordIterator(PlainColumns(columns), nRecords) {}

QXMemoryRecordIterator::QXMemoryRecordIterator(const std::vector<Column>& columns, std::int64_t nRecords)
    : fColumns(columns), fNRecords(nRecords), fCurrent(static_cast<int>(columns.size())) {
  Validate();
  Rewind();
}

void QXMemoryRecordIterator::Validate() {
  fbValid = false;
  if (fColumns.empty() || fNRecords < 0 ||
      fColumns.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    return;
  if (fNRecords == 0) {
    fbValid = true;
    return;
  }
  // The byte offset of the last record, (n - 1) * stride * 8, must be representable: beyond that the
  // address arithmetic itself would be undefined, whatever the caller's buffer.
  constexpr std::int64_t kMaxOffset =
      std::numeric_limits<std::ptrdiff_t>::max() / static_cast<std::ptrdiff_t>(sizeof(double));
  const std::int64_t last = fNRecords - 1;
  for (const Column& column : fColumns) {
    if (column.fpData == nullptr || column.fStride < -kMaxOffset || column.fStride > kMaxOffset) return;
    const std::int64_t step = column.fStride < 0 ? -static_cast<std::int64_t>(column.fStride)
                                                 : static_cast<std::int64_t>(column.fStride);
    if (step != 0 && last > kMaxOffset / step) return;
  }
  fbValid = true;
}

void QXMemoryRecordIterator::Rewind() {
  fNext = 0;
  if (!fbValid) {
    fFailReason = kReadFailure;
    return;
  }
  fFailReason = fNRecords > 0 ? kMoreRecords : kEndOfData;
}

const Record* QXMemoryRecordIterator::Next() {
  if (fFailReason != kMoreRecords) return nullptr;
  const auto k = static_cast<std::ptrdiff_t>(fNext);
  double* values = fCurrent.GetAll();
  const std::size_t n = fColumns.size();
  for (std::size_t j = 0; j < n; ++j) values[j] = fColumns[j].fpData[k * fColumns[j].fStride];
  if (++fNext == fNRecords) fFailReason = kEndOfData;
  return &fCurrent;
}

int QXMemoryRecordIterator::NewPass() {
  Rewind();
  return fFailReason;
}

}  // namespace QXCommon_600
