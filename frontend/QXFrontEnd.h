// The front end as a library: fit a formula to a data file (CSV, or binary records, streamed as qxfit
// streams them) or to columns the caller holds in memory (read in place, never copied), and read what
// qxfit shows: the parameters with their tests, the tests of model effects, the fit statistics, the
// report text and the JSON document, predictions for new rows and a PMML document of the model. A
// linear model, or with options.fbLogistic a multinomial logistic regression of a categorical response.
// It is the tool's own run (the same session, report and JSON writers), so the numbers are qxfit's.
//
//   QXFit::Options options;                       // what qxfit's command line would say
//   options.fFormula = "breaks ~ wool*tension";
//   options.fDataPath = "data/warpbreaks.csv";
//   QXFit::QXFrontEnd fit;
//   if (!fit.FitFile(options)) std::cerr << fit.GetError() << '\n';
//   else std::cout << fit.GetReport();
//
// One object serves one thread at a time; each Fit starts afresh.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "frontend/CommandLine.h"
#include "frontend/EmmeansRequest.h"
#include "frontend/EmmeansResult.h"
#include "frontend/FitResult.h"
#include "frontend/LogisticResult.h"
#include "frontend/MemoryColumns.h"
#include "frontend/RowSource.h"

namespace QXFit {

class FitSession;

class QXFrontEnd {
 public:
  QXFrontEnd();
  QXFrontEnd(const QXFrontEnd&) = delete;
  QXFrontEnd& operator=(const QXFrontEnd&) = delete;
  ~QXFrontEnd();

  // Fits options.fFormula to the file options.fDataPath: CSV in options' format (encoded once into a
  // temporary record file), or binary records of options.fBinaryColumns (read in place in every
  // pass). Options that only the tool acts on (--predict, --json, --quiet) are ignored. False with
  // GetError on failure.
  bool FitFile(const Options& options);
  // Fits to columns in memory, which are read in place during the call and not afterwards.
  bool FitColumns(const Options& options, MemoryColumns& data);

  // After a failure: the message, and qxfit's exit code for it (CommandLine::kUsage for a bad formula
  // or a column that cannot take its role, kFailure otherwise).
  const std::string& GetError() const { return fError; }
  int GetErrorCode() const { return fErrorCode; }
  // What the fit noticed and a user should know (columns read as texts, rows left out for values
  // that are not finite), also after a failure.
  const std::vector<std::string>& GetNotes() const;

  bool IsFitted() const { return fbFitted; }
  bool IsLogistic() const;
  // After a successful fit: the linear model's result, or a logistic model's fit statistics and
  // parameters (GetLogisticResult has the rest).
  const FitResult& GetResult() const;
  const LogisticResult& GetLogisticResult() const;
  // qxfit's report, and its JSON document.
  std::string GetReport() const;
  std::string GetJson() const;
  // Predictions for the rows of `newRows`, whose columns are found by name, written as CSV with
  // qxfit's --predict-data columns, one line per row: for a linear model predicted, se_fit,
  // conf_lower, conf_upper, pred_lower, pred_upper; for a logistic model the predicted category and
  // the probability of every category (prob_LEVEL). A row that cannot be scored has empty fields.
  // False with GetError.
  bool WritePredictions(RowSource& newRows, const std::string& path);
  // The model as a standalone PMML 4.4 document (qxfit's --pmml). False with GetError.
  bool WritePmml(const std::string& path);
  // Estimated marginal means of the fitted model, asked for after the fit as --emmeans asks for them
  // with it (ParseEmmeansOptions reads them from qxfit's texts). `means` gets one entry per request.
  // False with GetError (and CommandLine::kUsage) for a request that does not match the model.
  bool GetEmmeans(const EmmeansOptions& options, std::vector<EmmeansResult>& means);

 private:
  bool Fail(const std::string& error, int code);
  bool Run(const Options& options, RowSource& source, bool inPlace);

  std::unique_ptr<RowSource> fpFile;
  std::unique_ptr<FitSession> fpSession;
  bool fbFitted = false;
  std::string fError;
  int fErrorCode = 0;
};

}  // namespace QXFit
