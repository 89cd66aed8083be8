#include "frontend/MemoryColumns.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <unordered_set>

namespace QXFit {

MemoryColumns::MemoryColumns(long long nRows) : fNRows(std::max(0LL, nRows)) {}

bool MemoryColumns::CheckNew(const std::string& name, const void* data, std::ptrdiff_t stride) {
  if (std::find(fNames.begin(), fNames.end(), name) != fNames.end()) {
    fError = "two columns are named '" + name + "'";
    return false;
  }
  if (fNRows > 0 && data == nullptr) {
    fError = "column '" + name + "' has no values";
    return false;
  }
  // The offset of the last row, in elements, must be an address the reader can form.
  const long long step = stride < 0 ? -static_cast<long long>(stride) : static_cast<long long>(stride);
  if (fNRows > 1 && step > std::numeric_limits<std::ptrdiff_t>::max() / 8 / (fNRows - 1)) {
    fError = "column '" + name + "' has a step between rows that no array can have";
    return false;
  }
  return true;
}

bool MemoryColumns::AddNumeric(const std::string& name, const double* data, std::ptrdiff_t stride) {
  if (!CheckNew(name, data, stride)) return false;
  fNames.push_back(name);
  fColumns.push_back({{data, nullptr, 0, stride}, {}});
  return true;
}

template <typename CodeType>
bool MemoryColumns::AddCodes(const std::string& name, const CodeType* codes, std::ptrdiff_t stride,
                             std::vector<std::string> categories) {
  if (!CheckNew(name, codes, stride)) return false;
  std::unordered_set<std::string_view> distinct(categories.begin(), categories.end());
  if (distinct.size() != categories.size()) {
    fError = "column '" + name + "' has two categories with the same text";
    return false;
  }
  Column column{{nullptr, codes, static_cast<int>(sizeof(CodeType)), stride}, std::move(categories)};
  // Checked once here, so that reading a row never indexes outside the categories.
  const auto nCategories = static_cast<std::int64_t>(column.fCategories.size());
  for (long long k = 0; k < fNRows; ++k) {
    const std::int32_t code = column.fArray.Code(k);
    if (code >= nCategories) {
      fError = "column '" + name + "': row " + std::to_string(k + 1) + " has category code " +
               std::to_string(code) + ", beyond its " + std::to_string(nCategories) + " categories";
      return false;
    }
  }
  fNames.push_back(name);
  fColumns.push_back(std::move(column));
  ++fNCategorical;
  return true;
}

bool MemoryColumns::AddCategorical(const std::string& name, const std::int32_t* codes, std::ptrdiff_t stride,
                                   std::vector<std::string> categories) {
  return AddCodes(name, codes, stride, std::move(categories));
}

bool MemoryColumns::AddCategorical(const std::string& name, const std::int16_t* codes, std::ptrdiff_t stride,
                                   std::vector<std::string> categories) {
  return AddCodes(name, codes, stride, std::move(categories));
}

bool MemoryColumns::AddCategorical(const std::string& name, const std::int8_t* codes, std::ptrdiff_t stride,
                                   std::vector<std::string> categories) {
  return AddCodes(name, codes, stride, std::move(categories));
}

bool MemoryColumns::Rewind() {
  fRow = -1;
  return true;
}

bool MemoryColumns::Next() {
  if (fRow + 1 >= fNRows) {
    fRow = fNRows;
    return false;
  }
  ++fRow;
  return true;
}

bool MemoryColumns::IsMissing(int column) const {
  const Column& c = fColumns[static_cast<std::size_t>(column)];
  // NaN is how pandas and NumPy write a missing number; an infinity is a value, which the fit refuses.
  return c.fArray.fpCodes != nullptr ? Code(c) < 0 : std::isnan(Number(c));
}

bool MemoryColumns::GetNumber(int column, double& value) const {
  const Column& c = fColumns[static_cast<std::size_t>(column)];
  if (c.fArray.fpCodes != nullptr) return false;
  value = Number(c);
  return true;
}

std::string_view MemoryColumns::GetText(int column) {
  const Column& c = fColumns[static_cast<std::size_t>(column)];
  if (c.fArray.fpCodes != nullptr) {
    const std::int32_t code = Code(c);
    return code < 0 ? std::string_view() : std::string_view(c.fCategories[static_cast<std::size_t>(code)]);
  }
  // The shortest text that reads back as the same number, as a level's label.
  const auto [end, ec] = std::to_chars(fNumberText, fNumberText + sizeof(fNumberText), Number(c));
  return ec == std::errc() ? std::string_view(fNumberText, static_cast<std::size_t>(end - fNumberText))
                           : std::string_view();
}

double MemoryColumns::GetProgress() const {
  return fNRows > 0 ? static_cast<double>(std::clamp(fRow, 0LL, fNRows)) / static_cast<double>(fNRows) : 1.0;
}

}  // namespace QXFit
