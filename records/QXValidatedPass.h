// One pass over a caller's records as every model runs it: the cancel question before each record,
// the validator's decision on each one, and a check at the end that the iterator did not stop early
// on a failure. The records the validator accepts go to the caller's function; those it leaves out
// quietly (missing values, weights that are not positive) are skipped.
#pragma once

#include <cstdint>

#include "common/QXStatus.h"
#include "common/Record.h"
#include "common/RecordIterator.h"
#include "records/QXCancelInfo.h"
#include "records/QXRegRecordValidator.h"

namespace QXMath_600 {

// Reads `records` from where NewPass left them to the end. `use(record)` returns a status; an error
// ends the pass with it. The pass also ends with the validator's error (315, 316), with
// `nullRecordCode` when the iterator hands out a null record while it reports more, with 1 when
// cancelled, and with 304 (discrete datum 0 = the fail reason) when the iterator ends on a failure
// (a read error, a truncated last record): fitting what was read would pass off part of the data as
// all of it. `delivered`, when not null, counts every record handed out.
template <class Use>
QXCommon_600::QXStatus RunValidatedPass(QXCommon_600::MultiPassRecordIter& records,
                                        const QXRegRecordValidator& validator, const QXCancelInfo& cancelInfo,
                                        long nullRecordCode, std::int64_t* delivered, Use&& use) {
  using QXCommon_600::QXStatus;
  // One status for the whole pass: the validator sets it only for an error, which ends the pass, so it
  // stays clear from record to record (and a status is not cleared, some 90 bytes, per record).
  QXStatus invalid;
  while (records.HasMore()) {
    if (cancelInfo.WillCancel()) return QXStatus(1, false);
    const QXCommon_600::Record* record = records.Next();
    if (record == nullptr) return QXStatus(nullRecordCode, false);
    if (delivered != nullptr) ++*delivered;
    if (!validator.IsValidRecord(*record, invalid)) {
      if (invalid.IsError()) return invalid;
      continue;
    }
    QXStatus status = use(*record);
    if (status.IsError()) return status;
  }
  const int reason = records.GetFailReason();
  if (reason != 0 && reason != 1) {
    QXStatus status(304, false);
    status.SetDiscreteDatum(0, reason);
    return status;
  }
  return QXStatus();
}

}  // namespace QXMath_600
