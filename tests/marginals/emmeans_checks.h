// The comparisons with emmeans that the linear and the logistic suites share: each takes a reference
// case, one of its requests (qx_emmeans.R's layout) and a fitted model, builds the request as a caller
// would and checks every number the reference gives. A statistic emmeans gives on infinite degrees of
// freedom (a z ratio) is the library's Wald chi-square, its square, with missing degrees of freedom.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "marginals_test_support.h"

namespace marginals_test {

// The relative tolerance of the comparisons, and the requests' contrast kinds and adjustments.
struct Checks {
  double rel;
  // True when emmeans' statistics are z ratios (the library's test type 2).
  bool normal;
};

struct ContrastKind {
  const char* name;
  QXContrastType type;
  int reference;  // the simple contrast's reference: -1 the last level
};

// emmeans' method and the library's kind that must agree row by row (up to the scale of the row).
inline const ContrastKind kContrastKinds[] = {
    {"poly", QXConst::QXContrastPolynomial, -1},      {"consec", QXConst::QXContrastRepeated, -1},
    {"simple_last", QXConst::QXContrastSimple, -1},   {"simple_first", QXConst::QXContrastSimple, 0},
    {"eff", QXConst::QXContrastDeviation, -1},        {"helmert", QXConst::QXContrastHelmert, -1},
    {"difference", QXConst::QXContrastDifference, -1}};

struct AdjustKind {
  const char* name;
  QXPAdjustMethod method;
};
inline const AdjustKind kAdjustKinds[] = {{"none", QXConst::QXPAdjLSD},
                                          {"bonferroni", QXConst::QXPAdjBonferroni},
                                          {"sidak", QXConst::QXPAdjSidak},
                                          {"holm", QXConst::QXPAdjSeqBonferroni},
                                          {"holm_sidak", QXConst::QXPAdjSeqSidak}};

// The expected degrees of freedom: missing where emmeans' are infinite.
inline double ExpectedDF(const json& value) { return value.is_null() ? kM : value.get<double>(); }

// The library's statistic for emmeans' t or z ratio.
inline double ExpectedStatistic(const Checks& checks, double ratio) {
  return checks.normal ? ratio * ratio : ratio;
}

inline void ExpectMeans(const json& c, FittedModel& model, const json& request, const Checks& checks) {
  auto m = model.Marginals({MakeSpec(c, request, QXConst::QXContrastPairwise, QXConst::QXPAdjLSD)});
  const QXEmmeansSpec* spec = nullptr;
  const QXMath_600::QXRectMatrix* L = nullptr;
  std::vector<QXEmmeansStats> stats;
  ASSERT_TRUE(m->GetEmmeansStats(0, spec, L, stats).IsOK());
  ASSERT_EQ(stats.size(), request["means"].size());
  // The rows report their levels in the request's factor order, nesting levels applied.
  std::vector<int> reported;
  ASSERT_TRUE(QXMarginals::ReorderFactors(spec->GetFactors(), spec->GetFactorsNestLevel(), reported).IsOK());
  std::map<std::string, QXEmmeansStats> byLevels;
  for (const QXEmmeansStats& s : stats) {
    std::vector<std::pair<int, int>> levels;
    for (std::size_t i = 0; i < reported.size(); ++i) levels.emplace_back(reported[i], s.fvCategories[i]);
    byLevels[LevelKey(levels)] = s;
  }
  for (const json& mean : request["means"]) {
    const std::string key = LevelKey(c, mean["levels"]);
    ASSERT_EQ(byLevels.count(key), 1u) << key;
    const QXEmmeansStats& s = byLevels[key];
    const double se = mean["se"];
    EXPECT_TRUE(Close(s.fMean, mean["mean"], checks.rel, se, key + " mean"));
    EXPECT_TRUE(Close(s.fStdError, se, checks.rel, 0.0, key + " se"));
    EXPECT_EQ(s.fDF, ExpectedDF(mean["df"]));
    EXPECT_TRUE(Close(s.fLower, mean["lower"], checks.rel, se, key + " lower"));
    EXPECT_TRUE(Close(s.fUpper, mean["upper"], checks.rel, se, key + " upper"));
    EXPECT_EQ(s.fSig, kM);
  }
}

// Every pair of every test of specification 0, keyed by group, first and second levels.
inline std::map<std::string, QXEmmeansStats> CollectPairs(const json& c, QXMarginals& m,
                                                          const json& request) {
  std::map<std::string, QXEmmeansStats> pairs;
  std::vector<int> compareVars;
  for (const auto& f : request["compare"]) compareVars.push_back(qx_linear_test::ColumnIndex(c, f));
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
      const QXCommon_600::QXStatus got = m.GetPairwiseEmmeansTests(0, t, p, tableFactors, categories, stats);
      EXPECT_FALSE(got.IsError()) << got.GetMessage();
      pairs[LevelKey(tableFactors) + "|" + levelsOf(categories[0]) + "|" + levelsOf(stats.fvCategories[0])] =
          stats;
    }
  }
  return pairs;
}

inline void ExpectPairs(const json& c, FittedModel& model, const json& request, const Checks& checks) {
  for (const AdjustKind& adjust : kAdjustKinds) {
    if (!request["pairs"].contains(adjust.name)) continue;
    auto m = model.Marginals({MakeSpec(c, request, QXConst::QXContrastPairwise, adjust.method)});
    const std::map<std::string, QXEmmeansStats> pairs = CollectPairs(c, *m, request);
    // Both directions of every pair.
    EXPECT_EQ(pairs.size(), 2 * request["pairs"][adjust.name].size());
    for (const json& expected : request["pairs"][adjust.name]) {
      const std::string by = LevelKey(c, expected["by"]);
      const std::string first = LevelKey(c, expected["first"]), second = LevelKey(c, expected["second"]);
      const std::string what = std::string(adjust.name) + " " + by + " " + first + " - " + second;
      ASSERT_EQ(pairs.count(by + "|" + first + "|" + second), 1u) << what;
      const QXEmmeansStats& s = pairs.at(by + "|" + first + "|" + second);
      const QXEmmeansStats& mirror = pairs.at(by + "|" + second + "|" + first);
      const double estimate = expected["estimate"];
      const double scale =
          expected.contains("se") ? expected["se"].get<double>() : 1e-6 * std::fabs(estimate);
      EXPECT_TRUE(Close(s.fMean, estimate, checks.rel, scale, what + " estimate"));
      EXPECT_TRUE(Close(mirror.fMean, -estimate, checks.rel, scale, what + " mirror"));
      EXPECT_TRUE(Close(s.fSig, expected["p"], checks.rel, 1e-300, what + " p"));
      EXPECT_EQ(mirror.fSig, s.fSig) << what;
      if (expected.contains("se")) {
        EXPECT_TRUE(Close(s.fStdError, expected["se"], checks.rel, 0.0, what + " se"));
        EXPECT_TRUE(Close(s.fTStat, ExpectedStatistic(checks, expected["stat"]), checks.rel, 0.0,
                          what + " statistic"));
        EXPECT_EQ(s.fDF, ExpectedDF(expected["df"]));
      }
      if (expected.contains("lower")) {
        EXPECT_TRUE(Close(s.fLower, expected["lower"], checks.rel, scale, what + " lower"));
        EXPECT_TRUE(Close(s.fUpper, expected["upper"], checks.rel, scale, what + " upper"));
        EXPECT_TRUE(
            Close(mirror.fLower, -expected["upper"].get<double>(), checks.rel, scale, what + " mirror"));
      }
    }
  }
}

// The joint test of a group: F on the linear model, the Wald chi-square where emmeans' tests are z.
inline void ExpectJoint(const json& expected, const QXTestStats& overall, const Checks& checks,
                        const std::string& what) {
  EXPECT_TRUE(
      Close(overall.GetWald(), expected[checks.normal ? "chisq" : "F"], checks.rel, 0.0, what + " joint"));
  EXPECT_EQ(overall.GetDF(), expected["df1"].get<double>()) << what;
  EXPECT_EQ(overall.GetDF2(), ExpectedDF(expected["df2"])) << what;
  EXPECT_TRUE(Close(overall.GetSig(), expected["p"], checks.rel, 1e-300, what + " joint p"));
}

inline void ExpectContrasts(const json& c, FittedModel& model, const json& request, const Checks& checks) {
  for (const ContrastKind& kind : kContrastKinds) {
    const json& reference = request["contrasts"][kind.name];
    for (const AdjustKind& adjust : {kAdjustKinds[0], kAdjustKinds[1]}) {
      QXEmmeansSpec spec = MakeSpec(c, request, kind.type, adjust.method);
      spec.SetRefCateg(kind.reference);
      auto m = model.Marginals({spec});
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
        const std::string test = std::string(kind.name) + " " + adjust.name + " test " + std::to_string(t);
        for (std::size_t r = 0; r < perTest; ++r) {
          const json& expected = (*rows)[t * perTest + r];
          const std::string what = test + " row " + std::to_string(r);
          ASSERT_EQ(LevelKey(tableFactors), LevelKey(c, expected["by"])) << what;
          // The library's polynomial rows have unit length and its repeated contrast runs from each level
          // to the next; emmeans scales the first to integers and takes the second the other way.
          double scale = 1.0;
          if (std::string(kind.name) == "poly") {
            double norm = 0.0;
            for (double x : reference["coefficients"][r]) norm += x * x;
            scale = 1.0 / std::sqrt(norm);
          }
          if (std::string(kind.name) == "consec") scale = -1.0;
          const QXTestStats& s = individual[r];
          const double se = expected["se"].get<double>() * std::fabs(scale);
          EXPECT_TRUE(Close(s.GetContrastEstimate(), scale * expected["estimate"].get<double>(), checks.rel,
                            se, what + " estimate"));
          EXPECT_TRUE(Close(s.GetStandardError(), se, checks.rel, 0.0, what + " se"));
          const double ratio = (scale < 0 ? -1 : 1) * expected["stat"].get<double>();
          EXPECT_TRUE(
              Close(s.GetWald(), ExpectedStatistic(checks, ratio), checks.rel, 0.0, what + " statistic"));
          EXPECT_TRUE(Close(s.GetAdjSig(), expected["p"], checks.rel, 1e-300, what + " p"));
          const double lower = scale * expected[scale < 0 ? "upper" : "lower"].get<double>();
          const double upper = scale * expected[scale < 0 ? "lower" : "upper"].get<double>();
          EXPECT_TRUE(Close(s.GetLowerConfidenceInterval(), lower, checks.rel, se, what + " lower"));
          EXPECT_TRUE(Close(s.GetUpperConfidenceInterval(), upper, checks.rel, se, what + " upper"));
        }
        // Every kind spans the differences among the group's means: its joint test is the group's.
        ExpectJoint(request["joint"][t], overall, checks, test);
      }
    }
  }
}

inline void ExpectJointTests(const json& c, FittedModel& model, const json& request, const Checks& checks) {
  auto m = model.Marginals({MakeSpec(c, request, QXConst::QXContrastPairwise, QXConst::QXPAdjLSD)});
  QXCommon_600::QXStatus status;
  const int nTests = m->GetNEmmeansTests(0, status);
  ASSERT_EQ(nTests, static_cast<int>(request["joint"].size()));
  for (int t = 0; t < nTests; ++t) {
    const json& expected = request["joint"][t];
    std::vector<std::pair<int, int>> tableFactors;
    QXTestStats overall;
    ASSERT_TRUE(m->GetPairwiseOverallTest(0, t, tableFactors, overall).IsOK());
    EXPECT_EQ(LevelKey(tableFactors), LevelKey(c, expected["by"]));
    ExpectJoint(expected, overall, checks, "test " + std::to_string(t));
  }
}

}  // namespace marginals_test
