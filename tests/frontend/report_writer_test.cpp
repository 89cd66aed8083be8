// The parameter table qxfit forms through the library's Wald tests, checked against R's summary.lm
// and confint for every reference case, and the two reports: the JSON document programs rely on (its
// names and its nulls) and the table people read.
#include <gtest/gtest.h>

#include <sstream>

#include "common/QXBitSet.h"
#include "common/QXStatus.h"
#include "common/QXSymMatrix.h"
#include "frontend/FitResult.h"
#include "frontend/ReportWriter.h"
#include "inference/QXTestStats.h"
#include "tests/frontend/qxfit_reference.h"

namespace {

using QXFit::EffectTestResult;
using QXFit::FitResult;
using QXFit::ParameterResult;
using QXFit::ReportWriter;
using QXFit::TestKind;

// A FitResult with R's estimates and fit statistics, ready for the tests.
FitResult FromReference(const nlohmann::json& reference) {
  FitResult result;
  result.fRmse = reference["rmse"].get<double>();
  result.fRSquared = reference["r_squared"].get<double>();
  result.fDfError = reference["df_error"].get<double>();
  result.fTotalFreqWeight = reference["total_freq_weight"].get<double>();
  result.fTotalRegrWeight = reference["total_regr_weight"].get<double>();
  result.fConfidenceLevel = reference["level"].get<double>();
  for (const auto& p : reference["parameters"]) {
    ParameterResult parameter;
    parameter.fLabel = p["label"];
    parameter.fEstimate = p["estimate"];
    parameter.fbRedundant = p["redundant"];
    result.fParameters.push_back(parameter);
  }
  return result;
}

// The individual tests use only the diagonal of the covariance, so R's unscaled diagonal scaled by
// sigma^2 checks the whole chain from the fit statistics to the bounds.
TEST(ParameterTestsTest, StatisticsAndBoundsMatchRForEveryCase) {
  const auto cases = qxfit_test::ReferenceCases();
  ASSERT_GE(cases.size(), 8u);
  for (const auto& name : cases) {
    const auto reference = qxfit_test::LoadCase(name)["reference"];
    for (const TestKind test : {TestKind::kF, TestKind::kChiSquare}) {
      const bool f = test == TestKind::kF;
      FitResult result = FromReference(reference);
      result.fTest = test;
      const auto diagonal = reference["cov_unscaled_diagonal"].get<std::vector<double>>();
      const auto sigma2 = QXFit::ComputeErrorVariance(result);
      ASSERT_TRUE(sigma2) << name;
      const int n = static_cast<int>(diagonal.size());
      QXMath_600::QXSymMatrix covariance(n);
      QXMath_600::QXBitSet nonRedundant(n);
      std::vector<double> estimates;
      for (int k = 0; k < n; ++k) {
        covariance.SetElem(k, k, diagonal[static_cast<std::size_t>(k)] * *sigma2);
        if (!result.fParameters[static_cast<std::size_t>(k)].fbRedundant) nonRedundant.Set(k);
        estimates.push_back(result.fParameters[static_cast<std::size_t>(k)].fEstimate);
      }
      QXFit::FillParameterTests(result, estimates, nonRedundant, covariance);
      // R's values are stored with 17 significant digits and the steps add a few roundings: 1e-12 is
      // what the arithmetic allows. A p-value carries its statistic's error times |ln p| (up to ~600).
      ASSERT_TRUE(result.fSigma.has_value()) << name;
      EXPECT_TRUE(qxfit_test::Near(*result.fSigma, reference["sigma"], 1e-12)) << name;
      for (std::size_t k = 0; k < result.fParameters.size(); ++k) {
        const auto& p = result.fParameters[k];
        const auto& r = reference["parameters"][k];
        const std::string what = name + " " + p.fLabel + (f ? " (F)" : " (chisq)");
        if (r["redundant"].get<bool>()) {
          EXPECT_FALSE(p.fStdError || p.fStatistic || p.fDF || p.fP || p.fLower || p.fUpper) << what;
          continue;
        }
        ASSERT_TRUE(p.fStdError && p.fStatistic && p.fDF && p.fP && p.fLower && p.fUpper) << what;
        const double width = *p.fUpper - *p.fLower;
        EXPECT_TRUE(qxfit_test::Near(*p.fStdError, r["std_error"], 1e-12)) << what;
        EXPECT_TRUE(qxfit_test::Near(*p.fStatistic, f ? r["t"] : r["chisq"], 1e-12)) << what;
        EXPECT_EQ(*p.fDF, f ? reference["df_error"].get<double>() : 1.0) << what;
        EXPECT_TRUE(qxfit_test::Near(*p.fP, f ? r["p"] : r["p_chisq"], 1e-10, 1e-290))
            << what << ": " << *p.fP;
        EXPECT_TRUE(qxfit_test::Near(*p.fLower, f ? r["lower"] : r["lower_z"], 1e-12, width)) << what;
        EXPECT_TRUE(qxfit_test::Near(*p.fUpper, f ? r["upper"] : r["upper_z"], 1e-12, width)) << what;
      }
    }
  }
}

TEST(ParameterTestsTest, NothingIsTestedWithoutErrorDegreesOfFreedom) {
  FitResult result;
  result.fRmse = 0.0;
  result.fDfError = 0.0;  // as many parameters as records
  result.fTotalFreqWeight = 2.0;
  result.fParameters = {ParameterResult{"Intercept", 1.0, false, {}, {}, {}, {}, {}, {}}};
  QXMath_600::QXSymMatrix covariance(1);
  QXMath_600::QXBitSet nonRedundant(1);
  nonRedundant.Set(0);
  QXFit::FillParameterTests(result, {1.0}, nonRedundant, covariance);
  EXPECT_FALSE(result.fSigma);
  EXPECT_FALSE(result.fParameters[0].fStdError || result.fParameters[0].fP);
  // An exact fit with error degrees of freedom: the estimate has no error, so there is no statistic,
  // no p-value beside it, and the bounds close on the estimate.
  result.fDfError = 3.0;
  QXFit::FillParameterTests(result, {1.0}, nonRedundant, covariance);
  const ParameterResult& p = result.fParameters[0];
  ASSERT_TRUE(p.fStdError && p.fLower && p.fUpper);
  EXPECT_EQ(*p.fStdError, 0.0);
  EXPECT_FALSE(p.fStatistic);
  EXPECT_FALSE(p.fP);
  EXPECT_EQ(*p.fLower, 1.0);
  EXPECT_EQ(*p.fUpper, 1.0);
}

TEST(EffectTestResultTest, AnUntestedEffectHasNoStatisticsAndKeepsItsWarning) {
  QXMath_600::QXTestStats untested;  // what the library records when it forms no test
  const QXCommon_600::QXStatus warning(321, true);
  const EffectTestResult row = QXFit::ToEffectTestResult("dose", &untested, &warning, TestKind::kF);
  EXPECT_EQ(row.fEffect, "dose");
  EXPECT_FALSE(row.fDF || row.fDFError || row.fStatistic || row.fP);
  ASSERT_TRUE(row.fStatus);
  EXPECT_EQ(*row.fStatus, warning.GetMessage());

  QXMath_600::QXTestStats tested;
  tested.SetDF(2.0);
  tested.SetDF2(48.0);
  tested.SetWald(8.5);
  tested.SetSig(0.0007);
  const QXCommon_600::QXStatus ok;
  const EffectTestResult f = QXFit::ToEffectTestResult("tension", &tested, &ok, TestKind::kF);
  EXPECT_FALSE(f.fStatus);
  EXPECT_EQ(f.fDF, 2.0);
  EXPECT_EQ(f.fDFError, 48.0);
  EXPECT_EQ(f.fStatistic, 8.5);
  EXPECT_EQ(f.fP, 0.0007);
  // A chi-square has no denominator degrees of freedom, whatever the record holds.
  EXPECT_FALSE(QXFit::ToEffectTestResult("tension", &tested, &ok, TestKind::kChiSquare).fDFError);
}

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fResult.fModel = "y ~ A";
    fResult.fRecordsRead = 10;
    fResult.fRecordsUsed = 9;
    fResult.fRSquared = 0.25;
    fResult.fRmse = 1.5;
    fResult.fDfError = 7.0;
    fResult.fTotalFreqWeight = 9.0;
    fResult.fTotalRegrWeight = 9.0;
    fResult.fSigma = 1.7;
    fResult.fParameters = {ParameterResult{"Intercept", 2.0, false, 0.5, 4.0, 7.0, 0.0052, 0.8177, 3.1823},
                           ParameterResult{"[A=a1]", -1.25, false, 0.75, -1.6667, 7.0, 1e-300, -3.02, 0.52},
                           ParameterResult{"[A=a2]", 0.0, true, {}, {}, {}, {}, {}, {}}};
    fResult.fbTypeIII = true;
    fResult.fTypeIII = {
        EffectTestResult{"Intercept", 1.0, 7.0, 46.29, 46.29, 16.0, 0.0052, {}},
        EffectTestResult{"A", {}, {}, {}, {}, {}, {}, "warning 321: the hypothesis has no testable rows"}};
    fResult.fCorrectedModel = EffectTestResult{"Corrected model", 1.0, 7.0, 8.036, 8.036, 2.7778, 0.1396, {}};
    fResult.fErrorSumSq = 20.25;
    fResult.fErrorMeanSq = 2.893;
    fResult.fAdjRSquared = 0.142857;
    fResult.fLeftOutMissing = 1;
    fResult.fWarnings = {"warning 321: the hypothesis has no testable rows"};
  }
  std::vector<std::string> Lines(const std::string& text) {
    std::istringstream lines(text);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) rows.push_back(line);
    return rows;
  }
  FitResult fResult;
};

TEST_F(ReportTest, JsonKeepsItsNamesAndWritesNullForWhatIsNotFormed) {
  std::ostringstream out;
  ReportWriter::WriteJson(fResult, out);
  const auto doc = nlohmann::json::parse(out.str());
  EXPECT_EQ(doc["model"], "y ~ A");
  EXPECT_EQ(doc["records"]["read"], 10);
  EXPECT_EQ(doc["records"]["used"], 9);
  EXPECT_EQ(
      doc["records"]["left_out"],
      nlohmann::json::parse(R"({"missing": 1, "not_finite": 0, "undefined": 0, "weight_not_positive": 0})"));
  EXPECT_EQ(doc["fit"]["adj_r_squared"], 0.142857);
  const auto& fit = doc["fit"];
  EXPECT_EQ(fit["r_squared"], 0.25);
  EXPECT_EQ(fit["rmse"], 1.5);
  EXPECT_EQ(fit["df_error"], 7.0);
  EXPECT_EQ(fit["total_freq_weight"], 9.0);
  EXPECT_EQ(fit["total_regr_weight"], 9.0);
  EXPECT_EQ(doc["test"], "F");
  EXPECT_EQ(doc["confidence_level"], 0.95);
  ASSERT_EQ(doc["parameters"].size(), 3u);
  const auto& a1 = doc["parameters"][1];
  EXPECT_EQ(a1["label"], "[A=a1]");
  EXPECT_EQ(a1["estimate"], -1.25);
  EXPECT_EQ(a1["std_error"], 0.75);
  EXPECT_EQ(a1["statistic"], -1.6667);
  EXPECT_EQ(a1["df"], 7.0);
  EXPECT_EQ(a1["p"], 1e-300);
  EXPECT_EQ(a1["lower"], -3.02);
  EXPECT_EQ(a1["upper"], 0.52);
  EXPECT_EQ(a1["redundant"], false);
  const auto& a2 = doc["parameters"][2];
  EXPECT_EQ(a2["estimate"], 0.0);
  for (const char* name : {"std_error", "statistic", "df", "p", "lower", "upper"})
    EXPECT_TRUE(a2[name].is_null()) << name;
  EXPECT_EQ(a2["redundant"], true);

  // Type I was not asked for: null, not an empty list.
  const auto& tests = doc["effect_tests"];
  EXPECT_TRUE(tests["type1"].is_null());
  ASSERT_EQ(tests["type3"].size(), 2u);
  EXPECT_EQ(tests["type3"][0],
            nlohmann::json::parse(
                R"({"effect": "Intercept", "df": 1.0, "df_error": 7.0, "sum_sq": 46.29, "mean_sq": 46.29,
              "statistic": 16.0, "p": 0.0052, "status": null})"));
  EXPECT_EQ(tests["type3"][1]["effect"], "A");
  EXPECT_TRUE(tests["type3"][1]["statistic"].is_null() && tests["type3"][1]["p"].is_null());
  EXPECT_EQ(tests["type3"][1]["status"], "warning 321: the hypothesis has no testable rows");
  EXPECT_EQ(
      tests["corrected_model"],
      nlohmann::json::parse(
          R"({"df": 1.0, "df_error": 7.0, "statistic": 2.7778, "p": 0.1396, "r_squared": 0.25, "status": null,
              "sum_sq": 8.036, "mean_sq": 8.036})"));
  EXPECT_EQ(tests["error"], nlohmann::json::parse(R"({"df": 7.0, "sum_sq": 20.25, "mean_sq": 2.893})"));
  EXPECT_EQ(doc["warnings"], nlohmann::json::array({"warning 321: the hypothesis has no testable rows"}));

  // A statistic that cannot be formed is null, never a number standing in for it.
  fResult.fRSquared.reset();
  fResult.fRmse = std::nan("");
  fResult.fTest = TestKind::kChiSquare;
  fResult.fCorrectedModel.reset();
  fResult.fWarnings.clear();
  const auto missing = ReportWriter::ToJson(fResult);
  EXPECT_TRUE(missing["fit"]["r_squared"].is_null());
  EXPECT_TRUE(missing["fit"]["rmse"].is_null());
  EXPECT_EQ(missing["test"], "chisq");
  EXPECT_TRUE(missing["effect_tests"]["corrected_model"].is_null());
  EXPECT_EQ(missing["warnings"], nlohmann::json::array());
}

// Labels come from the data's bytes: one that is not UTF-8 must not abort the dump (it did, with an
// uncaught exception) but reach the reader as U+FFFD.
TEST_F(ReportTest, JsonReplacesBytesThatAreNotUtf8) {
  fResult.fParameters[1].fLabel = "[A=a\xff]";
  fResult.fModel = "y ~ \xc3";
  std::ostringstream out;
  ReportWriter::WriteJson(fResult, out);
  const auto doc = nlohmann::json::parse(out.str());
  EXPECT_EQ(doc["parameters"][1]["label"], "[A=a\xef\xbf\xbd]");
  EXPECT_EQ(doc["model"], "y ~ \xef\xbf\xbd");
}

TEST_F(ReportTest, TableAlignsColumnsAndMarksRedundantAndUntestedRows) {
  std::ostringstream out;
  ReportWriter::WriteTable(fResult, out);
  const auto rows = Lines(out.str());
  ASSERT_GE(rows.size(), 20u);
  EXPECT_EQ(rows[0], "Model: y ~ A");
  EXPECT_EQ(rows[2], "Parameter  Estimate  Std. Error  t value  Pr(>|t|)  Lower 95%  Upper 95%");
  EXPECT_EQ(rows[3], "Intercept         2         0.5    4.000    0.0052     0.8177     3.1823");
  EXPECT_EQ(rows[4], "[A=a1]        -1.25        0.75   -1.667  <2.2e-16      -3.02       0.52");
  EXPECT_EQ(rows[5], "[A=a2]     (redundant)");
  EXPECT_EQ(rows[7], "Tests of model effects (Type III)");
  EXPECT_EQ(rows[8], "Effect     df  Sum Sq  Mean Sq  F value  Pr(>F)");
  EXPECT_EQ(rows[9], "Intercept   1   46.29    46.29   16.000  0.0052");
  EXPECT_EQ(rows[10], "A          (not testable)");
  EXPECT_EQ(rows[11], "Error       7   20.25    2.893");
  EXPECT_EQ(rows[13], "R-square:                 0.25");
  EXPECT_EQ(rows[14], "Adjusted R-square:        0.142857");
  EXPECT_EQ(rows[15], "Corrected model:          F = 2.778 on 1 and 7 degrees of freedom, p = 0.14");
  const std::string text = out.str();
  EXPECT_NE(text.find("on 7 degrees of freedom"), std::string::npos);
  EXPECT_NE(text.find("Records:                  10 read, 9 used; left out: 1 with a missing value\n"),
            std::string::npos);
  EXPECT_NE(text.find("\nWarnings:\n  warning 321: the hypothesis has no testable rows\n"),
            std::string::npos);
}

TEST_F(ReportTest, ChiSquareAndOtherLevelsNameTheirColumns) {
  fResult.fTest = TestKind::kChiSquare;
  fResult.fConfidenceLevel = 0.975;
  fResult.fbTypeI = true;
  fResult.fTypeI = fResult.fTypeIII;
  fResult.fCorrectedModel->fDFError.reset();
  std::ostringstream out;
  ReportWriter::WriteTable(fResult, out);
  const auto rows = Lines(out.str());
  EXPECT_EQ(rows[2], "Parameter  Estimate  Std. Error  Chi-square  Pr(>Chisq)  Lower 97.5%  Upper 97.5%");
  EXPECT_EQ(rows[7], "Tests of model effects (Type I)");
  EXPECT_EQ(rows[8], "Effect     df  Sum Sq  Mean Sq  Chi-square  Pr(>Chisq)");
  EXPECT_EQ(rows[13], "Tests of model effects (Type III)");
  EXPECT_NE(
      out.str().find("Corrected model:          chi-square = 2.778 on 1 degrees of freedom, p = 0.14\n"),
      std::string::npos);
}

TEST_F(ReportTest, ColumnsAreAsWideAsTheirCharactersNotTheirBytes) {
  fResult.fParameters[1].fLabel = "[pays=Été]";  // 10 characters, 12 bytes
  std::ostringstream out;
  ReportWriter::WriteTable(fResult, out);
  const auto rows = Lines(out.str());
  EXPECT_EQ(rows[2], "Parameter   Estimate  Std. Error  t value  Pr(>|t|)  Lower 95%  Upper 95%");
  EXPECT_EQ(rows[4], "[pays=Été]     -1.25        0.75   -1.667  <2.2e-16      -3.02       0.52");
}

// No p-value stands beside a statistic that could not be formed; an intercept-only model's table is
// its parameter's test; the sums of squares follow from the statistics and sigma^2.
TEST(FitResultTest, TablesHoldWhatTheStatisticsSupport) {
  QXMath_600::QXTestStats noStatistic;
  noStatistic.SetDF(1.0);
  noStatistic.SetSig(0.0);
  QXCommon_600::QXStatus ok;
  const EffectTestResult empty = QXFit::ToEffectTestResult("x", &noStatistic, &ok, TestKind::kF);
  EXPECT_FALSE(empty.fStatistic);
  EXPECT_FALSE(empty.fP);

  FitResult result;
  result.fbTypeI = result.fbTypeIII = true;
  result.fRmse = 2.0;
  result.fTotalFreqWeight = 10.0;
  result.fDfError = 9.0;
  result.fParameters = {ParameterResult{"Intercept", 3.0, false, 0.5, 6.0, 9.0, 1e-4, 1.0, 5.0}};
  QXFit::TestInterceptOnly(result);
  QXFit::AddSumsOfSquares(result);
  ASSERT_EQ(result.fTypeI.size(), 1u);
  const EffectTestResult& intercept = result.fTypeIII.front();
  EXPECT_EQ(intercept.fEffect, "Intercept");
  EXPECT_EQ(intercept.fStatistic, 36.0);  // t^2
  EXPECT_EQ(intercept.fP, 1e-4);
  EXPECT_EQ(intercept.fDFError, 9.0);
  // sigma^2 = RMSE^2 W / df = 40 / 9; SS = F df sigma^2.
  EXPECT_DOUBLE_EQ(*intercept.fSumSq, 36.0 * 40.0 / 9.0);
  EXPECT_EQ(result.fErrorSumSq, 40.0);
  EXPECT_DOUBLE_EQ(*result.fErrorMeanSq, 40.0 / 9.0);
}

}  // namespace
