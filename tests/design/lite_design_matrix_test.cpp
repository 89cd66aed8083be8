// QXLiteDesignMatrix built by hand: numbering in the order of adding, effects made from parameters,
// lookups by levels and by rows, nested effects whose parameters list their factors in another order
// than the effect, incomplete designs, and what each operation answers when it cannot do its work.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "qxregres600r.h"

namespace {

using QXMath_600::QXLiteDesignMatrix;
using QXMath_600::QXModelEffect;
using QXMath_600::QXRegrParameter;

// Record layout: y, A (3 levels), B (2 levels), X, Z.
constexpr int kY = 0, kA = 1, kB = 2, kX = 3, kZ = 4;
const std::vector<int> kCandidates = {kA, kB, kX, kZ};

QXLiteDesignMatrix MakeLite() { return QXLiteDesignMatrix({kA, kB}, {3, 2}, {kX, kZ}); }

// A term over the candidates: factors added in order, each with its nest flag, then covariates.
QXModelEffect Effect(const std::vector<std::pair<int, bool>>& factors,
                     const std::vector<int>& covariates = {}) {
  QXModelEffect effect(2, 2, &kCandidates);
  for (const auto& [var, nest] : factors) EXPECT_TRUE(effect.AddNewFactor(var, nest));
  for (int c : covariates) EXPECT_GE(effect.AddCovariate(c), 1);
  return effect;
}

// The parameter of `effect` (numbered effectIndex) for one cell, categories given per factor record
// index in the parameter's own (nesting) order.
QXRegrParameter Cell(const QXModelEffect& effect, int effectIndex, const std::vector<int>& categories) {
  QXRegrParameter p;
  if (!effect.IsIntercept()) {
    EXPECT_TRUE(p.SetupFromEffect(effect, effectIndex, 0));
  }
  EXPECT_EQ(p.GetCategories().size(), categories.size());
  p.GetCategories() = categories;
  return p;
}

TEST(LiteDesignMatrix, NumbersParametersInTheOrderAdded) {
  QXLiteDesignMatrix lite = MakeLite();
  const QXModelEffect intercept(2, 2, &kCandidates);
  const QXModelEffect a = Effect({{kA, false}});
  EXPECT_EQ(lite.AddModelEffect(intercept, {QXRegrParameter()}), 1);
  EXPECT_EQ(lite.AddModelEffect(a, {Cell(a, 0, {2}), Cell(a, 0, {0}), Cell(a, 0, {1})}), 4);
  EXPECT_EQ(lite.GetNModelEffects(), 2);
  EXPECT_EQ(lite.GetModelEffects()[1], a);
  int first = -1, count = -1;
  ASSERT_TRUE(lite.GetParamsForEffect(1, first, count));
  EXPECT_EQ(first, 1);
  EXPECT_EQ(count, 3);
  ASSERT_TRUE(lite.GetParamsForEffect(0, first, count));
  EXPECT_EQ(first, 0);
  EXPECT_EQ(count, 1);
  EXPECT_FALSE(lite.GetParamsForEffect(2, first, count));
  EXPECT_FALSE(lite.GetParamsForEffect(-1, first, count));

  // Category code 2 was added first among A's cells.
  EXPECT_EQ(lite.GetEffectParameterIndex(1, {2, 0}), 1);
  EXPECT_EQ(lite.GetEffectParameterIndex(1, {0, 0}), 2);
  EXPECT_EQ(lite.GetEffectParameterIndex(0, {0, 0}), 0);
  // A = 1.6 is category code 2.
  const std::vector<double> row = {5, 1.6, 0, 0, 0};
  bool ok = false;
  EXPECT_EQ(lite.GetRowParameterIndices(row.data(), ok), (std::vector<int>{0, 1}));
  EXPECT_TRUE(ok);
  EXPECT_EQ(lite.GetActiveFactorCategories(), (std::vector<std::vector<int>>{{2, 0, 1}, {}}));
  EXPECT_TRUE(lite.GetStatus().IsOK());
}

TEST(LiteDesignMatrix, ParametersOneByOneStartAnEffectWhenTheirVariablesChange) {
  QXLiteDesignMatrix lite = MakeLite();
  const QXModelEffect a = Effect({{kA, false}});
  const QXModelEffect b = Effect({{kB, false}});
  const QXModelEffect x = Effect({}, {kX});
  const QXModelEffect ax = Effect({{kA, false}}, {kX});
  EXPECT_TRUE(lite.AddRegrParameter(QXRegrParameter()));
  EXPECT_TRUE(lite.AddRegrParameter(Cell(a, 0, {0})));
  EXPECT_TRUE(lite.AddRegrParameter(Cell(a, 0, {1})));
  EXPECT_TRUE(lite.AddRegrParameter(Cell(b, 1, {0})));
  EXPECT_TRUE(lite.AddRegrParameter(Cell(x, 2, {})));
  EXPECT_TRUE(lite.AddRegrParameter(Cell(ax, 3, {1})));
  EXPECT_EQ(lite.GetNParameters(), 6);
  ASSERT_EQ(lite.GetNModelEffects(), 5);
  EXPECT_TRUE(lite.GetModelEffects()[0].IsIntercept());
  EXPECT_EQ(lite.GetModelEffects()[1].GetFactors(), std::vector<int>{kA});
  EXPECT_EQ(lite.GetModelEffects()[4].GetCovariates(), std::vector<int>{kX});

  // A x X holds X in its column; X its own value.
  std::vector<double> x6(6, -1.0);
  const std::vector<double> row = {9, 1, 0, 2.5, 7};
  ASSERT_TRUE(lite.ExpandRowX(row.data(), x6));
  EXPECT_EQ(x6, (std::vector<double>{1, 0, 1, 1, 2.5, 2.5}));
}

TEST(LiteDesignMatrix, RepeatedTermsStayApartByTheirEffectIndex) {
  // x + x and A + A, as a model with a repeated term has them: every parameter keeps its column.
  QXLiteDesignMatrix lite = MakeLite();
  const QXModelEffect x = Effect({}, {kX});
  const QXModelEffect a = Effect({{kA, false}});
  for (int e : {0, 1}) EXPECT_TRUE(lite.AddRegrParameter(Cell(x, e, {})));
  for (int e : {2, 3})
    for (int k : {0, 1}) EXPECT_TRUE(lite.AddRegrParameter(Cell(a, e, {k})));
  EXPECT_EQ(lite.GetNModelEffects(), 4);
  EXPECT_EQ(lite.GetNParameters(), 6);
  std::vector<int> indices;
  std::vector<double> values;
  const std::vector<double> row = {0, 1, 0, 3, 0};
  ASSERT_TRUE(lite.ExpandRowX(row.data(), indices, values));
  EXPECT_EQ(indices, (std::vector<int>{0, 1, 3, 5}));
  EXPECT_EQ(values, (std::vector<double>{3, 3, 1, 1}));

  // The same parameter twice (one effect index) is one column.
  QXLiteDesignMatrix same = MakeLite();
  EXPECT_TRUE(same.AddRegrParameter(Cell(x, 0, {})));
  EXPECT_TRUE(same.AddRegrParameter(Cell(x, 0, {})));
  EXPECT_EQ(same.GetNParameters(), 1);
}

TEST(LiteDesignMatrix, ACellAddedTwiceKeepsItsFirstParameter) {
  QXLiteDesignMatrix lite = MakeLite();
  const QXModelEffect a = Effect({{kA, false}});
  EXPECT_TRUE(lite.AddRegrParameter(Cell(a, 0, {1})));
  EXPECT_FALSE(lite.AddRegrParameter(Cell(a, 0, {1})));
  EXPECT_EQ(lite.GetNParameters(), 2);
  EXPECT_EQ(lite.GetEffectParameterIndex(0, {1, 0}), 0);
  EXPECT_EQ(lite.AddModelEffect(a, {Cell(a, 1, {0}), Cell(a, 1, {0})}), 4);
  EXPECT_EQ(lite.GetEffectParameterIndex(1, {0, 0}), 2);
}

// The open point of the nested effects: A within B lists its factors as the model does (A, B), while
// its parameters list them by nesting level (B, A). Cells are filed and found in the effect's order.
TEST(LiteDesignMatrix, NestedEffectFindsEveryCellWhateverTheParametersFactorOrder) {
  const QXModelEffect nested = Effect({{kA, false}, {kB, true}});
  ASSERT_EQ(nested.GetFactors(), (std::vector<int>{kA, kB}));
  const QXRegrParameter probe = Cell(nested, 0, {0, 0});
  ASSERT_EQ(probe.GetFactors(), (std::vector<int>{kB, kA}));

  // Categories in the parameter's order (B, A); cell (B = 1, A = 2) never occurs.
  const std::vector<std::vector<int>> cells = {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}};
  std::vector<QXRegrParameter> parameters;
  for (const std::vector<int>& c : cells) parameters.push_back(Cell(nested, 0, c));

  QXLiteDesignMatrix byEffect = MakeLite();
  ASSERT_EQ(byEffect.AddModelEffect(nested, parameters), 5);
  QXLiteDesignMatrix byParameter = MakeLite();
  for (const QXRegrParameter& p : parameters) ASSERT_TRUE(byParameter.AddRegrParameter(p));
  // A nested effect first, then more of its parameters one by one: they join it.
  QXLiteDesignMatrix mixed = MakeLite();
  ASSERT_EQ(mixed.AddModelEffect(nested, {parameters[0], parameters[1]}), 2);
  for (std::size_t k = 2; k < parameters.size(); ++k) ASSERT_TRUE(mixed.AddRegrParameter(parameters[k]));
  ASSERT_EQ(mixed.GetNModelEffects(), 1);

  for (const QXLiteDesignMatrix* lite : {&byEffect, &byParameter, &mixed}) {
    for (int k = 0; k < 5; ++k) {
      const int b = cells[k][0], a = cells[k][1];
      // Levels are indexed by factor position: A first, then B.
      EXPECT_EQ(lite->GetEffectParameterIndex(0, {a, b}), k);
      const std::vector<double> row = {0, double(a), double(b), 0, 0};
      bool ok = false;
      EXPECT_EQ(lite->GetRowParameterIndices(row.data(), ok)[0], k);
      EXPECT_TRUE(ok);
    }
    EXPECT_EQ(lite->GetEffectParameterIndex(0, {2, 1}), -1);
    EXPECT_EQ(lite->GetIncompleteEffectIndex(), 0);
  }
}

TEST(LiteDesignMatrix, IncompleteEffectIsTheEmptiestOne) {
  const QXModelEffect a = Effect({{kA, false}});
  const QXModelEffect ab = Effect({{kA, false}, {kB, false}});
  QXLiteDesignMatrix lite = MakeLite();
  lite.AddModelEffect(a, {Cell(a, 0, {0}), Cell(a, 0, {1})});
  lite.AddModelEffect(ab, {Cell(ab, 1, {0, 0}), Cell(ab, 1, {0, 1}), Cell(ab, 1, {1, 0})});
  EXPECT_EQ(lite.GetIncompleteEffectIndex(), 1);
  lite.AddRegrParameter(Cell(ab, 1, {1, 1}));
  EXPECT_EQ(lite.GetIncompleteEffectIndex(), -1);
  // An effect without parameters has nothing to be incomplete about.
  QXLiteDesignMatrix empty = MakeLite();
  EXPECT_EQ(empty.AddModelEffect(ab, {}), 0);
  EXPECT_EQ(empty.GetIncompleteEffectIndex(), -1);
}

TEST(LiteDesignMatrix, RefusedAdditionsChangeNothingAndReport303) {
  const QXModelEffect a = Effect({{kA, false}});
  const QXModelEffect ab = Effect({{kA, false}, {kB, false}});
  const QXModelEffect x = Effect({}, {kX});
  const std::vector<int> other = {7};
  QXModelEffect unknownFactor(1, 0, &other);
  ASSERT_TRUE(unknownFactor.AddNewFactor(7, false));
  QXRegrParameter unknownCovariate;
  ASSERT_EQ(unknownCovariate.AddCovariate(7, 1), 1);
  QXRegrParameter negative = Cell(a, 0, {-1});

  QXLiteDesignMatrix lite = MakeLite();
  ASSERT_EQ(lite.AddModelEffect(a, {Cell(a, 0, {0})}), 1);
  const auto refused = [&lite](int result) {
    EXPECT_EQ(result, -1);
    EXPECT_EQ(lite.GetStatus().GetErrorCode(), 303);
    EXPECT_EQ(lite.GetNParameters(), 1);
    EXPECT_EQ(lite.GetNModelEffects(), 1);
  };
  refused(lite.AddModelEffect(unknownFactor, {Cell(unknownFactor, 0, {0})}));
  // A parameter of another effect in an effect's list, a cell without A, a bad code.
  refused(lite.AddModelEffect(a, {Cell(a, 1, {0}), Cell(ab, 1, {0, 0})}));
  refused(lite.AddModelEffect(ab, {Cell(a, 1, {0})}));
  refused(lite.AddModelEffect(a, {negative}));
  // An effect without factors needs its parameter.
  refused(lite.AddModelEffect(x, {}));
  refused(lite.AddModelEffect(x, {Cell(a, 1, {0})}));
  refused(lite.AddRegrParameter(unknownCovariate) ? 0 : -1);
  refused(lite.AddRegrParameter(negative) ? 0 : -1);
  QXRegrParameter ragged = Cell(a, 0, {0});
  ragged.GetCategories().push_back(1);
  refused(lite.AddRegrParameter(ragged) ? 0 : -1);
  // The design is still whole.
  std::vector<double> x1(1, 0.0);
  const std::vector<double> row = {0, 0, 0, 0, 0};
  EXPECT_TRUE(lite.ExpandRowX(row.data(), x1));
}

TEST(LiteDesignMatrix, LookupsThatCannotPlaceAnythingAnswerMinusOne) {
  QXLiteDesignMatrix lite = MakeLite();
  const QXModelEffect intercept(2, 2, &kCandidates);
  const QXModelEffect ab = Effect({{kA, false}, {kB, false}});
  lite.AddModelEffect(intercept, {QXRegrParameter()});
  lite.AddModelEffect(ab, {Cell(ab, 1, {0, 0}), Cell(ab, 1, {1, 1})});
  EXPECT_EQ(lite.GetEffectParameterIndex(2, {0, 0}), -1);
  EXPECT_EQ(lite.GetEffectParameterIndex(-1, {0, 0}), -1);
  EXPECT_EQ(lite.GetEffectParameterIndex(1, {0}), -1);
  EXPECT_EQ(lite.GetEffectParameterIndex(1, {0, 1}), -1);
  EXPECT_EQ(lite.GetEffectParameterIndex(1, {1, 1}), 2);
  bool ok = true;
  EXPECT_EQ(lite.GetParameterIndices({0}, ok), (std::vector<int>{0, -1}));
  EXPECT_FALSE(ok);
  EXPECT_EQ(lite.GetParameterIndices({1, 1}, ok), (std::vector<int>{0, 2}));
  EXPECT_TRUE(ok);
  EXPECT_EQ(lite.GetRowParameterIndices(nullptr, ok), (std::vector<int>{0, -1}));
  EXPECT_FALSE(ok);

  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const double a : {nan, QXMV::gMissingValue, 1e300, -2.0, 3.0}) {
    const std::vector<double> row = {0, a, 0, 0, 0};
    EXPECT_EQ(lite.GetRowParameterIndices(row.data(), ok)[1], -1) << a;
    EXPECT_FALSE(ok);
    std::vector<double> x(3, -7.0), xy;
    EXPECT_FALSE(lite.ExpandRowX(row.data(), x));
    EXPECT_EQ(x, std::vector<double>(3, -7.0));
    std::vector<int> indices;
    std::vector<double> values;
    EXPECT_FALSE(lite.ExpandRowX(row.data(), indices, values));
    EXPECT_EQ(indices, (std::vector<int>{0, -1}));
    EXPECT_EQ(values, (std::vector<double>{1, 0}));
    lite.SetDepVar(kY);
    EXPECT_FALSE(lite.ExpandRowXY(row.data(), xy));
    EXPECT_FALSE(lite.ExpandRowXY(row.data(), indices, values));
  }
  std::vector<double> shortX(2, 0.0);
  const std::vector<double> good = {0, 1, 1, 0, 0};
  EXPECT_FALSE(lite.ExpandRowX(good.data(), shortX));
}

TEST(LiteDesignMatrix, RowsWithTheDependentAppended) {
  QXLiteDesignMatrix lite = MakeLite();
  const QXModelEffect intercept(2, 2, &kCandidates);
  const QXModelEffect bz = Effect({{kB, false}}, {kZ, kZ});
  lite.AddModelEffect(intercept, {QXRegrParameter()});
  lite.AddModelEffect(bz, {Cell(bz, 0, {0}), Cell(bz, 0, {1})});
  const std::vector<double> row = {8, 0, 1, 0, 3};
  std::vector<double> xy;
  std::vector<int> indices;
  std::vector<double> values;
  EXPECT_EQ(lite.GetDepVar(), -1);
  EXPECT_FALSE(lite.ExpandRowXY(row.data(), xy));
  lite.SetDepVar(kY);
  EXPECT_EQ(lite.GetMinRowSize(), kZ + 1);
  ASSERT_TRUE(lite.ExpandRowXY(row.data(), xy));
  EXPECT_EQ(xy, (std::vector<double>{1, 0, 9, 8}));
  ASSERT_TRUE(lite.ExpandRowXY(row.data(), indices, values));
  EXPECT_EQ(indices, (std::vector<int>{0, 2, 3}));
  EXPECT_EQ(values, (std::vector<double>{1, 9, 8}));
}

}  // namespace
