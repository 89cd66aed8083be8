// The pieces the tool's reports are laid out with: an aligned table of texts, and the formats of the
// numbers and lines that every report shares.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "frontend/FitResult.h"

namespace QXFit {

// A table with a left-aligned label column and right-aligned value columns. A note row holds only
// its label and a remark ("(redundant)") that starts at the first value column and takes no part in
// the widths, so that one remark does not widen a column of numbers. Widths count characters, not
// bytes, so that labels in UTF-8 ("Größe", "[pays=Été]") line up.
class TextTable {
 public:
  explicit TextTable(std::vector<std::string> header) : fHeader(std::move(header)) {}

  void AddRow(std::vector<std::string> cells) { fRows.push_back({std::move(cells), ""}); }
  void AddNote(const std::string& label, const std::string& note) { fRows.push_back({{label}, note}); }
  void Write(std::ostream& out) const;

 private:
  struct Row {
    std::vector<std::string> fCells;
    std::string fNote;
  };
  std::vector<std::string> fHeader;
  std::vector<Row> fRows;
};

// Degrees of freedom and weight totals are usually whole numbers, often large: printed in full rather
// than as 2.00004e+06.
std::string FormatTotal(double value);
// The value in `format`, or an empty text.
std::string FormatOptional(const std::optional<double>& value, std::string (*format)(double));
// "95%", "90%", "97.5%".
std::string LevelText(double level);
// "54 read, 50 used; left out: 2 with a missing value, 1 with a weight <= 0".
std::string RecordsText(const FitResult& result);

}  // namespace QXFit
