// The pattern tabulator on its own, set up as the logistic algorithm sets it up: which records become
// patterns and stored rows, the order of its operations, and cancellation.
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "logistic_test_support.h"

namespace {

using qx_linear_test::MakeRecord;
using qx_linear_test::RecordFile;
using qx_linear_test::Records;
using qx_linear_test::Term;
using QXCommon_600::QXStatus;
using QXMath_600::QXLogRegSettings;

// Record layout: 0 y (3 categories), 1 factor A (3 levels), 2 covariate x.
QXLogRegSettings Settings(bool factorEffect) {
  QXLogRegSettings settings;
  settings.SetDependent(0);
  settings.AddFactor(1, 3);
  settings.AddCovariate(2);
  settings.SetDependentRefCat(-1, 3);
  settings.SetUsePatternTabulator(true);
  if (factorEffect) settings.AddModelEffect(qx_linear_test::MakeEffect(settings, Term{{1}, {0}, {}}));
  settings.AddModelEffect(qx_linear_test::MakeEffect(settings, Term{{}, {}, {2}}));
  return settings;
}

// A = 2 never occurs; the last record has a missing covariate.
Records Data() {
  Records r;
  for (int i = 0; i < 30; ++i) r.push_back({double(i % 3), double(i % 2), double(i % 7)});
  r.push_back({0, 1, QXMV::gMissingValue});
  return r;
}

class CancelAfter : public QXCommon_600::QXQueryCancel {
 public:
  explicit CancelAfter(int calls) : fLeft(calls) {}
  bool IsCancelRequested() override { return false; }
  bool IsCancelPending() override { return --fLeft < 0; }

 private:
  int fLeft;
};

// The tables, the model and the tabulator after the first pass, as the algorithm makes them.
struct Tabulated {
  explicit Tabulated(const QXLogRegSettings& s)
      : settings(s),
        file(Data()),
        it(file.Iterator()),
        extractor(0, settings.GetFactors(), settings.GetCovariates(), -1, -1),
        cancel(settings.GetCancelPointer()),
        tables(settings.GetFactors(), settings.GetFactorSizes(), -1, 0, 3, 0, -1, 0.0, QXConst::QXOffsetNone),
        model(settings, cancel),
        tabulator(settings, extractor, cancel) {
    std::vector<std::vector<int>> lists;
    EXPECT_TRUE(QXMath_600::GetEffectFactorLists(settings, lists));
    EXPECT_TRUE(tables.SetModelEffectFactors(lists));
    tables.SetCovariates(settings.GetCovariates());
    EXPECT_TRUE(tabulator.FillFactorTables(it, tables).IsOK());
    EXPECT_EQ(tabulator.GetRecordCount(), 31);
    EXPECT_EQ(tabulator.GetValidCount(), 30);
    model.SetRecordIndices(settings.GetCovariates(), -1, 0);
    model.SetFittingRowLayout(extractor.GetCovariateOffsets(), -1, -1, extractor.GetDependentOffset(), true);
    EXPECT_TRUE(model.SetupDependCategories(tables).IsOK());
    EXPECT_TRUE(model.CreateParameters().IsOK());
  }
  QXLogRegSettings settings;
  RecordFile file;
  QXCommon_600::BinaryRecordIterator it;
  QXMath_600::QXRecordExtractor extractor;
  QXMath_600::QXCancelInfo cancel;
  QXMath_600::QXFactorTables tables;
  QXMath_600::QXLogModel model;
  QXMath_600::QXPatternTabulator tabulator;
};

TEST(PatternTabulator, RecordsFallIntoOnePatternPerCellCombinationAndEveryValidOneIsStored) {
  for (bool factorEffect : {false, true}) {
    Tabulated s(Settings(factorEffect));
    ASSERT_TRUE(s.tabulator.CreateRowPatterns(s.it, s.tables, s.model).IsOK());
    EXPECT_EQ(s.tabulator.GetNPatterns(), factorEffect ? 2 : 1);
    EXPECT_EQ(s.tabulator.GetValidCount(), 30);
    ASSERT_TRUE(s.tabulator.ProcessRowPatterns(s.model).IsOK());
    EXPECT_EQ(s.model.GetRecordsAdded(), 30);
  }
}

TEST(PatternTabulator, AStoredRowExpandsIntoThePatternsColumns) {
  Tabulated s(Settings(true));
  ASSERT_TRUE(s.tabulator.CreateRowPatterns(s.it, s.tables, s.model).IsOK());
  ASSERT_TRUE(s.tabulator.ProcessRowPatterns(s.model).IsOK());
  ASSERT_TRUE(s.model.ComputeRedundancy().IsOK());
  // Cells: intercept 0, A = 1 (parameter 2), x 3; A = 1 is aliased with the intercept. The stored row
  // holds y, A, x.
  const std::vector<int> cells{0, 2, 3};
  const std::vector<double> row{1, 1, 2.5};
  int count = 0;
  std::vector<int> indices, columns, varyingEffects;
  std::vector<double> values, fixedValues;
  ASSERT_TRUE(s.model.ExpandStoredRow(row.data(), cells, count, indices, values));
  ASSERT_TRUE(s.model.ExpandStoredPattern(cells, columns, fixedValues, varyingEffects));
  EXPECT_EQ(indices, (std::vector<int>{0, 2}));
  EXPECT_EQ(values, (std::vector<double>{1.0, 2.5}));
  EXPECT_EQ(columns, indices);
  EXPECT_EQ(fixedValues, std::vector<double>{1.0});
  double varying = 0.0;
  s.model.GetVaryingValues(row.data(), varyingEffects, &varying);
  EXPECT_EQ(varying, 2.5);
  EXPECT_FALSE(s.model.ExpandStoredRow(row.data(), {0, 7, 3}, count, indices, values));
}

TEST(PatternTabulator, RecordsWithoutAParameterCellOrValuesAreNotStored) {
  Tabulated s(Settings(true));
  ASSERT_TRUE(s.tabulator.CreateRowPatterns(s.it, s.tables, s.model).IsOK());
  EXPECT_TRUE(s.tabulator.AddRecordToPatterns(MakeRecord({0, 2, 1.0}), s.tables).IsOK());
  EXPECT_EQ(s.tabulator.AddRecordToPatterns(QXCommon_600::Record(), s.tables).GetErrorCode(), 314);
  EXPECT_EQ(s.tabulator.AddRecordToPatterns(MakeRecord({0, 1}), s.tables).GetErrorCode(), 315);
  ASSERT_TRUE(s.tabulator.ProcessRowPatterns(s.model).IsOK());
  EXPECT_EQ(s.model.GetRecordsAdded(), 30);
  EXPECT_EQ(s.tabulator.GetNPatterns(), 2);
}

TEST(PatternTabulator, PassesBeforeThePatternsExistOrTwiceAreRefused) {
  Tabulated s(Settings(true));
  EXPECT_EQ(s.tabulator.ComputeStatsForOptimizer(false).GetErrorCode(), 313);
  EXPECT_EQ(s.tabulator.ProcessRowPatterns(s.model).GetErrorCode(), 303);
  ASSERT_TRUE(s.tabulator.CreateRowPatterns(s.it, s.tables, s.model).IsOK());
  // Without the optimizer's accumulator and model, nothing to feed.
  EXPECT_EQ(s.tabulator.ComputeStatsForOptimizer(false).GetErrorCode(), 313);
  EXPECT_EQ(s.tabulator.CreateRowPatterns(s.it, s.tables, s.model).GetErrorCode(), 313);
}

// The model's own steps, in the state the tabulator leaves it: parameters created, no cross products.
TEST(PatternTabulator, TheModelRefusesItsStepsOutOfOrderAndItsErrorsStick) {
  Tabulated s(Settings(true));
  std::vector<double> start;
  QXMath_600::QXLogModel fresh(s.settings, s.cancel);
  EXPECT_EQ(fresh.GetInitialValues(start).GetErrorCode(), 303);
  EXPECT_EQ(fresh.CreateParameters().GetErrorCode(), 303);  // no categories yet
  EXPECT_EQ(s.model.ComputeRedundancy().GetErrorCode(), 309);
  EXPECT_EQ(s.model.GetStatus().GetErrorCode(), 309);
  EXPECT_EQ(s.model.GetInitialValues(start).GetErrorCode(), 309);
  EXPECT_FALSE(s.model.AddRowToXtX(std::vector<double>{0, 0, 1}.data(), {0, 1, 3}));
  Tabulated twice(Settings(true));
  EXPECT_EQ(twice.model.CreateParameters().GetErrorCode(), 303);
  // The effects' basic parameters: the intercept, A (its two observed levels), x.
  int first = -1, count = -1;
  const std::vector<std::pair<int, int>> ranges{{0, 1}, {1, 2}, {3, 1}};
  for (int e = 0; e < 3; ++e) {
    ASSERT_TRUE(twice.model.GetEffectParameterRange(e, first, count)) << e;
    EXPECT_EQ(std::make_pair(first, count), ranges[static_cast<std::size_t>(e)]) << e;
  }
  EXPECT_FALSE(twice.model.GetEffectParameterRange(3, first, count));
  EXPECT_FALSE(twice.model.GetEffectParameterRange(-1, first, count));
}

TEST(PatternTabulator, ACancelDuringAPassGivesStatus1AndLeavesThePatternsUnmarked) {
  CancelAfter cancel(31 + 5);  // the first pass asks once per record, the second stops after five
  QXLogRegSettings settings = Settings(true);
  settings.SetCancelPointer(&cancel);
  Tabulated s(settings);
  EXPECT_EQ(s.tabulator.CreateRowPatterns(s.it, s.tables, s.model).GetErrorCode(), 1);
  EXPECT_FALSE(s.tabulator.AreRowPatternsCreated());
}

}  // namespace

namespace {

// The tabulator sums a pattern's cross products of its covariate columns before it spreads them over
// the design's columns, all in double-double: X'WX, and with it the redundant parameters and the
// starting values, come out as the streamed fit's, record by record, makes them.
TEST(PatternTabulator, CrossProductsSummedByPatternAreTheStreamedOnes) {
  for (const qx_logistic_test::json& c : qx_logistic_test::ReferenceCases()) {
    const Records records = c["records"].get<Records>();
    qx_logistic_test::Fit streamed(qx_logistic_test::MakeSettings(c, false), records);
    qx_logistic_test::Fit tabulated(qx_logistic_test::MakeSettings(c, true), records);
    ASSERT_NE(streamed.stats, nullptr) << c["name"];
    ASSERT_NE(tabulated.stats, nullptr) << c["name"];
    const QXMath_600::QXSymMatrix& a = tabulated.stats->GetXPrimeWXMatrix();
    const QXMath_600::QXSymMatrix& b = streamed.stats->GetXPrimeWXMatrix();
    ASSERT_EQ(a.GetNRows(), b.GetNRows()) << c["name"];
    for (int i = 0; i < a.GetNRows(); ++i)
      for (int j = 0; j <= i; ++j)
        EXPECT_EQ(a.GetElem(i, j), b.GetElem(i, j)) << c["name"] << " " << i << " " << j;
    // Starting values from category totals, and the log-likelihood at them, summed in another order.
    EXPECT_PRED3(qx_linear_test::Near, tabulated.stats->GetInitialLogLikelihood(),
                 streamed.stats->GetInitialLogLikelihood(), 1e-14)
        << c["name"];
  }
}

}  // namespace
