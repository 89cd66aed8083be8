#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "qxregres600r.h"

namespace {

using QXMath_600::QXModelEffect;
using QXMath_600::QXRegrParameter;

TEST(RegrParameter, FactorsStayOrderedByNestLevelThenByArrival) {
  QXRegrParameter parameter;
  EXPECT_TRUE(parameter.IsIntercept());
  EXPECT_TRUE(parameter.AddFactor(5, 2, 1));
  EXPECT_TRUE(parameter.AddFactor(6, 0, 0));
  EXPECT_TRUE(parameter.AddFactor(7, 1, 1));
  EXPECT_FALSE(parameter.AddFactor(6, 3, 2));  // already present
  EXPECT_FALSE(parameter.AddFactor(-1, 0, 0));
  EXPECT_FALSE(parameter.AddFactor(8, 0, -1));
  EXPECT_EQ(parameter.GetFactors(), (std::vector<int>{6, 5, 7}));
  EXPECT_EQ(parameter.GetCategories(), (std::vector<int>{0, 2, 1}));
  EXPECT_EQ(parameter.GetFactorNestLevels(), (std::vector<int>{0, 1, 1}));
  EXPECT_EQ(parameter.ContainsFactor(7, -9), 1);
  EXPECT_EQ(parameter.ContainsFactor(8, -9), -9);
  EXPECT_FALSE(parameter.IsIntercept());
}

TEST(RegrParameter, CovariatePowersAddUpAndRefuseNonsense) {
  QXRegrParameter parameter;
  EXPECT_EQ(parameter.AddCovariate(3, 0), 0);
  EXPECT_EQ(parameter.AddCovariate(-3, 1), 0);
  EXPECT_EQ(parameter.GetNCovariates(), 0);
  EXPECT_EQ(parameter.AddCovariate(3, 1), 1);
  EXPECT_EQ(parameter.AddCovariate(4, 2), 2);
  EXPECT_EQ(parameter.AddCovariate(3, 2), 3);
  EXPECT_EQ(parameter.AddCovariate(3, INT_MAX), 0);  // would overflow
  EXPECT_EQ(parameter.GetCovariateMult(3), 3);
  EXPECT_EQ(parameter.GetCovariateMult(9), 0);
  EXPECT_EQ(parameter.GetNCovariateMult(), 5);
  EXPECT_EQ(parameter.GetCovariates(), (std::vector<int>{3, 4}));
}

TEST(RegrParameter, SetupFromEffectTakesTheEffectsFactorsLevelsAndPowers) {
  std::vector<int> vars{10, 11, 20};
  QXModelEffect intercept(2, 1, &vars);
  QXModelEffect nested = intercept;  // A(B) X*X: B outermost
  nested.AddNewFactor(10, false);
  nested.AddNewFactor(11, true);
  nested.AddCovariate(20);
  nested.AddCovariate(20);

  QXRegrParameter parameter;
  parameter.SetTargetCategory(2);
  EXPECT_FALSE(parameter.SetupFromEffect(intercept, 0, 0));
  EXPECT_FALSE(parameter.SetupFromEffect(nested, -1, 0));
  EXPECT_EQ(parameter, QXRegrParameter([] {
              QXRegrParameter p;
              p.SetTargetCategory(2);
              return p;
            }()));

  parameter.AddFactor(99, 4, 0);
  ASSERT_TRUE(parameter.SetupFromEffect(nested, 3, 0));
  EXPECT_EQ(parameter.GetEffectIndex(), 3);
  EXPECT_EQ(parameter.GetTargetCategory(), 2);
  EXPECT_EQ(parameter.GetFactors(), (std::vector<int>{11, 10}));
  EXPECT_EQ(parameter.GetFactorNestLevels(), (std::vector<int>{0, 1}));
  EXPECT_EQ(parameter.GetCategories(), (std::vector<int>{0, 0}));
  EXPECT_EQ(parameter.GetCovariates(), std::vector<int>{20});
  EXPECT_EQ(parameter.GetCovariateMultiplicities(), std::vector<int>{2});

  // The design writes a cell's categories in place; equality then tells the cells apart.
  QXRegrParameter cell = parameter;
  cell.GetCategories()[1] = 4;
  EXPECT_NE(cell, parameter);
  cell.GetCategories()[1] = 0;
  EXPECT_EQ(cell, parameter);
  cell.SetEffectIndex(-5);  // ignored
  EXPECT_EQ(cell.GetEffectIndex(), 3);

  cell.Reset();
  EXPECT_EQ(cell, QXRegrParameter());
}

}  // namespace
