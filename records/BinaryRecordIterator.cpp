#include "records/BinaryRecordIterator.h"

#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

#include "common/QXDisplay.h"

#if !defined(_WIN32)
#include <sys/types.h>
#endif

namespace QXCommon_600 {

namespace {

constexpr std::int64_t kBytesPerValue = static_cast<std::int64_t>(sizeof(double));

bool SeekTo(FILE* file, std::int64_t offset) {
#if defined(_WIN32)
  return _fseeki64(file, offset, SEEK_SET) == 0;
#else
  static_assert(sizeof(off_t) >= 8, "large files need a 64-bit off_t");
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

}  // namespace

BinaryRecordIterator::BinaryRecordIterator(FILE* file, int nVariables)
    : fCurrent(nVariables), fLookAhead(nVariables), fpFile(file), fNVariables(nVariables) {
  if (!file) {
    std::printf("Error: file handle is NULL in BinaryRecordIterator constructor");
    fFailReason = kReadFailure;
    return;
  }
  // A record of no values would make every read succeed without moving: an endless pass.
  if (nVariables < 1) {
    fFailReason = kReadFailure;
    return;
  }
  fFailReason = kMoreRecords;
  NextRecord();
}

int BinaryRecordIterator::NextRecord() {
  // Swapping hands the read-ahead values over without copying them; the old current values are
  // overwritten by the read below.
  std::swap(fCurrent, fLookAhead);
  if (fFailReason != kMoreRecords) return fFailReason;
  // Counted in bytes, not in doubles: a trailing piece shorter than one double is a truncated record,
  // not a clean end.
  const std::size_t wanted = static_cast<std::size_t>(fNVariables) * sizeof(double);
  const std::size_t got = std::fread(fLookAhead.GetAll(), 1, wanted, fpFile);
  if (got == 0 && std::feof(fpFile))
    fFailReason = kEndOfData;
  else if (got < wanted)
    fFailReason = kReadFailure;
  return fFailReason;
}

const Record* BinaryRecordIterator::Next() {
  if (fFailReason != kMoreRecords) return nullptr;
  NextRecord();
  return &fCurrent;
}

int BinaryRecordIterator::NewPass() {
  if (!IsUsable()) {
    fFailReason = kReadFailure;
    return fFailReason;
  }
  // A stream that cannot seek (a pipe) would otherwise deliver a short or empty pass as if complete.
  if (!SeekTo(fpFile, 0)) {
    fFailReason = kReadFailure;
    return fFailReason;
  }
  std::clearerr(fpFile);
  fFailReason = kMoreRecords;
  return NextRecord();
}

std::int64_t BinaryRecordIterator::GetRecordOffset(std::int64_t record, int nVariables) {
  if (record < 0 || nVariables < 1) return -1;
  const std::int64_t recordBytes = kBytesPerValue * nVariables;
  if (record > std::numeric_limits<std::int64_t>::max() / recordBytes) return -1;
  return record * recordBytes;
}

bool BinaryRecordIterator::SeekToRecord(FILE* file, std::int64_t record, int nVariables) {
  const std::int64_t offset = GetRecordOffset(record, nVariables);
  return file != nullptr && offset >= 0 && SeekTo(file, offset);
}

void BinaryRecordIterator::Display() const {
  using namespace QXDisplay_600;
  const auto values = [](const Record& r) {
    return r.Size() == 0 ? std::vector<double>() : std::vector<double>(r.GetAll(), r.GetAll() + r.Size());
  };
  DisplayText(1, " ");
  DisplayText(1, "BinaryRecordIterator display start");
  DisplayDV("fCurrent", values(fCurrent));
  DisplayDV("fLookAhead", values(fLookAhead));
  DisplayText(1, fpFile != nullptr ? "fpFile is set" : "fpFile is 0");
  DisplayI("fNVariables", fNVariables);
  DisplayI("fFailReason", fFailReason);
  DisplayText(1, "BinaryRecordIterator display end");
}

}  // namespace QXCommon_600
