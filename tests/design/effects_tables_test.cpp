#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "qxregres600r.h"

namespace {

using QXCommon_600::Record;
using QXMath_600::QXEffectsTables;
using QXMath_600::QXHashPair;

// Factors A (record index 0, 3 categories), B (1, 3), C (2, 2); effects intercept, A, A x B, B.
class EffectsTablesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fTables.SetInfo({0, 1, 2}, {3, 3, 2}, 0));
    ASSERT_TRUE(fTables.SetModelEffectFactors({{}, {0}, {0, 1}, {1}}));
    for (auto [a, b] : std::vector<std::array<int, 2>>{{2, 2}, {0, 1}, {1, 0}, {0, 0}, {2, 1}, {0, 2}}) {
      const double values[] = {double(a), double(b), 0.0};
      ASSERT_TRUE(fTables.UpdateAll(Record(values, 3)));
    }
  }
  QXEffectsTables fTables;
};

TEST_F(EffectsTablesTest, SetInfoFillsOnlyAnEmptyObject) {
  EXPECT_FALSE(fTables.SetInfo({0}, {2}, 0));
  QXEffectsTables constructed({0}, {2}, 1);
  EXPECT_FALSE(constructed.SetInfo({0}, {2}, 0));
  QXEffectsTables effectsOnly;
  ASSERT_TRUE(effectsOnly.SetModelEffectFactors({{}}));
  EXPECT_FALSE(effectsOnly.SetInfo({0}, {2}, 0));
}

TEST_F(EffectsTablesTest, NumbersFromZeroAndGivesPositionsWithinEffects) {
  // 1 + 3 (A) + 6 (A x B) + 3 (B).
  EXPECT_EQ(fTables.CreateParameterIndices(), 13);
  EXPECT_EQ(fTables.GetParameterOffsets(), (std::vector<int>{0, 1, 4, 10}));
  bool ok = false;
  const double row[] = {2, 1, 0};
  // A x B cells in key order: (0,0) (0,1) (0,2) (1,0) (2,1) (2,2).
  EXPECT_EQ(fTables.GetRowEffectParamIndices(row, ok), (std::vector<int>{0, 2, 4, 1}));
  EXPECT_TRUE(ok);
  const double empty[] = {1, 2, 0};
  EXPECT_EQ(fTables.GetRowEffectParamIndices(empty, ok), (std::vector<int>{0, 1, -1, 2}));
  EXPECT_FALSE(ok);
  EXPECT_EQ(fTables.GetRowEffectParamIndices(nullptr, ok), (std::vector<int>{0, -1, -1, -1}));
  EXPECT_FALSE(ok);

  EXPECT_EQ(fTables.GetEffectLocalParameterIndex(0, {}), 0);
  EXPECT_EQ(fTables.GetEffectLocalParameterIndex(2, {1, 0}), 3);
  EXPECT_LT(fTables.GetEffectLocalParameterIndex(2, {1, 1}), 0);
  EXPECT_LT(fTables.GetEffectLocalParameterIndex(2, {1}), 0);
  EXPECT_LT(fTables.GetEffectLocalParameterIndex(4, {1}), 0);
  const QXHashPair<int>* pair = fTables.GetEffectHashPairPtr(2, {2, 2});
  ASSERT_NE(pair, nullptr);
  EXPECT_EQ(pair->GetKey().GetValueVector(), (std::vector<int>{2, 2}));
  EXPECT_EQ(pair->GetValue(), 9);
  EXPECT_EQ(fTables.GetEffectHashPairPtr(2, {2, 0}), nullptr);
  EXPECT_EQ(fTables.GetEffectHashPairPtr(0, {}), nullptr);
}

TEST_F(EffectsTablesTest, NumbersWithinGroupsOfEqualLeadingLevels) {
  std::vector<int> nParams;
  // Prefix length 1: A and B have every cell at 0; A x B counts within each level of A.
  EXPECT_EQ(fTables.CreateParamIndicesSS({7}, nParams), 1 + 3 + 3);
  EXPECT_EQ(nParams, (std::vector<int>{1, 1, 3, 1}));
  EXPECT_EQ(fTables.GetParameterOffsets(), (std::vector<int>{0, 0, 0, 0}));
  const std::vector<std::pair<std::vector<int>, int>> expected = {{{0, 0}, 0}, {{0, 1}, 1}, {{0, 2}, 2},
                                                                  {{1, 0}, 0}, {{2, 1}, 0}, {{2, 2}, 1}};
  for (const auto& [cell, index] : expected)
    EXPECT_EQ(fTables.GetEffectHashPairPtr(2, cell)->GetValue(), index);
  EXPECT_EQ(fTables.GetEffectHashPairPtr(1, {2})->GetValue(), 0);
  EXPECT_EQ(fTables.GetNEffectParameters(2), 3);

  // Prefix length 0: one group per effect, the plain positions.
  EXPECT_EQ(fTables.CreateParamIndicesSS({}, nParams), 1);
  EXPECT_EQ(nParams, (std::vector<int>{1, 3, 6, 3}));
  EXPECT_EQ(fTables.GetEffectHashPairPtr(2, {2, 2})->GetValue(), 5);
  // Prefix longer than an effect: its whole key decides the group.
  EXPECT_EQ(fTables.CreateParamIndicesSS({0, 0}, nParams), 1 + 6);
  EXPECT_EQ(nParams, (std::vector<int>{1, 1, 1, 1}));
}

TEST_F(EffectsTablesTest, RecordsLevelsWithoutARangeCheckButRefusesNonNumbers) {
  const double beyond[] = {5, 0, 0};
  EXPECT_TRUE(fTables.UpdateAll(Record(beyond, 3)));
  EXPECT_EQ(fTables.CreateParameterIndices(), 15);
  EXPECT_EQ(fTables.GetEffectLocalParameterIndex(1, {5}), 3);
  const double nan[] = {std::nan(""), 0, 0};
  EXPECT_FALSE(fTables.UpdateAll(Record(nan, 3)));
  EXPECT_FALSE(fTables.UpdateAll(Record(beyond, 2)));
  EXPECT_EQ(fTables.CreateParameterIndices(), 15);
}

TEST_F(EffectsTablesTest, DisplayIsFramed) {
  ::testing::internal::CaptureStdout();
  fTables.Display();
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("QXEffectsTables display start"), std::string::npos);
  EXPECT_NE(out.find("Vector of local parameter indices"), std::string::npos);
  EXPECT_NE(out.find("QXEffectsTables display end"), std::string::npos);
}

}  // namespace
