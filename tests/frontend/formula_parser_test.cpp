// The formula parser against R's own expansion of the same formulas (tests/reference/
// qxfit_formulas.json, from terms()), then what R's terms cannot show: nesting depths, powers and
// products inside I(), factor(), and the refusal of what the tool cannot fit.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>

#include "frontend/FormulaParser.h"

namespace {

using QXFit::Formula;
using QXFit::FormulaParser;

Formula Parse(const std::string& text, const std::vector<std::string>* columns = nullptr) {
  Formula formula;
  std::string error;
  EXPECT_TRUE(FormulaParser::Parse(text, formula, error, columns)) << text << ": " << error;
  return formula;
}

std::string ParseError(const std::string& text) {
  Formula formula;
  std::string error;
  EXPECT_FALSE(FormulaParser::Parse(text, formula, error)) << text << " was accepted";
  return error;
}

std::vector<std::string> TermVariables(const Formula& formula, std::size_t term) {
  std::vector<std::string> names;
  for (const auto& v : formula.fTerms[term].fVariables)
    names.push_back(formula.fVariables[static_cast<std::size_t>(v.fVariable)].fText);
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FormulaParserTest, ExpandsAndOrdersTermsAsR) {
  std::ifstream in(std::string(QX_TEST_REFERENCE_DIR) + "/qxfit_formulas.json");
  const auto cases = nlohmann::json::parse(in);
  ASSERT_GT(cases.size(), 20u);
  for (const auto& c : cases) {
    const std::string text = c["formula"];
    std::vector<std::string> columns;
    if (c["columns"].is_array()) columns = c["columns"].get<std::vector<std::string>>();
    const Formula formula = Parse(text, c["columns"].is_array() ? &columns : nullptr);
    EXPECT_EQ(formula.fResponse, "y") << text;
    EXPECT_EQ(formula.fbIntercept, c["intercept"].get<bool>()) << text;
    ASSERT_EQ(formula.fTerms.size(), c["terms"].size()) << text;
    for (std::size_t t = 0; t < formula.fTerms.size(); ++t)
      EXPECT_EQ(TermVariables(formula, t), c["terms"][t].get<std::vector<std::string>>())
          << text << ", term " << t;
  }
}

TEST(FormulaParserTest, NestingPutsTheInnerFactorDeeper) {
  const Formula nested = Parse("y ~ A + B %in% A");
  ASSERT_EQ(nested.fTerms.size(), 2u);
  EXPECT_EQ(nested.GetTermLabel(nested.fTerms[1]), "B %in% A");
  const Formula slash = Parse("y ~ A/B");
  EXPECT_EQ(slash.GetTermLabel(slash.fTerms[1]), "B %in% A");
  // Nesting twice gives three depths, the outermost written last.
  const Formula deep = Parse("y ~ C %in% B %in% A");
  EXPECT_EQ(deep.GetTermLabel(deep.fTerms[0]), "C %in% B %in% A");
  const Formula crossedInner = Parse("y ~ (B:C) %in% A");
  EXPECT_EQ(crossedInner.GetTermLabel(crossedInner.fTerms[0]), "B:C %in% A");
  // A nested term and the crossed term of the same variables are different terms.
  EXPECT_EQ(Parse("y ~ A:B + B %in% A").fTerms.size(), 2u);
}

TEST(FormulaParserTest, ArithmeticInsideIIsOneNumericVariable) {
  const Formula f = Parse("y ~ I(z*x^2) + I(x) + I(x^1*x)");
  ASSERT_EQ(f.fVariables.size(), 3u);
  // Written in any order, a product has one canonical text, by column name.
  EXPECT_EQ(f.fVariables[0].fText, "I(x^2*z)");
  EXPECT_TRUE(f.fVariables[0].fbArithmetic);
  ASSERT_EQ(f.fVariables[0].fPowers.size(), 2u);
  EXPECT_EQ(f.fVariables[0].fPowers[0].first.fColumn, "x");
  EXPECT_EQ(f.fVariables[0].fPowers[0].second, 2);
  EXPECT_EQ(f.fVariables[0].fPowers[1].first.fColumn, "z");
  // I(x) is just x; x*x inside I() is a square.
  EXPECT_EQ(f.fVariables[1].fText, "x");
  EXPECT_FALSE(f.fVariables[1].fbArithmetic);
  EXPECT_EQ(f.fVariables[2].fText, "I(x^2)");
  EXPECT_EQ(f.GetColumns(), (std::vector<std::string>{"y", "x", "z"}));
}

TEST(FormulaParserTest, FactorCallsAndBackquotedNames) {
  const Formula f = Parse("`my y` ~ factor(cyl) + as.factor(gear) + `wt (1000 lbs)` + cyl");
  EXPECT_EQ(f.fResponse, "my y");
  ASSERT_EQ(f.fVariables.size(), 4u);
  EXPECT_TRUE(f.fVariables[0].fbFactor);
  EXPECT_EQ(f.fVariables[0].fText, "factor(cyl)");
  EXPECT_EQ(f.fVariables[1].fText, "factor(gear)");
  EXPECT_EQ(f.fVariables[2].fText, "wt (1000 lbs)");
  // The plain column is a variable of its own: a numeric column may be a factor and a covariate.
  EXPECT_EQ(f.fVariables[3].fText, "cyl");
  EXPECT_FALSE(f.fVariables[3].fbFactor);
  EXPECT_EQ(f.GetColumns(), (std::vector<std::string>{"my y", "cyl", "gear", "wt (1000 lbs)"}));
}

TEST(FormulaParserTest, FunctionsOfColumnsInTheResponseTermsAndInsideI) {
  const Formula f = Parse("log(y) ~ log(x) + exp(z):A + I(sqrt(x)^2*log(x)) + I(log(x))");
  EXPECT_EQ(f.fResponse, "y");
  EXPECT_EQ(f.fResponseTransform, QXFit::Transform::kLog);
  EXPECT_EQ(f.GetResponseText(), "log(y)");
  std::vector<std::string> texts;
  for (const auto& v : f.fVariables) texts.push_back(v.fText);
  // I(log(x)) is log(x), and the operands of a product are in the order of their texts.
  EXPECT_EQ(texts, (std::vector<std::string>{"log(x)", "I(log(x)*sqrt(x)^2)", "exp(z)", "A"}));
  EXPECT_TRUE(f.fVariables[0].fbArithmetic);
  EXPECT_EQ(f.fVariables[0].fPowers[0].first.fTransform, QXFit::Transform::kLog);
  EXPECT_EQ(f.fVariables[1].fPowers[1].first.fTransform, QXFit::Transform::kSqrt);
  EXPECT_EQ(f.fVariables[1].fPowers[1].second, 2);
  EXPECT_FALSE(f.fVariables[3].fbArithmetic);
  EXPECT_EQ(f.GetColumns(), (std::vector<std::string>{"y", "x", "z", "A"}));
  for (const char* wrong :
       {"y ~ log(x, 10)", "y ~ log(log(x))", "y ~ log(.)", "factor(y) ~ x", "y ~ factor(log(x))"})
    ParseError(wrong);
}

TEST(FormulaParserTest, DotIsEveryOtherColumnAndNamesMayBeInAnyScript) {
  const std::vector<std::string> columns{"année", "y", "Größe", "x"};
  const Formula dot = Parse("y ~ .", &columns);
  ASSERT_EQ(dot.fTerms.size(), 3u);
  EXPECT_EQ(TermVariables(dot, 0), std::vector<std::string>{"année"});
  EXPECT_EQ(TermVariables(dot, 1), std::vector<std::string>{"Größe"});
  EXPECT_TRUE(dot.fbUsesDot);
  // Before the columns are known `.` stands for nothing, and says so.
  const Formula unknown = Parse("y ~ . + x");
  EXPECT_TRUE(unknown.fbUsesDot);
  EXPECT_EQ(unknown.fTerms.size(), 1u);
  const Formula names = Parse("Größe ~ année:x + `x y`");
  EXPECT_EQ(names.fResponse, "Größe");
  EXPECT_EQ(names.GetTermLabel(names.fTerms[1]), "année:x");
}

TEST(FormulaParserTest, FormulasTooDeepOrTooLargeAreRefusedWithTheLimit) {
  // Recursion would overflow the stack long before 60,000 parentheses.
  const std::string deep = "y ~ " + std::string(60000, '(') + "x" + std::string(60000, ')');
  EXPECT_NE(ParseError(deep).find("more than 256 deep"), std::string::npos);
  EXPECT_EQ(Parse("y ~ " + std::string(200, '(') + "x" + std::string(200, ')')).fTerms.size(), 1u);
  // c0*c1*...*c29 has 2^30 - 1 terms: refused as soon as the expansion passes the limit.
  std::string product = "y ~ c0";
  for (int i = 1; i < 30; ++i) product += "*c" + std::to_string(i);
  EXPECT_NE(ParseError(product).find("more than 46339 terms"), std::string::npos);
  // 15 factors crossed: 32767 terms, within the limit; squared, each pair is one combination to form.
  std::string fifteen = "y ~ (c0";
  for (int i = 1; i < 15; ++i) fifteen += "*c" + std::to_string(i);
  EXPECT_EQ(Parse(fifteen + ")").fTerms.size(), 32767u);
  EXPECT_NE(ParseError(fifteen + ")^2").find("more than 1000000 combinations"), std::string::npos);
  // Found by fuzzing: products repeated by ^, each within a bound on one product, took seconds
  // together. The bound holds for the whole formula.
  EXPECT_NE(ParseError("y ~ (q+b+c+d+e/(q+b+cC:D + B+d+e+f64+g+h)^8/f31+f64+g+h)^8")
                .find("more than 1000000 combinations"),
            std::string::npos);
  // A power stops once it adds nothing; removing many terms at once is one pass, not one per term.
  EXPECT_EQ(Parse("y ~ (A+B)^64").fTerms.size(), 3u);
  // Found by fuzzing: each power crossed all the terms again, so that (c0+...+c14)^15, the model of
  // c0*c1*...*c14, was refused for its combinations, and formulas of 60 bytes took seconds. A power
  // now crosses only the terms the one before it added.
  std::string sum = "(c0";
  for (int i = 1; i < 15; ++i) sum += "+c" + std::to_string(i);
  EXPECT_EQ(Parse("y ~ " + sum + ")^15").fTerms.size(), 32767u);
  const std::string many = "(a+b+c+d+e+f+g+h+i+j+k+l+m+n+o+p+q+r+s+t+u+v+w+x+z)^4";
  EXPECT_EQ(Parse("y ~ " + many).fTerms.size(), 15275u);
  EXPECT_TRUE(Parse("y ~ " + many + " - " + many).fTerms.empty());
}

TEST(FormulaParserTest, RefusesWhatCannotBeFittedWithAPosition) {
  EXPECT_NE(ParseError("~ A").find("response"), std::string::npos);
  EXPECT_NE(ParseError("y + z ~ A").find("single column"), std::string::npos);
  EXPECT_NE(ParseError("y ~").find("ends"), std::string::npos);
  EXPECT_NE(ParseError("y ~ A +").find("ends"), std::string::npos);
  EXPECT_NE(ParseError("y ~ (A + B").find("expected ')'"), std::string::npos);
  EXPECT_NE(ParseError("y ~ A + B)").find("position 10"), std::string::npos);
  EXPECT_NE(ParseError("y ~ poly(x)").find("not supported"), std::string::npos);
  EXPECT_NE(ParseError("y ~ I(x)^2").find("I(x^2)"), std::string::npos);
  EXPECT_NE(ParseError("y ~ I(x + 1)").find("I()"), std::string::npos);
  EXPECT_NE(ParseError("y ~ x^2").find("I(x^2)"), std::string::npos);
  EXPECT_NE(ParseError("y ~ (A + B)^0").find("exponent"), std::string::npos);
  EXPECT_NE(ParseError("y ~ (A + B)^1000").find("exponent"), std::string::npos);
  EXPECT_NE(ParseError("y ~ A + 2").find("only 0 and 1"), std::string::npos);
  EXPECT_NE(ParseError("y ~ A:1").find("0 and 1"), std::string::npos);
  EXPECT_NE(ParseError("y ~ A %o% B").find("%in%"), std::string::npos);
  EXPECT_NE(ParseError("y ~ `A").find("backquote"), std::string::npos);
  EXPECT_NE(ParseError("y ~ A $ B").find("'$'"), std::string::npos);
  EXPECT_NE(ParseError("y ~ 2A").find("number"), std::string::npos);
}

}  // namespace
