// Encodes the model's variables of a source's rows as the library's records hold them, as fast as the
// source allows: where the source codes a column itself (a categorical column in memory), the level of
// each of its categories is found once, so that a row indexes a table instead of looking up a text;
// where a column lies in memory, its values are read there without a call per value. Other columns go
// through EncodeValue. One encoder serves the counting pass and every pass of the fit.
#pragma once

#include <cstddef>
#include <vector>

#include "frontend/ModelBuilder.h"
#include "frontend/RecordFileWriter.h"
#include "frontend/RowSource.h"

namespace QXFit {

class RowEncoder {
 public:
  // For the model's `variables` read from `source`; both are borrowed.
  RowEncoder(const RowSource& source, const std::vector<ModelVariable>& variables);

  // Variable i's value in the source's current row, which is row `row` (0-based) of the pass.
  ValueState Encode(RowSource& source, std::size_t i, long long row, double& value) const;

  // Whether every variable lies in memory, so that EncodeRows can read rows ahead of the source.
  bool EncodesInMemory() const { return fbAllInMemory; }
  // Variable i's values in rows first .. first + n - 1 into out[r * stride] (only while
  // EncodesInMemory()); returns the rows encoded before the first that Encode would find changed
  // (a level the scan did not see), n when there is none.
  long long EncodeRows(std::size_t i, long long first, long long n, double* out, std::size_t stride) const;

 private:
  struct Column {
    const ColumnArray* fpArray = nullptr;  // set for a covariate's numbers or a factor's codes in memory
    std::vector<int> fLevelOfCode;         // a coded column's levels by the source's code
  };
  const std::vector<ModelVariable>& fVariables;
  std::vector<Column> fColumns;
  bool fbAllInMemory = false;

  // Variable i's value in row `row` of its array in memory.
  ValueState EncodeInMemory(std::size_t i, long long row, double& value) const;
};

}  // namespace QXFit
