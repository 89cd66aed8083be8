// The cross products are summed per cell of the factors while the cells are few enough to tabulate,
// and row by row beyond that. The same records declared with small and with huge level counts take
// the two routes (only the declared counts differ: the observed levels, hence the parameters, are the
// same), so their fits must agree to rounding, with both kinds of weight, covariates shared between
// effects, a product of covariates and an empty cell.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "linear/QXCellMoments.h"
#include "linear_test_support.h"
#include "qxregres600r.h"

namespace {

using qx_linear_test::Near;
using qx_linear_test::NearScaled;
using qx_linear_test::RecordFile;
using qx_linear_test::Records;
using qx_linear_test::Term;
using QXMath_600::IQXRegComponent;
using QXMath_600::IQXRegOutputStats;
using QXMath_600::QXRegSettings;

// Record layout: 0 y, 1 factor A (levels 0..3), 2 factor B (0..4), 3 x1, 4 x2, 5 frequency weight,
// 6 regression weight. Cell (A 3, B 4) is left empty.
Records MakeRecords() {
  Records records;
  for (int i = 0; i < 400; ++i) {
    const int a = i % 4;
    const int b = (i / 4 + i % 3) % 5;
    if (a == 3 && b == 4) continue;
    const double x1 = 0.5 + 0.01 * ((i * 37) % 101);
    const double x2 = -2.0 + 0.05 * ((i * 53) % 89);
    const double noise = 0.3 * std::sin(1.7 * i);
    const double y =
        1.0 + 0.5 * a - 0.25 * b + 0.1 * a * b + 2.0 * x1 - 0.7 * x2 + 0.4 * a * x1 + 0.3 * x1 * x2 + noise;
    records.push_back({y, double(a), double(b), x1, x2, double(1 + i % 3), 0.5 + 0.125 * (i % 5)});
  }
  return records;
}

// y ~ A * B + x1 + x2 + A:x1 + x1:x2 with both weights; each factor declared with `levels` categories.
QXRegSettings Settings(int levels) {
  QXRegSettings settings;
  settings.SetDependent(0);
  settings.AddFactor(1, levels);
  settings.AddFactor(2, levels);
  settings.AddCovariate(3);
  settings.AddCovariate(4);
  settings.SetFrequencyWeightVar(5);
  settings.SetRegrWeightVar(6);
  const std::vector<Term> terms = {
      {{1}, {0}, {}}, {{2}, {0}, {}},  {{1, 2}, {0, 0}, {}}, {{}, {}, {3}},
      {{}, {}, {4}},  {{1}, {0}, {3}}, {{}, {}, {3, 4}},
  };
  for (const Term& t : terms) settings.AddModelEffect(qx_linear_test::MakeEffect(settings, t));
  return settings;
}

struct Fitted {
  Fitted(const QXRegSettings& settings, const Records& records) : file(records) {
    QXRegSettings copy = settings;
    QXMath_600::QXRegFactory factory;
    component.reset(factory.CreateRegAlgorithm(copy));
    auto it = file.Iterator();
    status = component->BuildModel(it);
    if (status.IsOK()) component->GetOutputStats(stats);
  }
  RecordFile file;
  std::unique_ptr<IQXRegComponent> component;
  QXCommon_600::QXStatus status;
  IQXRegOutputStats* stats = nullptr;
};

TEST(CellSums, CellTableAndRowByRowSumsGiveTheSameWeightedFit) {
  // Two factors of 600 declared levels make 360,000 cells of 4 products and the dependent, far more
  // moments than the table holds: those sums go row by row.
  constexpr int kHuge = 600;
  static_assert(std::int64_t{kHuge} * kHuge * 15 > QXMath_600::QXCellMoments::kMaxMoments);
  const Records records = MakeRecords();
  const Fitted cells(Settings(5), records);
  const Fitted rows(Settings(kHuge), records);
  ASSERT_TRUE(cells.status.IsOK()) << cells.status.GetMessage();
  ASSERT_TRUE(rows.status.IsOK()) << rows.status.GetMessage();

  const std::vector<double>& b = cells.stats->GetParamEstimates();
  const std::vector<double>& bRows = rows.stats->GetParamEstimates();
  ASSERT_EQ(b.size(), bRows.size());
  // 1 + 4 + 5 + 19 + 1 + 1 + 4 + 1 parameters: the empty cell has none.
  EXPECT_EQ(b.size(), 36u);
  double scale = 0.0;
  for (double v : bRows) scale = std::max(scale, std::fabs(v));
  // The two routes add the same terms in a different order; the design is well conditioned, so they
  // agree to a few units in the last place of the largest estimate.
  for (std::size_t k = 0; k < b.size(); ++k) {
    EXPECT_EQ(cells.stats->GetRedundancyIndicators().IsIn(static_cast<int>(k)),
              rows.stats->GetRedundancyIndicators().IsIn(static_cast<int>(k)))
        << k;
    EXPECT_TRUE(NearScaled(b[k], bRows[k], 1e-12, scale)) << k << ": " << b[k] << " vs " << bRows[k];
  }
  const QXMath_600::QXSymMatrix* v = cells.stats->GetCovarianceMatrix();
  const QXMath_600::QXSymMatrix* vRows = rows.stats->GetCovarianceMatrix();
  ASSERT_NE(v, nullptr);
  ASSERT_NE(vRows, nullptr);
  for (int i = 0; i < v->GetNRows(); ++i)
    for (int j = 0; j <= i; ++j)
      EXPECT_TRUE(NearScaled(v->GetElem(i, j), vRows->GetElem(i, j), 1e-11,
                             std::sqrt(std::fabs(vRows->GetElem(i, i) * vRows->GetElem(j, j)))))
          << i << ", " << j;
  for (auto stat : {QXConst::QXFitRSquare, QXConst::QXFitRootMSE})
    EXPECT_TRUE(Near(cells.stats->GetModelFitStat(stat), rows.stats->GetModelFitStat(stat), 1e-13));
  EXPECT_EQ(cells.stats->GetNDegFreedom(), rows.stats->GetNDegFreedom());

  // Scoring does not depend on the route either.
  double p = 0.0, pRows = 0.0;
  std::vector<double> probabilities;
  const QXCommon_600::Record record = qx_linear_test::MakeRecord(records[17]);
  ASSERT_TRUE(cells.component->Score(record, p, probabilities).IsOK());
  ASSERT_TRUE(rows.component->Score(record, pRows, probabilities).IsOK());
  EXPECT_TRUE(Near(p, pRows, 1e-13));
}

TEST(CellSums, AnOverflowingCovariateProductIsStillAnError) {
  // x1 * x2 overflows in one record of a cell whose other sums are finite: the cell's moments carry the
  // infinity into the cross products, which must refuse the model (313) instead of aliasing the column.
  Records records = MakeRecords();
  records[5][3] = 1e200;
  records[5][4] = 1e200;
  for (int levels : {5, 600}) {
    const Fitted fit(Settings(levels), records);
    EXPECT_EQ(fit.status.GetErrorCode(), 313) << levels;
  }
}

}  // namespace
