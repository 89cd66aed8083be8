// The aligned tables of the report: label columns left-aligned, value columns right-aligned, widths
// measured in characters rather than bytes so that labels in UTF-8 ("Größe", "[pays=Été]") line up.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

namespace QXFit {

// The width of a text on a terminal: each byte that does not continue a multi-byte character starts one.
std::size_t TextWidth(const std::string& text);

class TextTable {
 public:
  // The first `nLabels` columns hold labels (factor levels, names), the others values.
  explicit TextTable(std::vector<std::string> header, std::size_t nLabels = 1)
      : fHeader(std::move(header)), fNLabels(nLabels) {}

  void AddRow(std::vector<std::string> cells) { fRows.push_back({std::move(cells), ""}); }
  // A note row holds only its label and a remark ("(redundant)") that starts at the first value column
  // and takes no part in the widths, so that one remark does not widen a column of numbers.
  void AddNote(const std::string& label, const std::string& note) { fRows.push_back({{label}, note}); }

  void Write(std::ostream& out) const;

 private:
  struct Row {
    std::vector<std::string> fCells;
    std::string fNote;
  };
  std::vector<std::string> fHeader;
  std::size_t fNLabels;
  std::vector<Row> fRows;
};

}  // namespace QXFit
