#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "qxregres600r.h"

namespace {

using QXMath_600::QXRectMatrix;
using QXMath_600::QXSatterthwaite;
using QXMath_600::QXSymBlockDiagMatrix;
using QXMath_600::QXSymMatrix;

constexpr double kM = QXMV::gMissingValue;

QXSymMatrix Sym(const std::vector<std::vector<double>>& rows) {
  QXSymMatrix m(static_cast<int>(rows.size()));
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (std::size_t j = 0; j <= i; ++j) m.SetElem(static_cast<int>(i), static_cast<int>(j), rows[i][j]);
  return m;
}
QXSymMatrix Sym1(double value) { return Sym({{value}}); }
QXRectMatrix Rect(const std::vector<std::vector<double>>& rows) {
  QXRectMatrix m;
  for (const auto& row : rows) m.AppendRow(row);
  return m;
}
QXSymBlockDiagMatrix BlockDiag(const QXSymMatrix& block) {
  QXSymBlockDiagMatrix m;
  m.AddBlock(block);
  return m;
}

// Everything a caller hands to the object for the mixed-model-equation form, kept alive together.
struct MixedModelInfo {
  std::vector<double> randomEffects;
  QXSymBlockDiagMatrix gBlock, gDerivative;
  QXRectMatrix c21;
  QXSymMatrix c22;
  std::vector<std::pair<QXSymBlockDiagMatrix*, int>> gDerivatives;
  std::vector<QXRectMatrix> a;
  std::vector<QXSymMatrix> s;
  std::vector<std::vector<QXRectMatrix*>> rectDerivatives;
  std::vector<std::vector<QXSymMatrix*>> symDerivatives;

  // One random effect per block; theta = (random-effect variance, residual variance).
  void Link() {
    gDerivatives = {{&gDerivative, 0}};
    rectDerivatives.clear();
    symDerivatives.clear();
    for (std::size_t k = 0; k < a.size(); ++k) {
      rectDerivatives.push_back({&a[k]});
      symDerivatives.push_back({&s[k]});
    }
  }
  void Give(QXSatterthwaite& object) const {
    object.SetAdditionalInfo(randomEffects, gBlock, c21, c22, gDerivatives, rectDerivatives, symDerivatives);
  }
};

// Balanced one-way random effects, y_ij = mu + a_i + e_ij, a groups of n, theta = (sa2, se2). With
// lambda1 = se2 and lambda2 = n sa2 + se2 (the expected mean squares within and between), the
// expected information of the REML estimates gives Var(lambda1) = V1 = 2 lambda1^2 / (a (n - 1)),
// Var(lambda2) = V2 = 2 lambda2^2 / (a - 1), independent. With sa2 = (lambda2 - lambda1) / n:
//   Cov(theta) = [[(V1 + V2) / n^2, -V1 / n], [-V1 / n, V1]] and H^-1 = Cov(theta) / 2.
// The grand mean has C11 = lambda2 / (a n), and v^2 / (g' H^-1 g) = a - 1 exactly, at any theta.
// Marginal form: V_i = se2 I + sa2 J, 1' V_i^-1 1 = n / lambda2, so
//   D_sa2 = X' V^-1 Z Z' V^-1 X = a n^2 / lambda2^2 and D_se2 = X' V^-2 X = a n / lambda2^2.
// Mixed model equations: M = [[a al, al 1'], [al 1, be I]] with al = n / se2, be = al + 1 / sa2, so
//   C21 = -(al / be) C11 1 and C22 = I / be + (al / be)^2 C11 1 1';
//   -dG^-1/dsa2 = 1 / sa2^2 per group; -dM/dse2 = [[a n, n 1'], [n 1, n I]] / se2^2.
struct BalancedOneWay {
  BalancedOneWay(int groups, int perGroup, double sa2, double se2, double residualDF) {
    const double a = groups, n = perGroup, lambda1 = se2, lambda2 = n * sa2 + se2;
    const double v1 = 2.0 * lambda1 * lambda1 / (a * (n - 1.0)), v2 = 2.0 * lambda2 * lambda2 / (a - 1.0);
    hInverse = Sym({{(v1 + v2) / (n * n) / 2.0, 0.0}, {-v1 / n / 2.0, v1 / 2.0}});
    c11 = Sym1(lambda2 / (a * n));
    dMarginal = {Sym1(a * n * n / (lambda2 * lambda2)), Sym1(a * n / (lambda2 * lambda2))};
    marginalPointers = {&dMarginal[0], &dMarginal[1]};
    marginal = std::make_unique<QXSatterthwaite>(hInverse, c11, theta, marginalPointers, residualDF);

    const double al = n / se2, be = al + 1.0 / sa2, c = lambda2 / (a * n), se4 = se2 * se2;
    dMme = {QXSymMatrix(), Sym1(a * n / se4)};
    mmePointers = {nullptr, &dMme[1]};  // sa2 belongs to the random-effect covariance group
    info.randomEffects.assign(groups, 0.0);
    info.gBlock = BlockDiag(Sym1(sa2));
    info.gDerivative = BlockDiag(Sym1(1.0 / (sa2 * sa2)));
    info.c21 = QXRectMatrix(groups, 1);
    info.c22 = QXSymMatrix(groups);
    for (int i = 0; i < groups; ++i) {
      info.c21.SetElem(i, 0, -(al / be) * c);
      for (int j = 0; j <= i; ++j)
        info.c22.SetElem(i, j, (i == j ? 1.0 / be : 0.0) + (al / be) * (al / be) * c);
      info.a.push_back(Rect({{n / se4}}));
      info.s.push_back(Sym1(n / se4));
    }
    info.Link();
    mme = std::make_unique<QXSatterthwaite>(hInverse, c11, theta, mmePointers, residualDF);
    info.Give(*mme);
  }
  std::vector<double> theta{0.0, 0.0};
  QXSymMatrix hInverse, c11;
  std::vector<QXSymMatrix> dMarginal, dMme;
  std::vector<QXSymMatrix*> marginalPointers, mmePointers;
  MixedModelInfo info;
  std::unique_ptr<QXSatterthwaite> marginal, mme;
};

TEST(SatterthwaiteClosedForm, BalancedOneWayGrandMeanHasAMinusOneDegreesOfFreedom) {
  for (const auto& [groups, perGroup, sa2, se2] : std::vector<std::tuple<int, int, double, double>>{
           {6, 4, 2.5, 1.2}, {3, 10, 0.01, 7.0}, {12, 2, 40.0, 0.3}}) {
    BalancedOneWay model(groups, perGroup, sa2, se2, 1000.0);
    SCOPED_TRACE(groups);
    // Both forms of the same model give the closed form; the mixed-model-equation form checks the
    // pairing of C21, the block-diagonal derivative and the per-block derivative matrices.
    EXPECT_NEAR(model.marginal->ComputeDF4XRow({1.0}), groups - 1.0, 1e-12 * groups);
    EXPECT_NEAR(model.mme->ComputeDF4XRow({1.0}), groups - 1.0, 1e-12 * groups);
    EXPECT_NEAR(model.mme->ComputeDF4XRow(std::vector<int>{0}, {3.5}), groups - 1.0, 1e-12 * groups);
  }
}

TEST(SatterthwaiteClosedForm, VarianceFreeOfThetaAndTheResidualBound) {
  BalancedOneWay model(6, 4, 2.5, 1.2, 3.0);
  EXPECT_EQ(model.marginal->ComputeDF4XRow({1.0}), 3.0);  // 5 is cut to the residual df
  EXPECT_EQ(model.mme->ComputeDF4FixedOverall(Rect({{2.0}})), 3.0);

  // Zero derivative matrices: the variance does not depend on theta, G = 0.
  std::vector<double> theta;
  const QXSymMatrix hInverse = Sym({{1.0, 0.0}, {0.2, 1.0}}), c11 = Sym({{2.0, 0.5}, {0.5, 1.0}});
  QXSymMatrix zero(2);
  const std::vector<QXSymMatrix*> derivatives{&zero, &zero};
  QXSatterthwaite fixedOnly(hInverse, c11, theta, derivatives, 40.0);
  EXPECT_EQ(fixedOnly.ComputeDF4XRow({1.0, -1.0}), kM);
  EXPECT_EQ(fixedOnly.ComputeDF4FixedOverall(Rect({{1.0, 0.0}, {0.0, 1.0}})), 40.0);
  std::vector<double> variances, df;
  fixedOnly.ComputeDF4FixedOverallNIndiv(Rect({{1.0, 0.0}, {1.0, 1.0}}), variances, df);
  EXPECT_EQ(variances, (std::vector<double>{2.0, 4.0}));
  EXPECT_EQ(df, (std::vector<double>{kM, kM}));

  // No variance parameters at all.
  const QXSymMatrix none;
  const std::vector<QXSymMatrix*> noDerivatives;
  QXSatterthwaite noTheta(none, c11, theta, noDerivatives, 40.0);
  EXPECT_EQ(noTheta.ComputeDF4XRow({1.0, 0.0}), kM);
}

// The unbalanced random-intercept model of satterthwaite.R, in both forms. The reference degrees of
// freedom use gradients taken numerically in R (Richardson extrapolation, about 1e-10 relative), so
// 1e-8 relative covers them; lmerTest, whose Hessian comes from finite differences in another
// parameterisation, agrees to about 1e-8 as well and is checked to 1e-6.
class SatterthwaiteMixedModel : public testing::Test {
 protected:
  void SetUp() override {
    std::ifstream in(std::string(QX_TEST_REFERENCE_DIR) + "/satterthwaite.json");
    ref = nlohmann::json::parse(in);
    using Matrix = std::vector<std::vector<double>>;
    theta = ref["theta"].get<std::vector<double>>();
    hInverse = Sym(ref["h_inverse"].get<Matrix>());
    c11 = Sym(ref["c11"].get<Matrix>());
    residualDF = ref["residual_df"].get<double>();
    for (const auto& d : ref["marginal_derivatives"]) dMarginal.push_back(Sym(d.get<Matrix>()));
    marginalPointers = {&dMarginal[0], &dMarginal[1]};
    marginal = std::make_unique<QXSatterthwaite>(hInverse, c11, theta, marginalPointers, residualDF);

    dMme = Sym(ref["mme_d_residual"].get<Matrix>());
    mmePointers = {nullptr, &dMme};
    info.randomEffects = ref["random_effects"].get<std::vector<double>>();
    info.gBlock = BlockDiag(Sym1(ref["g_block"].get<double>()));
    info.gDerivative = BlockDiag(Sym1(ref["g_derivative"].get<double>()));
    info.c21 = Rect(ref["c21"].get<Matrix>());
    info.c22 = Sym(ref["c22"].get<Matrix>());
    for (const auto& a : ref["mme_a"]) info.a.push_back(Rect(a.get<Matrix>()));
    for (const auto& s : ref["mme_s"]) info.s.push_back(Sym1(s.get<double>()));
    info.Link();
    mme = std::make_unique<QXSatterthwaite>(hInverse, c11, theta, mmePointers, residualDF);
    info.Give(*mme);
  }
  static void ExpectRel(double actual, double expected, double rel) {
    EXPECT_NEAR(actual, expected, rel * std::fabs(expected));
  }

  nlohmann::json ref;
  std::vector<double> theta;
  QXSymMatrix hInverse, c11, dMme;
  double residualDF = 0.0;
  std::vector<QXSymMatrix> dMarginal;
  std::vector<QXSymMatrix*> marginalPointers, mmePointers;
  MixedModelInfo info;
  std::unique_ptr<QXSatterthwaite> marginal, mme;
};

TEST_F(SatterthwaiteMixedModel, SingleRowsMatchRAndLmerTest) {
  QXRectMatrix all;
  for (const auto& row : ref["rows"]) {
    const auto l = row["l"].get<std::vector<double>>();
    all.AppendRow(l);
    const double expected = row["df"];
    for (QXSatterthwaite* object : {marginal.get(), mme.get()}) {
      ExpectRel(object->ComputeDF4XRow(l), expected, 1e-8);
      ExpectRel(object->ComputeDF4XRow(l), row["lmertest"], 1e-6);
      ExpectRel(object->ComputeDF4FixedOverall(Rect({l})), expected, 1e-8);
      std::vector<int> indices;
      std::vector<double> values;
      for (int j = 0; j < static_cast<int>(l.size()); ++j)
        if (l[j] != 0.0) {
          indices.push_back(j);
          values.push_back(l[j]);
        }
      ExpectRel(object->ComputeDF4XRow(indices, values), expected, 1e-8);
    }
  }
  std::vector<double> variances, df;
  mme->ComputeDF4FixedOverallNIndiv(all, variances, df);
  ASSERT_EQ(df.size(), ref["rows"].size());
  for (std::size_t i = 0; i < df.size(); ++i) {
    ExpectRel(df[i], ref["rows"][i]["df"], 1e-8);
    ExpectRel(variances[i], ref["rows"][i]["v"], 1e-12);
  }
}

TEST_F(SatterthwaiteMixedModel, JointTestMatchesFaiCorneliusAndLmerTest) {
  const QXRectMatrix L = Rect(ref["overall"]["L"].get<std::vector<std::vector<double>>>());
  for (QXSatterthwaite* object : {marginal.get(), mme.get()}) {
    ExpectRel(object->ComputeDF4FixedOverall(L), ref["overall"]["df"], 1e-8);
    ExpectRel(object->ComputeDF4FixedOverall(L), ref["overall"]["lmertest"], 1e-6);
  }
  // A row that repeats another adds no direction of variance: the test is that of the first row.
  const auto l = ref["rows"][0]["l"].get<std::vector<double>>();
  std::vector<double> twice = l;
  for (double& v : twice) v *= 2.0;
  ExpectRel(mme->ComputeDF4FixedOverall(Rect({l, twice})), ref["rows"][0]["df"], 1e-8);
}

// The degrees of freedom must not depend on the units of the response. Measuring y in units 1e4
// times larger scales theta by 1e-8: C11 by 1e-8, H^-1 = Cov(theta) / 2 by 1e-16 and the marginal
// derivative matrices X' V^-1 V_i V^-1 X by 1e16 (dV/dtheta_i carries no units).
TEST_F(SatterthwaiteMixedModel, ResultsDoNotDependOnTheUnitsOfTheResponse) {
  QXSymMatrix smallC11 = c11, smallHInverse = hInverse;
  smallC11.MultiplyByNumber(1e-8);
  smallHInverse.MultiplyByNumber(1e-16);
  std::vector<QXSymMatrix> smallD = dMarginal;
  for (auto& d : smallD) d.MultiplyByNumber(1e16);
  const std::vector<QXSymMatrix*> pointers{&smallD[0], &smallD[1]};
  QXSatterthwaite scaled(smallHInverse, smallC11, theta, pointers, residualDF);
  const QXRectMatrix L = Rect(ref["overall"]["L"].get<std::vector<std::vector<double>>>());
  ExpectRel(scaled.ComputeDF4FixedOverall(L), ref["overall"]["df"], 1e-8);
  ExpectRel(scaled.ComputeDF4XRow(ref["rows"][1]["l"].get<std::vector<double>>()), ref["rows"][1]["df"],
            1e-8);
}

TEST_F(SatterthwaiteMixedModel, CombinationWithARandomPartMatchesR) {
  const auto x = ref["xz"]["x"].get<std::vector<double>>();
  const int block = ref["xz"]["block"];
  const double expected = ref["xz"]["df"];
  ExpectRel(mme->ComputeDF4XZRow(x, {1.0}, block), expected, 1e-8);
  std::vector<double> full(info.randomEffects.size(), 0.0);
  full[block] = 1.0;
  ExpectRel(mme->ComputeDF4XZRow(x, full, -1), expected, 1e-8);
  ExpectRel(mme->ComputeDF4XZRow(std::vector<int>{0, 1}, {x[0], x[1]}, std::vector<int>{block}, {1.0}),
            expected, 1e-8);
  // Without a random part it is the fixed combination.
  EXPECT_EQ(mme->ComputeDF4XZRow(x, {}, 0), mme->ComputeDF4XRow(x));
  // The marginal form has no random part to combine with.
  EXPECT_EQ(marginal->ComputeDF4XZRow(x, {1.0}, 0), kM);
}

TEST_F(SatterthwaiteMixedModel, MalformedInputGivesMissingOrIsIgnored) {
  const std::vector<double> l{0.0, 1.0, 0.0};
  const double good = mme->ComputeDF4XRow(l);
  EXPECT_EQ(mme->ComputeDF4XRow({1.0, 0.0}), kM);                     // row of the wrong length
  EXPECT_EQ(mme->ComputeDF4XRow(std::vector<int>{3}, {1.0}), kM);     // index outside
  EXPECT_EQ(mme->ComputeDF4XRow(std::vector<int>{0, 1}, {1.0}), kM);  // lengths differ
  EXPECT_EQ(mme->ComputeDF4FixedOverall(QXRectMatrix(2, 4)), kM);     // columns
  EXPECT_EQ(mme->ComputeDF4FixedOverall(QXRectMatrix(0, 3)), kM);     // no rows
  EXPECT_EQ(mme->ComputeDF4XZRow(l, {1.0, 1.0}, 0), kM);              // z longer than a block
  EXPECT_EQ(mme->ComputeDF4XZRow(l, {1.0}, 9), kM);                   // no such block
  EXPECT_EQ(mme->ComputeDF4XZRow(std::vector<int>{1}, {1.0}, std::vector<int>{99}, {1.0}), kM);
  std::vector<double> variances, df;
  mme->ComputeDF4FixedOverallNIndiv(QXRectMatrix(2, 5), variances, df);
  EXPECT_EQ(df, (std::vector<double>{kM, kM}));

  // The first SetAdditionalInfo wins: a second call with other matrices changes nothing.
  MixedModelInfo other;
  other.randomEffects.assign(7, 0.0);
  other.Give(*mme);
  EXPECT_EQ(mme->ComputeDF4XRow(l), good);

  // A derivative matrix of the wrong order, or random effects that do not fill equal blocks.
  QXSymMatrix wrong(2);
  const std::vector<QXSymMatrix*> wrongPointers{&dMarginal[0], &wrong};
  QXSatterthwaite badDerivative(hInverse, c11, theta, wrongPointers, residualDF);
  EXPECT_EQ(badDerivative.ComputeDF4XRow(l), kM);
  const std::vector<QXSymMatrix*> shortPointers{&dMarginal[0]};
  QXSatterthwaite missingDerivative(hInverse, c11, theta, shortPointers, residualDF);
  EXPECT_EQ(missingDerivative.ComputeDF4XRow(l), kM);
  MixedModelInfo uneven = info;
  uneven.Link();
  uneven.randomEffects.push_back(0.0);
  QXSatterthwaite unevenBlocks(hInverse, c11, theta, mmePointers, residualDF);
  uneven.Give(unevenBlocks);
  EXPECT_EQ(unevenBlocks.ComputeDF4XRow(l), kM);
}

}  // namespace
