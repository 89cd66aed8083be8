// The formula parser against R's own expansion of the same formulas (tests/reference/
// qxfit_formulas.json, from terms()), then what R's terms cannot show: nesting depths, powers and
// products inside I(), factor(), and the refusal of what the tool cannot fit.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>

#include "tools/qxfit/FormulaParser.h"

namespace {

using QXFit::Formula;
using QXFit::FormulaParser;

Formula Parse(const std::string& text) {
  Formula formula;
  std::string error;
  EXPECT_TRUE(FormulaParser::Parse(text, formula, error)) << text << ": " << error;
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
    const Formula formula = Parse(text);
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
  EXPECT_EQ(f.fVariables[0].fPowers, (std::vector<std::pair<std::string, int>>{{"x", 2}, {"z", 1}}));
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

TEST(FormulaParserTest, RefusesWhatCannotBeFittedWithAPosition) {
  EXPECT_NE(ParseError("~ A").find("response"), std::string::npos);
  EXPECT_NE(ParseError("y + z ~ A").find("single column"), std::string::npos);
  EXPECT_NE(ParseError("y ~").find("ends"), std::string::npos);
  EXPECT_NE(ParseError("y ~ A +").find("ends"), std::string::npos);
  EXPECT_NE(ParseError("y ~ (A + B").find("expected ')'"), std::string::npos);
  EXPECT_NE(ParseError("y ~ A + B)").find("position 10"), std::string::npos);
  EXPECT_NE(ParseError("y ~ log(x)").find("not supported"), std::string::npos);
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
