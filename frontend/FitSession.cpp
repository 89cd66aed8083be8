#include "frontend/FitSession.h"

#include "frontend/ColumnScanner.h"
#include "frontend/FormulaParser.h"
#include "frontend/LogisticFit.h"
#include "frontend/MarginalMeans.h"
#include "frontend/ProgressBar.h"
#include "records/BinaryRecordIterator.h"
#include "settings/QXConst.h"
#include "settings/QXLogRegSettings.h"

namespace QXFit {

FitSession::~FitSession() = default;

// Records that left the fit for values it cannot use, which R would have stopped at.
void FitSession::NoteUnusableValues() {
  if (fCounts.fNotFinite.fCount > 0)
    fNotes.push_back(fCounts.fNotFinite.Describe() +
                     " left out for a value that is not finite (NaN, Inf, -Inf)");
  if (fCounts.fUndefined.fCount > 0)
    fNotes.push_back(fCounts.fUndefined.Describe() +
                     " left out for a function outside its domain (log or sqrt of a negative value, log(0), "
                     "exp overflowing)");
}

int FitSession::Fit(const Options& options, RowSource& source, Records records, ProgressBar* progress,
                    QXCommon_600::ProgressListener* iterations, std::string& error) {
  Formula formula;
  if (!FormulaParser::Parse(options.fFormula, formula, error)) {
    error = "bad formula: " + error;
    return CommandLine::kUsage;
  }
  if (formula.fbUsesDot) {
    // `.` is every column but the response and the weights.
    std::vector<std::string> columns;
    for (const auto& name : source.GetColumnNames())
      if (name != options.fFrequencyWeight && name != options.fRegressionWeight) columns.push_back(name);
    if (!FormulaParser::Parse(options.fFormula, formula, error, &columns)) {
      error = "bad formula: " + error;
      return CommandLine::kUsage;
    }
  }

  const ModelRequest request{options.fFactors, options.fFrequencyWeight, options.fRegressionWeight,
                             options.fReferences, options.fbLogistic};
  if (!fModel.Resolve(formula, source.GetColumnNames(), request, error)) return CommandLine::kUsage;

  if (progress != nullptr) progress->Start("reading the data");
  ColumnScanner scanner(fModel.GetScanColumns(), fModel.GetDeclaredFactors());
  if (!scanner.Scan(source, progress, error)) return CommandLine::kFailure;
  if (progress != nullptr) progress->Clear();
  if (!fModel.Build(scanner, error)) return CommandLine::kUsage;
  for (const auto& notice : fModel.GetNotices()) fNotes.push_back(notice);
  if (fModel.IsLogistic() && options.fbResiduals) {
    error = "--residuals belong to a linear model; the response '" + fModel.GetVariables().front().fName +
            "' is categorical";
    return CommandLine::kUsage;
  }
  // Matched to the model before the data are read again, so that a misspelt name stops the run early.
  MarginalMeans marginalMeans;
  if (!marginalMeans.Resolve(options.fEmmeans, fModel, fModel.IsLogistic(), error))
    return CommandLine::kUsage;

  if (records == Records::kTemporaryFile) {
    // An anonymous temporary file: the system removes it however the process ends.
    fRecordFile.reset(std::tmpfile());
    if (!fRecordFile) {
      error = "cannot create a temporary file";
      return CommandLine::kFailure;
    }
  }
  // For records read in place this pass only counts.
  if (progress != nullptr) progress->Start("preparing the records");
  if (!RecordFileWriter::Write(source, fModel.GetVariables(), fModel.GetSettings(), fRecordFile.get(),
                               progress, fCounts, error))
    return CommandLine::kFailure;
  if (progress != nullptr) progress->Clear();
  NoteUnusableValues();

  QXMath_600::QXRegSettings settings = fModel.GetSettings();
  settings.SetTolerance(options.fTolerance);
  // The tests of model effects take their test type from the settings.
  settings.SetTestType(options.fTest == TestKind::kF ? QXConst::QXTestWaldF : QXConst::QXTestChiSquare);
  settings.SetConfidenceLevel(options.fConfidenceLevel);
  const int nVariables = static_cast<int>(fModel.GetVariables().size());
  if (fRecordFile) {
    fRunner = std::make_unique<FitRunner>(fRecordFile.get(), nVariables, fCounts.fRecordsRead, progress);
  } else {
    fInPlace = std::make_unique<RowRecordIterator>(source, fModel.GetVariables(), fCounts.fRecordsRead);
    fRunner = std::make_unique<FitRunner>(*fInPlace, fCounts.fRecordsRead, progress);
  }
  FitResult& result = fModel.IsLogistic() ? fLogistic.fFit : fResult;
  result.fTest = options.fTest;
  result.fConfidenceLevel = options.fConfidenceLevel;
  result.fbTypeI = options.fbTypeI;
  result.fbTypeIII = options.fbTypeIII;
  if (fModel.IsLogistic()) {
    QXMath_600::QXLogRegSettings logistic = MakeLogisticSettings(fModel, settings);
    if (iterations != nullptr) logistic.SetProgressListener(iterations);
    logistic.SetUsePatternTabulator(options.fbTabulate);
    if (!fRunner->Fit(logistic, error)) return CommandLine::kFailure;
    // The classification table reads the fitted records once more, from wherever the fit read them.
    std::unique_ptr<QXCommon_600::BinaryRecordIterator> fileRecords;
    if (fRecordFile)
      fileRecords = std::make_unique<QXCommon_600::BinaryRecordIterator>(fRecordFile.get(), nVariables);
    QXCommon_600::MultiPassRecordIter& fitted =
        fileRecords ? static_cast<QXCommon_600::MultiPassRecordIter&>(*fileRecords) : *fInPlace;
    if (!ReadLogisticResult(*fRunner->GetComponent(), fModel, fitted, fLogistic, error))
      return CommandLine::kFailure;
  } else {
    if (!fRunner->Fit(settings, error)) return CommandLine::kFailure;
    if (!fRunner->GetResult(fModel, fResult, error)) return CommandLine::kFailure;
  }
  if (!marginalMeans.Compute(*fRunner->GetComponent(), result, error)) return CommandLine::kFailure;
  result.fModel = options.fFormula;
  result.fRecordsRead = fCounts.fRecordsRead;
  result.fRecordsUsed = fCounts.fRecordsUsed;
  result.fLeftOutMissing = fCounts.fMissing.fCount;
  result.fLeftOutNotFinite = fCounts.fNotFinite.fCount;
  result.fLeftOutUndefined = fCounts.fUndefined.fCount;
  result.fLeftOutWeight = fCounts.fWeightNotPositive.fCount;
  return CommandLine::kSuccess;
}

}  // namespace QXFit
