#include "frontend/FactorLevels.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace QXFit {

FactorLevels FactorLevels::FromTexts(std::vector<std::string> texts) {
  std::sort(texts.begin(), texts.end());
  texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
  FactorLevels levels;
  levels.fTexts = std::move(texts);
  levels.IndexCodes();
  return levels;
}

FactorLevels FactorLevels::FromNumbers(std::vector<std::pair<double, std::string>> values) {
  std::erase_if(values, [](const auto& v) { return std::isnan(v.first); });
  std::sort(values.begin(), values.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  FactorLevels levels;
  levels.fbNumeric = true;
  for (auto& [value, text] : values) {
    if (!levels.fValues.empty() && levels.fValues.back() == value) continue;
    levels.fValues.push_back(value);
    levels.fTexts.push_back(std::move(text));
  }
  levels.IndexCodes();
  return levels;
}

void FactorLevels::IndexCodes() {
  fCodes.clear();
  for (std::size_t i = 0; i < fTexts.size(); ++i) fCodes.emplace(fTexts[i], static_cast<int>(i));
  fSortedValues.clear();
  for (std::size_t i = 0; i < fValues.size(); ++i)
    fSortedValues.emplace_back(fValues[i], static_cast<int>(i));
  std::sort(fSortedValues.begin(), fSortedValues.end());
}

std::string FactorLevels::GetText(int code) const {
  if (code < 0 || code >= GetNLevels()) return std::to_string(code);
  return fTexts[static_cast<std::size_t>(code)];
}

int FactorLevels::FindText(std::string_view text) const {
  const auto it = fCodes.find(text);
  return it == fCodes.end() ? -1 : it->second;
}

int FactorLevels::FindNumber(double value) const {
  const auto it = std::lower_bound(fSortedValues.begin(), fSortedValues.end(), std::pair{value, -1});
  if (it == fSortedValues.end() || it->first != value) return -1;
  return it->second;
}

int FactorLevels::FindLevel(std::string_view level) const {
  int code = FindText(level);
  if (code < 0 && fbNumeric) {
    double value = 0.0;
    const auto [end, ec] = std::from_chars(level.data(), level.data() + level.size(), value);
    if (ec == std::errc() && end == level.data() + level.size()) code = FindNumber(value + 0.0);
  }
  return code;
}

bool FactorLevels::SetReference(std::string_view level) {
  const int code = FindLevel(level);
  if (code < 0) return false;
  const auto moveLast = [code](auto& byCode) {
    std::rotate(byCode.begin() + code, byCode.begin() + code + 1, byCode.end());
  };
  moveLast(fTexts);
  if (fbNumeric) moveLast(fValues);
  IndexCodes();
  return true;
}

std::string FactorLevels::ListLevels() const {
  std::string list;
  for (std::size_t i = 0; i < fTexts.size(); ++i) list += (i > 0 ? ", " : "") + fTexts[i];
  return list;
}

}  // namespace QXFit
