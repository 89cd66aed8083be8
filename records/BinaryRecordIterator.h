// Reads the records of a flat binary file: no header, records of n doubles each in the machine's byte
// order, record k starting at byte 8*n*k. The caller opens, positions and closes the file; the
// iterator starts each new pass at byte 0, so a model can take as many passes as it needs.
//
// Records are read ahead a block at a time (about 64 KiB, one fread), so that a pass costs one copy
// of each record rather than a call into the C library per record; at least one record is always
// held ahead, so that HasMore answers without touching the file and a truncated last record is known
// as soon as the record before it is handed out.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "common/QXExport.h"
#include "common/Record.h"
#include "common/RecordIterator.h"

namespace QXCommon_600 {

class QXREGRES_API BinaryRecordIterator : public MultiPassRecordIter {
 public:
  // Fail reasons.
  static constexpr int kMoreRecords = 0;
  static constexpr int kEndOfData = 1;
  // A read error, a truncated last record, a null file handle or fewer than one variable per record.
  static constexpr int kReadFailure = 3;

  // Reads the first record from the file's current position. A null handle prints the iterator's one
  // error message and leaves it failed.
  BinaryRecordIterator(FILE* file, int nVariables);
  // A copy shares the caller's stream and its position.
  BinaryRecordIterator(const BinaryRecordIterator&) = default;
  BinaryRecordIterator& operator=(const BinaryRecordIterator&) = default;
  ~BinaryRecordIterator() override = default;

  bool HasMore() const override { return fFailReason == kMoreRecords; }
  // The next record, valid until the following Next or NewPass; null once HasMore is false.
  const Record* Next() override;
  // 0 while records remain, 1 after a complete pass, 3 after a failed one.
  int GetFailReason() const override { return fFailReason; }
  // Starts over from byte 0 of the file, also after a failure. Without a usable file it returns 3 and
  // touches nothing; a stream that cannot be rewound fails the pass with 3.
  int NewPass() override;

  // The byte at which record `record` of a file of nVariables doubles per record begins, computed in
  // 64 bits; -1 when the arguments are negative or the offset does not fit.
  static std::int64_t GetRecordOffset(std::int64_t record, int nVariables);
  // Positions the file at the start of record `record`, with 64-bit offsets so that files beyond
  // 2 GiB can be addressed. Returns false when the offset is invalid or the seek fails.
  static bool SeekToRecord(FILE* file, std::int64_t record, int nVariables);

  void Display() const;

 private:
  // Hands the look-ahead record over to the current one and makes the following record the
  // look-ahead one, reading the next block when this one is used up.
  int NextRecord();
  // Reads the next block of whole records; returns 0 when it holds at least one, else the reason the
  // stream gave (1 at a clean end, 3 on a read error or a truncated record).
  int ReadBlock();
  bool IsUsable() const { return fpFile != nullptr && fNVariables >= 1; }

  Record fCurrent;
  // The block read ahead: fBlockRecords whole records, the look-ahead one at fBlockNext.
  std::vector<double> fvBlock;
  int fBlockRecords = 0;
  int fBlockNext = 0;
  // What the stream said when the last block was read: 0 while more may follow, else the fail reason
  // that comes once the block is used up.
  int fStreamEnd = kMoreRecords;
  FILE* fpFile = nullptr;
  int fNVariables = 0;
  int fFailReason = kReadFailure;
};

}  // namespace QXCommon_600
