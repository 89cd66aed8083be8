// Type I, Type III and corrected-model tests of linear models fitted through the public API, against
// R (tests/reference/effect_tests_linear.R): anova() for Type I, car::Anova(type = 3) with sum-to-zero
// contrasts for Type III, summary(lm)'s overall F for the corrected model. The cases cover balanced
// and unbalanced two- and three-way designs with interactions, a factor-by-covariate slope, a nested
// effect, frequency and regression weights, and a model without an intercept.
//
// Tolerance: 1e-10 relative on F and chi-square statistics and on p-values. R forms them from a QR
// fit in double; ours come from a double-double sweep, a Gram-Schmidt reduction of L and the Wald
// form in double. The two agree to 3e-12 at worst over these cases (most to 1e-15); p-values inherit
// the error of F amplified by d log p / d log F, which stays small for the statistics here.
#include <gtest/gtest.h>

#include "effect_tests_support.h"

namespace effect_tests {
namespace {

constexpr double kRel = 1e-10;

const json& Cases() {
  static const json cases = LoadReference("effect_tests_linear.json")["cases"];
  return cases;
}

// Entry i of the statistics against reference row i: F (or chi-square) with its df and p-value.
void ExpectTests(const QXModelTestStats* stats, const json& reference, bool chiSquare,
                 const std::string& kind) {
  ASSERT_NE(stats, nullptr) << kind;
  ASSERT_EQ(stats->GetNTests(), static_cast<int>(reference.size())) << kind;
  for (int i = 0; i < stats->GetNTests(); ++i) {
    const std::string what = kind + " effect " + std::to_string(i);
    const QXTestStats& t = *stats->GetTestStats(i);
    const json& r = reference[i];
    EXPECT_TRUE(stats->GetStatus(i)->IsOK()) << what << ": " << stats->GetStatus(i)->GetMessage();
    EXPECT_EQ(t.GetDF(), r["df1"].get<double>()) << what;
    if (chiSquare) {
      ExpectRel(t.GetWald(), r["chi"], kRel, what + " chi-square");
      ExpectRel(t.GetSig(), r["chi_p"], kRel, what + " p");
    } else {
      EXPECT_EQ(t.GetDF2(), r["df2"].get<double>()) << what;
      ExpectRel(t.GetWald(), r["F"], kRel, what + " F");
      ExpectRel(t.GetSig(), r["p"], kRel, what + " p");
    }
  }
}

class EffectTestsAgainstR : public ::testing::TestWithParam<std::size_t> {
 protected:
  const json& Case() const { return Cases()[GetParam()]; }
};

TEST_P(EffectTestsAgainstR, TypeIAndTypeIIIFTestsMatchAnovaAndCar) {
  FittedLinearModel model(Case(), QXConst::QXTestWaldF);
  ASSERT_TRUE(model.Ok());
  auto test = model.EffectTest(QXConst::QXEffectTypeIAndIII);
  ASSERT_TRUE(test->TestModelEffect().IsOK()) << test->GetStatus().GetMessage();
  ExpectTests(test->GetTypeITestStats(), Case()["type1"], false, "Type I");
  ExpectTests(test->GetTypeIIITestStats(), Case()["type3"], false, "Type III");
}

TEST_P(EffectTestsAgainstR, CorrectedModelMatchesTheOverallRegressionF) {
  FittedLinearModel model(Case(), QXConst::QXTestWaldF);
  ASSERT_TRUE(model.Ok());
  auto test = model.EffectTest(QXConst::QXEffectTypeIII);
  ExpectTests(test->GetCorrectedModelTestStats(nullptr), json::array({Case()["corrected"]}), false,
              "corrected");
}

// The chi-square form, and hypotheses whose redundancy is decided by the tests' own sweep rather
// than taken from the fit: both must give the same tests.
TEST_P(EffectTestsAgainstR, ChiSquareTestsWithoutTheFitsRedundancyMatch) {
  FittedLinearModel model(Case(), QXConst::QXTestChiSquare);
  ASSERT_TRUE(model.Ok());
  auto test = model.EffectTest(QXConst::QXEffectTypeIAndIII, false);
  ASSERT_TRUE(test->TestModelEffect().IsOK()) << test->GetStatus().GetMessage();
  ExpectTests(test->GetTypeITestStats(), Case()["type1"], true, "Type I");
  ExpectTests(test->GetTypeIIITestStats(), Case()["type3"], true, "Type III");
  ExpectTests(test->GetCorrectedModelTestStats(nullptr), json::array({Case()["corrected"]}), true,
              "corrected");
}

INSTANTIATE_TEST_SUITE_P(PublicDatasets, EffectTestsAgainstR,
                         ::testing::Range<std::size_t>(0, Cases().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                           return Cases()[info.param]["name"].get<std::string>();
                         });

}  // namespace
}  // namespace effect_tests
