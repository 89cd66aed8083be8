// Records held in the caller's memory, read in as many passes as a model needs without writing a
// file. The values stay the caller's: the iterator keeps pointers to them, so they must outlive it and
// stay unchanged from the first pass of a build to the last.
//
// Three layouts, all of doubles, all read in place:
//   - rows: one array of nRecords x nVariables values, record k's variables consecutive;
//   - columns: one array of nRecords values per variable;
//   - strided columns: per variable a pointer and a step in doubles (not bytes) from one record to the
//     next, which describes a column of a two-dimensional array in either storage order, a reversed
//     view or a slice (a NumPy column buffer, for instance, with its byte strides divided by 8).
// Missing values are the system-missing value or NaN: the record validator leaves a NaN factor,
// covariate, dependent or weight out as missing.
//
// A layout that cannot be read (a null pointer with records to read, a negative count, no variables,
// steps that overflow an address) leaves the iterator failed with kReadFailure, as a broken file leaves
// a BinaryRecordIterator; a model built from it reports why it has no data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/QXExport.h"
#include "common/Record.h"
#include "common/RecordIterator.h"

namespace QXCommon_600 {

class QXREGRES_API QXMemoryRecordIterator : public MultiPassRecordIter {
 public:
  // Fail reasons, as BinaryRecordIterator gives them.
  static constexpr int kMoreRecords = 0;
  static constexpr int kEndOfData = 1;
  static constexpr int kReadFailure = 3;

  // One variable of the strided layout: record k's value is fpData[k * fStride].
  struct Column {
    const double* fpData = nullptr;
    std::ptrdiff_t fStride = 1;
  };

  // Rows: variable j of record k is rows[k * nVariables + j].
  QXMemoryRecordIterator(const double* rows, std::int64_t nRecords, int nVariables);
  // Columns: variable j of record k is columns[j][k].
  QXMemoryRecordIterator(const std::vector<const double*>& columns, std::int64_t nRecords);
  // Strided columns: variable j of record k is columns[j].fpData[k * columns[j].fStride].
  QXMemoryRecordIterator(const std::vector<Column>& columns, std::int64_t nRecords);

  bool HasMore() const override { return fFailReason == kMoreRecords; }
  // The next record, valid until the following Next or NewPass; null once HasMore is false.
  const Record* Next() override;
  // 0 while records remain, 1 after a complete pass, 3 when the layout cannot be read.
  int GetFailReason() const override { return fFailReason; }
  // Starts over at the first record; a failed layout stays failed.
  int NewPass() override;

  std::int64_t GetNRecords() const { return fNRecords; }
  int GetNVariables() const { return static_cast<int>(fColumns.size()); }

 private:
  void Validate();
  void Rewind();

  std::vector<Column> fColumns;
  std::int64_t fNRecords = 0;
  std::int64_t fNext = 0;
  Record fCurrent;
  bool fbValid = false;
  int fFailReason = kReadFailure;
};

}  // namespace QXCommon_600
