#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "qxregres600r.h"

namespace {

using QXCommon_600::QXStatus;
using QXCommon_600::Record;
using QXMath_600::QXRegRecordValidator;
using QXMath_600::QXRegSettings;
using namespace QXConst;

constexpr double kMissing = QXMV::gMissingValue;
constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::nan("");

// Record layout: 0 dependent, 1 factor of 3 categories, 2 covariate, 3 unused, 4 regression weight.
class RecordValidatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fSettings.SetDependent(0);
    fSettings.AddFactor(1, 3);
    fSettings.AddCovariate(2);
    fSettings.SetRegrWeightVar(4);
    fLinear = Make(0);
  }
  QXRegRecordValidator Make(int nTargetCategories) const {
    return QXRegRecordValidator(fSettings.GetVariableTypes(), fSettings.GetFactors(),
                                fSettings.GetFactorSizes(), nTargetCategories);
  }
  // A valid record with one value replaced.
  static Record With(int index, double value) {
    Record record(5);
    const double values[5] = {1.25, 2.0, 0.5, kNaN, 1.0};
    for (int i = 0; i < 5; ++i) record[i] = values[i];
    record[index] = value;
    return record;
  }

  QXRegSettings fSettings;
  QXRegRecordValidator fLinear;
};

TEST_F(RecordValidatorTest, CategoryCodesFromZeroUpToTheNumberOfCategoriesPass) {
  for (double code : {0.0, 1.0, 2.0, 3.0, -0.0}) {
    QXStatus status;
    EXPECT_TRUE(fLinear.IsValidRecord(With(1, code), status)) << code;
    EXPECT_TRUE(status.IsOK());
  }
}

TEST_F(RecordValidatorTest, ValuesThatCannotBeCategoryCodesAreError316) {
  const double max = std::numeric_limits<double>::max();
  for (double value :
       {3.5, 4.0, -0.3, -0.5, 2.0000001, 1e300, 2147483648.0, 4294967296.0, max, kInf, -kInf}) {
    QXStatus status;
    EXPECT_FALSE(fLinear.IsValidRecord(With(1, value), status)) << value;
    EXPECT_EQ(status.GetErrorCode(), 316) << value;
    EXPECT_TRUE(status.IsError());
    EXPECT_EQ(status.GetDiscreteDatum(1), 1);
    EXPECT_EQ(status.GetScaleDatum(1), value);
    // Scoring applies the same test to factors.
    QXStatus scoring;
    EXPECT_FALSE(fLinear.IsValid4Scoring(With(1, value), scoring));
    EXPECT_EQ(scoring.GetErrorCode(), 316);
  }
}

TEST_F(RecordValidatorTest, MissingAndNonFiniteValuesLeaveTheRecordOutQuietly) {
  const struct {
    int index;
    double value;
  } cases[] = {
      {1, -1.0},     {1, kMissing}, {1, kNaN}, {1, -1e300},  // factor
      {2, kMissing}, {2, kNaN},     {2, kInf}, {2, -kInf},   // covariate
      {0, kMissing}, {0, kNaN},     {0, kInf},               // continuous dependent
      {4, 0.0},      {4, -0.0},     {4, -2.0}, {4, kMissing}, {4, kNaN}, {4, kInf}, {4, -kInf},  // weight
  };
  for (const auto& c : cases) {
    QXStatus status;
    EXPECT_FALSE(fLinear.IsValidRecord(With(c.index, c.value), status)) << c.index << ": " << c.value;
    EXPECT_TRUE(status.IsOK()) << c.index << ": " << c.value;
  }
  // Unused variables are never looked at, and weights need not be whole numbers.
  QXStatus status;
  EXPECT_TRUE(fLinear.IsValidRecord(With(3, kInf), status));
  EXPECT_TRUE(fLinear.IsValidRecord(With(4, 0.25), status));
  // The extremes that are still values: the smallest positive weight, the finite doubles next to the
  // system-missing value and to infinity.
  const double max = std::numeric_limits<double>::max();
  EXPECT_TRUE(fLinear.IsValidRecord(With(4, std::numeric_limits<double>::denorm_min()), status));
  EXPECT_TRUE(fLinear.IsValidRecord(With(4, max), status));
  EXPECT_TRUE(fLinear.IsValidRecord(With(2, std::nextafter(kMissing, 0.0)), status));
  EXPECT_TRUE(fLinear.IsValidRecord(With(0, max), status));
  EXPECT_TRUE(status.IsOK());
}

TEST_F(RecordValidatorTest, ScoringNeedsOnlyFactorsAndCovariates) {
  QXStatus status;
  EXPECT_FALSE(fLinear.IsValidRecord(With(0, kMissing), status));
  EXPECT_TRUE(fLinear.IsValid4Scoring(With(0, kMissing), status));
  EXPECT_TRUE(fLinear.IsValid4Scoring(With(4, 0.0), status));
  EXPECT_FALSE(fLinear.IsValid4Scoring(With(2, kNaN), status));
  EXPECT_TRUE(status.IsOK());
}

TEST_F(RecordValidatorTest, RecordShorterThanTheRolesIs315ForBuildingOnly) {
  Record shortRecord(4);
  for (int i = 0; i < 4; ++i) shortRecord[i] = With(4, 1.0)[i];
  QXStatus status;
  EXPECT_FALSE(fLinear.IsValidRecord(shortRecord, status));
  EXPECT_EQ(status.GetErrorCode(), 315);
  EXPECT_TRUE(status.IsError());

  // Only the weight is cut off: the record can still be scored.
  QXStatus scoring;
  EXPECT_TRUE(fLinear.IsValid4Scoring(shortRecord, scoring));
  EXPECT_TRUE(scoring.IsOK());
  // A factor or covariate beyond the end cannot be read, so scoring reports 315 instead.
  EXPECT_FALSE(fLinear.IsValid4Scoring(Record(2), scoring));
  EXPECT_EQ(scoring.GetErrorCode(), 315);
  EXPECT_FALSE(fLinear.IsValidRecord(Record(), status));
}

TEST_F(RecordValidatorTest, CategoricalDependentTakesTheTargetCategoryCount) {
  const QXRegRecordValidator logistic = Make(2);
  QXStatus status;
  EXPECT_TRUE(logistic.IsValidRecord(With(0, 2.0), status));
  EXPECT_FALSE(logistic.IsValidRecord(With(0, -1.0), status));
  EXPECT_TRUE(status.IsOK());
  EXPECT_FALSE(logistic.IsValidRecord(With(0, 1.25), status));
  EXPECT_EQ(status.GetErrorCode(), 316);
  EXPECT_EQ(status.GetDiscreteDatum(1), 0);
  // The response is not needed to score.
  QXStatus scoring;
  EXPECT_TRUE(logistic.IsValid4Scoring(With(0, 7.5), scoring));
  EXPECT_TRUE(scoring.IsOK());

  const QXRegRecordValidator copy = logistic;
  EXPECT_FALSE(copy.IsValidRecord(With(0, 3.0), status));
}

TEST_F(RecordValidatorTest, AReplacedWeightVariableNoLongerDropsRecords) {
  ASSERT_TRUE(fSettings.SetRegrWeightVar(3));
  const QXRegRecordValidator validator = Make(0);
  QXStatus status;
  Record record = With(4, 0.0);  // the former weight
  record[3] = 2.0;
  EXPECT_TRUE(validator.IsValidRecord(record, status));
  record[3] = 0.0;
  EXPECT_FALSE(validator.IsValidRecord(record, status));
  EXPECT_TRUE(status.IsOK());
}

}  // namespace
