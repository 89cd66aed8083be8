#include "frontend/PredictionRows.h"

#include <array>
#include <charconv>
#include <cmath>

#include "common/QXMissingValue.h"
#include "frontend/RecordFileWriter.h"
#include "records/BinaryRecordIterator.h"

namespace QXFit {

void CsvLine::Separate() {
  if (fbAny) std::fputc(',', fpOut);
  fbAny = true;
}

void CsvLine::Add(std::optional<double> value) {
  Separate();
  if (!value || !std::isfinite(*value)) return;
  std::array<char, 32> text{};
  const auto [end, ec] = std::to_chars(text.data(), text.data() + text.size(), *value);
  if (ec == std::errc()) std::fwrite(text.data(), 1, static_cast<std::size_t>(end - text.data()), fpOut);
}

void CsvLine::AddText(std::string_view text) {
  Separate();
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    std::fwrite(text.data(), 1, text.size(), fpOut);
    return;
  }
  std::fputc('"', fpOut);
  for (const char c : text) {
    if (c == '"') std::fputc('"', fpOut);
    std::fputc(c, fpOut);
  }
  std::fputc('"', fpOut);
}

File OpenOutput(const std::string& path, std::string& error) {
  File out(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!out) error = "cannot write '" + path + "'";
  return out;
}

bool FinishFittedPass(int failReason, std::FILE* out, const std::string& path, std::string& error) {
  if (failReason != QXCommon_600::BinaryRecordIterator::kEndOfData) {
    error = "cannot read the temporary record file";
    return false;
  }
  return FinishFile(out, path, error);
}

bool FinishFile(std::FILE* out, const std::string& path, std::string& error) {
  if (std::fflush(out) == 0 && !std::ferror(out)) return true;
  error = "cannot write '" + path + "'";
  return false;
}

bool NewRows::Open(RowSource& source, const ModelBuilder& model, std::string& error) {
  fpSource = &source;
  fpModel = &model;
  const std::vector<ModelVariable>& variables = model.GetVariables();
  const std::vector<std::string>& names = source.GetColumnNames();
  fColumns.assign(variables.size(), -1);
  for (std::size_t i = 0; i < variables.size(); ++i) {
    const ModelVariable& variable = variables[i];
    if (variable.fRole != ModelVariable::Role::kFactor && variable.fRole != ModelVariable::Role::kCovariate)
      continue;
    const std::string& name = model.GetColumnNames()[static_cast<std::size_t>(variable.fColumn)];
    for (std::size_t c = 0; c < names.size(); ++c)
      if (names[c] == name) fColumns[i] = static_cast<int>(c);
    if (fColumns[i] < 0) {
      error = "--predict-data: the model needs column '" + name + "': " + DescribeUnknownColumn(name, names);
      return false;
    }
  }
  if (source.Rewind()) return true;
  error = source.GetError();
  return false;
}

bool NewRows::Next(QXCommon_600::Record& record, bool& complete) {
  if (fpSource == nullptr || !fpSource->Next()) return false;
  const std::vector<ModelVariable>& variables = fpModel->GetVariables();
  complete = true;
  for (std::size_t i = 0; i < variables.size(); ++i) {
    record[static_cast<int>(i)] = QXMV::gMissingValue;
    if (fColumns[i] >= 0)
      complete = EncodeValue(*fpSource, fColumns[i], variables[i], record[static_cast<int>(i)]) ==
                     ValueState::kPresent &&
                 complete;
  }
  return true;
}

}  // namespace QXFit
