// The levels of one factor column and their codes. The library numbers categories from 0, so the
// levels are sorted (numerically for a numeric column, by bytes for a column of texts, which does not
// depend on the locale) and level k gets code k. The original texts are kept for the labels.
//
// The library's sweep finds the last level of a factor aliased, so the last code is the reference
// level that the estimates are measured from; SetReference makes another level the last.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace QXFit {

class FactorLevels {
 public:
  FactorLevels() = default;
  // Levels of a column of texts; duplicates are removed.
  static FactorLevels FromTexts(std::vector<std::string> texts);
  // Levels of a numeric column, each value with the text that shows it ("4" and "4.0" are one level,
  // so the caller keeps one text per value). NaN is not a level.
  static FactorLevels FromNumbers(std::vector<std::pair<double, std::string>> values);

  int GetNLevels() const { return static_cast<int>(fTexts.size()); }
  bool IsNumeric() const { return fbNumeric; }
  // The text of a code; the code itself, as text, when it is not a level.
  std::string GetText(int code) const;
  // The code of a level, or -1.
  int FindText(std::string_view text) const;
  int FindNumber(double value) const;
  // The code of a level given as the user writes it: its text, or for a numeric column its value
  // ("4" finds the level shown as "4.0"); -1 when there is no such level.
  int FindLevel(std::string_view level) const;
  // Gives `level` the last code, the others keeping their order. The level is found by its text, or
  // for a numeric column by its value ("4" finds the level shown as "4.0"). False, nothing changed,
  // when there is no such level.
  bool SetReference(std::string_view level);
  // "H, L, M", in code order.
  std::string ListLevels() const;

 private:
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  void IndexCodes();

  bool fbNumeric = false;
  std::vector<std::string> fTexts;                    // by code
  std::vector<double> fValues;                        // by code, for a numeric column
  std::vector<std::pair<double, int>> fSortedValues;  // value and code, by value, for the lookup
  std::unordered_map<std::string, int, TextHash, std::equal_to<>> fCodes;
};

}  // namespace QXFit
