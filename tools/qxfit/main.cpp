// qxfit: fits a general linear model to a CSV (or binary record) file through qxregres600r and reports
// its parameters with their tests, the tests of its effects and its fit. The data are streamed: one pass
// types the columns and collects the factor levels, a second writes the model's variables into a temporary
// record file, and the library takes its own passes over that file. Nothing proportional to the number of
// rows is held in memory.
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "settings/QXConst.h"
#include "tools/qxfit/BinaryReader.h"
#include "tools/qxfit/ColumnScanner.h"
#include "tools/qxfit/CommandLine.h"
#include "tools/qxfit/CsvReader.h"
#include "tools/qxfit/FitRunner.h"
#include "tools/qxfit/FormulaParser.h"
#include "tools/qxfit/ModelBuilder.h"
#include "tools/qxfit/Predictions.h"
#include "tools/qxfit/ProgressBar.h"
#include "tools/qxfit/RecordFileWriter.h"
#include "tools/qxfit/ReportWriter.h"

namespace {

using QXFit::CommandLine;

int Fail(int code, const std::string& message) {
  std::cerr << "qxfit: " << message << '\n';
  return code;
}

void Note(const std::string& message) { std::cerr << "qxfit: note: " << message << '\n'; }

QXFit::CsvFormat Format(const QXFit::Options& options) {
  return {options.fDelimiter, options.fbDecimalComma, options.fMissingCodes};
}

std::unique_ptr<QXFit::RowSource> OpenData(const QXFit::Options& options, std::string& error) {
  if (options.fBinaryColumns.empty()) {
    auto csv = std::make_unique<QXFit::CsvReader>();
    if (!csv->Open(options.fDataPath, Format(options))) {
      error = csv->GetError();
      return nullptr;
    }
    return csv;
  }
  auto binary = std::make_unique<QXFit::BinaryReader>();
  if (!binary->Open(options.fDataPath, options.fBinaryColumns)) {
    error = binary->GetError();
    return nullptr;
  }
  return binary;
}

// Records that left the fit for values it cannot use, which R would have stopped at.
void NoteUnusableValues(const QXFit::RecordFileWriter::Counts& counts) {
  if (counts.fNotFinite.fCount > 0)
    Note(counts.fNotFinite.Describe() + " left out for a value that is not finite (NaN, Inf, -Inf)");
  if (counts.fUndefined.fCount > 0)
    Note(counts.fUndefined.Describe() +
         " left out for a function outside its domain (log or sqrt of a negative value, log(0), exp "
         "overflowing)");
}

int Run(const QXFit::Options& options) {
  QXFit::Formula formula;
  std::string error;
  if (!QXFit::FormulaParser::Parse(options.fFormula, formula, error))
    return Fail(CommandLine::kUsage, "bad formula: " + error);

  std::unique_ptr<QXFit::RowSource> source = OpenData(options, error);
  if (!source) return Fail(CommandLine::kFailure, error);
  if (formula.fbUsesDot) {
    // `.` is every column but the response and the weights.
    std::vector<std::string> columns;
    for (const auto& name : source->GetColumnNames())
      if (name != options.fFrequencyWeight && name != options.fRegressionWeight) columns.push_back(name);
    if (!QXFit::FormulaParser::Parse(options.fFormula, formula, error, &columns))
      return Fail(CommandLine::kUsage, "bad formula: " + error);
  }

  QXFit::ModelBuilder model;
  const QXFit::ModelRequest request{options.fFactors, options.fFrequencyWeight, options.fRegressionWeight,
                                    options.fReferences};
  if (!model.Resolve(formula, source->GetColumnNames(), request, error))
    return Fail(CommandLine::kUsage, error);

  QXFit::ProgressBar progress(stderr, !options.fbQuiet && QXFit::ProgressBar::IsTerminal(stderr));
  progress.Start("reading the data");
  QXFit::ColumnScanner scanner(model.GetScanColumns(), model.GetDeclaredFactors());
  if (!scanner.Scan(*source, &progress, error)) return Fail(CommandLine::kFailure, error);
  progress.Clear();
  if (!model.Build(scanner, error)) return Fail(CommandLine::kUsage, error);
  for (const auto& notice : model.GetNotices()) Note(notice);

  // An anonymous temporary file: the system removes it however the process ends.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> records(std::tmpfile(), &std::fclose);
  if (!records) return Fail(CommandLine::kFailure, "cannot create a temporary file");
  progress.Start("preparing the records");
  QXFit::RecordFileWriter::Counts counts;
  if (!QXFit::RecordFileWriter::Write(*source, model.GetVariables(), model.GetSettings(), records.get(),
                                      &progress, counts, error))
    return Fail(CommandLine::kFailure, error);
  progress.Clear();
  NoteUnusableValues(counts);

  QXMath_600::QXRegSettings settings = model.GetSettings();
  settings.SetTolerance(options.fTolerance);
  // The tests of model effects take their test type from the settings.
  settings.SetTestType(options.fTest == QXFit::TestKind::kF ? QXConst::QXTestWaldF
                                                            : QXConst::QXTestChiSquare);
  settings.SetConfidenceLevel(options.fConfidenceLevel);
  const int nVariables = static_cast<int>(model.GetVariables().size());
  QXFit::FitRunner runner(records.get(), nVariables, counts.fRecordsRead, &progress);
  if (!runner.Fit(settings, error)) return Fail(CommandLine::kFailure, error);

  QXFit::FitResult result;
  result.fTest = options.fTest;
  result.fConfidenceLevel = options.fConfidenceLevel;
  result.fbTypeI = options.fbTypeI;
  result.fbTypeIII = options.fbTypeIII;
  if (!runner.GetResult(model, result, error)) return Fail(CommandLine::kFailure, error);
  result.fModel = options.fFormula;
  result.fRecordsRead = counts.fRecordsRead;
  result.fRecordsUsed = counts.fRecordsUsed;
  result.fLeftOutMissing = counts.fMissing.fCount;
  result.fLeftOutNotFinite = counts.fNotFinite.fCount;
  result.fLeftOutUndefined = counts.fUndefined.fCount;
  result.fLeftOutWeight = counts.fWeightNotPositive.fCount;
  if (options.fbJson) {
    QXFit::ReportWriter::WriteJson(result, std::cout);
  } else {
    QXFit::ReportWriter::WriteTable(result, std::cout);
  }
  std::cout.flush();

  if (options.fPredictPath.empty()) return CommandLine::kSuccess;
  QXFit::Predictions predictions(*runner.GetComponent(), model, result);
  if (options.fPredictDataPath.empty()) {
    if (!predictions.WriteFitted(records.get(), nVariables, counts.fRecordsRead, options.fbResiduals,
                                 options.fPredictPath, &progress, error))
      return Fail(CommandLine::kFailure, error);
    return CommandLine::kSuccess;
  }
  QXFit::CsvReader newRows;
  if (!newRows.Open(options.fPredictDataPath, Format(options)))
    return Fail(CommandLine::kFailure, "--predict-data: " + newRows.GetError());
  if (!predictions.WriteNew(newRows, options.fPredictPath, &progress, error))
    return Fail(CommandLine::kFailure, error);
  if (predictions.GetUnscored().fCount > 0)
    Note(predictions.GetUnscored().Describe() +
         " of --predict-data have no prediction: a missing or unusable value, or a level (or combination of "
         "levels) that the fit has not seen");
  return CommandLine::kSuccess;
}

}  // namespace

int main(int argc, char** argv) {
  QXFit::Options options;
  std::string message;
  const int code = CommandLine::Parse(argc, argv, options, message);
  if (code == CommandLine::kSuccess) {
    std::cout << message;
    return code;
  }
  if (code > 0) return Fail(code, message);
  return Run(options);
}
