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
  ASSERT_EQ(fromFit->TestModelEffect().GetErrorCode(), own->TestModelEffect().GetErrorCode());
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

}  // namespace
}  // namespace effect_tests
