// Cost of the design tables in a data pass: UpdateAll (counts, cells, means) and the row lookup
// GetRowParameterIndices, each over a pass of a binary record file, against a bare pass of the
// binary record iterator over the same file (the floor of any streaming fit). The same two
// operations are also timed on records already in memory, which isolates their own cost.
//
// Data: 10^7 records (QX_BENCH_RECORDS overrides) of factors A (5 levels), B (10), C (50), a
// covariate and a dependent; C takes 12 of its levels for each A x B pair, so about 600 of the 2500
// cells of A x B x C occur. Model: intercept, A, B, C, A x B, A x B x C.
// Run: build/bench/qx_design_tables_bench. It prints each benchmark's medians, then the ratios.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "BenchData.h"
#include "BenchReport.h"
#include "common/Record.h"
#include "design/QXFactorTables.h"
#include "records/BinaryRecordIterator.h"

namespace {

using QXCommon_600::BinaryRecordIterator;
using QXCommon_600::Record;
using QXMath_600::QXFactorTables;

constexpr int kNVariables = 5;
constexpr int kInMemoryRecords = 1000000;

void FillRecord(std::int64_t i, double* values) {
  qx_bench::CounterRandom random(i);
  auto next = [&random] { return random.Next(); };
  const int a = static_cast<int>(next() % 5);
  const int b = static_cast<int>(next() % 10);
  const int c = static_cast<int>((a * 7 + b * 3 + static_cast<int>(next() % 12)) % 50);
  const double x = static_cast<double>(next() % 1000) / 10.0;
  values[0] = a;
  values[1] = b;
  values[2] = c;
  values[3] = x;
  values[4] = 3.0 + 0.5 * x + a - 0.2 * b + static_cast<double>(next() % 100) / 50.0;
}

std::unique_ptr<QXFactorTables> MakeTables() {
  auto tables = std::make_unique<QXFactorTables>(std::vector<int>{0, 1, 2}, std::vector<int>{5, 10, 50}, -1,
                                                 -1, 0, 0, -1, 0.0, QXConst::QXOffsetNone);
  tables->SetModelEffectFactors({{}, {0}, {1}, {2}, {0, 1}, {0, 1, 2}});
  // As the linear model's data pass: the covariates with the dependent appended.
  tables->SetCovariates({3, 4});
  return tables;
}

// One pass of the iterator, handing each record to `use`.
template <class F>
void Pass(BinaryRecordIterator& it, F&& use) {
  it.NewPass();
  while (it.HasMore()) use(*it.Next());
}

void BinaryPass(benchmark::State& state, const qx_bench::BinaryDataFile& data) {
  FILE* file = data.Open();
  BinaryRecordIterator it(file, kNVariables);
  double sum = 0.0;
  for (auto _ : state) Pass(it, [&](const Record& r) { sum += r[0]; });
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * data.GetNRecords());
  std::fclose(file);
}

void UpdateAllPass(benchmark::State& state, const qx_bench::BinaryDataFile& data) {
  FILE* file = data.Open();
  BinaryRecordIterator it(file, kNVariables);
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<QXFactorTables> tables = MakeTables();
    state.ResumeTiming();
    Pass(it, [&](const Record& r) { tables->UpdateAll(r); });
    benchmark::DoNotOptimize(tables->GetSampleSize());
  }
  state.SetItemsProcessed(state.iterations() * data.GetNRecords());
  std::fclose(file);
}

void RowIndicesPass(benchmark::State& state, const qx_bench::BinaryDataFile& data) {
  FILE* file = data.Open();
  BinaryRecordIterator it(file, kNVariables);
  std::unique_ptr<QXFactorTables> tables = MakeTables();
  Pass(it, [&](const Record& r) { tables->UpdateAll(r); });
  tables->CreateParameterIndices(0);
  long long sum = 0;
  for (auto _ : state) {
    Pass(it, [&](const Record& r) {
      bool ok = false;
      sum += tables->GetRowParameterIndices(r.GetAll(), ok)[5];
    });
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * data.GetNRecords());
  std::fclose(file);
}

std::vector<Record> InMemoryRecords() {
  std::vector<Record> records;
  records.reserve(kInMemoryRecords);
  double values[kNVariables];
  for (int i = 0; i < kInMemoryRecords; ++i) {
    FillRecord(i, values);
    records.emplace_back(values, kNVariables);
  }
  return records;
}

void UpdateAllInMemory(benchmark::State& state, const std::vector<Record>& records) {
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<QXFactorTables> tables = MakeTables();
    state.ResumeTiming();
    for (const Record& r : records) tables->UpdateAll(r);
    benchmark::DoNotOptimize(tables->GetSampleSize());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(records.size()));
}

void RowIndicesInMemory(benchmark::State& state, const std::vector<Record>& records) {
  std::unique_ptr<QXFactorTables> tables = MakeTables();
  for (const Record& r : records) tables->UpdateAll(r);
  tables->CreateParameterIndices(0);
  long long sum = 0;
  for (auto _ : state) {
    for (const Record& r : records) {
      bool ok = false;
      sum += tables->GetRowParameterIndices(r.GetAll(), ok)[5];
    }
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(records.size()));
}

// Prints the ratios of the median times once the benchmarks have run.
class RatioReporter : public qx_bench::MedianReporter {
 public:
  void PrintRatios(std::int64_t fileRecords) const {
    auto at = [this](const char* name) { return Median(name); };
    const double bare = at("BinaryPass");
    if (bare <= 0.0) return;
    std::printf("\nMedian CPU times of a pass relative to a bare BinaryRecordIterator pass (%lld records):\n",
                static_cast<long long>(fileRecords));
    for (const char* name : {"BinaryPass", "UpdateAllPass", "RowIndicesPass"})
      std::printf("  %-16s %6.2f\n", name, at(name) / bare);
    const double perRecordBare = bare / static_cast<double>(fileRecords);
    for (const char* name : {"UpdateAllInMemory", "RowIndicesInMemory"})
      std::printf("  %-18s %6.2f of the bare pass's time per record (in memory)\n", name,
                  at(name) / kInMemoryRecords / perRecordBare);
  }
};

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t nRecords = qx_bench::RecordsToGenerate();
  const qx_bench::BinaryDataFile data(nRecords, kNVariables, FillRecord);
  const std::vector<Record> records = InMemoryRecords();

  const auto configure = qx_bench::RepeatFiveTimes;
  configure(benchmark::RegisterBenchmark("BinaryPass", BinaryPass, std::cref(data)));
  configure(benchmark::RegisterBenchmark("UpdateAllPass", UpdateAllPass, std::cref(data)));
  configure(benchmark::RegisterBenchmark("RowIndicesPass", RowIndicesPass, std::cref(data)));
  configure(benchmark::RegisterBenchmark("UpdateAllInMemory", UpdateAllInMemory, std::cref(records)));
  configure(benchmark::RegisterBenchmark("RowIndicesInMemory", RowIndicesInMemory, std::cref(records)));

  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios(nRecords);
  benchmark::Shutdown();
  return 0;
}
