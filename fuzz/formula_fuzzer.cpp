// The formula parser of qxfit over arbitrary text.
//
// Beyond what the sanitizers catch, the harness checks the parsed structure (variable indices in range,
// nesting depths numbered 0, 1, ... within each term, no term twice, the term limit kept, terms ordered
// by their number of variables) and that the structure survives a round trip: written out again as a
// formula of its own terms, it parses to the same terms, variables and intercept.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "frontend/FormulaParser.h"
#include "fuzz/MemoryFile.h"

namespace {

using QXFit::Formula;
using QXFit::FormulaParser;
using QXFit::FormulaTerm;
using qxfuzz::Broken;

bool IsNameStart(unsigned char c) { return std::isalpha(c) || c == '.' || c == '_' || c >= 0x80; }
bool IsNameChar(unsigned char c) { return std::isalnum(c) || c == '.' || c == '_' || c >= 0x80; }

// The column as a formula must write it: bare when the tokenizer reads it as one name, else in
// backquotes. False for a name no formula can write as a plain column.
bool Quote(const std::string& name, std::string& out) {
  if (name.empty() || name == "." || name.find('`') != std::string::npos) return false;
  bool plain = IsNameStart(static_cast<unsigned char>(name[0]));
  for (const char c : name) plain = plain && IsNameChar(static_cast<unsigned char>(c));
  out += plain ? name : "`" + name + "`";
  return true;
}

bool Operand(const QXFit::FormulaOperand& operand, std::string& out) {
  const char* function = FormulaParser::TransformName(operand.fTransform);
  if (*function == '\0') return Quote(operand.fColumn, out);
  out += function;
  out += '(';
  if (!Quote(operand.fColumn, out)) return false;
  out += ')';
  return true;
}

bool Variable(const QXFit::FormulaVariable& variable, std::string& out) {
  if (variable.fbFactor) {
    out += "factor(";
    if (!Quote(variable.fPowers.front().first.fColumn, out)) return false;
    out += ')';
    return true;
  }
  if (variable.fPowers.size() == 1 && variable.fPowers[0].second == 1)
    return Operand(variable.fPowers[0].first, out);
  out += "I(";
  for (std::size_t i = 0; i < variable.fPowers.size(); ++i) {
    if (i > 0) out += '*';
    if (!Operand(variable.fPowers[i].first, out)) return false;
    if (variable.fPowers[i].second > 1) out += "^" + std::to_string(variable.fPowers[i].second);
  }
  out += ')';
  return true;
}

// The term from its deepest variables out: "(C:D) %in% (B) %in% (A)".
bool Term(const Formula& formula, const FormulaTerm& term, std::string& out) {
  int deepest = 0;
  for (const auto& v : term.fVariables) deepest = std::max(deepest, v.fDepth);
  for (int depth = deepest; depth >= 0; --depth) {
    out += depth == deepest ? "(" : " %in% (";
    bool first = true;
    for (const auto& v : term.fVariables) {
      if (v.fDepth != depth) continue;
      if (!first) out += ':';
      first = false;
      if (!Variable(formula.fVariables[static_cast<std::size_t>(v.fVariable)], out)) return false;
    }
    out += ')';
  }
  return true;
}

// A term as a set of (variable text, depth), independent of the order of writing.
using TermKey = std::vector<std::pair<std::string, int>>;

std::vector<TermKey> Keys(const Formula& formula) {
  std::vector<TermKey> keys;
  for (const auto& term : formula.fTerms) {
    TermKey key;
    for (const auto& v : term.fVariables)
      key.emplace_back(formula.fVariables[static_cast<std::size_t>(v.fVariable)].fText, v.fDepth);
    std::sort(key.begin(), key.end());
    keys.push_back(std::move(key));
  }
  return keys;
}

void CheckStructure(const Formula& formula) {
  if (formula.fResponse.empty()) Broken("a formula without a response");
  if (formula.fTerms.size() > FormulaParser::kMaxTerms) Broken("more terms than the limit");
  std::size_t previousSize = 0;
  for (const auto& term : formula.fTerms) {
    if (term.fVariables.empty()) Broken("an empty term");
    if (term.fVariables.size() < previousSize) Broken("terms out of order");
    previousSize = term.fVariables.size();
    std::set<int> depths, variables;
    for (const auto& v : term.fVariables) {
      if (v.fVariable < 0 || static_cast<std::size_t>(v.fVariable) >= formula.fVariables.size())
        Broken("a term names a variable that does not exist");
      if (!variables.insert(v.fVariable).second) Broken("a variable twice in one term");
      depths.insert(v.fDepth);
    }
    if (*depths.begin() != 0 || *depths.rbegin() != static_cast<int>(depths.size()) - 1)
      Broken("nesting depths are not numbered 0, 1, ...");
  }
  const auto keys = Keys(formula);
  if (std::set<TermKey>(keys.begin(), keys.end()).size() != keys.size()) Broken("a term twice");
  for (const auto& variable : formula.fVariables)
    if (variable.fPowers.empty()) Broken("a variable of no column");
  if (formula.GetColumns().front() != formula.fResponse) Broken("the response is not the first column");
}

void CheckRoundTrip(const Formula& formula) {
  std::string text;
  if (!Operand({formula.fResponse, formula.fResponseTransform}, text)) return;
  text += " ~ ";
  text += formula.fbIntercept ? "1" : "0";
  for (const auto& term : formula.fTerms) {
    text += " + ";
    if (!Term(formula, term, text)) return;
  }
  Formula again;
  std::string error;
  if (!FormulaParser::Parse(text, again, error)) Broken("a formula written from a parsed one does not parse");
  if (again.fbIntercept != formula.fbIntercept || again.fResponse != formula.fResponse ||
      again.fResponseTransform != formula.fResponseTransform || Keys(again) != Keys(formula))
    Broken("a formula written from a parsed one means something else");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Formula formula;
  std::string error;
  if (!FormulaParser::Parse(text, formula, error)) {
    if (error.empty()) Broken("a formula was refused without a reason");
    return 0;
  }
  if (formula.fbUsesDot) {
    // As the tool parses it again once the data's columns are known.
    static const std::vector<std::string> kColumns = {"y", "A", "B", "x", "z"};
    if (!FormulaParser::Parse(text, formula, error, &kColumns)) return 0;
  }
  CheckStructure(formula);
  for (const auto& term : formula.fTerms) formula.GetTermLabel(term);
  CheckRoundTrip(formula);
  return 0;
}
