// Reads a model written as an R formula ("y ~ A*B + x + I(x^2) - 1") into the response, the list of
// variables and the expanded list of terms. The expansion follows R's formula algebra: `A*B` is
// A + B + A:B, `A/B` is A + B %in% A, `(A+B+C)^2` crosses up to two-way terms, `- term` removes a
// term, `0`, `- 1` and `+ 1` switch the intercept. Terms are then ordered by their number of
// variables, keeping the written order among terms of one order, as R's terms() does, so that a
// sequential analysis sees the same order as in R.
//
// Whether a variable is a factor or a covariate is not known here: that depends on the data. Nesting
// is kept as a depth per variable (0 = outermost), which the model builder turns into the nesting
// levels of the library's effects.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace QXFit {

// One variable of a formula: a column, a product of columns and integer powers written inside I(),
// or a column marked as a factor with factor().
struct FormulaVariable {
  // The variable as it is displayed and compared: "x", "I(x^2)", "I(x*z)".
  std::string fText;
  // The columns and their powers, sorted by column name; a plain column is {name, 1}.
  std::vector<std::pair<std::string, int>> fPowers;
  // Written as factor(name) or as.factor(name).
  bool fbFactor = false;
  // Written inside I(): a numeric product, never a factor.
  bool fbArithmetic = false;
};

struct FormulaTermVariable {
  int fVariable = 0;  // index into Formula::fVariables
  int fDepth = 0;     // nesting depth: 0 outermost, deeper variables are nested within shallower ones
};

struct FormulaTerm {
  // In the order written; depths are consecutive from 0.
  std::vector<FormulaTermVariable> fVariables;
};

struct Formula {
  std::string fResponse;
  std::vector<FormulaVariable> fVariables;  // in order of first appearance in the terms
  std::vector<FormulaTerm> fTerms;          // expanded, de-duplicated, ordered by number of variables
  bool fbIntercept = true;

  // Every column the formula names, the response first, each once, in order of first appearance.
  std::vector<std::string> GetColumns() const;
  // The term as R would label it: "A:B", "B %in% A", "x:I(x^2)".
  std::string GetTermLabel(const FormulaTerm& term) const;
};

class FormulaParser {
 public:
  // Parses `text`. On failure returns false with a one-line reason that names the position.
  static bool Parse(std::string_view text, Formula& formula, std::string& error);
};

}  // namespace QXFit
