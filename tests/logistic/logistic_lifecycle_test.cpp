// The logistic component through the public API: its lifecycle and status codes, bad input, the
// categories and the reference, scoring and its tie rule, the warnings of a fit that did not converge,
// the degrees of freedom, the classification table, the iteration reports and cancellation from
// another thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "logistic_test_support.h"

namespace {

using qx_linear_test::MakeRecord;
using qx_linear_test::MemoryIterator;
using qx_linear_test::RecordFile;
using qx_linear_test::Records;
using qx_linear_test::Term;
using qx_logistic_test::CountingIterator;
using qx_logistic_test::Fit;
using QXCommon_600::QXStatus;
using QXMath_600::QXLogOutputStats;
using QXMath_600::QXLogRegSettings;

// Record layout: 0 y (3 categories), 1 factor A (2 levels), 2 covariate x, 3 frequency weight,
// 4 regression weight.
QXLogRegSettings Settings(bool weights = false, int nCategories = 3, int reference = -1) {
  QXLogRegSettings settings;
  settings.SetDependent(0);
  settings.AddFactor(1, 2);
  settings.AddCovariate(2);
  if (weights) {
    settings.SetFrequencyWeightVar(3);
    settings.SetRegrWeightVar(4);
  }
  settings.SetDependentRefCat(reference, nCategories);
  settings.AddModelEffect(qx_linear_test::MakeEffect(settings, Term{{1}, {0}, {}}));
  settings.AddModelEffect(qx_linear_test::MakeEffect(settings, Term{{}, {}, {2}}));
  return settings;
}

// Sixty records in which neither A nor x separates the categories.
Records Data() {
  Records r;
  for (int i = 0; i < 60; ++i)
    r.push_back({static_cast<double>((i * 7 + i / 5) % 3), static_cast<double>(i % 2),
                 ((i * 37) % 11) / 2.0 - 2.5, 1.0 + i % 3, 1.0});
  return r;
}

std::vector<std::string> WarningTexts(const QXMath_600::IQXRegComponent& component) {
  std::vector<std::string> texts;
  for (const QXStatus& w : component.GetWarnings()) texts.push_back(w.GetMessage());
  return texts;
}

// ---- Lifecycle --------------------------------------------------------------------------------------

TEST(LogisticLifecycle, ParametersThenBuildThenResultsInTheOrderOfTheInterface) {
  QXLogRegSettings settings = Settings();
  QXMath_600::QXRegFactory factory;
  std::unique_ptr<QXMath_600::IQXRegComponent> component(factory.CreateRegAlgorithm(settings));
  ASSERT_NE(component, nullptr);
  EXPECT_EQ(component->GetModelType(), QXConst::QXRegModelLogistic);
  RecordFile file(Data());
  auto it = file.Iterator();

  double predicted = 0.0;
  std::vector<double> probabilities;
  EXPECT_EQ(component->Score(MakeRecord({0, 1, 0.5, 1, 1}), predicted, probabilities).GetErrorCode(), 311);
  EXPECT_TRUE(QXMV::IsMissing(predicted));
  std::vector<QXMath_600::QXRegrParameter> parameters;
  ASSERT_TRUE(component->CreateParameters(it, parameters).IsOK());
  // Intercept, A = 0, A = 1, x, for categories 0 and 1 (2 is the reference).
  ASSERT_EQ(parameters.size(), 8u);
  EXPECT_EQ(parameters[0].GetTargetCategory(), 0);
  EXPECT_EQ(parameters[7].GetTargetCategory(), 1);
  QXMath_600::IQXRegOutputStats* stats = nullptr;
  EXPECT_EQ(component->GetOutputStats(stats).GetErrorCode(), 310);
  EXPECT_TRUE(component->GetStatus().IsOK());

  ASSERT_TRUE(component->BuildModel(it).IsOK());
  ASSERT_TRUE(component->IsModelBuilt());
  ASSERT_TRUE(component->GetOutputStats(stats).IsOK());
  QXMath_600::IQXRegOutputStats* again = nullptr;
  ASSERT_TRUE(component->GetOutputStats(again).IsOK());
  EXPECT_EQ(stats, again);
  EXPECT_EQ(stats->GetModelType(), QXConst::QXRegModelLogistic);
  EXPECT_EQ(stats->GetParameters(), parameters);
  EXPECT_FALSE(stats->GetRedundancyIndicators().IsIn(2));  // A = 1 is aliased with the intercept
  EXPECT_FALSE(stats->GetRedundancyIndicators().IsIn(6));

  EXPECT_EQ(component->BuildModel(it).GetErrorCode(), 310);
  EXPECT_EQ(component->GetStatus().GetErrorCode(), 310);
  EXPECT_FALSE(component->IsModelBuilt());
}

TEST(LogisticLifecycle, TheFactoryRefusesSettingsThatClaimTheLogisticTypeWithoutBeingLogistic) {
  struct Claiming : QXMath_600::QXRegSettings {
    QXConst::QXRegModelType GetModelType() const override { return QXConst::QXRegModelLogistic; }
  } settings;
  settings.SetDependent(0);
  QXMath_600::QXRegFactory factory;
  EXPECT_EQ(factory.CreateRegAlgorithm(settings), nullptr);
  EXPECT_EQ(factory.GetStatus().GetErrorCode(), 303);
}

TEST(LogisticLifecycle, DisplayShowsEveryPartBetweenItsMarkers) {
  Fit fit(Settings(), Data());
  ASSERT_NE(fit.stats, nullptr);
  testing::internal::CaptureStdout();
  fit.component->Display();
  const std::string out = testing::internal::GetCapturedStdout();
  for (const char* marker :
       {"QXLogComponent display start", "QXLogRegSettings display start", "QXLogAlgorithm display start",
        "QXLogModel display start", "QXRegOptimizer display start", "QXLogOutputStats display start",
        "QXLogComponent display end"})
    EXPECT_NE(out.find(marker), std::string::npos) << marker;
}

// ---- Categories, scoring ----------------------------------------------------------------------------

TEST(LogisticCategories, TheReferenceSettingOrdersTheCategories) {
  const struct {
    int setting;
    std::vector<int> categories;
  } cases[] = {{-1, {0, 1, 2}}, {-2, {1, 2, 0}}, {1, {0, 2, 1}}};
  for (const auto& c : cases) {
    Fit fit(Settings(false, 3, c.setting), Data());
    ASSERT_NE(fit.stats, nullptr);
    EXPECT_EQ(fit.stats->GetDependCategories(), c.categories) << c.setting;
    EXPECT_EQ(fit.stats->GetParameters()[4].GetTargetCategory(), c.categories[1]);
  }
}

TEST(LogisticCategories, CategoriesWithoutPositiveWeightTakeNoPartAndAMissingReferenceWarns) {
  // Four declared categories: 2 occurs only in records of weight 0 (left out), 3 never.
  Records data = Data();
  for (std::vector<double>& r : data) r[0] = r[0] == 2 ? 3 : r[0];
  data.push_back({2, 0, 0.5, 0, 1});
  QXLogRegSettings settings = Settings(true, 4, 2);
  Fit fit(settings, data);
  ASSERT_NE(fit.stats, nullptr);
  EXPECT_EQ(fit.stats->GetDependCategories(), (std::vector<int>{0, 1, 3}));
  ASSERT_EQ(fit.component->GetWarnings().size(), 1u);
  EXPECT_EQ(fit.component->GetWarnings()[0], QXStatus(319, true));
  EXPECT_EQ(fit.status, QXStatus(319, true));
  EXPECT_FALSE(fit.component->GetStatus().IsError());
  double predicted = 0.0;
  std::vector<double> probabilities;
  ASSERT_TRUE(fit.component->Score(MakeRecord({0, 1, 0.5}), predicted, probabilities).IsOK());
  EXPECT_EQ(probabilities.size(), 3u);
  EXPECT_NE(predicted, 2.0);
}

TEST(LogisticScoring, RecordsOutsideEveryCellOrWithoutCovariatesGetNoPrediction) {
  // A = 1 never occurs with these data, so its cell has no parameter.
  Records data = Data();
  for (std::vector<double>& r : data) r[1] = 0;
  Fit fit(Settings(), data);
  ASSERT_NE(fit.stats, nullptr);
  double predicted = 0.0;
  std::vector<double> probabilities;
  ASSERT_TRUE(fit.component->Score(MakeRecord({0, 1, 0.5}), predicted, probabilities).IsOK());
  EXPECT_EQ(predicted, -1.0);
  ASSERT_EQ(probabilities.size(), 3u);
  for (double p : probabilities) EXPECT_TRUE(QXMV::IsMissing(p));
  EXPECT_TRUE(fit.component->Score(MakeRecord({0, 0, QXMV::gMissingValue}), predicted, probabilities).IsOK());
  EXPECT_TRUE(QXMV::IsMissing(predicted));
  EXPECT_EQ(fit.component->Score(MakeRecord({0, 0}), predicted, probabilities).GetErrorCode(), 315);
  std::vector<double> row;
  EXPECT_FALSE(fit.stats->ExpandRow(MakeRecord({0, 1, 0.5}), row));
  ASSERT_TRUE(fit.stats->ExpandRow(MakeRecord({0, 0, 0.5}), row));
  EXPECT_EQ(row, (std::vector<double>{1, 1, 0.5}));
}

TEST(LogisticScoring, TiesGoToTheLargerWeightedCountThenUnweightedCountThenSmallerCode) {
  // Intercept only, so every record's predictors are the starting log-ratios of the categories' totals
  // of frequency x regression weight: equal for categories 0 and 1 in both data sets.
  QXLogRegSettings settings;
  settings.SetDependent(0);
  settings.SetFrequencyWeightVar(1);
  settings.SetRegrWeightVar(2);
  settings.SetDependentRefCat(-1, 3);
  const auto predict = [&](const Records& data) {
    Fit fit(settings, data);
    double predicted = 0.0;
    std::vector<double> probabilities;
    EXPECT_TRUE(fit.component->Score(MakeRecord({0, 1, 1}), predicted, probabilities).IsOK());
    EXPECT_DOUBLE_EQ(probabilities[0], probabilities[1]);
    return predicted;
  };
  // Totals 10 and 10; frequency-weighted counts 10 and 5.
  EXPECT_EQ(predict({{0, 10, 1}, {1, 5, 2}, {2, 3, 1}}), 0.0);
  // Frequency-weighted counts 10 and 10; unweighted 1 and 2.
  EXPECT_EQ(predict({{0, 10, 1}, {1, 5, 1}, {1, 5, 1}, {2, 3, 1}}), 1.0);
  // Equal in everything: the smaller code.
  EXPECT_EQ(predict({{1, 5, 1}, {0, 5, 1}, {2, 3, 1}}), 0.0);
}

// ---- Bad input and status codes ---------------------------------------------------------------------

TEST(LogisticStatus, DependentValuesThatAreNoCategoryCodeStopTheBuild) {
  for (double bad : {3.0, 3.5, -0.3}) {
    Records data = Data();
    data[5][0] = bad;
    Fit fit(Settings(), data);
    EXPECT_EQ(fit.status.GetErrorCode(), 316) << bad;
    EXPECT_EQ(fit.status.GetDiscreteDatum(1), 0) << bad;
    EXPECT_EQ(fit.status.GetScaleDatum(1), bad);
  }
}

TEST(LogisticStatus, RecordsWithoutPositiveWeightOrWithMissingValuesAreLeftOutQuietly) {
  Records data = Data();
  Fit reference(Settings(true), data);
  data.push_back({1, 0, 0.5, 0, 1});
  data.push_back({1, 1, 0.5, -2, 1});
  data.push_back({0, 1, 0.5, 1, 0});
  data.push_back({2, 1, QXMV::gMissingValue, 1, 1});
  data.push_back({-1, 1, 0.5, 1, 1});
  Fit fit(Settings(true), data);
  ASSERT_TRUE(fit.status.IsOK()) << fit.status.GetMessage();
  EXPECT_EQ(fit.stats->GetParamEstimates(), reference.stats->GetParamEstimates());
  EXPECT_EQ(fit.stats->GetTotalFreqWeight(), reference.stats->GetTotalFreqWeight());
}

TEST(LogisticStatus, DataThatCannotBeFittedAreRefusedWithTheirCodes) {
  EXPECT_EQ(Fit(Settings(), {}).status.GetErrorCode(), 307);
  EXPECT_EQ(Fit(Settings(), {{0, 0, QXMV::gMissingValue, 1, 1}}).status.GetErrorCode(), 307);
  Records oneCategory = Data();
  for (std::vector<double>& r : oneCategory) r[0] = 1;
  EXPECT_EQ(Fit(Settings(), oneCategory).status.GetErrorCode(), 318);

  // A null record while more are claimed, and a file that ends in a truncated record.
  for (bool tabulator : {false, true}) {
    QXLogRegSettings settings = Settings();
    settings.SetUsePatternTabulator(tabulator);
    QXMath_600::QXLogComponent component(settings);
    MemoryIterator nulls(Data());
    nulls.fNullAt = 7;
    EXPECT_EQ(component.BuildModel(nulls).GetErrorCode(), 312);
    RecordFile truncated(Data());
    const double half = 1.0;
    truncated.AppendBytes(&half, 4);
    QXMath_600::QXLogComponent second(settings);
    auto it = truncated.Iterator();
    const QXStatus status = second.BuildModel(it);
    EXPECT_EQ(status.GetErrorCode(), 304);
    EXPECT_EQ(status.GetDiscreteDatum(0), 3);
  }
}

TEST(LogisticStatus, MoreParametersThanTheInformationMatrixCanIndexGive305) {
  // Two categories and a factor of 46340 levels: (K - 1) P = 46341 with the intercept.
  constexpr int kLevels = 46340;
  QXLogRegSettings settings;
  settings.SetDependent(0);
  settings.AddFactor(1, kLevels);
  settings.AddModelEffect(qx_linear_test::MakeEffect(settings, Term{{1}, {0}, {}}));
  Records data;
  for (int i = 0; i < kLevels; ++i) data.push_back({static_cast<double>(i % 2), static_cast<double>(i)});
  QXMath_600::QXLogComponent component(settings);
  RecordFile file(data);
  auto it = file.Iterator();
  std::vector<QXMath_600::QXRegrParameter> parameters;
  const QXStatus status = component.CreateParameters(it, parameters);
  EXPECT_EQ(status.GetErrorCode(), 305);
  EXPECT_EQ(status.GetDiscreteDatum(0), 46341);
  EXPECT_EQ(status.GetDiscreteDatum(1), 46340);
}

// ---- How the fit ended ------------------------------------------------------------------------------

TEST(LogisticConvergence, AFitThatDidNotConvergeSaysSo) {
  QXLogRegSettings settings = Settings();
  settings.SetMaxIterations(1);
  Fit limited(settings, Data());
  ASSERT_NE(limited.stats, nullptr);
  EXPECT_EQ(limited.stats->GetConvergenceState(), 6);
  EXPECT_EQ(limited.stats->GetNIterations(), 1);
  QXStatus warning(337, true);
  warning.SetDiscreteDatum(0, 6);
  EXPECT_EQ(limited.status, warning);
  EXPECT_EQ(limited.component->GetWarnings(), std::vector<QXStatus>{warning});
  EXPECT_EQ(WarningTexts(*limited.component)[0],
            "warning 337: the maximum number of iterations was reached before the fit converged (convergence "
            "state 6)");

  settings.SetMaxIterations(0);
  Fit none(settings, Data());
  ASSERT_NE(none.stats, nullptr);
  EXPECT_EQ(none.stats->GetConvergenceState(), 9);
  EXPECT_EQ(none.stats->GetNIterations(), 0);
  EXPECT_EQ(none.status.GetDiscreteDatum(0), 9);
  EXPECT_EQ(none.stats->GetModelFitStat(QXConst::QXFitMcFadden), 0.0);

  Fit converged(Settings(), Data());
  ASSERT_NE(converged.stats, nullptr);
  EXPECT_TRUE(converged.status.IsOK());
  EXPECT_GE(converged.stats->GetConvergenceState(), 2);
  EXPECT_LE(converged.stats->GetConvergenceState(), 3);
  EXPECT_GT(converged.stats->GetFinalLogLikelihood(), converged.stats->GetInitialLogLikelihood());
}

TEST(LogisticConvergence, AnInterceptOnlyModelIsNotIteratedAndWarnsOfNothing) {
  QXLogRegSettings settings;
  settings.SetDependent(0);
  settings.SetDependentRefCat(-1, 3);
  Fit fit(settings, Data());
  ASSERT_NE(fit.stats, nullptr);
  EXPECT_EQ(fit.stats->GetConvergenceState(), 9);
  EXPECT_TRUE(fit.component->GetWarnings().empty());
  EXPECT_EQ(fit.stats->GetModelFitStat(QXConst::QXFitCoxSnell), 0.0);
  EXPECT_EQ(fit.stats->GetModelFitStat(QXConst::QXFitNagelkerke), 0.0);
  // 24, 24 and 12 records: both intercepts are log(24 / 12).
  EXPECT_EQ(fit.stats->GetParamEstimates(), (std::vector<double>{std::log(2.0), std::log(2.0)}));
}

// ---- Degrees of freedom and classification -----------------------------------------------------------

TEST(LogisticResults, ErrorDegreesOfFreedomAreTheFrequencyWeightMinusTheKeptParameters) {
  Records data = Data();
  Fit fit(Settings(true), data);
  ASSERT_NE(fit.stats, nullptr);
  const double w = fit.stats->GetTotalFreqWeight();
  EXPECT_EQ(w, 120.0);
  EXPECT_EQ(fit.stats->GetNDegFreedom(), w - 6.0);  // 2 blocks of intercept, A = 0 and x
  for (std::vector<double>& r : data) r[4] *= 1000.0;
  Fit scaled(Settings(true), data);
  EXPECT_EQ(scaled.stats->GetNDegFreedom(), w - 6.0);
  QXLogRegSettings imposed = Settings(true);
  imposed.SetDF(12.5);
  EXPECT_EQ(Fit(imposed, Data()).stats->GetNDegFreedom(), 12.5);
}

TEST(LogisticResults, TheClassificationTableCountsObservedByPredictedCategory) {
  const nlohmann::json& c = qx_logistic_test::ReferenceCases()[0];  // housing, frequency weights
  ASSERT_EQ(c["name"], "housing_three_factors_freq");
  const Records records = c["records"].get<Records>();
  Fit fit(qx_logistic_test::MakeSettings(c, true), records);
  ASSERT_NE(fit.stats, nullptr);
  EXPECT_EQ(fit.stats->GetClassificationTable(), nullptr);

  // Records that cannot be classified (missing values) leave nothing to count: 308, not kept.
  MemoryIterator invalid({{0, 0, 0, 0, QXMV::gMissingValue}});
  EXPECT_EQ(fit.stats->ComputeClassificationTable(invalid).GetErrorCode(), 308);
  EXPECT_EQ(fit.stats->GetClassificationTable(), nullptr);

  auto it = fit.file->Iterator();
  ASSERT_TRUE(fit.stats->ComputeClassificationTable(it).IsOK());
  const QXMath_600::QXRectMatrix* table = fit.stats->GetClassificationTable();
  ASSERT_NE(table, nullptr);
  const std::vector<int> categories = c["categories"];
  const std::vector<int> predicted = c["predicted"];
  std::vector<std::vector<double>> expected(3, std::vector<double>(3, 0.0));
  const int freq = qx_linear_test::ColumnIndex(c, "Freq");
  const auto position = [&](int code) {
    return std::find(categories.begin(), categories.end(), code) - categories.begin();
  };
  for (std::size_t i = 0; i < records.size(); ++i)
    expected[position(static_cast<int>(records[i][0]))][position(predicted[i])] += records[i][freq];
  for (int o = 0; o < 3; ++o)
    for (int p = 0; p < 3; ++p) EXPECT_EQ(table->GetElem(o, p), expected[o][p]) << o << " " << p;
}

// ---- Iteration reports and cancellation --------------------------------------------------------------

// Sleeps at the start of every pass, so that elapsed time has a known lower bound.
class SlowIterator : public CountingIterator {
 public:
  using CountingIterator::CountingIterator;
  int NewPass() override {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return CountingIterator::NewPass();
  }
};

struct Reports : QXCommon_600::ProgressListener {
  void Report(const QXCommon_600::QXIterationReporter& r) override {
    iterations.push_back(r.GetIteration());
    seconds.push_back(r.GetElapsedSeconds());
    if (onIteration && *onIteration == r.GetIteration()) action();
  }
  std::vector<int> iterations;
  std::vector<double> seconds;
  const int* onIteration = nullptr;
  std::function<void()> action;
};

TEST(LogisticProgress, ReportsGiveSecondsSinceTheStartAtTheSetFrequency) {
  QXLogRegSettings settings = Settings();
  Reports reports;
  settings.SetProgressListener(&reports);
  settings.SetIterationFrequency(2);
  QXMath_600::QXLogComponent component(settings);
  RecordFile file(Data());
  auto inner = file.Iterator();
  SlowIterator it(inner);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(component.BuildModel(it).IsOK());
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_GE(reports.iterations.size(), 2u);
  EXPECT_EQ(reports.iterations[0], 0);
  for (std::size_t i = 1; i + 1 < reports.iterations.size(); ++i)
    EXPECT_EQ(reports.iterations[i], 2 * static_cast<int>(i));
  // Iteration 0 follows the optimizer's first pass and iteration k at least one more pass each; the
  // optimizer starts after the data and cross-product passes.
  for (std::size_t i = 0; i < reports.seconds.size(); ++i) {
    EXPECT_GE(reports.seconds[i], 0.010 * (1 + reports.iterations[i])) << i;
    EXPECT_LE(reports.seconds[i], wall) << i;
    if (i > 0) {
      EXPECT_GE(reports.seconds[i], reports.seconds[i - 1]);
    }
  }
}

TEST(LogisticProgress, CancellingFromAnotherThreadDuringTheIterationsGivesStatus1) {
  for (bool tabulator : {false, true}) {
    QXLogRegSettings settings = Settings();
    settings.SetUsePatternTabulator(tabulator);
    Reports reports;
    const int at = 2;
    reports.onIteration = &at;
    settings.SetProgressListener(&reports);
    QXMath_600::QXLogComponent component(settings);
    reports.action = [&component] { std::thread([&component] { component.Cancel(); }).join(); };
    RecordFile file(Data());
    auto it = file.Iterator();
    EXPECT_EQ(component.BuildModel(it).GetErrorCode(), 1);
    EXPECT_EQ(component.GetStatus().GetErrorCode(), 1);
    EXPECT_FALSE(component.IsModelBuilt());
    EXPECT_EQ(reports.iterations.back(), at);
  }
}

TEST(LogisticPatterns, TheTabulatorReadsTheCallersDataTwiceAndGivesTheStreamedFit) {
  QXLogRegSettings streamed = Settings(true);
  QXLogRegSettings tabulated = Settings(true);
  tabulated.SetUsePatternTabulator(true);
  RecordFile file(Data());
  std::vector<std::vector<double>> estimates;
  std::vector<int> passes;
  std::vector<long> records;
  for (const QXLogRegSettings* settings : {&streamed, &tabulated}) {
    QXMath_600::QXLogComponent component(*settings);
    auto inner = file.Iterator();
    CountingIterator it(inner);
    ASSERT_TRUE(component.BuildModel(it).IsOK());
    passes.push_back(it.GetPasses());
    records.push_back(it.GetRecords());
    QXMath_600::IQXRegOutputStats* stats = nullptr;
    ASSERT_TRUE(component.GetOutputStats(stats).IsOK());
    estimates.push_back(stats->GetParamEstimates());
  }
  EXPECT_EQ(passes[1], 2);
  EXPECT_EQ(records[1], 2 * 60);
  EXPECT_GT(passes[0], 4);
  ASSERT_EQ(estimates[0].size(), estimates[1].size());
  for (std::size_t k = 0; k < estimates[0].size(); ++k)
    EXPECT_PRED4(qx_linear_test::NearScaled, estimates[1][k], estimates[0][k], 1e-10, 1.0);
}

}  // namespace
