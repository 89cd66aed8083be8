// The iterators every model is built from. A caller may implement them over any source; the library
// only reads records, one pass after another.
#pragma once

#include "common/QXExport.h"
#include "common/Record.h"

namespace QXCommon_600 {

class QXCOMMON_API RecordIterator {
 public:
  virtual ~RecordIterator() = default;
  // True while Next will deliver a record.
  virtual bool HasMore() const = 0;
  // The next record, valid until the following Next or NewPass; null when none is left.
  virtual const Record* Next() = 0;
  // 0 while records remain, 1 at a clean end of the data, any other value on a failure.
  virtual int GetFailReason() const = 0;
};

class QXCOMMON_API MultiPassRecordIter : public RecordIterator {
 public:
  // Starts the data over from its first record; returns the fail reason afterwards.
  virtual int NewPass() = 0;
};

}  // namespace QXCommon_600
