// Type III tests of model effects in the multinomial layouts, against R
// (tests/reference/effect_tests_multinomial.R): rank ~ discipline * sex + yrs.since.phd on Salaries,
// fitted by nnet::multinom (nominal: one parameter block per non-reference category, so each
// hypothesis is repeated block by block) and by MASS::polr (ordinal: the thresholds stand before the
// parameters, in the intercept's place). The estimates, their covariance and X'X of the design come
// from R; the reference Wald chi-squares test each term's sum-to-zero coefficients in every linear
// predictor, an independent statement of the Type III hypotheses.
//
// Tolerance: 1e-10 relative; the two agree to 1e-12. R inverts the covariance of the re-expressed
// coefficients, the library L V L' of its own hypotheses, both in double.
#include <gtest/gtest.h>

#include "effect_tests_support.h"
#include "tests/common/kernel_reference.h"

namespace effect_tests {
namespace {

constexpr double kRel = 1e-10;

class MultinomialLayouts : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { fReference = new json(LoadReference("effect_tests_multinomial.json")); }
  static void TearDownTestSuite() {
    delete fReference;
    fReference = nullptr;
  }
  void SetUp() override {
    const json& r = *fReference;
    fSettings = MakeSettings(r["case"], QXConst::QXTestChiSquare);
    fXtX = kernel_test::ToSym(r["xtx"]);
    const auto nonRedundant = r["non_redundant"].get<std::vector<bool>>();
    fOneLinearPredictor = QXMath_600::QXBitSet(static_cast<int>(nonRedundant.size()));
    for (std::size_t k = 0; k < nonRedundant.size(); ++k)
      fOneLinearPredictor.Set(static_cast<int>(k), nonRedundant[k]);
  }

  // The Type III tests of the layout's fit, checked against the reference; the intercept's test only
  // when the layout has a reference for it.
  void Check(const json& fit, QXConst::DistType distType) {
    const std::vector<double> b = fit["b"].get<std::vector<double>>();
    const QXSymMatrix V = kernel_test::ToSym(fit["V"]);
    QXMath_600::QXBitSet all(static_cast<int>(b.size()));
    QXModelEffectTest test(fSettings, fSettings.GetModelEffects(), b, (*fReference)["effect_first"],
                           (*fReference)["effect_count"], QXConst::QXEffectTypeIII, &V, &fXtX, &all, distType,
                           (*fReference)["categories"], &fOneLinearPredictor, -1.0, nullptr);
    ASSERT_TRUE(test.TestModelEffect().IsOK()) << test.GetStatus().GetMessage();
    const QXModelTestStats* stats = test.GetTypeIIITestStats();
    const json& reference = fit["type3"];
    ASSERT_EQ(stats->GetNTests(), static_cast<int>(reference.size()));
    for (int e = 0; e < stats->GetNTests(); ++e) {
      ASSERT_EQ(stats->GetLMatrix(e)->GetNCols(), static_cast<int>(b.size()));
      if (reference[e].is_null()) continue;
      const std::string what = "effect " + std::to_string(e);
      EXPECT_EQ(stats->GetTestStats(e)->GetDF(), reference[e]["df"].get<double>()) << what;
      ExpectRel(stats->GetTestStats(e)->GetWald(), reference[e]["chi"], kRel, what + " chi-square");
      ExpectRel(stats->GetTestStats(e)->GetSig(), reference[e]["p"], kRel, what + " p");
    }
    const QXModelTestStats* corrected = test.GetCorrectedModelTestStats(nullptr);
    ASSERT_NE(corrected, nullptr);
    EXPECT_EQ(corrected->GetTestStats(0)->GetDF(), fit["corrected"]["df"].get<double>());
    ExpectRel(corrected->GetTestStats(0)->GetWald(), fit["corrected"]["chi"], kRel, "corrected chi-square");
    ExpectRel(corrected->GetTestStats(0)->GetSig(), fit["corrected"]["p"], kRel, "corrected p");
  }

  static json* fReference;
  QXMath_600::QXRegSettings fSettings;
  QXSymMatrix fXtX;
  QXMath_600::QXBitSet fOneLinearPredictor;
};
json* MultinomialLayouts::fReference = nullptr;

TEST_F(MultinomialLayouts, NominalHypothesesCoverEveryLogit) {
  Check((*fReference)["nominal"], QXConst::QXDistNomMultinomial);
}

TEST_F(MultinomialLayouts, OrdinalHypothesesSkipTheThresholds) {
  Check((*fReference)["ordinal"], QXConst::QXDistOrdMultinomial);
}

}  // namespace
}  // namespace effect_tests
