// Tests of model effects beyond the reference fits: the analysis types and the order of their
// statistics, effects without a hypothesis, the corrected model formed once, the L matrices handed
// out, centred and scaled covariates, Satterthwaite degrees of freedom, and every failure status.
// Models are fitted through the public API from the cases of effect_tests_linear.json; where a
// statistic is compared, its reference is R's (the JSON) or a test already checked against R.
#include <gtest/gtest.h>

#include <tuple>

#include <algorithm>
#include <cmath>
#include <limits>

#include "effect_tests_support.h"
#include "tests/common/kernel_reference.h"

namespace effect_tests {
namespace {

constexpr double kRel = 1e-10;
constexpr double kM = QXMV::gMissingValue;

const json& LinearCase(const std::string& name) {
  static const json cases = LoadReference("effect_tests_linear.json")["cases"];
  for (const json& c : cases)
    if (c["name"] == name) return c;
  ADD_FAILURE() << "no case " << name;
  return cases[0];
}

// The case with its terms replaced by those listed (by position in the case's terms).
json WithTerms(const json& c, const std::vector<int>& positions) {
  json changed = c;
  changed["terms"] = json::array();
  for (int t : positions) changed["terms"].push_back(c["terms"][t]);
  return changed;
}

void ExpectSameTests(const QXModelTestStats& a, const QXModelTestStats& b) {
  ASSERT_EQ(a.GetNTests(), b.GetNTests());
  for (int i = 0; i < a.GetNTests(); ++i) {
    EXPECT_EQ(a.GetTestStats(i)->GetWald(), b.GetTestStats(i)->GetWald()) << i;
    EXPECT_EQ(a.GetTestStats(i)->GetDF(), b.GetTestStats(i)->GetDF()) << i;
  }
}

class Warpbreaks : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fModel.Ok()); }
  FittedLinearModel fModel{LinearCase("warpbreaks_balanced"), QXConst::QXTestWaldF};
};

TEST_F(Warpbreaks, EachAnalysisTypeKeepsItsStatisticsInItsOwnPlace) {
  auto both = fModel.EffectTest(QXConst::QXEffectTypeIAndIII);
  auto typeI = fModel.EffectTest(QXConst::QXEffectTypeI);
  auto typeIII = fModel.EffectTest(QXConst::QXEffectTypeIII);
  auto none = fModel.EffectTest(QXConst::QXEffectNone);
  for (auto* test : {both.get(), typeI.get(), typeIII.get(), none.get()})
    EXPECT_TRUE(test->TestModelEffect().IsOK());
  ExpectSameTests(*both->GetTypeITestStats(), *typeI->GetTypeITestStats());
  ExpectSameTests(*both->GetTypeIIITestStats(), *typeIII->GetTypeIIITestStats());
  EXPECT_EQ(typeI->GetTypeIIITestStats(), nullptr);
  EXPECT_EQ(typeIII->GetTypeITestStats(), nullptr);
  EXPECT_EQ(none->GetTypeITestStats(), nullptr);
  EXPECT_EQ(none->GetTypeIIITestStats(), nullptr);
  // Testing again neither repeats nor duplicates the entries.
  EXPECT_TRUE(both->TestModelEffect().IsOK());
  EXPECT_EQ(both->GetTypeITestStats()->GetNTests(), 4);
  EXPECT_EQ(both->GetTypeITestStats()->GetRowIndices(3)->size(), 2u);
}

TEST_F(Warpbreaks, CorrectedModelIsFormedOnceWhateverTransformationFollows) {
  auto test = fModel.EffectTest(QXConst::QXEffectTypeIII);
  const QXModelTestStats* first = test->GetCorrectedModelTestStats(nullptr);
  ASSERT_NE(first, nullptr);
  const double f = first->GetTestStats(0)->GetWald();
  ExpectRel(f, LinearCase("warpbreaks_balanced")["corrected"]["F"], kRel, "corrected F");
  QXRectMatrix T(11, 11);
  for (int j = 0; j < 11; ++j) T.SetElem(j, j, 3.0);
  EXPECT_EQ(test->GetCorrectedModelTestStats(&T), first);
  EXPECT_EQ(first->GetTestStats(0)->GetWald(), f);
  EXPECT_EQ(first->GetNTests(), 1);
}

// The general estimable function: one row per non-redundant parameter, the identity on those
// parameters, and each row estimable (zero on combinations of parameters that X does not see).
TEST_F(Warpbreaks, GeneralEstimableFunctionIsEstimableAndTheIdentityOnKeptParameters) {
  auto test = fModel.EffectTest(QXConst::QXEffectTypeIII);
  const QXRectMatrix* L = nullptr;
  std::vector<int> rows;
  ASSERT_TRUE(test->GetGeneralEstimableFunction(L, rows).IsOK());
  // Parameters: intercept, wool A B, tension H L M, the six cells A-H .. B-M.
  EXPECT_EQ(rows, (std::vector<int>{1, 2, 4, 5, 7, 8}));
  ASSERT_EQ(L->GetNRows(), 6);
  ASSERT_EQ(L->GetNCols(), 12);
  for (int i = 0; i < 6; ++i)
    for (int r = 0; r < 6; ++r) EXPECT_EQ(L->GetElem(i, rows[r] - 1), i == r ? 1.0 : 0.0);
  const std::vector<std::vector<double>> nullVectors{{1, -1, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                                                     {1, 0, 0, -1, -1, -1, 0, 0, 0, 0, 0, 0},
                                                     {0, 1, 0, 0, 0, 0, -1, -1, -1, 0, 0, 0},
                                                     {0, 0, 0, 1, 0, 0, -1, 0, 0, -1, 0, 0}};
  std::vector<double> product;
  for (const auto& v : nullVectors) {
    ASSERT_TRUE(L->ComputeRV(v, product));
    for (double x : product) EXPECT_NEAR(x, 0.0, 1e-13);
  }
}

// A Type I hypothesis depends on the effects swept before it; asked for out of order, it must still be
// the one the tests used.
TEST_F(Warpbreaks, TypeILMatrixDoesNotDependOnTheOrderOfRequests) {
  auto test = fModel.EffectTest(QXConst::QXEffectTypeI);
  QXRectMatrix third = *test->ComputeLMatrix(3);
  QXRectMatrix second = *test->ComputeLMatrix(2);
  ASSERT_TRUE(test->TestModelEffect().IsOK());
  QXRectMatrix secondAgain = *test->ComputeLMatrix(2);
  for (auto [e, L] : {std::pair<int, QXRectMatrix*>{3, &third}, {2, &second}, {2, &secondAgain}}) {
    QXRectMatrix fullRank;
    QXMath_600::QXBitSet kept;
    L->ExtractFullRank(1e-12, fullRank, kept);
    const QXRectMatrix& tested = *test->GetTypeITestStats()->GetLMatrix(e);
    ASSERT_EQ(fullRank.GetNRows(), tested.GetNRows()) << e;
    for (int i = 0; i < tested.GetNRows(); ++i)
      for (int k = 0; k < tested.GetNCols(); ++k)
        EXPECT_NEAR(fullRank.GetElem(i, k), tested.GetElem(i, k), 1e-13);
  }
  EXPECT_EQ(test->ComputeLMatrix(4), nullptr);
  EXPECT_EQ(test->ComputeLMatrix(-1), nullptr);
}

// Tension entered after the interaction: its Type I hypothesis is empty (the interaction's cells span
// its columns) and gets warning 321 with missing statistics, while its Type III test does not depend
// on the order and equals car's.
TEST(EffectWithoutHypothesis, SweptByEarlierEffectsHasNoTypeIButATypeIIITest) {
  const json& c = LinearCase("warpbreaks_balanced");
  FittedLinearModel model(WithTerms(c, {0, 2, 1}), QXConst::QXTestWaldF);
  ASSERT_TRUE(model.Ok());
  auto test = model.EffectTest(QXConst::QXEffectTypeIAndIII);
  EXPECT_TRUE(test->TestModelEffect().IsOK());
  const QXModelTestStats& typeI = *test->GetTypeITestStats();
  ASSERT_EQ(typeI.GetNTests(), 4);
  EXPECT_EQ(*typeI.GetStatus(3), QXCommon_600::QXStatus(321, true));
  EXPECT_EQ(typeI.GetTestStats(3)->GetWald(), kM);
  EXPECT_EQ(typeI.GetTestStats(3)->GetSig(), kM);
  EXPECT_EQ(typeI.GetLMatrix(3)->GetNRows(), 0);
  EXPECT_TRUE(typeI.GetRowIndices(3)->empty());
  const QXModelTestStats& typeIII = *test->GetTypeIIITestStats();
  EXPECT_TRUE(typeIII.GetStatus(3)->IsOK());
  ExpectRel(typeIII.GetTestStats(3)->GetWald(), c["type3"][2]["F"], kRel, "tension F");
  ExpectRel(typeIII.GetTestStats(2)->GetWald(), c["type3"][3]["F"], kRel, "interaction F");
}

// y ~ x + z with z = x + d, d small beside x: z's column keeps a share of about var(d) / var(x) of
// itself against x. Whether z is estimable is the fit's decision, made with the settings' tolerance,
// and the tests of model effects follow it, given the fit's non-redundant set or not: a Type I
// hypothesis about z exactly when the fit estimated z. Type III adjusts x for z and z for x, so when
// the fit finds them collinear neither has a Type III hypothesis (warning 321, no degrees of
// freedom), as a repeated effect has none; otherwise both are tested.
json NearlyCollinearCovariates(double scaleOfD) {
  json c = {{"columns", {"y", "x", "z"}},
            {"dependent", "y"},
            {"factors", json::array()},
            {"covariates", {"x", "z"}},
            {"intercept", true},
            {"freq", nullptr},
            {"regr", nullptr}};
  c["terms"] = json::array({json{{"factors", json::array()}, {"nest", json::array()}, {"covs", {"x"}}},
                            json{{"factors", json::array()}, {"nest", json::array()}, {"covs", {"z"}}}});
  c["records"] = json::array();
  for (int i = 0; i < 40; ++i) {
    const double x = i % 7 + 0.25 * (i % 3), d = scaleOfD * ((i * 13) % 5 - 2.0),
                 y = 1.0 + x + 30.0 * d + 0.1 * (i % 4);
    c["records"].push_back({y, x, x + d});
  }
  return c;
}

TEST(FitRedundancy, HypothesesInvolveTheParametersTheFitEstimated) {
  // Shares of about 1e-8 and 1e-14: between the tolerances tried, on both sides of the tests' former
  // fixed 1e-12.
  for (auto [scaleOfD, tolerance, zEstimated] :
       {std::tuple{1e-4, 1e-6, false}, {1e-4, 1e-12, true}, {1e-7, 1e-12, false}, {1e-7, 1e-16, true}}) {
    SCOPED_TRACE(std::to_string(scaleOfD) + " " + std::to_string(tolerance));
    FittedLinearModel model(NearlyCollinearCovariates(scaleOfD), QXConst::QXTestWaldF,
                            [tol = tolerance](QXMath_600::QXRegSettings& s) { s.SetTolerance(tol); });
    ASSERT_TRUE(model.Ok());
    ASSERT_EQ(model.Stats().GetRedundancyIndicators().IsIn(2), zEstimated);
    for (bool withSet : {true, false}) {
      auto test = model.EffectTest(QXConst::QXEffectTypeIAndIII, withSet);
      EXPECT_TRUE(test->TestModelEffect().IsOK());
      const QXModelTestStats& typeI = *test->GetTypeITestStats();
      const QXModelTestStats& typeIII = *test->GetTypeIIITestStats();
      ASSERT_EQ(typeI.GetNTests(), 3);
      ASSERT_EQ(typeIII.GetNTests(), 3);
      EXPECT_TRUE(typeI.GetStatus(1)->IsOK()) << withSet;
      for (const auto& [stats, effect] : {std::pair{&typeI, 2}, {&typeIII, 1}, {&typeIII, 2}}) {
        EXPECT_EQ(stats->GetStatus(effect)->IsOK(), zEstimated) << withSet << " effect " << effect;
        EXPECT_EQ(stats->GetTestStats(effect)->GetDF(), zEstimated ? 1.0 : 0.0)
            << withSet << " effect " << effect;
      }
    }
  }
}

// What the linear output statistics hand the tests: sum f g x x' over the design rows of the records
// (redundant parameters included, no 1/W), and the effects' ranges with the intercept in front when
// the model has one. Weighted sums are formed here from the records, so 1e-13 relative.
TEST(LinearOutputStatistics, GiveWeightedCrossProductsAndEffectRanges) {
  for (const char* name : {"mtcars_regr", "warpbreaks_freq", "toothgrowth_no_intercept"}) {
    SCOPED_TRACE(name);
    const json& c = LinearCase(name);
    FittedLinearModel model(c, QXConst::QXTestWaldF);
    ASSERT_TRUE(model.Ok());
    const auto& stats = model.Stats();
    const int p = static_cast<int>(stats.GetParamEstimates().size());
    const int freq = c["freq"].is_null() ? -1 : ColumnIndex(c, c["freq"]);
    const int regr = c["regr"].is_null() ? -1 : ColumnIndex(c, c["regr"]);
    std::vector<double> expected(static_cast<std::size_t>(p) * p, 0.0), row;
    for (const json& r : c["records"]) {
      const auto values = r.get<std::vector<double>>();
      const double w = (freq < 0 ? 1.0 : values[freq]) * (regr < 0 ? 1.0 : values[regr]);
      ASSERT_TRUE(stats.ExpandRow(QXCommon_600::Record(values.data(), static_cast<int>(values.size())), row));
      for (int i = 0; i < p; ++i)
        for (int j = 0; j < p; ++j) expected[i * p + j] += w * row[i] * row[j];
    }
    if (c["name"] == "mtcars_regr") {
      EXPECT_EQ(stats.GetEffectFirstParameters(), (std::vector<int>{0, 1, 4, 6, 12}));
    }
    const QXSymMatrix& xwx = stats.GetXPrimeWXMatrix();
    ASSERT_EQ(xwx.GetNRows(), p);
    for (int i = 0; i < p; ++i)
      for (int j = 0; j <= i; ++j)
        EXPECT_NEAR(xwx.GetElem(i, j), expected[i * p + j], 1e-13 * expected[i * p + i]);
  }
  FittedLinearModel noIntercept(LinearCase("toothgrowth_no_intercept"), QXConst::QXTestWaldF);
  EXPECT_EQ(noIntercept.Stats().GetEffectFirstParameters(), (std::vector<int>{0, 2}));
  EXPECT_EQ(noIntercept.Stats().GetEffectNParameters(), (std::vector<int>{2, 1}));
}

// The same effect twice: each copy is swept before the other in its Type III hypothesis, so neither
// has one (warning 321, missing statistics), and the second copy has no Type I hypothesis either.
TEST(EffectWithoutHypothesis, RepeatedEffectHasNoTypeIIIHypothesis) {
  FittedLinearModel model(WithTerms(LinearCase("warpbreaks_balanced"), {0, 1, 0}), QXConst::QXTestWaldF);
  ASSERT_TRUE(model.Ok());
  auto test = model.EffectTest(QXConst::QXEffectTypeIAndIII);
  // The warnings stay in the entries; the result is the Type I test's, which ran last.
  EXPECT_TRUE(test->TestModelEffect().IsOK());
  const QXModelTestStats& typeIII = *test->GetTypeIIITestStats();
  ASSERT_EQ(typeIII.GetNTests(), 4);
  for (int e : {1, 3}) {
    EXPECT_EQ(*typeIII.GetStatus(e), QXCommon_600::QXStatus(321, true)) << e;
    EXPECT_EQ(typeIII.GetTestStats(e)->GetTestType(), QXConst::QXTestWaldF);
    EXPECT_EQ(typeIII.GetTestStats(e)->GetDF(), 0.0);
    EXPECT_EQ(typeIII.GetTestStats(e)->GetSig(), kM);
  }
  EXPECT_TRUE(typeIII.GetStatus(2)->IsOK());
  EXPECT_EQ(*test->GetTypeITestStats()->GetStatus(3), QXCommon_600::QXStatus(321, true));
  EXPECT_TRUE(test->GetTypeITestStats()->GetStatus(1)->IsOK());
}

// y ~ supp + dose fitted with dose centred and scaled: the settings' transform-effects flag turns the
// Type III hypotheses built from that fit's X'WX back to dose as measured, given its offset and scale
// (and without them refuses with 303), so that with the estimates of that parameterisation they are
// the hypotheses of the fit on dose itself.
TEST(TransformedEffects, ScaleValuesGiveTheHypothesesOfTheCovariateAsMeasured) {
  const json original = WithTerms(LinearCase("toothgrowth_factor_by_covariate"), {0, 1});
  json centred = original;
  const double c = 7.0 / 6.0, d = 0.6288;
  for (json& r : centred["records"]) r[2] = (r[2].get<double>() - c) / d;
  FittedLinearModel asMeasured(original, QXConst::QXTestWaldF), scaled(centred, QXConst::QXTestWaldF);
  ASSERT_TRUE(asMeasured.Ok() && scaled.Ok());
  auto reference = asMeasured.EffectTest(QXConst::QXEffectTypeIII);
  ASSERT_TRUE(reference->TestModelEffect().IsOK());

  QXMath_600::QXRegSettings settings = scaled.Settings();
  settings.SetTransformEffects(true);
  const auto& stats = asMeasured.Stats();
  auto make = [&] {
    return std::make_unique<QXModelEffectTest>(
        settings, settings.GetModelEffects(), stats.GetParamEstimates(), stats.GetEffectFirstParameters(),
        stats.GetEffectNParameters(), QXConst::QXEffectTypeIII, &asMeasured.Covariance(),
        &scaled.Stats().GetXPrimeWXMatrix(), nullptr, QXConst::QXDistNormal, 0, nullptr,
        stats.GetNDegFreedom(), nullptr);
  };
  EXPECT_EQ(make()->TestModelEffect(), QXCommon_600::QXStatus(303, false));
  auto test = make();
  test->SetScaleValus({0.0, 0.0, c}, {1.0, 1.0, d});
  ASSERT_TRUE(test->TestModelEffect().IsOK());
  const QXModelTestStats& expected = *reference->GetTypeIIITestStats();
  const QXModelTestStats& actual = *test->GetTypeIIITestStats();
  ASSERT_EQ(actual.GetNTests(), 3);
  for (int e = 0; e < 3; ++e) {
    ExpectRel(actual.GetTestStats(e)->GetWald(), expected.GetTestStats(e)->GetWald(), 1e-9,
              std::to_string(e));
    const QXRectMatrix &La = *actual.GetLMatrix(e), &Le = *expected.GetLMatrix(e);
    ASSERT_EQ(La.GetNRows(), Le.GetNRows());
    for (int i = 0; i < La.GetNRows(); ++i)
      for (int k = 0; k < La.GetNCols(); ++k) EXPECT_NEAR(La.GetElem(i, k), Le.GetElem(i, k), 1e-12) << e;
  }
}

// Type I back-transformation D L T^-1 of the hypotheses of y ~ dose: with T holding the offset c in
// its first row and the scale d on its diagonal, the intercept's hypothesis (1, mean dose) becomes
// (1, (mean - c) / d) and the slope's (0, 1) stays (0, 1) (D = d, T^-1 scales by 1/d).
TEST(BackTransformation, TypeIHypothesesFollowTheOffsetsAndScales) {
  const json c = WithTerms(LinearCase("toothgrowth_factor_by_covariate"), {1});
  FittedLinearModel model(c, QXConst::QXTestWaldF);
  ASSERT_TRUE(model.Ok());
  auto test = model.EffectTest(QXConst::QXEffectTypeI);
  ASSERT_TRUE(test->TestModelEffect().IsOK());
  const double offset = 0.5, scale = 4.0, mean = 7.0 / 6.0;
  QXRectMatrix T(2, 2);
  T.SetElem(0, 0, 1.0);
  T.SetElem(0, 1, offset);
  T.SetElem(1, 1, scale);
  const QXRectMatrix* L = nullptr;
  ASSERT_TRUE(test->GetLMatrix(0, L, QXConst::QXEffectTypeI, &T));
  EXPECT_NEAR(L->GetElem(0, 0), 1.0, 1e-15);
  EXPECT_NEAR(L->GetElem(0, 1), (mean - offset) / scale, 1e-14);
  ASSERT_TRUE(test->GetLMatrix(1, L, QXConst::QXEffectTypeI, &T));
  EXPECT_NEAR(L->GetElem(0, 0), 0.0, 1e-15);
  EXPECT_NEAR(L->GetElem(0, 1), 1.0, 1e-15);
  // Type III hypotheses are handed out as tested; there are none here, and a wrong T is refused.
  EXPECT_TRUE(test->GetLMatrix(1, L, QXConst::QXEffectTypeIII, &T));
  EXPECT_EQ(L, nullptr);
  QXRectMatrix wrong(3, 2);
  EXPECT_FALSE(test->GetLMatrix(1, L, QXConst::QXEffectTypeI, &wrong));
  EXPECT_FALSE(test->GetLMatrix(1, L, QXConst::QXEffectNone, nullptr));
}

// Covariates x1 and x2 of the mixed model of satterthwaite.R: their Type III hypotheses are single
// rows, whose Satterthwaite degrees of freedom R computed (1e-8 relative, as in that suite).
TEST(SatterthwaiteDF, EachEffectGetsTheDegreesOfFreedomOfItsHypothesis) {
  const json ref = kernel_test::LoadReference("satterthwaite.json");
  const QXSymMatrix hInverse = kernel_test::ToSym(ref["h_inverse"]), c11 = kernel_test::ToSym(ref["c11"]);
  std::vector<QXSymMatrix> derivatives;
  for (const auto& m : ref["marginal_derivatives"]) derivatives.push_back(kernel_test::ToSym(m));
  std::vector<QXSymMatrix*> pointers{&derivatives[0], &derivatives[1]};
  QXMath_600::QXSatterthwaite satterthwaite(hInverse, c11, ref["theta"].get<std::vector<double>>(), pointers,
                                            ref["residual_df"].get<double>());
  QXMath_600::QXRegSettings settings;
  settings.SetDependent(0);
  settings.AddCovariate(1);
  settings.AddCovariate(2);
  for (int x : {1, 2}) settings.AddModelEffect(qx_linear_test::MakeEffect(settings, {{}, {}, {x}}));
  // Covariate effects have unit hypotheses whatever X'WX; C11 serves as a positive definite one.
  QXModelEffectTest test(settings, settings.GetModelEffects(), {2.0, 0.5, -1.0}, {0, 1, 2}, {1, 1, 1},
                         QXConst::QXEffectTypeIII, &c11, &c11, nullptr, QXConst::QXDistNormal, 0, nullptr,
                         ref["residual_df"].get<double>(), &satterthwaite);
  ASSERT_TRUE(test.TestModelEffect().IsOK());
  const QXModelTestStats& stats = *test.GetTypeIIITestStats();
  ExpectRel(stats.GetTestStats(1)->GetDF2(), ref["rows"][0]["df"], 1e-8, "x1 df");
  ExpectRel(stats.GetTestStats(2)->GetDF2(), ref["rows"][2]["df"], 1e-8, "x2 df");
}

class FailureStatus : public Warpbreaks {
 protected:
  std::unique_ptr<QXModelEffectTest> Make(QXConst::QXEffectAnalysisType type, const QXSymMatrix* covariance,
                                          const QXSymMatrix* xPrimeWX, const std::vector<int>& starts,
                                          QXConst::DistType dist = QXConst::QXDistNormal,
                                          int nCategories = 0) {
    const auto& s = fModel.Stats();
    return std::make_unique<QXModelEffectTest>(fModel.Settings(), fModel.Settings().GetModelEffects(),
                                               s.GetParamEstimates(), starts, s.GetEffectNParameters(), type,
                                               covariance, xPrimeWX, nullptr, dist, nCategories, nullptr,
                                               s.GetNDegFreedom(), nullptr);
  }
  const std::vector<int>& Starts() const { return fModel.Stats().GetEffectFirstParameters(); }
  const QXSymMatrix* XWX() const { return &fModel.Stats().GetXPrimeWXMatrix(); }
  const QXCommon_600::QXStatus k303{303, false};
};

TEST_F(FailureStatus, InvalidArgumentsAndStatesGive303) {
  const QXSymMatrix* V = &fModel.Covariance();
  EXPECT_EQ(Make(QXConst::QXEffectTypeIII, V, nullptr, Starts())->TestModelEffect(), k303);
  EXPECT_EQ(Make(QXConst::QXEffectTypeIII, nullptr, nullptr, Starts())->GetStatus(), k303);
  QXSymMatrix tooLarge(14);
  EXPECT_EQ(Make(QXConst::QXEffectTypeIII, V, &tooLarge, Starts())->TestModelEffect(), k303);
  // Ranges that leave out the intercept, or reach past the parameters.
  EXPECT_EQ(Make(QXConst::QXEffectTypeIII, V, XWX(), {1, 3, 6})->TestModelEffect(), k303);
  EXPECT_EQ(Make(QXConst::QXEffectTypeIII, V, XWX(), {0, 1, 3, 10})->TestModelEffect(), k303);
  EXPECT_EQ(Make(static_cast<QXConst::QXEffectAnalysisType>(7), V, XWX(), Starts())->TestModelEffect(), k303);
  // 12 estimates do not make k - 1 = 5 blocks of one linear predictor.
  EXPECT_EQ(
      Make(QXConst::QXEffectTypeIII, V, XWX(), Starts(), QXConst::QXDistNomMultinomial, 6)->TestModelEffect(),
      k303);
  // Hypotheses without a covariance: they can be built but not tested.
  auto noCovariance = Make(QXConst::QXEffectTypeIII, nullptr, XWX(), Starts());
  EXPECT_NE(noCovariance->ComputeLMatrix(1), nullptr);
  EXPECT_EQ(noCovariance->TestModelEffect(), k303);
  EXPECT_EQ(noCovariance->GetCorrectedModelTestStats(nullptr), nullptr);
  const QXRectMatrix* L = nullptr;
  std::vector<int> rows;
  EXPECT_EQ(Make(QXConst::QXEffectTypeIII, V, nullptr, Starts())->GetGeneralEstimableFunction(L, rows), k303);
}

TEST_F(FailureStatus, NothingEstimableGives323AndEntriesWithoutTests) {
  QXSymMatrix zero(12);
  auto test = Make(QXConst::QXEffectTypeI, &fModel.Covariance(), &zero, Starts());
  EXPECT_EQ(test->TestModelEffect(), QXCommon_600::QXStatus(323, true));
  const QXModelTestStats& stats = *test->GetTypeITestStats();
  ASSERT_EQ(stats.GetNTests(), 3);  // no intercept effect is placed when nothing is estimable
  for (int e = 0; e < 3; ++e) {
    EXPECT_EQ(*stats.GetStatus(e), QXCommon_600::QXStatus(323, true));
    EXPECT_EQ(stats.GetTestStats(e)->GetWald(), kM);
  }
  const QXRectMatrix* L = nullptr;
  std::vector<int> rows{7};
  EXPECT_EQ(test->GetGeneralEstimableFunction(L, rows), QXCommon_600::QXStatus(323, true));
  EXPECT_EQ(L->GetNRows(), 0);
  EXPECT_TRUE(rows.empty());
}

// A cross-product matrix spoiled by a NaN must not turn into tests: every entry is there, none has a
// statistic computed from the NaN.
TEST_F(FailureStatus, NonFiniteCrossProductsGiveNoStatistics) {
  QXSymMatrix spoiled = *XWX();
  spoiled.SetElem(7, 2, std::numeric_limits<double>::quiet_NaN());
  auto test = Make(QXConst::QXEffectTypeIAndIII, &fModel.Covariance(), &spoiled, Starts());
  test->TestModelEffect();
  for (const QXModelTestStats* stats : {test->GetTypeITestStats(), test->GetTypeIIITestStats()}) {
    ASSERT_NE(stats, nullptr);
    EXPECT_EQ(stats->GetNTests(), 4);
    for (int e = 0; e < stats->GetNTests(); ++e) {
      const double wald = stats->GetTestStats(e)->GetWald();
      EXPECT_TRUE(wald == kM || std::isfinite(wald)) << e;
    }
  }
}

TEST_F(Warpbreaks, DisplayFramesEachTestAndTheCorrectedModel) {
  auto test = fModel.EffectTest(QXConst::QXEffectTypeIAndIII);
  ASSERT_TRUE(test->TestModelEffect().IsOK());
  ASSERT_NE(test->GetCorrectedModelTestStats(nullptr), nullptr);
  ::testing::internal::CaptureStdout();
  test->Display();
  const std::string out = ::testing::internal::GetCapturedStdout();
  std::size_t at = 0;
  for (const char* label :
       {"QXModelEffectTest display start", "Test of Model Effect index", "The type III test is displayed",
        "QXBaseModelEffectTest display start", "Intercept used", "The Hessian matrix",
        "The contrast L matrix", "The original SSCP matrix X'*W*X", "Diagonal of the original SSCP matrix",
        "Model test statistics", "QXBaseModelEffectTest display end", "The type I test is displayed",
        "The corrected model is displayed", "The corrected model display end",
        "QXModelEffectTest display end"}) {
    at = out.find(label, at);
    ASSERT_NE(at, std::string::npos) << label;
  }
}

}  // namespace
}  // namespace effect_tests
