#include "tools/qxfit/FactorLevels.h"

#include <algorithm>
#include <cmath>

namespace QXFit {

FactorLevels FactorLevels::FromTexts(std::vector<std::string> texts) {
  std::sort(texts.begin(), texts.end());
  texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
  FactorLevels levels;
  levels.fTexts = std::move(texts);
  for (std::size_t i = 0; i < levels.fTexts.size(); ++i)
    levels.fCodes.emplace(levels.fTexts[i], static_cast<int>(i));
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
  return levels;
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
  const auto it = std::lower_bound(fValues.begin(), fValues.end(), value);
  if (it == fValues.end() || *it != value) return -1;
  return static_cast<int>(it - fValues.begin());
}

}  // namespace QXFit
