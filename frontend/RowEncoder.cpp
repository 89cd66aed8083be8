#include "frontend/RowEncoder.h"

#include <algorithm>
#include <cmath>

#include "common/QXMissingValue.h"

namespace QXFit {

RowEncoder::RowEncoder(const RowSource& source, const std::vector<ModelVariable>& variables)
    : fVariables(variables), fColumns(variables.size()) {
  for (std::size_t i = 0; i < variables.size(); ++i) {
    const ModelVariable& variable = variables[i];
    Column& column = fColumns[i];
    // A numeric factor's levels are values, looked up by EncodeValue.
    const std::vector<std::string>* categories = source.GetCategories(variable.fColumn);
    if (variable.IsCategorical() && !variable.fLevels.IsNumeric() && categories != nullptr) {
      column.fLevelOfCode.reserve(categories->size());
      for (const auto& text : *categories) column.fLevelOfCode.push_back(variable.fLevels.FindText(text));
    }
    const ColumnArray* array = source.GetColumnArray(variable.fColumn);
    if (array == nullptr) continue;
    if (variable.IsCategorical() ? !column.fLevelOfCode.empty() && array->fpCodes != nullptr
                                 : array->fpNumbers != nullptr)
      column.fpArray = array;
  }
  fbAllInMemory = std::all_of(fColumns.begin(), fColumns.end(),
                              [](const Column& column) { return column.fpArray != nullptr; });
}

ValueState RowEncoder::EncodeInMemory(std::size_t i, long long row, double& value) const {
  const Column& column = fColumns[i];
  if (!column.fLevelOfCode.empty()) return EncodeCode(column.fpArray->Code(row), column.fLevelOfCode, value);
  const double number = column.fpArray->Number(row);
  // NaN is how memory holds a missing number.
  if (std::isnan(number)) {
    value = QXMV::gMissingValue;
    return ValueState::kMissing;
  }
  return EncodeNumber(number, fVariables[i].fTransform, value);
}

long long RowEncoder::EncodeRows(std::size_t i, long long first, long long n, double* out,
                                 std::size_t stride) const {
  for (long long r = 0; r < n; ++r)
    if (EncodeInMemory(i, first + r, out[r * stride]) == ValueState::kUnknownLevel) return r;
  return n;
}

ValueState RowEncoder::Encode(RowSource& source, std::size_t i, long long row, double& value) const {
  const Column& column = fColumns[i];
  if (column.fpArray == nullptr) {
    const ModelVariable& variable = fVariables[i];
    return EncodeValue(source, variable.fColumn, variable, value,
                       column.fLevelOfCode.empty() ? nullptr : &column.fLevelOfCode);
  }
  return EncodeInMemory(i, row, value);
}

}  // namespace QXFit
