#include "frontend/QXFrontEnd.h"

#include <sstream>

#include "common/QXVarList.h"
#include "common/QXVariable.h"
#include "common/XMLElement.h"
#include "export/QXPMMLDocument.h"
#include "frontend/BinaryReader.h"
#include "frontend/CsvReader.h"
#include "frontend/FitSession.h"
#include "frontend/Predictions.h"
#include "frontend/ReportWriter.h"

namespace QXFit {

namespace {

const std::vector<std::string> kNoNotes;

// The variable list a PMML document names the record's variables from: factors with the texts of
// their codes, the rest continuous.
QXCommon_600::QXVarList DescribeVariables(const ModelBuilder& model) {
  QXCommon_600::QXVarList variables;
  for (const ModelVariable& variable : model.GetVariables()) {
    if (variable.fRole != ModelVariable::Role::kFactor) {
      variables.AddVariable(std::make_unique<QXCommon_600::QXContVar>(variable.fName));
      continue;
    }
    // The label, so that factor(dose) and the covariate dose stay two fields.
    auto factor = std::make_unique<QXCommon_600::QXCatVar>(variable.fLabel);
    for (int code = 0; code < variable.fLevels.GetNLevels(); ++code)
      factor->AddCategory(code, variable.fLevels.GetText(code));
    variables.AddVariable(std::move(factor));
  }
  return variables;
}

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
  return Run(options, *fpFile, false);
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
      error);
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

std::string QXFrontEnd::GetReport() const {
  std::ostringstream out;
  if (fbFitted) ReportWriter::WriteTable(fpSession->GetResult(), out);
  return out.str();
}

std::string QXFrontEnd::GetJson() const {
  std::ostringstream out;
  if (fbFitted) ReportWriter::WriteJson(fpSession->GetResult(), out);
  return out.str();
}

bool QXFrontEnd::WritePredictions(RowSource& newRows, const std::string& path) {
  if (!fbFitted) return Fail("no fitted model to predict from", CommandLine::kFailure);
  Predictions predictions(*fpSession->GetComponent(), fpSession->GetModel(), fpSession->GetResult());
  std::string error;
  if (!predictions.WriteNew(newRows, path, nullptr, error)) return Fail(error, CommandLine::kFailure);
  return true;
}

bool QXFrontEnd::GetPmml(std::string& document) {
  if (!fbFitted) return Fail("no fitted model to export", CommandLine::kFailure);
  const QXCommon_600::QXVarList variables = DescribeVariables(fpSession->GetModel());
  QXMath_600::QXPMMLDocumentOptions options;
  options.fModelName = fpSession->GetResult().fModel;
  std::unique_ptr<QXXML_600::XMLElement> element;
  const QXCommon_600::QXStatus status =
      QXMath_600::QXPMMLDocument::Create(*fpSession->GetComponent(), variables, options, element);
  if (status.IsError() || !element)
    return Fail("the model cannot be exported: " + status.GetMessage(), CommandLine::kFailure);
  document = element->ToDocument();
  return true;
}

}  // namespace QXFit
