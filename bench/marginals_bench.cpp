// Cost of every marginal mean and every pairwise comparison of a model, against one fit of the same
// model. Marginal means read only the fitted model, so their cost does not grow with the records; the
// fit's does, and the ratio printed is for the number of records generated.
//
// Data: 10^7 records (QX_BENCH_RECORDS overrides) of a dependent and factors A (5 levels), B (10) and
// C (20). Model: intercept, A, B, C, A x B, A x C, B x C (386 parameters).
// Marginal means: the lite design rebuilt from the parameters, then nine requests: A, B and C each
// compared pairwise, and each two-way table with either factor compared within the levels of the
// other (A within B, B within A, ...); sequential Bonferroni (Holm). For every request its means, every
// pair of every test group (9040 ordered pairs) and the joint test of every group.
// Run: build/bench/qx_marginals_bench. It prints each benchmark's medians, then the ratio.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "BenchData.h"
#include "BenchReport.h"
#include "qxregres600r.h"

namespace {

constexpr int kNVariables = 4;
constexpr int kA = 1, kB = 2, kC = 3;

void FillRecord(std::int64_t i, double* values) {
  qx_bench::CounterRandom random(i);
  const int a = static_cast<int>(random.Next() % 5);
  const int b = static_cast<int>(random.Next() % 10);
  const int c = static_cast<int>(random.Next() % 20);
  const double noise = static_cast<double>(random.Next() % 1000) / 250.0;
  values[0] = 2.0 + 0.3 * a - 0.1 * b + 0.05 * c + 0.02 * a * b - 0.01 * b * c + noise;
  values[1] = a;
  values[2] = b;
  values[3] = c;
}

QXMath_600::QXRegSettings MakeSettings() {
  QXMath_600::QXRegSettings settings;
  settings.SetDependent(0);
  settings.AddFactor(kA, 5);
  settings.AddFactor(kB, 10);
  settings.AddFactor(kC, 20);
  const std::vector<int> candidates{kA, kB, kC};
  for (const std::vector<int>& factors :
       std::vector<std::vector<int>>{{kA}, {kB}, {kC}, {kA, kB}, {kA, kC}, {kB, kC}}) {
    QXMath_600::QXModelEffect e(3, 0, &candidates);
    for (int f : factors) e.AddNewFactor(f, false);
    settings.AddModelEffect(e);
  }
  return settings;
}

std::vector<QXMath_600::QXEmmeansSpec> MakeSpecs() {
  std::vector<QXMath_600::QXEmmeansSpec> specs;
  auto add = [&specs](std::vector<int> factors, int compare) {
    QXMath_600::QXEmmeansSpec spec;
    for (int f : factors) spec.AddFactor(f);
    spec.AddCompareFactor(compare);
    spec.SetPAdjust(QXConst::QXPAdjSeqBonferroni);
    specs.push_back(spec);
  };
  for (int f : {kA, kB, kC}) add({f}, f);
  for (const auto& [x, y] : std::vector<std::pair<int, int>>{{kA, kB}, {kA, kC}, {kB, kC}}) {
    add({x, y}, x);
    add({x, y}, y);
  }
  return specs;
}

// A fitted model, made once for the marginal-means benchmark.
struct FittedModel {
  explicit FittedModel(const qx_bench::BinaryDataFile& data) : settings(MakeSettings()) {
    FILE* file = data.Open();
    QXCommon_600::BinaryRecordIterator it(file, kNVariables);
    QXMath_600::QXRegFactory factory;
    component.reset(factory.CreateRegAlgorithm(settings));
    const QXCommon_600::QXStatus built = component->BuildModel(it);
    std::fclose(file);
    if (!built.IsOK() || !component->GetOutputStats(stats).IsOK()) return;
    covariance = *stats->GetCovarianceMatrix();
    const double rmse = stats->GetModelFitStat(QXConst::QXFitRootMSE);
    covariance.MultiplyByNumber(rmse * rmse * stats->GetTotalFreqWeight() / stats->GetNDegFreedom());
  }
  QXMath_600::QXRegSettings settings;
  std::unique_ptr<QXMath_600::IQXRegComponent> component;
  QXMath_600::IQXRegOutputStats* stats = nullptr;
  QXMath_600::QXSymMatrix covariance;
};

void Fit(benchmark::State& state, const qx_bench::BinaryDataFile& data) {
  FILE* file = data.Open();
  QXCommon_600::BinaryRecordIterator it(file, kNVariables);
  QXMath_600::QXRegSettings settings = MakeSettings();
  for (auto _ : state) {
    QXMath_600::QXRegFactory factory;
    std::unique_ptr<QXMath_600::IQXRegComponent> component(factory.CreateRegAlgorithm(settings));
    const QXCommon_600::QXStatus status = component->BuildModel(it);
    if (!status.IsOK()) state.SkipWithError(status.GetMessage().c_str());
  }
  state.SetItemsProcessed(state.iterations() * data.GetNRecords());
  std::fclose(file);
}

void AllMeansAndPairs(benchmark::State& state, const FittedModel& model) {
  if (model.stats == nullptr) {
    state.SkipWithError("the model was not fitted");
    return;
  }
  const std::vector<QXMath_600::QXEmmeansSpec> specs = MakeSpecs();
  std::int64_t pairs = 0;
  for (auto _ : state) {
    const QXMath_600::QXRegSettings& settings = model.settings;
    QXMath_600::QXLiteDesignMatrix lite(settings.GetFactors(), settings.GetFactorSizes(),
                                        settings.GetCovariates());
    for (const QXMath_600::QXRegrParameter& p : model.stats->GetParameters()) lite.AddRegrParameter(p);
    QXMath_600::QXCancelInfo cancel;
    QXMath_600::QXMarginals marginals(settings, specs, lite, model.stats->GetParamEstimates(), cancel, {},
                                      &model.stats->GetFactorCounts(), QXConst::QXLinkTypeIdentity, 0.0);
    marginals.SetEmmeansTesting(&model.covariance, model.stats->GetRedundancyIndicators(),
                                model.stats->GetNDegFreedom(), nullptr);
    for (int s = 0; s < marginals.GetNSpecs(); ++s) {
      const QXMath_600::QXEmmeansSpec* spec = nullptr;
      const QXMath_600::QXRectMatrix* L = nullptr;
      std::vector<QXMath_600::QXEmmeansStats> means;
      marginals.GetEmmeansStats(s, spec, L, means);
      QXCommon_600::QXStatus status;
      const int nTests = marginals.GetNEmmeansTests(s, status);
      for (int t = 0; t < nTests; ++t) {
        std::vector<std::pair<int, int>> tableFactors;
        std::vector<int> categories;
        QXMath_600::QXEmmeansStats pair;
        const int n = marginals.GetNPairwiseEmmeansTests(s, t);
        for (int p = 0; p < n; ++p)
          marginals.GetPairwiseEmmeansTests(s, t, p, tableFactors, categories, pair);
        QXMath_600::QXTestStats overall;
        marginals.GetPairwiseOverallTest(s, t, tableFactors, overall);
        pairs += n;
        benchmark::DoNotOptimize(overall);
      }
    }
  }
  state.counters["pairs"] = static_cast<double>(pairs) / static_cast<double>(state.iterations());
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t nRecords = qx_bench::RecordsToGenerate();
  const qx_bench::BinaryDataFile data(nRecords, kNVariables, FillRecord);
  const FittedModel model(data);

  const auto configure = qx_bench::RepeatFiveTimes;
  configure(benchmark::RegisterBenchmark("BuildModel", Fit, std::cref(data)));
  configure(benchmark::RegisterBenchmark("AllMeansAndPairs", AllMeansAndPairs, std::cref(model)));

  benchmark::Initialize(&argc, argv);
  qx_bench::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double fit = reporter.Median("BuildModel"), marginal = reporter.Median("AllMeansAndPairs");
  if (fit > 0.0 && marginal > 0.0)
    std::printf("\nAll means and pairs of the nine requests / one fit of %lld records: %.3f\n",
                static_cast<long long>(nRecords), marginal / fit);
  benchmark::Shutdown();
  return 0;
}
