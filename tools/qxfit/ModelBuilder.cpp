#include "tools/qxfit/ModelBuilder.h"

#include <algorithm>
#include <set>

#include "settings/QXModelEffect.h"

namespace QXFit {

namespace {

std::string Quote(const std::string& name) { return "'" + name + "'"; }

}  // namespace

int ModelBuilder::FindColumn(const std::string& name, const std::vector<std::string>& columnNames,
                             std::string& error) const {
  int found = -1;
  for (std::size_t i = 0; i < columnNames.size(); ++i) {
    if (columnNames[i] != name) continue;
    if (found >= 0) {
      error = "column " + Quote(name) + " appears more than once in the header";
      return -1;
    }
    found = static_cast<int>(i);
  }
  if (found < 0) error = "unknown column " + Quote(name);
  return found;
}

bool ModelBuilder::Resolve(const Formula& formula, const std::vector<std::string>& columnNames,
                           const ModelRequest& request, std::string& error) {
  fFormula = formula;
  fRequest = request;
  fColumnNames = columnNames;
  fScanColumns.clear();
  fDeclaredFactors.clear();
  auto scan = [&](int column, bool factor) {
    const auto it = std::find(fScanColumns.begin(), fScanColumns.end(), column);
    if (it == fScanColumns.end()) {
      fScanColumns.push_back(column);
      fDeclaredFactors.push_back(factor);
    } else if (factor) {
      fDeclaredFactors[static_cast<std::size_t>(it - fScanColumns.begin())] = true;
    }
  };
  for (const auto& name : request.fFactorNames) {
    const int column = FindColumn(name, columnNames, error);
    if (column < 0) {
      error += " in --factor";
      return false;
    }
  }
  auto declared = [&](const std::string& name) {
    return std::find(request.fFactorNames.begin(), request.fFactorNames.end(), name) !=
           request.fFactorNames.end();
  };
  for (const auto& name : formula.GetColumns()) {
    const int column = FindColumn(name, columnNames, error);
    if (column < 0) return false;
    scan(column, declared(name));
  }
  fResponseColumn = fScanColumns.front();
  for (const auto& variable : formula.fVariables)
    if (variable.fbFactor) scan(FindColumn(variable.fPowers.front().first, columnNames, error), true);
  fFreqColumn = fRegrColumn = -1;
  if (!request.fFrequencyWeight.empty()) {
    fFreqColumn = FindColumn(request.fFrequencyWeight, columnNames, error);
    if (fFreqColumn < 0) return false;
    scan(fFreqColumn, false);
  }
  if (!request.fRegressionWeight.empty()) {
    fRegrColumn = FindColumn(request.fRegressionWeight, columnNames, error);
    if (fRegrColumn < 0) return false;
    scan(fRegrColumn, false);
  }
  return true;
}

int ModelBuilder::AddVariable(ModelVariable::Role role, int column, const std::string& name) {
  for (std::size_t i = 0; i < fVariables.size(); ++i)
    if (fVariables[i].fRole == role && fVariables[i].fColumn == column) return static_cast<int>(i);
  ModelVariable variable;
  variable.fRole = role;
  variable.fColumn = column;
  variable.fName = name;
  fVariables.push_back(std::move(variable));
  return static_cast<int>(fVariables.size()) - 1;
}

const ModelVariable* ModelBuilder::GetVariable(int recordIndex) const {
  if (recordIndex < 0 || recordIndex >= static_cast<int>(fVariables.size())) return nullptr;
  return &fVariables[static_cast<std::size_t>(recordIndex)];
}

bool ModelBuilder::Build(const ColumnScanner& scanner, std::string& error) {
  using Role = ModelVariable::Role;
  fVariables.clear();
  fSettings = QXMath_600::QXRegSettings();
  const std::string& response = fFormula.fResponse;
  auto namedFactor = [&](const std::string& name) {
    return std::find(fRequest.fFactorNames.begin(), fRequest.fFactorNames.end(), name) !=
           fRequest.fFactorNames.end();
  };
  auto column = [&](const std::string& name) {
    return scanner.GetColumn(FindColumn(name, fColumnNames, error));
  };

  if (namedFactor(response) || !column(response).fbNumeric) {
    error = "the response " + Quote(response) + " must be a numeric column, not a factor";
    return false;
  }
  AddVariable(Role::kDependent, fResponseColumn, response);

  const std::size_t nFormulaVariables = fFormula.fVariables.size();
  fFactorOf.assign(nFormulaVariables, -1);
  fCovariatesOf.assign(nFormulaVariables, {});
  // Factors are laid out before covariates, each group in order of first appearance.
  for (std::size_t v = 0; v < nFormulaVariables; ++v) {
    const FormulaVariable& variable = fFormula.fVariables[v];
    if (variable.fbArithmetic) continue;
    const std::string& name = variable.fPowers.front().first;
    if (name == response) {
      error = "the response " + Quote(response) + " also appears among the terms";
      return false;
    }
    const ColumnScanner::Column& scanned = column(name);
    if (!variable.fbFactor && !namedFactor(name) && scanned.fbNumeric) continue;
    if (scanned.fbTooManyLevels) {
      error = "column " + Quote(name) + " has more than " + std::to_string(ColumnScanner::kMaxLevels) +
              " different values, too many for a factor";
      return false;
    }
    const int index = AddVariable(Role::kFactor, scanned.fIndex, name);
    fVariables[static_cast<std::size_t>(index)].fLevels = scanned.fLevels;
    fFactorOf[v] = index;
  }
  for (std::size_t v = 0; v < nFormulaVariables; ++v) {
    if (fFactorOf[v] >= 0) continue;
    const FormulaVariable& variable = fFormula.fVariables[v];
    for (const auto& [name, power] : variable.fPowers) {
      if (name == response) {
        error = "the response " + Quote(response) + " also appears among the terms";
        return false;
      }
      const ColumnScanner::Column& scanned = column(name);
      if (namedFactor(name) || !scanned.fbNumeric) {
        error = Quote(variable.fText) + " needs a numeric column, but " + Quote(name) + " is a factor";
        return false;
      }
      fCovariatesOf[v].emplace_back(AddVariable(Role::kCovariate, scanned.fIndex, name), power);
    }
  }
  for (const auto& [weight, role] : {std::pair{&fRequest.fFrequencyWeight, Role::kFrequencyWeight},
                                     std::pair{&fRequest.fRegressionWeight, Role::kRegressionWeight}}) {
    if (weight->empty()) continue;
    const ColumnScanner::Column& scanned = column(*weight);
    if (!scanned.fbNumeric) {
      error = "the weight " + Quote(*weight) + " must be a numeric column";
      return false;
    }
    AddVariable(role, scanned.fIndex, *weight);
  }

  // Every role is new in fresh settings, so none of these setters refuses.
  fSettings.SetDependent(0);
  for (std::size_t i = 0; i < fVariables.size(); ++i) {
    const ModelVariable& variable = fVariables[i];
    const int index = static_cast<int>(i);
    switch (variable.fRole) {
      case Role::kFactor: fSettings.AddFactor(index, std::max(1, variable.fLevels.GetNLevels())); break;
      case Role::kCovariate: fSettings.AddCovariate(index); break;
      case Role::kFrequencyWeight: fSettings.SetFrequencyWeightVar(index); break;
      case Role::kRegressionWeight: fSettings.SetRegrWeightVar(index); break;
      case Role::kDependent: break;
    }
  }
  fSettings.SetInterceptUse(fFormula.fbIntercept);
  for (const auto& term : fFormula.fTerms)
    if (!AddEffect(term, error)) return false;
  return true;
}

bool ModelBuilder::AddEffect(const FormulaTerm& term, std::string& error) {
  std::vector<int> candidates = fSettings.GetFactors();
  const auto& covariates = fSettings.GetCovariates();
  candidates.insert(candidates.end(), covariates.begin(), covariates.end());
  QXMath_600::QXModelEffect effect(static_cast<int>(fSettings.GetFactors().size()),
                                   static_cast<int>(covariates.size()), &candidates);
  std::vector<std::pair<int, int>> factors;  // depth, record index
  for (const auto& tv : term.fVariables) {
    const auto v = static_cast<std::size_t>(tv.fVariable);
    if (fFactorOf[v] >= 0) {
      factors.emplace_back(tv.fDepth, fFactorOf[v]);
      continue;
    }
    for (const auto& [index, power] : fCovariatesOf[v])
      for (int k = 0; k < power; ++k) effect.AddCovariate(index);
  }
  // The library nests by adding factors outermost last: each group of factors entered with the nest
  // flag pushes the factors already present one level deeper. So the deepest group goes first.
  std::set<int, std::greater<>> depths;
  for (const auto& f : factors) depths.insert(f.first);
  bool firstGroup = true;
  for (const int depth : depths) {
    bool firstInGroup = true;
    for (const auto& [d, index] : factors) {
      if (d != depth || effect.ContainsFactor(index) >= 0) continue;
      effect.AddNewFactor(index, !firstGroup && firstInGroup);
      firstInGroup = false;
    }
    firstGroup = false;
  }
  // Two terms that name one variable in two ways (A and factor(A) for a column of texts) are one
  // effect: a second copy would only add aliased parameters.
  for (const auto& existing : fSettings.GetModelEffects())
    if (existing == effect) return true;
  if (!fSettings.AddModelEffect(effect)) {
    error = "out of memory while building the model";
    return false;
  }
  return true;
}

std::string ModelBuilder::VariableName(int recordIndex) const {
  const ModelVariable* variable = GetVariable(recordIndex);
  if (variable != nullptr) return variable->fName;
  std::string name = "#";
  name += std::to_string(recordIndex);
  return name;
}

std::string ModelBuilder::ComposeLabel(const std::vector<LabelFactor>& factors,
                                       const std::vector<std::string>& covariates) {
  std::string factorPart;
  int opened = 0;
  int deepest = -1;
  for (const auto& f : factors) deepest = std::max(deepest, f.fLevel);
  for (int level = deepest; level >= 0; --level) {
    std::string piece;
    for (const auto& f : factors) {
      if (f.fLevel != level) continue;
      if (!piece.empty()) piece += " * ";
      piece += f.fText;
    }
    if (piece.empty()) continue;
    if (factorPart.empty()) {
      factorPart = piece;
    } else {
      factorPart += "(" + piece;
      ++opened;
    }
  }
  factorPart.append(static_cast<std::size_t>(opened), ')');
  std::string covariatePart;
  for (const auto& name : covariates) {
    if (!covariatePart.empty()) covariatePart += " * ";
    covariatePart += name;
  }
  if (factorPart.empty()) return covariatePart;
  if (covariatePart.empty()) return factorPart;
  return factorPart + " * " + covariatePart;
}

std::string ModelBuilder::GetParameterLabel(const QXMath_600::QXRegrParameter& parameter) const {
  if (parameter.IsIntercept()) return "Intercept";
  const auto& factors = parameter.GetFactors();
  const auto& categories = parameter.GetCategories();
  const auto& levels = parameter.GetFactorNestLevels();
  std::vector<LabelFactor> labelFactors;
  for (std::size_t i = 0; i < factors.size() && i < levels.size(); ++i) {
    const int category = i < categories.size() ? categories[i] : -1;
    const ModelVariable* variable = GetVariable(factors[i]);
    std::string text = "[";
    text += VariableName(factors[i]);
    text += '=';
    text += variable ? variable->fLevels.GetText(category) : std::to_string(category);
    text += ']';
    labelFactors.push_back({levels[i], std::move(text)});
  }
  std::vector<std::string> covariates;
  const auto& indices = parameter.GetCovariates();
  const auto& powers = parameter.GetCovariateMultiplicities();
  for (std::size_t i = 0; i < indices.size(); ++i)
    for (int k = 0; k < (i < powers.size() ? powers[i] : 1); ++k)
      covariates.push_back(VariableName(indices[i]));
  return ComposeLabel(labelFactors, covariates);
}

std::string ModelBuilder::GetEffectLabel(const QXMath_600::QXModelEffect& effect) const {
  if (effect.IsIntercept()) return "Intercept";
  const std::vector<int> factors = effect.GetFactors();
  const std::vector<int> levels = effect.GetFactorLevels();
  std::vector<LabelFactor> labelFactors;
  for (std::size_t i = 0; i < factors.size() && i < levels.size(); ++i)
    labelFactors.push_back({levels[i], VariableName(factors[i])});
  std::vector<std::string> covariates;
  const std::vector<int> indices = effect.GetCovariates();
  const std::vector<int> powers = effect.GetCovMultiplicities();
  for (std::size_t i = 0; i < indices.size() && i < powers.size(); ++i)
    for (int k = 0; k < powers[i]; ++k) covariates.push_back(VariableName(indices[i]));
  return ComposeLabel(labelFactors, covariates);
}

}  // namespace QXFit
