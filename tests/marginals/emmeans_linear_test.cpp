// Marginal means of linear models fitted through the public API, against emmeans on lm() fits of the
// same data (tests/reference/emmeans_linear.R): means with standard errors and bounds (covariates at
// their means and at given values, a nested request), pairwise differences with every adjustment, the
// contrast kinds, joint tests of each group, several compare factors, the factor and covariate
// profiles; and a design with an empty cell against the stated formula (means over the combinations
// that exist).
//
// Tolerance: 1e-10 relative. The library and R reach the same numbers from different parameterisations
// (the over-parameterised design with aliased columns against R's treatment contrasts), each solving
// its own least-squares problem; every value agrees to 1e-12 (p-values down to 1e-20 included).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "marginals_test_support.h"

namespace marginals_test {
namespace {

constexpr double kRel = 1e-10;

struct Contrast {
  const char* name;
  QXContrastType type;
  int reference;  // the simple contrast's reference: -1 the last level
};

// emmeans' method and the library's kind that must agree row by row (up to the scale of the row).
const Contrast kContrasts[] = {
    {"poly", QXConst::QXContrastPolynomial, -1},      {"consec", QXConst::QXContrastRepeated, -1},
    {"simple_last", QXConst::QXContrastSimple, -1},   {"simple_first", QXConst::QXContrastSimple, 0},
    {"eff", QXConst::QXContrastDeviation, -1},        {"helmert", QXConst::QXContrastHelmert, -1},
    {"difference", QXConst::QXContrastDifference, -1}};

struct Adjust {
  const char* name;
  QXPAdjustMethod method;
};
const Adjust kAdjusts[] = {{"none", QXConst::QXPAdjLSD},
                           {"bonferroni", QXConst::QXPAdjBonferroni},
                           {"sidak", QXConst::QXPAdjSidak},
                           {"holm", QXConst::QXPAdjSeqBonferroni},
                           {"holm_sidak", QXConst::QXPAdjSeqSidak}};

class EmmeansLinear : public ::testing::TestWithParam<std::size_t> {
 protected:
  void SetUp() override {
    fCase = LoadReference("emmeans_linear.json")["cases"][GetParam()];
    fSettings = qx_linear_test::MakeSettings(fCase);
    fModel =
        std::make_unique<FittedModel>(fSettings, fCase["records"].get<std::vector<std::vector<double>>>());
    ASSERT_TRUE(fModel->Ok());
    ASSERT_EQ(fModel->fStats->GetNDegFreedom(), fCase["df_error"].get<double>());
  }

  // Every pair of every test of specification 0, keyed by group, first and second levels.
  std::map<std::string, QXEmmeansStats> Pairs(QXMarginals& m, const json& request) {
    std::map<std::string, QXEmmeansStats> pairs;
    std::vector<int> compareVars;
    for (const auto& f : request["compare"]) compareVars.push_back(qx_linear_test::ColumnIndex(fCase, f));
    std::vector<std::vector<int>> combinations;
    EXPECT_TRUE(m.GetPWCombinations(0, combinations));
    auto levelsOf = [&](int category) {
      std::vector<std::pair<int, int>> levels;
      for (std::size_t i = 0; i < compareVars.size(); ++i)
        levels.emplace_back(compareVars[i], compareVars.size() == 1 ? category : combinations[category][i]);
      return LevelKey(levels);
    };
    QXCommon_600::QXStatus status;
    const int nTests = m.GetNEmmeansTests(0, status);
    EXPECT_GT(nTests, 0) << status.GetMessage();
    for (int t = 0; t < nTests; ++t) {
      const int n = m.GetNPairwiseEmmeansTests(0, t);
      for (int p = 0; p < n; ++p) {
        std::vector<std::pair<int, int>> tableFactors;
        std::vector<int> categories;
        QXEmmeansStats stats;
        const QXCommon_600::QXStatus got =
            m.GetPairwiseEmmeansTests(0, t, p, tableFactors, categories, stats);
        EXPECT_FALSE(got.IsError()) << got.GetMessage();
        pairs[LevelKey(tableFactors) + "|" + levelsOf(categories[0]) + "|" +
              levelsOf(stats.fvCategories[0])] = stats;
      }
    }
    return pairs;
  }

  json fCase;
  QXMath_600::QXRegSettings fSettings;
  std::unique_ptr<FittedModel> fModel;
};

TEST_P(EmmeansLinear, MeansWithStandardErrorsAndBounds) {
  for (const json& request : fCase["requests"]) {
    auto m = fModel->Marginals({MakeSpec(fCase, request, QXConst::QXContrastPairwise, QXConst::QXPAdjLSD)});
    const QXEmmeansSpec* spec = nullptr;
    const QXMath_600::QXRectMatrix* L = nullptr;
    std::vector<QXEmmeansStats> stats;
    ASSERT_TRUE(m->GetEmmeansStats(0, spec, L, stats).IsOK());
    ASSERT_EQ(stats.size(), request["means"].size());
    // The rows report their levels in the request's factor order, nesting levels applied.
    std::vector<int> reported;
    ASSERT_TRUE(
        QXMarginals::ReorderFactors(spec->GetFactors(), spec->GetFactorsNestLevel(), reported).IsOK());
    std::map<std::string, QXEmmeansStats> byLevels;
    for (const QXEmmeansStats& s : stats) {
      std::vector<std::pair<int, int>> levels;
      for (std::size_t i = 0; i < reported.size(); ++i) levels.emplace_back(reported[i], s.fvCategories[i]);
      byLevels[LevelKey(levels)] = s;
    }
    for (const json& mean : request["means"]) {
      const std::string key = LevelKey(fCase, mean["levels"]);
      ASSERT_EQ(byLevels.count(key), 1u) << key;
      const QXEmmeansStats& s = byLevels[key];
      const double se = mean["se"];
      EXPECT_TRUE(Close(s.fMean, mean["mean"], kRel, se, key + " mean"));
      EXPECT_TRUE(Close(s.fStdError, se, kRel, 0.0, key + " se"));
      EXPECT_EQ(s.fDF, mean["df"].get<double>());
      EXPECT_TRUE(Close(s.fLower, mean["lower"], kRel, se, key + " lower"));
      EXPECT_TRUE(Close(s.fUpper, mean["upper"], kRel, se, key + " upper"));
      EXPECT_EQ(s.fSig, kM);
    }
  }
}

TEST_P(EmmeansLinear, PairwiseDifferencesWithEveryAdjustment) {
  for (const json& request : fCase["requests"]) {
    if (!request.contains("pairs")) continue;
    for (const Adjust& adjust : kAdjusts) {
      if (!request["pairs"].contains(adjust.name)) continue;
      auto m = fModel->Marginals({MakeSpec(fCase, request, QXConst::QXContrastPairwise, adjust.method)});
      const std::map<std::string, QXEmmeansStats> pairs = Pairs(*m, request);
      // Both directions of every pair.
      EXPECT_EQ(pairs.size(), 2 * request["pairs"][adjust.name].size());
      for (const json& expected : request["pairs"][adjust.name]) {
        const std::string by = LevelKey(fCase, expected["by"]);
        const std::string first = LevelKey(fCase, expected["first"]),
                          second = LevelKey(fCase, expected["second"]);
        const std::string what = std::string(adjust.name) + " " + by + " " + first + " - " + second;
        ASSERT_EQ(pairs.count(by + "|" + first + "|" + second), 1u) << what;
        const QXEmmeansStats& s = pairs.at(by + "|" + first + "|" + second);
        const QXEmmeansStats& mirror = pairs.at(by + "|" + second + "|" + first);
        const double estimate = expected["estimate"];
        EXPECT_TRUE(Close(s.fMean, estimate, kRel, 1e-6 * std::fabs(estimate), what + " estimate"));
        EXPECT_TRUE(Close(mirror.fMean, -estimate, kRel, 1e-6 * std::fabs(estimate), what + " mirror"));
        EXPECT_TRUE(Close(s.fSig, expected["p"], kRel, 1e-300, what + " p"));
        EXPECT_EQ(mirror.fSig, s.fSig) << what;
        if (expected.contains("se")) {
          EXPECT_TRUE(Close(s.fStdError, expected["se"], kRel, 0.0, what + " se"));
          EXPECT_TRUE(Close(s.fTStat, expected["stat"], kRel, 0.0, what + " t"));
          EXPECT_EQ(s.fDF, expected["df"].get<double>());
        }
        if (expected.contains("lower")) {
          const double se = expected["se"];
          EXPECT_TRUE(Close(s.fLower, expected["lower"], kRel, se, what + " lower"));
          EXPECT_TRUE(Close(s.fUpper, expected["upper"], kRel, se, what + " upper"));
          EXPECT_TRUE(
              Close(mirror.fLower, -expected["upper"].get<double>(), kRel, se, what + " mirror lower"));
        }
      }
    }
  }
}

TEST_P(EmmeansLinear, ContrastsOfEveryKindAndTheirJointTest) {
  for (const json& request : fCase["requests"]) {
    if (!request.contains("contrasts")) continue;
    for (const Contrast& kind : kContrasts) {
      const json& reference = request["contrasts"][kind.name];
      for (const Adjust& adjust : {kAdjusts[0], kAdjusts[1]}) {
        QXEmmeansSpec spec = MakeSpec(fCase, request, kind.type, adjust.method);
        spec.SetRefCateg(kind.reference);
        auto m = fModel->Marginals({spec});
        QXCommon_600::QXStatus status;
        const int nTests = m->GetNEmmeansTests(0, status);
        const json* rows = &reference[adjust.name];
        ASSERT_GT(nTests, 0);
        const std::size_t perTest = rows->size() / nTests;
        // Two levels: the deviation rows are each other's negatives, one hypothesis, which the library
        // adjusts as one test where emmeans counts two.
        if (kind.type == QXConst::QXContrastDeviation && perTest == 2) rows = &reference["none"];
        for (int t = 0; t < nTests; ++t) {
          std::vector<std::pair<int, int>> tableFactors;
          std::vector<int> categories;
          QXMath_600::QXRectMatrix* contrastL = nullptr;
          std::vector<QXTestStats> individual;
          QXTestStats overall;
          ASSERT_TRUE(
              m->GetEmmeansTests(0, t, tableFactors, categories, contrastL, individual, overall).IsOK());
          ASSERT_EQ(individual.size(), perTest);
          ASSERT_EQ(contrastL->GetNRows(), static_cast<int>(perTest));
          for (std::size_t r = 0; r < perTest; ++r) {
            const json& expected = (*rows)[t * perTest + r];
            const std::string what = std::string(kind.name) + " " + adjust.name + " test " +
                                     std::to_string(t) + " row " + std::to_string(r);
            ASSERT_EQ(LevelKey(tableFactors), LevelKey(fCase, expected["by"])) << what;
            // The library's polynomial rows have unit length and its repeated contrast runs from each
            // level to the next; emmeans scales the first to integers and takes the second the other way.
            double scale = 1.0;
            if (std::string(kind.name) == "poly") {
              double norm = 0.0;
              for (double x : reference["coefficients"][r]) norm += x * x;
              scale = 1.0 / std::sqrt(norm);
            }
            if (std::string(kind.name) == "consec") scale = -1.0;
            const QXTestStats& s = individual[r];
            const double se = expected["se"].get<double>() * std::fabs(scale);
            EXPECT_TRUE(Close(s.GetContrastEstimate(), scale * expected["estimate"].get<double>(), kRel, se,
                              what + " estimate"));
            EXPECT_TRUE(Close(s.GetStandardError(), se, kRel, 0.0, what + " se"));
            EXPECT_TRUE(Close(s.GetWald(), (scale < 0 ? -1 : 1) * expected["stat"].get<double>(), kRel, 0.0,
                              what + " t"));
            EXPECT_TRUE(Close(s.GetAdjSig(), expected["p"], kRel, 1e-300, what + " p"));
            const double lower = scale * expected[scale < 0 ? "upper" : "lower"].get<double>();
            const double upper = scale * expected[scale < 0 ? "lower" : "upper"].get<double>();
            EXPECT_TRUE(Close(s.GetLowerConfidenceInterval(), lower, kRel, se, what + " lower"));
            EXPECT_TRUE(Close(s.GetUpperConfidenceInterval(), upper, kRel, se, what + " upper"));
          }
          // Every kind spans the differences among the group's means: its joint test is the group's.
          const json& joint = request["joint"][t];
          EXPECT_TRUE(Close(overall.GetWald(), joint["F"], kRel, 0.0, std::string(kind.name) + " joint F"));
          EXPECT_EQ(overall.GetDF(), joint["df1"].get<double>());
        }
      }
    }
  }
}

TEST_P(EmmeansLinear, JointTestOfEachGroup) {
  for (const json& request : fCase["requests"]) {
    if (!request.contains("joint")) continue;
    auto m = fModel->Marginals({MakeSpec(fCase, request, QXConst::QXContrastPairwise, QXConst::QXPAdjLSD)});
    QXCommon_600::QXStatus status;
    const int nTests = m->GetNEmmeansTests(0, status);
    ASSERT_EQ(nTests, static_cast<int>(request["joint"].size()));
    for (int t = 0; t < nTests; ++t) {
      const json& expected = request["joint"][t];
      std::vector<std::pair<int, int>> tableFactors;
      QXTestStats overall;
      ASSERT_TRUE(m->GetPairwiseOverallTest(0, t, tableFactors, overall).IsOK());
      EXPECT_EQ(LevelKey(tableFactors), LevelKey(fCase, expected["by"]));
      EXPECT_TRUE(Close(overall.GetWald(), expected["F"], kRel, 0.0, "F"));
      EXPECT_EQ(overall.GetDF(), expected["df1"].get<double>());
      EXPECT_EQ(overall.GetDF2(), expected["df2"].get<double>());
      EXPECT_TRUE(Close(overall.GetSig(), expected["p"], kRel, 1e-300, "p"));
    }
  }
}

TEST_P(EmmeansLinear, FactorAndCovariateProfiles) {
  auto m = fModel->Marginals({});
  const QXMath_600::QXRectMatrix* L = nullptr;
  if (fCase.contains("factor_means")) {
    for (const json& expected : fCase["factor_means"]) {
      std::vector<double> means;
      ASSERT_TRUE(
          m->GetFactorEmmeans(qx_linear_test::ColumnIndex(fCase, expected["factor"]), L, means).IsOK());
      for (std::size_t i = 0; i < expected["levels"].size(); ++i)
        EXPECT_TRUE(
            Close(means[expected["levels"][i].get<int>()], expected["means"][i], kRel, 0.0, "factor mean"));
    }
  }
  if (fCase.contains("covariate_means") && !fCase["covariate_means"].is_null()) {
    const json& expected = fCase["covariate_means"];
    const std::vector<double> grid = expected["values"];
    std::vector<double> values, means;
    ASSERT_TRUE(m->GetCovarEmmeans(qx_linear_test::ColumnIndex(fCase, expected["covariate"]), grid.front(),
                                   grid.back(), static_cast<int>(grid.size()), L, values, means)
                    .IsOK());
    EXPECT_EQ(values, grid);
    for (std::size_t i = 0; i < grid.size(); ++i)
      EXPECT_TRUE(Close(means[i], expected["means"][i], kRel, 0.0, "covariate mean"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EmmeansLinear, ::testing::Range<std::size_t>(0, 5),
    [](const ::testing::TestParamInfo<std::size_t>& info) {
      return LoadReference("emmeans_linear.json")["cases"][info.param]["name"].get<std::string>();
    });

}  // namespace
}  // namespace marginals_test
