// The linear model's course and its failures through the component, the factory and the algorithm:
// every status code of the model, sticky errors, the refusals that keep bad input from becoming a
// silently different model, scoring and row expansion, the error degrees of freedom, and
// cancellation (by the caller's query object and from another thread in the middle of a pass).
//
// Expected values are arithmetic on the small data sets written here (cell means, counts), not
// outputs of the library.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "linear_test_support.h"
#include "qxregres600r.h"

namespace {

using qx_linear_test::MakeRecord;
using qx_linear_test::MemoryIterator;
using qx_linear_test::RecordFile;
using qx_linear_test::Records;
using qx_linear_test::Term;
using QXCommon_600::MultiPassRecordIter;
using QXCommon_600::QXStatus;
using QXCommon_600::Record;
using QXMath_600::IQXRegComponent;
using QXMath_600::IQXRegOutputStats;
using QXMath_600::QXGLMAlgorithm;
using QXMath_600::QXRegSettings;

constexpr double kMissing = QXMV::gMissingValue;

// Record layout of the small models: 0 y, 1 factor A (3 categories), 2 factor B (2), 3 covariate x,
// 4 frequency weight, 5 regression weight.
QXRegSettings Settings(const std::vector<Term>& terms, bool intercept = true, bool weights = false) {
  QXRegSettings settings;
  settings.SetDependent(0);
  settings.AddFactor(1, 3);
  settings.AddFactor(2, 2);
  settings.AddCovariate(3);
  if (weights) {
    settings.SetFrequencyWeightVar(4);
    settings.SetRegrWeightVar(5);
  }
  settings.SetInterceptUse(intercept);
  for (const Term& t : terms) settings.AddModelEffect(qx_linear_test::MakeEffect(settings, t));
  return settings;
}
const Term kA{{1}, {0}, {}};
const Term kB{{2}, {0}, {}};
const Term kAB{{1, 2}, {0, 0}, {}};
const Term kX{{}, {}, {3}};

// One-way data: A = 0 has y 1, 2, 3; A = 1 has 4, 6; A = 2 has 10, 11, 12, 13 (cell means 2, 5, 11.5).
Records OneWay() {
  Records r;
  for (double y : {1.0, 2.0, 3.0}) r.push_back({y, 0, 0, 1.0, 1, 1});
  for (double y : {4.0, 6.0}) r.push_back({y, 1, 1, 2.0, 1, 1});
  for (double y : {10.0, 11.0, 12.0, 13.0}) r.push_back({y, 2, 0, 3.0, 1, 1});
  return r;
}

// A fitted component over records, or the failed build's status.
struct Fit {
  explicit Fit(const QXRegSettings& settings, const Records& records) : file(records) {
    QXRegSettings copy = settings;
    QXMath_600::QXRegFactory factory;
    component.reset(factory.CreateRegAlgorithm(copy));
    EXPECT_NE(component, nullptr);
    auto it = file.Iterator();
    status = component->BuildModel(it);
    if (status.IsOK()) component->GetOutputStats(stats);
  }
  RecordFile file;
  std::unique_ptr<IQXRegComponent> component;
  QXStatus status;
  IQXRegOutputStats* stats = nullptr;
};

class PendingCancel : public QXCommon_600::QXQueryCancel {
 public:
  bool IsCancelRequested() override { return false; }
  bool IsCancelPending() override { return ++fCalls > fAnswerNoTimes; }
  int fAnswerNoTimes = 0;
  int fCalls = 0;
};

// ---- The fitted one-way model ------------------------------------------------------------------------

TEST(LinearModel, OneFactorWithInterceptAliasesTheLastCellAgainstTheCellMeans) {
  Fit fit(Settings({kA}), OneWay());
  ASSERT_TRUE(fit.status.IsOK());
  const std::vector<double>& b = fit.stats->GetParamEstimates();
  ASSERT_EQ(b.size(), 4u);
  // Pivots are swept in index order, so the last cell is the one found aliased.
  EXPECT_DOUBLE_EQ(b[0], 11.5);
  EXPECT_DOUBLE_EQ(b[1], 2.0 - 11.5);
  EXPECT_DOUBLE_EQ(b[2], 5.0 - 11.5);
  EXPECT_EQ(b[3], 0.0);
  EXPECT_FALSE(fit.stats->GetRedundancyIndicators().IsIn(3));
  // Residual sum of squares 2 + 2 + 5 = 9 over W = 9; total 600 - 62^2 / 9 = 1556 / 9.
  EXPECT_DOUBLE_EQ(fit.stats->GetModelFitStat(QXConst::QXFitRootMSE), 1.0);
  EXPECT_DOUBLE_EQ(fit.stats->GetModelFitStat(QXConst::QXFitRSquare), 1.0 - 81.0 / 1556.0);
  EXPECT_EQ(fit.stats->GetModelFitStat(QXConst::QXFitCoxSnell), kMissing);
  ASSERT_EQ(fit.stats->GetMeanValues().size(), 2u);
  EXPECT_DOUBLE_EQ(fit.stats->GetMeanValues()[0], 19.0 / 9.0);
  EXPECT_DOUBLE_EQ(fit.stats->GetMeanValues()[1], 62.0 / 9.0);
  IQXRegOutputStats* again = nullptr;
  EXPECT_TRUE(fit.component->GetOutputStats(again).IsOK());
  EXPECT_EQ(again, fit.stats);
}

TEST(LinearModel, ImposedErrorDegreesOfFreedomWin) {
  // W - rank (here 9 - 3) is checked against lm's df.residual with the reference fits.
  QXRegSettings imposed = Settings({kA});
  imposed.SetDF(12.5);
  EXPECT_EQ(Fit(imposed, OneWay()).stats->GetNDegFreedom(), 12.5);
}

TEST(LinearModel, ScalingEveryRegressionWeightChangesNoInference) {
  Records records = OneWay();
  for (std::size_t i = 0; i < records.size(); ++i) {
    records[i][3] = 0.5 + 0.3 * double(i * i);
    records[i][4] = 1.0 + i % 2;  // frequency weight
    records[i][5] = 0.5 + 0.25 * i;
  }
  Records scaled = records;
  for (auto& r : scaled) r[5] *= 1000.0;
  Fit a(Settings({kA, kX}, true, true), records);
  Fit b(Settings({kA, kX}, true, true), scaled);
  ASSERT_TRUE(a.status.IsOK() && b.status.IsOK());
  EXPECT_EQ(a.stats->GetNDegFreedom(), b.stats->GetNDegFreedom());
  // W = 13, rank 4 (intercept, two of the three cells, x).
  EXPECT_EQ(a.stats->GetNDegFreedom(), 13.0 - 4.0);
  EXPECT_DOUBLE_EQ(b.stats->GetTotalRegrWeight(), 1000.0 * a.stats->GetTotalRegrWeight());
  // sigma^2 (X'GX)^-1 with sigma^2 = RMSE^2 W / df: the same standard errors either way.
  const auto variance = [](const IQXRegOutputStats& s, int k) {
    const double rmse = s.GetModelFitStat(QXConst::QXFitRootMSE);
    return s.GetCovarianceMatrix()->GetElem(k, k) * rmse * rmse * s.GetTotalFreqWeight() / s.GetNDegFreedom();
  };
  for (int k = 0; k < 5; ++k) {
    EXPECT_NEAR(a.stats->GetParamEstimates()[k], b.stats->GetParamEstimates()[k], 1e-12);
    EXPECT_NEAR(variance(*a.stats, k), variance(*b.stats, k), 1e-12 * variance(*a.stats, k));
  }
  EXPECT_NEAR(a.stats->GetModelFitStat(QXConst::QXFitRSquare),
              b.stats->GetModelFitStat(QXConst::QXFitRSquare), 1e-14);
}

TEST(LinearModel, ConstantDependentHasNoRSquareAndNoResidual) {
  Records records = OneWay();
  // Regression weights with which the running mean of the data pass ends an ulp away from 0.56.
  const double weights[] = {4.4, 2.9, 1.1, 2.6, 2.5, 1.8, 1.8, 2.7, 3.2};
  for (std::size_t i = 0; i < records.size(); ++i) {
    records[i][0] = 0.56;
    records[i][5] = weights[i];
  }
  Fit fit(Settings({kA}, true, true), records);
  ASSERT_TRUE(fit.status.IsOK());
  EXPECT_EQ(fit.stats->GetModelFitStat(QXConst::QXFitRSquare), kMissing);
  EXPECT_LT(fit.stats->GetModelFitStat(QXConst::QXFitRootMSE), 1e-30);
}

TEST(LinearModel, CellsOfFactorsWithHugeCategoryCountsAreFoundAsWell) {
  // B declares 3 million categories, far too many combinations to index directly, and uses three.
  // A x B has cells (0,0), (0,2999999), (1,1000), (2,0); y is exact in A + A x B.
  Records records;
  const double cells[4][2] = {{0, 0}, {0, 2999999}, {1, 1000}, {2, 0}};
  const double means[4] = {1.0, 4.0, 9.0, 16.0};
  for (int c = 0; c < 4; ++c)
    for (double d : {-0.5, 0.5}) records.push_back({means[c] + d, cells[c][0], cells[c][1], 0, 1, 1});
  QXRegSettings settings;
  settings.SetDependent(0);
  settings.AddFactor(1, 3);
  settings.AddFactor(2, 3000000);
  settings.SetInterceptUse(false);
  settings.AddModelEffect(qx_linear_test::MakeEffect(settings, kAB));
  Fit fit(settings, records);
  ASSERT_TRUE(fit.status.IsOK());
  EXPECT_EQ(fit.stats->GetParamEstimates(), (std::vector<double>{1.0, 4.0, 9.0, 16.0}));
  std::vector<double> probabilities;
  double p = 0.0;
  EXPECT_TRUE(fit.component->Score(MakeRecord({0, 1, 1000}), p, probabilities).IsOK());
  EXPECT_EQ(p, 9.0);
  EXPECT_TRUE(fit.component->Score(MakeRecord({0, 1, 999}), p, probabilities).IsOK());
  EXPECT_EQ(p, kMissing);
}

// ---- Scoring and row expansion ----------------------------------------------------------------------

TEST(LinearModelScoring, PredictsKnownCellsAndRefusesWhatCannotBeScored) {
  Fit fit(Settings({kA, kAB}), OneWay());
  ASSERT_TRUE(fit.status.IsOK());
  std::vector<double> probabilities;
  double p = 0.0;
  // The dependent and the weights may be missing or absent when scoring.
  EXPECT_TRUE(fit.component->Score(MakeRecord({kMissing, 1, 1, 0.0}), p, probabilities).IsOK());
  EXPECT_DOUBLE_EQ(p, 5.0);
  // A missing covariate: no prediction instead of one made from the most negative double.
  Fit withX(Settings({kA, kX}), OneWay());
  EXPECT_TRUE(withX.component->Score(MakeRecord({0, 1, 1, kMissing}), p, probabilities).IsOK());
  EXPECT_EQ(p, kMissing);
  // A cell of A x B never seen: no prediction.
  EXPECT_TRUE(fit.component->Score(MakeRecord({0, 1, 0, 0.0}), p, probabilities).IsOK());
  EXPECT_EQ(p, kMissing);
  // A code that is no category: the validator's 316, the caller's value untouched; the component is
  // unharmed.
  p = 42.0;
  const QXStatus bad = fit.component->Score(MakeRecord({0, 7, 0, 0.0}), p, probabilities);
  EXPECT_EQ(bad.GetErrorCode(), 316);
  EXPECT_EQ(p, 42.0);
  EXPECT_TRUE(fit.component->GetStatus().IsOK());
  // A record too short for the factors.
  EXPECT_EQ(fit.component->Score(MakeRecord({0, 1}), p, probabilities).GetErrorCode(), 315);
  EXPECT_EQ(p, 42.0);
  EXPECT_TRUE(probabilities.empty());
}

TEST(LinearModelScoring, ExpandRowFillsTheCellsItFindsAndRefusesUnscorableRecords) {
  Fit fit(Settings({kA, kAB, kX}), OneWay());
  ASSERT_TRUE(fit.status.IsOK());
  // Parameters: intercept, A 0..2, A x B cells (0,0), (1,1), (2,0), x.
  ASSERT_EQ(fit.stats->GetParameters().size(), 8u);
  std::vector<double> row{42.0};
  EXPECT_FALSE(fit.stats->ExpandRow(MakeRecord({0, 1, 0, kMissing}), row));
  EXPECT_EQ(row, std::vector<double>{42.0});
  EXPECT_TRUE(fit.stats->ExpandRow(MakeRecord({kMissing, 1, 1, 2.5}), row));
  EXPECT_EQ(row, (std::vector<double>{1, 0, 1, 0, 0, 1, 0, 2.5}));
  EXPECT_FALSE(fit.stats->ExpandRow(MakeRecord({kMissing, 1, 0, 2.5}), row));
  EXPECT_EQ(row, (std::vector<double>{1, 0, 1, 0, 0, 0, 0, 2.5}));
}

// ---- Status codes -----------------------------------------------------------------------------------

TEST(LinearModelStatus, FactoryRefusesInvalidSettingsAndCreatesEitherFamily) {
  QXMath_600::QXRegFactory factory;
  QXRegSettings noDependent;
  noDependent.AddCovariate(1);
  EXPECT_EQ(factory.CreateRegAlgorithm(noDependent), nullptr);
  EXPECT_EQ(factory.GetStatus().GetErrorCode(), 301);
  QXRegSettings empty;
  empty.SetDependent(0);
  empty.SetInterceptUse(false);
  EXPECT_EQ(factory.CreateRegAlgorithm(empty), nullptr);
  EXPECT_EQ(factory.GetStatus().GetErrorCode(), 302);
  QXMath_600::QXLogRegSettings logistic;
  logistic.SetDependent(0);
  const std::unique_ptr<QXMath_600::IQXRegComponent> logisticComponent(factory.CreateRegAlgorithm(logistic));
  ASSERT_NE(logisticComponent, nullptr);
  EXPECT_EQ(logisticComponent->GetModelType(), QXConst::QXRegModelLogistic);
  EXPECT_TRUE(factory.GetStatus().IsOK());
  // A component made directly from invalid settings answers everything with their error.
  QXMath_600::QXGLMComponent invalid(noDependent);
  MemoryIterator it(OneWay());
  EXPECT_EQ(invalid.BuildModel(it).GetErrorCode(), 301);
  EXPECT_FALSE(invalid.IsModelBuilt());
  EXPECT_TRUE(invalid.GetWarnings().empty());
}

TEST(LinearModelStatus, BuildingTwiceStopsTheComponentWith310) {
  Fit fit(Settings({kA}), OneWay());
  ASSERT_TRUE(fit.component->IsModelBuilt());
  auto it = fit.file.Iterator();
  EXPECT_EQ(fit.component->BuildModel(it).GetErrorCode(), 310);
  EXPECT_FALSE(fit.component->IsModelBuilt());
  IQXRegOutputStats* stats = nullptr;
  EXPECT_EQ(fit.component->GetOutputStats(stats).GetErrorCode(), 310);
}

TEST(LinearModelStatus, OutputStatsAndScoringBeforeTheBuildGive311) {
  QXRegSettings settings = Settings({kA});
  QXMath_600::QXGLMComponent component(settings);
  IQXRegOutputStats* stats = nullptr;
  EXPECT_EQ(component.GetOutputStats(stats).GetErrorCode(), 311);
  EXPECT_EQ(stats, nullptr);
  std::vector<double> probabilities;
  double p = 1.0;
  EXPECT_EQ(component.Score(MakeRecord({0, 1, 0, 0}), p, probabilities).GetErrorCode(), 311);
  EXPECT_EQ(p, 1.0);  // an error leaves the caller's value alone
  EXPECT_TRUE(component.GetStatus().IsOK());
  MemoryIterator it(OneWay());
  std::vector<QXMath_600::QXRegrParameter> untouched;
  EXPECT_TRUE(component.CreateParameters(it, untouched).IsOK());
  EXPECT_TRUE(untouched.empty());
  EXPECT_TRUE(component.BuildModel(it).IsOK());
  EXPECT_TRUE(component.GetOutputStats(stats).IsOK());
}

TEST(LinearModelStatus, StepsOutOfOrderAreRefused) {
  const QXRegSettings settings = Settings({kA});
  MemoryIterator it(OneWay());
  {
    QXGLMAlgorithm algorithm(settings);
    EXPECT_EQ(algorithm.CreateModelParameters().GetErrorCode(), 303);
  }
  {
    QXGLMAlgorithm algorithm(settings);
    EXPECT_EQ(algorithm.AccumulateCrossProducts(it).GetErrorCode(), 313);
  }
  {
    QXGLMAlgorithm algorithm(settings);
    EXPECT_EQ(algorithm.BuildModel(it).GetErrorCode(), 309);
  }
  {
    QXGLMAlgorithm algorithm(settings);
    EXPECT_TRUE(algorithm.ProcessData(it).IsOK());
    EXPECT_EQ(algorithm.ProcessData(it).GetErrorCode(), 306);
  }
  QXGLMAlgorithm algorithm(settings);
  ASSERT_TRUE(algorithm.ProcessData(it).IsOK());
  ASSERT_TRUE(algorithm.CreateModelParameters().IsOK());
  EXPECT_EQ(algorithm.ComputeFitStatistics(it).GetErrorCode(), 303);
  // The error sticks: the build, scoring and a second data pass all return it.
  EXPECT_EQ(algorithm.BuildModel(it).GetErrorCode(), 303);
  double p = 0.0;
  EXPECT_EQ(algorithm.Score(MakeRecord({0, 1, 0, 0}), p).GetErrorCode(), 303);
  EXPECT_EQ(algorithm.ProcessData(it).GetErrorCode(), 303);
}

TEST(LinearModelStatus, EmptyOrWhollyInvalidDataGive307) {
  EXPECT_EQ(Fit(Settings({kA}), {}).status.GetErrorCode(), 307);
  Records missing = OneWay();
  for (auto& r : missing) r[0] = kMissing;
  EXPECT_EQ(Fit(Settings({kA}), missing).status.GetErrorCode(), 307);
}

TEST(LinearModelStatus, BadIteratorsGive312And304AndSolvingNothingGives309) {
  MemoryIterator nullRecord(OneWay());
  nullRecord.fNullAt = 4;
  QXRegSettings settings = Settings({kA});
  QXMath_600::QXGLMComponent a(settings);
  EXPECT_EQ(a.BuildModel(nullRecord).GetErrorCode(), 312);

  // A truncated last record is a failed pass, not a shorter data set.
  RecordFile truncated(OneWay());
  const double half[1] = {1.0};
  truncated.AppendBytes(half, 4);
  QXMath_600::QXGLMComponent b(settings);
  auto it = truncated.Iterator();
  const QXStatus status = b.BuildModel(it);
  EXPECT_EQ(status.GetErrorCode(), 304);
  EXPECT_EQ(status.GetDiscreteDatum(0), QXCommon_600::BinaryRecordIterator::kReadFailure);

  // Records that vanish after the data pass leave the cross products empty.
  MemoryIterator once(OneWay());
  once.fbOnlyFirstPass = true;
  QXMath_600::QXGLMComponent c(settings);
  EXPECT_EQ(c.BuildModel(once).GetErrorCode(), 309);
}

TEST(LinearModelStatus, CategoryCodesWithoutALevelEndTheDataPassWith316) {
  // 7 is no code of a 3-category factor: the validator's 316.
  Records records = OneWay();
  records[5][1] = 7;
  Fit outOfRange(Settings({kA}), records);
  EXPECT_EQ(outOfRange.status.GetErrorCode(), 316);
  // 3 passes the validator (codes 0..3 are accepted so that data coded from 1 pass too) but has no
  // level in a zero-based design: refused, with the factor and the value, instead of a fit in which
  // the record lacks its column.
  records[5][1] = 3;
  Fit noLevel(Settings({kA}), records);
  EXPECT_EQ(noLevel.status.GetErrorCode(), 316);
  EXPECT_EQ(noLevel.status.GetDiscreteDatum(1), 1);
  EXPECT_EQ(noLevel.status.GetScaleDatum(1), 3.0);
  auto it = noLevel.file.Iterator();
  EXPECT_EQ(noLevel.component->BuildModel(it).GetErrorCode(), 316);
}

TEST(LinearModelStatus, ShortRecordsGive315AndForeignEffectVariables303) {
  QXRegSettings wide = Settings({kA});
  wide.AddCovariate(9);
  EXPECT_EQ(Fit(wide, OneWay()).status.GetErrorCode(), 315);
  // An effect over a covariate the settings do not have: its values could lie beyond the record.
  QXRegSettings foreign = Settings({});
  std::vector<int> candidates{1, 2, 3, 5};
  QXMath_600::QXModelEffect effect(2, 2, &candidates);
  effect.AddCovariate(5);
  foreign.AddModelEffect(effect);
  EXPECT_EQ(Fit(foreign, OneWay()).status.GetErrorCode(), 303);
}

TEST(LinearModelStatus, WeightsThatOverflowAreRefused) {
  Records records = OneWay();
  for (auto& r : records) r[4] = 1e308;  // the total frequency weight overflows
  EXPECT_EQ(Fit(Settings({kA}, true, true), records).status.GetErrorCode(), 308);
  records = OneWay();
  records[2][4] = 1e200;
  records[2][5] = 1e200;  // f g overflows
  EXPECT_EQ(Fit(Settings({kA}, true, true), records).status.GetErrorCode(), 313);
}

TEST(LinearModelStatus, CrossProductsThatOverflowAreAnErrorNotAnAliasedColumn) {
  // x^2 of 1e200 overflows: the column would fail its pivot's test and pass for an aliased one.
  const Term kXX{{}, {}, {3, 3}};
  Records records = OneWay();
  records[4][3] = 1e200;
  Fit product(Settings({kA, kXX}), records);
  EXPECT_EQ(product.status.GetErrorCode(), 313);
  EXPECT_EQ(product.status.GetDiscreteDatum(0), 4);  // intercept, A's three cells, then x * x
  EXPECT_NE(product.status.GetMessage().find("parameter 4 overflow"), std::string::npos)
      << product.status.GetMessage();
  // A value whose own square overflows: the covariate itself, or the dependent variable.
  records = OneWay();
  records[4][3] = 1e160;
  EXPECT_EQ(Fit(Settings({kX}), records).status.GetErrorCode(), 313);
  records = OneWay();
  records[4][0] = 1e160;
  Fit dependent(Settings({kA}), records);
  EXPECT_EQ(dependent.status.GetErrorCode(), 313);
  EXPECT_NE(dependent.status.GetMessage().find("dependent variable"), std::string::npos);
}

TEST(LinearModelStatus, FractionalFrequencyWeightsBelowTheRankLeaveNoErrorDegreesOfFreedom) {
  // W = 9 x 0.25 = 2.25 against a rank of 3: W - rank is negative, which no test can use.
  Records records = OneWay();
  for (auto& r : records) r[4] = 0.25;
  Fit fit(Settings({kA}, true, true), records);
  ASSERT_TRUE(fit.status.IsOK()) << fit.status.GetMessage();
  EXPECT_EQ(fit.stats->GetTotalFreqWeight(), 2.25);
  EXPECT_EQ(fit.stats->GetNDegFreedom(), kMissing);
  // Exactly as many cases as the rank is a saturated fit with 0 degrees of freedom, not a missing count.
  for (std::size_t i = 0; i < records.size(); ++i) records[i][4] = i < 6 ? 0.25 : 0.5;  // W = 3 exactly
  Fit saturated(Settings({kA}, true, true), records);
  ASSERT_TRUE(saturated.status.IsOK());
  EXPECT_EQ(saturated.stats->GetNDegFreedom(), 0.0);
}

TEST(LinearModelStatus, MoreThan46339ParametersGive305) {
  // One factor of 46339 categories, every one observed, and the intercept: 46340 parameters.
  constexpr int kLevels = 46339;
  Records records;
  records.reserve(kLevels);
  for (int i = 0; i < kLevels; ++i) records.push_back({double(i % 5), double(i)});
  QXRegSettings settings;
  settings.SetDependent(0);
  settings.AddFactor(1, kLevels);
  settings.AddModelEffect(qx_linear_test::MakeEffect(settings, Term{{1}, {0}, {}}));
  Fit fit(settings, records);
  EXPECT_EQ(fit.status.GetErrorCode(), 305);
  EXPECT_EQ(fit.status.GetDiscreteDatum(0), 46340);
  EXPECT_EQ(fit.status.GetDiscreteDatum(1), 46339);
}

// ---- Cancellation -----------------------------------------------------------------------------------

TEST(LinearModelCancel, CallersQueryAndCancelStopTheWorkWithStatus1) {
  PendingCancel query;
  query.fAnswerNoTimes = 12;  // the data pass (9 records) runs, the cross-product pass stops
  QXRegSettings settings = Settings({kA});
  settings.SetCancelPointer(&query);
  Fit fit(settings, OneWay());
  EXPECT_EQ(fit.status.GetErrorCode(), 1);
  EXPECT_FALSE(fit.component->IsModelBuilt());

  // Asked before each record and each sweep step: 9 records of the data pass, 2 steps of the
  // parameters (intercept, A), 9 records of the cross products, then the sweep (before it and before
  // each of its 4 pivots). The fourth answer of the sweep stops it between pivots.
  PendingCancel inSweep;
  inSweep.fAnswerNoTimes = 9 + 2 + 9 + 3;
  settings.SetCancelPointer(&inSweep);
  QXGLMAlgorithm algorithm(settings);
  MemoryIterator records(OneWay());
  ASSERT_TRUE(algorithm.ProcessData(records).IsOK());
  ASSERT_TRUE(algorithm.CreateModelParameters().IsOK());
  EXPECT_EQ(algorithm.BuildModel(records).GetErrorCode(), 1);
  EXPECT_EQ(algorithm.GetModel().GetRecordsAdded(), 9);
  EXPECT_FALSE(algorithm.GetModel().IsSolved());

  QXRegSettings plain = Settings({kA});
  QXMath_600::QXGLMComponent component(plain);
  component.Cancel();
  MemoryIterator it(OneWay());
  EXPECT_EQ(component.BuildModel(it).GetErrorCode(), 1);
}

// Hands each record over only after the test thread has had the chance to act at a chosen record of
// a chosen pass: there the iterator wakes the other thread and waits until it has cancelled.
class RendezvousIterator : public MultiPassRecordIter {
 public:
  RendezvousIterator(MultiPassRecordIter& inner, int pass, std::int64_t record)
      : fInner(inner), fPass(pass), fRecord(record) {}
  bool HasMore() const override { return fInner.HasMore(); }
  const Record* Next() override {
    if (fPassNo == fPass && fDelivered++ == fRecord) {
      std::unique_lock<std::mutex> lock(fMutex);
      fbReached = true;
      fChanged.notify_all();
      fChanged.wait(lock, [this] { return fbCancelled; });
    }
    return fInner.Next();
  }
  int GetFailReason() const override { return fInner.GetFailReason(); }
  int NewPass() override {
    ++fPassNo;
    fDelivered = 0;
    return fInner.NewPass();
  }
  // Called by the other thread: waits for the chosen record, runs `cancel`, lets the pass go on.
  template <class F>
  void CancelWhenReached(F&& cancel) {
    std::unique_lock<std::mutex> lock(fMutex);
    fChanged.wait(lock, [this] { return fbReached; });
    cancel();
    fbCancelled = true;
    fChanged.notify_all();
  }

 private:
  MultiPassRecordIter& fInner;
  int fPass;
  std::int64_t fRecord;
  int fPassNo = 0;
  std::int64_t fDelivered = 0;
  std::mutex fMutex;
  std::condition_variable fChanged;
  bool fbReached = false;
  bool fbCancelled = false;
};

TEST(LinearModelCancel, CancelFromAnotherThreadStopsAPassInTheMiddle) {
  // 200000 records in a file; the cancel arrives at record 100000 of the cross-product pass.
  Records records;
  records.reserve(200000);
  for (int i = 0; i < 200000; ++i)
    records.push_back({double(i % 11), double(i % 3), double(i % 2), 0.1 * (i % 17), 1, 1});
  RecordFile file(records);
  QXRegSettings settings = Settings({kA, kB, kAB, kX});
  QXMath_600::QXRegFactory factory;
  std::unique_ptr<IQXRegComponent> component(factory.CreateRegAlgorithm(settings));
  auto binary = file.Iterator();
  RendezvousIterator it(binary, 2, 100000);
  std::thread canceller([&] { it.CancelWhenReached([&] { component->Cancel(); }); });
  const QXStatus status = component->BuildModel(it);
  canceller.join();
  EXPECT_EQ(status.GetErrorCode(), 1);
  EXPECT_FALSE(component->IsModelBuilt());
  auto again = file.Iterator();
  EXPECT_EQ(component->BuildModel(again).GetErrorCode(), 1);
}

}  // namespace
