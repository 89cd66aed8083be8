// The record loops of the linear fit must not allocate: this test binary counts every operator new
// while the cross-product and fit passes run, with the cross products summed per cell and row by row.
#include <gtest/gtest.h>

#include <vector>

#include "linear_test_support.h"
#include "qxregres600r.h"
#include "tests/common/counting_allocator.h"

namespace {

using qx_linear_test::MemoryIterator;
using qx_linear_test::Records;
using qx_linear_test::Term;
using qx_test_alloc::AllocationCounter;

// y ~ A * B + x + A:x + x^2 with a frequency weight; factors declared with `levels` categories (600
// leaves the cross products to the row-by-row route).
QXMath_600::QXRegSettings Settings(int levels) {
  QXMath_600::QXRegSettings settings;
  settings.SetDependent(0);
  settings.AddFactor(1, levels);
  settings.AddFactor(2, levels);
  settings.AddCovariate(3);
  settings.SetFrequencyWeightVar(4);
  const std::vector<Term> terms = {{{1}, {0}, {}}, {{2}, {0}, {}},  {{1, 2}, {0, 0}, {}},
                                   {{}, {}, {3}},  {{1}, {0}, {3}}, {{}, {}, {3, 3}}};
  for (const Term& t : terms) settings.AddModelEffect(qx_linear_test::MakeEffect(settings, t));
  return settings;
}

struct PassAllocations {
  long crossProducts = -1;
  long fit = -1;
};

// The allocations of a cross-product pass and of a fit pass over `records`.
PassAllocations CountPassAllocations(const QXMath_600::QXRegSettings& settings, const Records& records) {
  PassAllocations counts;
  MemoryIterator it(records);
  QXMath_600::QXGLMAlgorithm summed(settings);
  EXPECT_TRUE(summed.ProcessData(it).IsOK());
  EXPECT_TRUE(summed.CreateModelParameters().IsOK());
  {
    AllocationCounter counter;
    EXPECT_TRUE(summed.AccumulateCrossProducts(it).IsOK());
    counts.crossProducts = counter.Count();
  }
  // The build sweeps (which allocates, once per model) before its fit pass; a further fit pass of the
  // built model shows what that pass costs alone.
  QXMath_600::QXGLMAlgorithm built(settings);
  EXPECT_TRUE(built.ProcessData(it).IsOK());
  EXPECT_TRUE(built.CreateModelParameters().IsOK());
  EXPECT_TRUE(built.BuildModel(it).IsOK());
  AllocationCounter counter;
  EXPECT_TRUE(built.ComputeFitStatistics(it).IsOK());
  counts.fit = counter.Count();
  return counts;
}

TEST(FitPassAllocation, PassesAllocateNothingPerRecord) {
  // A pass may set up its scratch once (the first row gives the cross products their low parts);
  // twenty times the records must not add a single allocation.
  Records few, many;
  for (int i = 0; i < 3000; ++i) {
    const std::vector<double> record = {0.1 * i + (i % 7), double(i % 3), double(i % 4),
                                        0.01 * ((i * 31) % 97), double(1 + i % 2)};
    if (i < 150) few.push_back(record);
    many.push_back(record);
  }
  for (int levels : {4, 600}) {
    const QXMath_600::QXRegSettings settings = Settings(levels);
    const PassAllocations once = CountPassAllocations(settings, few);
    const PassAllocations often = CountPassAllocations(settings, many);
    EXPECT_EQ(often.crossProducts, once.crossProducts) << levels;
    EXPECT_EQ(often.fit, once.fit) << levels;
    EXPECT_LE(often.crossProducts, 4) << levels;
    EXPECT_LE(often.fit, 4) << levels;
  }
}

}  // namespace
