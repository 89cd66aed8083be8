#include "records/BinaryRecordIterator.h"

#include <algorithm>
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
// The size of one read ahead: large enough that the C library's per-call cost vanishes, small enough
// to stay in the cache next to the records' consumers.
constexpr std::size_t kBlockBytes = 64 * 1024;

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
    : fCurrent(nVariables), fpFile(file), fNVariables(nVariables) {
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
  fFailReason = ReadBlock();
}

int BinaryRecordIterator::ReadBlock() {
  fBlockRecords = 0;
  fBlockNext = 0;
  if (fStreamEnd != kMoreRecords) return fStreamEnd;
  const std::size_t recordBytes = static_cast<std::size_t>(fNVariables) * sizeof(double);
  const std::size_t records = std::max<std::size_t>(1, kBlockBytes / recordBytes);
  if (fvBlock.size() != records * fNVariables) fvBlock.resize(records * fNVariables);
  // Counted in bytes, not in doubles: a trailing piece shorter than one double is a truncated record,
  // not a clean end. A read shorter than asked for means the end of the stream or an error.
  const std::size_t wanted = records * recordBytes;
  const std::size_t got = std::fread(fvBlock.data(), 1, wanted, fpFile);
  fBlockRecords = static_cast<int>(got / recordBytes);
  if (got < wanted)
    fStreamEnd =
        got % recordBytes == 0 && std::feof(fpFile) && !std::ferror(fpFile) ? kEndOfData : kReadFailure;
  return fBlockRecords > 0 ? kMoreRecords : fStreamEnd;
}

int BinaryRecordIterator::NextRecord() {
  if (fFailReason != kMoreRecords) return fFailReason;
  const double* lookAhead = fvBlock.data() + static_cast<std::size_t>(fBlockNext) * fNVariables;
  std::copy(lookAhead, lookAhead + fNVariables, fCurrent.GetAll());
  if (++fBlockNext < fBlockRecords) return fFailReason;
  return fFailReason = ReadBlock();
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
  fStreamEnd = kMoreRecords;
  return fFailReason = ReadBlock();
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
  DisplayI("fBlockRecords", fBlockRecords);
  DisplayI("fBlockNext", fBlockNext);
  DisplayI("fStreamEnd", fStreamEnd);
  DisplayText(1, fpFile != nullptr ? "fpFile is set" : "fpFile is 0");
  DisplayI("fNVariables", fNVariables);
  DisplayI("fFailReason", fFailReason);
  DisplayText(1, "BinaryRecordIterator display end");
}

}  // namespace QXCommon_600
