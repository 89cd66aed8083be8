#include "tools/qxfit/ColumnScanner.h"

#include <cmath>

#include "tools/qxfit/ProgressBar.h"

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
  fNRows = 0;
  while (source.Next()) {
    ++fNRows;
    for (std::size_t i = 0; i < fColumns.size(); ++i) ScanValue(source, fColumns[i], distinct[i]);
    if (progress != nullptr && (fNRows & 0xFFF) == 0) progress->Update(source.GetProgress());
  }
  if (!source.GetError().empty()) {
    error = source.GetError();
    return false;
  }
  for (std::size_t i = 0; i < fColumns.size(); ++i) Finish(fColumns[i], distinct[i]);
  return true;
}

void ColumnScanner::ScanValue(RowSource& source, Column& column, Distinct& distinct) {
  if (source.IsMissing(column.fIndex)) {
    ++column.fNMissing;
    return;
  }
  double value = 0.0;
  if (column.fbNumeric && !source.GetNumber(column.fIndex, value)) column.fbNumeric = false;
  if (column.fbTooManyLevels) return;
  // A numeric factor is coded by value; a column of texts (so far, or later) by its texts, which are
  // kept from the start because an early number may turn out to be one text among others.
  if (column.fbDeclaredFactor && column.fbNumeric && !std::isnan(value)) {
    value += 0.0;  // -0 and 0 are one level
    if (distinct.fNumbers.find(value) == distinct.fNumbers.end())
      distinct.fNumbers.emplace(value, std::string(source.GetText(column.fIndex)));
  }
  if (!source.IsNumericOnly()) {
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

}  // namespace QXFit
