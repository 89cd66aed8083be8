#include <gtest/gtest.h>

#include <vector>

#include "qxregres600r.h"

namespace {

using QXCommon_600::QXStatus;
using QXMath_600::QXModelTestStats;
using QXMath_600::QXRectMatrix;
using QXMath_600::QXTestStats;

constexpr double kM = QXMV::gMissingValue;

void ExpectDefaultFields(const QXTestStats& s) {
  EXPECT_EQ(s.GetDF(), 0.0);  // 0.0, not missing: the tests mark an untestable hypothesis later
  EXPECT_EQ(s.GetDF2(), kM);
  EXPECT_EQ(s.GetWald(), kM);
  EXPECT_EQ(s.GetSig(), kM);
  EXPECT_EQ(s.GetAdjSig(), kM);
  EXPECT_EQ(s.GetContrastEstimate(), kM);
  EXPECT_EQ(s.GetStandardError(), kM);
  EXPECT_TRUE(s.IsUsedInOverallTest());
  EXPECT_EQ(s.GetNNonRedunRows(), 0);
  EXPECT_EQ(s.GetLowerConfidenceInterval(), kM);
  EXPECT_EQ(s.GetUpperConfidenceInterval(), kM);
}

QXTestStats Filled() {
  QXTestStats s;
  s.SetTestType(QXConst::QXTestWaldF);
  s.SetPAdjMethod(QXConst::QXPAdjSidak);
  s.SetDF(2.0);
  s.SetDF2(17.5);
  s.SetWald(4.1);
  s.SetSig(0.03);
  s.SetAdjSig(0.09);
  s.SetContrastEstimate(-1.25);
  s.SetStandardError(0.4);
  s.SetUsedInOverallTest(false);
  s.SetNNonRedunRows(3);
  s.SetLowerConfidenceInterval(-2.0);
  s.SetUpperConfidenceInterval(-0.5);
  return s;
}

TEST(TestStats, DefaultsAndResetKeepOrRestoreTheKindOfTest) {
  const QXTestStats fresh;
  EXPECT_EQ(fresh.GetTestType(), QXConst::QXTestChiSquare);
  EXPECT_EQ(fresh.GetPAdjMethod(), QXConst::QXPAdjLSD);
  ExpectDefaultFields(fresh);

  QXTestStats s = Filled();
  const QXTestStats copy = s;
  EXPECT_EQ(copy.GetDF2(), 17.5);
  EXPECT_EQ(copy.GetNNonRedunRows(), 3);
  EXPECT_FALSE(copy.IsUsedInOverallTest());

  s.Reset(false);
  EXPECT_EQ(s.GetTestType(), QXConst::QXTestWaldF);
  EXPECT_EQ(s.GetPAdjMethod(), QXConst::QXPAdjSidak);
  ExpectDefaultFields(s);
  s = Filled();
  s.Reset(true);
  EXPECT_EQ(s.GetTestType(), QXConst::QXTestChiSquare);
  EXPECT_EQ(s.GetPAdjMethod(), QXConst::QXPAdjLSD);
  ExpectDefaultFields(s);
}

TEST(ModelTestStats, ListsAreIndependentCopiesWithCheckedGetters) {
  QXModelTestStats stats;
  EXPECT_EQ(stats.GetNTests(), 0);
  EXPECT_EQ(stats.GetTestStats(0), nullptr);

  const QXTestStats record = Filled();
  QXRectMatrix l(2, 3);
  l.SetElem(0, 1, 1.0);
  l.SetElem(1, 2, -1.0);
  stats.AddTestStatsAndLMatrixAndStatus(&record, l, QXStatus(321, true));
  stats.AddTestStatsAndLMatrixAndStatus(nullptr, QXRectMatrix(), QXStatus());
  l.SetElem(0, 1, 5.0);  // the stored copy does not follow the caller's matrix

  EXPECT_EQ(stats.GetNTests(), 2);
  ASSERT_NE(stats.GetTestStats(0), nullptr);
  EXPECT_EQ(stats.GetTestStats(0)->GetWald(), 4.1);
  ExpectDefaultFields(*stats.GetTestStats(1));
  EXPECT_EQ(stats.GetTestStats(-1), nullptr);
  EXPECT_EQ(stats.GetTestStats(stats.GetNTests()), nullptr);
  ASSERT_NE(stats.GetLMatrix(0), nullptr);
  EXPECT_EQ(stats.GetLMatrix(0)->GetElem(0, 1), 1.0);
  EXPECT_EQ(stats.GetLMatrix(2), nullptr);
  ASSERT_NE(stats.GetStatus(0), nullptr);
  EXPECT_EQ(*stats.GetStatus(0), QXStatus(321, true));
  EXPECT_TRUE(stats.GetStatus(1)->IsOK());

  // Row indices were never added: that list answers null although tests exist.
  EXPECT_EQ(stats.GetRowIndices(0), nullptr);
  stats.AddRowIndices({1, 2});
  ASSERT_NE(stats.GetRowIndices(0), nullptr);
  EXPECT_EQ(*stats.GetRowIndices(0), (std::vector<int>{1, 2}));
  EXPECT_EQ(stats.GetRowIndices(1), nullptr);
}

}  // namespace
