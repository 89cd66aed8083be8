#include "tools/qxfit/FormulaParser.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

namespace QXFit {

namespace {

// Large exponents are refused: (A+B)^k never needs more than the number of terms, and I(x^k) with a
// large k only overflows.
constexpr int kMaxExponent = 64;

enum class TokenKind {
  kName,
  kNumber,
  kTilde,
  kPlus,
  kMinus,
  kStar,
  kSlash,
  kColon,
  kCaret,
  kIn,
  kOpen,
  kClose,
  kComma,
  kEnd
};

struct Token {
  TokenKind fKind = TokenKind::kEnd;
  std::string fText;
  std::size_t fPos = 0;  // 1-based column in the formula, for messages
};

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '.' || c == '_'; }
bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_'; }

std::string At(std::size_t pos) { return " at position " + std::to_string(pos); }

bool Tokenize(std::string_view text, std::vector<Token>& tokens, std::string& error) {
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    const std::size_t pos = i + 1;
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    Token t;
    t.fPos = pos;
    if (c == '`') {
      const std::size_t close = text.find('`', i + 1);
      if (close == std::string_view::npos) {
        error = "unclosed backquote" + At(pos);
        return false;
      }
      t.fKind = TokenKind::kName;
      t.fText = std::string(text.substr(i + 1, close - i - 1));
      if (t.fText.empty()) {
        error = "empty backquoted name" + At(pos);
        return false;
      }
      i = close + 1;
    } else if (IsNameStart(c)) {
      std::size_t j = i;
      while (j < text.size() && IsNameChar(text[j])) ++j;
      t.fKind = TokenKind::kName;
      t.fText = std::string(text.substr(i, j - i));
      i = j;
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      std::size_t j = i;
      while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
      if (j < text.size() && IsNameStart(text[j])) {
        error = "a number cannot start a name" + At(pos);
        return false;
      }
      t.fKind = TokenKind::kNumber;
      t.fText = std::string(text.substr(i, j - i));
      i = j;
    } else if (c == '%') {
      if (text.substr(i, 4) != "%in%") {
        error = "unknown operator" + At(pos) + " (only %in% is known)";
        return false;
      }
      t.fKind = TokenKind::kIn;
      t.fText = "%in%";
      i += 4;
    } else {
      static constexpr std::string_view kChars = "~+-*/:^(),";
      static constexpr TokenKind kKinds[] = {
          TokenKind::kTilde, TokenKind::kPlus,  TokenKind::kMinus, TokenKind::kStar,  TokenKind::kSlash,
          TokenKind::kColon, TokenKind::kCaret, TokenKind::kOpen,  TokenKind::kClose, TokenKind::kComma};
      const std::size_t k = kChars.find(c);
      if (k == std::string_view::npos) {
        error = std::string("unexpected character '") + c + "'" + At(pos);
        return false;
      }
      t.fKind = kKinds[k];
      t.fText = std::string(1, c);
      ++i;
    }
    tokens.push_back(std::move(t));
  }
  Token end;
  end.fKind = TokenKind::kEnd;
  end.fPos = text.size() + 1;
  tokens.push_back(end);
  return true;
}

// A set of terms as R's formula algebra combines them, with what the operands said about the
// intercept: -1 nothing, 0 removed ("0", "- 1"), 1 present ("1").
struct TermSet {
  std::vector<FormulaTerm> fTerms;
  int fIntercept = -1;
  bool fbLoneName = false;  // a bare column name, which `^` refuses (x^2 would silently mean x)
};

int MaxDepth(const FormulaTerm& term) {
  int depth = -1;
  for (const auto& v : term.fVariables) depth = std::max(depth, v.fDepth);
  return depth;
}

// Removes repeated variables (A:A is A) and renumbers the depths 0, 1, ... keeping their order.
void Normalize(FormulaTerm& term) {
  std::vector<FormulaTermVariable> kept;
  for (const auto& v : term.fVariables) {
    auto same = [&](const FormulaTermVariable& k) { return k.fVariable == v.fVariable; };
    auto it = std::find_if(kept.begin(), kept.end(), same);
    if (it == kept.end()) {
      kept.push_back(v);
    } else {
      it->fDepth = std::min(it->fDepth, v.fDepth);
    }
  }
  std::set<int> depths;
  for (const auto& v : kept) depths.insert(v.fDepth);
  for (auto& v : kept) v.fDepth = static_cast<int>(std::distance(depths.begin(), depths.find(v.fDepth)));
  term.fVariables = std::move(kept);
}

// Terms are the same when they hold the same variables at the same depths, in any order.
std::vector<std::pair<int, int>> Key(const FormulaTerm& term) {
  std::vector<std::pair<int, int>> key;
  for (const auto& v : term.fVariables) key.emplace_back(v.fVariable, v.fDepth);
  std::sort(key.begin(), key.end());
  return key;
}

void AddUnique(std::vector<FormulaTerm>& terms, const FormulaTerm& term) {
  const auto key = Key(term);
  for (const auto& t : terms)
    if (Key(t) == key) return;
  terms.push_back(term);
}

// inner nested within outer: the inner variables go below the deepest outer one.
FormulaTerm Merge(const FormulaTerm& inner, const FormulaTerm& outer, bool nest) {
  FormulaTerm merged;
  const int shift = nest ? MaxDepth(outer) + 1 : 0;
  for (auto v : inner.fVariables) {
    v.fDepth += shift;
    merged.fVariables.push_back(v);
  }
  for (const auto& v : outer.fVariables) merged.fVariables.push_back(v);
  Normalize(merged);
  return merged;
}

TermSet Union(const TermSet& a, const TermSet& b) {
  TermSet result = a;
  result.fbLoneName = false;
  for (const auto& t : b.fTerms) AddUnique(result.fTerms, t);
  if (b.fIntercept >= 0) result.fIntercept = b.fIntercept;
  return result;
}

TermSet Cross(const TermSet& a, const TermSet& b) {
  TermSet result;
  for (const auto& ta : a.fTerms)
    for (const auto& tb : b.fTerms) AddUnique(result.fTerms, Merge(ta, tb, false));
  return result;
}

// Every term of `inner` nested within all the variables of `outer` together.
TermSet Nest(const TermSet& inner, const TermSet& outer) {
  FormulaTerm all;
  for (const auto& t : outer.fTerms)
    for (const auto& v : t.fVariables) all.fVariables.push_back(v);
  Normalize(all);
  TermSet result;
  for (const auto& t : inner.fTerms) AddUnique(result.fTerms, Merge(t, all, true));
  return result;
}

class Parser {
 public:
  Parser(std::vector<Token> tokens, Formula& formula, std::string& error)
      : fTokens(std::move(tokens)), fFormula(formula), fError(error) {}

  bool Run() {
    if (Peek().fKind != TokenKind::kName)
      return Fail(Peek().fKind == TokenKind::kTilde ? "the formula needs a response before '~'"
                                                    : "expected the response column" + At(Peek().fPos));
    fFormula.fResponse = Take().fText;
    if (Peek().fKind != TokenKind::kTilde)
      return Fail("expected '~' after the response" + At(Peek().fPos) +
                  " (the response must be a single column)");
    Take();
    TermSet rhs;
    if (!ParseSum(rhs)) return false;
    if (Peek().fKind != TokenKind::kEnd) return Fail("unexpected '" + Peek().fText + "'" + At(Peek().fPos));
    fFormula.fbIntercept = rhs.fIntercept != 0;
    Finish(rhs.fTerms);
    return true;
  }

 private:
  const Token& Peek() const { return fTokens[fNext]; }
  Token Take() { return fTokens[fNext++]; }
  bool Fail(const std::string& message) {
    fError = message;
    return false;
  }

  bool ParseSum(TermSet& out) {
    out = TermSet{};
    bool first = true;
    while (true) {
      TokenKind op = TokenKind::kPlus;
      if (Peek().fKind == TokenKind::kPlus || Peek().fKind == TokenKind::kMinus) {
        op = Take().fKind;
      } else if (!first) {
        return true;
      }
      TermSet operand;
      if (!ParseProduct(operand)) return false;
      if (op == TokenKind::kPlus) {
        out = Union(out, operand);
      } else {
        Remove(out, operand);
      }
      first = false;
    }
  }

  static void Remove(TermSet& from, const TermSet& what) {
    for (const auto& t : what.fTerms) {
      const auto key = Key(t);
      std::erase_if(from.fTerms, [&](const FormulaTerm& f) { return Key(f) == key; });
    }
    // "- 1" removes the intercept, "- 0" puts it back.
    if (what.fIntercept >= 0) from.fIntercept = what.fIntercept == 1 ? 0 : 1;
    from.fbLoneName = false;
  }

  bool ParseProduct(TermSet& out) {
    if (!ParseNest(out)) return false;
    while (Peek().fKind == TokenKind::kStar || Peek().fKind == TokenKind::kSlash) {
      const Token op = Take();
      TermSet rhs;
      if (!ParseNest(rhs)) return false;
      if (!NoInterceptMarks(out, rhs, op)) return false;
      if (op.fKind == TokenKind::kStar) {
        out = Union(Union(out, rhs), Cross(out, rhs));
      } else {
        out = Union(out, Nest(rhs, out));
      }
    }
    return true;
  }

  bool ParseNest(TermSet& out) {
    if (!ParseColon(out)) return false;
    while (Peek().fKind == TokenKind::kIn) {
      const Token op = Take();
      TermSet rhs;
      if (!ParseColon(rhs)) return false;
      if (!NoInterceptMarks(out, rhs, op)) return false;
      out = Nest(out, rhs);
    }
    return true;
  }

  bool ParseColon(TermSet& out) {
    if (!ParsePower(out)) return false;
    while (Peek().fKind == TokenKind::kColon) {
      const Token op = Take();
      TermSet rhs;
      if (!ParsePower(rhs)) return false;
      if (!NoInterceptMarks(out, rhs, op)) return false;
      out = Cross(out, rhs);
    }
    return true;
  }

  bool ParsePower(TermSet& out) {
    if (!ParsePrimary(out)) return false;
    if (Peek().fKind != TokenKind::kCaret) return true;
    const Token op = Take();
    if (out.fbLoneName)
      return Fail("'^' on a single column" + At(op.fPos) + " crosses nothing; write I(x^2) for a power");
    if (out.fIntercept >= 0) return Fail("'^' cannot apply to 0 or 1" + At(op.fPos));
    int exponent = 0;
    if (!ParseExponent(exponent)) return false;
    TermSet base = out;
    for (int k = 1; k < exponent; ++k) out = Union(out, Cross(out, base));
    return true;
  }

  bool ParseExponent(int& exponent) {
    if (Peek().fKind != TokenKind::kNumber)
      return Fail("expected a whole number after '^'" + At(Peek().fPos));
    const Token t = Take();
    if (t.fText.size() > 3 || std::stoi(t.fText) < 1 || std::stoi(t.fText) > kMaxExponent)
      return Fail("the exponent" + At(t.fPos) + " must lie between 1 and " + std::to_string(kMaxExponent));
    exponent = std::stoi(t.fText);
    return true;
  }

  bool NoInterceptMarks(const TermSet& a, const TermSet& b, const Token& op) {
    if (a.fIntercept < 0 && b.fIntercept < 0) return true;
    return Fail("0 and 1 cannot be combined with '" + op.fText + "'" + At(op.fPos));
  }

  bool ParsePrimary(TermSet& out) {
    out = TermSet{};
    const Token t = Take();
    switch (t.fKind) {
      case TokenKind::kNumber:
        if (t.fText != "0" && t.fText != "1")
          return Fail("only 0 and 1 may stand as terms" + At(t.fPos) + ", not " + t.fText);
        out.fIntercept = t.fText == "1" ? 1 : 0;
        return true;
      case TokenKind::kOpen: {
        if (!ParseSum(out)) return false;
        if (Peek().fKind != TokenKind::kClose) return Fail("expected ')'" + At(Peek().fPos));
        Take();
        out.fbLoneName = false;
        return true;
      }
      case TokenKind::kName:
        if (Peek().fKind == TokenKind::kOpen) return ParseCall(t, out);
        out.fTerms.push_back(SingleTerm(AddVariable(PlainVariable(t.fText))));
        out.fbLoneName = true;
        return true;
      case TokenKind::kEnd: return Fail("the formula ends where a term is expected");
      default: return Fail("expected a term" + At(t.fPos) + ", found '" + t.fText + "'");
    }
  }

  // I(...) for products and powers of columns; factor(x) or as.factor(x) for a column taken as a factor.
  bool ParseCall(const Token& name, TermSet& out) {
    Take();  // '('
    FormulaVariable variable;
    if (name.fText == "I") {
      if (!ParseArithmetic(variable)) return false;
    } else if (name.fText == "factor" || name.fText == "as.factor") {
      if (Peek().fKind != TokenKind::kName)
        return Fail("expected a column inside factor()" + At(Peek().fPos));
      const std::string column = Take().fText;
      variable.fText = "factor(" + column + ")";
      variable.fPowers = {{column, 1}};
      variable.fbFactor = true;
    } else {
      return Fail("function '" + name.fText + "'" + At(name.fPos) +
                  " is not supported; use I() for powers and products, factor() for a factor");
    }
    if (Peek().fKind != TokenKind::kClose) return Fail("expected ')'" + At(Peek().fPos));
    Take();
    out.fTerms.push_back(SingleTerm(AddVariable(variable)));
    return true;
  }

  // The inside of I(): columns, each with an optional whole exponent, joined by '*'.
  bool ParseArithmetic(FormulaVariable& variable) {
    std::map<std::string, int> powers;
    while (true) {
      if (Peek().fKind != TokenKind::kName)
        return Fail("I() holds only products and whole powers of columns" + At(Peek().fPos));
      const std::string column = Take().fText;
      int exponent = 1;
      if (Peek().fKind == TokenKind::kCaret) {
        Take();
        if (!ParseExponent(exponent)) return false;
      }
      if (powers[column] + exponent > kMaxExponent)
        return Fail("the power of " + column + " inside I() exceeds " + std::to_string(kMaxExponent));
      powers[column] += exponent;
      if (Peek().fKind != TokenKind::kStar) break;
      Take();
    }
    if (Peek().fKind != TokenKind::kClose)
      return Fail("I() holds only products and whole powers of columns" + At(Peek().fPos));
    variable.fPowers.assign(powers.begin(), powers.end());
    if (variable.fPowers.size() == 1 && variable.fPowers[0].second == 1) {
      variable = PlainVariable(variable.fPowers[0].first);  // I(x) is x
      return true;
    }
    std::string text = "I(";
    for (std::size_t i = 0; i < variable.fPowers.size(); ++i) {
      if (i > 0) text += "*";
      text += variable.fPowers[i].first;
      if (variable.fPowers[i].second > 1) text += "^" + std::to_string(variable.fPowers[i].second);
    }
    variable.fText = text + ")";
    variable.fbArithmetic = true;
    return true;
  }

  static FormulaVariable PlainVariable(const std::string& column) {
    FormulaVariable v;
    v.fText = column;
    v.fPowers = {{column, 1}};
    return v;
  }

  int AddVariable(const FormulaVariable& variable) {
    for (std::size_t i = 0; i < fVariables.size(); ++i)
      if (fVariables[i].fText == variable.fText) return static_cast<int>(i);
    fVariables.push_back(variable);
    return static_cast<int>(fVariables.size()) - 1;
  }

  static FormulaTerm SingleTerm(int variable) {
    FormulaTerm term;
    term.fVariables.push_back({variable, 0});
    return term;
  }

  // Orders the terms by their number of variables and lists the variables in order of first use.
  void Finish(std::vector<FormulaTerm> terms) {
    std::stable_sort(terms.begin(), terms.end(), [](const FormulaTerm& a, const FormulaTerm& b) {
      return a.fVariables.size() < b.fVariables.size();
    });
    std::vector<int> renumber(fVariables.size(), -1);
    for (auto& term : terms) {
      for (auto& v : term.fVariables) {
        int& index = renumber[static_cast<std::size_t>(v.fVariable)];
        if (index < 0) {
          index = static_cast<int>(fFormula.fVariables.size());
          fFormula.fVariables.push_back(fVariables[static_cast<std::size_t>(v.fVariable)]);
        }
        v.fVariable = index;
      }
    }
    fFormula.fTerms = std::move(terms);
  }

  std::vector<Token> fTokens;
  std::size_t fNext = 0;
  std::vector<FormulaVariable> fVariables;
  Formula& fFormula;
  std::string& fError;
};

}  // namespace

std::vector<std::string> Formula::GetColumns() const {
  std::vector<std::string> columns{fResponse};
  for (const auto& v : fVariables)
    for (const auto& [column, power] : v.fPowers)
      if (std::find(columns.begin(), columns.end(), column) == columns.end()) columns.push_back(column);
  return columns;
}

std::string Formula::GetTermLabel(const FormulaTerm& term) const {
  const int deepest = MaxDepth(term);
  std::string label;
  for (int depth = deepest; depth >= 0; --depth) {
    std::string group;
    for (const auto& v : term.fVariables) {
      if (v.fDepth != depth) continue;
      if (!group.empty()) group += ":";
      group += fVariables[static_cast<std::size_t>(v.fVariable)].fText;
    }
    if (!label.empty()) label += " %in% ";
    label += group;
  }
  return label;
}

bool FormulaParser::Parse(std::string_view text, Formula& formula, std::string& error) {
  formula = Formula{};
  std::vector<Token> tokens;
  if (!Tokenize(text, tokens, error)) return false;
  Formula parsed;
  Parser parser(std::move(tokens), parsed, error);
  if (!parser.Run()) return false;
  formula = std::move(parsed);
  return true;
}

}  // namespace QXFit
