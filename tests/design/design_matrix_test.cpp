// QXDesignMatrix on small models written out here (the model.matrix comparison covers the bulk of
// the columns): the example of indicator and covariate columns, dependent values with an offset, a
// model of covariates only, and every way a row, a model or a call can be wrong.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "design_test_support.h"
#include "qxregres600r.h"

namespace {

using design_test::MakeSettings;
using qx_linear_test::Term;
using QXCommon_600::QXStatus;
using QXCommon_600::QXWarnings;
using QXCommon_600::Record;
using QXMath_600::QXCancelInfo;
using QXMath_600::QXDesignMatrix;
using QXMath_600::QXRegSettings;

// Records: y, A (3 levels), B (2 levels), X, o. The data pass sees A = 0, 1, 2 with B = 0, 1, except
// the cell (A = 2, B = 1).
constexpr int kA = 1, kB = 2, kX = 3, kO = 4;
const std::vector<std::vector<double>> kRows = {
    {10, 0, 0, 1.5, 0.25}, {11, 0, 1, -2, 0},   {12, 1, 0, 2.5, 1},
    {13, 1, 1, 4, 0.5},    {14, 2, 0, 0.75, 2}, {15, 2, 0, -1, 3},
};

class DesignMatrixTest : public ::testing::Test {
 protected:
  // Builds the design of `terms` over the records above and runs the data pass.
  void Build(const std::vector<Term>& terms, bool intercept = true) {
    fSettings = MakeSettings({3, 2}, 2, terms, intercept);
    fDesign = std::make_unique<QXDesignMatrix>(fSettings, fCancel, fWarnings);
    for (const std::vector<double>& r : kRows)
      ASSERT_TRUE(fDesign->GetFactorTables()->UpdateAll(Record(r.data(), static_cast<int>(r.size()))));
  }
  std::vector<double> Dense(const std::vector<double>& row, bool indicatorOnly = false) {
    std::vector<double> x(static_cast<std::size_t>(fDesign->GetNFixedParameters()), -7.0);
    EXPECT_TRUE(fDesign->ExpandRowX(row.data(), x, indicatorOnly));
    return x;
  }

  QXRegSettings fSettings;
  QXCancelInfo fCancel;
  QXWarnings fWarnings;
  std::unique_ptr<QXDesignMatrix> fDesign;
};

TEST_F(DesignMatrixTest, IndicatorColumnsPerLevelAndCovariateValues) {
  Build({{{kA}, {0}, {}}, {{}, {}, {kX}}});
  ASSERT_TRUE(fDesign->CreateParameters().IsOK());
  ASSERT_EQ(fDesign->GetNFixedParameters(), 5);
  const std::vector<QXMath_600::QXRegrParameter>& p = fDesign->GetFixedParameters();
  EXPECT_TRUE(p[0].IsIntercept());
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(p[1 + k].GetFactors(), std::vector<int>{kA});
    EXPECT_EQ(p[1 + k].GetCategories(), std::vector<int>{k});
    EXPECT_EQ(p[1 + k].GetEffectIndex(), 0);
  }
  EXPECT_EQ(p[4].GetCovariates(), std::vector<int>{kX});

  const std::vector<double> row = {99, 1, 0, 2.5, 0};
  EXPECT_EQ(Dense(row), (std::vector<double>{1, 0, 1, 0, 2.5}));
  EXPECT_EQ(Dense(row, true), (std::vector<double>{1, 0, 1, 0, 1}));
  double raw[5];
  ASSERT_TRUE(fDesign->ExpandRowX(row.data(), raw, false));
  EXPECT_EQ(std::vector<double>(raw, raw + 5), Dense(row));

  int first = -1, count = -1;
  EXPECT_EQ(fDesign->GetNFixedEffects(), 3);
  ASSERT_TRUE(fDesign->GetParamsForFixedEffect(0, first, count));
  EXPECT_EQ(first, 0);
  EXPECT_EQ(count, 1);
  ASSERT_TRUE(fDesign->GetParamsForFixedEffect(1, first, count));
  EXPECT_EQ(first, 1);
  EXPECT_EQ(count, 3);
  ASSERT_TRUE(fDesign->GetParamsForFixedEffect(2, first, count));
  EXPECT_EQ(first, 4);
  EXPECT_EQ(count, 1);
  EXPECT_FALSE(fDesign->GetParamsForFixedEffect(3, first, count));
  EXPECT_FALSE(fDesign->GetParamsForFixedEffect(-1, first, count));
}

TEST_F(DesignMatrixTest, DependentValuesLoseTheOffset) {
  Build({{{kA}, {0}, {}}});
  ASSERT_TRUE(fDesign->CreateParameters().IsOK());
  const std::vector<double> row = {13, 1, 1, 4, 0.5};
  EXPECT_EQ(fDesign->GetDepVarsIndices(), std::vector<int>{0});
  EXPECT_EQ(fDesign->GetDepVarsCategories(), std::vector<int>{-1});
  ASSERT_TRUE(fDesign->SetOffset(kO, 0.0));
  std::vector<double> xy;
  ASSERT_TRUE(fDesign->ExpandRowXY(row.data(), xy, false));
  EXPECT_EQ(xy.back(), 13 - 0.5);
  ASSERT_TRUE(fDesign->SetOffset(kO, 2.0));
  EXPECT_FALSE(fDesign->SetOffset(-1, std::numeric_limits<double>::quiet_NaN()));
  fDesign->SetDepVars({0, kX}, {-1, -1});
  ASSERT_TRUE(fDesign->ExpandRowXY(row.data(), xy, false));
  ASSERT_EQ(xy.size(), 4u + 2u);
  EXPECT_EQ(xy[4], 13 - 2.0 - 0.5);
  EXPECT_EQ(xy[5], 4 - 2.0 - 0.5);
  EXPECT_EQ(fDesign->GetMinRowSize(), kO + 1);

  // Without a dependent variable there is nothing to append.
  fDesign->SetDepVars({-1}, {-1});
  std::vector<int> indices;
  std::vector<double> values;
  EXPECT_FALSE(fDesign->ExpandRowXY(row.data(), xy, false));
  EXPECT_FALSE(fDesign->ExpandRowXY(row.data(), indices, values, false));
  double raw[8];
  EXPECT_FALSE(fDesign->ExpandRowXY(row.data(), raw, false));
}

TEST_F(DesignMatrixTest, ARowOutsideTheObservedCellsExpandsToNothing) {
  Build({{{kA}, {0}, {}}, {{kA, kB}, {0, 0}, {}}});
  ASSERT_TRUE(fDesign->CreateParameters().IsOK());
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  // The empty cell, a code equal to the number of levels, negative and huge codes, missing values.
  for (const double a : {2.0, 3.0, -2.0, 1e300, nan, inf, QXMV::gMissingValue}) {
    const double b = a == 2.0 ? 1.0 : 0.0;
    const std::vector<double> row = {1, a, b, 1, 0};
    std::vector<double> x(static_cast<std::size_t>(fDesign->GetNFixedParameters()), -7.0);
    EXPECT_FALSE(fDesign->ExpandRowX(row.data(), x, false)) << a;
    EXPECT_EQ(x, std::vector<double>(x.size(), -7.0)) << "dense rows are left alone";
    std::vector<int> indices;
    std::vector<double> values;
    EXPECT_FALSE(fDesign->ExpandRowX(row.data(), indices, values, false));
    ASSERT_EQ(indices.size(), 3u);
    EXPECT_EQ(indices[0], 0);
    EXPECT_EQ(indices[2], -1);
    EXPECT_EQ(values[2], 0.0);
    EXPECT_FALSE(fDesign->ExpandRowXY(row.data(), indices, values, false));
    std::vector<double> xy;
    EXPECT_FALSE(fDesign->ExpandRowXY(row.data(), xy, false));
  }
  // The main effect of A still finds level 2.
  std::vector<int> indices;
  std::vector<double> values;
  const std::vector<double> row = {1, 2, 1, 1, 0};
  EXPECT_FALSE(fDesign->ExpandRowX(row.data(), indices, values, false));
  EXPECT_EQ(indices, (std::vector<int>{0, 3, -1}));
}

TEST_F(DesignMatrixTest, CovariateOnlyModelsExpandEveryColumn) {
  // The settings have factors, but no effect uses them: rows with any factor value expand.
  Build({{{}, {}, {kX}}, {{}, {}, {kX, kO}}});
  ASSERT_TRUE(fDesign->CreateParameters().IsOK());
  const std::vector<double> row = {1, 7, -3, 2, 0.5};
  EXPECT_EQ(Dense(row), (std::vector<double>{1, 2, 1}));
  std::vector<int> indices;
  std::vector<double> values;
  ASSERT_TRUE(fDesign->ExpandRowX(row.data(), indices, values, false));
  EXPECT_EQ(indices, (std::vector<int>{0, 1, 2}));
  ASSERT_TRUE(fDesign->ExpandRowXY(row.data(), indices, values, true));
  EXPECT_EQ(indices, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(values, (std::vector<double>{1, 1, 1, 1}));
}

TEST_F(DesignMatrixTest, EffectsNamingUnknownVariablesGive303AndNoColumns) {
  for (const bool factor : {true, false}) {
    fSettings = MakeSettings({3, 2}, 2, {{{kA}, {0}, {}}}, true);
    // Variable 9 has no role in the settings.
    const std::vector<int> candidates = {9};
    QXMath_600::QXModelEffect unknown(factor ? 1 : 0, factor ? 0 : 1, &candidates);
    if (factor) {
      ASSERT_TRUE(unknown.AddNewFactor(9, false));
    } else {
      ASSERT_EQ(unknown.AddCovariate(9), 1);
    }
    ASSERT_TRUE(fSettings.AddModelEffect(unknown));
    QXDesignMatrix design(fSettings, fCancel, fWarnings);
    for (const std::vector<double>& r : kRows) design.GetFactorTables()->UpdateAll(Record(r.data(), 5));
    const QXStatus status = design.CreateParameters();
    EXPECT_TRUE(status.IsError());
    EXPECT_EQ(status.GetErrorCode(), 303);
    EXPECT_EQ(design.GetStatus(), status);
    EXPECT_FALSE(design.AreParamsCreated());
    EXPECT_EQ(design.GetNFixedParameters(), 0);
    std::vector<double> x(8, 0.0);
    EXPECT_FALSE(design.ExpandRowX(kRows[0].data(), x, false));
  }
  // An effect added after the design was made no longer matches its tables.
  Build({{{kA}, {0}, {}}});
  fSettings.AddModelEffect(qx_linear_test::MakeEffect(fSettings, {{kB}, {0}, {}}));
  EXPECT_EQ(fDesign->CreateParameters().GetErrorCode(), 303);
}

TEST_F(DesignMatrixTest, CancelledCreateParametersIsStatus1AndExpandsNothing) {
  Build({{{kA}, {0}, {}}, {{kB}, {0}, {}}});
  fCancel.SetCancel();
  const QXStatus status = fDesign->CreateParameters();
  EXPECT_EQ(status.GetErrorCode(), 1);
  EXPECT_TRUE(status.IsError());
  EXPECT_FALSE(fDesign->AreParamsCreated());
  // The intercept was built before the first effect consulted the cancel object.
  EXPECT_EQ(fDesign->GetNFixedParameters(), 1);
  std::vector<double> x(6, 0.0);
  EXPECT_FALSE(fDesign->ExpandRowX(kRows[0].data(), x, false));
}

TEST_F(DesignMatrixTest, RefusesRowsBeforeTheParametersAndShortOutputs) {
  Build({{{kA}, {0}, {}}});
  std::vector<double> x(4, 0.0);
  std::vector<int> indices;
  std::vector<double> values;
  EXPECT_FALSE(fDesign->ExpandRowX(kRows[0].data(), x, false));
  EXPECT_FALSE(fDesign->ExpandRowX(kRows[0].data(), indices, values, false));
  int first = 0, count = 0;
  EXPECT_FALSE(fDesign->GetParamsForFixedEffect(0, first, count));

  ASSERT_TRUE(fDesign->CreateParameters().IsOK());
  std::vector<double> shortX(3, 0.0);
  EXPECT_FALSE(fDesign->ExpandRowX(kRows[0].data(), shortX, false));
  EXPECT_FALSE(fDesign->ExpandRowX(nullptr, x, false));
  EXPECT_FALSE(fDesign->ExpandRowX(kRows[0].data(), static_cast<double*>(nullptr), false));
  EXPECT_FALSE(fDesign->ExpandRowX(nullptr, indices, values, false));
  // A short record is refused by the data pass.
  EXPECT_FALSE(fDesign->GetFactorTables()->UpdateAll(Record(kRows[0].data(), 1)));
}

TEST_F(DesignMatrixTest, RecordsAfterTheParametersWaitForTheirNumbering) {
  Build({{{kA, kB}, {0, 0}, {}}});
  ASSERT_TRUE(fDesign->CreateParameters().IsOK());
  const std::vector<QXMath_600::QXRegrParameter> before = fDesign->GetFixedParameters();
  // A record of the empty cell arrives after the first numbering: its cell has no column yet, so no
  // row expands (the new cell would otherwise pass for column 0) until the parameters are made again.
  const std::vector<double> late = {1, 2, 1, 0, 0};
  ASSERT_TRUE(fDesign->GetFactorTables()->UpdateAll(Record(late.data(), 5)));
  std::vector<double> x(before.size());
  std::vector<int> indices;
  std::vector<double> values;
  EXPECT_FALSE(fDesign->ExpandRowX(late.data(), x, false));
  EXPECT_FALSE(fDesign->ExpandRowX(kRows[0].data(), indices, values, false));
  ASSERT_TRUE(fDesign->CreateParameters().IsOK());
  ASSERT_EQ(fDesign->GetNFixedParameters(), static_cast<int>(before.size()) + 1);
  EXPECT_EQ(fDesign->GetFixedParameters().back().GetCategories(), (std::vector<int>{2, 1}));
  EXPECT_EQ(Dense(late).back(), 1.0);
}

}  // namespace
