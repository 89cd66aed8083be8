// The plain result records: parameter statistics and the ANOVA table, with what their dumps leave
// out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(Anova, DefaultShowsEveryValueMissing) {
  const QXRegANOVA table;
  const std::string dump = Dump(table);
  EXPECT_TRUE(InOrder(dump, {"Start display of QXRegANOVA", "Model", "P-Value = sysmis", "Error",
                             "Regression Mean Square = sysmis", "Total", "DegreesOfFreedom  = sysmis",
                             "End display of QXRegANOVA"}));
}

}  // namespace
