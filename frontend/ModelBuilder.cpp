#include "frontend/ModelBuilder.h"

#include <algorithm>
#include <set>

#include "settings/QXModelEffect.h"

namespace QXFit {

namespace {

std::string Quote(const std::string& name) { return "'" + name + "'"; }

// A name as people misremember it: ASCII letters in lower case, without '.', '_', '-' and blanks.
std::string Loosely(const std::string& name) {
  std::string loose;
  for (const char c : name) {
    if (c == '.' || c == '_' || c == '-' || c == ' ') continue;
    loose += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return loose;
}

std::size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The column a mistyped name most likely means: the same name but for case and punctuation, or else
// one a typo or two away; empty when none is close.
std::string CloseColumn(const std::string& name, const std::vector<std::string>& columnNames) {
  const std::string loose = Loosely(name);
  std::string best;
  std::size_t bestDistance = std::max<std::size_t>(1, loose.size() / 4) + 1;
  for (const auto& column : columnNames) {
    const std::size_t distance = EditDistance(loose, Loosely(column));
    if (distance < bestDistance) {
      best = column;
      bestDistance = distance;
    }
  }
  return best;
}

constexpr std::size_t kColumnsListed = 20;

}  // namespace

std::string DescribeUnknownColumn(const std::string& name, const std::vector<std::string>& columnNames) {
  std::string text = "unknown column " + Quote(name);
  const std::string close = CloseColumn(name, columnNames);
  if (!close.empty()) text += " (did you mean " + Quote(close) + "?)";
  text += "; the columns are ";
  for (std::size_t i = 0; i < columnNames.size() && i < kColumnsListed; ++i)
    text += (i > 0 ? ", " : "") + columnNames[i];
  if (columnNames.size() > kColumnsListed)
    text += " and " + std::to_string(columnNames.size() - kColumnsListed) + " more";
  return text;
}

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
  if (found < 0) error = DescribeUnknownColumn(name, columnNames);
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
    if (FindColumn(name, columnNames, error) < 0) {
      error = "--factor: " + error;
      return false;
    }
  }
  for (const auto& [name, level] : request.fReferences) {
    if (FindColumn(name, columnNames, error) < 0) {
      error = "--reference: " + error;
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
  // Its levels are then collected whatever the column holds.
  if (request.fbLogistic) fDeclaredFactors.front() = true;
  for (const auto& variable : formula.fVariables)
    if (variable.fbFactor) scan(FindColumn(variable.fPowers.front().first.fColumn, columnNames, error), true);
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

int ModelBuilder::AddVariable(ModelVariable::Role role, int column, const std::string& name,
                              Transform transform) {
  for (std::size_t i = 0; i < fVariables.size(); ++i)
    if (fVariables[i].fRole == role && fVariables[i].fColumn == column &&
        fVariables[i].fTransform == transform)
      return static_cast<int>(i);
  ModelVariable variable;
  variable.fRole = role;
  variable.fColumn = column;
  variable.fName = name;
  variable.fLabel = name;
  variable.fTransform = transform;
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
  fNotices.clear();
  fSettings = QXMath_600::QXRegSettings();
  const std::string& response = fFormula.fResponse;
  auto namedFactor = [&](const std::string& name) {
    return std::find(fRequest.fFactorNames.begin(), fRequest.fFactorNames.end(), name) !=
           fRequest.fFactorNames.end();
  };
  auto column = [&](const std::string& name) -> const ColumnScanner::Column& {
    return scanner.GetColumn(FindColumn(name, fColumnNames, error));
  };
  const char* kMissingCodesHint = "; --na-strings names codes for missing values";

  // Numbers with a few texts among them are taken for a numeric response with codes for missing
  // values, not for categories: a logistic model then has to be asked for.
  const ColumnScanner::Column& responseColumn = column(response);
  fbLogistic = fRequest.fbLogistic || namedFactor(response) ||
               (!responseColumn.fbNumeric && !responseColumn.IsMixed());
  fResponseReference = -1;
  if (!fbLogistic && !responseColumn.fbNumeric) {
    error = "the response " + Quote(response) + " must be numeric, but " + responseColumn.DescribeTexts() +
            kMissingCodesHint + ", and --logistic takes it as categorical";
    return false;
  }
  if (fbLogistic && fFormula.fResponseTransform != Transform::kNone) {
    error = "the response " + Quote(fFormula.GetResponseText()) +
            " is categorical: a function of it is not a response";
    return false;
  }
  if (fbLogistic && responseColumn.fbTooManyLevels) {
    error = "the response " + Quote(response) + " has more than " +
            std::to_string(ColumnScanner::kMaxLevels) + " different values, too many for categories";
    return false;
  }
  AddVariable(Role::kDependent, fResponseColumn, fFormula.GetResponseText(), fFormula.fResponseTransform);
  if (fbLogistic) fVariables.front().fLevels = responseColumn.fLevels;

  const std::size_t nFormulaVariables = fFormula.fVariables.size();
  fFactorOf.assign(nFormulaVariables, -1);
  fCovariatesOf.assign(nFormulaVariables, {});
  // Factors are laid out before covariates, each group in order of first appearance.
  for (std::size_t v = 0; v < nFormulaVariables; ++v) {
    const FormulaVariable& variable = fFormula.fVariables[v];
    if (variable.fbArithmetic) continue;
    const std::string& name = variable.fPowers.front().first.fColumn;
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
  // Numbers with a few texts among them are most often a numeric column with a code for a missing
  // value: the column becomes a factor, which must not pass unremarked.
  for (const auto& variable : fVariables) {
    const ColumnScanner::Column& scanned = scanner.GetColumn(variable.fColumn);
    if (variable.fRole == Role::kFactor && scanned.IsMixed())
      fNotices.push_back("column " + Quote(variable.fName) +
                         " is read as a factor of texts: " + scanned.DescribeTexts() + kMissingCodesHint);
  }
  for (std::size_t v = 0; v < nFormulaVariables; ++v) {
    if (fFactorOf[v] >= 0) continue;
    const FormulaVariable& variable = fFormula.fVariables[v];
    for (const auto& [operand, power] : variable.fPowers) {
      const std::string& name = operand.fColumn;
      if (name == response) {
        error = "the response " + Quote(response) + " also appears among the terms";
        return false;
      }
      const ColumnScanner::Column& scanned = column(name);
      if (namedFactor(name) || (!scanned.fbNumeric && !scanned.IsMixed())) {
        error = Quote(variable.fText) + " needs a numeric column, but " + Quote(name) + " is a factor";
        return false;
      }
      if (!scanned.fbNumeric) {
        error = Quote(variable.fText) + " needs a numeric column " + Quote(name) + ", but " +
                scanned.DescribeTexts() + kMissingCodesHint;
        return false;
      }
      fCovariatesOf[v].emplace_back(
          AddVariable(Role::kCovariate, scanned.fIndex, operand.GetText(), operand.fTransform), power);
    }
  }
  for (const auto& [weight, role] : {std::pair{&fRequest.fFrequencyWeight, Role::kFrequencyWeight},
                                     std::pair{&fRequest.fRegressionWeight, Role::kRegressionWeight}}) {
    if (weight->empty()) continue;
    const ColumnScanner::Column& scanned = column(*weight);
    if (!scanned.fbNumeric) {
      error = "the weight " + Quote(*weight) + " must be numeric, but " + scanned.DescribeTexts() +
              kMissingCodesHint;
      return false;
    }
    AddVariable(role, scanned.fIndex, *weight);
  }
  if (!ApplyReferences(error)) return false;
  LabelFactorsThatAreAlsoCovariates();

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

bool ModelBuilder::ApplyReferences(std::string& error) {
  for (const auto& [name, level] : fRequest.fReferences) {
    bool found = false;
    for (auto& variable : fVariables) {
      if (variable.fRole != ModelVariable::Role::kFactor || fColumnNames[variable.fColumn] != name) continue;
      found = true;
      if (variable.fLevels.SetReference(level)) continue;
      error = "--reference: " + Quote(name) + " has no level " + Quote(level) + "; its levels are " +
              variable.fLevels.ListLevels();
      return false;
    }
    if (found) continue;
    if (name == fFormula.fResponse && fbLogistic) {
      if (!SetResponseReference(level, error)) return false;
      continue;
    }
    error = name == fFormula.fResponse
                ? "--reference: " + Quote(name) +
                      " is the response of a linear model, which has no reference level (--logistic takes "
                      "it as categorical)"
                : "--reference: " + Quote(name) + " is not a factor of the model";
    return false;
  }
  return true;
}

bool ModelBuilder::SetResponseReference(const std::string& level, std::string& error) {
  const FactorLevels& levels = fVariables.front().fLevels;
  // A level that is written "first" or "last" is that level, not the keyword.
  const int code = levels.FindLevel(level);
  if (code >= 0) {
    fResponseReference = code;
  } else if (level == "first" || level == "last") {
    fResponseReference = level == "first" ? -2 : -1;
  } else {
    error = "--reference: the response " + Quote(fFormula.fResponse) + " has no level " + Quote(level) +
            "; its levels are " + levels.ListLevels() + " (or give first or last)";
    return false;
  }
  return true;
}

void ModelBuilder::LabelFactorsThatAreAlsoCovariates() {
  for (auto& factor : fVariables) {
    if (factor.fRole != ModelVariable::Role::kFactor) continue;
    const bool alsoCovariate = std::any_of(fVariables.begin(), fVariables.end(), [&](const ModelVariable& v) {
      return v.fRole == ModelVariable::Role::kCovariate && v.fColumn == factor.fColumn;
    });
    if (alsoCovariate) factor.fLabel = "factor(" + factor.fName + ")";
  }
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

std::string ModelBuilder::VariableLabel(int recordIndex) const {
  const ModelVariable* variable = GetVariable(recordIndex);
  return variable != nullptr ? variable->fLabel : VariableName(recordIndex);
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
    labelFactors.push_back({levels[i], VariableLabel(factors[i])});
  std::vector<std::string> covariates;
  const std::vector<int> indices = effect.GetCovariates();
  const std::vector<int> powers = effect.GetCovMultiplicities();
  for (std::size_t i = 0; i < indices.size() && i < powers.size(); ++i)
    for (int k = 0; k < powers[i]; ++k) covariates.push_back(VariableName(indices[i]));
  return ComposeLabel(labelFactors, covariates);
}

}  // namespace QXFit
