// From a data file and a formula to the library's settings: column typing and level coding, the
// record layout, the model effects with their nesting levels and covariate powers, the labels of
// parameters, the records written for the library, and the refusals that must name the column.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "common/QXMissingValue.h"
#include "frontend/ColumnScanner.h"
#include "frontend/CsvReader.h"
#include "frontend/FormulaParser.h"
#include "frontend/ModelBuilder.h"
#include "frontend/RecordFileWriter.h"
#include "settings/QXRegrParameter.h"
#include "tests/frontend/tools_test_files.h"

namespace {

using QXFit::ColumnScanner;
using QXFit::CsvReader;
using QXFit::ModelBuilder;
using QXFit::ModelRequest;
using Role = QXFit::ModelVariable::Role;
using qxfit_test::TempFile;

// y, two text factors, a numeric column, a numeric column meant as a factor, a weight. Levels of n
// sort numerically (2 < 9 < 10), not as texts.
constexpr const char* kData =
    "y,A,B,x,n,w\n"
    "1.5,a2,b1,0.5,10,1\n"
    "2.5,a1,b2,1.5,9,2\n"
    ",a3,b1,2,2,1\n"
    "4,a1,NA,3,10,1\n"
    "5,a2,b2,4,9.0,0\n"
    "6,a3,b1,5,2,1\n";

ModelRequest Request(std::vector<std::string> factors = {}, std::string freq = "", std::string regr = "",
                     std::vector<std::pair<std::string, std::string>> references = {}) {
  return ModelRequest{std::move(factors), std::move(freq), std::move(regr), std::move(references)};
}

class ModelBuilderTest : public ::testing::Test {
 protected:
  // Parses, resolves, scans and builds; returns the error text, empty on success.
  std::string Build(const std::string& formulaText, const ModelRequest& request = Request(),
                    const char* data = kData) {
    fFile.reset();  // one path per test: remove the previous file before writing the next
    fFile = std::make_unique<TempFile>("data.csv", data);
    QXFit::Formula formula;
    std::string error;
    if (!QXFit::FormulaParser::Parse(formulaText, formula, error)) return "formula: " + error;
    if (!fReader.Open(fFile->Path())) return fReader.GetError();
    if (!fModel.Resolve(formula, fReader.GetColumnNames(), request, error)) return error;
    fScanner = std::make_unique<ColumnScanner>(fModel.GetScanColumns(), fModel.GetDeclaredFactors());
    if (!fScanner->Scan(fReader, nullptr, error)) return error;
    if (!fModel.Build(*fScanner, error)) return error;
    return "";
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& v : fModel.GetVariables()) names.push_back(v.fName);
    return names;
  }

  // The label of cell `categories` of effect `effect` of the settings.
  std::string Label(int effect, const std::vector<int>& categories) const {
    QXMath_600::QXRegrParameter parameter;
    parameter.SetupFromEffect(fModel.GetSettings().GetModelEffects()[static_cast<std::size_t>(effect)],
                              effect, 0);
    parameter.GetCategories() = categories;
    return fModel.GetParameterLabel(parameter);
  }

  std::unique_ptr<TempFile> fFile;
  CsvReader fReader;
  ModelBuilder fModel;
  std::unique_ptr<ColumnScanner> fScanner;
};

TEST_F(ModelBuilderTest, LaysOutResponseFactorsCovariatesWeights) {
  ASSERT_EQ(Build("y ~ x + B %in% A + A:I(x^2)", Request({}, "", "w")), "");
  // Factors in order of first appearance (B before A), then covariates, then the weight.
  EXPECT_EQ(Names(), (std::vector<std::string>{"y", "B", "A", "x", "w"}));
  const auto& settings = fModel.GetSettings();
  EXPECT_EQ(settings.GetDependent(), 0);
  EXPECT_EQ(settings.GetFactors(), (std::vector<int>{1, 2}));
  EXPECT_EQ(settings.GetFactorSizes(), (std::vector<int>{2, 3}));  // NA is not a level of B
  EXPECT_EQ(settings.GetCovariates(), (std::vector<int>{3}));
  EXPECT_EQ(settings.GetRegrWeightVar(), 4);
  EXPECT_EQ(settings.GetFrequencyWeightVar(), -1);
  EXPECT_TRUE(settings.GetInterceptUse());

  const auto& effects = settings.GetModelEffects();
  ASSERT_EQ(effects.size(), 3u);
  EXPECT_EQ(effects[0].GetCovariates(), (std::vector<int>{3}));
  EXPECT_EQ(effects[0].GetNFactors(), 0);
  // B within A: A is the outer factor (level 0), B is nested in it (level 1).
  EXPECT_EQ(effects[1].ContainsFactor(2), 0);
  EXPECT_EQ(effects[1].ContainsFactor(1), 1);
  EXPECT_EQ(effects[1].GetNLevels(), 2);
  EXPECT_EQ(effects[2].ContainsFactor(2), 0);
  EXPECT_EQ(effects[2].GetCovariateMult(3), 2);

  EXPECT_EQ(Label(0, {}), "x");
  // Parameter factors are ordered by level: A (code 1 = a2) then B (code 0 = b1).
  EXPECT_EQ(Label(1, {1, 0}), "[B=b1]([A=a2])");
  EXPECT_EQ(Label(2, {0}), "[A=a1] * x * x");
  EXPECT_EQ(fModel.GetParameterLabel(QXMath_600::QXRegrParameter()), "Intercept");
  // Effects are labelled as their parameters without the levels.
  EXPECT_EQ(fModel.GetEffectLabel(effects[0]), "x");
  EXPECT_EQ(fModel.GetEffectLabel(effects[1]), "B(A)");
  EXPECT_EQ(fModel.GetEffectLabel(effects[2]), "A * x * x");
  EXPECT_EQ(fModel.GetEffectLabel(QXMath_600::QXModelEffect()), "Intercept");
}

TEST_F(ModelBuilderTest, InteractionFactorsFollowDeclarationOrderNotWriting) {
  ASSERT_EQ(Build("y ~ A + B + B:A - 1"), "");
  EXPECT_FALSE(fModel.GetSettings().GetInterceptUse());
  EXPECT_EQ(Label(2, {2, 1}), "[A=a3] * [B=b2]");
  EXPECT_EQ(fModel.GetEffectLabel(fModel.GetSettings().GetModelEffects()[2]), "A * B");
  // Deeper nesting: three levels, the outermost in the innermost parentheses.
  ASSERT_EQ(Build("y ~ n %in% B %in% A", Request({"n"}, "", "")), "");
  EXPECT_EQ(Label(0, {0, 1, 2}), "[n=10]([B=b2]([A=a1]))");
  EXPECT_EQ(fModel.GetEffectLabel(fModel.GetSettings().GetModelEffects()[0]), "n(B(A))");
}

TEST_F(ModelBuilderTest, NumericFactorsSortByValueAndKeepTheirText) {
  ASSERT_EQ(Build("y ~ factor(n) + n"), "");
  // One column, two roles: a factor and a covariate, each its own record variable.
  EXPECT_EQ(Names(), (std::vector<std::string>{"y", "n", "n"}));
  const auto& levels = fModel.GetVariables()[1].fLevels;
  ASSERT_EQ(levels.GetNLevels(), 3);  // 9 and 9.0 are one level
  EXPECT_EQ(levels.GetText(0), "2");
  EXPECT_EQ(levels.GetText(1), "9");
  EXPECT_EQ(levels.GetText(2), "10");
  EXPECT_EQ(Label(0, {2}), "[n=10]");
  EXPECT_EQ(Label(1, {}), "n");
  // --factor makes it a factor everywhere.
  ASSERT_EQ(Build("y ~ n + x", Request({"n"}, "", "")), "");
  EXPECT_EQ(fModel.GetSettings().GetFactors(), (std::vector<int>{1}));
}

TEST_F(ModelBuilderTest, RefusalsNameTheColumnAndShowTheOffendingValues) {
  const std::string columns = "; the columns are y, A, B, x, n, w";
  EXPECT_EQ(Build("y ~ A + zz"), "unknown column 'zz'" + columns);
  // A close match, for case and punctuation or a typo.
  EXPECT_EQ(Build("y ~ a + x"), "unknown column 'a' (did you mean 'A'?)" + columns);
  EXPECT_EQ(Build("y ~ A", Request({}, "", "", {{"x_", "1"}})),
            "--reference: unknown column 'x_' (did you mean 'x'?)" + columns);
  EXPECT_EQ(Build("y ~ A", Request({"nope"})), "--factor: unknown column 'nope'" + columns);
  EXPECT_EQ(Build("y ~ A", Request({}, "weight")), "unknown column 'weight'" + columns);
  EXPECT_EQ(Build("y ~ x + y"), "the response 'y' also appears among the terms");
  EXPECT_EQ(Build("y ~ I(A^2)"), "'I(A^2)' needs a numeric column, but 'A' is a factor");
  EXPECT_EQ(Build("y ~ I(n*x)", Request({"n"})), "'I(n*x)' needs a numeric column, but 'n' is a factor");
  EXPECT_EQ(Build("y ~ x", Request({}, "A")).rfind("the weight 'A' must be numeric, but all 6", 0), 0u);
  EXPECT_EQ(Build("y ~ x", Request(), "y,x,x\n1,2,3\n"), "column 'x' appears more than once in the header");
  // One stray text in the response: which, and where.
  EXPECT_EQ(Build("y ~ x", Request(), "y,x\n1,1\n2,2\nn/a,3\n4,4\n"),
            "the response 'y' must be numeric, but 1 of its 4 values is not a number ('n/a' on line 4); "
            "--na-strings names codes for missing values, and --logistic takes it as categorical");
  EXPECT_EQ(Build("log(A) ~ x"), "the response 'log(A)' is categorical: a function of it is not a response");
}

TEST_F(ModelBuilderTest, NumericColumnsWithStrayTextsBecomeFactorsWithANotice) {
  ASSERT_EQ(Build("y ~ g", Request(), "y,g\n1,1.5\n2,-\n3,2\n4,-\n5,3\n6,?\n7,2\n8,x\n"), "");
  EXPECT_EQ(fModel.GetSettings().GetFactors().size(), 1u);
  ASSERT_EQ(fModel.GetNotices().size(), 1u);
  // The first distinct texts with their lines; the count includes the repeats.
  EXPECT_EQ(fModel.GetNotices()[0],
            "column 'g' is read as a factor of texts: 4 of its 8 values are not numbers ('-' on line 3, '?' "
            "on line "
            "7, 'x' on line 9, ...); --na-strings names codes for missing values");
  // Numbers written with a decimal comma are recognised for what they are.
  ASSERT_EQ(Build("y ~ x", Request(), "y\tx\n1\t2,5\n2\t3,0\n3\t1\n"), "");
  ASSERT_EQ(fModel.GetNotices().size(), 1u);
  EXPECT_NE(fModel.GetNotices()[0].find("('2,5' on line 2, '3,0' on line 3); --decimal-comma reads 3,5"),
            std::string::npos)
      << fModel.GetNotices()[0];
  // A column of texts alone is an ordinary factor.
  ASSERT_EQ(Build("y ~ A"), "");
  EXPECT_TRUE(fModel.GetNotices().empty());
}

TEST_F(ModelBuilderTest, ReferenceLevelsBecomeTheLastCode) {
  ASSERT_EQ(Build("y ~ A + factor(n)", Request({}, "", "", {{"A", "a1"}, {"n", "9.0"}})), "");
  const auto& a = fModel.GetVariables()[1].fLevels;
  EXPECT_EQ(a.ListLevels(), "a2, a3, a1");
  EXPECT_EQ(a.FindText("a1"), 2);
  // A numeric level is found by its value: "9.0" is the level shown as 9.
  const auto& n = fModel.GetVariables()[2].fLevels;
  EXPECT_EQ(n.ListLevels(), "2, 10, 9");
  EXPECT_EQ(n.FindNumber(9.0), 2);
  EXPECT_EQ(n.FindNumber(10.0), 1);
  EXPECT_EQ(Label(0, {0}), "[A=a2]");

  EXPECT_EQ(Build("y ~ A", Request({}, "", "", {{"A", "a9"}})),
            "--reference: 'A' has no level 'a9'; its levels are a1, a2, a3");
  EXPECT_EQ(Build("y ~ A + x", Request({}, "", "", {{"x", "1"}})),
            "--reference: 'x' is not a factor of the model");
  EXPECT_EQ(Build("y ~ A", Request({}, "", "", {{"y", "1"}})),
            "--reference: 'y' is the response of a linear model, which has no reference level (--logistic "
            "takes it as categorical)");
}

TEST_F(ModelBuilderTest, FunctionsOfColumnsAreCovariatesOfTheirOwn) {
  ASSERT_EQ(Build("log(y) ~ log(x) + x + I(sqrt(x)^2) + factor(n) + n"), "");
  EXPECT_EQ(Names(), (std::vector<std::string>{"log(y)", "n", "log(x)", "x", "sqrt(x)", "n"}));
  EXPECT_EQ(fModel.GetVariables()[2].fTransform, QXFit::Transform::kLog);
  const auto& effects = fModel.GetSettings().GetModelEffects();
  EXPECT_EQ(Label(2, {}), "sqrt(x) * sqrt(x)");
  // The column that is both a factor and a covariate has two distinct effect labels.
  EXPECT_EQ(fModel.GetEffectLabel(effects[3]), "factor(n)");
  EXPECT_EQ(fModel.GetEffectLabel(effects[4]), "n");
  EXPECT_EQ(Label(3, {0}), "[n=2]");
}

TEST_F(ModelBuilderTest, ColumnsOfTextsWithNumbersAmongThemAreFactors) {
  // The first values look numeric; the level set must still hold them once the column turns to texts.
  ASSERT_EQ(Build("y ~ g", Request(), "y,g\n1,10\n2,9\n3,x\n4,10\n"), "");
  const auto& levels = fModel.GetVariables()[1].fLevels;
  ASSERT_EQ(levels.GetNLevels(), 3);
  EXPECT_EQ(levels.GetText(0), "10");  // by bytes: "10" < "9" < "x"
  EXPECT_EQ(levels.GetText(1), "9");
  EXPECT_EQ(levels.GetText(2), "x");
}

TEST_F(ModelBuilderTest, TooManyLevelsForAFactorIsRefused) {
  std::string data = "y,id\n";
  for (int i = 0; i <= ColumnScanner::kMaxLevels; ++i) data += "1,id" + std::to_string(i) + "\n";
  EXPECT_EQ(Build("y ~ id", Request(), data.c_str()),
            "column 'id' has more than 46339 different values, too many for a factor");
}

TEST_F(ModelBuilderTest, RecordsLeftOutAreCountedByReason) {
  ASSERT_EQ(Build("y ~ log(x) + A", Request({}, "w"),
                  "y,x,A,w\n1,1,a,1\nNA,2,a,1\nInf,3,b,1\n4,0,b,1\n5,-1,a,1\n6,NaN,b,0\n7,2,NA,0\n8,5,b,2\n"
                  "9,3,a,-1\n"),
            "");
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::tmpfile(), &std::fclose);
  QXFit::RecordFileWriter::Counts counts;
  std::string error;
  ASSERT_TRUE(QXFit::RecordFileWriter::Write(fReader, fModel.GetVariables(), fModel.GetSettings(), out.get(),
                                             nullptr, counts, error))
      << error;
  EXPECT_EQ(counts.fRecordsRead, 9);
  EXPECT_EQ(counts.fRecordsUsed, 2);
  // The first reason that applies: a missing value, then a value that is not finite, then a function
  // outside its domain, then the weight.
  EXPECT_EQ(counts.fMissing.Describe(), "2 rows (lines 3, 8)");
  EXPECT_EQ(counts.fNotFinite.Describe(), "2 rows (lines 4, 7)");
  EXPECT_EQ(counts.fUndefined.Describe(), "2 rows (lines 5, 6)");
  EXPECT_EQ(counts.fWeightNotPositive.Describe(), "1 row (line 10)");
}

TEST_F(ModelBuilderTest, RecordsHoldCodesAndMissingValuesRowForRow) {
  ASSERT_EQ(Build("y ~ A + x + factor(n)", Request({}, "w", "")), "");
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::tmpfile(), &std::fclose);
  ASSERT_TRUE(out);
  QXFit::RecordFileWriter::Counts counts;
  std::string error;
  ASSERT_TRUE(QXFit::RecordFileWriter::Write(fReader, fModel.GetVariables(), fModel.GetSettings(), out.get(),
                                             nullptr, counts, error))
      << error;
  EXPECT_EQ(counts.fRecordsRead, 6);
  // Left out: row 3 (y missing) and row 5 (weight 0). Row 4 has B missing, which this model ignores.
  EXPECT_EQ(counts.fRecordsUsed, 4);
  std::rewind(out.get());
  std::vector<double> values(6 * 5);
  ASSERT_EQ(std::fread(values.data(), sizeof(double), values.size(), out.get()), values.size());
  const double m = QXMV::gMissingValue;
  // Layout: y, A, n (factor), x, w.
  const std::vector<double> expected = {1.5, 1, 2, 0.5, 1,  //
                                        2.5, 0, 1, 1.5, 2,  //
                                        m,   2, 0, 2,   1,  //
                                        4,   0, 2, 3,   1,  //
                                        5,   1, 1, 4,   0,  //
                                        6,   2, 0, 5,   1};
  EXPECT_EQ(values, expected);
}

}  // namespace

namespace {

// A response of texts, one named by --factor, or any with --logistic is categorical, coded like a
// factor; --reference picks the logistic model's reference category by text, value or position.
TEST_F(ModelBuilderTest, CategoricalResponsesMakeALogisticModel) {
  ASSERT_EQ(Build("A ~ x"), "");
  EXPECT_TRUE(fModel.IsLogistic());
  EXPECT_EQ(fModel.GetVariables()[0].fLevels.ListLevels(), "a1, a2, a3");
  EXPECT_EQ(fModel.GetResponseReference(), -1);
  ASSERT_EQ(Build("y ~ x"), "");
  EXPECT_FALSE(fModel.IsLogistic());

  ModelRequest logistic = Request({}, "", "", {{"n", "9.0"}});
  logistic.fbLogistic = true;
  for (const ModelRequest& request : {Request({"n"}, "", "", {{"n", "9.0"}}), logistic}) {
    ASSERT_EQ(Build("n ~ x", request), "");
    EXPECT_TRUE(fModel.IsLogistic());
    // Sorted by value and not reordered by the reference, which the settings carry instead.
    EXPECT_EQ(fModel.GetVariables()[0].fLevels.ListLevels(), "2, 9, 10");
    EXPECT_EQ(fModel.GetResponseReference(), 1);
  }
  ASSERT_EQ(Build("A ~ x", Request({}, "", "", {{"A", "first"}})), "");
  EXPECT_EQ(fModel.GetResponseReference(), -2);
  ASSERT_EQ(Build("A ~ x", Request({}, "", "", {{"A", "last"}})), "");
  EXPECT_EQ(fModel.GetResponseReference(), -1);
  // A level written "last" is that level, not the keyword.
  ASSERT_EQ(Build("c ~ x", Request({}, "", "", {{"c", "last"}}), "c,x\nfirst,1\nlast,2\nmiddle,3\n"), "");
  EXPECT_EQ(fModel.GetResponseReference(), 1);
  EXPECT_EQ(
      Build("A ~ x", Request({}, "", "", {{"A", "a9"}})),
      "--reference: the response 'A' has no level 'a9'; its levels are a1, a2, a3 (or give first or last)");

  // The records hold the response's codes.
  ASSERT_EQ(Build("A ~ x"), "");
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::tmpfile(), &std::fclose);
  ASSERT_TRUE(out);
  QXFit::RecordFileWriter::Counts counts;
  std::string error;
  ASSERT_TRUE(QXFit::RecordFileWriter::Write(fReader, fModel.GetVariables(), fModel.GetSettings(), out.get(),
                                             nullptr, counts, error))
      << error;
  std::rewind(out.get());
  std::vector<double> values(6 * 2);
  ASSERT_EQ(std::fread(values.data(), sizeof(double), values.size(), out.get()), values.size());
  EXPECT_EQ(values, (std::vector<double>{1, 0.5, 0, 1.5, 2, 2, 0, 3, 1, 4, 2, 5}));
}

}  // namespace
