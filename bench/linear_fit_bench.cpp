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
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchData.h"
#include "qxregres600r.h"

namespace {

using QXCommon_600::BinaryRecordIterator;
using QXCommon_600::Record;

constexpr int kNVariables = 6;

void FillRecord(std::int64_t i, double* values) {
  // A cheap counter-based generator keeps the file the same from run to run.
  std::uint64_t h = static_cast<std::uint64_t>(i) * 0x9E3779B97F4A7C15ull;
  auto next = [&h] {
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 27;
    return h;
  };
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

// The console output, plus each benchmark's median CPU time kept for the ratios printed at the end.
// CPU time rather than wall time: the passes are single-threaded and read a file the page cache
// holds, and on a shared machine wall time mostly measures the neighbours.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.aggregate_name == "median") fMedians[run.run_name.function_name] = run.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios(std::int64_t fileRecords) const {
    auto at = [this](const char* name) {
      auto it = fMedians.find(name);
      return it == fMedians.end() ? 0.0 : it->second;
    };
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

 private:
  std::map<std::string, double> fMedians;
};

}  // namespace

int main(int argc, char** argv) {
  const char* env = std::getenv("QX_BENCH_RECORDS");
  const std::int64_t nRecords = env != nullptr ? std::atoll(env) : 10000000;
  const qx_bench::BinaryDataFile data(nRecords, kNVariables, FillRecord);

  auto configure = [](benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
  };
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
