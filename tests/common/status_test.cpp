#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/QXCallbacks.h"
#include "common/QXMissingValue.h"
#include "common/QXStatus.h"

using QXCommon_600::QXStatus;

TEST(Status, DefaultIsSuccessAndFlagSeparatesWarningsFromErrors) {
  QXStatus ok;
  EXPECT_TRUE(ok.IsOK());
  EXPECT_FALSE(ok.IsError());
  EXPECT_FALSE(ok.IsWarning());
  EXPECT_EQ(ok.GetErrorCode(), 0);

  QXStatus error(305, false), warning(319, true);
  EXPECT_TRUE(error.IsError());
  EXPECT_FALSE(error.IsOK());
  EXPECT_TRUE(warning.IsWarning());
  EXPECT_FALSE(warning.IsError());
  EXPECT_NE(error, warning);
}

TEST(Status, EqualityComparesAttachedData) {
  QXStatus a(316, false), b(316, false);
  EXPECT_EQ(a, b);
  a.SetDiscreteDatum(1, 4);
  EXPECT_NE(a, b);
  b.SetDiscreteDatum(1, 4);
  EXPECT_EQ(a, b);
  a.SetScaleDatum(0, std::nan(""));
  b.SetScaleDatum(0, std::nan(""));
  EXPECT_EQ(a, b);
}

TEST(Status, OutOfRangeDatumIndicesAreIgnored) {
  QXStatus s(303, false);
  s.SetDiscreteDatum(-1, 7);
  s.SetDiscreteDatum(QXStatus::kMaxData, 7);
  s.SetScaleDatum(99, 1.0);
  EXPECT_EQ(s, QXStatus(303, false));
  EXPECT_EQ(s.GetDiscreteDatum(-1), 0);
}

TEST(Status, EveryLibraryCodeHasItsOwnMessage) {
  EXPECT_NE(QXStatus(1, false).GetMessage().find("cancelled"), std::string::npos);
  for (long code = 301; code <= 337; ++code)
    EXPECT_EQ(QXStatus(code, false).GetMessage().find("unknown"), std::string::npos) << code;
  EXPECT_NE(QXStatus(999, false).GetMessage().find("unknown"), std::string::npos);
}

TEST(Status, CategoryMessageNamesValueAndVariable) {
  QXStatus s(316, false);
  s.SetDiscreteDatum(1, 2);
  s.SetScaleDatum(1, 3.5);
  EXPECT_EQ(s.GetMessage(), "error 316: categorical value 3.5 of variable 2 is not a valid category code");
}

TEST(Status, FailedPassAndOverflowMessagesSayWhatHappened) {
  QXStatus pass(304, false);
  EXPECT_EQ(pass.GetMessage(),
            "error 304: a pass of the record iterator failed (a read error or truncated data)");
  pass.SetDiscreteDatum(0, 3);
  EXPECT_EQ(
      pass.GetMessage(),
      "error 304: a pass of the record iterator failed with fail reason 3 (a read error or truncated data)");
  QXStatus overflow(313, false);
  overflow.SetDiscreteDatum(0, 2);
  overflow.SetDiscreteDatum(1, 5);
  EXPECT_NE(overflow.GetMessage().find("cross products of parameter 2 overflow"), std::string::npos);
  overflow.SetDiscreteDatum(0, 5);
  EXPECT_NE(overflow.GetMessage().find("dependent variable overflows"), std::string::npos);
}

TEST(MissingValue, IsTheMostNegativeFiniteDoubleAndBelowTheCategoryCutoff) {
  EXPECT_EQ(QXMV::gMissingValue, -std::numeric_limits<double>::max());
  EXPECT_LT(QXMV::gMissingValue, -0.5);
  EXPECT_TRUE(std::isfinite(QXMV::gMissingValue));
}

TEST(Warnings, KeepsEachWarningOnce) {
  QXCommon_600::QXWarnings warnings;
  EXPECT_TRUE(warnings.Add(QXStatus(319, true)));
  EXPECT_FALSE(warnings.Add(QXStatus(319, true)));
  EXPECT_TRUE(warnings.Add(QXStatus(326, true)));
  EXPECT_EQ(warnings.GetAll().size(), 2u);
}
