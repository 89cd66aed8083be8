// The data are streamed: one pass types the columns and collects the factor levels, a second writes the
// model's variables into a temporary record file, and the library takes its own passes over that file.
// Nothing proportional to the number of rows is held in memory.
#include "frontend/RunTool.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "frontend/BinaryReader.h"
#include "frontend/CsvReader.h"
#include "frontend/FitSession.h"
#include "frontend/FormulaParser.h"
#include "frontend/IterationPrinter.h"
#include "frontend/LogisticPredictions.h"
#include "frontend/LogisticReportWriter.h"
#include "frontend/PmmlWriter.h"
#include "frontend/Predictions.h"
#include "frontend/ProgressBar.h"
#include "frontend/ReportWriter.h"

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

}  // namespace

int RunTool(const Options& options, std::ostream& out, std::ostream& err) {
  Messages messages(err);
  std::string error;
  // A formula that cannot be parsed is a usage error even when the data cannot be read.
  Formula formula;
  if (!FormulaParser::Parse(options.fFormula, formula, error))
    return messages.Fail(CommandLine::kUsage, "bad formula: " + error);
  std::unique_ptr<RowSource> source = OpenData(options, error);
  if (!source) return messages.Fail(CommandLine::kFailure, error);

  ProgressBar progress(stderr, !options.fbQuiet && ProgressBar::IsTerminal(stderr));
  // A logistic fit iterates: its history shows where the progress bar would, or wherever asked.
  IterationPrinter iterations(err, &progress,
                              options.fbIterations || (!options.fbQuiet && ProgressBar::IsTerminal(stderr)));
  FitSession session;
  const int code =
      session.Fit(options, *source, FitSession::Records::kTemporaryFile, &progress, &iterations, error);
  for (const auto& note : session.GetNotes()) messages.Note(note);
  if (code != CommandLine::kSuccess) return messages.Fail(code, error);
  const bool logistic = session.IsLogistic();
  const FitResult& result = session.GetResult();
  if (logistic) {
    if (options.fbJson) {
      LogisticReportWriter::WriteJson(session.GetLogisticResult(), out);
    } else {
      LogisticReportWriter::WriteTable(session.GetLogisticResult(), out);
    }
  } else if (options.fbJson) {
    ReportWriter::WriteJson(result, out);
  } else {
    ReportWriter::WriteTable(result, out);
  }
  out.flush();
  if (!options.fPmmlPath.empty() &&
      !WritePmml(*session.GetComponent(), session.GetModel(), options.fFormula, options.fPmmlPath, error))
    return messages.Fail(CommandLine::kFailure, error);

  if (options.fPredictPath.empty()) return CommandLine::kSuccess;
  const ModelBuilder& model = session.GetModel();
  Predictions predictions(*session.GetComponent(), model, result);
  LogisticPredictions probabilities(*session.GetComponent(), model);
  if (options.fPredictDataPath.empty()) {
    const int nVariables = static_cast<int>(model.GetVariables().size());
    const long long nRecords = session.GetCounts().fRecordsRead;
    const bool written =
        logistic ? probabilities.WriteFitted(session.GetRecordFile(), nVariables, nRecords,
                                             options.fPredictPath, &progress, error)
                 : predictions.WriteFitted(session.GetRecordFile(), nVariables, nRecords, options.fbResiduals,
                                           options.fPredictPath, &progress, error);
    if (!written) return messages.Fail(CommandLine::kFailure, error);
    return CommandLine::kSuccess;
  }
  CsvReader newRows;
  if (!newRows.Open(options.fPredictDataPath, Format(options)))
    return messages.Fail(CommandLine::kFailure, "--predict-data: " + newRows.GetError());
  const bool written = logistic ? probabilities.WriteNew(newRows, options.fPredictPath, &progress, error)
                                : predictions.WriteNew(newRows, options.fPredictPath, &progress, error);
  if (!written) return messages.Fail(CommandLine::kFailure, error);
  const RowExamples& unscored = logistic ? probabilities.GetUnscored() : predictions.GetUnscored();
  if (unscored.fCount > 0)
    messages.Note(unscored.Describe() +
                  " of --predict-data have no prediction: a missing or unusable value, or a level (or "
                  "combination of levels) that the fit has not seen");
  return CommandLine::kSuccess;
}

}  // namespace QXFit
