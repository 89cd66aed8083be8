// The CSV reader of qxfit over arbitrary bytes, in every format the command line can ask for.
//
// Input: one byte choosing the delimiter (found in the header, or one of ',', ';', tab, '|', ' ' or
// any byte), the decimal comma and a record bound of 64 bytes, optionally the --na-strings list up to
// a newline, then the file. Beyond what the sanitizers catch, the harness checks that every row has
// as many fields as the header and fits the bound, that a second pass reads the same rows and ends
// the same way, that progress stays within [0, 1], and that a field read as a number is a number as
// strtod reads it, to the last bit.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frontend/CsvReader.h"
#include "fuzz/MemoryFile.h"

namespace {

using QXFit::CsvReader;
using qxfuzz::Broken;

std::vector<std::string> SplitCodes(const std::string& list) {
  std::vector<std::string> codes;
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t comma = std::min(list.find(',', start), list.size());
    if (comma > start) codes.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  return codes;
}

// A number the reader accepts is one that strtod reads whole to the same double. strtod follows the
// locale's decimal point; the harness runs in the C locale.
void CheckNumber(std::string_view text, bool decimalComma) {
  double value = 0.0;
  if (!CsvReader::ParseNumber(text, value, decimalComma)) return;
  std::string plain(text);
  if (decimalComma)
    for (char& c : plain)
      if (c == ',') c = '.';
  char* end = nullptr;
  const double expected = std::strtod(plain.c_str(), &end);
  if (end != plain.c_str() + plain.size()) Broken("a number the reader accepts is not a number to strtod");
  const bool same =
      std::isnan(value) ? std::isnan(expected) : std::memcmp(&value, &expected, sizeof value) == 0;
  if (!same) Broken("the reader and strtod read a number differently");
}

// Reads every row, touching every field as the tool does; returns the row count.
long long ReadAll(CsvReader& reader, std::size_t maxRecordBytes, std::string& text) {
  const std::size_t nColumns = reader.GetColumnNames().size();
  long long rows = 0;
  while (reader.Next()) {
    ++rows;
    if (reader.GetRowNumber() != rows) Broken("rows are numbered out of order");
    if (reader.GetLineNumber() < 2) Broken("a row starts before the line after the header");
    const double progress = reader.GetProgress();
    if (!(progress >= 0.0 && progress <= 1.0)) Broken("progress outside [0, 1]");
    std::size_t recordBytes = 0;
    for (std::size_t c = 0; c < nColumns; ++c) {
      const int column = static_cast<int>(c);
      recordBytes += reader.GetText(column).size();
      double value = 0.0;
      reader.IsMissing(column);
      reader.GetNumber(column, value);
      text.append(reader.GetText(column));
      text.push_back('\x1f');
    }
    text.push_back('\x1e');
    if (recordBytes > maxRecordBytes) Broken("a record longer than the bound was read");
  }
  return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static qxfuzz::MemoryFile file;
  if (size == 0) return 0;
  QXFit::CsvFormat format;
  const std::uint8_t control = data[0];
  static constexpr char kDelimiters[] = {0, ',', ';', '\t', '|', ' '};
  const int choice = control & 0x7;
  std::size_t offset = 1;
  if (choice < 6) {
    format.fDelimiter = kDelimiters[choice];
  } else if (choice == 6 && size > 1) {
    format.fDelimiter = static_cast<char>(data[1]);
    offset = 2;
  }
  format.fbDecimalComma = (control & 0x8) != 0;
  // A small bound on a record lets short inputs reach the refusal of a long one.
  if ((control & 0x20) != 0) format.fMaxRecordBytes = 64;
  if ((control & 0x10) != 0) {
    const auto* start = reinterpret_cast<const char*>(data + offset);
    const auto* newline = static_cast<const char*>(std::memchr(start, '\n', size - offset));
    const std::size_t length = newline ? static_cast<std::size_t>(newline - start) : size - offset;
    format.fMissingCodes = SplitCodes(std::string(start, length));
    offset += length + (newline ? 1 : 0);
  }
  file.Write(data + offset, size - offset);

  CsvReader reader;
  if (!reader.Open(file.Path(), format)) {
    if (reader.GetError().empty()) Broken("Open failed without saying why");
    return 0;
  }
  if (reader.GetColumnNames().empty()) Broken("a file was opened without a header");
  std::string firstText, secondText;
  const long long firstRows = ReadAll(reader, format.fMaxRecordBytes, firstText);
  const std::string firstError = reader.GetError();
  if (!reader.Rewind()) {
    if (firstError.empty() && reader.GetError().empty()) Broken("Rewind failed without saying why");
    return 0;
  }
  // A failed reader stays failed: a second pass reads nothing more after an error.
  if (firstError.empty()) {
    const long long secondRows = ReadAll(reader, format.fMaxRecordBytes, secondText);
    if (secondRows != firstRows || secondText != firstText || !reader.GetError().empty())
      Broken("a second pass read other rows");
  }
  // Every field the reader hands out goes through the number parser, in both forms.
  for (std::size_t start = 0; start < firstText.size();) {
    const std::size_t end = firstText.find_first_of("\x1e\x1f", start);
    const std::string_view field(firstText.data() + start, end - start);
    CheckNumber(field, false);
    CheckNumber(field, true);
    start = end + 1;
  }
  return 0;
}
