// The per-record paths of the tables must not allocate: this test binary counts every operator new
// while a check is running.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "qxregres600r.h"

namespace {

std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};

void* Allocate(std::size_t size) {
  if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

// Counts the allocations made while it lives.
class AllocationCounter {
 public:
  AllocationCounter() {
    gAllocations = 0;
    gCounting = true;
  }
  ~AllocationCounter() { gCounting = false; }
  long Count() const { return gAllocations.load(); }
};

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using QXCommon_600::Record;
using QXMath_600::QXEffectsTables;
using QXMath_600::QXFactorTables;
using QXMath_600::QXHashKey;
using QXMath_600::QXHashtable;

// Factors A, B, C at record indices 0..2, covariates 3 and 4, frequency weight 5, regression weight 6.
std::vector<Record> MakeRecords() {
  std::vector<Record> records;
  for (int i = 0; i < 500; ++i) {
    const double values[] = {
        double(i % 5), double(i % 7), double(i % 11), 0.5 * i, 1.0 / (i + 1), 1.0 + i % 3, 2.0};
    records.emplace_back(values, 7);
  }
  return records;
}

TEST(Allocation, SecondPassAndRowLookupsAllocateNothing) {
  const std::vector<Record> records = MakeRecords();
  QXFactorTables tables({0, 1, 2}, {5, 7, 11}, 5, -1, 0, 0, -1, 0.0, QXConst::QXOffsetNone);
  ASSERT_TRUE(tables.SetModelEffectFactors({{}, {0}, {1}, {2}, {0, 1}, {0, 1, 2}, {}}));
  tables.SetRegrWeightVar(6);
  tables.SetCovariates({3, 4});
  tables.SetDepVar(4);
  tables.SetCovarEffects({-1, -1, -1, -1, -1, -1, 0}, {{3, 4}});
  for (const Record& r : records) ASSERT_TRUE(tables.UpdateAll(r));
  ASSERT_GT(tables.CreateParameterIndices(0), 385);

  const std::vector<int> levels = {1, 2, 3};
  AllocationCounter counter;
  bool ok = true;
  long found = 0;
  // Every cell now exists: a further pass only finds them.
  for (const Record& r : records) ok = tables.UpdateAll(r) && ok;
  for (const Record& r : records) found += tables.GetRowParameterIndices(r.GetAll(), ok)[5];
  for (const Record& r : records) found += tables.GetRowLocalParamIndices(r.GetAll(), ok)[4];
  found += tables.GetParameterIndices(levels, ok)[5] + tables.GetEffectParameterIndex(5, levels);
  EXPECT_EQ(counter.Count(), 0);
  EXPECT_TRUE(ok);
  EXPECT_GT(found, 0);
}

TEST(Allocation, EffectsTablesLookupsAllocateNothing) {
  const std::vector<Record> records = MakeRecords();
  QXEffectsTables tables({0, 1, 2}, {5, 7, 11}, 0);
  ASSERT_TRUE(tables.SetModelEffectFactors({{}, {0, 1}, {0, 1, 2}}));
  for (const Record& r : records) ASSERT_TRUE(tables.UpdateAll(r));
  tables.CreateParameterIndices();
  const std::vector<int> cell = {1, 1, 1};
  AllocationCounter counter;
  bool ok = true;
  for (const Record& r : records) tables.GetRowEffectParamIndices(r.GetAll(), ok);
  EXPECT_GE(tables.GetEffectLocalParameterIndex(2, cell), 0);
  EXPECT_NE(tables.GetEffectHashPairPtr(2, cell), nullptr);
  EXPECT_EQ(counter.Count(), 0);
  EXPECT_TRUE(ok);
}

TEST(Allocation, RefillingAClearedTableReusesItsPairs) {
  QXHashtable<int> table;
  QXHashKey key(2);
  auto fill = [&] {
    for (int i = 0; i < 60; ++i) {
      key[0] = i;
      key[1] = -i;
      table.Put(key, i);
    }
  };
  fill();
  table.Clear();
  AllocationCounter counter;
  fill();
  EXPECT_EQ(counter.Count(), 0);
  EXPECT_EQ(table.GetCount(), 60);
}

}  // namespace
