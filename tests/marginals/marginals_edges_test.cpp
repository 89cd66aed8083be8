// Marginal means on small designs made by hand, where every L row and every status can be stated:
// the L matrices of the worked examples, covariates at their means and at given values, categories
// without weight, the link's back-transformation (both kinds of link), the statuses of bad requests,
// of calls out of order and of indices out of range, the test groups and warnings of designs with empty
// cells, the pairwise order and cache, and cancellation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "marginals_test_support.h"

namespace marginals_test {
namespace {

using QXCommon_600::QXStatus;
using QXMath_600::QXLiteDesignMatrix;
using QXMath_600::QXModelEffect;
using QXMath_600::QXRectMatrix;
using QXMath_600::QXRegrParameter;

constexpr int kA = 1, kB = 2, kX = 3;  // record indices of the factors and the covariate

// A fitted model made by hand: factors A and B, covariate x, effects intercept, A, B, optionally A x B
// (over the given cells) and x (optionally also x x x). Estimates b_j = 1 + j / 4, V diagonal.
struct Design {
  Design(int nA, int nB, const std::vector<std::pair<int, int>>& cells, bool covariate, bool square = false,
         const std::vector<double>& weightsA = {})
      : counts({kA, kB}, {nA, nB}, 4, -1, 0, 0, -1, 0.0, QXConst::QXOffsetNone) {
    settings.SetDependent(0);
    settings.AddFactor(kA, nA);
    settings.AddFactor(kB, nB);
    if (covariate) settings.AddCovariate(kX);
    lite = std::make_unique<QXLiteDesignMatrix>(settings.GetFactors(), settings.GetFactorSizes(),
                                                settings.GetCovariates());
    std::vector<int> candidates = {kA, kB};
    if (covariate) candidates.push_back(kX);
    const int nCov = covariate ? 1 : 0;
    lite->AddModelEffect(QXModelEffect(2, nCov, &candidates), {QXRegrParameter()});
    auto effect = [&](std::vector<int> factors, int power) {
      QXModelEffect e(2, nCov, &candidates);
      for (int f : factors) e.AddNewFactor(f, false);
      for (int i = 0; i < power; ++i) e.AddCovariate(kX);
      settings.AddModelEffect(e);
      return e;
    };
    auto add = [&](const QXModelEffect& e, const std::vector<std::vector<int>>& levels) {
      std::vector<QXRegrParameter> parameters;
      for (const std::vector<int>& cell : levels) {
        QXRegrParameter p;
        p.SetupFromEffect(e, settings.GetNModelEffects() - 1, 0);
        p.GetCategories() = cell;
        parameters.push_back(p);
      }
      if (levels.empty()) parameters.push_back(QXRegrParameter());
      if (levels.empty()) parameters.back().AddCovariate(kX, e.GetCovariateMult(kX));
      lite->AddModelEffect(e, parameters);
    };
    std::vector<std::vector<int>> levelsA, levelsB, levelsAB;
    for (int a = 0; a < nA; ++a) levelsA.push_back({a});
    for (int b = 0; b < nB; ++b) levelsB.push_back({b});
    for (const auto& [a, b] : cells) levelsAB.push_back({a, b});
    add(effect({kA}, 0), levelsA);
    add(effect({kB}, 0), levelsB);
    if (!cells.empty()) add(effect({kA, kB}, 0), levelsAB);
    if (covariate) add(effect({}, 1), {});
    if (square) add(effect({}, 2), {});
    const int n = lite->GetNParameters();
    for (int j = 0; j < n; ++j) b.push_back(1.0 + j / 4.0);
    V.SetNRowsCols(n);
    for (int j = 0; j < n; ++j) V.SetElem(j, j, 0.1 + 0.01 * j);
    redundancy = QXMath_600::QXBitSet(n);
    // Counts: every level of B once; A's levels with the given weights (1 when not given).
    for (int a = 0; a < nA; ++a)
      for (int lb = 0; lb < nB; ++lb) {
        const double w = weightsA.empty() ? 1.0 : weightsA[a];
        const std::vector<double> values = {0.0, double(a), double(lb), 0.0, w};
        counts.Update(QXCommon_600::Record(values.data(), 5));
      }
  }

  std::unique_ptr<QXMarginals> Marginals(const std::vector<QXEmmeansSpec>& specs,
                                         QXConst::LinkType link = QXConst::QXLinkTypeIdentity,
                                         const QXMath_600::QXFactorCounts* withCounts = nullptr,
                                         bool testing = true) {
    auto m = std::make_unique<QXMarginals>(settings, specs, *lite, b, cancel, means,
                                           withCounts != nullptr ? withCounts : &counts, link, 0.0);
    if (testing) {
      EXPECT_TRUE(m->SetEmmeansTesting(&V, redundancy, 20.0, nullptr).IsOK());
    }
    return m;
  }

  QXMath_600::QXRegSettings settings;
  std::unique_ptr<QXLiteDesignMatrix> lite;
  std::vector<double> b;
  QXMath_600::QXSymMatrix V;
  QXMath_600::QXBitSet redundancy;
  QXMath_600::QXFactorCounts counts;
  QXMath_600::QXCancelInfo cancel;
  std::vector<double> means = {0.5};
};

QXEmmeansSpec Spec(std::vector<int> factors, std::vector<int> compare = {},
                   QXContrastType type = QXConst::QXContrastPairwise) {
  QXEmmeansSpec spec;
  for (int f : factors) spec.AddFactor(f);
  for (int f : compare) spec.AddCompareFactor(f);
  spec.SetContrastType(type);
  spec.SetEmmScaleType(QXConst::QXEmmTransformed);
  return spec;
}

std::vector<double> Row(const QXRectMatrix& L, int r) {
  std::vector<double> row;
  L.GetRow(r, row);
  return row;
}

std::vector<std::pair<int, int>> AllCells(int nA, int nB) {
  std::vector<std::pair<int, int>> cells;
  for (int a = 0; a < nA; ++a)
    for (int b = 0; b < nB; ++b) cells.emplace_back(a, b);
  return cells;
}

// ---- L matrices -------------------------------------------------------------------------------------

TEST(MarginalsLMatrix, OneFactorGivesTheInterceptAndItsLevelsColumn) {
  Design d(3, 1, {}, false);
  auto m = d.Marginals({Spec({kA})});
  const QXEmmeansSpec* spec = nullptr;
  const QXRectMatrix* L = nullptr;
  std::vector<QXEmmeansStats> stats;
  ASSERT_TRUE(m->GetEmmeansStats(0, spec, L, stats).IsOK());
  ASSERT_EQ(L->GetNRows(), 3);
  // Columns: intercept, A0, A1, A2, B0 (B has one level, averaged in).
  EXPECT_EQ(Row(*L, 0), (std::vector<double>{1, 1, 0, 0, 1}));
  EXPECT_EQ(Row(*L, 2), (std::vector<double>{1, 0, 0, 1, 1}));
  EXPECT_DOUBLE_EQ(stats[1].fMean, d.b[0] + d.b[2] + d.b[4]);
  EXPECT_DOUBLE_EQ(stats[1].fStdError, std::sqrt(0.1 + 0.12 + 0.14));
  EXPECT_EQ(stats[1].fvCategories, std::vector<int>{1});
}

TEST(MarginalsLMatrix, AFactorAveragesOverTheCellsOfTheOthers) {
  Design d(2, 3, AllCells(2, 3), false);
  auto m = d.Marginals({Spec({kA})});
  const QXEmmeansSpec* spec = nullptr;
  const QXRectMatrix* L = nullptr;
  std::vector<QXEmmeansStats> stats;
  ASSERT_TRUE(m->GetEmmeansStats(0, spec, L, stats).IsOK());
  // intercept, A0, A1, B0..B2, AB(0,0)..AB(1,2)
  const double t = 1.0 / 3.0;
  EXPECT_EQ(Row(*L, 0), (std::vector<double>{1, 1, 0, t, t, t, t, t, t, 0, 0, 0}));
  EXPECT_EQ(Row(*L, 1), (std::vector<double>{1, 0, 1, t, t, t, 0, 0, 0, t, t, t}));
}

TEST(MarginalsLMatrix, CovariatesAtTheirMeansOrAtTheValuesGiven) {
  Design d(2, 1, {}, true, true);
  QXEmmeansSpec held = Spec({kA});
  held.AddCovariate(kX, 2.0);
  QXEmmeansSpec missing = Spec({kA});
  missing.AddCovariate(kX, kM);
  auto m = d.Marginals({Spec({kA}), held, missing});
  const QXEmmeansSpec* spec = nullptr;
  const QXRectMatrix* L = nullptr;
  std::vector<QXEmmeansStats> stats;
  // Columns: intercept, A0, A1, B0, x, x^2.
  for (int s : {0, 2}) {
    ASSERT_TRUE(m->GetEmmeansStats(s, spec, L, stats).IsOK());
    EXPECT_EQ(Row(*L, 0), (std::vector<double>{1, 1, 0, 1, 0.5, 0.25})) << s;
    // The specification lists every covariate with the value it was held at.
    EXPECT_EQ(spec->GetCovariates(), (std::vector<std::pair<int, double>>{{kX, 0.5}}));
  }
  ASSERT_TRUE(m->GetEmmeansStats(1, spec, L, stats).IsOK());
  EXPECT_EQ(Row(*L, 1), (std::vector<double>{1, 0, 1, 1, 2.0, 4.0}));
}

TEST(MarginalsLMatrix, ACategoryWithoutWeightIsNotAMean) {
  Design d(3, 1, {}, false, false, {1.0, 0.0, 2.0});
  const QXEmmeansSpec* spec = nullptr;
  const QXRectMatrix* L = nullptr;
  std::vector<QXEmmeansStats> stats;
  auto weighted = d.Marginals({Spec({kA})});
  ASSERT_TRUE(weighted->GetEmmeansStats(0, spec, L, stats).IsOK());
  ASSERT_EQ(stats.size(), 2u);
  EXPECT_EQ(stats[1].fvCategories, std::vector<int>{2});
  // Without counts every category is observed.
  auto m = std::make_unique<QXMarginals>(d.settings, std::vector<QXEmmeansSpec>{Spec({kA})}, *d.lite, d.b,
                                         d.cancel, d.means, nullptr, QXConst::QXLinkTypeIdentity, 0.0);
  ASSERT_TRUE(m->SetEmmeansTesting(&d.V, d.redundancy, 20.0, nullptr).IsOK());
  ASSERT_TRUE(m->GetEmmeansStats(0, spec, L, stats).IsOK());
  EXPECT_EQ(stats.size(), 3u);
}

TEST(MarginalsLMatrix, CovariateProfileAndFactorProfile) {
  Design d(2, 1, {}, true, true);
  auto m = d.Marginals({}, QXConst::QXLinkTypeIdentity, nullptr, false);
  const QXRectMatrix* L = nullptr;
  std::vector<double> values, means;
  ASSERT_TRUE(m->GetCovarEmmeans(kX, 0.0, 1.0, 2, L, values, means).IsOK());
  EXPECT_EQ(values, (std::vector<double>{0.0, 1.0}));
  EXPECT_EQ(Row(*L, 1), (std::vector<double>{1, 0.5, 0.5, 1, 1, 1}));
  EXPECT_DOUBLE_EQ(means[1], 1.0 + 0.5 * (1.25 + 1.5) + 1.75 + 2.0 + 2.25);
  for (int n : {1, 0}) EXPECT_EQ(m->GetCovarEmmeans(kX, 0.0, 1.0, n, L, values, means).GetErrorCode(), 303);
  EXPECT_EQ(m->GetCovarEmmeans(kX, 1.0, 1.0, 3, L, values, means).GetErrorCode(), 303);
  EXPECT_EQ(m->GetCovarEmmeans(kA, 0.0, 1.0, 3, L, values, means).GetErrorCode(), 303);
  EXPECT_EQ(m->GetCovarEmmeans(kX, 0.0, std::nan(""), 3, L, values, means).GetErrorCode(), 303);

  ASSERT_TRUE(m->GetFactorEmmeans(kA, L, means).IsOK());
  EXPECT_EQ(means.size(), 2u);
  EXPECT_DOUBLE_EQ(means[0], 1.0 + 1.25 + 1.75 + 0.5 * 2.0 + 0.25 * 2.25);
  const QXStatus notAFactor = m->GetFactorEmmeans(kX, L, means);
  EXPECT_EQ(notAFactor.GetErrorCode(), 328);
  EXPECT_EQ(notAFactor.GetDiscreteDatum(0), kX);
  EXPECT_EQ(notAFactor.GetDiscreteDatum(1), kX);  // the largest index of the map
  EXPECT_EQ(m->GetFactorEmmeans(-1, L, means).GetErrorCode(), 328);
}

// ---- Scales and links -------------------------------------------------------------------------------

struct ScaleCase {
  QXConst::LinkType link;
  QXConst::LinkType twin;  // the link with the same inverse, of the other kind (or itself)
};

class MarginalsScale : public ::testing::TestWithParam<ScaleCase> {};

// Mean g^-1(eta), standard error se times d mu / d eta formed by hand, bounds g^-1(eta -+ q se); a
// cumulative link and its ordinary twin give the same response scale.
TEST_P(MarginalsScale, ResponseScaleBackTransformsTheMeanAndItsStandardError) {
  Design d(2, 1, {}, false);
  QXEmmeansSpec spec = Spec({kA});
  spec.SetEmmScaleType(QXConst::QXEmmOriginal);
  std::vector<std::vector<QXEmmeansStats>> results;
  for (QXConst::LinkType link : {GetParam().link, GetParam().twin}) {
    auto m = d.Marginals({spec, Spec({kA})}, link);
    const QXEmmeansSpec* s = nullptr;
    const QXRectMatrix* L = nullptr;
    std::vector<QXEmmeansStats> original, linear;
    ASSERT_TRUE(m->GetEmmeansStats(0, s, L, original).IsOK());
    ASSERT_TRUE(m->GetEmmeansStats(1, s, L, linear).IsOK());
    const std::unique_ptr<QXMath_600::IQXLinkFunc> f(QXMath_600::CreateLinkFunction(link, 0.0));
    for (std::size_t r = 0; r < linear.size(); ++r) {
      const double eta = linear[r].fMean, se = linear[r].fStdError;
      const double h = eta - linear[r].fLower;
      const double mu = f->InverseLink(eta, nullptr);
      // d mu / d eta by hand for the inverse links of this test.
      double slope = 1.0;
      if (link == QXConst::QXLinkTypeLogit || link == QXConst::QXLinkTypeCumLogit) slope = mu * (1 - mu);
      if (link == QXConst::QXLinkTypeLog) slope = mu;
      if (link == QXConst::QXLinkTypeProbit || link == QXConst::QXLinkTypeCumProbit)
        slope = std::exp(-0.5 * eta * eta) / std::sqrt(2 * M_PI);
      if (link == QXConst::QXLinkTypeCumCauchit) slope = 1.0 / (M_PI * (1.0 + eta * eta));
      // The log complement's mean falls as eta grows: its standard error is se |d mu / d eta|, and its
      // bounds come in the other order.
      if (link == QXConst::QXLinkTypeLogComplement) slope = 1.0 - mu;
      EXPECT_DOUBLE_EQ(original[r].fMean, mu);
      // The probit links form their slope from mu, and mu = Phi(4) keeps few digits of its tail.
      EXPECT_NEAR(original[r].fStdError, se * slope, 1e-9 * se * slope);
      const double a = f->InverseLink(eta - h, nullptr), b = f->InverseLink(eta + h, nullptr);
      EXPECT_DOUBLE_EQ(original[r].fLower, std::min(a, b));
      EXPECT_DOUBLE_EQ(original[r].fUpper, std::max(a, b));
    }
    results.push_back(original);
  }
  for (std::size_t r = 0; r < results[0].size(); ++r)
    EXPECT_NEAR(results[0][r].fStdError, results[1][r].fStdError, 1e-9 * results[0][r].fStdError);
}

INSTANTIATE_TEST_SUITE_P(
    Links, MarginalsScale,
    ::testing::Values(ScaleCase{QXConst::QXLinkTypeIdentity, QXConst::QXLinkTypeIdentity},
                      ScaleCase{QXConst::QXLinkTypeLog, QXConst::QXLinkTypeLog},
                      ScaleCase{QXConst::QXLinkTypeLogComplement, QXConst::QXLinkTypeLogComplement},
                      ScaleCase{QXConst::QXLinkTypeLogit, QXConst::QXLinkTypeCumLogit},
                      ScaleCase{QXConst::QXLinkTypeProbit, QXConst::QXLinkTypeCumProbit},
                      ScaleCase{QXConst::QXLinkTypeCumCauchit, QXConst::QXLinkTypeCumCauchit}));

// A link replaced after SetEmmeansTesting serves the tests too (they never keep the one destroyed).
TEST(MarginalsScale, AReplacedLinkServesTheTests) {
  Design d(2, 1, {}, false);
  QXEmmeansSpec spec = Spec({kA}, {kA});
  spec.SetEmmScaleType(QXConst::QXEmmOriginal);
  auto m = d.Marginals({spec}, QXConst::QXLinkTypeLog);
  std::vector<std::pair<int, int>> tableFactors;
  std::vector<int> categories;
  QXEmmeansStats log, identity;
  ASSERT_TRUE(m->GetPairwiseEmmeansTests(0, 0, 0, tableFactors, categories, log).IsOK());
  EXPECT_TRUE(m->SetLinkFunction(QXConst::QXLinkTypeIdentity, 0.0));
  ASSERT_TRUE(m->GetPairwiseEmmeansTests(0, 0, 1, tableFactors, categories, identity).IsOK());
  EXPECT_DOUBLE_EQ(log.fMean, std::exp(d.b[0] + d.b[1] + d.b[3]) - std::exp(d.b[0] + d.b[2] + d.b[3]));
  EXPECT_DOUBLE_EQ(identity.fMean, d.b[2] - d.b[1]);
  EXPECT_FALSE(m->SetLinkFunction(static_cast<QXConst::LinkType>(15), 0.0));
  QXTestStats overall;
  EXPECT_TRUE(m->GetPairwiseOverallTest(0, 0, tableFactors, overall).IsOK());
}

TEST(MarginalsScale, WithoutALinkTheResponseScaleIsTheLinearPredictors) {
  Design d(2, 1, {}, false);
  QXEmmeansSpec original = Spec({kA});
  original.SetEmmScaleType(QXConst::QXEmmOriginal);
  auto m = d.Marginals({original, Spec({kA})}, static_cast<QXConst::LinkType>(99));
  const QXEmmeansSpec* s = nullptr;
  const QXRectMatrix* L = nullptr;
  std::vector<QXEmmeansStats> a, b;
  ASSERT_TRUE(m->GetEmmeansStats(0, s, L, a).IsOK());
  ASSERT_TRUE(m->GetEmmeansStats(1, s, L, b).IsOK());
  for (std::size_t r = 0; r < a.size(); ++r) {
    EXPECT_EQ(a[r].fMean, b[r].fMean);
    EXPECT_EQ(a[r].fStdError, b[r].fStdError);
    EXPECT_EQ(a[r].fLower, b[r].fLower);
  }
  // The comparisons on the response scale work as well.
  std::vector<std::pair<int, int>> tableFactors;
  QXTestStats overall;
  QXEmmeansSpec compared = original;
  compared.AddCompareFactor(kA);
  auto c = d.Marginals({compared}, static_cast<QXConst::LinkType>(99));
  EXPECT_TRUE(c->GetPairwiseOverallTest(0, 0, tableFactors, overall).IsOK());
  EXPECT_NE(overall.GetWald(), kM);
}

// With a Satterthwaite object each mean has its own degrees of freedom, and its bounds the t quantile
// at them.
TEST(MarginalsScale, SatterthwaiteGivesEachMeanItsOwnDegreesOfFreedom) {
  Design d(3, 1, {}, false);
  QXMath_600::QXSymMatrix hInverse(1), derivative(d.lite->GetNParameters());
  hInverse.SetElem(0, 0, 0.5);
  for (int j = 0; j < derivative.GetNRows(); ++j) derivative.SetElem(j, j, 1.0 + j);
  const std::vector<double> theta = {1.0};
  std::vector<QXMath_600::QXSymMatrix*> derivatives = {&derivative};
  QXMath_600::QXSatterthwaite satterthwaite(hInverse, d.V, theta, derivatives, 20.0);
  auto m = d.Marginals({Spec({kA})}, QXConst::QXLinkTypeIdentity, nullptr, false);
  ASSERT_TRUE(m->SetEmmeansTesting(&d.V, d.redundancy, 20.0, &satterthwaite).IsOK());
  const QXEmmeansSpec* spec = nullptr;
  const QXRectMatrix* L = nullptr;
  std::vector<QXEmmeansStats> stats;
  ASSERT_TRUE(m->GetEmmeansStats(0, spec, L, stats).IsOK());
  for (int r = 0; r < L->GetNRows(); ++r) {
    const double df = satterthwaite.ComputeDF4XRow(Row(*L, r));
    ASSERT_GT(df, 0.0);
    ASSERT_LT(df, 20.0);
    EXPECT_EQ(stats[r].fDF, df);
    EXPECT_NEAR((stats[r].fUpper - stats[r].fMean) / stats[r].fStdError,
                QXMath_600::QXDistFun::IdfT(0.975, df), 1e-12);
  }
}

// ---- Statuses ---------------------------------------------------------------------------------------

TEST(MarginalsStatus, TheDesignMustMatchTheSettingsAndTheEstimates) {
  Design d(2, 2, AllCells(2, 2), false);
  d.settings.SetInterceptUse(false);
  EXPECT_EQ(d.Marginals({}, QXConst::QXLinkTypeIdentity, nullptr, false)->GetStatus().GetErrorCode(), 335);
  Design e(2, 2, AllCells(2, 2), false);
  e.b.pop_back();
  auto m = e.Marginals({Spec({kA})}, QXConst::QXLinkTypeIdentity, nullptr, false);
  EXPECT_EQ(m->GetStatus().GetErrorCode(), 335);
  // The error sticks: nothing is computed.
  const QXRectMatrix* L = nullptr;
  std::vector<double> means;
  EXPECT_EQ(m->GetFactorEmmeans(kA, L, means).GetErrorCode(), 335);
  EXPECT_EQ(m->SetEmmeansTesting(&e.V, e.redundancy, 20.0, nullptr).GetErrorCode(), 335);
  // More effects than the settings have.
  Design f(2, 2, AllCells(2, 2), false);
  QXMath_600::QXRegSettings fewer;
  fewer.SetDependent(0);
  fewer.AddFactor(kA, 2);
  fewer.AddFactor(kB, 2);
  fewer.AddModelEffect(f.settings.GetModelEffects()[0]);
  const QXMarginals tooMany(fewer, {}, *f.lite, f.b, f.cancel, f.means, nullptr, QXConst::QXLinkTypeIdentity,
                            0.0);
  EXPECT_EQ(tooMany.GetStatus().GetErrorCode(), 335);
}

TEST(MarginalsStatus, CallsOutOfOrderAndIndicesOutOfRangeChangeNothing) {
  Design d(3, 2, AllCells(3, 2), false);
  auto m = d.Marginals({Spec({kA, kB}, {kA})}, QXConst::QXLinkTypeIdentity, nullptr, false);
  const QXEmmeansSpec* spec = nullptr;
  const QXRectMatrix* L = nullptr;
  std::vector<QXEmmeansStats> stats;
  EXPECT_EQ(m->GetEmmeansStats(0, spec, L, stats).GetErrorCode(), 303);
  std::vector<std::pair<int, int>> tableFactors;
  std::vector<int> categories;
  QXEmmeansStats pair;
  EXPECT_EQ(m->GetPairwiseEmmeansTests(0, 0, 0, tableFactors, categories, pair).GetErrorCode(), 303);
  EXPECT_EQ(m->SetEmmeansTesting(nullptr, d.redundancy, 20.0, nullptr).GetErrorCode(), 303);
  EXPECT_EQ(m->SetEmmeansTesting(&d.V, d.redundancy, -1.0, nullptr).GetErrorCode(), 303);
  EXPECT_EQ(m->SetEmmeansTesting(&d.V, QXMath_600::QXBitSet(3), 20.0, nullptr).GetErrorCode(), 336);
  QXMath_600::QXSymMatrix small(3);
  EXPECT_EQ(m->SetEmmeansTesting(&small, d.redundancy, 20.0, nullptr).GetErrorCode(), 336);
  ASSERT_TRUE(m->SetEmmeansTesting(&d.V, d.redundancy, 20.0, nullptr).IsOK());

  const QXStatus beyond = m->GetEmmeansStats(1, spec, L, stats);
  EXPECT_EQ(beyond.GetErrorCode(), 328);
  EXPECT_EQ(beyond.GetDiscreteDatum(0), 1);
  EXPECT_EQ(beyond.GetDiscreteDatum(1), 0);
  const QXStatus test = m->GetPairwiseEmmeansTests(0, 2, 0, tableFactors, categories, pair);
  EXPECT_EQ(test.GetErrorCode(), 329);
  EXPECT_EQ(test.GetDiscreteDatum(1), 1);
  EXPECT_EQ(m->GetPairwiseEmmeansTests(0, 0, 6, tableFactors, categories, pair).GetErrorCode(), 328);
  QXMath_600::QXRectMatrix* contrastL = nullptr;
  std::vector<QXTestStats> individual;
  QXTestStats overall;
  // A pairwise specification has pairs, not a contrast.
  EXPECT_EQ(m->GetEmmeansTests(0, 0, tableFactors, categories, contrastL, individual, overall).GetErrorCode(),
            303);
  // None of these left a mark.
  EXPECT_TRUE(m->GetStatus().IsOK());
  EXPECT_TRUE(m->GetEmmeansStats(0, spec, L, stats).IsOK());
  EXPECT_EQ(stats.size(), 6u);
}

TEST(MarginalsStatus, BadRequestsGetTheirOwnStatusAndLeaveTheOthersAlone) {
  Design d(3, 2, AllCells(3, 2), true);
  QXEmmeansSpec unknownFactor = Spec({kA, 7});
  QXEmmeansSpec notACovariate = Spec({kA});
  notACovariate.AddCovariate(kB, 1.0);
  QXEmmeansSpec infiniteValue = Spec({kA});
  infiniteValue.AddCovariate(kX, INFINITY);
  QXEmmeansSpec compareOutside = Spec({kA}, {kB});
  QXEmmeansSpec repeated = Spec({kA});
  repeated.GetFactors().push_back(kA);
  QXEmmeansSpec badNesting = Spec({kA, kB});
  badNesting.GetFactorsNestLevel() = {0};
  QXEmmeansSpec reference = Spec({kA}, {kA}, QXConst::QXContrastSimple);
  reference.SetRefCateg(5);
  auto m = d.Marginals({unknownFactor, notACovariate, infiniteValue, compareOutside, repeated, badNesting,
                        reference, Spec({kA})});
  const std::vector<long> expected = {333, 333, 333, 333, 333, 303, 327, 0};
  for (int s = 0; s < 8; ++s) EXPECT_EQ(m->GetSpecStatus(s).GetErrorCode(), expected[s]) << s;
  EXPECT_EQ(m->GetSpecStatus(0).GetDiscreteDatum(1), 7);
  EXPECT_EQ(m->GetSpecStatus(1).GetDiscreteDatum(1), kB);
  EXPECT_TRUE(m->GetSpecStatus(6).IsWarning());
  EXPECT_EQ(m->GetSpecStatus(8).GetErrorCode(), 328);

  const QXEmmeansSpec* spec = nullptr;
  const QXRectMatrix* L = nullptr;
  std::vector<QXEmmeansStats> stats;
  for (int s = 0; s < 6; ++s) EXPECT_EQ(m->GetEmmeansStats(s, spec, L, stats).GetErrorCode(), expected[s]);
  QXStatus status;
  EXPECT_EQ(m->GetNEmmeansTests(0, status), -1);
  EXPECT_EQ(status.GetErrorCode(), 333);
  EXPECT_TRUE(m->GetStatus().IsOK());
  EXPECT_TRUE(m->GetEmmeansStats(7, spec, L, stats).IsOK());

  // The reference outside the levels: the last level is the reference, and the warning comes back.
  EXPECT_TRUE(m->GetEmmeansStats(6, spec, L, stats).IsOK());
  std::vector<std::pair<int, int>> tableFactors;
  std::vector<int> categories;
  QXMath_600::QXRectMatrix* contrastL = nullptr;
  std::vector<QXTestStats> individual;
  QXTestStats overall;
  const QXStatus warned = m->GetEmmeansTests(6, 0, tableFactors, categories, contrastL, individual, overall);
  EXPECT_EQ(warned.GetErrorCode(), 327);
  EXPECT_TRUE(warned.IsWarning());
  EXPECT_EQ(categories, (std::vector<int>{0, 1, 2}));
  // Row 0: level 0 against level 2, each averaged over B.
  EXPECT_DOUBLE_EQ(individual[0].GetContrastEstimate(),
                   d.b[1] - d.b[3] + (d.b[6] + d.b[7] - d.b[10] - d.b[11]) / 2);
}

TEST(MarginalsStatus, CompareFactorsWithTooFewLevelsOrScores) {
  Design d(3, 1, {}, false);
  QXEmmeansSpec fewer = Spec({kA}, {kA}, QXConst::QXContrastPolynomial);
  ASSERT_TRUE(fewer.SetMetricValueList({1.0, 2.0}));
  QXEmmeansSpec more = Spec({kA}, {kA}, QXConst::QXContrastPolynomial);
  ASSERT_TRUE(more.SetMetricValueList({1.0, 2.0, 4.0, 8.0}));
  auto m = d.Marginals({Spec({kB}, {kB}), fewer, more});
  QXStatus status;
  EXPECT_EQ(m->GetNEmmeansTests(0, status), 0);
  EXPECT_EQ(status.GetErrorCode(), 324);
  EXPECT_EQ(m->GetNEmmeansTests(1, status), 1);
  EXPECT_EQ(status.GetErrorCode(), 325);
  // The means of these requests are still there; their comparisons are not.
  const QXEmmeansSpec* spec = nullptr;
  const QXRectMatrix* L = nullptr;
  std::vector<QXEmmeansStats> stats;
  EXPECT_TRUE(m->GetEmmeansStats(0, spec, L, stats).IsOK());
  std::vector<std::pair<int, int>> tableFactors;
  std::vector<int> categories;
  QXMath_600::QXRectMatrix* contrastL = nullptr;
  std::vector<QXTestStats> individual;
  QXTestStats overall;
  EXPECT_EQ(m->GetEmmeansTests(1, 0, tableFactors, categories, contrastL, individual, overall).GetErrorCode(),
            325);
  // Extra scores: the first three are used, with the warning.
  const QXStatus extra = m->GetEmmeansTests(2, 0, tableFactors, categories, contrastL, individual, overall);
  EXPECT_EQ(extra.GetErrorCode(), 326);
  EXPECT_TRUE(extra.IsWarning());
  EXPECT_EQ(individual.size(), 2u);
}

// ---- Pairs and test groups --------------------------------------------------------------------------

TEST(MarginalsPairs, OrderedPairsComeInBothDirectionsAndTheCacheFollowsTheTest) {
  Design d(3, 2, AllCells(3, 2), false);
  auto m = d.Marginals({Spec({kA, kB}, {kA})});
  EXPECT_EQ(m->GetNPairwiseEmmeansTests(0, 0), 6);
  std::vector<std::pair<int, int>> tableFactors;
  std::vector<int> categories;
  QXEmmeansStats first, reversed, other;
  ASSERT_TRUE(m->GetPairwiseEmmeansTests(0, 0, 0, tableFactors, categories, first).IsOK());
  EXPECT_EQ(categories, std::vector<int>{0});
  EXPECT_EQ(first.fvCategories, std::vector<int>{1});
  EXPECT_EQ(tableFactors, (std::vector<std::pair<int, int>>{{kB, 0}}));
  ASSERT_TRUE(m->GetPairwiseEmmeansTests(0, 0, 2, tableFactors, categories, reversed).IsOK());
  EXPECT_EQ(categories, std::vector<int>{1});
  EXPECT_EQ(reversed.fvCategories, std::vector<int>{0});
  EXPECT_DOUBLE_EQ(reversed.fMean, -first.fMean);
  EXPECT_EQ(reversed.fSig, first.fSig);
  // Another test's pair asked for directly is that test's, not a cached pair of the first.
  ASSERT_TRUE(m->GetPairwiseEmmeansTests(0, 1, 2, tableFactors, categories, other).IsOK());
  EXPECT_EQ(tableFactors, (std::vector<std::pair<int, int>>{{kB, 1}}));
  EXPECT_DOUBLE_EQ(other.fMean, -(d.b[1] + d.b[7] - d.b[2] - d.b[9]));
}

// The step-down methods by hand from the unadjusted pairs: pairs i < j in ascending significance, the
// r-th adjusted over c = m - r comparisons and never below the one before; the interval at 1 - alpha /
// (2c) (Bonferroni) or 0.5 (1 - alpha)^(1/c) + 0.5 (Sidak), and for a raised pair at the level the
// raised value stands for (1 - alpha p / (2 prev); Sidak's e = ln(1 - p) / ln(1 - prev) in (1 - alpha)^e,
// linearised to 1 - e alpha / 2 for chi-square tests). Four levels, six pairs: the third smallest
// significance is raised by both methods.
TEST(MarginalsPairs, StepDownAdjustmentAndItsIntervalsByHand) {
  for (QXConst::QXTestType type : {QXConst::QXTestWaldF, QXConst::QXTestChiSquare}) {
    Design d(4, 1, {}, false);
    d.settings.SetTestType(type);
    d.b[1] = 0.0, d.b[2] = 0.3, d.b[3] = 1.2, d.b[4] = 2.5;
    const bool normal = type == QXConst::QXTestChiSquare;
    const double alpha = 0.05;
    auto quantile = [&](double q) {
      return normal ? QXMath_600::QXDistFun::IdfStdNorm(q) : QXMath_600::QXDistFun::IdfT(q, 20.0);
    };
    auto pairs = [&](QXPAdjustMethod method) {
      QXEmmeansSpec spec = Spec({kA}, {kA});
      spec.SetPAdjust(method);
      auto m = d.Marginals({spec});
      std::vector<QXEmmeansStats> all(12);
      std::vector<std::pair<int, int>> tableFactors;
      std::vector<int> categories;
      for (int p = 0; p < 12; ++p)
        EXPECT_TRUE(m->GetPairwiseEmmeansTests(0, 0, p, tableFactors, categories, all[p]).IsOK());
      return all;
    };
    const std::vector<QXEmmeansStats> unadjusted = pairs(QXConst::QXPAdjLSD);
    auto index = [](int i, int j) { return i * 3 + (j < i ? j : j - 1); };
    std::vector<int> order;
    for (int i = 0; i < 4; ++i)
      for (int j = i + 1; j < 4; ++j) order.push_back(index(i, j));
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return unadjusted[a].fSig < unadjusted[b].fSig; });

    for (bool bonferroni : {true, false}) {
      const std::vector<QXEmmeansStats> got =
          pairs(bonferroni ? QXConst::QXPAdjSeqBonferroni : QXConst::QXPAdjSeqSidak);
      double previous = 0.0;
      int raised = 0;
      for (std::size_t r = 0; r < order.size(); ++r) {
        const QXEmmeansStats& u = unadjusted[order[r]];
        const double p = u.fSig, c = 6.0 - static_cast<double>(r);
        double adjusted = std::min(1.0, bonferroni ? c * p : -std::expm1(c * std::log1p(-p)));
        double q = bonferroni ? 1.0 - alpha / (2.0 * c) : 0.5 * std::pow(1.0 - alpha, 1.0 / c) + 0.5;
        if (r > 0 && previous >= adjusted) {
          ++raised;
          adjusted = previous;
          const double e = std::log(1.0 - p) / std::log(1.0 - previous);
          q = bonferroni ? 1.0 - alpha / (2.0 * previous / p)
                         : (normal ? 1.0 - 0.5 * e * alpha : 0.5 * std::pow(1.0 - alpha, e) + 0.5);
        }
        previous = adjusted;
        const QXEmmeansStats& s = got[order[r]];
        const std::string what = (bonferroni ? "Holm " : "Holm-Sidak ") + std::to_string(r);
        EXPECT_TRUE(Close(s.fSig, adjusted, 1e-12, 0.0, what + " p"));
        EXPECT_EQ(s.fMean, u.fMean) << what;
        const double half = quantile(q) * u.fStdError;
        EXPECT_TRUE(Close(s.fLower, u.fMean - half, 1e-12, half, what + " lower"));
        EXPECT_TRUE(Close(s.fUpper, u.fMean + half, 1e-12, half, what + " upper"));
        // The reversed pair: the same significance, the interval mirrored.
        const int i = order[r] / 3, j = order[r] % 3 >= i ? order[r] % 3 + 1 : order[r] % 3;
        const QXEmmeansStats& mirror = got[index(j, i)];
        EXPECT_EQ(mirror.fSig, s.fSig) << what;
        EXPECT_EQ(mirror.fLower, -s.fUpper) << what;
        EXPECT_EQ(mirror.fUpper, -s.fLower) << what;
      }
      EXPECT_GE(raised, 1) << "the design no longer exercises a raised pair";
    }
  }
}

TEST(MarginalsPairs, TwoCategoriesGiveAJointTestOfOneRow) {
  Design d(2, 1, {}, false);
  auto m = d.Marginals({Spec({kA}, {kA})});
  std::vector<std::pair<int, int>> tableFactors;
  QXTestStats overall;
  ASSERT_TRUE(m->GetPairwiseOverallTest(0, 0, tableFactors, overall).IsOK());
  EXPECT_EQ(overall.GetDF(), 1.0);
  EXPECT_TRUE(tableFactors.empty());
}

// A x B with cells (0,0), (0,1), (0,2), (1,0), (1,1) and (2,0): group A = 1 lacks B = 2, group A = 2
// holds a single row.
TEST(MarginalsEmptyCells, GroupsOfADesignWithEmptyCellsAndTheirWarnings) {
  Design d(3, 3, {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {2, 0}}, false);
  auto m = d.Marginals({Spec({kA, kB}, {kB}), Spec({kA, kB}, {kB}, QXConst::QXContrastSimple)});
  QXStatus status;
  ASSERT_EQ(m->GetNEmmeansTests(0, status), 3);
  EXPECT_TRUE(status.IsOK());
  EXPECT_EQ(m->GetNPairwiseEmmeansTests(0, 0), 6);
  EXPECT_EQ(m->GetNPairwiseEmmeansTests(0, 1), 2);
  EXPECT_EQ(m->GetNPairwiseEmmeansTests(0, 2), 1);
  std::vector<std::pair<int, int>> tableFactors;
  std::vector<int> categories;
  QXEmmeansStats pair;
  const QXStatus lacking = m->GetPairwiseEmmeansTests(0, 1, 0, tableFactors, categories, pair);
  EXPECT_EQ(lacking.GetErrorCode(), 332);
  EXPECT_TRUE(lacking.IsWarning());
  const QXStatus single = m->GetPairwiseEmmeansTests(0, 2, 0, tableFactors, categories, pair);
  EXPECT_EQ(single.GetErrorCode(), 330);
  EXPECT_TRUE(single.IsWarning());
  EXPECT_EQ(categories, std::vector<int>{0});
  EXPECT_EQ(pair.fMean, kM);

  // The simple contrast's default reference is the group's last level, which for A = 1 is not B's.
  QXMath_600::QXRectMatrix* contrastL = nullptr;
  std::vector<QXTestStats> individual;
  QXTestStats overall;
  const QXStatus notLast = m->GetEmmeansTests(1, 1, tableFactors, categories, contrastL, individual, overall);
  EXPECT_EQ(notLast.GetErrorCode(), 331);
  EXPECT_EQ(notLast.GetDiscreteDatum(1), 1);
  EXPECT_EQ(categories, (std::vector<int>{0, 1}));
  const QXStatus one = m->GetEmmeansTests(1, 2, tableFactors, categories, contrastL, individual, overall);
  EXPECT_EQ(one.GetErrorCode(), 330);
  EXPECT_TRUE(one.IsError());
}

TEST(MarginalsEmptyCells, FactorMeansAverageTheCombinationsThatExist) {
  // B's mean at level 2 has one existing combination, (0, 2); at level 0, three.
  Design d(3, 3, {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {2, 0}}, false);
  auto m = d.Marginals({Spec({kB})});
  const QXRectMatrix* L = nullptr;
  std::vector<double> means;
  ASSERT_TRUE(m->GetFactorEmmeans(kB, L, means).IsOK());
  ASSERT_EQ(L->GetNRows(), 3);
  // Columns: intercept, A0..A2, B0..B2, AB cells in the order given.
  const std::vector<double>& b = d.b;
  EXPECT_DOUBLE_EQ(means[2], b[0] + b[1] + b[6] + b[9]);
  EXPECT_DOUBLE_EQ(means[0], b[0] + (b[1] + b[2] + b[3]) / 3 + b[4] + (b[7] + b[10] + b[12]) / 3);
  const QXEmmeansSpec* spec = nullptr;
  const QXRectMatrix* requestL = nullptr;
  std::vector<QXEmmeansStats> stats;
  ASSERT_TRUE(m->GetEmmeansStats(0, spec, requestL, stats).IsOK());
  for (const QXEmmeansStats& s : stats) EXPECT_DOUBLE_EQ(s.fMean, means[s.fvCategories[0]]);
}

// Several compare factors are compared only in a complete design: with empty cells the request says
// so (333, naming the second compare factor) and leaves the other requests alone.
TEST(MarginalsEmptyCells, SeveralCompareFactorsNeedEveryCell) {
  Design d(3, 3, {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {2, 0}}, false);
  auto m = d.Marginals({Spec({kA, kB}, {kA, kB}), Spec({kA, kB}, {kB})});
  const QXStatus refused = m->GetSpecStatus(0);
  EXPECT_EQ(refused.GetErrorCode(), 333);
  EXPECT_EQ(refused.GetDiscreteDatum(1), kB);
  std::vector<std::vector<int>> combinations;
  EXPECT_FALSE(m->GetPWCombinations(0, combinations));
  QXStatus status;
  EXPECT_EQ(m->GetNEmmeansTests(0, status), -1);
  EXPECT_EQ(status.GetErrorCode(), 333);
  EXPECT_EQ(m->GetNEmmeansTests(1, status), 3);
  EXPECT_TRUE(m->GetStatus().IsOK());
}

TEST(MarginalsCompare, SeveralCompareFactorsCompareTheirCombinations) {
  Design d(2, 3, AllCells(2, 3), false);
  auto m = d.Marginals({Spec({kA, kB}, {kB, kA})});
  std::vector<std::vector<int>> combinations;
  ASSERT_TRUE(m->GetPWCombinations(0, combinations));
  EXPECT_EQ(combinations, (std::vector<std::vector<int>>{{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}}));
  EXPECT_EQ(m->GetNPairwiseEmmeansTests(0, 0), 30);
  std::vector<std::pair<int, int>> tableFactors;
  std::vector<int> categories;
  QXEmmeansStats pair;
  // Pair 5 = (1, 0): cell (B0, A1) against (B0, A0).
  ASSERT_TRUE(m->GetPairwiseEmmeansTests(0, 0, 5, tableFactors, categories, pair).IsOK());
  EXPECT_TRUE(tableFactors.empty());
  EXPECT_EQ(categories, std::vector<int>{1});
  EXPECT_DOUBLE_EQ(pair.fMean, d.b[2] + d.b[9] - d.b[1] - d.b[6]);
}

// ---- Cancellation and display -----------------------------------------------------------------------

TEST(MarginalsCancel, ACancelledBuildEndsWithStatusOneForGood) {
  Design d(3, 2, AllCells(3, 2), false);
  auto m = d.Marginals({Spec({kA})});
  d.cancel.SetCancel();
  const QXEmmeansSpec* spec = nullptr;
  const QXRectMatrix* L = nullptr;
  std::vector<QXEmmeansStats> stats;
  EXPECT_EQ(m->GetEmmeansStats(0, spec, L, stats).GetErrorCode(), 1);
  EXPECT_EQ(m->GetStatus().GetErrorCode(), 1);
  std::vector<double> means;
  EXPECT_EQ(m->GetFactorEmmeans(kA, L, means).GetErrorCode(), 1);
  // With empty cells the counting at construction is already cancelled.
  Design e(2, 2, {{0, 0}, {0, 1}, {1, 0}}, false);
  e.cancel.SetCancel();
  EXPECT_EQ(
      e.Marginals({Spec({kA})}, QXConst::QXLinkTypeIdentity, nullptr, false)->GetStatus().GetErrorCode(), 1);
  // Between the pairs of a test, once its L matrix is built.
  Design p(3, 1, {}, false);
  auto pairs = p.Marginals({Spec({kA}, {kA})});
  QXStatus status;
  ASSERT_EQ(pairs->GetNEmmeansTests(0, status), 1);
  p.cancel.SetCancel();
  std::vector<std::pair<int, int>> tableFactors;
  std::vector<int> categories;
  QXEmmeansStats pair;
  EXPECT_EQ(pairs->GetPairwiseEmmeansTests(0, 0, 0, tableFactors, categories, pair).GetErrorCode(), 1);
  EXPECT_EQ(pairs->GetStatus().GetErrorCode(), 1);
}

TEST(MarginalsDisplay, PrintsItsFrame) {
  Design d(2, 2, AllCells(2, 2), false);
  auto m = d.Marginals({Spec({kA}, {kA})});
  ::testing::internal::CaptureStdout();
  m->Display();
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("QXMarginals display start"), std::string::npos);
  EXPECT_NE(out.find("fpEMLMatrix is 0"), std::string::npos);
  EXPECT_NE(out.find("QXMarginals display end"), std::string::npos);
}

TEST(MarginalsReorder, NestLevelsOrderTheFactorsFromTheInnermost) {
  std::vector<int> result;
  EXPECT_TRUE(QXMarginals::ReorderFactors({4, 5, 6}, {0, 1, 0}, result).IsOK());
  EXPECT_EQ(result, (std::vector<int>{5, 4, 6}));
  EXPECT_TRUE(QXMarginals::ReorderFactors({4, 5}, {}, result).IsOK());
  EXPECT_EQ(result, (std::vector<int>{4, 5}));
  EXPECT_EQ(QXMarginals::ReorderFactors({4, 5}, {0}, result).GetErrorCode(), 303);
  EXPECT_EQ(QXMarginals::ReorderFactors({4, 5}, {0, -1}, result).GetErrorCode(), 303);
  EXPECT_TRUE(result.empty());
}

}  // namespace
}  // namespace marginals_test
