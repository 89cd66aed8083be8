// The library's records read straight from a row source: each Next reads one row and encodes the
// model's variables as the record file would hold them (factor codes, functions of columns, the
// system-missing value). For data already in memory this replaces the temporary record file, so a fit
// costs no copy of the rows; a source that is slow to read (a CSV file) is better written once. When
// every variable lies in memory, rows are encoded a block at a time, column by column, into a buffer
// of fixed size, and handed out from it one by one.
#pragma once

#include <vector>

#include "common/Record.h"
#include "common/RecordIterator.h"
#include "frontend/ModelBuilder.h"
#include "frontend/RowEncoder.h"
#include "frontend/RowSource.h"

namespace QXFit {

class RowRecordIterator : public QXCommon_600::MultiPassRecordIter {
 public:
  static constexpr int kMoreRecords = 0;
  static constexpr int kEndOfData = 1;
  // The source failed, or no longer holds what it held when the model was built from it.
  static constexpr int kReadFailure = 3;

  // `source` holds `nRows` rows and `variables` are the model's, in record order; both are borrowed.
  RowRecordIterator(RowSource& source, const std::vector<ModelVariable>& variables, long long nRows);

  bool HasMore() const override { return fFailReason == kMoreRecords; }
  const QXCommon_600::Record* Next() override;
  int GetFailReason() const override { return fFailReason; }
  int NewPass() override;

 private:
  RowSource& fSource;
  const std::vector<ModelVariable>& fVariables;
  RowEncoder fEncoder;
  long long fNRows;
  long long fNext = 0;
  QXCommon_600::Record fRecord;
  int fFailReason = kReadFailure;

  // The block of encoded rows (record after record) and where it stands: rows fBlockFirst .. of the
  // pass, fBlockRows of them encoded, fBlockGood before a row that failed.
  static constexpr long long kBlockRows = 256;
  std::vector<double> fvBlock;
  long long fBlockFirst = 0;
  long long fBlockRows = 0;
  long long fBlockGood = 0;
  // Encodes the block that starts at row fNext.
  void FillBlock();
  // Next's row-by-row reading, through the source's current row.
  bool EncodeCurrentRow();
};

}  // namespace QXFit
