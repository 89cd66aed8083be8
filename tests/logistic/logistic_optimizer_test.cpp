// The optimizer and its accumulator: separation found from the starting iteration on, step halving
// that cannot raise the likelihood, the relative change of the log-likelihood, and the rows the
// accumulator refuses or cannot use.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "logistic_test_support.h"

namespace {

using qx_linear_test::Records;
using qx_linear_test::Term;
using qx_logistic_test::Fit;
using QXCommon_600::QXStatus;
using QXMath_600::QXAccumStatsLogistic;
using QXMath_600::QXLogRegSettings;
using QXMath_600::QXRegOptimizer;

// Record layout: 0 y, 1 covariate x.
QXLogRegSettings Settings(int nCategories, int startingIteration) {
  QXLogRegSettings settings;
  settings.SetDependent(0);
  settings.AddCovariate(1);
  settings.SetDependentRefCat(-1, nCategories);
  settings.SetStartingIteration(startingIteration);
  settings.AddModelEffect(qx_linear_test::MakeEffect(settings, Term{{}, {}, {1}}));
  return settings;
}

// Category 1 exactly when x > 0.
Records Separated() {
  Records r;
  for (int x = -6; x <= 6; ++x)
    if (x != 0) r.push_back({x > 0 ? 1.0 : 0.0, static_cast<double>(x)});
  return r;
}

// Category 0 exactly when x < 0; categories 1 and 2 overlap for x >= 0.
Records QuasiSeparated() {
  Records r;
  for (int x = -6; x <= 6; ++x)
    r.push_back({x < 0 ? 0.0 : static_cast<double>(1 + (x * 5 + 1) % 2), double(x)});
  for (int x = 0; x <= 6; ++x) r.push_back({x < 0 ? 0.0 : static_cast<double>(1 + (x * 5) % 2), double(x)});
  return r;
}

QXStatus ConvergenceWarning(int state) {
  QXStatus warning(337, true);
  warning.SetDiscreteDatum(0, state);
  return warning;
}

TEST(LogisticSeparation, CompleteSeparationEndsWithState7FromTheStartingIterationOn) {
  for (int start : {1, 20}) {
    Fit fit(Settings(2, start), Separated());
    ASSERT_NE(fit.stats, nullptr) << fit.status.GetMessage();
    EXPECT_EQ(fit.stats->GetConvergenceState(), 7) << start;
    EXPECT_EQ(fit.status, ConvergenceWarning(7));
    EXPECT_EQ(fit.component->GetWarnings(), std::vector<QXStatus>{ConvergenceWarning(7)});
    EXPECT_NE(fit.status.GetMessage().find("complete separation"), std::string::npos);
    if (start == 20) {
      EXPECT_EQ(fit.stats->GetNIterations(), 20);
    } else {
      EXPECT_LT(fit.stats->GetNIterations(), 20);
    }
  }
  // Without the check the estimates run off until the information matrix gives out.
  Fit unchecked(Settings(2, 0), Separated());
  ASSERT_NE(unchecked.stats, nullptr);
  EXPECT_NE(unchecked.stats->GetConvergenceState(), 7);
  EXPECT_GT(unchecked.stats->GetConvergenceState(), 3);
}

TEST(LogisticSeparation, QuasiCompleteSeparationEndsWithState8) {
  Fit fit(Settings(3, 1), QuasiSeparated());
  ASSERT_NE(fit.stats, nullptr) << fit.status.GetMessage();
  EXPECT_EQ(fit.stats->GetConvergenceState(), 8);
  EXPECT_EQ(fit.status, ConvergenceWarning(8));
  EXPECT_EQ(fit.status.GetMessage(),
            "warning 337: quasi-complete separation: some estimates may be infinite (convergence state 8)");
}

// ---- The optimizer with a log-likelihood it cannot climb ----------------------------------------------

// One parameter, two categories: the log-likelihood -(b - top)^2 with its true score and a chosen
// information. Below 2 every Fisher step overshoots the maximum (by far, at 1e-3, so that no halving
// helps); at 2 the first step lands on it.
class QuadraticAccumulator : public QXMath_600::IQXAccumStats {
 public:
  QuadraticAccumulator(const std::vector<double>& beta, double information, double top = 0.0)
      : fBeta(beta), fInformation(information), fTop(top) {}
  void Reset(QXConst::QXHessianCompMethod, bool) override {}
  bool CheckConstraints() const override { return true; }
  int UpdateForRow(const std::vector<int>&, const std::vector<double>&, int, double, bool) override {
    return 0;
  }
  int UpdateForPattern(const std::vector<int>&, const std::vector<double>&, const double*, std::int64_t,
                       bool) override {
    return 0;
  }
  double GetLL() const override { return -(fBeta[0] - fTop) * (fBeta[0] - fTop); }
  const std::vector<double>& GetScores() const override {
    return fScores = {-2.0 * (fBeta[0] - fTop)}, fScores;
  }
  bool GetHessian(QXMath_600::QXSymMatrix& out) const override {
    out = QXMath_600::QXSymMatrix(1);
    return out.SetElem(0, 0, fInformation);
  }
  void GetCounts(std::int64_t& valid, std::int64_t& invalid, double& weight) const override {
    valid = 1;
    invalid = 0;
    weight = 1.0;
  }
  void GetMinMaxProbabilities(double& a, double& b, double& c) const override { a = b = c = 0.5; }
  double GetStepAdjustmentFactor() const override { return 1.0; }
  void Display(bool) const override {}

 private:
  const std::vector<double>& fBeta;
  double fInformation;
  double fTop;
  mutable std::vector<double> fScores;
};

// Keeps, pass after pass, whether the optimizer asked for the log-likelihood only.
class NoDataHandler : public QXMath_600::IQXDataHandler {
 public:
  void SetStatsModel(QXMath_600::IQXAccumStats*, const QXMath_600::IQXRegModel*) override {}
  void ResetAccumStats(QXConst::QXHessianCompMethod, bool) override {}
  void CleanStatsModel() override {}
  QXStatus ComputeStatsForOptimizer(bool logLikelihoodOnly) override {
    passes.push_back(logLikelihoodOnly);
    return QXStatus();
  }
  std::vector<QXStatus> GetWarnings() const override { return {}; }
  void Display() const override {}
  std::vector<bool> passes;
};

// A model built without an intercept on one covariate supplies the layout: one parameter, two
// categories; the data passes are the fake's.
class OneParameterOptimizer : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.SetInterceptUse(false);
    qx_linear_test::RecordFile file(Separated());
    auto it = file.Iterator();
    ASSERT_FALSE(built.BuildModel(it).IsError());
    ASSERT_EQ(built.GetModel().GetNAllNonRedundant(), 1);
  }
  QXStatus Estimate(QXMath_600::IQXAccumStats& accumulator) {
    QXRegOptimizer optimizer(settings, built.GetModel(), handler, accumulator, beta, nullptr, 1, cancel);
    const QXStatus status = optimizer.Estimate();
    state = optimizer.GetConvergenceState();
    iterations = optimizer.GetNIterations();
    ll = optimizer.GetCurrentLL();
    paramChange = optimizer.GetLastParamChange();
    return status;
  }
  QXLogRegSettings settings = Settings(2, 20);
  QXMath_600::QXLogAlgorithm built{settings};
  std::vector<double> beta{1.0};
  NoDataHandler handler;
  QXMath_600::QXCancelInfo cancel;
  int state = -1, iterations = -1;
  double ll = 0.0, paramChange = -1.0;
};

TEST_F(OneParameterOptimizer, StepHalvingThatCannotRaiseTheLikelihoodEndsWithState5AndThePreviousEstimates) {
  QuadraticAccumulator accumulator(beta, 1e-3);
  ASSERT_TRUE(Estimate(accumulator).IsOK());
  EXPECT_EQ(state, 5);
  EXPECT_EQ(iterations, 1);
  EXPECT_EQ(beta, std::vector<double>{1.0});
  EXPECT_EQ(ll, -1.0);
  EXPECT_EQ(paramChange, 0.0);
}

// The full step's pass forms everything; halved steps try the log-likelihood alone, and the one kept is
// then passed over in full. true: a pass of the log-likelihood only.
TEST_F(OneParameterOptimizer, AFullStepCostsOnePassAndAHalvedStepOneMoreThanItsHalvings) {
  QuadraticAccumulator newton(beta, 2.0, 3.0);
  ASSERT_TRUE(Estimate(newton).IsOK());
  EXPECT_EQ(beta, std::vector<double>{3.0});
  EXPECT_EQ(iterations, 2);
  EXPECT_EQ(handler.passes, (std::vector<bool>{false, false, false}));

  // From 1 toward 3 with information 0.9 the full step reaches 1 + 4 / 0.9 and falls; its half is kept.
  beta = {1.0};
  handler.passes.clear();
  settings.SetMaxIterations(1);
  QuadraticAccumulator overshooting(beta, 0.9, 3.0);
  ASSERT_TRUE(Estimate(overshooting).IsOK());
  EXPECT_EQ(state, 6);
  EXPECT_DOUBLE_EQ(beta[0], 1.0 + 2.0 / 0.9);
  EXPECT_EQ(handler.passes, (std::vector<bool>{false, false, true, false}));

  // A step no halving can save: the full step's pass, then the log-likelihood of every halving.
  beta = {1.0};
  handler.passes.clear();
  QuadraticAccumulator hopeless(beta, 1e-3);
  ASSERT_TRUE(Estimate(hopeless).IsOK());
  EXPECT_EQ(state, 5);
  std::vector<bool> expected{false, false};
  expected.resize(2 + static_cast<std::size_t>(settings.GetMaxStepHalvingValue()), true);
  EXPECT_EQ(handler.passes, expected);
}

TEST(LogisticOptimizer, LogLikelihoodChangeIsRelativeUnlessAbsolute) {
  EXPECT_NEAR(QXRegOptimizer::LogLikelihoodChange(-100.0, -99.99999, false), 1e-7, 1e-16);
  EXPECT_NEAR(QXRegOptimizer::LogLikelihoodChange(-100.0, -99.99999, true), 1e-5, 1e-14);
  EXPECT_TRUE(QXMV::IsMissing(QXRegOptimizer::LogLikelihoodChange(QXMV::gMissingValue, -1.0, false)));
}

// ---- The accumulator ----------------------------------------------------------------------------------

TEST(LogisticAccumulator, RowsItCannotUseAreRefusedAndUnusableParametersMakeTheLikelihoodMissing) {
  QXLogRegSettings settings;
  std::vector<double> beta{0.5, -0.25, 1.0, 0.0};  // two blocks of two parameters, three categories
  QXAccumStatsLogistic accumulator(settings, 2, 3, beta);
  ASSERT_TRUE(accumulator.IsValid());
  accumulator.Reset(QXConst::QXHessianFisher, true);
  const std::vector<int> indices{0, 1};
  const std::vector<double> values{1.0, 2.0};
  EXPECT_EQ(accumulator.UpdateForRow({0, 2}, values, 0, 1.0, false), -1);   // index outside the block
  EXPECT_EQ(accumulator.UpdateForRow(indices, {1.0}, 0, 1.0, false), -1);   // lengths differ
  EXPECT_EQ(accumulator.UpdateForRow(indices, values, 3, 1.0, false), -1);  // no such category
  EXPECT_EQ(accumulator.UpdateForRow(indices, values, -1, 1.0, false), -1);
  for (double w : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity()})
    EXPECT_EQ(accumulator.UpdateForRow(indices, values, 0, w, false), -1) << w;
  std::int64_t valid = 0, invalid = 0;
  double weight = 0.0;
  accumulator.GetCounts(valid, invalid, weight);
  EXPECT_EQ(valid, 0);

  // eta = (0, 1) for this row: log p of category 1 is 1 - log(1 + e + 1).
  ASSERT_EQ(accumulator.UpdateForRow(indices, values, 1, 2.0, false), 0);
  EXPECT_NEAR(accumulator.GetLL(), 2.0 * (1.0 - std::log(2.0 + std::exp(1.0))), 1e-15);
  double minObserved = 0.0, maxObserved = 0.0, minComputed = 0.0;
  accumulator.GetMinMaxProbabilities(minObserved, maxObserved, minComputed);
  EXPECT_NEAR(minObserved, std::exp(1.0) / (2.0 + std::exp(1.0)), 1e-15);
  EXPECT_NEAR(minComputed, 1.0 / (2.0 + std::exp(1.0)), 1e-15);

  // Trial parameters whose linear predictor overflows: the row is sound, the parameters are not.
  beta[2] = std::numeric_limits<double>::max();
  ASSERT_EQ(accumulator.UpdateForRow(indices, {2.0, 0.0}, 0, 1.0, true), 0);
  EXPECT_TRUE(QXMV::IsMissing(accumulator.GetLL()));
  accumulator.GetCounts(valid, invalid, weight);
  EXPECT_EQ(valid, 1);
  EXPECT_EQ(invalid, 1);
  EXPECT_EQ(weight, 2.0);

  EXPECT_FALSE(QXAccumStatsLogistic(settings, 2, 1, beta).IsValid());
  EXPECT_FALSE(QXAccumStatsLogistic(settings, 3, 3, beta).IsValid());
}

}  // namespace
