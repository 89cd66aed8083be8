// The first pass over the data: learns whether each column the model uses holds numbers or texts, and
// collects the distinct values of the columns that may be factors. Only the distinct values are
// kept, never the rows, and a column with more distinct values than any model could use as a factor
// stops being collected, so memory stays bounded whatever the size of the data.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "frontend/FactorLevels.h"
#include "frontend/RowSource.h"

namespace QXFit {

class ProgressBar;

class ColumnScanner {
 public:
  // More levels than a model can have parameters: such a column cannot be a factor.
  static constexpr int kMaxLevels = 46339;

  // A value that is not a number, where it was read.
  struct Text {
    std::string fText;
    long long fLine = 0;
  };
  static constexpr std::size_t kTextsKept = 3;

  struct Column {
    int fIndex = -1;        // in the source
    bool fbNumeric = true;  // every value present is a number
    bool fbDeclaredFactor = false;
    bool fbTooManyLevels = false;
    long long fNMissing = 0;
    long long fNNumbers = 0;        // values present that are numbers
    long long fNTexts = 0;          // values present that are not
    std::vector<Text> fFirstTexts;  // the first kTextsKept of those
    FactorLevels fLevels;           // after Scan: the levels when the column is a factor
    bool IsFactor() const { return fbDeclaredFactor || !fbNumeric; }
    // Numbers with a few texts among them: a column most likely meant to be numeric.
    bool IsMixed() const { return fNNumbers > 0 && fNTexts > 0; }
    // "3 of its 120 values are not numbers ('n/a' on line 5, '-' on line 9)", with a hint when they look
    // like numbers written with a decimal comma.
    std::string DescribeTexts() const;
  };

  // The source columns to scan; those marked are factors even when they hold numbers.
  ColumnScanner(const std::vector<int>& columns, const std::vector<bool>& declaredFactor);

  // Reads the source once from its first row. False with a message when the source fails.
  bool Scan(RowSource& source, ProgressBar* progress, std::string& error);

  // The scanned column with this source index (which must be one of those given).
  const Column& GetColumn(int sourceIndex) const;
  long long GetNRows() const { return fNRows; }

 private:
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  struct Distinct {
    std::unordered_set<std::string, TextHash, std::equal_to<>> fTexts;
    std::unordered_map<double, std::string> fNumbers;
    // For a column the source codes itself: which of its categories occur.
    std::vector<bool> fSeenCodes;
    int fNSeenCodes = 0;
  };

  void ScanValue(RowSource& source, Column& column, Distinct& distinct);
  void ScanCode(RowSource& source, const std::vector<std::string>& categories, Column& column,
                Distinct& distinct);
  void Finish(Column& column, Distinct& distinct);

  std::vector<Column> fColumns;
  long long fNRows = 0;
};

}  // namespace QXFit
