// What the benchmarks share besides their data files: a counter-based random generator that gives
// every record the same values on every run, the number of records to generate, the repetition
// settings, and a console reporter that keeps each benchmark's median CPU time for the ratios a
// benchmark prints at the end.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace qx_bench {

// Values for record i (a SplitMix-style mixer of the record index): the file is the same from run to
// run without storing any state between records.
class CounterRandom {
 public:
  explicit CounterRandom(std::int64_t record)
      : fState(static_cast<std::uint64_t>(record) * 0x9E3779B97F4A7C15ull) {}
  std::uint64_t Next() {
    fState ^= fState >> 31;
    fState *= 0xBF58476D1CE4E5B9ull;
    fState ^= fState >> 27;
    return fState;
  }

 private:
  std::uint64_t fState;
};

// QX_BENCH_RECORDS when set, else 10^7.
inline std::int64_t RecordsToGenerate() {
  const char* env = std::getenv("QX_BENCH_RECORDS");
  return env != nullptr ? std::atoll(env) : 10000000;
}

// One pass per iteration, five repetitions, medians reported.
inline void RepeatFiveTimes(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
}

// The console output, plus each benchmark's median CPU time. CPU time rather than wall time: the
// passes are single-threaded and read a file the page cache holds, and on a shared machine wall time
// mostly measures the neighbours.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.aggregate_name == "median") fMedians[run.run_name.function_name] = run.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  // The median CPU time of a benchmark in its unit, 0 when it did not run.
  double Median(const std::string& name) const {
    const auto it = fMedians.find(name);
    return it == fMedians.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> fMedians;
};

}  // namespace qx_bench
