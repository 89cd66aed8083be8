// The statistics qxfit forms from the library's unscaled covariance, checked against R's summary.lm
// for every reference case, and the two reports: the JSON document programs rely on (its names and
// its nulls) and the table people read.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/tools/qxfit_reference.h"
#include "tools/qxfit/FitResult.h"
#include "tools/qxfit/ReportWriter.h"

namespace {

using QXFit::FitResult;
using QXFit::ParameterResult;
using QXFit::ReportWriter;

// A FitResult with R's estimates and fit statistics, ready for the standard errors.
FitResult FromReference(const nlohmann::json& reference) {
  FitResult result;
  result.fRmse = reference["rmse"].get<double>();
  result.fRSquared = reference["r_squared"].get<double>();
  result.fDfError = reference["df_error"].get<double>();
  result.fTotalFreqWeight = reference["total_freq_weight"].get<double>();
  result.fTotalRegrWeight = reference["total_regr_weight"].get<double>();
  for (const auto& p : reference["parameters"]) {
    ParameterResult parameter;
    parameter.fLabel = p["label"];
    parameter.fEstimate = p["estimate"];
    parameter.fbRedundant = p["redundant"];
    result.fParameters.push_back(parameter);
  }
  return result;
}

TEST(FitStatisticsTest, StandardErrorsTAndPMatchRForEveryCase) {
  const auto cases = qxfit_test::ReferenceCases();
  ASSERT_GE(cases.size(), 8u);
  for (const auto& name : cases) {
    const auto reference = qxfit_test::LoadCase(name)["reference"];
    FitResult result = FromReference(reference);
    QXFit::FillParameterStatistics(result, reference["cov_unscaled_diagonal"].get<std::vector<double>>());
    // R's values are stored with 15 significant digits and the formulas add a few roundings, so
    // agreement to 1e-12 is what exact arithmetic allows; p-values carry |t| times that error.
    ASSERT_TRUE(result.fSigma.has_value()) << name;
    EXPECT_TRUE(qxfit_test::Near(*result.fSigma, reference["sigma"], 1e-12)) << name;
    for (std::size_t k = 0; k < result.fParameters.size(); ++k) {
      const auto& p = result.fParameters[k];
      const auto& r = reference["parameters"][k];
      if (r["redundant"].get<bool>()) {
        EXPECT_FALSE(p.fStdError || p.fT || p.fP) << name << " " << p.fLabel;
        continue;
      }
      ASSERT_TRUE(p.fStdError && p.fT && p.fP) << name << " " << p.fLabel;
      EXPECT_TRUE(qxfit_test::Near(*p.fStdError, r["std_error"], 1e-12)) << name << " " << p.fLabel;
      EXPECT_TRUE(qxfit_test::Near(*p.fT, r["t"], 1e-12)) << name << " " << p.fLabel;
      EXPECT_TRUE(qxfit_test::Near(*p.fP, r["p"], 1e-10)) << name << " " << p.fLabel << ": " << *p.fP;
    }
  }
}

TEST(FitStatisticsTest, NothingIsFormedWithoutErrorDegreesOfFreedom) {
  FitResult result;
  result.fRmse = 0.0;
  result.fDfError = 0.0;  // as many parameters as records
  result.fTotalFreqWeight = 2.0;
  result.fParameters = {ParameterResult{"Intercept", 1.0, false, {}, {}, {}}};
  QXFit::FillParameterStatistics(result, {0.5});
  EXPECT_FALSE(result.fSigma);
  EXPECT_FALSE(result.fParameters[0].fStdError);
  // An exact fit with error degrees of freedom: a zero standard error, but no t or p.
  result.fDfError = 3.0;
  QXFit::FillParameterStatistics(result, {0.5});
  ASSERT_TRUE(result.fParameters[0].fStdError);
  EXPECT_EQ(*result.fParameters[0].fStdError, 0.0);
  EXPECT_FALSE(result.fParameters[0].fT);
  EXPECT_FALSE(result.fParameters[0].fP);
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
    fResult.fParameters = {ParameterResult{"Intercept", 2.0, false, 0.5, 4.0, 0.0052},
                           ParameterResult{"[A=a1]", -1.25, false, 0.75, -1.6667, 1e-300},
                           ParameterResult{"[A=a2]", 0.0, true, {}, {}, {}}};
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
  const auto& fit = doc["fit"];
  EXPECT_EQ(fit["r_squared"], 0.25);
  EXPECT_EQ(fit["rmse"], 1.5);
  EXPECT_EQ(fit["df_error"], 7.0);
  EXPECT_EQ(fit["total_freq_weight"], 9.0);
  EXPECT_EQ(fit["total_regr_weight"], 9.0);
  ASSERT_EQ(doc["parameters"].size(), 3u);
  EXPECT_EQ(doc["parameters"][1]["label"], "[A=a1]");
  EXPECT_EQ(doc["parameters"][1]["estimate"], -1.25);
  EXPECT_EQ(doc["parameters"][1]["std_error"], 0.75);
  EXPECT_EQ(doc["parameters"][1]["redundant"], false);
  EXPECT_EQ(doc["parameters"][2]["estimate"], 0.0);
  EXPECT_TRUE(doc["parameters"][2]["std_error"].is_null());
  EXPECT_EQ(doc["parameters"][2]["redundant"], true);

  // A statistic that cannot be formed is null, never a number standing in for it.
  fResult.fRSquared.reset();
  fResult.fRmse = std::nan("");
  const auto missing = ReportWriter::ToJson(fResult);
  EXPECT_TRUE(missing["fit"]["r_squared"].is_null());
  EXPECT_TRUE(missing["fit"]["rmse"].is_null());
}

TEST_F(ReportTest, TableAlignsColumnsAndMarksRedundantParameters) {
  std::ostringstream out;
  ReportWriter::WriteTable(fResult, out);
  const std::string text = out.str();
  std::istringstream lines(text);
  std::vector<std::string> rows;
  for (std::string line; std::getline(lines, line);) rows.push_back(line);
  ASSERT_GE(rows.size(), 6u);
  EXPECT_EQ(rows[0], "Model: y ~ A");
  EXPECT_EQ(rows[2], "Parameter     Estimate  Std. Error  t value  Pr(>|t|)");
  EXPECT_EQ(rows[3], "Intercept            2         0.5    4.000    0.0052");
  EXPECT_EQ(rows[4], "[A=a1]           -1.25        0.75   -1.667  <2.2e-16");
  EXPECT_EQ(rows[5], "[A=a2]     (redundant)");
  EXPECT_NE(text.find("R-square:                 0.25\n"), std::string::npos);
  EXPECT_NE(text.find("on 7 degrees of freedom"), std::string::npos);
  EXPECT_NE(text.find("Records:                  10 read, 9 used\n"), std::string::npos);
}

}  // namespace
