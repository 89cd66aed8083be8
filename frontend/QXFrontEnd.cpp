#include "frontend/QXFrontEnd.h"

#include <sstream>

#include "frontend/BinaryReader.h"
#include "frontend/CsvReader.h"
#include "frontend/FitSession.h"
#include "frontend/LogisticPredictions.h"
#include "frontend/LogisticReportWriter.h"
#include "frontend/MarginalMeans.h"
#include "frontend/PmmlWriter.h"
#include "frontend/Predictions.h"
#include "frontend/ReportWriter.h"

namespace QXFit {

namespace {

const std::vector<std::string> kNoNotes;

}  // namespace

QXFrontEnd::QXFrontEnd() = default;
QXFrontEnd::~QXFrontEnd() = default;

bool QXFrontEnd::Fail(const std::string& error, int code) {
  fError = error;
  fErrorCode = code;
  return false;
}

bool QXFrontEnd::FitFile(const Options& options) {
  fbFitted = false;
  fpSession.reset();
  fpFile.reset();
  if (options.fBinaryColumns.empty()) {
    auto csv = std::make_unique<CsvReader>();
    if (!csv->Open(options.fDataPath, {options.fDelimiter, options.fbDecimalComma, options.fMissingCodes}))
      return Fail(csv->GetError(), CommandLine::kFailure);
    fpFile = std::move(csv);
  } else {
    auto binary = std::make_unique<BinaryReader>();
    if (!binary->Open(options.fDataPath, options.fBinaryColumns))
      return Fail(binary->GetError(), CommandLine::kFailure);
    fpFile = std::move(binary);
  }
  // A binary file is read in place like columns in memory, as fast to read again as a copy would be;
  // a CSV file's texts are parsed once into the temporary record file rather than in every pass.
  return Run(options, *fpFile, !options.fBinaryColumns.empty());
}

bool QXFrontEnd::FitColumns(const Options& options, MemoryColumns& data) {
  fpFile.reset();
  return Run(options, data, true);
}

bool QXFrontEnd::Run(const Options& options, RowSource& source, bool inPlace) {
  fbFitted = false;
  fError.clear();
  fErrorCode = CommandLine::kSuccess;
  fpSession = std::make_unique<FitSession>();
  std::string error;
  const int code = fpSession->Fit(
      options, source, inPlace ? FitSession::Records::kInPlace : FitSession::Records::kTemporaryFile, nullptr,
      nullptr, error);
  if (code != CommandLine::kSuccess) return Fail(error, code);
  fbFitted = true;
  return true;
}

const std::vector<std::string>& QXFrontEnd::GetNotes() const {
  return fpSession ? fpSession->GetNotes() : kNoNotes;
}

const FitResult& QXFrontEnd::GetResult() const {
  static const FitResult kNone;
  return fbFitted ? fpSession->GetResult() : kNone;
}

const LogisticResult& QXFrontEnd::GetLogisticResult() const {
  static const LogisticResult kNone;
  return IsLogistic() ? fpSession->GetLogisticResult() : kNone;
}

bool QXFrontEnd::IsLogistic() const { return fbFitted && fpSession->IsLogistic(); }

std::string QXFrontEnd::GetReport() const {
  std::ostringstream out;
  if (IsLogistic()) {
    LogisticReportWriter::WriteTable(fpSession->GetLogisticResult(), out);
  } else if (fbFitted) {
    ReportWriter::WriteTable(fpSession->GetResult(), out);
  }
  return out.str();
}

std::string QXFrontEnd::GetJson() const {
  std::ostringstream out;
  if (IsLogistic()) {
    LogisticReportWriter::WriteJson(fpSession->GetLogisticResult(), out);
  } else if (fbFitted) {
    ReportWriter::WriteJson(fpSession->GetResult(), out);
  }
  return out.str();
}

bool QXFrontEnd::WritePredictions(RowSource& newRows, const std::string& path) {
  if (!fbFitted) return Fail("no fitted model to predict from", CommandLine::kFailure);
  std::string error;
  if (fpSession->IsLogistic()) {
    LogisticPredictions probabilities(*fpSession->GetComponent(), fpSession->GetModel());
    if (!probabilities.WriteNew(newRows, path, nullptr, error)) return Fail(error, CommandLine::kFailure);
    return true;
  }
  Predictions predictions(*fpSession->GetComponent(), fpSession->GetModel(), fpSession->GetResult());
  if (!predictions.WriteNew(newRows, path, nullptr, error)) return Fail(error, CommandLine::kFailure);
  return true;
}

bool QXFrontEnd::WritePmml(const std::string& path) {
  if (!fbFitted) return Fail("no fitted model to export", CommandLine::kFailure);
  std::string error;
  if (!QXFit::WritePmml(*fpSession->GetComponent(), fpSession->GetModel(), fpSession->GetResult().fModel,
                        path, error))
    return Fail(error, CommandLine::kFailure);
  return true;
}

bool QXFrontEnd::GetEmmeans(const EmmeansOptions& options, std::vector<EmmeansResult>& means) {
  means.clear();
  if (!fbFitted) return Fail("no fitted model to form marginal means from", CommandLine::kFailure);
  MarginalMeans marginalMeans;
  std::string error;
  if (!marginalMeans.Resolve(options, fpSession->GetModel(), fpSession->IsLogistic(), error))
    return Fail(error, CommandLine::kUsage);
  // The fit's own result stays as it was: the means are formed on a copy that carries sigma^2.
  FitResult result = fpSession->GetResult();
  result.fEmmeans.clear();
  if (!marginalMeans.Compute(*fpSession->GetComponent(), result, error))
    return Fail(error, CommandLine::kFailure);
  means = std::move(result.fEmmeans);
  return true;
}

}  // namespace QXFit
