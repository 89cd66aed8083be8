#include "frontend/BinaryReader.h"

#include <charconv>
#include <cmath>

#include "common/QXMissingValue.h"
#include "frontend/InputFile.h"

namespace QXFit {

BinaryReader::~BinaryReader() = default;

bool BinaryReader::Fail(const std::string& message) {
  if (fError.empty()) fError = message;
  return false;
}

bool BinaryReader::Open(const std::string& path, const std::vector<std::string>& columnNames) {
  fError.clear();
  fColumnNames = columnNames;
  if (fColumnNames.empty()) return Fail("a binary file needs the names of its columns");
  std::string error;
  fpFile.reset(OpenInputFile(path, error));
  if (!fpFile) return Fail(error);
  const std::uint64_t size = GetFileSize(fpFile.get());
  const std::uint64_t recordBytes = sizeof(double) * fColumnNames.size();
  if (size % recordBytes != 0)
    return Fail(DescribeInput(path) + " holds " + std::to_string(size) +
                " bytes, not a whole number of records of " + std::to_string(fColumnNames.size()) +
                " doubles");
  fNRecords = static_cast<long long>(size / recordBytes);
  fIterator.emplace(fpFile.get(), static_cast<int>(fColumnNames.size()));
  return Rewind();
}

bool BinaryReader::Rewind() {
  if (!fIterator) return Fail("no file is open");
  fRowNumber = 0;
  fpRecord = nullptr;
  const int reason = fIterator->NewPass();
  if (reason != QXCommon_600::BinaryRecordIterator::kMoreRecords &&
      reason != QXCommon_600::BinaryRecordIterator::kEndOfData)
    return Fail("the binary file cannot be read");
  return true;
}

bool BinaryReader::Next() {
  if (!fError.empty() || !fIterator || !fIterator->HasMore()) {
    if (fIterator && fIterator->GetFailReason() != QXCommon_600::BinaryRecordIterator::kEndOfData)
      return Fail("the binary file cannot be read after record " + std::to_string(fRowNumber));
    return false;
  }
  fpRecord = fIterator->Next();
  if (fpRecord == nullptr)
    return Fail("the binary file cannot be read after record " + std::to_string(fRowNumber));
  ++fRowNumber;
  return true;
}

bool BinaryReader::IsMissing(int column) const {
  const double value = (*fpRecord)[column];
  return QXMV::IsMissing(value) || std::isnan(value);
}

bool BinaryReader::GetNumber(int column, double& value) const {
  value = (*fpRecord)[column];
  return true;
}

std::string_view BinaryReader::GetText(int column) {
  // The shortest text that reads back as the same double, so a level prints as it was written.
  const auto [end, ec] = std::to_chars(fText.data(), fText.data() + fText.size(), (*fpRecord)[column]);
  if (ec != std::errc()) return {};
  return std::string_view(fText.data(), static_cast<std::size_t>(end - fText.data()));
}

double BinaryReader::GetProgress() const {
  return fNRecords == 0 ? 0.0 : static_cast<double>(fRowNumber) / static_cast<double>(fNRecords);
}

}  // namespace QXFit
