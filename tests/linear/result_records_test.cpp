// The plain result records (parameter statistics, ANOVA table) and the shape of the linear model's
// diagnostic dumps: what is printed, what is left out, and that nested objects print inside their
// owner's opening and closing lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "linear_test_support.h"
#include "qxregres600r.h"

namespace {

using QXMath_600::QXRegANOVA;
using QXMath_600::QXRegrParameterStats;

template <class Object>
std::string Dump(const Object& object) {
  ::testing::internal::CaptureStdout();
  object.Display();
  return ::testing::internal::GetCapturedStdout();
}

// True when every text occurs in `dump`, each after the one before it.
bool InOrder(const std::string& dump, const std::vector<std::string>& texts) {
  std::size_t at = 0;
  for (const std::string& text : texts) {
    at = dump.find(text, at);
    if (at == std::string::npos) return false;
    at += text.size();
  }
  return true;
}

TEST(ParameterStats, DefaultsAreARedundantRecordThatShowsOnlyWhatIsFormed) {
  const QXRegrParameterStats stats;
  EXPECT_EQ(stats.fParamIndex, -1);
  EXPECT_TRUE(stats.fbRedundant);
  EXPECT_EQ(stats.fDF, 0.0);
  EXPECT_EQ(Dump(stats),
            " \nBegin Parameter Stats for regression parameter = -1\nParameter estimate = sysmis\n"
            "Redundant? = true\nDegrees of freedom = 0\n");
  QXRegrParameterStats formed;
  formed.fModelEffectIndex = 2;
  formed.fStdError = 0.5;
  formed.fbExpBounds = true;
  const std::string dump = Dump(formed);
  EXPECT_TRUE(
      InOrder(dump, {"Model effect index = 2", "Redundant?", "Standard error = 0.5", "Degrees of freedom",
                     "Exp Conf Interval Lower = sysmis", "Exp Conf Interval Upper"}));
  EXPECT_EQ(dump.find("T test"), std::string::npos);
}

TEST(ParameterStats, SqrtDeffOnlyOfANonNegativeDesignEffect) {
  QXRegrParameterStats stats;
  EXPECT_EQ(stats.GetSqrtDeff(), QXMV::gMissingValue);
  stats.fDesignEffect = 4.0;
  EXPECT_EQ(stats.GetSqrtDeff(), 2.0);
  stats.fDesignEffect = -1.0;
  EXPECT_EQ(stats.GetSqrtDeff(), QXMV::gMissingValue);
  stats.fDesignEffect = 0.0;
  EXPECT_EQ(stats.GetSqrtDeff(), 0.0);
}

TEST(Anova, DefaultShowsEveryValueMissingAndAssignmentCopiesAll) {
  QXRegANOVA table;
  const std::string dump = Dump(table);
  EXPECT_TRUE(InOrder(dump, {"Start display of QXRegANOVA", "Model", "P-Value = sysmis", "Error",
                             "Regression Mean Square = sysmis", "Total", "DegreesOfFreedom  = sysmis",
                             "End display of QXRegANOVA"}));
  QXRegANOVA filled;
  filled.fTotalDF = 53.0;
  filled.fModelF = 4.5;
  table = filled;
  EXPECT_EQ(table.fTotalDF, 53.0);
  EXPECT_EQ(table.fModelF, 4.5);
}

TEST(LinearModelDisplay, ComponentDumpsItsPartsBetweenItsOwnLines) {
  QXMath_600::QXRegSettings settings;
  settings.SetDependent(0);
  settings.AddFactor(1, 2);
  settings.AddModelEffect(qx_linear_test::MakeEffect(settings, {{1}, {0}, {}}));
  qx_linear_test::RecordFile file({{1.0, 0}, {2.0, 1}, {4.0, 1}});
  QXMath_600::QXGLMComponent component(settings);
  const std::string before = Dump(component);
  EXPECT_TRUE(
      InOrder(before, {"QXGLMComponent display start", "QXRegSettings display start", "fpAlgorithm",
                       "QXGLMAlgorithm display start", "ZPrimeZMatrix pointer is 0",
                       "QXGLMAlgorithm display end", "fpOutputStats is 0", "QXGLMComponent display end"}));
  auto it = file.Iterator();
  ASSERT_TRUE(component.BuildModel(it).IsOK());
  QXMath_600::IQXRegOutputStats* stats = nullptr;
  ASSERT_TRUE(component.GetOutputStats(stats).IsOK());
  const std::string after = Dump(component);
  EXPECT_TRUE(InOrder(after, {"QXGLMAlgorithm display start",
                              "Record Validator",
                              "fFactorTables",
                              "QXGLMModel display start",
                              "Factor Tables pointer is non-zero",
                              "ZPrimeZMatrix:",
                              "Records added to matrix = 3",
                              "Parameter estimates",
                              "QXGLMModel display end",
                              "fRecordCount = 3",
                              "QXGLMAlgorithm display end",
                              "QXGLMOutputStats display start",
                              "fFactorCounts:",
                              "Begin QXRegrParameter object display.",
                              "Parameter estimate",
                              "Redundant = false",
                              "fNDegFreedom = 1",
                              "Multiple R Square",
                              "RMSE",
                              "Covariance matrix:",
                              "QXGLMOutputStats display end",
                              "QXGLMComponent display end"}));
}

}  // namespace
