#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "qxregres600r.h"

namespace {

using QXCommon_600::Record;
using QXMath_600::QXFactorCounts;
using Counts = QXFactorCounts::Counts;

Record Make(std::vector<double> values) { return Record(values.data(), static_cast<int>(values.size())); }

TEST(LevelIndex, RoundsHalfUpByTruncationThenSubtractsTheBase) {
  EXPECT_EQ(QXFactorCounts::LevelIndex(2.6, 0), 3);
  EXPECT_EQ(QXFactorCounts::LevelIndex(2.4, 0), 2);
  EXPECT_EQ(QXFactorCounts::LevelIndex(2.6, 1), 2);
  EXPECT_EQ(QXFactorCounts::LevelIndex(2.4, 1), 1);
  // Truncation is toward zero: -0.7 + 0.5 and -1.4 + 0.5 both truncate to 0.
  EXPECT_EQ(QXFactorCounts::LevelIndex(-0.7, 0), 0);
  EXPECT_EQ(QXFactorCounts::LevelIndex(-1.4, 0), 0);
  EXPECT_EQ(QXFactorCounts::LevelIndex(-1.5, 0), -1);
}

TEST(LevelIndex, ValuesWithoutAnIntLevelMapToNoLevel) {
  const double inf = std::numeric_limits<double>::infinity();
  for (double v : {std::nan(""), inf, -inf, 1e300, QXMV::gMissingValue, 2147483647.0 + 1.0, -2147483648.6})
    EXPECT_EQ(QXFactorCounts::LevelIndex(v, 0), QXFactorCounts::kNoLevel) << v;
  EXPECT_EQ(QXFactorCounts::LevelIndex(2147483647.0, 0), 2147483647);
  EXPECT_EQ(QXFactorCounts::LevelIndex(2147483647.0, -1), QXFactorCounts::kNoLevel);
  // Beyond the range of int before the base is subtracted, within it after; and values around 2^62 and
  // 2^63, where a conversion to a 64-bit integer would stop being defined.
  EXPECT_EQ(QXFactorCounts::LevelIndex(2147483648.0, 1), 2147483647);
  EXPECT_EQ(QXFactorCounts::LevelIndex(-2147483647.0, 1), -2147483647);
  EXPECT_EQ(QXFactorCounts::LevelIndex(-2147483648.0, 1), QXFactorCounts::kNoLevel);
  for (double v : {4.6e18, -4.6e18, 9.3e18, -9.3e18})
    EXPECT_EQ(QXFactorCounts::LevelIndex(v, 0), QXFactorCounts::kNoLevel) << v;
}

// Record layout: 0 factor A (3 categories), 1 factor B (2), 2 dependent (2 categories), 3 weight,
// 4 offset.
class FactorCountsTest : public ::testing::Test {
 protected:
  static QXFactorCounts Make3(QXConst::QXOffsetType type, double offsetValue = 0.5, int dependVar = 2) {
    return QXFactorCounts({0, 1}, {3, 2}, 3, dependVar, 2, 0, 4, offsetValue, type);
  }
};

TEST_F(FactorCountsTest, CountsWeightedAndUnweightedCasesPerCategory) {
  QXFactorCounts counts = Make3(QXConst::QXOffsetVariable);
  EXPECT_TRUE(counts.Update(Make({0, 1, 1, 2.0, 0.25})));
  EXPECT_TRUE(counts.Update(Make({2, 1, 0, 0.5, -1.0})));
  EXPECT_TRUE(counts.Update(Make({2, 0, 1, 0.0, 3.0})));
  EXPECT_EQ(*counts.GetCountsPtr(0), (Counts{{2.0, 1}, {0, 0}, {0.5, 2}}));
  EXPECT_EQ(*counts.GetCountsPtr(1), (Counts{{0, 1}, {2.5, 2}}));
  EXPECT_EQ(*counts.GetDependCountsPtr(), (Counts{{0.5, 1}, {2.0, 2}}));
  // Offset totals: sum of offset x weight and of weights per dependent category.
  EXPECT_EQ(*counts.GetOffsetCountsForDepCatPtr(), (Counts{{-0.5, 0.5}, {0.5, 2.0}}));
  // A category seen only with weight 0 is not active.
  EXPECT_EQ(counts.GetNActiveCategories(0), 2);
  EXPECT_EQ(counts.GetNActiveCategories(1), 1);
}

TEST_F(FactorCountsTest, OffsetValueAppliesToEveryCase) {
  QXFactorCounts counts = Make3(QXConst::QXOffsetValue, 0.5);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(counts.Update(Make({0, 0, 0, 2.0, 99})));
  EXPECT_EQ((*counts.GetOffsetCountsForDepCatPtr())[0], std::make_pair(3.0, 6.0));
  // Any other type counts as no offset.
  QXFactorCounts none = Make3(static_cast<QXConst::QXOffsetType>(7), 0.5);
  EXPECT_TRUE(none.Update(Make({0, 0, 0, 2.0, 99})));
  EXPECT_EQ((*none.GetOffsetCountsForDepCatPtr())[0], std::make_pair(0.0, 2.0));
}

TEST_F(FactorCountsTest, AnInvalidLevelFailsTheCaseButTheOtherFactorsAreCounted) {
  QXFactorCounts counts = Make3(QXConst::QXOffsetNone);
  // B = 2 is the code equal to B's number of categories: it passes the validator but has no level.
  EXPECT_FALSE(counts.Update(Make({1, 2, 0, 1.0, 0})));
  EXPECT_FALSE(counts.Update(Make({-1.5, 0, 0, 1.0, 0})));
  EXPECT_FALSE(counts.Update(Make({std::nan(""), 0, 0, 1.0, 0})));
  EXPECT_EQ(*counts.GetCountsPtr(0), (Counts{{0, 0}, {1, 1}, {0, 0}}));
  EXPECT_EQ(*counts.GetCountsPtr(1), (Counts{{2, 2}, {0, 0}}));
  // The dependent is not counted when a factor failed, nor when its own level is invalid.
  EXPECT_FALSE(counts.Update(Make({0, 0, 2, 1.0, 0})));
  EXPECT_EQ(*counts.GetDependCountsPtr(), (Counts{{0, 0}, {0, 0}}));
  // A record shorter than the variables read counts nothing.
  EXPECT_FALSE(counts.Update(Make({0, 0, 0})));
  EXPECT_EQ((*counts.GetCountsPtr(0))[0], std::make_pair(1.0, 1.0));
}

TEST_F(FactorCountsTest, WithoutADependentThereAreNoDependentCounts) {
  QXFactorCounts counts = Make3(QXConst::QXOffsetValue, 0.5, -1);
  EXPECT_EQ(counts.GetDependCountsPtr(), nullptr);
  EXPECT_EQ(counts.GetOffsetCountsForDepCatPtr(), nullptr);
  EXPECT_TRUE(counts.Update(Make({0, 0, 7, 1.0, 0})));
  QXFactorCounts noCategories({0}, {3}, -1, 2, 0, 0, -1, 0.0, QXConst::QXOffsetNone);
  EXPECT_EQ(noCategories.GetDependCountsPtr(), nullptr);
  EXPECT_TRUE(noCategories.Update(Make({1})));
}

TEST_F(FactorCountsTest, IndexAccessorsRefuseOutOfRange) {
  QXFactorCounts counts = Make3(QXConst::QXOffsetNone);
  EXPECT_EQ(counts.GetNFactors(), 2);
  EXPECT_EQ(counts.GetNCategories(1), 2);
  EXPECT_EQ(counts.GetNCategories(-1), -1);
  EXPECT_EQ(counts.GetNActiveCategories(2), -1);
  EXPECT_EQ(counts.GetCountsPtr(2), nullptr);
  EXPECT_EQ(counts.GetCountsPtr(-1), nullptr);
  // A factor without a number of categories, and one with a negative record index, have no level.
  QXFactorCounts odd({0, -3}, {2}, -1, -1, 0, 0, -1, 0.0, QXConst::QXOffsetNone);
  EXPECT_EQ(odd.GetNCategories(1), 0);
  EXPECT_FALSE(odd.Update(Make({1})));
  EXPECT_EQ((*odd.GetCountsPtr(0))[1], std::make_pair(1.0, 1.0));
}

TEST_F(FactorCountsTest, CopiesAreDeep) {
  QXFactorCounts counts = Make3(QXConst::QXOffsetValue);
  counts.Update(Make({0, 0, 0, 1.0, 0}));
  QXFactorCounts copy(counts);
  QXFactorCounts assigned = Make3(QXConst::QXOffsetNone, 0.0, -1);
  assigned = counts;
  counts.Update(Make({0, 0, 0, 1.0, 0}));
  for (const QXFactorCounts* c : {&copy, &assigned}) {
    EXPECT_EQ((*c->GetCountsPtr(0))[0], std::make_pair(1.0, 1.0));
    EXPECT_EQ((*c->GetDependCountsPtr())[0], std::make_pair(1.0, 1.0));
    EXPECT_EQ((*c->GetOffsetCountsForDepCatPtr())[0], std::make_pair(0.5, 1.0));
    EXPECT_NE(c->GetCountsPtr(0), counts.GetCountsPtr(0));
  }
}

TEST_F(FactorCountsTest, DisplayPrintsTheLabels) {
  ::testing::internal::CaptureStdout();
  Make3(QXConst::QXOffsetNone, 0.0, -1).Display();
  const std::string out = ::testing::internal::GetCapturedStdout();
  for (const char* label :
       {"QXFactorCounts display start", "Vector of factor indices", "Vector of factor numbers of categories",
        "The number of factors", "Index of the weight variable",
        "Index of the dependent categorical variable", "Number of categories for dependent variable",
        "Vector of weighted case counts for categories of this factor",
        "Vector of unweighted case counts for categories of this factor",
        "Vector of case counts for categories of the dependent variable undefined",
        "QXFactorCounts display end"})
    EXPECT_NE(out.find(label), std::string::npos) << label;
}

}  // namespace
