// The tests of model effects read the linear fit's own sweep of X'WX instead of sweeping it again when
// it matches what they are given (the same effect ranges and the fit's non-redundant set). Which sweep
// they read must not show in any result: the statistics, the hypotheses L and the general estimable
// function agree with those of the tests' own sweep on the public datasets and the large designs of the
// R references (the extended sweep of small models, the blocked double sweep above 256 parameters), and
// a sweep that does not match is not read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "effect_tests_support.h"
#include "model/QXEffectSweep.h"
#include "tests/common/nist_datasets.h"

namespace effect_tests {
namespace {

// Both sweeps are of the same matrix, scaled and bordered differently (the fit's carries the dependent
// and the 1/W of its accumulation) and split into other blocks: they agree to rounding.
constexpr double kRel = 1e-11;

std::vector<json> AllCases() {
  std::vector<json> cases;
  const json linear = LoadReference("effect_tests_linear.json");
  const json large = LoadReference("large_models.json");
  for (const json& c : linear["cases"]) cases.push_back(c);
  for (const json& c : large) cases.push_back(c);
  return cases;
}

const std::vector<json>& Cases() {
  static const std::vector<json> cases = AllCases();
  return cases;
}

double Largest(const QXRectMatrix& m) {
  double largest = 0.0;
  for (int i = 0; i < m.GetNRows(); ++i)
    for (int j = 0; j < m.GetNCols(); ++j) largest = std::max(largest, std::fabs(m.GetElem(i, j)));
  return largest;
}

void ExpectSameMatrix(const QXRectMatrix* fromFit, const QXRectMatrix* own, const std::string& what) {
  ASSERT_EQ(fromFit == nullptr, own == nullptr) << what;
  if (own == nullptr) return;
  ASSERT_EQ(fromFit->GetNRows(), own->GetNRows()) << what;
  ASSERT_EQ(fromFit->GetNCols(), own->GetNCols()) << what;
  const double scale = std::max(1.0, Largest(*own));
  for (int i = 0; i < own->GetNRows(); ++i)
    for (int j = 0; j < own->GetNCols(); ++j)
      ASSERT_LE(std::fabs(fromFit->GetElem(i, j) - own->GetElem(i, j)), kRel * scale)
          << what << " (" << i << ", " << j << ")";
}

void ExpectSameTests(const QXModelTestStats* fromFit, const QXModelTestStats* own, const std::string& kind) {
  ASSERT_NE(fromFit, nullptr) << kind;
  ASSERT_NE(own, nullptr) << kind;
  ASSERT_EQ(fromFit->GetNTests(), own->GetNTests()) << kind;
  for (int i = 0; i < own->GetNTests(); ++i) {
    const std::string what = kind + " effect " + std::to_string(i);
    EXPECT_EQ(fromFit->GetStatus(i)->GetErrorCode(), own->GetStatus(i)->GetErrorCode()) << what;
    const QXTestStats& a = *fromFit->GetTestStats(i);
    const QXTestStats& b = *own->GetTestStats(i);
    EXPECT_EQ(a.GetDF(), b.GetDF()) << what;
    EXPECT_EQ(a.GetDF2(), b.GetDF2()) << what;
    if (b.GetWald() != 0.0) ExpectRel(a.GetWald(), b.GetWald(), kRel, what + " F");
    ExpectSameMatrix(fromFit->GetLMatrix(i), own->GetLMatrix(i), what + " L");
  }
}

class FitSweep : public ::testing::TestWithParam<std::size_t> {
 protected:
  const json& Case() const { return Cases()[GetParam()]; }
};

TEST_P(FitSweep, TestsFromTheFitsSweepEqualThoseFromTheirOwn) {
  FittedLinearModel model(Case(), QXConst::QXTestWaldF);
  ASSERT_TRUE(model.Ok());
  auto fromFit = model.EffectTest(QXConst::QXEffectTypeIAndIII);
  auto own = model.EffectTest(QXConst::QXEffectTypeIAndIII, true, nullptr, false);
  EXPECT_TRUE(fromFit->ReadsFitSweep());
  EXPECT_FALSE(own->ReadsFitSweep());
  // The Type I F from the fit's sums of squares, the other from its Wald form.
  EXPECT_TRUE(fromFit->ReadsTypeISumsOfSquares());
  EXPECT_FALSE(own->ReadsTypeISumsOfSquares());
  ASSERT_EQ(fromFit->TestModelEffect().GetErrorCode(), own->TestModelEffect().GetErrorCode());
  // Every Type I test, and the Type III tests of effects that no other contains where the model
  // without them is small.
  EXPECT_GE(fromFit->GetNTestsFromSumsOfSquares(), fromFit->GetTypeITestStats()->GetNTests());
  ExpectSameTests(fromFit->GetTypeITestStats(), own->GetTypeITestStats(), "Type I");
  ExpectSameTests(fromFit->GetTypeIIITestStats(), own->GetTypeIIITestStats(), "Type III");
  ExpectSameTests(fromFit->GetCorrectedModelTestStats(nullptr), own->GetCorrectedModelTestStats(nullptr),
                  "corrected");
  const QXRectMatrix *hFit = nullptr, *hOwn = nullptr;
  std::vector<int> rowsFit, rowsOwn;
  fromFit->GetGeneralEstimableFunction(hFit, rowsFit);
  own->GetGeneralEstimableFunction(hOwn, rowsOwn);
  EXPECT_EQ(rowsFit, rowsOwn);
  ExpectSameMatrix(hFit, hOwn, "general estimable function");
}

TEST_P(FitSweep, TheFitsSweepKeptTheFitsNonRedundantParameters) {
  FittedLinearModel model(Case(), QXConst::QXTestWaldF);
  ASSERT_TRUE(model.Ok());
  const QXMath_600::QXEffectSweep* sweep = model.Stats().GetEffectSweep();
  ASSERT_NE(sweep, nullptr);
  EXPECT_EQ(sweep->GetIndexOrderSweep().fKept, model.Stats().GetRedundancyIndicators());
  EXPECT_EQ(sweep->GetEffectStarts(), model.Stats().GetEffectFirstParameters());
  EXPECT_EQ(sweep->GetEffectSizes(), model.Stats().GetEffectNParameters());
  // What the fit swept is gone; the kept results cannot be swept again.
  QXMath_600::QXSweepMatrix work;
  QXMath_600::QXSweptColumns out;
  EXPECT_EQ(sweep->SweepInOrder({0}, 1e-12, nullptr, true, {}, work, out),
            QXMath_600::QXEffectSweep::Outcome::kNoSource);
}

INSTANTIATE_TEST_SUITE_P(PublicAndLargeDesigns, FitSweep, ::testing::Range<std::size_t>(0, Cases().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                           return Cases()[info.param]["name"].get<std::string>();
                         });

// A sweep that does not stand for the one the tests would make is not read: without the fit's
// non-redundant set, with another set, or with other effect ranges. The tests then sweep their own.
TEST(FitSweepMismatch, ASweepOfOtherRangesOrAnotherSetIsNotRead) {
  FittedLinearModel model(Cases().front(), QXConst::QXTestWaldF);
  ASSERT_TRUE(model.Ok());
  const auto& stats = model.Stats();
  const auto& settings = model.Settings();
  const QXMath_600::QXEffectSweep* sweep = stats.GetEffectSweep();
  ASSERT_NE(sweep, nullptr);

  const auto make = [&](const std::vector<int>& starts, const std::vector<int>& sizes,
                        const QXMath_600::QXBitSet* nonRedundant) {
    return std::make_unique<QXModelEffectTest>(
        settings, settings.GetModelEffects(), stats.GetParamEstimates(), starts, sizes,
        QXConst::QXEffectTypeIAndIII, &model.Covariance(), &stats.GetXPrimeWXMatrix(), nonRedundant,
        QXConst::QXDistNormal, 0, nullptr, stats.GetNDegFreedom(), nullptr, sweep);
  };
  const std::vector<int>& starts = stats.GetEffectFirstParameters();
  const std::vector<int>& sizes = stats.GetEffectNParameters();
  EXPECT_TRUE(make(starts, sizes, &stats.GetRedundancyIndicators())->ReadsFitSweep());
  EXPECT_FALSE(make(starts, sizes, nullptr)->ReadsFitSweep());

  QXMath_600::QXBitSet fewer = stats.GetRedundancyIndicators();
  int last = fewer.Size() - 1;
  while (last > 0 && !fewer.IsIn(last)) --last;
  fewer.Reset(last);
  auto other = make(starts, sizes, &fewer);
  EXPECT_FALSE(other->ReadsFitSweep());
  EXPECT_FALSE(other->TestModelEffect().IsError());

  // The last effect's range one parameter shorter: the parameter left over is swept at the end.
  std::vector<int> shorter = sizes;
  ASSERT_GT(shorter.back(), 1);
  --shorter.back();
  auto shifted = make(starts, shorter, &stats.GetRedundancyIndicators());
  EXPECT_FALSE(shifted->ReadsFitSweep());
  EXPECT_FALSE(shifted->TestModelEffect().IsError());
}

// A NIST dataset as a case: its predictors as covariates, a polynomial as the powers of one.
json NistCase(const std::string& name) {
  const qx_nist::Dataset d = qx_nist::Load(name);
  json c;
  c["name"] = name;
  c["columns"] = d.columns;
  c["dependent"] = d.columns.front();
  c["factors"] = json::array();
  c["covariates"] = std::vector<std::string>(d.columns.begin() + 1, d.columns.end());
  const int nTerms = static_cast<int>(d.certified.size()) - (d.intercept ? 1 : 0);
  c["terms"] = json::array();
  for (int t = 1; t <= nTerms; ++t) {
    json term{{"factors", json::array()}, {"nest", json::array()}};
    if (d.columns.size() == 2)
      term["covs"] = std::vector<std::string>(static_cast<std::size_t>(t), d.columns[1]);
    else
      term["covs"] = {d.columns[static_cast<std::size_t>(t)]};
    c["terms"].push_back(term);
  }
  c["intercept"] = d.intercept;
  c["freq"] = nullptr;
  c["regr"] = nullptr;
  c["records"] = d.rows;
  return c;
}

// The F read from the fit's sums of squares (Type I: each effect's reduction of the residual sum of
// squares; Type III of an effect no other contains: the residual sum of squares of the model without
// it less the fit's; both over sigma^2) equals the Wald form from the tests' own sweep: on designs with
// an aliased parameter, an empty cell, nesting, frequency and regression weights, no intercept, and
// on the better-conditioned NIST datasets (on Longley the Wald form keeps only 8 digits, below).
TEST(TestsFromSumsOfSquares, EqualTheWaldFormsOnCollinearWeightedAndNistDesigns) {
  const json linear = LoadReference("linear_models.json");
  std::vector<json> cases(linear["cases"].begin(), linear["cases"].end());
  for (const char* name : {"Norris", "Pontius", "NoInt1", "NoInt2"}) cases.push_back(NistCase(name));
  int read = 0, typeI = 0;
  for (const json& c : cases) {
    const std::string name = c["name"].get<std::string>();
    FittedLinearModel model(c, QXConst::QXTestWaldF);
    ASSERT_TRUE(model.Ok()) << name;
    auto fromFit = model.EffectTest(QXConst::QXEffectTypeIAndIII);
    auto own = model.EffectTest(QXConst::QXEffectTypeIAndIII, true, nullptr, false);
    EXPECT_TRUE(fromFit->ReadsTypeISumsOfSquares()) << name;
    ASSERT_EQ(fromFit->TestModelEffect().GetErrorCode(), own->TestModelEffect().GetErrorCode()) << name;
    read += fromFit->GetNTestsFromSumsOfSquares();
    typeI += fromFit->GetTypeITestStats()->GetNTests();
    ExpectSameTests(fromFit->GetTypeITestStats(), own->GetTypeITestStats(), name + " Type I");
    ExpectSameTests(fromFit->GetTypeIIITestStats(), own->GetTypeIIITestStats(), name + " Type III");
  }
  // Every Type I test and some Type III tests were read.
  EXPECT_GT(read, typeI);
}

// An effect that explains next to nothing: its adjusted sum of squares, a difference of two residual
// sums of squares 1e4 times its size, would keep too few digits, so its Type III Wald form is formed;
// its Type I sum of squares, a sum of non-negative reductions, is still read, and so is the Type III
// test of the last effect, which is its Type I test.
TEST(TestsFromSumsOfSquares, AnEffectThatExplainsNextToNothingFormsItsAdjustedTest) {
  json c;
  c["name"] = "noise";
  c["columns"] = {"y", "g", "x"};
  c["dependent"] = "y";
  c["factors"] = {{{"name", "g"}, {"levels", {"0", "1"}}}};
  c["covariates"] = {"x"};
  c["terms"] = {{{"factors", {"g"}}, {"nest", {0}}, {"covs", json::array()}},
                {{"factors", json::array()}, {"nest", json::array()}, {"covs", {"x"}}}};
  c["intercept"] = true;
  c["freq"] = nullptr;
  c["regr"] = nullptr;
  qx_linear_test::Records records;
  for (int i = 0; i < 20000; ++i)
    records.push_back({std::sin(1.3 * i), static_cast<double>(i % 2), std::cos(0.7 * i)});
  c["records"] = records;
  FittedLinearModel model(c, QXConst::QXTestWaldF);
  ASSERT_TRUE(model.Ok());
  auto fromFit = model.EffectTest(QXConst::QXEffectTypeIAndIII);
  auto own = model.EffectTest(QXConst::QXEffectTypeIAndIII, true, nullptr, false);
  ASSERT_TRUE(fromFit->TestModelEffect().IsOK());
  ASSERT_TRUE(own->TestModelEffect().IsOK());
  ASSERT_LT(own->GetTypeIIITestStats()->GetTestStats(1)->GetWald(), 1.0);
  EXPECT_EQ(fromFit->GetNTestsFromSumsOfSquares(), fromFit->GetTypeITestStats()->GetNTests() + 1);
  ExpectSameTests(fromFit->GetTypeITestStats(), own->GetTypeITestStats(), "Type I");
  ExpectSameTests(fromFit->GetTypeIIITestStats(), own->GetTypeIIITestStats(), "Type III");
}

// On the ill-conditioned NIST polynomials the sums of squares keep the digits that a Wald form loses
// to the condition of L V L' (8 digits on Longley, 10 to 11 on Wampler3 to 5): against Type I
// F computed in 80 digits, they are right to 13 digits, Filip's to 12 (the digits of its residual
// sum of squares, as of its coefficients). Wampler1 fits exactly and Wampler2's error variance is the
// rounding of its data, so neither has an F to compare.
TEST(TestsFromSumsOfSquares, MatchEightyDigitSequentialTestsOnIllConditionedNistModels) {
  for (const json& reference : LoadReference("nist_type1_mp.json")) {
    const std::string name = reference["name"].get<std::string>();
    if (name == "Wampler1" || name == "Wampler2") continue;
    // Filip's highest power adds less than 1e-12 of its length to the span of the others.
    FittedLinearModel model(NistCase(name), QXConst::QXTestWaldF, [&name](QXMath_600::QXRegSettings& s) {
      if (name == "Filip") s.SetTolerance(1e-16);
    });
    ASSERT_TRUE(model.Ok()) << name;
    EXPECT_EQ(model.Stats().GetNDegFreedom(), reference["df_error"].get<double>()) << name;
    auto tests = model.EffectTest(QXConst::QXEffectTypeI);
    EXPECT_TRUE(tests->ReadsTypeISumsOfSquares()) << name;
    ASSERT_TRUE(tests->TestModelEffect().IsOK()) << name;
    const QXModelTestStats* stats = tests->GetTypeITestStats();
    const std::vector<double> f = reference["F"].get<std::vector<double>>();
    ASSERT_EQ(stats->GetNTests(), static_cast<int>(f.size())) << name;
    const double rel = name == "Filip" ? 1e-12 : 1e-13;
    for (std::size_t e = 0; e < f.size(); ++e)
      ExpectRel(stats->GetTestStats(static_cast<int>(e))->GetWald(), f[e], rel,
                name + " effect " + std::to_string(e));
  }
}

// The sums of squares stand for the Wald form only with the fit's own covariance and estimates and
// for F tests; otherwise the form is computed, and the results are those of the tests' own sweep.
TEST(TestsFromSumsOfSquares, AreReadOnlyWhereTheyAreTheWaldForm) {
  const json& c = Cases().front();
  FittedLinearModel model(c, QXConst::QXTestWaldF);
  ASSERT_TRUE(model.Ok());
  EXPECT_TRUE(model.EffectTest(QXConst::QXEffectTypeIAndIII)->ReadsTypeISumsOfSquares());
  EXPECT_FALSE(model.EffectTest(QXConst::QXEffectTypeIII)->ReadsTypeISumsOfSquares());

  // A covariance that is not sigma^2 (X'WX)^- (as a robust one would not be).
  QXSymMatrix other = model.Covariance();
  other.SetElem(1, 1, 2.0 * other.GetElem(1, 1));
  auto fromFit = model.EffectTest(QXConst::QXEffectTypeI, true, &other);
  auto own = model.EffectTest(QXConst::QXEffectTypeI, true, &other, false);
  EXPECT_TRUE(fromFit->ReadsFitSweep());
  EXPECT_FALSE(fromFit->ReadsTypeISumsOfSquares());
  ASSERT_FALSE(fromFit->TestModelEffect().IsError());
  ASSERT_FALSE(own->TestModelEffect().IsError());
  ExpectSameTests(fromFit->GetTypeITestStats(), own->GetTypeITestStats(), "other covariance");

  // Estimates other than the fit's.
  const auto& stats = model.Stats();
  std::vector<double> estimates = stats.GetParamEstimates();
  estimates[1] += 1.0;
  QXModelEffectTest moved(model.Settings(), model.Settings().GetModelEffects(), estimates,
                          stats.GetEffectFirstParameters(), stats.GetEffectNParameters(),
                          QXConst::QXEffectTypeI, &model.Covariance(), &stats.GetXPrimeWXMatrix(),
                          &stats.GetRedundancyIndicators(), QXConst::QXDistNormal, 0, nullptr,
                          stats.GetNDegFreedom(), nullptr, stats.GetEffectSweep());
  EXPECT_TRUE(moved.ReadsFitSweep());
  EXPECT_FALSE(moved.ReadsTypeISumsOfSquares());

  // Chi-square tests.
  FittedLinearModel chiSquare(c, QXConst::QXTestChiSquare);
  ASSERT_TRUE(chiSquare.Ok());
  EXPECT_FALSE(chiSquare.EffectTest(QXConst::QXEffectTypeI)->ReadsTypeISumsOfSquares());
}

}  // namespace
}  // namespace effect_tests
