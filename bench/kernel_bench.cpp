// Costs of the matrix kernel's hot paths: the per-record compensated cross-product update of a
// sparse design row (against the same update in plain doubles, the floor that compensation is
// paid for against) and one double-double sweep step. Run: build/bench/qx_kernel_bench.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "common/QXBitSet.h"
#include "common/QXSymMatrix.h"

namespace {

using QXMath_600::QXBitSet;
using QXMath_600::QXSymMatrix;

constexpr int kNonZeros = 7;

// Rows like those of a factorial design with covariates: the intercept, some cell indicators and
// two covariate values, at indices spread over the parameters.
struct Rows {
  std::vector<int> indices;
  std::vector<double> values;
  int count = 0;
};

Rows MakeRows(int order, int count) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  Rows r;
  r.count = count;
  for (int i = 0; i < count; ++i) {
    const int step = (order - 1) / kNonZeros;
    for (int t = 0; t < kNonZeros; ++t) {
      r.indices.push_back(t == 0 ? 0 : t * step + static_cast<int>(unit(rng) * step));
      r.values.push_back(t < kNonZeros - 2 ? 1.0 : 10.0 * unit(rng));
    }
  }
  return r;
}

// The same update on a plain packed lower triangle of doubles.
void PlainUpdate(std::vector<double>& packed, const int* idx, const double* val, int count, double w) {
  for (int t = 0; t < count; ++t) {
    const double a = w * val[t];
    for (int u = 0; u <= t; ++u) {
      const int i = idx[t] >= idx[u] ? idx[t] : idx[u];
      const int j = idx[t] >= idx[u] ? idx[u] : idx[t];
      packed[static_cast<std::size_t>(i) * (i + 1) / 2 + j] += a * val[u];
    }
  }
}

void BM_UpdateXXSparse(benchmark::State& state) {
  const int order = static_cast<int>(state.range(0));
  const Rows rows = MakeRows(order, 1024);
  QXSymMatrix m(order);
  int r = 0;
  for (auto _ : state) {
    m.UpdateXXSparse(rows.indices.data() + r * kNonZeros, rows.values.data() + r * kNonZeros, kNonZeros,
                     1e-7);
    r = (r + 1) & 1023;
  }
  benchmark::DoNotOptimize(m.GetElem(0, 0));
}
BENCHMARK(BM_UpdateXXSparse)->Arg(50)->Arg(200);

void BM_UpdatePlainDouble(benchmark::State& state) {
  const int order = static_cast<int>(state.range(0));
  const Rows rows = MakeRows(order, 1024);
  std::vector<double> packed(static_cast<std::size_t>(order) * (order + 1) / 2, 0.0);
  int r = 0;
  for (auto _ : state) {
    PlainUpdate(packed, rows.indices.data() + r * kNonZeros, rows.values.data() + r * kNonZeros, kNonZeros,
                1e-7);
    r = (r + 1) & 1023;
    benchmark::ClobberMemory();
  }
  benchmark::DoNotOptimize(packed[0]);
}
BENCHMARK(BM_UpdatePlainDouble)->Arg(50)->Arg(200);

// One sweep step on a dense positive definite matrix; the matrix is rebuilt outside the timing
// whenever every pivot has been swept.
void BM_SweepStep(benchmark::State& state) {
  const int p = static_cast<int>(state.range(0));
  std::mt19937 rng(7);
  std::normal_distribution<double> normal;
  QXSymMatrix base(p);
  std::vector<double> row(p);
  for (int r = 0; r < 2 * p; ++r) {
    for (double& x : row) x = normal(rng);
    base.UpdateXX(row, 1.0);
  }
  std::vector<double> diagonal;
  base.GetDiagonal(diagonal);
  QXSymMatrix m = base;
  QXBitSet kept(p);
  int k = 0;
  for (auto _ : state) {
    if (k == p) {
      state.PauseTiming();
      m = base;
      kept.Clear();
      k = 0;
      state.ResumeTiming();
    }
    m.Sweep(k++, 1e-12, diagonal, kept, true);
  }
  benchmark::DoNotOptimize(m.GetElem(0, 0));
}
BENCHMARK(BM_SweepStep)->Arg(50)->Arg(200)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
