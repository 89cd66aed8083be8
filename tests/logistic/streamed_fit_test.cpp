// A streamed fit finds most records' cells by their factors' levels and hands them to the accumulator's
// cells in chunks; records of combinations beyond the accumulator's caps, or of models with too many
// combinations to number, go in one by one. Whichever way a record goes, the fit must be the one the
// pattern tabulator gives from the same records (which holds them in memory and sums them by pattern).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "logistic_test_support.h"

namespace {

using qx_linear_test::Records;
using qx_linear_test::Term;
using qx_logistic_test::Fit;

constexpr int kCovariates = 4;

// Record layout: 0 y (3 categories), 1 .. nFactors the factors, then the covariates.
QXMath_600::QXLogRegSettings Settings(const std::vector<int>& factorSizes, bool tabulate) {
  QXMath_600::QXLogRegSettings settings;
  settings.SetDependent(0);
  const int nFactors = static_cast<int>(factorSizes.size());
  for (int f = 0; f < nFactors; ++f) settings.AddFactor(1 + f, factorSizes[static_cast<std::size_t>(f)]);
  for (int c = 0; c < kCovariates; ++c) settings.AddCovariate(1 + nFactors + c);
  settings.SetDependentRefCat(-1, 3);
  for (int f = 0; f < nFactors; ++f)
    settings.AddModelEffect(qx_linear_test::MakeEffect(settings, Term{{1 + f}, {0}, {}}));
  for (int c = 0; c < kCovariates; ++c)
    settings.AddModelEffect(qx_linear_test::MakeEffect(settings, Term{{}, {}, {1 + nFactors + c}}));
  settings.SetUsePatternTabulator(tabulate);
  return settings;
}

// Levels from `levelOf(record, factor)`; y drawn from logits mildly linear in the levels and x.
template <class LevelOf>
Records MakeRecords(int n, const std::vector<int>& factorSizes, LevelOf levelOf) {
  Records records;
  std::uint64_t state = 12345;
  const auto uniform = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state >> 11) * 0x1p-53;
  };
  for (int i = 0; i < n; ++i) {
    std::vector<double> record(1 + factorSizes.size() + kCovariates);
    double eta1 = 0.2, eta2 = -0.1;
    for (std::size_t f = 0; f < factorSizes.size(); ++f) {
      const int level = levelOf(i, static_cast<int>(f));
      record[1 + f] = level;
      const double share = static_cast<double>(level) / factorSizes[f] - 0.5;
      eta1 += (f % 2 == 0 ? 0.6 : -0.4) * share;
      eta2 += (f % 2 == 0 ? -0.3 : 0.5) * share;
    }
    for (int c = 0; c < kCovariates; ++c) {
      const double x = 4.0 * uniform() - 2.0;
      record[1 + factorSizes.size() + static_cast<std::size_t>(c)] = x;
      eta1 += (c % 2 == 0 ? 0.4 : -0.2) * x;
      eta2 -= (c % 2 == 0 ? 0.3 : -0.1) * x;
    }
    const double e1 = std::exp(eta1), e2 = std::exp(eta2), u = uniform() * (1.0 + e1 + e2);
    record[0] = u < e1 ? 0.0 : u < e1 + e2 ? 1.0 : 2.0;
    records.push_back(record);
  }
  return records;
}

void ExpectTheTabulatedFit(const std::vector<int>& factorSizes, const Records& records) {
  const Fit streamed(Settings(factorSizes, false), records);
  const Fit tabulated(Settings(factorSizes, true), records);
  ASSERT_NE(streamed.stats, nullptr) << streamed.status.GetMessage();
  ASSERT_NE(tabulated.stats, nullptr) << tabulated.status.GetMessage();
  EXPECT_PRED3(qx_linear_test::Near, streamed.stats->GetFinalLogLikelihood(),
               tabulated.stats->GetFinalLogLikelihood(), 1e-12);
  const std::vector<double>& a = streamed.stats->GetParamEstimates();
  const std::vector<double>& b = tabulated.stats->GetParamEstimates();
  ASSERT_EQ(a.size(), b.size());
  // Both sum the same terms in other orders, so their log-likelihoods differ by rounding (~1e-15
  // relative). With hundreds of parameters over ~150 records each, that rounding can end one fit an
  // iteration before the other (a step whose gain is below it is not taken), when the last step was
  // still ~1e-8: the estimates agree to the convergence, not to rounding. A record summed into a wrong
  // cell, or left out, moves them by far more.
  for (std::size_t i = 0; i < a.size(); ++i)
    EXPECT_NEAR(a[i], b[i], 1e-7 * std::max(1.0, std::fabs(b[i]))) << i;
}

TEST(StreamedFit, ACellTableFullPartWayGivesTheTabulatedFit) {
  // 130 x 130 combinations, every one in the data, each cell's sums 65 doubles (two blocks, four
  // covariates): more than the accumulator keeps, so in every pass the combinations met first go by
  // cell and the others row by row.
  const std::vector<int> sizes{130, 130};
  const std::size_t cellDoubles = 2 + 2 * 4 + 5 * 2 + 15 * 3;
  ASSERT_GT(130u * 130u * cellDoubles, QXMath_600::QXAccumStatsLogistic::kDefaultMaxCellDoubles);
  ASSERT_LE(130 * 130, QXMath_600::QXLogModel::kMaxCellKeys);
  const Records records =
      MakeRecords(20000, sizes, [](int i, int f) { return f == 0 ? i % 130 : (i / 130) % 130; });
  ExpectTheTabulatedFit(sizes, records);
}

TEST(StreamedFit, FactorsWithTooManyCombinationsToNumberGiveTheTabulatedFit) {
  // 10^5 combinations, more than are numbered: every record goes through its design row.
  const std::vector<int> sizes(5, 10);
  ASSERT_GT(100000, QXMath_600::QXLogModel::kMaxCellKeys);
  const Records records =
      MakeRecords(3000, sizes, [](int i, int f) { return (i * (3 + 2 * f) + i / 7) % 10; });
  ExpectTheTabulatedFit(sizes, records);
}

}  // namespace
