// What the writers of predictions share: a CSV line of numbers and texts, and the reading of new rows
// (--predict-data) into records of the fitted model's layout.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Record.h"
#include "frontend/ModelBuilder.h"
#include "frontend/RowSource.h"

namespace QXFit {

// One CSV line, ended when the object goes: numbers as the shortest text that reads back as the same
// double (nothing for none), texts quoted when they hold a delimiter, a quote or a line break.
class CsvLine {
 public:
  explicit CsvLine(std::FILE* out) : fpOut(out) {}
  CsvLine(const CsvLine&) = delete;
  CsvLine& operator=(const CsvLine&) = delete;
  ~CsvLine() { std::fputc('\n', fpOut); }

  void Add(std::optional<double> value);
  void AddText(std::string_view text);

 private:
  void Separate();
  std::FILE* fpOut;
  bool fbAny = false;
};

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// Opens a predictions file for writing; null with a message when it cannot be.
File OpenOutput(const std::string& path, std::string& error);

// Flushes and checks a predictions file; false with a message when it could not be written.
bool FinishFile(std::FILE* out, const std::string& path, std::string& error);

// After a pass over the temporary record file: false with a message when the pass ended early,
// else FinishFile.
bool FinishFittedPass(int failReason, std::FILE* out, const std::string& path, std::string& error);

// The rows of another data source as records of the model's layout. The factors' and covariates'
// columns are found by name; the response and the weights may be absent, since scoring does not read
// them.
class NewRows {
 public:
  // False with a message when a column the model needs is missing, or the source cannot start over.
  bool Open(RowSource& source, const ModelBuilder& model, std::string& error);
  // Reads the next row into `record` (sized to the model's variables). False at the end or on a
  // failure (the source's GetError says which). `complete` is false when a value the model needs is
  // missing or unusable.
  bool Next(QXCommon_600::Record& record, bool& complete);

 private:
  RowSource* fpSource = nullptr;
  const ModelBuilder* fpModel = nullptr;
  std::vector<int> fColumns;  // per record variable, its column in the source, or -1
};

}  // namespace QXFit
