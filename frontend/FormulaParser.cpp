#include "frontend/FormulaParser.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <unordered_set>

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

// As in R, a name may hold letters of any script: every byte of a UTF-8 multi-byte character (0x80 and
// above) counts as a letter, so "Größe" and "année" need no backquotes.
bool IsNonAscii(char c) { return static_cast<unsigned char>(c) >= 0x80; }
bool IsNameStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '.' || c == '_' || IsNonAscii(c);
}
bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || IsNonAscii(c);
}

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
using TermKey = std::vector<std::pair<int, int>>;

struct TermKeyHash {
  std::size_t operator()(const TermKey& key) const {
    std::uint64_t hash = 0xcbf29ce484222325u;  // FNV-1a over the variables and depths
    for (const auto& [variable, depth] : key) {
      hash = (hash ^ static_cast<std::uint32_t>(variable)) * 0x100000001b3u;
      hash = (hash ^ static_cast<std::uint32_t>(depth)) * 0x100000001b3u;
    }
    return static_cast<std::size_t>(hash);
  }
};
using TermKeys = std::unordered_set<TermKey, TermKeyHash>;

struct TermSet {
  std::vector<FormulaTerm> fTerms;
  // Of fTerms, so that adding a term costs a hashed lookup: a large expansion forms up to a million
  // combinations, most of them terms already present.
  TermKeys fKeys;
  int fIntercept = -1;
  bool fbLoneName = false;  // a bare column name, which `^` refuses (x^2 would silently mean x)
};

int MaxDepth(const FormulaTerm& term) {
  int depth = -1;
  for (const auto& v : term.fVariables) depth = std::max(depth, v.fDepth);
  return depth;
}

// Removes repeated variables (A:A is A) and renumbers the depths 0, 1, ... keeping their order. In
// place, with the caller's scratch for the depths: a large expansion normalizes up to a million terms.
void Normalize(FormulaTerm& term, std::vector<int>& depths) {
  auto& variables = term.fVariables;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < variables.size(); ++i) {
    std::size_t k = 0;
    while (k < kept && variables[k].fVariable != variables[i].fVariable) ++k;
    if (k == kept) {
      variables[kept++] = variables[i];
    } else {
      variables[k].fDepth = std::min(variables[k].fDepth, variables[i].fDepth);
    }
  }
  variables.resize(kept);
  depths.clear();
  for (const auto& v : variables) depths.push_back(v.fDepth);
  std::sort(depths.begin(), depths.end());
  depths.erase(std::unique(depths.begin(), depths.end()), depths.end());
  for (auto& v : variables)
    v.fDepth = static_cast<int>(std::lower_bound(depths.begin(), depths.end(), v.fDepth) - depths.begin());
}

// Terms are the same when they hold the same variables at the same depths, in any order.
void KeyOf(const FormulaTerm& term, TermKey& key) {
  key.clear();
  for (const auto& v : term.fVariables) key.emplace_back(v.fVariable, v.fDepth);
  std::sort(key.begin(), key.end());
}

TermKey Key(const FormulaTerm& term) {
  TermKey key;
  KeyOf(term, key);
  return key;
}

// inner nested within outer: the inner variables go below the deepest outer one. Written into
// `merged`, whose storage the expansion reuses for every combination it forms, as it does `depths`.
void Merge(const FormulaTerm& inner, const FormulaTerm& outer, bool nest, FormulaTerm& merged,
           std::vector<int>& depths) {
  merged.fVariables.clear();
  const int shift = nest ? MaxDepth(outer) + 1 : 0;
  bool shared = false;
  for (auto v : inner.fVariables) {
    for (const auto& o : outer.fVariables) shared = shared || o.fVariable == v.fVariable;
    v.fDepth += shift;
    merged.fVariables.push_back(v);
  }
  for (const auto& v : outer.fVariables) merged.fVariables.push_back(v);
  // Both terms are normalized, so without a variable in common the depths are 0, 1, ... already:
  // crossing unites two such ranges, nesting puts one after the other. Most merges skip the work.
  if (shared) Normalize(merged, depths);
}

class Parser {
 public:
  Parser(std::vector<Token> tokens, const std::vector<std::string>* dotColumns, Formula& formula,
         std::string& error)
      : fTokens(std::move(tokens)), fpDotColumns(dotColumns), fFormula(formula), fError(error) {}

  bool Run() {
    FormulaOperand response;
    if (!ParseResponse(response)) return false;
    fFormula.fResponse = response.fColumn;
    fFormula.fResponseTransform = response.fTransform;
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
  const Token& PeekAfter() const { return fTokens[std::min(fNext + 1, fTokens.size() - 1)]; }
  Token Take() { return fTokens[fNext++]; }
  bool Fail(const std::string& message) {
    fError = message;
    return false;
  }

  // The response: a column, or log/exp/sqrt of one.
  bool ParseResponse(FormulaOperand& response) {
    if (Peek().fKind != TokenKind::kName)
      return Fail(Peek().fKind == TokenKind::kTilde ? "the formula needs a response before '~'"
                                                    : "expected the response column" + At(Peek().fPos));
    if (PeekAfter().fKind == TokenKind::kOpen) {
      const Token name = Take();
      if (ParseTransform(name.fText) == Transform::kNone)
        return Fail("the response" + At(name.fPos) + " may be a column or log(), exp() or sqrt() of one");
      return ParseOperand(response);
    }
    response.fColumn = Take().fText;
    return true;
  }

  // Terms are added through here, so that no formula grows without bound.
  bool AddUnique(TermSet& set, const FormulaTerm& term) {
    KeyOf(term, fKey);
    if (set.fKeys.contains(fKey)) return true;
    set.fKeys.insert(fKey);
    set.fTerms.push_back(term);
    if (set.fTerms.size() <= FormulaParser::kMaxTerms) return true;
    return Fail("the formula expands to more than " + std::to_string(FormulaParser::kMaxTerms) +
                " terms, more than a model can have parameters");
  }

  // Every pair of terms of a and b is one combination to form; bounded before any is formed, and over
  // the whole formula, since products repeated (by ^ or nested parentheses) each stay under any bound
  // on one product while their sum takes minutes.
  bool CheckCrossing(const TermSet& a, const TermSet& b) {
    const std::size_t left = FormulaParser::kMaxCrossings - fCrossings;
    if (a.fTerms.empty() || b.fTerms.size() <= left / a.fTerms.size()) {
      fCrossings += a.fTerms.size() * b.fTerms.size();
      return true;
    }
    return Fail("the formula is too large to expand: its products make more than " +
                std::to_string(FormulaParser::kMaxCrossings) + " combinations of terms");
  }

  bool Union(TermSet& out, const TermSet& b) {
    out.fbLoneName = false;
    for (const auto& t : b.fTerms)
      if (!AddUnique(out, t)) return false;
    if (b.fIntercept >= 0) out.fIntercept = b.fIntercept;
    return true;
  }

  bool Cross(const TermSet& a, const TermSet& b, TermSet& out) {
    out = TermSet{};
    if (!CheckCrossing(a, b)) return false;
    for (const auto& ta : a.fTerms)
      for (const auto& tb : b.fTerms) {
        Merge(ta, tb, false, fMerged, fDepths);
        if (!AddUnique(out, fMerged)) return false;
      }
    return true;
  }

  // Every term of `inner` nested within all the variables of `outer` together.
  bool Nest(const TermSet& inner, const TermSet& outer, TermSet& out) {
    FormulaTerm all;
    for (const auto& t : outer.fTerms)
      for (const auto& v : t.fVariables) all.fVariables.push_back(v);
    Normalize(all, fDepths);
    out = TermSet{};
    for (const auto& t : inner.fTerms) {
      Merge(t, all, true, fMerged, fDepths);
      if (!AddUnique(out, fMerged)) return false;
    }
    return true;
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
        if (!Union(out, operand)) return false;
      } else {
        Remove(out, operand);
      }
      first = false;
    }
  }

  static void Remove(TermSet& from, const TermSet& what) {
    // One pass over the terms, whatever the number removed: a scan per removed term is quadratic.
    TermKeys removed;
    for (const auto& t : what.fTerms) {
      auto key = Key(t);
      if (from.fKeys.erase(key) > 0) removed.insert(std::move(key));
    }
    if (!removed.empty())
      std::erase_if(from.fTerms, [&](const FormulaTerm& f) { return removed.count(Key(f)) > 0; });
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
      TermSet combined;
      if (op.fKind == TokenKind::kStar) {
        if (!Cross(out, rhs, combined) || !Union(out, rhs) || !Union(out, combined)) return false;
      } else {
        if (!Nest(rhs, out, combined) || !Union(out, combined)) return false;
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
      TermSet nested;
      if (!Nest(out, rhs, nested)) return false;
      out = std::move(nested);
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
      TermSet crossed;
      if (!Cross(out, rhs, crossed)) return false;
      out = std::move(crossed);
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
    // Each power crosses only the terms the previous one added: the products of the older terms are
    // in the set already, so crossing them again would form the same terms, in the same order, many
    // times over. Once a power adds nothing, no higher one can: (A+B)^64 is (A+B)^2.
    const TermSet base = out;
    TermSet added = base;
    for (int k = 1; k < exponent && !added.fTerms.empty(); ++k) {
      TermSet crossed;
      const std::size_t before = out.fTerms.size();
      if (!Cross(added, base, crossed) || !Union(out, crossed)) return false;
      added.fTerms.assign(out.fTerms.begin() + static_cast<std::ptrdiff_t>(before), out.fTerms.end());
    }
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
        // Each level of parentheses is a level of recursion: bounded, so that no formula can exhaust
        // the stack.
        if (++fDepth > FormulaParser::kMaxDepth)
          return Fail("the formula nests parentheses more than " + std::to_string(FormulaParser::kMaxDepth) +
                      " deep" + At(t.fPos));
        if (!ParseSum(out)) return false;
        --fDepth;
        if (Peek().fKind != TokenKind::kClose) return Fail("expected ')'" + At(Peek().fPos));
        Take();
        out.fbLoneName = false;
        return true;
      }
      case TokenKind::kName:
        if (Peek().fKind == TokenKind::kOpen) return ParseCall(t, out);
        if (t.fText == ".") return ExpandDot(out);
        out.fbLoneName = true;
        return AddUnique(out, SingleTerm(AddVariable(PlainVariable({t.fText, Transform::kNone}))));
      case TokenKind::kEnd: return Fail("the formula ends where a term is expected");
      default: return Fail("expected a term" + At(t.fPos) + ", found '" + t.fText + "'");
    }
  }

  // `.`: every column of the data but the response, in the data's order, each a term of its own.
  bool ExpandDot(TermSet& out) {
    fFormula.fbUsesDot = true;
    if (fpDotColumns == nullptr) return true;
    for (const auto& column : *fpDotColumns) {
      if (column == fFormula.fResponse) continue;
      if (!AddUnique(out, SingleTerm(AddVariable(PlainVariable({column, Transform::kNone}))))) return false;
    }
    return true;
  }

  static Transform ParseTransform(const std::string& name) {
    for (const Transform t : {Transform::kLog, Transform::kExp, Transform::kSqrt})
      if (name == FormulaParser::TransformName(t)) return t;
    return Transform::kNone;
  }

  // After a function's name: "(column)" or, for log/exp/sqrt, "(column)" with the function applied.
  bool ParseOperand(FormulaOperand& operand) {
    const Token& name = fTokens[fNext - 1];
    operand.fTransform = ParseTransform(name.fText);
    Take();  // '('
    if (Peek().fKind != TokenKind::kName || Peek().fText == "." || PeekAfter().fKind == TokenKind::kOpen)
      return Fail("expected a column inside " + name.fText + "()" + At(Peek().fPos));
    operand.fColumn = Take().fText;
    if (Peek().fKind != TokenKind::kClose) return Fail("expected ')'" + At(Peek().fPos));
    Take();
    return true;
  }

  // I(...) for products and powers; factor(x) or as.factor(x) for a column taken as a factor;
  // log(x), exp(x) and sqrt(x) for a function of a numeric column.
  bool ParseCall(const Token& name, TermSet& out) {
    FormulaVariable variable;
    if (name.fText == "I") {
      Take();  // '('
      if (!ParseArithmetic(variable)) return false;
      Take();  // ')'
    } else if (name.fText == "factor" || name.fText == "as.factor") {
      FormulaOperand operand;
      if (!ParseOperand(operand)) return false;
      variable.fText = "factor(" + operand.fColumn + ")";
      variable.fPowers = {{{operand.fColumn, Transform::kNone}, 1}};
      variable.fbFactor = true;
    } else if (ParseTransform(name.fText) != Transform::kNone) {
      FormulaOperand operand;
      if (!ParseOperand(operand)) return false;
      variable = PlainVariable(operand);
    } else {
      return Fail("function '" + name.fText + "'" + At(name.fPos) +
                  " is not supported; use I() for powers and products, log(), exp() or sqrt() of a "
                  "column, factor() for a factor");
    }
    out.fbLoneName = true;
    return AddUnique(out, SingleTerm(AddVariable(variable)));
  }

  // The inside of I(): columns or log/exp/sqrt of columns, each with an optional whole exponent,
  // joined by '*'. Stops before the closing parenthesis.
  bool ParseArithmetic(FormulaVariable& variable) {
    std::map<std::string, std::pair<FormulaOperand, int>> powers;  // by the operand's text
    const char* what =
        "I() holds only products and whole powers of columns and of log(), exp() or sqrt() of columns";
    while (true) {
      if (Peek().fKind != TokenKind::kName) return Fail(what + At(Peek().fPos));
      FormulaOperand operand;
      const Token name = Take();
      if (Peek().fKind == TokenKind::kOpen) {
        if (ParseTransform(name.fText) == Transform::kNone) return Fail(what + At(name.fPos));
        if (!ParseOperand(operand)) return false;
      } else {
        operand.fColumn = name.fText;
      }
      int exponent = 1;
      if (Peek().fKind == TokenKind::kCaret) {
        Take();
        if (!ParseExponent(exponent)) return false;
      }
      auto& [entry, power] = powers.try_emplace(operand.GetText(), operand, 0).first->second;
      if (power + exponent > kMaxExponent)
        return Fail("the power of " + entry.GetText() + " inside I() exceeds " +
                    std::to_string(kMaxExponent));
      power += exponent;
      if (Peek().fKind != TokenKind::kStar) break;
      Take();
    }
    if (Peek().fKind != TokenKind::kClose) return Fail(what + At(Peek().fPos));
    for (const auto& [text, entry] : powers) variable.fPowers.push_back(entry);
    if (variable.fPowers.size() == 1 && variable.fPowers[0].second == 1) {
      variable = PlainVariable(variable.fPowers[0].first);  // I(x) is x
      return true;
    }
    std::string text = "I(";
    for (std::size_t i = 0; i < variable.fPowers.size(); ++i) {
      if (i > 0) text += "*";
      text += variable.fPowers[i].first.GetText();
      if (variable.fPowers[i].second > 1) text += "^" + std::to_string(variable.fPowers[i].second);
    }
    variable.fText = text + ")";
    variable.fbArithmetic = true;
    return true;
  }

  static FormulaVariable PlainVariable(const FormulaOperand& operand) {
    FormulaVariable v;
    v.fText = operand.GetText();
    v.fPowers = {{operand, 1}};
    v.fbArithmetic = operand.fTransform != Transform::kNone;
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
  int fDepth = 0;
  std::size_t fCrossings = 0;  // combinations of terms formed so far, against kMaxCrossings
  FormulaTerm fMerged;         // the combination being formed
  TermKey fKey;                // and its key
  std::vector<int> fDepths;    // scratch of Normalize
  const std::vector<std::string>* fpDotColumns;
  std::vector<FormulaVariable> fVariables;
  Formula& fFormula;
  std::string& fError;
};

}  // namespace

const char* FormulaParser::TransformName(Transform transform) {
  switch (transform) {
    case Transform::kLog: return "log";
    case Transform::kExp: return "exp";
    case Transform::kSqrt: return "sqrt";
    case Transform::kNone: break;
  }
  return "";
}

std::string FormulaOperand::GetText() const {
  if (fTransform == Transform::kNone) return fColumn;
  return std::string(FormulaParser::TransformName(fTransform)) + "(" + fColumn + ")";
}

std::string Formula::GetResponseText() const {
  return FormulaOperand{fResponse, fResponseTransform}.GetText();
}

std::vector<std::string> Formula::GetColumns() const {
  std::vector<std::string> columns{fResponse};
  for (const auto& v : fVariables)
    for (const auto& [operand, power] : v.fPowers)
      if (std::find(columns.begin(), columns.end(), operand.fColumn) == columns.end())
        columns.push_back(operand.fColumn);
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

bool FormulaParser::Parse(std::string_view text, Formula& formula, std::string& error,
                          const std::vector<std::string>* dotColumns) {
  formula = Formula{};
  std::vector<Token> tokens;
  if (!Tokenize(text, tokens, error)) return false;
  Formula parsed;
  Parser parser(std::move(tokens), dotColumns, parsed, error);
  if (!parser.Run()) return false;
  formula = std::move(parsed);
  return true;
}

}  // namespace QXFit
