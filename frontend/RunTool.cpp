// The data are streamed: one pass types the columns and collects the factor levels, a second writes the
// model's variables into a temporary record file, and the library takes its own passes over that file.
// Nothing proportional to the number of rows is held in memory.
#include "frontend/RunTool.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "frontend/BinaryReader.h"
#include "frontend/ColumnScanner.h"
#include "frontend/CsvReader.h"
#include "frontend/FitRunner.h"
#include "frontend/FormulaParser.h"
#include "frontend/ModelBuilder.h"
#include "frontend/Predictions.h"
#include "frontend/ProgressBar.h"
#include "frontend/RecordFileWriter.h"
#include "frontend/ReportWriter.h"
#include "settings/QXConst.h"

namespace QXFit {

namespace {

class Messages {
 public:
  explicit Messages(std::ostream& err) : fErr(err) {}
  int Fail(int code, const std::string& message) {
    fErr << "qxfit: " << message << '\n';
    return code;
  }
  void Note(const std::string& message) { fErr << "qxfit: note: " << message << '\n'; }

 private:
  std::ostream& fErr;
};

CsvFormat Format(const Options& options) {
  return {options.fDelimiter, options.fbDecimalComma, options.fMissingCodes};
}

std::unique_ptr<RowSource> OpenData(const Options& options, std::string& error) {
  if (options.fBinaryColumns.empty()) {
    auto csv = std::make_unique<CsvReader>();
    if (!csv->Open(options.fDataPath, Format(options))) {
      error = csv->GetError();
      return nullptr;
    }
    return csv;
  }
  auto binary = std::make_unique<BinaryReader>();
  if (!binary->Open(options.fDataPath, options.fBinaryColumns)) {
    error = binary->GetError();
    return nullptr;
  }
  return binary;
}

// Records that left the fit for values it cannot use, which R would have stopped at.
void NoteUnusableValues(const RecordFileWriter::Counts& counts, Messages& messages) {
  if (counts.fNotFinite.fCount > 0)
    messages.Note(counts.fNotFinite.Describe() + " left out for a value that is not finite (NaN, Inf, -Inf)");
  if (counts.fUndefined.fCount > 0)
    messages.Note(counts.fUndefined.Describe() +
                  " left out for a function outside its domain (log or sqrt of a negative value, log(0), exp "
                  "overflowing)");
}

}  // namespace

int RunTool(const Options& options, std::ostream& out, std::ostream& err) {
  Messages messages(err);
  Formula formula;
  std::string error;
  if (!FormulaParser::Parse(options.fFormula, formula, error))
    return messages.Fail(CommandLine::kUsage, "bad formula: " + error);

  std::unique_ptr<RowSource> source = OpenData(options, error);
  if (!source) return messages.Fail(CommandLine::kFailure, error);
  if (formula.fbUsesDot) {
    // `.` is every column but the response and the weights.
    std::vector<std::string> columns;
    for (const auto& name : source->GetColumnNames())
      if (name != options.fFrequencyWeight && name != options.fRegressionWeight) columns.push_back(name);
    if (!FormulaParser::Parse(options.fFormula, formula, error, &columns))
      return messages.Fail(CommandLine::kUsage, "bad formula: " + error);
  }

  ModelBuilder model;
  const ModelRequest request{options.fFactors, options.fFrequencyWeight, options.fRegressionWeight,
                             options.fReferences};
  if (!model.Resolve(formula, source->GetColumnNames(), request, error))
    return messages.Fail(CommandLine::kUsage, error);

  ProgressBar progress(stderr, !options.fbQuiet && ProgressBar::IsTerminal(stderr));
  progress.Start("reading the data");
  ColumnScanner scanner(model.GetScanColumns(), model.GetDeclaredFactors());
  if (!scanner.Scan(*source, &progress, error)) return messages.Fail(CommandLine::kFailure, error);
  progress.Clear();
  if (!model.Build(scanner, error)) return messages.Fail(CommandLine::kUsage, error);
  for (const auto& notice : model.GetNotices()) messages.Note(notice);

  // An anonymous temporary file: the system removes it however the process ends.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> records(std::tmpfile(), &std::fclose);
  if (!records) return messages.Fail(CommandLine::kFailure, "cannot create a temporary file");
  progress.Start("preparing the records");
  RecordFileWriter::Counts counts;
  if (!RecordFileWriter::Write(*source, model.GetVariables(), model.GetSettings(), records.get(), &progress,
                               counts, error))
    return messages.Fail(CommandLine::kFailure, error);
  progress.Clear();
  NoteUnusableValues(counts, messages);

  QXMath_600::QXRegSettings settings = model.GetSettings();
  settings.SetTolerance(options.fTolerance);
  // The tests of model effects take their test type from the settings.
  settings.SetTestType(options.fTest == TestKind::kF ? QXConst::QXTestWaldF : QXConst::QXTestChiSquare);
  settings.SetConfidenceLevel(options.fConfidenceLevel);
  const int nVariables = static_cast<int>(model.GetVariables().size());
  FitRunner runner(records.get(), nVariables, counts.fRecordsRead, &progress);
  if (!runner.Fit(settings, error)) return messages.Fail(CommandLine::kFailure, error);

  FitResult result;
  result.fTest = options.fTest;
  result.fConfidenceLevel = options.fConfidenceLevel;
  result.fbTypeI = options.fbTypeI;
  result.fbTypeIII = options.fbTypeIII;
  if (!runner.GetResult(model, result, error)) return messages.Fail(CommandLine::kFailure, error);
  result.fModel = options.fFormula;
  result.fRecordsRead = counts.fRecordsRead;
  result.fRecordsUsed = counts.fRecordsUsed;
  result.fLeftOutMissing = counts.fMissing.fCount;
  result.fLeftOutNotFinite = counts.fNotFinite.fCount;
  result.fLeftOutUndefined = counts.fUndefined.fCount;
  result.fLeftOutWeight = counts.fWeightNotPositive.fCount;
  if (options.fbJson) {
    ReportWriter::WriteJson(result, out);
  } else {
    ReportWriter::WriteTable(result, out);
  }
  out.flush();

  if (options.fPredictPath.empty()) return CommandLine::kSuccess;
  Predictions predictions(*runner.GetComponent(), model, result);
  if (options.fPredictDataPath.empty()) {
    if (!predictions.WriteFitted(records.get(), nVariables, counts.fRecordsRead, options.fbResiduals,
                                 options.fPredictPath, &progress, error))
      return messages.Fail(CommandLine::kFailure, error);
    return CommandLine::kSuccess;
  }
  CsvReader newRows;
  if (!newRows.Open(options.fPredictDataPath, Format(options)))
    return messages.Fail(CommandLine::kFailure, "--predict-data: " + newRows.GetError());
  if (!predictions.WriteNew(newRows, options.fPredictPath, &progress, error))
    return messages.Fail(CommandLine::kFailure, error);
  if (predictions.GetUnscored().fCount > 0)
    messages.Note(predictions.GetUnscored().Describe() +
                  " of --predict-data have no prediction: a missing or unusable value, or a level (or "
                  "combination of levels) that the fit has not seen");
  return CommandLine::kSuccess;
}

}  // namespace QXFit
