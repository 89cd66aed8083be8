// qxfit's multinomial logistic regressions run as a user runs them, on public datasets, against R
// (tests/reference/logistic_qxfit.json, from VGAM's fit refined to rounding level; see the script):
// the JSON report (parameters by category with their Wald tests and odds ratios, -2 log-likelihoods,
// the likelihood-ratio test, pseudo R-squares, Type III Wald tests, the classification table), the
// --predict probabilities, and the --pmml document scored by hand as a PMML consumer would, which
// must reproduce the tool's own probabilities.
//
// Tolerances (relative): 1e-9 on estimates, standard errors, statistics, log-likelihoods and
// probabilities. The library stops when the relative parameter change falls below 1e-6 and Fisher
// scoring converges quadratically, so its estimates come within about 5e-11 of the maximum; the
// worst conditioned case (a covariate and its square) also leaves R's refined estimates about 1e-11
// from it. The document against the tool's own predictions: 1e-12, as both compute the same
// softmax from the same estimates (the document writes them to 17 digits).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "tests/export/pmml_scorer.h"
#include "tests/frontend/qxfit_reference.h"
#include "tests/frontend/tools_test_files.h"
#include "tests/tools/qxfit_run.h"

namespace {

using qxfit_test::Near;
using qxfit_test::RunOutput;
using qxfit_test::RunQxfit;
using qxfit_test::TempFile;
using Json = nlohmann::json;

const std::string kRoot = std::string(QX_TEST_DATA_DIR) + "/..";
constexpr double kTolerance = 1e-9;
constexpr double kPFloor = 1e-290;

const Json& Cases() {
  static const Json cases = [] {
    std::ifstream in(std::string(QX_TEST_REFERENCE_DIR) + "/logistic_qxfit.json");
    return Json::parse(in)["cases"];
  }();
  return cases;
}

std::vector<std::vector<std::string>> ReadCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
      const std::size_t comma = line.find(',', start);
      fields.push_back(line.substr(start, comma - start));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    rows.push_back(std::move(fields));
  }
  return rows;
}

void ExpectNear(const Json& value, const Json& expected, const std::string& what, double floor = 1e-300) {
  if (expected.is_null()) {
    EXPECT_TRUE(value.is_null()) << what << ": " << value;
    return;
  }
  ASSERT_TRUE(value.is_number()) << what << ": " << value;
  EXPECT_TRUE(Near(value.get<double>(), expected.get<double>(), kTolerance, floor))
      << what << ": " << value << " against R's " << expected;
}

class LogisticAgainstR : public ::testing::TestWithParam<std::size_t> {};

TEST_P(LogisticAgainstR, ReportPredictionsAndPmmlMatchR) {
  const Json& c = Cases()[GetParam()];
  const Json& ref = c["reference"];
  const TempFile predictions("predicted.csv");
  const TempFile pmml("model.pmml");
  std::vector<std::string> args = c["args"].get<std::vector<std::string>>();
  args.insert(args.begin(), {"--json", "--predict", predictions.Path(), "--pmml", pmml.Path()});
  args.push_back(kRoot + "/" + c["data"].get<std::string>());
  args.push_back(c["formula"]);
  const RunOutput run = RunQxfit(args);
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  EXPECT_EQ(run.fErr, "");
  const Json doc = Json::parse(run.fOut);
  EXPECT_EQ(doc["test"], "chisq");
  EXPECT_EQ(doc["warnings"], Json::array());

  const Json& logistic = doc["logistic"];
  EXPECT_EQ(logistic["response"], ref["response"]);
  EXPECT_EQ(logistic["categories"], ref["categories"]);
  EXPECT_EQ(logistic["reference"], ref["categories"].back());
  // An intercept-only model's starting values are its estimates (state 9, no iteration).
  const int state = logistic["convergence"]["state"].get<int>();
  EXPECT_TRUE(logistic["convergence"]["converged"].get<bool>() || (state == 9 && ref["lr_df"] == 0))
      << logistic["convergence"];
  ExpectNear(logistic["minus2_log_likelihood"]["intercept_only"], ref["minus2ll_intercept_only"], "-2LL0");
  ExpectNear(logistic["minus2_log_likelihood"]["final"], ref["minus2ll_final"], "-2LL");
  ExpectNear(logistic["likelihood_ratio"]["chi_square"], ref["lr_chi_square"], "LR chi-square");
  EXPECT_EQ(logistic["likelihood_ratio"]["df"], ref["lr_df"]);
  ExpectNear(logistic["likelihood_ratio"]["p"], ref["lr_p"], "LR p", kPFloor);
  for (const char* r2 : {"cox_snell", "nagelkerke", "mcfadden"})
    ExpectNear(logistic["pseudo_r_squared"][r2], ref[r2], r2);
  EXPECT_EQ(doc["fit"]["total_freq_weight"], ref["total_freq_weight"]);

  // Whole weights counted exactly; the percentages follow from them.
  const Json& classification = logistic["classification"];
  ASSERT_EQ(classification.size(), ref["classification"].size());
  for (std::size_t i = 0; i < classification.size(); ++i) {
    const Json& row = classification[i];
    const Json& expected = ref["classification"][i];
    EXPECT_EQ(row["observed"], expected["observed"]);
    for (std::size_t j = 0; j < ref["categories"].size(); ++j)
      EXPECT_EQ(row["predicted"][ref["categories"][j].get<std::string>()], expected["predicted"][j])
          << row["observed"] << " predicted " << ref["categories"][j];
    ExpectNear(row["percent_correct"], expected["percent_correct"], "percent correct");
  }
  ExpectNear(logistic["percent_correct"], ref["percent_correct"], "overall percent correct");

  const Json& parameters = doc["parameters"];
  ASSERT_EQ(parameters.size(), ref["parameters"].size());
  double scale = 0.0;
  for (const Json& r : ref["parameters"]) scale = std::max(scale, std::fabs(r["estimate"].get<double>()));
  for (std::size_t k = 0; k < parameters.size(); ++k) {
    const Json& p = parameters[k];
    const Json& r = ref["parameters"][k];
    const std::string what = r["category"].get<std::string>() + " " + r["label"].get<std::string>();
    EXPECT_EQ(p["label"], r["label"]) << k;
    EXPECT_EQ(p["category"], r["category"]) << k;
    ASSERT_EQ(p["redundant"], r["redundant"]) << what;
    if (r["redundant"].get<bool>()) {
      EXPECT_EQ(p["estimate"], 0.0) << what;
      for (const char* name :
           {"std_error", "statistic", "p", "lower", "upper", "exp_b", "exp_lower", "exp_upper"})
        EXPECT_TRUE(p[name].is_null()) << what << " " << name;
      continue;
    }
    ExpectNear(p["estimate"], r["estimate"], what, scale);
    ExpectNear(p["std_error"], r["std_error"], what + " std. error");
    ExpectNear(p["statistic"], r["chi_square"], what + " chi-square");
    EXPECT_EQ(p["df"], 1.0) << what;
    ExpectNear(p["p"], r["p"], what + " p", kPFloor);
    ExpectNear(p["lower"], r["lower"], what + " lower", scale);
    ExpectNear(p["upper"], r["upper"], what + " upper", scale);
    // An exponential's relative error is its exponent's absolute error, which is on the estimates' scale.
    for (const char* name : {"exp_b", "exp_lower", "exp_upper"}) {
      ASSERT_TRUE(p[name].is_number()) << what << " " << name;
      EXPECT_TRUE(Near(std::log(p[name].get<double>()), std::log(r[name].get<double>()), kTolerance, scale))
          << what << " " << name << ": " << p[name] << " against R's " << r[name];
    }
    // glm's own fit for two categories, which converges as tightly.
    if (!r["glm_estimate"].is_null())
      ExpectNear(p["estimate"], r["glm_estimate"], what + " against glm", scale);
  }

  const Json& type3 = doc["effect_tests"]["type3"];
  ASSERT_EQ(type3.size(), ref["type3"].size());
  for (std::size_t e = 0; e < type3.size(); ++e) {
    const Json& r = ref["type3"][e];
    EXPECT_EQ(type3[e]["effect"], r["effect"]);
    EXPECT_EQ(type3[e]["df"], r["df"]) << r["effect"];
    EXPECT_TRUE(type3[e]["df_error"].is_null());
    ExpectNear(type3[e]["statistic"], r["chi_square"], r["effect"].get<std::string>() + " Type III");
    ExpectNear(type3[e]["p"], r["p"], r["effect"].get<std::string>() + " Type III p", kPFloor);
  }

  // --predict: the predicted category and one probability per level, in the levels' order.
  const auto rows = ReadCsv(predictions.Read());
  const std::size_t nLevels = ref["levels"].size();
  ASSERT_EQ(rows.size(), ref["predicted"].size() + 1);
  std::vector<std::string> header{"predicted"};
  for (const Json& level : ref["levels"]) header.push_back("prob_" + level.get<std::string>());
  EXPECT_EQ(rows[0], header);
  for (std::size_t i = 1; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].size(), nLevels + 1) << "row " << i;
    EXPECT_EQ(rows[i][0], ref["predicted"][i - 1]) << "row " << i;
    for (std::size_t j = 0; j < nLevels; ++j)
      EXPECT_TRUE(Near(std::stod(rows[i][j + 1]), ref["probabilities"][i - 1][j], kTolerance))
          << "row " << i << " " << header[j + 1] << ": " << rows[i][j + 1];
  }

  // The document scored by hand from the data's values, as a PMML consumer receives them.
  const pmml_scoring::Scorer scorer(pmml.Read());
  EXPECT_EQ(scorer.ModelType(), "multinomialLogistic");
  std::ifstream data(kRoot + "/" + c["data"].get<std::string>());
  const std::string dataText((std::istreambuf_iterator<char>(data)), std::istreambuf_iterator<char>());
  const auto dataRows = ReadCsv(dataText);
  ASSERT_EQ(dataRows.size(), rows.size());
  for (std::size_t i = 1; i < dataRows.size(); ++i) {
    pmml_scoring::Inputs inputs;
    for (std::size_t col = 0; col < dataRows[0].size(); ++col) {
      const std::string& value = dataRows[i][col];
      char* end = nullptr;
      const double number = std::strtod(value.c_str(), &end);
      inputs.categorical[dataRows[0][col]] = value;
      if (end != value.c_str() && *end == '\0') inputs.continuous[dataRows[0][col]] = number;
    }
    const std::vector<double> probabilities = scorer.Probabilities(inputs);
    ASSERT_EQ(probabilities.size(), nLevels);
    for (std::size_t j = 0; j < nLevels; ++j)
      EXPECT_TRUE(Near(probabilities[j], std::stod(rows[i][j + 1]), 1e-12))
          << "row " << i << " " << header[j + 1] << ": " << probabilities[j] << " from the document";
  }
}

INSTANTIATE_TEST_SUITE_P(Datasets, LogisticAgainstR, ::testing::Range<std::size_t>(0, Cases().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                           return Cases()[info.param]["name"].get<std::string>();
                         });

// A fit that stops short says so in the report and its warnings, with the history on stderr when
// asked; a reference category without weight is replaced by the last one with a warning; a response
// with one category is refused by the library.
TEST(QxfitLogisticTest, FitsThatStopShortOrCannotRunSaySo) {
  RunOutput run =
      RunQxfit({"--json", "--iterations", kRoot + "/data/iris.csv", "Species ~ Sepal.Length + Sepal.Width"});
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  Json doc = Json::parse(run.fOut);
  const Json& convergence = doc["logistic"]["convergence"];
  EXPECT_FALSE(convergence["converged"].get<bool>()) << convergence;
  EXPECT_EQ(convergence["description"].get<std::string>().rfind("not converged: ", 0), 0u) << convergence;
  ASSERT_EQ(doc["warnings"].size(), 1u);
  EXPECT_EQ(doc["warnings"][0].get<std::string>().rfind("warning 337: ", 0), 0u) << doc["warnings"];
  // One line per iteration, from the starting values on.
  EXPECT_EQ(run.fErr.rfind("qxfit: iteration 0: -2 log-likelihood 329.583", 0), 0u) << run.fErr;
  EXPECT_EQ(std::count(run.fErr.begin(), run.fErr.end(), '\n'), doc["logistic"]["iterations"].get<int>() + 1);

  const TempFile noWeight("no_weight.csv", "y,x\na,1\nb,2\na,3\nb,4\nc,\na,2\nb,3\n");
  run = RunQxfit({"--json", "--reference", "y=c", noWeight.Path(), "y ~ x"});
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  doc = Json::parse(run.fOut);
  EXPECT_EQ(doc["logistic"]["categories"], Json({"a", "b"}));
  ASSERT_EQ(doc["warnings"].size(), 1u);
  EXPECT_EQ(doc["warnings"][0].get<std::string>().rfind("warning 319: ", 0), 0u) << doc["warnings"];

  const TempFile one("one.csv", "y,x\na,1\na,2\na,3\n");
  run = RunQxfit({one.Path(), "y ~ x"});
  EXPECT_EQ(run.fExitCode, 1);
  EXPECT_EQ(run.fErr,
            "qxfit: the model cannot be fitted: error 318: the dependent variable has fewer than two "
            "categories with positive weight\n");
}

// --predict-data scores new rows as the fitted ones; a row with a missing value or an unseen level
// has empty fields and is named on stderr.
TEST(QxfitLogisticTest, NewRowsAreScoredAsTheFittedRows) {
  const std::string data = kRoot + "/data/housing.csv";
  const std::vector<std::string> model{"--freq-weight", "Freq", data, "Sat ~ Infl + Type + Cont"};
  const TempFile fitted("fitted.csv");
  std::vector<std::string> args{"--predict", fitted.Path()};
  args.insert(args.end(), model.begin(), model.end());
  RunOutput run = RunQxfit(args);
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  const auto fittedRows = ReadCsv(fitted.Read());

  // Data rows 1 and 72, then an unseen level and a missing value.
  const TempFile newRows("new.csv",
                         "Cont,Type,Infl\nLow,Tower,Low\nHigh,Terrace,High\nLow,Castle,Low\n,Tower,Low\n");
  const TempFile scored("scored.csv");
  args = {"--predict", scored.Path(), "--predict-data", newRows.Path()};
  args.insert(args.end(), model.begin(), model.end());
  run = RunQxfit(args);
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  EXPECT_NE(run.fErr.find("note: 2 rows (lines 4, 5) of --predict-data have no prediction"),
            std::string::npos)
      << run.fErr;
  const auto rows = ReadCsv(scored.Read());
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"predicted", "prob_High", "prob_Low", "prob_Medium"}));
  EXPECT_EQ(rows[1], fittedRows[1]);
  EXPECT_EQ(rows[2], fittedRows[72]);
  EXPECT_EQ(rows[3], (std::vector<std::string>(4, "")));
  EXPECT_EQ(rows[4], (std::vector<std::string>(4, "")));
}

// The PMML document of a linear model scores as the tool predicts.
TEST(QxfitLogisticTest, LinearModelsPmmlScoresAsItsPredictions) {
  const TempFile fitted("fitted.csv");
  const TempFile pmml("model.pmml");
  const std::string data = kRoot + "/data/warpbreaks.csv";
  const RunOutput run =
      RunQxfit({"--predict", fitted.Path(), "--pmml", pmml.Path(), data, "breaks ~ wool*tension"});
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  const pmml_scoring::Scorer scorer(pmml.Read());
  EXPECT_EQ(scorer.ModelType(), "generalLinear");
  // A column in two roles has no single PMML field.
  const RunOutput twoRoles =
      RunQxfit({"--pmml", pmml.Path(), kRoot + "/data/ToothGrowth.csv", "len ~ factor(dose) + dose"});
  EXPECT_EQ(twoRoles.fExitCode, 1);
  EXPECT_EQ(twoRoles.fErr,
            "qxfit: --pmml: the column 'dose' has two roles in the model (as in factor(x) + x), and a PMML "
            "field can "
            "have only one\n");
  std::ifstream in(data);
  const auto dataRows =
      ReadCsv(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
  const auto predicted = ReadCsv(fitted.Read());
  ASSERT_EQ(predicted.size(), dataRows.size());
  for (std::size_t i = 1; i < dataRows.size(); ++i) {
    const pmml_scoring::Inputs inputs{{{"wool", dataRows[i][1]}, {"tension", dataRows[i][2]}}, {}};
    EXPECT_TRUE(Near(scorer.Predict(inputs), std::stod(predicted[i][0]), 1e-12)) << "row " << i;
  }
}

}  // namespace
