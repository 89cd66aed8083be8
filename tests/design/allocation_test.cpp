// The per-record paths of the tables must not allocate: this test binary counts every operator new
// while a check is running.
#include <gtest/gtest.h>

#include <vector>

#include "qxregres600r.h"
#include "tests/common/counting_allocator.h"

namespace {

using qx_test_alloc::AllocationCounter;
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

// Model A x B x C + X + A x X^2 over the records above, as a caller's design of a fitted
// model: every row form of both design matrices, once the caller's vectors have their size.
TEST(Allocation, DesignMatrixRowsAllocateNothing) {
  const std::vector<Record> records = MakeRecords();
  QXMath_600::QXRegSettings settings;
  ASSERT_TRUE(settings.SetDependent(4));
  for (int f = 0; f < 3; ++f) ASSERT_GT(settings.AddFactor(f, 11), 0);
  ASSERT_GT(settings.AddCovariate(3), 0);
  std::vector<int> candidates = {0, 1, 2, 3};
  QXMath_600::QXModelEffect abc(3, 1, &candidates), x(3, 1, &candidates), ax(3, 1, &candidates);
  for (int f = 0; f < 3; ++f) ASSERT_TRUE(abc.AddNewFactor(f, false));
  ASSERT_EQ(x.AddCovariate(3), 1);
  ASSERT_TRUE(ax.AddNewFactor(0, false));
  ASSERT_EQ(ax.AddCovariate(3), 1);
  ASSERT_EQ(ax.AddCovariate(3), 2);
  for (const QXMath_600::QXModelEffect& e : {abc, x, ax}) ASSERT_TRUE(settings.AddModelEffect(e));
  QXMath_600::QXCancelInfo cancel;
  QXCommon_600::QXWarnings warnings;
  QXMath_600::QXDesignMatrix design(settings, cancel, warnings);
  for (const Record& r : records) ASSERT_TRUE(design.GetFactorTables()->UpdateAll(r));
  ASSERT_TRUE(design.CreateParameters().IsOK());
  QXMath_600::QXLiteDesignMatrix lite(settings.GetFactors(), settings.GetFactorSizes(),
                                      settings.GetCovariates());
  for (const QXMath_600::QXRegrParameter& p : design.GetFixedParameters())
    ASSERT_TRUE(lite.AddRegrParameter(p));
  lite.SetDepVar(4);

  const std::size_t p = static_cast<std::size_t>(design.GetNFixedParameters());
  std::vector<double> x1(p), xy(p + 1), values(8);
  std::vector<int> indices(8);
  const std::vector<int> levels = {1, 2, 3};
  bool ok = true;
  AllocationCounter counter;
  for (const Record& r : records) {
    const double* row = r.GetAll();
    bool placed = false;
    ok = design.ExpandRowX(row, x1.data(), false) && ok;
    ok = design.ExpandRowX(row, x1, true) && ok;
    ok = design.ExpandRowX(row, indices, values, false) && ok;
    ok = design.ExpandRowXY(row, xy, false) && ok;
    ok = design.ExpandRowXY(row, indices, values, false) && ok;
    ok = lite.ExpandRowX(row, x1) && ok;
    ok = lite.ExpandRowX(row, indices, values) && ok;
    ok = lite.ExpandRowXY(row, xy) && ok;
    ok = lite.ExpandRowXY(row, indices, values) && ok;
    ok = lite.GetEffectParameterIndex(1, levels) >= 0 && lite.GetParameterIndices(levels, placed)[1] >= 0 &&
         ok;
  }
  EXPECT_EQ(counter.Count(), 0);
  EXPECT_TRUE(ok);
}

}  // namespace
