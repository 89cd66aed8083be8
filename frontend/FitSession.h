// One fit from a row source to its results, the stages every caller of the front end goes through:
// the formula, the columns it names, a pass that types them and collects the factor levels, the
// model (linear, or multinomial logistic for a categorical response with --logistic), a pass that
// encodes the records, the library's fit and the tests. qxfit runs it on a file; QXFrontEnd on a file
// or on columns in memory.
//
// With Records::kTemporaryFile the records are written once to an anonymous temporary file that the
// library then reads in its own passes (parsing a CSV file's text in every pass would cost more than
// writing doubles once, and qxfit's predictions of the fitted rows read that file). With kInPlace
// (columns in memory, a binary file) they are encoded as the library reads them, without any copy, in
// every pass of the fit and once more for a logistic model's classification table.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/QXCallbacks.h"
#include "frontend/CommandLine.h"
#include "frontend/FitResult.h"
#include "frontend/FitRunner.h"
#include "frontend/LogisticResult.h"
#include "frontend/ModelBuilder.h"
#include "frontend/RecordFileWriter.h"
#include "frontend/RowRecordIterator.h"
#include "frontend/RowSource.h"
#include "model/IQXRegComponent.h"

namespace QXFit {

class ProgressBar;

class FitSession {
 public:
  enum class Records { kTemporaryFile, kInPlace };

  FitSession() = default;
  FitSession(const FitSession&) = delete;
  FitSession& operator=(const FitSession&) = delete;
  ~FitSession();

  // Fits the model that `options` describe (formula, factors, weights, references, tests) to
  // `source`, which is borrowed for the session's life. Returns CommandLine::kSuccess, kUsage for a bad
  // formula or a column that cannot take its role, or kFailure when the data cannot be read or the
  // library reports an error, with `error` saying why. What the user should know but is no error goes
  // to GetNotes, in order, also on failure.
  // `iterations`, when given, follows a logistic fit's iterations.
  int Fit(const Options& options, RowSource& source, Records records, ProgressBar* progress,
          QXCommon_600::ProgressListener* iterations, std::string& error);

  const std::vector<std::string>& GetNotes() const { return fNotes; }
  // After a successful Fit:
  bool IsLogistic() const { return fModel.IsLogistic(); }
  // The fit of a linear model, or the fit part of a logistic model's result.
  const FitResult& GetResult() const { return IsLogistic() ? fLogistic.fFit : fResult; }
  const LogisticResult& GetLogisticResult() const { return fLogistic; }
  const ModelBuilder& GetModel() const { return fModel; }
  QXMath_600::IQXRegComponent* GetComponent() const { return fRunner ? fRunner->GetComponent() : nullptr; }
  const RecordFileWriter::Counts& GetCounts() const { return fCounts; }
  // The temporary record file, null for records read in place.
  std::FILE* GetRecordFile() const { return fRecordFile.get(); }

 private:
  void NoteUnusableValues();

  ModelBuilder fModel;
  RecordFileWriter::Counts fCounts;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> fRecordFile{nullptr, &std::fclose};
  std::unique_ptr<RowRecordIterator> fInPlace;
  std::unique_ptr<FitRunner> fRunner;
  FitResult fResult;
  LogisticResult fLogistic;
  std::vector<std::string> fNotes;
};

}  // namespace QXFit
