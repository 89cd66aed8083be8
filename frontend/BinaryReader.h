// Reads a caller's binary record file (headerless records of as many doubles as there are named
// columns) through the library's own BinaryRecordIterator. The missing value is the library's
// system-missing value; NaN counts as missing as well.
#pragma once

#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "frontend/RowSource.h"
#include "records/BinaryRecordIterator.h"

namespace QXFit {

class BinaryReader : public RowSource {
 public:
  BinaryReader() = default;
  BinaryReader(const BinaryReader&) = delete;
  BinaryReader& operator=(const BinaryReader&) = delete;
  ~BinaryReader() override;

  // Opens the file, whose records hold the named columns in order; false with GetError when the file
  // cannot be read or its size is not a whole number of records.
  bool Open(const std::string& path, const std::vector<std::string>& columnNames);

  const std::vector<std::string>& GetColumnNames() const override { return fColumnNames; }
  bool Rewind() override;
  bool Next() override;
  const std::string& GetError() const override { return fError; }

  bool IsMissing(int column) const override;
  bool GetNumber(int column, double& value) const override;
  std::string_view GetText(int column) override;
  bool IsNumericOnly() const override { return true; }

  long long GetRowNumber() const override { return fRowNumber; }
  long long GetLineNumber() const override { return fRowNumber; }
  double GetProgress() const override;

 private:
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  bool Fail(const std::string& message);

  std::unique_ptr<std::FILE, FileCloser> fpFile;
  std::optional<QXCommon_600::BinaryRecordIterator> fIterator;
  const QXCommon_600::Record* fpRecord = nullptr;
  std::vector<std::string> fColumnNames;
  long long fNRecords = 0;
  long long fRowNumber = 0;
  std::array<char, 32> fText{};
  std::string fError;
};

}  // namespace QXFit
