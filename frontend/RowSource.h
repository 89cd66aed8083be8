// The tool's view of a caller's data set: named columns read row by row, in as many passes as the tool
// needs. A CSV file and a binary record file both appear through it, so that column typing, level
// coding and the conversion into the library's record file are written once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace QXFit {

class RowSource {
 public:
  virtual ~RowSource() = default;

  virtual const std::vector<std::string>& GetColumnNames() const = 0;
  // Starts over at the first row; false (with GetError) when the data cannot be read again.
  virtual bool Rewind() = 0;
  // Reads the next row. False at the end of the data, or on a failure, which GetError then describes.
  virtual bool Next() = 0;
  // Empty unless a read failed.
  virtual const std::string& GetError() const = 0;

  // The values of the current row.
  virtual bool IsMissing(int column) const = 0;
  // False when the value is not a number.
  virtual bool GetNumber(int column, double& value) const = 0;
  // The value as written; a view valid until the next call for this column or the next row.
  virtual std::string_view GetText(int column) = 0;
  // Every value is a number (a binary file), so no column can turn out to hold texts.
  virtual bool IsNumericOnly() const = 0;
  // This column holds only numbers, so its values need not be collected as texts in case it turns
  // out to be a factor of texts.
  virtual bool IsNumericColumn(int column) const {
    static_cast<void>(column);
    return IsNumericOnly();
  }

  // Rows read so far in this pass; the current row's 1-based number.
  virtual long long GetRowNumber() const = 0;
  // Where the current row starts in the file, for messages: the line of a text file (the header is
  // line 1), the 1-based record of a binary one.
  virtual long long GetLineNumber() const = 0;
  // Fraction of the data read in this pass, for the progress bar.
  virtual double GetProgress() const = 0;
};

}  // namespace QXFit
