#include "frontend/TextTable.h"

#include <algorithm>

namespace QXFit {

namespace {

std::string PadLeft(const std::string& text, std::size_t width) {
  const std::size_t w = TextWidth(text);
  return w >= width ? text : std::string(width - w, ' ') + text;
}

std::string PadRight(const std::string& text, std::size_t width) {
  const std::size_t w = TextWidth(text);
  return w >= width ? text : text + std::string(width - w, ' ');
}

}  // namespace

std::size_t TextWidth(const std::string& text) {
  std::size_t width = 0;
  for (const char c : text) width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return width;
}

void TextTable::Write(std::ostream& out) const {
  std::vector<std::size_t> width(fHeader.size(), 0);
  for (std::size_t c = 0; c < fHeader.size(); ++c) width[c] = TextWidth(fHeader[c]);
  for (const auto& row : fRows)
    for (std::size_t c = 0; c < row.fCells.size() && c < width.size(); ++c)
      width[c] = std::max(width[c], TextWidth(row.fCells[c]));
  auto line = [&](const std::vector<std::string>& cells, const std::string& note) {
    std::string text;
    for (std::size_t c = 0; c < width.size(); ++c) {
      const std::string cell = c < cells.size() ? cells[c] : "";
      if (c > 0) text += "  ";
      text += c < fNLabels ? PadRight(cell, width[c]) : PadLeft(cell, width[c]);
    }
    if (!note.empty()) text = PadRight(cells[0], width[0]) + "  " + note;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out << text << '\n';
  };
  line(fHeader, "");
  for (const auto& row : fRows) line(row.fCells, row.fNote);
}

}  // namespace QXFit
