#include "tools/qxfit/PmmlWriter.h"

#include <fstream>
#include <memory>

#include "common/QXVarList.h"
#include "common/QXVariable.h"
#include "common/XMLElement.h"
#include "export/QXPMMLDocument.h"

namespace QXFit {

namespace {

// Entry i describes record variable i: categories by code, with the texts of the data.
QXCommon_600::QXVarList DescribeVariables(const ModelBuilder& model) {
  QXCommon_600::QXVarList variables;
  for (const ModelVariable& variable : model.GetVariables()) {
    if (!variable.IsCategorical()) {
      variables.AddVariable(std::make_unique<QXCommon_600::QXContVar>(variable.fName));
      continue;
    }
    auto factor = std::make_unique<QXCommon_600::QXCatVar>(variable.fName);
    for (int code = 0; code < variable.fLevels.GetNLevels(); ++code)
      factor->AddCategory(static_cast<double>(code), variable.fLevels.GetText(code));
    variables.AddVariable(std::move(factor));
  }
  return variables;
}

}  // namespace

bool WritePmml(QXMath_600::IQXRegComponent& component, const ModelBuilder& model, const std::string& formula,
               const std::string& path, std::string& error) {
  const QXCommon_600::QXVarList variables = DescribeVariables(model);
  QXMath_600::QXPMMLDocumentOptions options;
  options.fModelName = formula;
  options.fDescription = "fitted by qxfit";
  std::unique_ptr<QXXML_600::XMLElement> document;
  const QXCommon_600::QXStatus status =
      QXMath_600::QXPMMLDocument::Create(component, variables, options, document);
  if (status.IsError() || !document) {
    error = "--pmml: the model cannot be written as PMML: " + status.GetMessage();
    return false;
  }
  std::ofstream out(path, std::ios::binary);
  out << document->ToDocument();
  out.flush();
  if (out) return true;
  error = "cannot write '" + path + "'";
  return false;
}

}  // namespace QXFit
