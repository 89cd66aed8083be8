#include "tools/qxfit/RecordFileWriter.h"

#include <cmath>

#include "common/QXMissingValue.h"
#include "common/QXStatus.h"
#include "common/Record.h"
#include "records/QXRegRecordValidator.h"
#include "tools/qxfit/ProgressBar.h"

namespace QXFit {

namespace {

// The value of one variable in the current row, as the library's record holds it; false when the
// row no longer matches what the first pass saw.
bool Encode(RowSource& source, const ModelVariable& variable, double& value) {
  value = QXMV::gMissingValue;
  if (source.IsMissing(variable.fColumn)) return true;
  if (variable.fRole != ModelVariable::Role::kFactor) return source.GetNumber(variable.fColumn, value);
  int code = -1;
  if (variable.fLevels.IsNumeric()) {
    double number = 0.0;
    if (!source.GetNumber(variable.fColumn, number)) return false;
    if (std::isnan(number)) return true;  // NaN is missing in a factor
    code = variable.fLevels.FindNumber(number + 0.0);
  } else {
    code = variable.fLevels.FindText(source.GetText(variable.fColumn));
  }
  if (code < 0) return false;
  value = code;
  return true;
}

}  // namespace

bool RecordFileWriter::Write(RowSource& source, const std::vector<ModelVariable>& variables,
                             const QXMath_600::QXRegSettings& settings, std::FILE* out, ProgressBar* progress,
                             Counts& counts, std::string& error) {
  counts = Counts{};
  if (!source.Rewind()) {
    error = source.GetError();
    return false;
  }
  const QXMath_600::QXRegRecordValidator validator(settings.GetVariableTypes(), settings.GetFactors(),
                                                   settings.GetFactorSizes(), 0);
  QXCommon_600::Record record(static_cast<int>(variables.size()));
  QXCommon_600::QXStatus status;
  const std::size_t n = variables.size();
  while (source.Next()) {
    ++counts.fRecordsRead;
    for (std::size_t i = 0; i < n; ++i) {
      if (Encode(source, variables[i], record[static_cast<int>(i)])) continue;
      error = "row " + std::to_string(source.GetRowNumber()) + ": the value of '" + variables[i].fName +
              "' differs from the first reading of the file (did it change?)";
      return false;
    }
    if (validator.IsValidRecord(record, status)) ++counts.fRecordsUsed;
    if (std::fwrite(record.GetAll(), sizeof(double), n, out) != n) {
      error = "cannot write the temporary record file (is the disk full?)";
      return false;
    }
    if (progress != nullptr && (counts.fRecordsRead & 0xFFF) == 0) progress->Update(source.GetProgress());
  }
  if (!source.GetError().empty()) {
    error = source.GetError();
    return false;
  }
  if (std::fflush(out) != 0) {
    error = "cannot write the temporary record file (is the disk full?)";
    return false;
  }
  return true;
}

}  // namespace QXFit
