// Cost of a whole multinomial logistic regression fit, BuildModel through the component, streamed
// (every pass reads the file) and with the pattern tabulator (the file is read twice, every later pass
// runs over rows kept in memory), against one bare pass of the binary record iterator over the same
// file.
//
// Data: 10^6 records (QX_BENCH_RECORDS overrides) of a three-category response drawn from a known
// baseline-category logit model, factors A (5 levels) and B (10), covariates x1 and x2. Model:
// intercept, A, B, x1, x2 (18 parameters per category block, 16 kept; 5 non-zero entries per design
// row). Set QX_BENCH_WRITE to a path to keep a copy of the binary file (records of 5 doubles: y, A, B,
// x1, x2) for timing other programs on the same data.
// Run: build/bench/qx_logistic_fit_bench. It prints each benchmark's medians, the iterations of the
// fit and its log-likelihood, the ratios to the bare pass, and the peak resident memory of the process
// (run one fit alone, --benchmark_filter='BarePass|FitTabulated', for the memory of that fit).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "BenchData.h"
#include "BenchReport.h"
#include "qxregres600r.h"

namespace {

using QXCommon_600::BinaryRecordIterator;

constexpr int kNVariables = 5;

void FillRecord(std::int64_t i, double* values) {
  qx_bench::CounterRandom random(i);
  auto next = [&random] { return random.Next(); };
  const int a = static_cast<int>(next() % 5);
  const int b = static_cast<int>(next() % 10);
  const double x1 = static_cast<double>(next() % 1000) / 100.0;
  const double x2 = static_cast<double>(next() % 5000) / 1000.0 - 2.5;
  const double u = static_cast<double>(next() >> 11) * 0x1p-53;
  const double e1 = std::exp(0.3 + 0.2 * a - 0.1 * b + 0.08 * x1 - 0.5 * x2);
  const double e2 = std::exp(-0.2 + 0.1 * a + 0.05 * b - 0.06 * x1 + 0.4 * x2);
  const double sum = 1.0 + e1 + e2;
  values[0] = u < e1 / sum ? 0.0 : u < (e1 + e2) / sum ? 1.0 : 2.0;
  values[1] = a;
  values[2] = b;
  values[3] = x1;
  values[4] = x2;
}

QXMath_600::QXLogRegSettings MakeSettings(bool patternTabulator) {
  QXMath_600::QXLogRegSettings settings;
  settings.SetDependent(0);
  settings.SetDependentRefCat(-1, 3);
  settings.AddFactor(1, 5);
  settings.AddFactor(2, 10);
  settings.AddCovariate(3);
  settings.AddCovariate(4);
  settings.SetUsePatternTabulator(patternTabulator);
  const std::vector<int> candidates{1, 2, 3, 4};
  const auto effect = [&](int factor, int covariate) {
    QXMath_600::QXModelEffect e(2, 2, &candidates);
    if (factor >= 0) e.AddNewFactor(factor, false);
    if (covariate >= 0) e.AddCovariate(covariate);
    return e;
  };
  settings.AddModelEffect(effect(1, -1));
  settings.AddModelEffect(effect(2, -1));
  settings.AddModelEffect(effect(-1, 3));
  settings.AddModelEffect(effect(-1, 4));
  return settings;
}

void BarePass(benchmark::State& state, const qx_bench::BinaryDataFile& data) {
  FILE* file = data.Open();
  BinaryRecordIterator it(file, kNVariables);
  double sum = 0.0;
  for (auto _ : state) {
    it.NewPass();
    while (it.HasMore()) sum += (*it.Next())[0];
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * data.GetNRecords());
  std::fclose(file);
}

int gIterations = 0;
double gLogLikelihood = 0.0;

void Fit(benchmark::State& state, const qx_bench::BinaryDataFile& data, bool patternTabulator) {
  FILE* file = data.Open();
  BinaryRecordIterator it(file, kNVariables);
  QXMath_600::QXLogRegSettings settings = MakeSettings(patternTabulator);
  for (auto _ : state) {
    QXMath_600::QXRegFactory factory;
    std::unique_ptr<QXMath_600::IQXRegComponent> component(factory.CreateRegAlgorithm(settings));
    const QXCommon_600::QXStatus status = component->BuildModel(it);
    QXMath_600::IQXRegOutputStats* stats = nullptr;
    if (status.IsError() || component->GetOutputStats(stats).IsError()) {
      state.SkipWithError(status.GetMessage().c_str());
      break;
    }
    const auto* logistic = static_cast<const QXMath_600::QXLogOutputStats*>(stats);
    gIterations = logistic->GetNIterations();
    gLogLikelihood = logistic->GetFinalLogLikelihood();
  }
  state.counters["iterations"] = gIterations;
  state.SetItemsProcessed(state.iterations() * data.GetNRecords());
  std::fclose(file);
}

class RatioReporter : public qx_bench::MedianReporter {
 public:
  void PrintRatios(std::int64_t fileRecords) const {
    const double bare = Median("BarePass");
    if (bare <= 0.0) return;
    std::printf("\nThe fit: %d iterations, log-likelihood %.10g\n", gIterations, gLogLikelihood);
    std::printf("Median CPU times relative to one bare BinaryRecordIterator pass (%lld records):\n",
                static_cast<long long>(fileRecords));
    for (const char* name : {"BarePass", "FitStreamed", "FitTabulated"})
      if (Median(name) > 0.0)
        std::printf("  %-14s %8.1f ms %7.2f\n", name, Median(name), Median(name) / bare);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("Peak resident memory of the process: %.1f MB\n",
                static_cast<double>(usage.ru_maxrss) / 1024.0);
  }
};

}  // namespace

int main(int argc, char** argv) {
  const char* records = std::getenv("QX_BENCH_RECORDS");
  const std::int64_t nRecords = records != nullptr ? std::atoll(records) : 1000000;
  const qx_bench::BinaryDataFile data(nRecords, kNVariables, FillRecord);
  if (const char* copy = std::getenv("QX_BENCH_WRITE"))
    std::filesystem::copy_file(data.GetPath(), copy, std::filesystem::copy_options::overwrite_existing);

  const auto configure = qx_bench::RepeatFiveTimes;
  configure(benchmark::RegisterBenchmark("BarePass", BarePass, std::cref(data)));
  configure(benchmark::RegisterBenchmark("FitStreamed", Fit, std::cref(data), false));
  configure(benchmark::RegisterBenchmark("FitTabulated", Fit, std::cref(data), true));

  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios(nRecords);
  benchmark::Shutdown();
  return 0;
}
