// Reads a model written as an R formula ("log(y) ~ A*B + x + I(x^2) - 1") into the response, the list
// of variables and the expanded list of terms. The expansion follows R's formula algebra: `A*B` is
// A + B + A:B, `A/B` is A + B %in% A, `(A+B+C)^2` crosses up to two-way terms, `- term` removes a
// term, `0`, `- 1` and `+ 1` switch the intercept, and `.` stands for every column of the data but
// the response. Terms are then ordered by their number of variables, keeping the written order among
// terms of one order, as R's terms() does, so that a sequential analysis sees the same order as in R.
//
// Whether a variable is a factor or a covariate is not known here: that depends on the data. Nesting
// is kept as a depth per variable (0 = outermost), which the model builder turns into the nesting
// levels of the library's effects.
//
// Formulas are bounded: parentheses nest at most kMaxDepth deep (deeper recursion would overflow the
// stack), and the expansion stops with an error beyond kMaxTerms terms or kMaxCrossings combinations
// of terms formed by all its products together (A*B*...*Z alone has 2^26 - 1 terms), so that every
// formula is expanded or refused within about a second.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace QXFit {

// A function of one column that a formula may apply: log (natural), exp, sqrt.
enum class Transform { kNone, kLog, kExp, kSqrt };

// One column as a variable uses it: the column itself or a function of it, "x" or "log(x)".
struct FormulaOperand {
  std::string fColumn;
  Transform fTransform = Transform::kNone;

  std::string GetText() const;
  bool operator==(const FormulaOperand&) const = default;
};

// One variable of a formula: a column, a function of a column, a product of those and their integer
// powers written inside I(), or a column marked as a factor with factor().
struct FormulaVariable {
  // The variable as it is displayed and compared: "x", "log(x)", "I(x^2)", "I(log(x)*z)".
  std::string fText;
  // The operands and their powers, sorted by their text; a plain column is {x, 1}.
  std::vector<std::pair<FormulaOperand, int>> fPowers;
  // Written as factor(name) or as.factor(name).
  bool fbFactor = false;
  // A function of columns (inside I(), or log/exp/sqrt): numeric, never a factor.
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
  std::string fResponse;  // the response's column
  Transform fResponseTransform = Transform::kNone;
  std::vector<FormulaVariable> fVariables;  // in order of first appearance in the terms
  std::vector<FormulaTerm> fTerms;          // expanded, de-duplicated, ordered by number of variables
  bool fbIntercept = true;
  bool fbUsesDot = false;  // the formula holds `.`

  // The response as written: "y", "log(y)".
  std::string GetResponseText() const;
  // Every column the formula names, the response first, each once, in order of first appearance.
  std::vector<std::string> GetColumns() const;
  // The term as R would label it: "A:B", "B %in% A", "x:I(x^2)".
  std::string GetTermLabel(const FormulaTerm& term) const;
};

class FormulaParser {
 public:
  static constexpr int kMaxDepth = 256;
  // Every term has at least one parameter, and a model has at most 46339 of those.
  static constexpr std::size_t kMaxTerms = 46339;
  static constexpr std::size_t kMaxCrossings = 1000000;

  // Parses `text`. `.` stands for `dotColumns` other than the response (null before the data's columns
  // are known: `.` then stands for nothing, and fbUsesDot says to parse again). On failure returns
  // false with a one-line reason that names the position or the limit.
  static bool Parse(std::string_view text, Formula& formula, std::string& error,
                    const std::vector<std::string>* dotColumns = nullptr);
  // The function's name in a formula ("log"), or empty for none.
  static const char* TransformName(Transform transform);
};

}  // namespace QXFit
