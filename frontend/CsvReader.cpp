#include "frontend/CsvReader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "frontend/InputFile.h"

namespace QXFit {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

CsvReader::~CsvReader() = default;

bool CsvReader::Fail(const std::string& message) {
  if (fError.empty()) fError = message;
  return false;
}

bool CsvReader::Open(const std::string& path, const CsvFormat& format) {
  fError.clear();
  fFormat = format;
  const char delimiter = format.fDelimiter;
  if (delimiter == '"' || delimiter == '\n' || delimiter == '\r')
    return Fail("the delimiter cannot be a quote or a line break");
  if (delimiter == ',' && format.fbDecimalComma)
    return Fail("a decimal comma needs a delimiter other than ','");
  std::string error;
  fpFile.reset(OpenInputFile(path, error));
  if (!fpFile) return Fail(error);
  fFileSize = GetFileSize(fpFile.get());
  fBuffer.resize(kBufferSize);
  fColumnNames.clear();
  if (!Rewind()) return false;
  if (fColumnNames.empty()) return Fail(DescribeInput(path) + " is empty: a header row is needed");
  return true;
}

char CsvReader::DetectDelimiter(std::string_view header, bool decimalComma) {
  std::size_t commas = 0, tabs = 0, semicolons = 0;
  bool quoted = false;
  for (const char c : header) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    commas += c == ',';
    tabs += c == '\t';
    semicolons += c == ';';
  }
  if (decimalComma) commas = 0;
  if (tabs > commas && tabs >= semicolons) return '\t';
  if (semicolons > commas && semicolons > tabs) return ';';
  if (commas > 0) return ',';
  return decimalComma ? ';' : ',';
}

bool CsvReader::Rewind() {
  if (!fpFile) return Fail("no file is open");
  std::rewind(fpFile.get());
  fBufferPos = fBufferEnd = 0;
  fbEndOfFile = false;
  fBytesRead = 0;
  fLineNumber = 0;
  fRowNumber = 0;
  // The header is read again on every pass: it is the one portable way back to the first record of a
  // file of any size.
  if (!ReadRecord()) return fError.empty();
  if (fFormat.fDelimiter == 0) fFormat.fDelimiter = DetectDelimiter(fLine, fFormat.fbDecimalComma);
  SplitRecord();
  std::vector<std::string> names(fFields.begin(), fFields.end());
  if (!names.empty() && names[0].rfind("\xEF\xBB\xBF", 0) == 0) names[0].erase(0, 3);
  if (!fColumnNames.empty() && names != fColumnNames) return Fail("the file changed while it was read");
  fColumnNames = std::move(names);
  return true;
}

bool CsvReader::ReadLine() {
  bool any = false;
  while (true) {
    if (fBufferPos == fBufferEnd) {
      // A last line without a line end is a line all the same: it is counted and loses its CR below.
      if (fbEndOfFile) break;
      fBufferEnd = std::fread(fBuffer.data(), 1, fBuffer.size(), fpFile.get());
      fBufferPos = 0;
      if (fBufferEnd < fBuffer.size()) {
        if (std::ferror(fpFile.get())) return Fail("read error at line " + std::to_string(fLineNumber + 1));
        fbEndOfFile = true;
      }
      if (fBufferEnd == 0) break;
    }
    any = true;
    const char* start = fBuffer.data() + fBufferPos;
    const std::size_t available = fBufferEnd - fBufferPos;
    const void* newline = std::memchr(start, '\n', available);
    const std::size_t n =
        newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - start) : available;
    // fLine may already be over the bound by the line breaks of a quoted field, which empty lines
    // add without any text of their own.
    if (fLine.size() > fFormat.fMaxRecordBytes || n > fFormat.fMaxRecordBytes - fLine.size())
      return Fail("line " + std::to_string(fRecordStart) + ": a record longer than " +
                  std::to_string(fFormat.fMaxRecordBytes) + " bytes (is a quote left open?)");
    fLine.append(start, n);
    fBufferPos += n;
    fBytesRead += n;
    if (newline) {
      ++fBufferPos;
      ++fBytesRead;
      break;
    }
  }
  if (!any) return false;
  ++fLineNumber;
  if (!fLine.empty() && fLine.back() == '\r') fLine.pop_back();
  return true;
}

bool CsvReader::ReadRecord() {
  while (true) {
    fLine.clear();
    fRecordStart = fLineNumber + 1;
    if (!ReadLine()) return false;
    // A quote left open continues the field on the next line; doubled quotes toggle twice.
    std::size_t quotes = 0;
    for (char c : fLine) quotes += c == '"';
    const long long firstLine = fLineNumber;
    while (quotes % 2 == 1) {
      fLine.push_back('\n');
      const std::size_t before = fLine.size();
      if (!ReadLine()) return Fail("line " + std::to_string(firstLine) + ": a quoted field is never closed");
      for (std::size_t i = before; i < fLine.size(); ++i) quotes += fLine[i] == '"';
    }
    if (!Trim(fLine).empty()) {
      fRecordLine = firstLine;
      return true;
    }
  }
}

void CsvReader::SplitRecord() {
  fFields.clear();
  // Unquoting writes each field's text over the record itself: the text of a field is never longer
  // than what was read for it, so the write position never passes the read position.
  char* line = fLine.data();
  const std::size_t size = fLine.size();
  std::size_t read = 0;
  std::size_t write = 0;
  while (true) {
    while (read < size && IsBlank(line[read]) && line[read] != fFormat.fDelimiter) ++read;
    const std::size_t start = write;
    bool quoted = false;
    if (read < size && line[read] == '"') {
      quoted = true;
      ++read;
      while (read < size) {
        if (line[read] == '"') {
          if (read + 1 < size && line[read + 1] == '"') {
            line[write++] = '"';
            read += 2;
            continue;
          }
          ++read;
          break;
        }
        line[write++] = line[read++];
      }
      const std::size_t quotedEnd = write;
      // Text after the closing quote is kept (a lenient reading of a malformed field), blanks are not.
      while (read < size && line[read] != fFormat.fDelimiter) line[write++] = line[read++];
      if (std::string_view(line + quotedEnd, write - quotedEnd).find_first_not_of(" \t") ==
          std::string_view::npos)
        write = quotedEnd;
    } else {
      while (read < size && line[read] != fFormat.fDelimiter) line[write++] = line[read++];
    }
    std::string_view field(line + start, write - start);
    fFields.push_back(quoted ? field : Trim(field));
    if (read >= size) break;
    ++read;  // the delimiter
  }
}

bool CsvReader::Next() {
  if (!fError.empty() || !fpFile) return false;
  if (!ReadRecord()) return false;
  SplitRecord();
  ++fRowNumber;
  if (fFields.size() != fColumnNames.size())
    return Fail("line " + std::to_string(fLineNumber) + ": " + std::to_string(fFields.size()) +
                " fields where the header has " + std::to_string(fColumnNames.size()));
  return true;
}

bool CsvReader::IsMissing(int column) const {
  const std::string_view text = fFields[static_cast<std::size_t>(column)];
  if (text.empty() || text == "NA") return true;
  for (const auto& code : fFormat.fMissingCodes)
    if (text == code) return true;
  return false;
}

bool CsvReader::GetNumber(int column, double& value) const {
  return ParseNumber(fFields[static_cast<std::size_t>(column)], value, fFormat.fbDecimalComma);
}

double CsvReader::GetProgress() const {
  return fFileSize == 0 ? 0.0 : static_cast<double>(fBytesRead) / static_cast<double>(fFileSize);
}

bool CsvReader::ParseNumber(std::string_view text, double& value, bool decimalComma) {
  if (text.empty()) return false;
  if (decimalComma) {
    // "3,5" is read as "3.5"; a point is then no decimal mark (R's dec = ",").
    if (text.find('.') != std::string_view::npos) return false;
    const std::size_t comma = text.find(',');
    if (comma != std::string_view::npos) {
      std::string pointed(text);
      pointed[comma] = '.';
      return ParseNumber(pointed, value, false);
    }
  }
  bool negative = false;
  if (text.front() == '+' || text.front() == '-') {
    negative = text.front() == '-';
    text.remove_prefix(1);
    if (text.empty() || text.front() == '+' || text.front() == '-') return false;
  }
  // from_chars would also take "infinity" and "nan(...)"; R writes Inf and NaN only.
  if (EqualsNoCase(text, "inf") || EqualsNoCase(text, "nan")) {
    value = EqualsNoCase(text, "inf") ? std::numeric_limits<double>::infinity()
                                      : std::numeric_limits<double>::quiet_NaN();
    if (negative) value = -value;
    return true;
  }
  if (!(std::isdigit(static_cast<unsigned char>(text.front())) || text.front() == '.')) return false;
  double parsed = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (end != text.data() + text.size()) return false;
  // A number beyond the double range is still a number: strtod gives the infinity or the underflow,
  // as R reads it. Rare enough for the copy.
  if (ec == std::errc::result_out_of_range) {
    parsed = std::strtod(std::string(text).c_str(), nullptr);
  } else if (ec != std::errc()) {
    return false;
  }
  value = negative ? -parsed : parsed;
  return true;
}

}  // namespace QXFit
