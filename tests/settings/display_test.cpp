#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qxregres600r.h"

namespace {

using namespace QXConst;
using QXDisplay_600::DisplayC;

template <typename Enum>
std::string Label(Enum value) {
  ::testing::internal::CaptureStdout();
  DisplayC("v", value);
  return ::testing::internal::GetCapturedStdout();
}

TEST(DisplayC, PrintsTheMembersTextAfterTheLabel) {
  EXPECT_EQ(Label(QXVarUnspecified), "v = Variable type unspecified (default)\n");
  EXPECT_EQ(Label(QXVarFreqWeight), "v = Frequency Weight: positive int values\n");
  EXPECT_EQ(Label(QXVarSubject), "v = Subject variable\n");
  EXPECT_EQ(Label(QXLinkTypeCLogLog), "v = Complementary log-log\n");
  EXPECT_EQ(Label(QXLinkTypeLogit), "v = Logit\n");
  EXPECT_EQ(Label(QXLinkTypeCumProbit), "v = Cumulative probit\n");
  EXPECT_EQ(Label(QXDistTweedie), "v = Tweedie\n");
  EXPECT_EQ(Label(QXContrastPairwise), "v = Pairwise Contrast\n");
  EXPECT_EQ(Label(QXPAdjLSD), "v = Least significance difference\n");
  EXPECT_EQ(Label(QXPAdjSeqSidak), "v = Sequential Sidak\n");
  EXPECT_EQ(Label(QXTestChiSquare), "v = Chi-Square test\n");
  EXPECT_EQ(Label(QXEffectNone), "v = Analysis type None (no effect analysis)\n");
  EXPECT_EQ(Label(QXOffsetValue), "v = Offset value\n");
  EXPECT_EQ(Label(QXCovbRobust), "v = Robust\n");
  EXPECT_EQ(Label(QXCategData), "v = Data\n");
  EXPECT_EQ(Label(QXCategRefValue), "v = Category specified by value\n");
  EXPECT_EQ(Label(QXMissingInclude), "v = Include user missing in classification variables\n");
  EXPECT_EQ(Label(QXConvAbsolute), "v = Absolute convergence\n");
  EXPECT_EQ(Label(QXConvRelative), "v = Relative convergence\n");
  EXPECT_EQ(Label(QXDepEventsConstTrials), "v = Events variable and constant trials\n");
  EXPECT_EQ(Label(QXEmmTransformed), "v = Transformed\n");
  EXPECT_EQ(Label(QXHessianFisher), "v = Fisher scoring\n");
  EXPECT_EQ(Label(QXHessianHybrid), "v = Hybrid\n");
}

TEST(DisplayC, ValuesWithoutATextPrintTheirEnumerationsUnrecognizedVariant) {
  // Members that have no text of their own.
  EXPECT_EQ(Label(QXDistNomMultinomial), "v = Type unrecognized\n");
  EXPECT_EQ(Label(QXTestIndividualT), "v = unrecognized\n");
  EXPECT_EQ(Label(QXTestIndividualChiSquare), "v = unrecognized\n");
  EXPECT_EQ(Label(QXConvType{0}), "v = unrecognized\n");
  EXPECT_EQ(Label(QXHessianCompMethod{0}), "v = Type unrecognized\n");
  // Stray values, including ones far outside any table.
  EXPECT_EQ(Label(QXVariableType{9}), "v = unrecognized\n");
  EXPECT_EQ(Label(LinkType{-1}), "v = Type unrecognized\n");
  EXPECT_EQ(Label(QXContrastType{7}), "v = unrecognized\n");
  EXPECT_EQ(Label(QXPAdjustMethod{-2147483647 - 1}), "v = unrecognized\n");
  EXPECT_EQ(Label(QXEffectAnalysisType{4}), "v = unrecognized\n");
  EXPECT_EQ(Label(QXOffsetType{3}), "v = Type unrecognized\n");
  EXPECT_EQ(Label(QXCovbType{2}), "v = unrecognized\n");
  EXPECT_EQ(Label(QXCategOrder{3}), "v = unrecognized\n");
  EXPECT_EQ(Label(QXCategRef{2147483647}), "v = Category unrecognized\n");
  EXPECT_EQ(Label(QXClassMissing{2}), "v = unrecognized\n");
  EXPECT_EQ(Label(QXDependentType{4}), "v = Type unrecognized\n");
  EXPECT_EQ(Label(QXEmmScaleType{2}), "v = unrecognized\n");
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

// The displayed labels in order, each line cut at " = ".
std::vector<std::string> Labels(const std::string& text) {
  std::vector<std::string> labels;
  for (const std::string& line : Lines(text)) labels.push_back(line.substr(0, line.find(" = ")));
  return labels;
}

TEST(SettingsDisplay, LogisticDisplayWrapsTheBaseDisplayAndItsEffects) {
  QXMath_600::QXLogRegSettings settings;
  std::vector<int> vars{1};
  settings.AddModelEffect(QXMath_600::QXModelEffect(1, 0, &vars));
  ::testing::internal::CaptureStdout();
  settings.Display();
  const std::vector<std::string> labels = Labels(::testing::internal::GetCapturedStdout());
  const std::vector<std::string> expected{" ",
                                          "QXLogRegSettings display start",
                                          " ",
                                          "QXRegSettings display start",
                                          "fFreqWeightVar",
                                          "fRegrWeightVar",
                                          "Dependent Var",
                                          "Factors ",
                                          "Factor Sizes ",
                                          "Covariates ",
                                          "Tolerance",
                                          "Intercept use",
                                          "Model effects transform",
                                          "Confidence",
                                          "Degrees of freedom",
                                          "",
                                          "Model Effects:",
                                          "Begin QXModelEffect object display.",
                                          "Factors in model",
                                          "Factors in effect",
                                          "Nesting levels",
                                          "Covariates in model",
                                          "Factor after Covariates in ()?",
                                          "Covariates in effect",
                                          "The main vector",
                                          "End QXModelEffect object display.",
                                          "Maximum number of threads",
                                          "Memory cache limit in KB",
                                          "Multithreading is used",
                                          "Multithreaded iterators are used",
                                          "QXRegSettings display end",
                                          "N of Dependent Categories",
                                          "Dependent Var reference Category",
                                          "Log-Likelihood Function Convergence Criterion",
                                          "Parameter Estimates Convergence Criterion",
                                          "Maximum number of Iteration",
                                          "Maximum Step-Halving Allowed",
                                          "Staring Iteration",
                                          "Log-Likelihood Function absolute change",
                                          "Parameter Estimates absolute change",
                                          "Show Iteration history frequency",
                                          "QXLogRegSettings display end"};
  EXPECT_EQ(labels, expected);
}

TEST(ParameterDisplay, SaysWhatIsAbsentAndShowsATargetOnlyWhenSet) {
  QXMath_600::QXRegrParameter parameter;
  ::testing::internal::CaptureStdout();
  parameter.Display();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Begin QXRegrParameter object display.\nNo factors are present.\nNo covariates are present.\n"
            "Index of the effect = -1\nEnd QXRegrParameter object display.\n\n");
  parameter.AddFactor(4, 1, 0);
  parameter.AddCovariate(6, 2);
  parameter.SetTargetCategory(0);
  ::testing::internal::CaptureStdout();
  parameter.Display();
  EXPECT_EQ(Labels(::testing::internal::GetCapturedStdout()),
            (std::vector<std::string>{"Begin QXRegrParameter object display.",
                                      "The factors:", "Categories:", "Factor nesting levels:", "Covariates:",
                                      "Covariate multiplicities:", "Index of the effect", "Target category",
                                      "End QXRegrParameter object display.", ""}));
}

}  // namespace
