#include "frontend/PmmlWriter.h"

#include <fstream>
#include <memory>
#include <vector>

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

// A PMML field has one name and one type, so a column in two roles (a factor and a covariate, as in
// factor(x) + x, or a weight and a covariate) cannot be described. The name of such a column, or empty.
std::string SharedName(const ModelBuilder& model) {
  const std::vector<ModelVariable>& variables = model.GetVariables();
  for (std::size_t i = 0; i < variables.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (variables[i].fName == variables[j].fName) return variables[i].fName;
  return std::string();
}

}  // namespace

bool WritePmml(QXMath_600::IQXRegComponent& component, const ModelBuilder& model, const std::string& formula,
               const std::string& path, std::string& error) {
  const std::string shared = SharedName(model);
  if (!shared.empty()) {
    error = "--pmml: the column '" + shared +
            "' has two roles in the model (as in factor(x) + x), and a PMML field can have only one";
    return false;
  }
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
