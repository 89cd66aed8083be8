// The tool's view of a caller's data set: named columns read row by row, in as many passes as the tool
// needs. A CSV file and a binary record file both appear through it, so that column typing, level
// coding and the conversion into the library's record file are written once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace QXFit {

// Where a column held in memory keeps its values, for readers that take them without a call per
// value: row k's value lies k * fStride elements from fpNumbers (doubles, NaN missing) or from fpCodes
// (category codes fCodeBytes wide, negative missing).
struct ColumnArray {
  const double* fpNumbers = nullptr;
  const void* fpCodes = nullptr;
  int fCodeBytes = 0;
  std::ptrdiff_t fStride = 1;

  double Number(long long row) const { return fpNumbers[static_cast<std::ptrdiff_t>(row) * fStride]; }
  std::int32_t Code(long long row) const {
    const std::ptrdiff_t k = static_cast<std::ptrdiff_t>(row) * fStride;
    switch (fCodeBytes) {
      case 1: return static_cast<const std::int8_t*>(fpCodes)[k];
      case 2: return static_cast<const std::int16_t*>(fpCodes)[k];
      default: return static_cast<const std::int32_t*>(fpCodes)[k];
    }
  }
};

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

  // A column that the source codes itself (a categorical column in memory): its categories, of which
  // GetCode gives the current row's (negative when missing, below
  // the categories' count otherwise), so that readers index rather than
  // compare texts. Null for every other column.
  virtual const std::vector<std::string>* GetCategories(int column) const {
    static_cast<void>(column);
    return nullptr;
  }
  virtual int GetCode(int column) const {
    static_cast<void>(column);
    return -1;
  }

  // The column's values where they lie in memory, or null when they are read through the calls above.
  // Row k is the k-th row of a pass (0-based).
  virtual const ColumnArray* GetColumnArray(int column) const {
    static_cast<void>(column);
    return nullptr;
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
