// Cost of expanding a record into a row of the model matrix, per row, for the model
// A(5) * B(10) + x1 + x2 (intercept, A, B, A x B, x1, x2: 68 columns, 6 entries per row): the design
// matrix's sparse and dense forms, with and without the dependent, and the lite design's, against the
// factor tables' row lookup alone (the hash probes every form needs).
//
// Data: 10^6 records in memory (QX_BENCH_RECORDS overrides), every cell of A x B observed.
// Run: build/bench/qx_design_matrix_bench. It prints each benchmark's medians, then ns per row and the
// ratio to the row lookup.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "BenchReport.h"
#include "common/QXCallbacks.h"
#include "common/Record.h"
#include "design/QXDesignMatrix.h"
#include "design/QXLiteDesignMatrix.h"
#include "records/QXCancelInfo.h"
#include "settings/QXModelEffect.h"
#include "settings/QXRegSettings.h"

namespace {

using QXCommon_600::Record;
using QXMath_600::QXDesignMatrix;
using QXMath_600::QXLiteDesignMatrix;
using QXMath_600::QXModelEffect;
using QXMath_600::QXRegSettings;

// y, A, B, x1, x2.
constexpr int kNVariables = 5;

std::vector<Record> MakeRecords(std::int64_t n) {
  std::vector<Record> records;
  records.reserve(static_cast<std::size_t>(n));
  for (std::int64_t i = 0; i < n; ++i) {
    qx_bench::CounterRandom random(i);
    const double a = static_cast<double>(random.Next() % 5);
    const double b = static_cast<double>(random.Next() % 10);
    const double x1 = static_cast<double>(random.Next() % 1000) / 10.0;
    const double x2 = static_cast<double>(random.Next() % 777) / 7.0;
    const double values[kNVariables] = {1.0 + a - 0.5 * b + 0.1 * x1, a, b, x1, x2};
    records.emplace_back(values, kNVariables);
  }
  return records;
}

QXRegSettings MakeSettings() {
  QXRegSettings settings;
  settings.SetDependent(0);
  settings.AddFactor(1, 5);
  settings.AddFactor(2, 10);
  settings.AddCovariate(3);
  settings.AddCovariate(4);
  const std::vector<int> candidates = {1, 2, 3, 4};
  QXModelEffect a(2, 2, &candidates), b(2, 2, &candidates), ab(2, 2, &candidates), x1(2, 2, &candidates),
      x2(2, 2, &candidates);
  a.AddNewFactor(1, false);
  b.AddNewFactor(2, false);
  ab.AddNewFactor(1, false);
  ab.AddNewFactor(2, false);
  x1.AddCovariate(3);
  x2.AddCovariate(4);
  for (const QXModelEffect& e : {a, b, ab, x1, x2}) settings.AddModelEffect(e);
  return settings;
}

// The design after its data pass, and the lite design rebuilt from its parameters.
struct Designs {
  explicit Designs(const std::vector<Record>& records)
      : settings(MakeSettings()), design(settings, cancel, warnings) {
    for (const Record& r : records) design.GetFactorTables()->UpdateAll(r);
    design.CreateParameters();
    lite = std::make_unique<QXLiteDesignMatrix>(settings.GetFactors(), settings.GetFactorSizes(),
                                                settings.GetCovariates());
    for (const QXMath_600::QXRegrParameter& p : design.GetFixedParameters()) lite->AddRegrParameter(p);
    lite->SetDepVar(0);
  }
  QXRegSettings settings;
  QXMath_600::QXCancelInfo cancel;
  QXCommon_600::QXWarnings warnings;
  QXDesignMatrix design;
  std::unique_ptr<QXLiteDesignMatrix> lite;
};

// Runs `expand` on every record once per iteration; the sum of the results keeps the work alive.
template <class F>
void ForEachRow(benchmark::State& state, const std::vector<Record>& records, F&& expand) {
  double sum = 0.0;
  for (auto _ : state)
    for (const Record& r : records) sum += expand(r.GetAll());
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(records.size()));
}

void TablesRowLookup(benchmark::State& state, const Designs& d, const std::vector<Record>& records) {
  const QXMath_600::QXFactorTables& tables = *d.design.GetFactorTables();
  ForEachRow(state, records, [&](const double* row) {
    bool ok = false;
    return static_cast<double>(tables.GetRowParameterIndices(row, ok)[3]);
  });
}

void DesignSparseX(benchmark::State& state, const Designs& d, const std::vector<Record>& records) {
  std::vector<int> indices;
  std::vector<double> values;
  ForEachRow(state, records, [&](const double* row) {
    d.design.ExpandRowX(row, indices, values, false);
    return values[4];
  });
}

void DesignSparseXY(benchmark::State& state, const Designs& d, const std::vector<Record>& records) {
  std::vector<int> indices;
  std::vector<double> values;
  ForEachRow(state, records, [&](const double* row) {
    d.design.ExpandRowXY(row, indices, values, false);
    return values[6];
  });
}

void DesignDenseX(benchmark::State& state, const Designs& d, const std::vector<Record>& records) {
  std::vector<double> x(static_cast<std::size_t>(d.design.GetNFixedParameters()));
  ForEachRow(state, records, [&](const double* row) {
    d.design.ExpandRowX(row, x, false);
    return x[66];
  });
}

void LiteSparseX(benchmark::State& state, const Designs& d, const std::vector<Record>& records) {
  std::vector<int> indices;
  std::vector<double> values;
  ForEachRow(state, records, [&](const double* row) {
    d.lite->ExpandRowX(row, indices, values);
    return values[4];
  });
}

void LiteDenseX(benchmark::State& state, const Designs& d, const std::vector<Record>& records) {
  std::vector<double> x(static_cast<std::size_t>(d.lite->GetNParameters()));
  ForEachRow(state, records, [&](const double* row) {
    d.lite->ExpandRowX(row, x);
    return x[66];
  });
}

constexpr const char* kNames[] = {"TablesRowLookup", "DesignSparseX", "DesignSparseXY",
                                  "DesignDenseX",    "LiteSparseX",   "LiteDenseX"};

class PerRowReporter : public qx_bench::MedianReporter {
 public:
  void PrintPerRow(std::int64_t nRecords) const {
    const double lookup = Median(kNames[0]);
    if (lookup <= 0.0) return;
    std::printf("\nMedian CPU time per row (%lld records in memory), and relative to the row lookup:\n",
                static_cast<long long>(nRecords));
    for (const char* name : kNames) {
      const double ms = Median(name);
      std::printf("  %-16s %7.1f ns  %5.2f\n", name, ms * 1e6 / static_cast<double>(nRecords), ms / lookup);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  // Rows in memory: 10^6 are plenty for stable medians of a per-row cost.
  const char* env = std::getenv("QX_BENCH_RECORDS");
  const std::int64_t nRecords = env != nullptr ? std::atoll(env) : 1000000;
  const std::vector<Record> records = MakeRecords(nRecords);
  const Designs designs(records);

  const std::vector<std::function<void(benchmark::State&, const Designs&, const std::vector<Record>&)>> runs =
      {TablesRowLookup, DesignSparseX, DesignSparseXY, DesignDenseX, LiteSparseX, LiteDenseX};
  for (std::size_t i = 0; i < runs.size(); ++i)
    qx_bench::RepeatFiveTimes(
        benchmark::RegisterBenchmark(kNames[i], runs[i], std::cref(designs), std::cref(records)));

  benchmark::Initialize(&argc, argv);
  PerRowReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintPerRow(nRecords);
  benchmark::Shutdown();
  return 0;
}
