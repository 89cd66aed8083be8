#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "qxregres600r.h"

namespace {

using QXCommon_600::BinaryRecordIterator;
using QXCommon_600::Record;

using Rows = std::vector<std::vector<double>>;

// An anonymous temporary file, removed when closed.
class TempFile {
 public:
  TempFile() : fFile(std::tmpfile()) {}
  ~TempFile() {
    if (fFile) std::fclose(fFile);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Writes the values and `extraBytes` bytes of a cut-off value, then rewinds.
  FILE* With(const std::vector<double>& values, std::size_t extraBytes = 0) {
    if (!values.empty()) std::fwrite(values.data(), sizeof(double), values.size(), fFile);
    // As many bytes as asked: a cut record may be longer than one double.
    const std::vector<char> garbage(extraBytes, '\x5');
    if (extraBytes > 0) std::fwrite(garbage.data(), 1, extraBytes, fFile);
    std::rewind(fFile);
    return fFile;
  }
  FILE* Get() const { return fFile; }

 private:
  FILE* fFile;
};

// Reads until HasMore turns false, as a model's pass does.
Rows Pass(BinaryRecordIterator& iterator) {
  Rows rows;
  while (iterator.HasMore()) {
    const Record* record = iterator.Next();
    if (!record) break;
    rows.emplace_back(record->GetAll(), record->GetAll() + record->Size());
  }
  return rows;
}

const std::vector<double> kThreeRecords{1.0, 2.0, 3.5, -4.0, 5.0, 1e300};
const Rows kThreeRows{{1.0, 2.0}, {3.5, -4.0}, {5.0, 1e300}};

TEST(BinaryRecordIterator, CompletePassDeliversEveryRecordThenEndsCleanly) {
  TempFile file;
  BinaryRecordIterator iterator(file.With(kThreeRecords), 2);
  EXPECT_EQ(iterator.GetFailReason(), 0);
  EXPECT_EQ(Pass(iterator), kThreeRows);
  EXPECT_FALSE(iterator.HasMore());
  EXPECT_EQ(iterator.GetFailReason(), 1);
  EXPECT_EQ(iterator.Next(), nullptr);
}

TEST(BinaryRecordIterator, TruncatedLastRecordFailsAfterTheWholeRecords) {
  // 52 bytes: the 4-byte tail is shorter than one double, which a count of whole doubles would take
  // for a clean end.
  TempFile shortTail;
  BinaryRecordIterator iterator(shortTail.With(kThreeRecords, 4), 2);
  EXPECT_EQ(Pass(iterator), kThreeRows);
  EXPECT_EQ(iterator.GetFailReason(), 3);

  TempFile partialRecord;  // one whole double of a record of three
  BinaryRecordIterator three(partialRecord.With({1, 2, 3, 4}), 3);
  EXPECT_EQ(Pass(three), (Rows{{1, 2, 3}}));
  EXPECT_EQ(three.GetFailReason(), 3);

  // A failed pass can be started over and fails again at the same place.
  EXPECT_EQ(iterator.NewPass(), 0);
  EXPECT_EQ(Pass(iterator), kThreeRows);
  EXPECT_EQ(iterator.GetFailReason(), 3);
}

// Records are read ahead in blocks of 64 KiB: a file of many blocks, whose size is no multiple of the
// block and whose last record is cut, still gives every whole record once and in order, then 3; and a
// record wider than a block is read one record per block.
TEST(BinaryRecordIterator, PassesAcrossReadBlocksDeliverEveryRecordInOrder) {
  for (int nVariables : {7, 9000}) {
    SCOPED_TRACE(nVariables);
    const int nRecords = nVariables == 7 ? 5000 : 9;  // 280 000 and 648 000 bytes
    std::vector<double> values(static_cast<std::size_t>(nRecords) * nVariables);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<double>(i);
    TempFile file;
    BinaryRecordIterator iterator(file.With(values, 12), nVariables);
    for (int pass = 0; pass < 2; ++pass) {
      const Rows rows = Pass(iterator);
      ASSERT_EQ(rows.size(), static_cast<std::size_t>(nRecords));
      for (int r = 0; r < nRecords; ++r) {
        ASSERT_EQ(rows[r].front(), static_cast<double>(r) * nVariables) << r;
        ASSERT_EQ(rows[r].back(), static_cast<double>(r + 1) * nVariables - 1) << r;
      }
      EXPECT_EQ(iterator.GetFailReason(), 3);
      EXPECT_EQ(iterator.NewPass(), 0);
    }
  }
}

TEST(BinaryRecordIterator, EmptyFileEndsAtOnce) {
  TempFile file;
  BinaryRecordIterator iterator(file.With({}), 4);
  EXPECT_FALSE(iterator.HasMore());
  EXPECT_EQ(iterator.GetFailReason(), 1);
  EXPECT_EQ(iterator.Next(), nullptr);
  EXPECT_EQ(iterator.NewPass(), 1);
}

TEST(BinaryRecordIterator, NullHandlePrintsItsOneMessageAndNeverReads) {
  ::testing::internal::CaptureStdout();
  BinaryRecordIterator iterator(nullptr, 2);
  EXPECT_FALSE(iterator.HasMore());
  EXPECT_EQ(iterator.Next(), nullptr);
  EXPECT_EQ(iterator.NewPass(), 3);
  EXPECT_EQ(iterator.GetFailReason(), 3);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Error: file handle is NULL in BinaryRecordIterator constructor");
}

TEST(BinaryRecordIterator, RecordsWithoutVariablesFailInsteadOfPassingForever) {
  TempFile file;
  for (int n : {0, -3}) {
    BinaryRecordIterator iterator(file.With(kThreeRecords), n);
    EXPECT_FALSE(iterator.HasMore());
    EXPECT_EQ(iterator.GetFailReason(), 3);
    EXPECT_EQ(iterator.NewPass(), 3);
  }
}

TEST(BinaryRecordIterator, EveryPassStartsAtByteZeroAndDeliversTheSameRecords) {
  TempFile file;
  FILE* stream = file.With(kThreeRecords);
  std::fseek(stream, 16, SEEK_SET);  // construction reads from where the caller left the file
  BinaryRecordIterator iterator(stream, 2);
  EXPECT_EQ(Pass(iterator), (Rows{kThreeRows[1], kThreeRows[2]}));

  EXPECT_EQ(iterator.NewPass(), 0);
  const Rows first = Pass(iterator);
  EXPECT_EQ(iterator.NewPass(), 0);
  iterator.Next();  // a pass given up half-way
  EXPECT_EQ(iterator.NewPass(), 0);
  EXPECT_EQ(Pass(iterator), first);
  EXPECT_EQ(first, kThreeRows);
  EXPECT_EQ(iterator.GetFailReason(), 1);

  // A copy shares the stream: it goes on from where the stream stands.
  EXPECT_EQ(iterator.NewPass(), 0);
  BinaryRecordIterator copy(iterator);
  EXPECT_EQ(Pass(copy), kThreeRows);
}

TEST(BinaryRecordIterator, StreamThatCannotRewindFailsTheNewPass) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], kThreeRecords.data(), 48), 48);
  close(fds[1]);
  FILE* pipeStream = fdopen(fds[0], "rb");
  ASSERT_NE(pipeStream, nullptr);
  BinaryRecordIterator iterator(pipeStream, 2);
  EXPECT_EQ(Pass(iterator), kThreeRows);
  EXPECT_EQ(iterator.GetFailReason(), 1);
  // Reading on would give an empty pass that looks complete.
  EXPECT_EQ(iterator.NewPass(), 3);
  EXPECT_FALSE(iterator.HasMore());
  std::fclose(pipeStream);
}

TEST(BinaryRecordIterator, RecordOffsetsAreComputedIn64Bits) {
  EXPECT_EQ(BinaryRecordIterator::GetRecordOffset(0, 2), 0);
  EXPECT_EQ(BinaryRecordIterator::GetRecordOffset(3, 2), 48);
  EXPECT_EQ(BinaryRecordIterator::GetRecordOffset(100'000'000, 3), 2'400'000'000);
  EXPECT_EQ(BinaryRecordIterator::GetRecordOffset(1'000'000, 2'000'000'000), 16'000'000'000'000'000);
  EXPECT_EQ(BinaryRecordIterator::GetRecordOffset(std::int64_t{1} << 40, 1 << 20), -1);  // 2^63 bytes
  EXPECT_EQ(BinaryRecordIterator::GetRecordOffset(-1, 2), -1);
  EXPECT_EQ(BinaryRecordIterator::GetRecordOffset(1, 0), -1);
  EXPECT_FALSE(BinaryRecordIterator::SeekToRecord(nullptr, 0, 2));
}

TEST(BinaryRecordIterator, ReadsBeyondTwoGibibytesAndRewindsFromThere) {
  TempFile file;
  const int fd = fileno(file.Get());
  constexpr off_t kSize = off_t{3} << 30;
  // A sparse file: no data blocks are written for the holes.
  if (ftruncate(fd, kSize) != 0) GTEST_SKIP() << "the filesystem refuses a 3 GiB sparse file";
  constexpr std::int64_t kRecord = 100'000'000;
  const std::int64_t offset = BinaryRecordIterator::GetRecordOffset(kRecord, 3);
  ASSERT_GT(offset, std::int64_t{1} << 31);
  const double values[3] = {1.5, -2.5, 3.5};
  ASSERT_EQ(pwrite(fd, values, sizeof values, static_cast<off_t>(offset)),
            static_cast<ssize_t>(sizeof values));

  ASSERT_TRUE(BinaryRecordIterator::SeekToRecord(file.Get(), kRecord, 3));
  EXPECT_EQ(ftello(file.Get()), offset);
  BinaryRecordIterator iterator(file.Get(), 3);
  const Record* record = iterator.Next();
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(std::vector<double>(record->GetAll(), record->GetAll() + 3),
            std::vector<double>(values, values + 3));
  EXPECT_TRUE(iterator.HasMore());

  EXPECT_EQ(iterator.NewPass(), 0);
  record = iterator.Next();
  EXPECT_EQ(std::vector<double>(record->GetAll(), record->GetAll() + 3), std::vector<double>(3, 0.0));
  // The pass restarted at byte 0: the stream stands after the first block read ahead, a whole number
  // of records from the start.
  const std::int64_t position = ftello(file.Get());
  EXPECT_GE(position, 48);
  EXPECT_LE(position, std::int64_t{1} << 16);
  EXPECT_EQ(position % 24, 0);
}

}  // namespace
