#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "qxregres600r.h"

namespace {

using QXCommon_600::Record;
using QXMath_600::QXFactorTables;
using QXMath_600::QXModelEffect;
using QXMath_600::QXRegrParameter;
using Lists = std::vector<std::vector<int>>;

Record Make(std::vector<double> values) { return Record(values.data(), static_cast<int>(values.size())); }

// |a - b| <= rel * |b|.
bool Near(double a, double b, double rel) { return std::fabs(a - b) <= rel * std::fabs(b); }

// Record layout: 0 factor A (3 categories), 1 factor B (2), 2 covariate X, 3 frequency weight.
QXFactorTables MakeAB(int base = 0) {
  return QXFactorTables({0, 1}, {3, 2}, 3, -1, 0, base, -1, 0.0, QXConst::QXOffsetNone);
}

// Intercept, A, A x B.
class InterceptAAxBTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fTables.SetModelEffectFactors({{}, {0}, {0, 1}}));
    // Cell (2,1) of A x B never occurs; cells arrive out of key order.
    for (auto [a, b] : std::vector<std::array<int, 2>>{{2, 0}, {1, 1}, {0, 1}, {1, 0}, {0, 0}, {2, 0}})
      ASSERT_TRUE(fTables.UpdateAll(Make({double(a), double(b), 0.0, 1.0})));
    ASSERT_EQ(fTables.CreateParameterIndices(0), 9);
  }
  QXFactorTables fTables = MakeAB();
};

TEST_F(InterceptAAxBTest, NumbersEffectsInModelOrderAndCellsInKeyOrder) {
  EXPECT_EQ(fTables.GetParameterOffsets(), (std::vector<int>{0, 1, 4}));
  EXPECT_EQ(fTables.GetNEffectParameters(0), 1);
  EXPECT_EQ(fTables.GetNEffectParameters(1), 3);
  EXPECT_EQ(fTables.GetNEffectParameters(2), 5);
  EXPECT_EQ(fTables.GetNEffectParameters(3), 0);
  EXPECT_EQ(fTables.GetLocalEffectIndices(), (std::vector<int>{-1, 0, 1}));
  EXPECT_EQ(fTables.GetModelEffectIndices(), (std::vector<int>{1, 2}));
  const std::vector<std::vector<int>> cells = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}};
  for (int k = 0; k < 5; ++k) {
    std::vector<int> values;
    ASSERT_TRUE(fTables.GetParameterFactorValues(values, 2, k));
    EXPECT_EQ(values, cells[k]);
    EXPECT_EQ(fTables.GetEffectParameterIndex(2, cells[k]), 4 + k);
  }
  std::vector<int> values{9};
  EXPECT_TRUE(fTables.GetParameterFactorValues(values, 0, 0));
  EXPECT_TRUE(values.empty());
  EXPECT_FALSE(fTables.GetParameterFactorValues(values, 2, 5));
  EXPECT_FALSE(fTables.GetParameterFactorValues(values, 3, 0));
  EXPECT_EQ(fTables.GetEffectParameterIndex(0, {}), 0);
  EXPECT_EQ(fTables.GetEffectParameterIndex(2, {2, 1}), -1);
  EXPECT_EQ(fTables.GetEffectParameterIndex(2, {2}), -1);
}

TEST_F(InterceptAAxBTest, RowLookupGivesEveryEffectsIndexAndMinusOneForAnEmptyCell) {
  bool ok = false;
  const double row[] = {1.2, 0.9, 0.0, 1.0};
  EXPECT_EQ(fTables.GetRowParameterIndices(row, ok), (std::vector<int>{0, 2, 7}));
  EXPECT_TRUE(ok);
  EXPECT_EQ(fTables.GetRowLocalParamIndices(row, ok), (std::vector<int>{1, 3}));
  const double empty[] = {2, 1, 0.0, 1.0};
  EXPECT_EQ(fTables.GetRowParameterIndices(empty, ok), (std::vector<int>{0, 3, -1}));
  EXPECT_FALSE(ok);
  EXPECT_EQ(fTables.GetRowLocalParamIndices(empty, ok), (std::vector<int>{2, -1}));
  // Levels outside the factors' ranges, or without a level at all, have no cell.
  const double outside[] = {3, std::nan(""), 0.0, 1.0};
  EXPECT_EQ(fTables.GetRowParameterIndices(outside, ok), (std::vector<int>{0, -1, -1}));
  EXPECT_FALSE(ok);
  EXPECT_EQ(fTables.GetParameterIndices({1, 0}, ok), (std::vector<int>{0, 2, 6}));
  EXPECT_TRUE(ok);
  EXPECT_EQ(fTables.GetParameterIndices({1}, ok), (std::vector<int>{0, -1, -1}));
  EXPECT_FALSE(ok);
  EXPECT_EQ(fTables.GetRowParameterIndices(nullptr, ok), (std::vector<int>{0, -1, -1}));
  EXPECT_FALSE(ok);
}

TEST_F(InterceptAAxBTest, IncompleteEffectIsTheEmptiestDesign) {
  // A x B has 5 of its 3 x 2 combinations.
  EXPECT_EQ(fTables.GetIncompleteEffectIndex(), 2);
  EXPECT_TRUE(fTables.UpdateAll(Make({2, 1, 0.0, 1.0})));
  fTables.CreateParameterIndices(0);
  EXPECT_EQ(fTables.GetIncompleteEffectIndex(), -1);
}

TEST_F(InterceptAAxBTest, NumberingFromAnOffsetAndRefusals) {
  EXPECT_EQ(fTables.CreateParameterIndices(10), 19);
  EXPECT_EQ(fTables.GetEffectParameterIndex(2, {0, 0}), 14);
  EXPECT_EQ(fTables.GetParameterOffsets(), (std::vector<int>{0, 1, 4}));
  EXPECT_EQ(fTables.CreateParameterIndices(-1), -1);
  EXPECT_EQ(fTables.CreateParameterIndices(2147483640), -1);
  EXPECT_EQ(fTables.GetEffectParameterIndex(2, {0, 0}), 14);
}

TEST(FactorTables, FactorCodesOfBaseOneGiveLevelsAndCodesBack) {
  QXFactorTables tables = MakeAB(1);
  ASSERT_TRUE(tables.SetModelEffectFactors({{1, 0}}));
  EXPECT_TRUE(tables.UpdateAll(Make({3, 2, 0.0, 1.0})));
  // Code 0 is below base 1, code 4 beyond A's 3 categories.
  EXPECT_FALSE(tables.UpdateAll(Make({0, 1, 0.0, 1.0})));
  EXPECT_FALSE(tables.UpdateAll(Make({4, 1, 0.0, 1.0})));
  EXPECT_EQ(tables.CreateParameterIndices(0), 1);
  std::vector<int> codes;
  ASSERT_TRUE(tables.GetParameterFactorValues(codes, 0, 0));
  EXPECT_EQ(codes, (std::vector<int>{2, 3}));  // in the effect's order: B, then A
  bool ok = false;
  const double row[] = {3, 2, 0, 1};
  EXPECT_EQ(tables.GetRowParameterIndices(row, ok), std::vector<int>{0});
  EXPECT_TRUE(ok);
}

TEST(FactorTables, CodeEqualToTheNumberOfCategoriesHasNoLevelWithBaseZero) {
  QXFactorTables tables = MakeAB();
  ASSERT_TRUE(tables.SetModelEffectFactors({{0, 1}}));
  EXPECT_FALSE(tables.UpdateAll(Make({1, 2, 0.0, 1.0})));
  // Only the valid factor was counted; no cell, no totals.
  EXPECT_EQ((*tables.GetCountsPtr(0))[1], std::make_pair(1.0, 1.0));
  EXPECT_EQ(tables.CreateParameterIndices(0), 0);
  EXPECT_EQ(tables.GetSampleSize(), 0.0);
}

TEST(FactorTables, ZeroWeightRecordAddsItsCellButNotToTheWeightedMeans) {
  QXFactorTables tables = MakeAB();
  ASSERT_TRUE(tables.SetModelEffectFactors({{}, {0}}));
  tables.SetCovariates({2});
  tables.SetDepVar(2);
  tables.SetCovarEffects({-1, 0}, {{2, 2}});
  EXPECT_TRUE(tables.UpdateAll(Make({0, 0, 2.0, 1.0})));
  EXPECT_TRUE(tables.UpdateAll(Make({1, 0, 100.0, 0.0})));
  EXPECT_EQ(tables.GetSampleSize(), 2.0);
  EXPECT_EQ(tables.GetTotalWeight(), 1.0);
  EXPECT_EQ(tables.CreateParameterIndices(0), 3);
  EXPECT_EQ(tables.GetCovariateMeans(), std::vector<double>{2.0});
  EXPECT_EQ(tables.GetDepMean(), 2.0);
  EXPECT_EQ(tables.GetCovEffectMeans(), std::vector<double>{4.0});
  EXPECT_EQ(tables.GetNActiveCategories(0), 1);
}

TEST(FactorTables, CovariateMeansAreMissingWhenTheTotalWeightIsZero) {
  QXFactorTables tables = MakeAB();
  tables.SetCovariates({2, 2});
  EXPECT_TRUE(tables.UpdateAll(Make({0, 0, 5.0, 0.0})));
  const std::vector<double> means = tables.GetCovariateMeans();
  EXPECT_EQ(means, std::vector<double>(2, QXMV::gMissingValue));
  // Fixed once: later calls give the same values.
  EXPECT_EQ(tables.GetCovariateMeans(), means);
}

TEST(FactorTables, MeansThatCancelToRoundingNoiseBecomeZero) {
  QXFactorTables tables = MakeAB();
  tables.SetCovariates({2});
  tables.SetDepVar(2);
  // The running mean of 0.1, 0.2, -0.3 would end at 2.8e-17, below 2 eps times the previous mean.
  for (double x : {0.1, 0.2, -0.3}) EXPECT_TRUE(tables.UpdateAll(Make({0, 0, x, 1.0})));
  EXPECT_EQ(tables.GetCovariateMeans()[0], 0.0);
  EXPECT_EQ(tables.GetDepMean(), 0.0);
}

TEST(FactorTables, ModelWithoutFactorsHasFixedIndicesOnly) {
  QXFactorTables tables({}, {}, -1, -1, 0, 0, -1, 0.0, QXConst::QXOffsetNone);
  ASSERT_TRUE(tables.SetModelEffectFactors({{}, {}}));
  tables.SetCovariates({0});
  for (double x : {1.0, 2.0, 6.0}) EXPECT_TRUE(tables.UpdateAll(Make({x})));
  EXPECT_EQ(tables.CreateParameterIndices(0), 2);
  bool ok = false;
  const double row[] = {4.0};
  EXPECT_EQ(tables.GetRowParameterIndices(row, ok), (std::vector<int>{0, 1}));
  EXPECT_TRUE(ok);
  EXPECT_TRUE(tables.GetRowLocalParamIndices(row, ok).empty());
  EXPECT_EQ(tables.GetIncompleteEffectIndex(), -1);
  EXPECT_EQ(tables.GetCovariateMeans(), std::vector<double>{3.0});
}

TEST(FactorTables, NestedEffectIsKeyedOutermostFactorFirst) {
  // B within A: the parameter set up from the effect lists A (outermost) first.
  const std::vector<int> vars = {0, 1};
  QXModelEffect effect(2, 0, &vars);
  ASSERT_TRUE(effect.AddNewFactor(1, false));
  ASSERT_TRUE(effect.AddNewFactor(0, true));
  QXRegrParameter p;
  ASSERT_TRUE(p.SetupFromEffect(effect, 0, 0));
  ASSERT_EQ(p.GetFactors(), (std::vector<int>{0, 1}));
  QXFactorTables tables = MakeAB();
  ASSERT_TRUE(tables.SetModelEffectFactors({{}, p.GetFactors()}));
  for (auto [a, b] : std::vector<std::array<int, 2>>{{1, 1}, {0, 1}, {2, 0}, {1, 0}})
    tables.UpdateAll(Make({double(a), double(b), 0.0, 1.0}));
  EXPECT_EQ(tables.CreateParameterIndices(0), 5);
  EXPECT_EQ(tables.GetEffectParameterIndex(1, {0, 1}), 1);
  EXPECT_EQ(tables.GetEffectParameterIndex(1, {1, 0}), 2);
  EXPECT_EQ(tables.GetEffectParameterIndex(1, {1, 1}), 3);
  EXPECT_EQ(tables.GetEffectParameterIndex(1, {2, 0}), 4);
}

TEST(FactorTables, RefusesEffectsOfNonFactorsAndUnreadableRecords) {
  QXFactorTables tables = MakeAB();
  ASSERT_TRUE(tables.SetModelEffectFactors({{0}}));
  EXPECT_FALSE(tables.SetModelEffectFactors({{0}, {2}}));
  EXPECT_FALSE(tables.SetModelEffectFactors({{-1}}));
  EXPECT_EQ(tables.GetNModelEffects(), 1);
  // Shorter than the weight's record index.
  EXPECT_FALSE(tables.UpdateAll(Make({0, 0, 0})));
  tables.SetCovariates({2, -4});
  EXPECT_FALSE(tables.UpdateAll(Make({0, 0, 0, 1})));
  tables.SetCovariates({5});
  EXPECT_FALSE(tables.UpdateAll(Make({0, 0, 0, 1, 0})));
  EXPECT_TRUE(tables.UpdateAll(Make({0, 0, 0, 1, 0, 7})));
  EXPECT_EQ(tables.GetSampleSize(), 1.0);
  EXPECT_EQ((*tables.GetCountsPtr(0))[0], std::make_pair(1.0, 1.0));
}

TEST(FactorTables, CovariateEffectsAreTakenForEffectsWithAStatisticIndex) {
  QXFactorTables tables = MakeAB();
  ASSERT_TRUE(tables.SetModelEffectFactors({{}, {0}, {}, {}}));
  // Only the first four entries count (one per model effect), and only two lists are given.
  tables.SetCovarEffects({0, -1, 3, 5, 6}, {{2}, {2, 2}});
  EXPECT_EQ(tables.GetCovStatIndices(), (std::vector<int>{0, -1, 3, 5}));
  EXPECT_EQ(tables.GetNCovEffects(), 2);
  for (double x : {1.0, 3.0}) tables.UpdateAll(Make({0, 0, x, 1.0}));
  EXPECT_EQ(tables.GetCovEffectMeans(), (std::vector<double>{2.0, 5.0}));
  EXPECT_EQ(tables.GetCovEffectStddev(), (std::vector<double>{std::sqrt(2.0), std::sqrt(32.0)}));
}

TEST(FactorTables, DisplayPrintsTheLabels) {
  QXFactorTables tables = MakeAB();
  tables.SetModelEffectFactors({{}, {0, 1}});
  tables.UpdateAll(Make({0, 0, 0, 1}));
  ::testing::internal::CaptureStdout();
  tables.Display();
  const std::string out = ::testing::internal::GetCapturedStdout();
  for (const char* label :
       {"QXFactorTables display start", "Index of the frequency weight variable",
        "Total number of model effects", "Number of model effects containing factors",
        "Concatenated list of factors for fNEffects effects",
        "Cumulative number of factors up to effect ( fNEffects+1 )", "Start of Hashtable.",
        "Vector of local factor indices ( max factor index + 1 )",
        "Vector of parameter offsets for each effect ( fNModelEffects )",
        "Vector of factor indices in the extracted record",
        " Vector of covariate indices in the input record", "Index of the regression weight variable",
        "Total regression weighted count", "Sample size for all valid records", "QXFactorTables display end"})
    EXPECT_NE(out.find(label), std::string::npos) << label;
  EXPECT_EQ(out.find("Index of the weight variable"), std::string::npos);
}

// carData::Salaries with one cell removed and made-up weights; values from R (design_tables.R).
TEST(FactorTablesReference, SalariesCountsCellsAndMeansAgreeWithR) {
  std::ifstream in(std::string(QX_TEST_REFERENCE_DIR) + "/design_tables.json");
  const nlohmann::json ref = nlohmann::json::parse(in);
  // Record layout: 0 rank, 1 discipline, 2 phd, 3 service, 4 sex, 5 salary, 6 w, 7 g.
  QXFactorTables tables({0, 1, 4}, ref["n_categories"].get<std::vector<int>>(), 6, -1, 0, 0, -1, 0.0,
                        QXConst::QXOffsetNone);
  ASSERT_TRUE(tables.SetModelEffectFactors({{}, {0}, {1}, {0, 1, 4}, {0, 4}, {}, {}}));
  tables.SetRegrWeightVar(7);
  tables.SetCovariates({2, 3, 5});
  tables.SetDepVar(5);
  tables.SetCovarEffects({-1, -1, -1, -1, -1, 0, 1}, {{2, 3}, {2, 2}});
  for (const auto& row : ref["rows"]) ASSERT_TRUE(tables.UpdateAll(Make(row.get<std::vector<double>>())));
  EXPECT_EQ(tables.CreateParameterIndices(0), ref["n_parameters"].get<int>() + 2);

  // Counts and totals are sums of small integers and quarters: exact.
  for (int f = 0; f < 3; ++f) {
    const auto& expected = ref["factor_counts"][f];
    for (std::size_t k = 0; k < expected.size(); ++k) {
      EXPECT_EQ((*tables.GetCountsPtr(f))[k].first, expected[k][0].get<double>());
      EXPECT_EQ((*tables.GetCountsPtr(f))[k].second, expected[k][1].get<double>());
    }
  }
  // The counts part copies out on its own, as the fitted models hand it out.
  const QXMath_600::QXFactorCounts counts = tables;
  EXPECT_EQ(*counts.GetCountsPtr(2), *tables.GetCountsPtr(2));
  EXPECT_EQ(tables.GetTotalWeight(), ref["total_weight"].get<double>());
  EXPECT_EQ(tables.GetTotalRegrWeight(), ref["total_regr_weight"].get<double>());
  EXPECT_EQ(tables.GetSampleSize(), ref["sample_size"].get<double>());
  for (int e = 0; e < 4; ++e) {
    const auto& cells = ref["effect_cells"][e];
    ASSERT_EQ(tables.GetNEffectParameters(e + 1), static_cast<int>(cells.size()));
    for (std::size_t k = 0; k < cells.size(); ++k) {
      std::vector<int> values;
      tables.GetParameterFactorValues(values, e + 1, static_cast<int>(k));
      EXPECT_EQ(values, cells[k].get<std::vector<int>>());
    }
  }
  EXPECT_EQ(tables.GetIncompleteEffectIndex(), ref["incomplete_effect"].get<int>());
  const auto& rows = ref["rows"];
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const std::vector<double> row = rows[r].get<std::vector<double>>();
    bool ok = false;
    // R numbers the intercept and the four factor effects; the two covariate effects come last.
    std::vector<int> expected = ref["row_parameter_indices"][r].get<std::vector<int>>();
    expected.push_back(ref["n_parameters"].get<int>());
    expected.push_back(ref["n_parameters"].get<int>() + 1);
    ASSERT_EQ(tables.GetRowParameterIndices(row.data(), ok), expected) << r;
    EXPECT_TRUE(ok);
  }

  // Running means against R's two-pass sums: a few hundred updates each lose at most some units in
  // the last place, so 1e-12 relative leaves room while catching any wrong weighting.
  const std::vector<double> means = tables.GetCovariateMeans();
  for (int c = 0; c < 3; ++c)
    EXPECT_TRUE(Near(means[c], ref["covariate_means"][c].get<double>(), 1e-12)) << c;
  EXPECT_TRUE(Near(tables.GetDepMean(), ref["dependent_mean"].get<double>(), 1e-12));
  for (int j = 0; j < 2; ++j) {
    EXPECT_TRUE(Near(tables.GetCovEffectMeans()[j], ref["cov_effect_means"][j].get<double>(), 1e-12)) << j;
    EXPECT_TRUE(Near(tables.GetCovEffectStddev()[j], ref["cov_effect_sd"][j].get<double>(), 1e-12)) << j;
  }
}

// A large sparse three-factor design: cells, numbering and counts against a direct tally in maps. With
// C of 50 categories every effect marks the cells it has seen in an array; with 50 000 the three-way
// effect has more combinations than the marks allow and finds its cells by the hash table alone.
class SparseThreeFactorDesign : public ::testing::TestWithParam<int> {};

TEST_P(SparseThreeFactorDesign, AgreesWithADirectTally) {
  constexpr int kA = 5, kB = 10;
  const int kC = GetParam();
  QXFactorTables tables({0, 1, 2}, {kA, kB, kC}, 3, -1, 0, 0, -1, 0.0, QXConst::QXOffsetNone);
  const Lists effects = {{}, {0}, {1}, {2}, {0, 1}, {0, 1, 2}};
  ASSERT_TRUE(tables.SetModelEffectFactors(effects));
  std::mt19937 rng(20240601);
  std::array<std::map<int, std::pair<double, double>>, 3> counts;
  std::vector<std::map<std::vector<int>, int>> cells(effects.size());
  for (int i = 0; i < 20000; ++i) {
    const int a = static_cast<int>(rng() % kA), b = static_cast<int>(rng() % kB);
    // C takes 12 of its 50 levels, depending on A and B: about 600 of 2500 cells occur.
    const int c = static_cast<int>((a * 7 + b * 3 + static_cast<int>(rng() % 12)) % kC);
    const double w = static_cast<double>(rng() % 4);
    // Now and then a code one past B's last category: no level, so not a case of the tables.
    const bool bad = rng() % 50 == 0;
    const double values[] = {double(a), bad ? double(kB) : double(b), double(c), w};
    EXPECT_EQ(tables.UpdateAll(Record(values, 4)), !bad);
    const int levels[] = {a, b, c};
    for (int f = 0; f < 3; ++f) {
      if (f == 1 && bad) continue;
      counts[f][levels[f]].first += w;
      counts[f][levels[f]].second += 1.0;
    }
    if (bad) continue;
    for (std::size_t m = 0; m < effects.size(); ++m) {
      std::vector<int> key;
      for (int var : effects[m]) key.push_back(levels[var]);
      cells[m][key] = 0;
    }
  }
  // Numbering: effect by effect, the cells of each in the map's (lexicographic) order.
  int next = 0;
  for (auto& effect : cells)
    for (auto& cell : effect) cell.second = next++;
  ASSERT_EQ(tables.CreateParameterIndices(0), next);
  EXPECT_GT(cells[5].size(), 500u);
  for (std::size_t m = 0; m < effects.size(); ++m) {
    if (effects[m].empty()) continue;
    for (const auto& [key, index] : cells[m]) {
      // Levels go by factor position; the factors' record indices are their positions here.
      std::vector<int> levels(3, 0);
      for (std::size_t j = 0; j < key.size(); ++j) levels[effects[m][j]] = key[j];
      ASSERT_EQ(tables.GetEffectParameterIndex(static_cast<int>(m), levels), index);
    }
  }
  for (int f = 0; f < 3; ++f)
    for (const auto& [level, count] : counts[f]) EXPECT_EQ((*tables.GetCountsPtr(f))[level], count) << f;
}

INSTANTIATE_TEST_SUITE_P(FactorTablesReference, SparseThreeFactorDesign, ::testing::Values(50, 50000));

}  // namespace
