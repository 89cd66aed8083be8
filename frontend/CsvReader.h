// Reads a CSV file with a header row, one record at a time, without holding the file in memory.
// Fields follow RFC 4180: a field in double quotes may hold the delimiter, line breaks and doubled
// quotes. Unquoted fields are trimmed of blanks; blank lines are skipped; CRLF line ends and a UTF-8
// byte order mark are accepted. An empty field and the text NA are missing values, as in R, and so
// are the caller's own missing-value codes (R's na.strings).
//
// Unless the format names it, the delimiter is found in the header: whichever of comma, tab and
// semicolon occurs most often outside quotes (a comma on a tie). With a decimal comma ("3,5"), the
// comma is not a candidate and numbers written with a point are not numbers, as R's read.csv2 reads.
// One record (a line, or the lines of a quoted field) is held in memory at a time, up to 256 MiB.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/RowSource.h"

namespace QXFit {

struct CsvFormat {
  // A record longer than this is refused rather than read into memory: a quote left open early in a
  // large file, or a binary file read as CSV, would otherwise take the whole file into one field.
  static constexpr std::size_t kMaxRecordBytes = std::size_t{1} << 28;

  char fDelimiter = 0;  // 0: found in the header
  bool fbDecimalComma = false;
  std::vector<std::string> fMissingCodes;  // besides the empty field and NA
  std::size_t fMaxRecordBytes = kMaxRecordBytes;
};

class CsvReader : public RowSource {
 public:
  CsvReader() = default;
  CsvReader(const CsvReader&) = delete;
  CsvReader& operator=(const CsvReader&) = delete;
  ~CsvReader() override;

  // Opens the file ("-" for standard input) and reads its header; false with GetError on failure.
  bool Open(const std::string& path, const CsvFormat& format = {});
  // The delimiter in use, given or found.
  char GetDelimiter() const { return fFormat.fDelimiter; }

  const std::vector<std::string>& GetColumnNames() const override { return fColumnNames; }
  bool Rewind() override;
  bool Next() override;
  const std::string& GetError() const override { return fError; }

  bool IsMissing(int column) const override;
  bool GetNumber(int column, double& value) const override;
  std::string_view GetText(int column) override { return fFields[static_cast<std::size_t>(column)]; }
  bool IsNumericOnly() const override { return false; }

  long long GetRowNumber() const override { return fRowNumber; }
  long long GetLineNumber() const override { return fRecordLine; }
  double GetProgress() const override;

  // A decimal number as R reads one: optional sign, digits with an optional decimal mark (a point, or
  // with decimalComma a comma) and exponent, or Inf, -Inf, NaN. Surrounding text is not allowed.
  static bool ParseNumber(std::string_view text, double& value, bool decimalComma = false);
  // The delimiter of a header line: the most frequent of ',', '\t' and ';' outside quotes.
  static char DetectDelimiter(std::string_view header, bool decimalComma);

 private:
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  // Appends one physical line (without its line end) to fLine; false at the end of the file.
  bool ReadLine();
  // Reads one logical record (lines joined while a quote is open) into fLine; false at the end.
  bool ReadRecord();
  // Splits fLine into fFields, unquoting in place.
  void SplitRecord();
  bool Fail(const std::string& message);

  std::unique_ptr<std::FILE, FileCloser> fpFile;
  std::vector<char> fBuffer;
  std::size_t fBufferPos = 0;
  std::size_t fBufferEnd = 0;
  bool fbEndOfFile = false;
  CsvFormat fFormat;
  std::uint64_t fFileSize = 0;
  std::uint64_t fBytesRead = 0;
  long long fLineNumber = 0;
  long long fRowNumber = 0;
  long long fRecordLine = 0;
  long long fRecordStart = 0;  // the first line of the record being read
  std::string fLine;
  std::vector<std::string_view> fFields;
  std::vector<std::string> fColumnNames;
  std::string fError;
};

}  // namespace QXFit
