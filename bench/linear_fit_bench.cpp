// Cost of a whole general linear model fit, BuildModel through the component (data pass, parameter
// creation, cross-product pass, sweep, fit pass), against three bare passes of the binary record
// iterator over the same file: the floor of any three-pass streaming fit. Two partial fits (the data
// pass with parameter creation, and that plus the cross-product pass) split the cost by pass.
//
// Data: 10^7 records (QX_BENCH_RECORDS overrides) of a dependent, factors A (5 levels) and B (10),
// covariates x1 and x2, and a frequency weight (1 to 3). Model: intercept, A, B, A x B, x1, x2
// (66 parameters, 7 non-zero entries per design row with the dependent).
// Run: build/bench/qx_linear_fit_bench. It prints each benchmark's medians, then the ratios and the
// records per second of the whole fit.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchData.h"
#include "BenchReport.h"
#include "qxregres600r.h"

namespace {

using QXCommon_600::BinaryRecordIterator;
using QXCommon_600::Record;

constexpr int kNVariables = 6;

void FillRecord(std::int64_t i, double* values) {
  qx_bench::CounterRandom random(i);
  auto next = [&random] { return random.Next(); };
  const int a = static_cast<int>(next() % 5);
  const int b = static_cast<int>(next() % 10);
  const double x1 = static_cast<double>(next() % 1000) / 10.0;
  const double x2 = static_cast<double>(next() % 5000) / 100.0 - 25.0;
  const double noise = static_cast<double>(next() % 1000) / 250.0;
  values[0] = 3.0 + 0.4 * a - 0.15 * b + 0.05 * a * b + 0.5 * x1 - 0.2 * x2 + noise;
  values[1] = a;
  values[2] = b;
  values[3] = x1;
  values[4] = x2;
  values[5] = 1.0 + static_cast<double>(next() % 3);
}

QXMath_600::QXRegSettings MakeSettings() {
  QXMath_600::QXRegSettings settings;
  settings.SetDependent(0);
  settings.AddFactor(1, 5);
  settings.AddFactor(2, 10);
  settings.AddCovariate(3);
  settings.AddCovariate(4);
  settings.SetFrequencyWeightVar(5);
  const std::vector<int> candidates{1, 2, 3, 4};
  const auto effect = [&](std::vector<int> factors, std::vector<int> covariates) {
    QXMath_600::QXModelEffect e(2, 2, &candidates);
    for (int f : factors) e.AddNewFactor(f, false);
    for (int c : covariates) e.AddCovariate(c);
    return e;
  };
  settings.AddModelEffect(effect({1}, {}));
  settings.AddModelEffect(effect({2}, {}));
  settings.AddModelEffect(effect({1, 2}, {}));
  settings.AddModelEffect(effect({}, {3}));
  settings.AddModelEffect(effect({}, {4}));
  return settings;
}

void ThreeBarePasses(benchmark::State& state, const qx_bench::BinaryDataFile& data) {
  FILE* file = data.Open();
  BinaryRecordIterator it(file, kNVariables);
  double sum = 0.0;
  for (auto _ : state) {
    for (int pass = 0; pass < 3; ++pass) {
      it.NewPass();
      while (it.HasMore()) sum += (*it.Next())[0];
    }
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * data.GetNRecords());
  std::fclose(file);
}

// How far the fit goes: the data pass and the parameters, then the cross products, then everything.
enum class Stage { kParameters, kCrossProducts, kBuild };

void Fit(benchmark::State& state, const qx_bench::BinaryDataFile& data, Stage stage) {
  FILE* file = data.Open();
  BinaryRecordIterator it(file, kNVariables);
  QXMath_600::QXRegSettings settings = MakeSettings();
  for (auto _ : state) {
    QXCommon_600::QXStatus status;
    if (stage == Stage::kBuild) {
      QXMath_600::QXRegFactory factory;
      std::unique_ptr<QXMath_600::IQXRegComponent> component(factory.CreateRegAlgorithm(settings));
      status = component->BuildModel(it);
    } else {
      QXMath_600::QXGLMAlgorithm algorithm(settings);
      status = algorithm.ProcessData(it);
      if (status.IsOK()) status = algorithm.CreateModelParameters();
      if (status.IsOK() && stage == Stage::kCrossProducts) status = algorithm.AccumulateCrossProducts(it);
    }
    if (!status.IsOK()) state.SkipWithError(status.GetMessage().c_str());
  }
  state.SetItemsProcessed(state.iterations() * data.GetNRecords());
  std::fclose(file);
}

// Prints the ratios of the median times once the benchmarks have run.
class RatioReporter : public qx_bench::MedianReporter {
 public:
  void PrintRatios(std::int64_t fileRecords) const {
    auto at = [this](const char* name) { return Median(name); };
    const double bare = at("ThreeBarePasses");
    const double build = at("BuildModel");
    if (bare <= 0.0 || build <= 0.0) return;
    std::printf("\nMedian CPU times relative to three bare BinaryRecordIterator passes (%lld records):\n",
                static_cast<long long>(fileRecords));
    for (const char* name : {"ThreeBarePasses", "DataPassAndParameters", "PlusCrossProducts", "BuildModel"})
      std::printf("  %-22s %6.2f\n", name, at(name) / bare);
    // The times are in milliseconds (the benchmarks' unit).
    std::printf("BuildModel: %.3g records per second\n", static_cast<double>(fileRecords) / (build / 1000.0));
  }
};

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t nRecords = qx_bench::RecordsToGenerate();
  const qx_bench::BinaryDataFile data(nRecords, kNVariables, FillRecord);

  const auto configure = qx_bench::RepeatFiveTimes;
  configure(benchmark::RegisterBenchmark("ThreeBarePasses", ThreeBarePasses, std::cref(data)));
  configure(benchmark::RegisterBenchmark("DataPassAndParameters", Fit, std::cref(data), Stage::kParameters));
  configure(benchmark::RegisterBenchmark("PlusCrossProducts", Fit, std::cref(data), Stage::kCrossProducts));
  configure(benchmark::RegisterBenchmark("BuildModel", Fit, std::cref(data), Stage::kBuild));

  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios(nRecords);
  benchmark::Shutdown();
  return 0;
}
