// The second pass over the data: writes the model's variables of every row as one record of the
// library's binary record file (headerless doubles in the machine's byte order). Factor values become
// their codes 0..k-1, functions of columns (log(x)) their values, and missing values the
// system-missing value, so the library reads the file with its own BinaryRecordIterator in as many
// passes as it needs. Every row is written, usable or not, so that record k of the file is row k of
// the data and predictions line up with the rows.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "common/QXMissingValue.h"
#include "common/Record.h"
#include "frontend/ModelBuilder.h"
#include "frontend/RowSource.h"
#include "settings/QXRegSettings.h"

namespace QXFit {

class ProgressBar;

// What one value of a row is, once read for its variable.
enum class ValueState {
  kPresent,
  kMissing,       // an empty field, NA or another missing-value code
  kNotFinite,     // NaN or an infinity, which the model cannot use
  kUndefined,     // a function outside its domain: log or sqrt of a negative value, log(0), exp overflowing
  kNotNumber,     // a text where a number is needed
  kUnknownLevel,  // a level the factor does not have
};

// The value of `variable` in the source's current row, read from the source's column `column`, as the
// library's record holds it: the system-missing value unless the state is kPresent. `levelOfCode`,
// when the source codes the column itself, gives the variable's level by the source's code.
ValueState EncodeValue(RowSource& source, int column, const ModelVariable& variable, double& value,
                       const std::vector<int>* levelOfCode = nullptr);

// The value of a function of a column (log(x) for x); not finite outside the function's domain.
double ApplyTransform(Transform transform, double x);

// EncodeValue's two steps for values already at hand: a covariate's number that is not missing, and
// a factor's category code of a coded column with its levels by code (RowEncoder).
// Inline: they run for every value of every pass over data in memory.
inline ValueState EncodeNumber(double number, Transform transform, double& value) {
  value = QXMV::gMissingValue;
  if (!std::isfinite(number)) return ValueState::kNotFinite;
  const double transformed = transform == Transform::kNone ? number : ApplyTransform(transform, number);
  if (!std::isfinite(transformed)) return ValueState::kUndefined;
  value = transformed;
  return ValueState::kPresent;
}

inline ValueState EncodeCode(int sourceCode, const std::vector<int>& levelOfCode, double& value) {
  value = QXMV::gMissingValue;
  if (sourceCode < 0) return ValueState::kMissing;
  const auto index = static_cast<std::size_t>(sourceCode);
  const int code = index < levelOfCode.size() ? levelOfCode[index] : -1;
  if (code < 0) return ValueState::kUnknownLevel;
  value = code;
  return ValueState::kPresent;
}

// Where the first few rows of one kind are, for messages.
struct RowExamples {
  static constexpr std::size_t kKept = 3;
  long long fCount = 0;
  std::vector<long long> fLines;
  void Add(long long line);
  // "2 rows (lines 5, 9)".
  std::string Describe() const;
};

class RecordFileWriter {
 public:
  struct Counts {
    long long fRecordsRead = 0;
    // Records the library's record validator accepts for the model: what the fit uses.
    long long fRecordsUsed = 0;
    // The others, by the first reason that applies, in this order.
    RowExamples fMissing;            // a missing value in a variable of the model
    RowExamples fNotFinite;          // NaN or an infinity
    RowExamples fUndefined;          // a function of a column outside its domain
    RowExamples fWeightNotPositive;  // a weight of 0 or less
  };

  // Writes one record per row of the source to `out` (positioned at its start) and counts the rows;
  // with a null `out` it only counts, for records the library reads from the source itself.
  // False with a message when the source fails, changed since it was scanned, or the file cannot be
  // written.
  static bool Write(RowSource& source, const std::vector<ModelVariable>& variables,
                    const QXMath_600::QXRegSettings& settings, std::FILE* out, ProgressBar* progress,
                    Counts& counts, std::string& error);
};

}  // namespace QXFit
