#include "frontend/RecordFileWriter.h"

#include <cmath>

#include "common/QXMissingValue.h"
#include "common/QXStatus.h"
#include "frontend/ProgressBar.h"
#include "frontend/RowEncoder.h"
#include "records/QXRegRecordValidator.h"

namespace QXFit {

double ApplyTransform(Transform transform, double x) {
  switch (transform) {
    case Transform::kLog: return std::log(x);
    case Transform::kExp: return std::exp(x);
    case Transform::kSqrt: return std::sqrt(x);
    case Transform::kNone: break;
  }
  return x;
}

ValueState EncodeValue(RowSource& source, int column, const ModelVariable& variable, double& value,
                       const std::vector<int>* levelOfCode) {
  if (levelOfCode != nullptr) return EncodeCode(source.GetCode(column), *levelOfCode, value);
  value = QXMV::gMissingValue;
  if (source.IsMissing(column)) return ValueState::kMissing;
  double number = 0.0;
  const bool numeric = source.GetNumber(column, number);
  if (variable.IsCategorical()) {
    int code = -1;
    if (variable.fLevels.IsNumeric()) {
      if (!numeric) return ValueState::kNotNumber;
      if (std::isnan(number)) return ValueState::kNotFinite;
      code = variable.fLevels.FindNumber(number + 0.0);  // -0 and 0 are one level
    } else {
      code = variable.fLevels.FindText(source.GetText(column));
    }
    if (code < 0) return ValueState::kUnknownLevel;
    value = code;
    return ValueState::kPresent;
  }
  if (!numeric) return ValueState::kNotNumber;
  return EncodeNumber(number, variable.fTransform, value);
}

void RowExamples::Add(long long line) {
  ++fCount;
  if (fLines.size() < kKept) fLines.push_back(line);
}

std::string RowExamples::Describe() const {
  std::string text = std::to_string(fCount) + (fCount == 1 ? " row (line " : " rows (lines ");
  for (std::size_t i = 0; i < fLines.size(); ++i) text += (i > 0 ? ", " : "") + std::to_string(fLines[i]);
  if (fCount > static_cast<long long>(fLines.size())) text += ", ...";
  return text + ")";
}

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
  const RowEncoder encoder(source, variables);
  while (source.Next()) {
    ++counts.fRecordsRead;
    bool missing = false, notFinite = false, undefined = false;
    for (std::size_t i = 0; i < n; ++i) {
      switch (encoder.Encode(source, i, counts.fRecordsRead - 1, record[static_cast<int>(i)])) {
        case ValueState::kPresent: continue;
        case ValueState::kMissing: missing = true; continue;
        case ValueState::kNotFinite: notFinite = true; continue;
        case ValueState::kUndefined: undefined = true; continue;
        case ValueState::kNotNumber:
        case ValueState::kUnknownLevel: break;
      }
      error = "line " + std::to_string(source.GetLineNumber()) + ": the value of '" + variables[i].fName +
              "' differs from the first reading of the file (did it change?)";
      return false;
    }
    if (validator.IsValidRecord(record, status)) {
      ++counts.fRecordsUsed;
    } else {
      // Values that are not there leave the record out before anything else is looked at.
      RowExamples& reason = missing     ? counts.fMissing
                            : notFinite ? counts.fNotFinite
                            : undefined ? counts.fUndefined
                                        : counts.fWeightNotPositive;
      reason.Add(source.GetLineNumber());
    }
    if (out != nullptr && std::fwrite(record.GetAll(), sizeof(double), n, out) != n) {
      error = "cannot write the temporary record file (is the disk full?)";
      return false;
    }
    if (progress != nullptr && (counts.fRecordsRead & 0xFFF) == 0) progress->Update(source.GetProgress());
  }
  if (!source.GetError().empty()) {
    error = source.GetError();
    return false;
  }
  if (out != nullptr && std::fflush(out) != 0) {
    error = "cannot write the temporary record file (is the disk full?)";
    return false;
  }
  return true;
}

}  // namespace QXFit
