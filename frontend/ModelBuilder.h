// Turns a parsed formula and the typed columns of a data set into the library's model: the layout of
// the records the library reads (one variable per role), the settings with their model effects, and
// the labels of the fitted parameters.
//
// Record layout: the response first, then the factors, then the covariates, then the frequency and
// the regression weight. Factors and covariates are numbered in order of first appearance in the
// expanded terms (R's order: main effects before interactions), and this is also the order in which
// the settings declare them. That order matters beyond the layout: the factors of an interaction are
// keyed, and labelled, in declaration order whatever order the term was written in, so `B:A` in
// `y ~ A + B + B:A` is labelled "[A=a1] * [B=b1]".
//
// A column is a factor when it holds texts, when --factor names it, or where the formula writes it
// as factor(x); a numeric column written plainly is a covariate. One column may take two roles (as
// in `factor(dose) + dose`): each role is its own record variable, and the factor's effect is then
// labelled "factor(dose)". A function of a column (log(x)) is a covariate of its own, computed when
// the records are written.
//
// A factor's levels are coded in sorted order, so the last level is the one the library's sweep finds
// aliased: the reference level of its estimates. --reference VAR=LEVEL moves LEVEL to the end.
//
// A categorical response (a column of texts, one named by --factor, or any column with --logistic)
// makes the model a multinomial logistic regression. Its levels are coded in sorted order like a
// factor's and are not reordered: --reference on the response chooses the model's reference category
// through the logistic settings, so that the library can warn when that category has no weight.
#pragma once

#include <string>
#include <vector>

#include "frontend/ColumnScanner.h"
#include "frontend/FactorLevels.h"
#include "frontend/FormulaParser.h"
#include "settings/QXRegSettings.h"
#include "settings/QXRegrParameter.h"

namespace QXFit {

struct ModelVariable {
  enum class Role { kDependent, kFactor, kCovariate, kFrequencyWeight, kRegressionWeight };
  Role fRole = Role::kCovariate;
  int fColumn = -1;   // in the source
  std::string fName;  // the column's name, or the function of it: "log(x)"
  Transform fTransform = Transform::kNone;
  // The name in effect labels: fName, or "factor(x)" for a factor whose column is also a covariate.
  std::string fLabel;
  FactorLevels fLevels;  // for a factor, and for a categorical response
  // Coded by its levels: a factor, or the response of a logistic model.
  bool IsCategorical() const {
    return fRole == Role::kFactor || (fRole == Role::kDependent && fLevels.GetNLevels() > 0);
  }
};

struct ModelRequest {
  std::vector<std::string> fFactorNames;  // --factor
  std::string fFrequencyWeight;           // empty for none
  std::string fRegressionWeight;
  // --reference VAR=LEVEL: the level of a categorical variable that its estimates are measured from.
  std::vector<std::pair<std::string, std::string>> fReferences;
  // --logistic: the response is categorical whatever its column holds.
  bool fbLogistic = false;
};

// "unknown column 'Wool' (did you mean 'wool'?); the columns are breaks, wool, tension".
std::string DescribeUnknownColumn(const std::string& name, const std::vector<std::string>& columnNames);

class ModelBuilder {
 public:
  // Finds every column the model names. False with a message for a name that is not a column of the
  // data, or that names more than one.
  bool Resolve(const Formula& formula, const std::vector<std::string>& columnNames,
               const ModelRequest& request, std::string& error);

  // The source columns the first pass must type, and which of them are factors whatever they hold.
  const std::vector<int>& GetScanColumns() const { return fScanColumns; }
  const std::vector<bool>& GetDeclaredFactors() const { return fDeclaredFactors; }

  // Gives every variable its role from the scanned columns and fills the settings. False with a
  // message when a column cannot take its role (a response of texts, a power of a factor) or a
  // reference level does not exist.
  bool Build(const ColumnScanner& scanner, std::string& error);
  // What Build noticed and the user should know, one line each: numeric columns read as texts.
  const std::vector<std::string>& GetNotices() const { return fNotices; }

  const QXMath_600::QXRegSettings& GetSettings() const { return fSettings; }
  // Whether the response is categorical, which makes the model a multinomial logistic regression. Its
  // levels are then those of the response variable (GetVariables().front()).
  bool IsLogistic() const { return fbLogistic; }
  // The reference category as QXLogRegSettings::SetDependentRefCat takes it: -1 the last category
  // with weight, -2 the first, else a level's code.
  int GetResponseReference() const { return fResponseReference; }
  // In record order.
  const std::vector<ModelVariable>& GetVariables() const { return fVariables; }
  // The data's columns, as Resolve was given them; a variable's fColumn indexes them.
  const std::vector<std::string>& GetColumnNames() const { return fColumnNames; }

  // The parameter in the library's PMML style: "Intercept", "[A=a1] * [B=b2]", "x * x",
  // "[A=a1] * x", and for nesting the deeper factors first with the outer ones in parentheses,
  // "[B=b1]([A=a2])".
  std::string GetParameterLabel(const QXMath_600::QXRegrParameter& parameter) const;
  // The effect in the same style without the levels: "Intercept", "A * B", "x * x", "A * x", and
  // for nesting "B(A)".
  std::string GetEffectLabel(const QXMath_600::QXModelEffect& effect) const;

 private:
  int FindColumn(const std::string& name, const std::vector<std::string>& columnNames,
                 std::string& error) const;
  // The record index of the column in this role, adding the variable when it is new.
  int AddVariable(ModelVariable::Role role, int column, const std::string& name,
                  Transform transform = Transform::kNone);
  bool AddEffect(const FormulaTerm& term, std::string& error);
  bool ApplyReferences(std::string& error);
  bool SetResponseReference(const std::string& level, std::string& error);
  void LabelFactorsThatAreAlsoCovariates();
  const ModelVariable* GetVariable(int recordIndex) const;
  std::string VariableName(int recordIndex) const;
  std::string VariableLabel(int recordIndex) const;
  // The labels' layout: the factors' texts by nesting level from the deepest out, each outer level
  // in parentheses, joined by " * ", then the covariates' names, one per power.
  struct LabelFactor {
    int fLevel;
    std::string fText;
  };
  static std::string ComposeLabel(const std::vector<LabelFactor>& factors,
                                  const std::vector<std::string>& covariates);

  Formula fFormula;
  ModelRequest fRequest;
  std::vector<std::string> fColumnNames;
  std::vector<int> fScanColumns;
  std::vector<bool> fDeclaredFactors;
  int fResponseColumn = -1;
  int fFreqColumn = -1;
  int fRegrColumn = -1;
  std::vector<ModelVariable> fVariables;
  // Per formula variable: the record indices of its factor, or of its covariates with their powers.
  std::vector<int> fFactorOf;
  std::vector<std::vector<std::pair<int, int>>> fCovariatesOf;
  QXMath_600::QXRegSettings fSettings;
  bool fbLogistic = false;
  int fResponseReference = -1;
  std::vector<std::string> fNotices;
};

}  // namespace QXFit
