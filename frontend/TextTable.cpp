#include "frontend/TextTable.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <utility>

#include "frontend/ReportWriter.h"

namespace QXFit {

namespace {

// Each byte that does not continue a multi-byte character starts one.
std::size_t Width(const std::string& text) {
  std::size_t width = 0;
  for (const char c : text) width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return width;
}

std::string PadLeft(const std::string& text, std::size_t width) {
  const std::size_t w = Width(text);
  return w >= width ? text : std::string(width - w, ' ') + text;
}

std::string PadRight(const std::string& text, std::size_t width) {
  const std::size_t w = Width(text);
  return w >= width ? text : text + std::string(width - w, ' ');
}

std::string Printf(const char* format, double value) {
  std::array<char, 64> buffer{};
  std::snprintf(buffer.data(), buffer.size(), format, value);
  return buffer.data();
}

}  // namespace

void TextTable::Write(std::ostream& out) const {
  std::vector<std::size_t> width(fHeader.size(), 0);
  for (std::size_t c = 0; c < fHeader.size(); ++c) width[c] = Width(fHeader[c]);
  for (const auto& row : fRows)
    for (std::size_t c = 0; c < row.fCells.size() && c < width.size(); ++c)
      width[c] = std::max(width[c], Width(row.fCells[c]));
  auto line = [&](const std::vector<std::string>& cells, const std::string& note) {
    std::string text = PadRight(cells[0], width[0]);
    for (std::size_t c = 1; c < width.size(); ++c)
      text += "  " + PadLeft(c < cells.size() ? cells[c] : "", width[c]);
    if (!note.empty()) text = PadRight(cells[0], width[0]) + "  " + note;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out << text << '\n';
  };
  line(fHeader, "");
  for (const auto& row : fRows) line(row.fCells, row.fNote);
}

std::string FormatTotal(double value) {
  if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
    return Printf("%.0f", value);
  return ReportWriter::FormatNumber(value);
}

std::string FormatOptional(const std::optional<double>& value, std::string (*format)(double)) {
  return value ? format(*value) : "";
}

std::string LevelText(double level) { return Printf("%.10g", level * 100.0) + "%"; }

std::string RecordsText(const FitResult& result) {
  std::string text =
      std::to_string(result.fRecordsRead) + " read, " + std::to_string(result.fRecordsUsed) + " used";
  std::string reasons;
  for (const auto& [count, reason] :
       {std::pair{result.fLeftOutMissing, "with a missing value"},
        std::pair{result.fLeftOutNotFinite, "with a value that is not finite"},
        std::pair{result.fLeftOutUndefined, "with a function outside its domain"},
        std::pair{result.fLeftOutWeight, "with a weight <= 0"}}) {
    if (count == 0) continue;
    reasons += (reasons.empty() ? "" : ", ") + std::to_string(count) + " " + reason;
  }
  return reasons.empty() ? text : text + "; left out: " + reasons;
}

}  // namespace QXFit
