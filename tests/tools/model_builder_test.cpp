// From a data file and a formula to the library's settings: column typing and level coding, the
// record layout, the model effects with their nesting levels and covariate powers, the labels of
// parameters, the records written for the library, and the refusals that must name the column.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "common/QXMissingValue.h"
#include "settings/QXRegrParameter.h"
#include "tests/tools/tools_test_files.h"
#include "tools/qxfit/ColumnScanner.h"
#include "tools/qxfit/CsvReader.h"
#include "tools/qxfit/FormulaParser.h"
#include "tools/qxfit/ModelBuilder.h"
#include "tools/qxfit/RecordFileWriter.h"

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

class ModelBuilderTest : public ::testing::Test {
 protected:
  // Parses, resolves, scans and builds; returns the error text, empty on success.
  std::string Build(const std::string& formulaText, const ModelRequest& request = {},
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
  ASSERT_EQ(Build("y ~ x + B %in% A + A:I(x^2)", {{}, "", "w"}), "");
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
  ASSERT_EQ(Build("y ~ n %in% B %in% A", {{"n"}, "", ""}), "");
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
  ASSERT_EQ(Build("y ~ n + x", {{"n"}, "", ""}), "");
  EXPECT_EQ(fModel.GetSettings().GetFactors(), (std::vector<int>{1}));
}

TEST_F(ModelBuilderTest, RefusalsNameTheColumn) {
  EXPECT_EQ(Build("y ~ A + zz"), "unknown column 'zz'");
  EXPECT_EQ(Build("y ~ A", {{"nope"}, "", ""}), "unknown column 'nope' in --factor");
  EXPECT_EQ(Build("y ~ A", {{}, "weight", ""}), "unknown column 'weight'");
  EXPECT_EQ(Build("A ~ x"), "the response 'A' must be a numeric column, not a factor");
  EXPECT_EQ(Build("y ~ x", {{"y"}, "", ""}), "the response 'y' must be a numeric column, not a factor");
  EXPECT_EQ(Build("y ~ x + y"), "the response 'y' also appears among the terms");
  EXPECT_EQ(Build("y ~ I(A^2)"), "'I(A^2)' needs a numeric column, but 'A' is a factor");
  EXPECT_EQ(Build("y ~ I(n*x)", {{"n"}, "", ""}), "'I(n*x)' needs a numeric column, but 'n' is a factor");
  EXPECT_EQ(Build("y ~ x", {{}, "A", ""}), "the weight 'A' must be a numeric column");
  EXPECT_EQ(Build("y ~ x", {}, "y,x,x\n1,2,3\n"), "column 'x' appears more than once in the header");
}

TEST_F(ModelBuilderTest, ColumnsOfTextsWithNumbersAmongThemAreFactors) {
  // The first values look numeric; the level set must still hold them once the column turns to texts.
  ASSERT_EQ(Build("y ~ g", {}, "y,g\n1,10\n2,9\n3,x\n4,10\n"), "");
  const auto& levels = fModel.GetVariables()[1].fLevels;
  ASSERT_EQ(levels.GetNLevels(), 3);
  EXPECT_EQ(levels.GetText(0), "10");  // by bytes: "10" < "9" < "x"
  EXPECT_EQ(levels.GetText(1), "9");
  EXPECT_EQ(levels.GetText(2), "x");
}

TEST_F(ModelBuilderTest, TooManyLevelsForAFactorIsRefused) {
  std::string data = "y,id\n";
  for (int i = 0; i <= ColumnScanner::kMaxLevels; ++i) data += "1,id" + std::to_string(i) + "\n";
  EXPECT_EQ(Build("y ~ id", {}, data.c_str()),
            "column 'id' has more than 46339 different values, too many for a factor");
}

TEST_F(ModelBuilderTest, RecordsHoldCodesAndMissingValuesRowForRow) {
  ASSERT_EQ(Build("y ~ A + x + factor(n)", {{}, "w", ""}), "");
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
