// A data set held in the caller's memory, read in place as the front end reads a file: named columns
// of doubles (NaN missing), or of category codes with the categories' texts (a negative code missing),
// each with a step between rows so that a column of a two-dimensional array or a NumPy buffer is read
// without a copy. The values stay the caller's: they must outlive the reader and stay unchanged while
// a model is fitted from them.
//
// Categorical columns are factors whatever their texts say; numeric columns are covariates unless the
// formula or the request makes them factors, as for a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/RowSource.h"

namespace QXFit {

class MemoryColumns : public RowSource {
 public:
  explicit MemoryColumns(long long nRows);

  // Adds a column whose row k is data[k * stride]. False with GetError for a name already given, or
  // a null pointer with rows to read.
  bool AddNumeric(const std::string& name, const double* data, std::ptrdiff_t stride = 1);
  // Adds a categorical column whose row k is category codes[k * stride] of `categories`, or missing
  // when negative. False with GetError for a name already given, a null pointer with rows, a code
  // beyond the categories, or two categories with one text. Codes of one or two bytes (as pandas
  // keeps them for fewer than 128 or 32768 categories) are read as they are, without a wider copy.
  bool AddCategorical(const std::string& name, const std::int32_t* codes, std::ptrdiff_t stride,
                      std::vector<std::string> categories);
  bool AddCategorical(const std::string& name, const std::int16_t* codes, std::ptrdiff_t stride,
                      std::vector<std::string> categories);
  bool AddCategorical(const std::string& name, const std::int8_t* codes, std::ptrdiff_t stride,
                      std::vector<std::string> categories);

  long long GetNRows() const { return fNRows; }

  const std::vector<std::string>& GetColumnNames() const override { return fNames; }
  bool Rewind() override;
  bool Next() override;
  const std::string& GetError() const override { return fError; }
  bool IsMissing(int column) const override;
  bool GetNumber(int column, double& value) const override;
  std::string_view GetText(int column) override;
  // Only while every column is numeric.
  bool IsNumericOnly() const override { return fNCategorical == 0; }
  bool IsNumericColumn(int column) const override {
    return fColumns[static_cast<std::size_t>(column)].fArray.fpCodes == nullptr;
  }
  const std::vector<std::string>* GetCategories(int column) const override {
    const Column& c = fColumns[static_cast<std::size_t>(column)];
    return c.fArray.fpCodes != nullptr ? &c.fCategories : nullptr;
  }
  int GetCode(int column) const override {
    const Column& c = fColumns[static_cast<std::size_t>(column)];
    return c.fArray.fpCodes != nullptr ? Code(c) : -1;
  }
  const ColumnArray* GetColumnArray(int column) const override {
    return &fColumns[static_cast<std::size_t>(column)].fArray;
  }
  long long GetRowNumber() const override { return fRow + 1; }
  // The 1-based row, which messages show where a file's line would be.
  long long GetLineNumber() const override { return fRow + 1; }
  double GetProgress() const override;

 private:
  struct Column {
    ColumnArray fArray;
    std::vector<std::string> fCategories;
  };
  bool CheckNew(const std::string& name, const void* data, std::ptrdiff_t stride);
  template <typename CodeType>
  bool AddCodes(const std::string& name, const CodeType* codes, std::ptrdiff_t stride,
                std::vector<std::string> categories);
  double Number(const Column& column) const { return column.fArray.Number(fRow); }
  std::int32_t Code(const Column& column) const { return column.fArray.Code(fRow); }

  long long fNRows = 0;
  long long fRow = -1;
  int fNCategorical = 0;
  std::vector<std::string> fNames;
  std::vector<Column> fColumns;
  std::string fError;
  char fNumberText[32] = {};
};

}  // namespace QXFit
