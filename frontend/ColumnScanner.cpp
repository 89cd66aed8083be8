#include "frontend/ColumnScanner.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "frontend/ProgressBar.h"

namespace QXFit {

ColumnScanner::ColumnScanner(const std::vector<int>& columns, const std::vector<bool>& declaredFactor) {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    Column column;
    column.fIndex = columns[i];
    column.fbDeclaredFactor = i < declaredFactor.size() && declaredFactor[i];
    fColumns.push_back(column);
  }
}

const ColumnScanner::Column& ColumnScanner::GetColumn(int sourceIndex) const {
  for (const auto& column : fColumns)
    if (column.fIndex == sourceIndex) return column;
  return fColumns.front();
}

bool ColumnScanner::Scan(RowSource& source, ProgressBar* progress, std::string& error) {
  if (!source.Rewind()) {
    error = source.GetError();
    return false;
  }
  std::vector<Distinct> distinct(fColumns.size());
  std::vector<const std::vector<std::string>*> categories(fColumns.size());
  for (std::size_t i = 0; i < fColumns.size(); ++i) {
    categories[i] = source.GetCategories(fColumns[i].fIndex);
    if (categories[i] != nullptr) distinct[i].fSeenCodes.assign(categories[i]->size(), false);
  }
  fNRows = 0;
  while (source.Next()) {
    ++fNRows;
    for (std::size_t i = 0; i < fColumns.size(); ++i) {
      if (categories[i] != nullptr) {
        ScanCode(source, *categories[i], fColumns[i], distinct[i]);
      } else {
        ScanValue(source, fColumns[i], distinct[i]);
      }
    }
    if (progress != nullptr && (fNRows & 0xFFF) == 0) progress->Update(source.GetProgress());
  }
  if (!source.GetError().empty()) {
    error = source.GetError();
    return false;
  }
  for (std::size_t i = 0; i < fColumns.size(); ++i) {
    if (categories[i] != nullptr && !fColumns[i].fbTooManyLevels) {
      // The texts of the categories that occur, as a column of texts would have collected them.
      for (std::size_t code = 0; code < categories[i]->size(); ++code)
        if (distinct[i].fSeenCodes[code]) distinct[i].fTexts.insert((*categories[i])[code]);
    }
    Finish(fColumns[i], distinct[i]);
  }
  return true;
}

// A coded column's values are texts; each distinct one is met first where its code is.
void ColumnScanner::ScanCode(RowSource& source, const std::vector<std::string>& categories, Column& column,
                             Distinct& distinct) {
  const int code = source.GetCode(column.fIndex);
  if (code < 0) {
    ++column.fNMissing;
    return;
  }
  const auto index = static_cast<std::size_t>(code);
  if (index >= categories.size()) {
    // A source breaking its own contract: the value is no category, so it cannot be used.
    ++column.fNMissing;
    return;
  }
  column.fbNumeric = false;
  ++column.fNTexts;
  if (distinct.fSeenCodes[index]) return;
  distinct.fSeenCodes[index] = true;
  if (column.fFirstTexts.size() < kTextsKept)
    column.fFirstTexts.push_back({categories[index], source.GetLineNumber()});
  if (++distinct.fNSeenCodes > kMaxLevels) column.fbTooManyLevels = true;
}

void ColumnScanner::ScanValue(RowSource& source, Column& column, Distinct& distinct) {
  if (source.IsMissing(column.fIndex)) {
    ++column.fNMissing;
    return;
  }
  double value = 0.0;
  if (source.GetNumber(column.fIndex, value)) {
    ++column.fNNumbers;
  } else {
    column.fbNumeric = false;
    ++column.fNTexts;
    // The first few distinct texts: what a reader needs to find them in the file.
    const std::string_view text = source.GetText(column.fIndex);
    if (column.fFirstTexts.size() < kTextsKept &&
        std::none_of(column.fFirstTexts.begin(), column.fFirstTexts.end(),
                     [&](const Text& seen) { return seen.fText == text; }))
      column.fFirstTexts.push_back({std::string(text), source.GetLineNumber()});
  }
  if (column.fbTooManyLevels) return;
  // A numeric factor is coded by value; a column of texts (so far, or later) by its texts, which are
  // kept from the start because an early number may turn out to be one text among others.
  if (column.fbDeclaredFactor && column.fbNumeric && !std::isnan(value)) {
    value += 0.0;  // -0 and 0 are one level
    if (distinct.fNumbers.find(value) == distinct.fNumbers.end())
      distinct.fNumbers.emplace(value, std::string(source.GetText(column.fIndex)));
  }
  if (!source.IsNumericColumn(column.fIndex)) {
    const std::string_view text = source.GetText(column.fIndex);
    if (distinct.fTexts.find(text) == distinct.fTexts.end()) distinct.fTexts.emplace(text);
  }
  if (static_cast<int>(distinct.fTexts.size()) > kMaxLevels ||
      static_cast<int>(distinct.fNumbers.size()) > kMaxLevels) {
    column.fbTooManyLevels = true;
    distinct = Distinct{};
  }
}

void ColumnScanner::Finish(Column& column, Distinct& distinct) {
  if (!column.IsFactor() || column.fbTooManyLevels) return;
  if (column.fbNumeric) {
    std::vector<std::pair<double, std::string>> values(distinct.fNumbers.begin(), distinct.fNumbers.end());
    column.fLevels = FactorLevels::FromNumbers(std::move(values));
  } else {
    column.fLevels =
        FactorLevels::FromTexts(std::vector<std::string>(distinct.fTexts.begin(), distinct.fTexts.end()));
  }
}

namespace {

// "3,5" or "-12,25": a number written with a decimal comma.
bool LooksLikeDecimalComma(const std::string& text) {
  const std::size_t comma = text.find(',');
  if (comma == std::string::npos || comma == 0 || comma + 1 == text.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool sign = i == 0 && (text[i] == '-' || text[i] == '+');
    if (i != comma && !sign && !std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

}  // namespace

std::string ColumnScanner::Column::DescribeTexts() const {
  const long long present = fNNumbers + fNTexts;
  std::string text = fNTexts == present
                         ? "all " + std::to_string(present) + " of its values are texts ("
                         : std::to_string(fNTexts) + " of its " + std::to_string(present) +
                               (fNTexts == 1 ? " values is not a number (" : " values are not numbers (");
  bool decimalComma = false;
  for (std::size_t i = 0; i < fFirstTexts.size(); ++i) {
    if (i > 0) text += ", ";
    text += "'" + fFirstTexts[i].fText + "' on line " + std::to_string(fFirstTexts[i].fLine);
    decimalComma = decimalComma || LooksLikeDecimalComma(fFirstTexts[i].fText);
  }
  if (fNTexts > static_cast<long long>(fFirstTexts.size())) text += ", ...";  // repeats or more texts
  text += ")";
  if (decimalComma) text += "; --decimal-comma reads 3,5 as a number";
  return text;
}

}  // namespace QXFit
