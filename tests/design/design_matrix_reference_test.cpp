// The dense design matrix of QXDesignMatrix against R's model.matrix() with all indicator columns
// (tests/reference/design_matrix.R): Salaries with interactions, a factor-by-covariate term, a power,
// a covariate product and an empty cell; Salaries with a nested term and no intercept; mtcars with a
// nested term, an empty cell and a cube; warpbreaks with an empty cell and no intercept. Every record
// of the data is expanded in every form (dense, sparse, with the dependent, indicators only), and a
// lite design rebuilt from the columns' parameters gives the same rows.
//
// Tolerance: 4 units in the last place (EXPECT_DOUBLE_EQ). Indicators are exact; R forms x^3 as x * x^2
// in double while the design rounds the exact product once, which may differ in the last place.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "design_test_support.h"
#include "qxregres600r.h"

namespace {

using design_test::json;
using QXCommon_600::Record;
using QXMath_600::QXDesignMatrix;
using QXMath_600::QXLiteDesignMatrix;
using QXMath_600::QXRegrParameter;

const json& Cases() {
  static const json cases = design_test::LoadCases("design_matrix.json");
  return cases;
}

class DesignMatrixAgainstModelMatrix : public ::testing::TestWithParam<std::size_t> {
 protected:
  void SetUp() override {
    fCase = Cases()[GetParam()];
    fRecords = design_test::CaseRecords(fCase);
    fSettings = qx_linear_test::MakeSettings(fCase);
    fDesign = std::make_unique<QXDesignMatrix>(fSettings, fCancel, fWarnings);
    for (const Record& r : fRecords) ASSERT_TRUE(fDesign->GetFactorTables()->UpdateAll(r));
    ASSERT_TRUE(fDesign->CreateParameters().IsOK());
  }

  // Whether record r falls in the cell of reference column j (true for a column without factors).
  bool InCell(const Record& r, const json& column) const {
    const json& factors = column["factors"];
    for (std::size_t f = 0; f < factors.size(); ++f)
      if (r[qx_linear_test::ColumnIndex(fCase, factors[f])] != column["cell"][f].get<double>()) return false;
    return true;
  }

  json fCase;
  std::vector<Record> fRecords;
  QXMath_600::QXRegSettings fSettings;
  QXMath_600::QXCancelInfo fCancel;
  QXCommon_600::QXWarnings fWarnings;
  std::unique_ptr<QXDesignMatrix> fDesign;
};

TEST_P(DesignMatrixAgainstModelMatrix, ColumnsAreTheObservedCellsInKeyOrder) {
  const json& columns = fCase["parameters"];
  const std::vector<QXRegrParameter>& parameters = fDesign->GetFixedParameters();
  ASSERT_EQ(parameters.size(), columns.size());
  for (std::size_t j = 0; j < columns.size(); ++j) {
    const json& c = columns[j];
    const QXRegrParameter& p = parameters[j];
    EXPECT_EQ(p.GetEffectIndex(), c["effect"].get<int>()) << j;
    std::vector<int> factors, covariates;
    for (const json& f : c["factors"]) factors.push_back(qx_linear_test::ColumnIndex(fCase, f));
    EXPECT_EQ(p.GetFactors(), factors) << j;
    EXPECT_EQ(p.GetCategories(), c["cell"].get<std::vector<int>>()) << j;
    for (const json& cv : c["covs"]) {
      const int var = qx_linear_test::ColumnIndex(fCase, cv);
      if (covariates.empty() || covariates.back() != var) covariates.push_back(var);
    }
    EXPECT_EQ(p.GetCovariates(), covariates) << j;
    EXPECT_EQ(p.GetNCovariateMult(), static_cast<int>(c["covs"].size())) << j;
  }
}

TEST_P(DesignMatrixAgainstModelMatrix, EveryRecordExpandsToItsModelMatrixRow) {
  const json& matrix = fCase["matrix"];
  const json& columns = fCase["parameters"];
  const int p = fDesign->GetNFixedParameters();
  const int y = qx_linear_test::ColumnIndex(fCase, fCase["dependent"]);
  ASSERT_EQ(matrix.size(), fRecords.size());
  std::vector<double> x(static_cast<std::size_t>(p)), xy, indicators(static_cast<std::size_t>(p));
  std::vector<int> indices;
  std::vector<double> values;
  for (std::size_t i = 0; i < fRecords.size(); ++i) {
    const double* row = fRecords[i].GetAll();
    ASSERT_TRUE(fDesign->ExpandRowX(row, x, false)) << i;
    ASSERT_TRUE(fDesign->ExpandRowX(row, indicators, true)) << i;
    ASSERT_TRUE(fDesign->ExpandRowXY(row, xy, false)) << i;
    ASSERT_TRUE(fDesign->ExpandRowXY(row, indices, values, false)) << i;
    std::vector<double> scattered(static_cast<std::size_t>(p) + 1, 0.0);
    for (std::size_t k = 0; k < indices.size(); ++k) scattered[indices[k]] = values[k];
    for (int j = 0; j < p; ++j) {
      const double expected = matrix[i][j].get<double>();
      EXPECT_DOUBLE_EQ(x[j], expected) << "record " << i << ", column " << j;
      EXPECT_EQ(xy[j], x[j]);
      EXPECT_EQ(scattered[j], x[j]);
      EXPECT_EQ(indicators[j], InCell(fRecords[i], columns[j]) ? 1.0 : 0.0) << i << ", " << j;
    }
    EXPECT_EQ(xy[p], fRecords[i][y]);
    EXPECT_EQ(scattered[p], fRecords[i][y]);
  }
}

TEST_P(DesignMatrixAgainstModelMatrix, LiteDesignOfTheColumnsGivesTheSameRows) {
  QXLiteDesignMatrix lite(fSettings.GetFactors(), fSettings.GetFactorSizes(), fSettings.GetCovariates());
  for (const QXRegrParameter& p : fDesign->GetFixedParameters()) ASSERT_TRUE(lite.AddRegrParameter(p));
  ASSERT_EQ(lite.GetNParameters(), fDesign->GetNFixedParameters());
  ASSERT_EQ(lite.GetNModelEffects(), fDesign->GetNFixedEffects());
  for (int e = 0; e < lite.GetNModelEffects(); ++e) {
    int first = -1, count = -1, designFirst = -2, designCount = -2;
    ASSERT_TRUE(lite.GetParamsForEffect(e, first, count));
    ASSERT_TRUE(fDesign->GetParamsForFixedEffect(e, designFirst, designCount));
    EXPECT_EQ(first, designFirst);
    EXPECT_EQ(count, designCount);
  }
  std::vector<double> x(static_cast<std::size_t>(lite.GetNParameters())), liteX = x;
  for (const Record& r : fRecords) {
    ASSERT_TRUE(fDesign->ExpandRowX(r.GetAll(), x, false));
    ASSERT_TRUE(lite.ExpandRowX(r.GetAll(), liteX));
    EXPECT_EQ(liteX, x);
  }
}

std::string CaseName(const ::testing::TestParamInfo<std::size_t>& info) {
  return Cases()[info.param]["name"].get<std::string>();
}

INSTANTIATE_TEST_SUITE_P(RModelMatrix, DesignMatrixAgainstModelMatrix,
                         ::testing::Range<std::size_t>(0, Cases().size()), CaseName);

}  // namespace
