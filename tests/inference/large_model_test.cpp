// Models with more than 256 parameters, which the library sweeps in double precision a block of pivots
// at a time (the fit, the one sweep behind all tests of model effects, the Wald forms of large
// hypotheses), fitted through the public API against R (tests/reference/large_models.R): lm() on the
// library's over-parameterised design for the estimates, standard errors and fit statistics, anova()
// and car::Anova(type = 3) with sum-to-zero contrasts for the effect tests, summary(lm)'s F for the
// corrected model. Cases: InstEval's instructors (main effects; instructor by service with empty
// cells) and an unbalanced 20 x 15 crossing with a covariate and frequency weights.
//
// Tolerance: 1e-10 relative, as for the smaller models. R's QR in double carries about 1e-13 on
// these designs; the blocked double sweep is accepted only while its estimated condition leaves ten
// digits, and the estimates are refined against the double-double cross products.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "effect_tests_support.h"

namespace effect_tests {
namespace {

constexpr double kRel = 1e-10;

const json& Cases() {
  static const json cases = LoadReference("large_models.json");
  return cases;
}

void ExpectTests(const QXModelTestStats* stats, const json& reference, const std::string& kind) {
  ASSERT_NE(stats, nullptr) << kind;
  ASSERT_EQ(stats->GetNTests(), static_cast<int>(reference.size())) << kind;
  for (int i = 0; i < stats->GetNTests(); ++i) {
    const std::string what = kind + " effect " + std::to_string(i);
    const QXTestStats& t = *stats->GetTestStats(i);
    EXPECT_TRUE(stats->GetStatus(i)->IsOK()) << what << ": " << stats->GetStatus(i)->GetMessage();
    EXPECT_EQ(t.GetDF(), reference[i]["df1"].get<double>()) << what;
    EXPECT_EQ(t.GetDF2(), reference[i]["df2"].get<double>()) << what;
    ExpectRel(t.GetWald(), reference[i]["F"], kRel, what + " F");
  }
}

class LargeModelAgainstR : public ::testing::TestWithParam<std::size_t> {
 protected:
  const json& Case() const { return Cases()[GetParam()]; }
};

TEST_P(LargeModelAgainstR, EstimatesStandardErrorsAndFitMatchLm) {
  FittedLinearModel model(Case(), QXConst::QXTestWaldF);
  ASSERT_TRUE(model.Ok());
  const auto& stats = model.Stats();
  const json& parameters = Case()["parameters"];
  const std::vector<double>& estimates = stats.GetParamEstimates();
  ASSERT_EQ(estimates.size(), parameters.size());
  double largest = 0.0;
  for (const json& p : parameters) largest = std::max(largest, std::fabs(p["estimate"].get<double>()));
  const double sigma2 = std::pow(Case()["sigma"].get<double>(), 2);
  const QXSymMatrix& covariance = *stats.GetCovarianceMatrix();
  for (std::size_t k = 0; k < parameters.size(); ++k) {
    const json& p = parameters[k];
    const int i = static_cast<int>(k);
    EXPECT_EQ(!stats.GetRedundancyIndicators().IsIn(i), p["redundant"].get<bool>()) << k;
    EXPECT_PRED4(qx_linear_test::NearScaled, estimates[k], p["estimate"].get<double>(), kRel, largest) << k;
    if (p["redundant"].get<bool>()) continue;
    EXPECT_PRED3(qx_linear_test::Near, std::sqrt(covariance.GetElem(i, i) * sigma2),
                 p["std_error"].get<double>(), kRel)
        << k;
  }
  EXPECT_PRED3(qx_linear_test::Near, stats.GetModelFitStat(QXConst::QXFitRSquare),
               Case()["r_squared"].get<double>(), kRel);
  EXPECT_PRED3(qx_linear_test::Near, stats.GetModelFitStat(QXConst::QXFitRootMSE),
               Case()["rmse"].get<double>(), kRel);
  EXPECT_EQ(stats.GetNDegFreedom(), Case()["df_error"].get<double>());
}

TEST_P(LargeModelAgainstR, EffectTestsMatchAnovaCarAndTheOverallF) {
  FittedLinearModel model(Case(), QXConst::QXTestWaldF);
  ASSERT_TRUE(model.Ok());
  auto test = model.EffectTest(QXConst::QXEffectTypeIAndIII);
  ASSERT_TRUE(test->TestModelEffect().IsOK()) << test->GetStatus().GetMessage();
  ExpectTests(test->GetTypeITestStats(), Case()["type1"], "Type I");
  if (!Case()["type3"].is_null()) ExpectTests(test->GetTypeIIITestStats(), Case()["type3"], "Type III");
  const QXModelTestStats* corrected = test->GetCorrectedModelTestStats(nullptr);
  ASSERT_NE(corrected, nullptr);
  ExpectRel(corrected->GetTestStats(0)->GetWald(), Case()["corrected"]["F"], kRel, "corrected model F");
  EXPECT_EQ(corrected->GetTestStats(0)->GetDF(), Case()["corrected"]["df1"].get<double>());
}

INSTANTIATE_TEST_SUITE_P(RealAndStressDesigns, LargeModelAgainstR, ::testing::Values(0, 1, 2),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                           return Cases()[info.param]["name"].get<std::string>();
                         });

// A complete 20 x 14 crossing, unweighted, 2 to 4 records a cell: every aliased column is an exact
// integer combination of the non-redundant ones, so the general estimable function holds integers,
// and the interaction (last, and contained in nothing) has the same Type I and Type III hypothesis.
// A double sweep leaves its rounding (about 1e-13 here, 1e-11 at 80 x 40) where the coefficients are
// 0, and Type III's eliminations took such noise for a coefficient and lost a row of the interaction;
// refined against X'WX the noise falls below 1e-20.
TEST(LargeModelHypotheses, CompleteCrossingGivesExactEstimableFunctionsAndOneInteractionHypothesis) {
  json c = {{"columns", {"y", "A", "B"}}, {"dependent", "y"}, {"covariates", json::array()},
            {"intercept", true},          {"freq", nullptr},  {"regr", nullptr}};
  c["factors"] = json::array({json{{"name", "A"}, {"levels", json(std::vector<int>(20))}},
                              json{{"name", "B"}, {"levels", json(std::vector<int>(14))}}});
  c["terms"] = json::array({json{{"factors", {"A"}}, {"nest", {0}}, {"covs", json::array()}},
                            json{{"factors", {"B"}}, {"nest", {0}}, {"covs", json::array()}},
                            json{{"factors", {"A", "B"}}, {"nest", {0, 0}}, {"covs", json::array()}}});
  c["records"] = json::array();
  for (int cell = 0; cell < 280; ++cell)
    for (int r = 0; r < 2 + cell % 3; ++r)
      c["records"].push_back({5.0 + 0.02 * (cell / 14) - 0.03 * (cell % 14) + 0.1 * ((cell * 7 + r * 3) % 11),
                              cell / 14, cell % 14});
  FittedLinearModel model(c, QXConst::QXTestWaldF);
  ASSERT_TRUE(model.Ok());
  ASSERT_EQ(model.Stats().GetParamEstimates().size(), 315u);
  auto test = model.EffectTest(QXConst::QXEffectTypeIAndIII);
  ASSERT_TRUE(test->TestModelEffect().IsOK());
  const QXTestStats& typeI = *test->GetTypeITestStats()->GetTestStats(3);
  const QXTestStats& typeIII = *test->GetTypeIIITestStats()->GetTestStats(3);
  EXPECT_EQ(typeI.GetDF(), 19.0 * 13.0);
  EXPECT_EQ(typeIII.GetDF(), 19.0 * 13.0);
  ExpectRel(typeIII.GetWald(), typeI.GetWald(), 1e-12, "interaction F");

  const QXRectMatrix* H = nullptr;
  std::vector<int> rows;
  ASSERT_TRUE(test->GetGeneralEstimableFunction(H, rows).IsOK());
  double farthest = 0.0;
  for (int i = 0; i < H->GetNRows(); ++i)
    for (int k = 0; k < H->GetNCols(); ++k)
      farthest = std::max(farthest, std::fabs(H->GetElem(i, k) - std::round(H->GetElem(i, k))));
  EXPECT_LT(farthest, 1e-20);
}

// The caller's side of a long computation: a progress listener that records what it hears, and a
// cancel object that answers "pending" once a given task has reached a given share of its work, as a
// cancel button pressed mid-way would.
class Caller : public QXCommon_600::ProgressListener, public QXCommon_600::QXQueryCancel {
 public:
  Caller(std::string cancelTask = "", double cancelAt = 2.0)
      : fCancelTask(std::move(cancelTask)), fCancelAt(cancelAt) {}
  void Report(const QXCommon_600::QXIterationReporter&) override {}
  void ReportProgress(const char* task, double fraction) override {
    fReports.emplace_back(task, fraction);
    if (task == fCancelTask && fraction >= fCancelAt) fbCancel = true;
  }
  bool IsCancelRequested() override { return fbCancel; }
  bool IsCancelPending() override { return fbCancel; }

  // The shares reported for a task: never falling, the last one 1.
  void ExpectRisingToOne(const std::string& task) const {
    std::vector<double> shares;
    for (const auto& [t, f] : fReports)
      if (t == task) shares.push_back(f);
    ASSERT_GE(shares.size(), 3u) << task;
    for (std::size_t i = 1; i < shares.size(); ++i) EXPECT_GE(shares[i], shares[i - 1]) << task;
    EXPECT_EQ(shares.back(), 1.0) << task;
  }

 private:
  std::vector<std::pair<std::string, double>> fReports;
  std::string fCancelTask;
  double fCancelAt;
  std::atomic<bool> fbCancel{false};
};

void Listen(QXMath_600::QXRegSettings& settings, Caller& caller) {
  settings.SetProgressListener(&caller);
  settings.SetCancelPointer(&caller);
}

TEST(LargeModelProgress, TheSweepAndTheEffectTestsReportTheirShareOfTheWork) {
  Caller caller;
  FittedLinearModel model(Cases()[2], QXConst::QXTestWaldF, [&](auto& s) { Listen(s, caller); });
  ASSERT_TRUE(model.Ok());
  caller.ExpectRisingToOne("sweep");
  // Tests that sweep X'WX themselves and form every Wald form: with the fit's sweep, the interaction's
  // tests read its sums of squares and too little work is left to report in steps.
  auto test = model.EffectTest(QXConst::QXEffectTypeIAndIII, true, nullptr, false);
  ASSERT_TRUE(test->TestModelEffect().IsOK());
  caller.ExpectRisingToOne("effect tests");
}

TEST(LargeModelCancellation, TheFitStopsBetweenBlocksOfPivotsWithStatus1) {
  const json& c = Cases()[2];
  Caller caller("sweep", 0.2);
  QXMath_600::QXRegSettings settings = MakeSettings(c, QXConst::QXTestWaldF);
  Listen(settings, caller);
  QXMath_600::QXRegFactory factory;
  std::unique_ptr<QXMath_600::IQXRegComponent> component(factory.CreateRegAlgorithm(settings));
  qx_linear_test::RecordFile file(c["records"].get<qx_linear_test::Records>());
  auto it = file.Iterator();
  EXPECT_EQ(component->BuildModel(it), QXCommon_600::QXStatus(1, false));
}

// The one sweep behind the hypotheses stops at construction; the tests stop between effects and
// inside the generalized inverses of large hypotheses. Each gives status 1.
TEST(LargeModelCancellation, EffectTestsStopWithStatus1WhereverTheCancelComes) {
  FittedLinearModel model(Cases()[2], QXConst::QXTestWaldF);
  ASSERT_TRUE(model.Ok());
  const auto& stats = model.Stats();
  for (double at : {0.1, 0.5, 0.9}) {
    SCOPED_TRACE(at);
    Caller caller("effect tests", at);
    QXMath_600::QXRegSettings settings = model.Settings();
    Listen(settings, caller);
    QXModelEffectTest test(settings, settings.GetModelEffects(), stats.GetParamEstimates(),
                           stats.GetEffectFirstParameters(), stats.GetEffectNParameters(),
                           QXConst::QXEffectTypeIAndIII, &model.Covariance(), &stats.GetXPrimeWXMatrix(),
                           &stats.GetRedundancyIndicators(), QXConst::QXDistNormal, 0, nullptr,
                           stats.GetNDegFreedom(), nullptr);
    EXPECT_EQ(test.TestModelEffect(), QXCommon_600::QXStatus(1, false));
  }
}

}  // namespace
}  // namespace effect_tests
