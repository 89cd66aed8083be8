// qxfit run as a user runs it, on the shipped public datasets: the JSON it prints is parsed and
// compared with lm() on the same model (tests/reference/qxfit_<case>.json), the predictions with R's
// fitted values, and the errors with their exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/QXMissingValue.h"
#include "tests/frontend/qxfit_reference.h"
#include "tests/frontend/tools_test_files.h"
#include "tests/tools/qxfit_run.h"

namespace {

using qxfit_test::Near;
using qxfit_test::RunOutput;
using qxfit_test::RunQxfit;
using qxfit_test::TempFile;

const std::string kRoot = std::string(QX_TEST_DATA_DIR) + "/..";

std::vector<std::string> CaseArgs(const nlohmann::json& c) {
  std::vector<std::string> args = c["args"].get<std::vector<std::string>>();
  args.push_back(kRoot + "/" + c["data"].get<std::string>());
  args.push_back(c["formula"]);
  return args;
}

// Agreement with R. The library sweeps in double-double and lm uses Householder QR in double; car
// forms its Type III statistics from lm's coefficients and covariance. All are accurate to about 1e-12
// on these designs (the largest difference seen is 2.3e-12), so 1e-10 leaves room without hiding a
// wrong cell, weight or hypothesis. An estimate
// that is 0 in exact arithmetic is compared against the scale of the largest estimate instead.
constexpr double kTolerance = 1e-10;
// p-values: a relative error e in a statistic moves a tail probability p by about e |ln p|, and the
// smallest p here is near 1e-280; probabilities below 1e-290 are all taken as 0 (R's and Boost's
// underflow points differ).
constexpr double kPTolerance = 1e-10;
constexpr double kPFloor = 1e-290;

// A number of the document against R's, null where R has none.
void ExpectNear(const nlohmann::json& value, const nlohmann::json& expected, double tolerance,
                const std::string& what, double floor = 1e-300) {
  if (expected.is_null()) {
    EXPECT_TRUE(value.is_null()) << what << ": " << value;
    return;
  }
  ASSERT_TRUE(value.is_number()) << what << ": " << value;
  EXPECT_TRUE(Near(value.get<double>(), expected.get<double>(), tolerance, floor))
      << what << ": " << value << " against R's " << expected;
}

struct RunCase {
  std::string fName;
  bool fbChiSquare;
};

void PrintTo(const RunCase& run, std::ostream* out) {
  *out << run.fName << (run.fbChiSquare ? " --test chisq" : " --test F");
}

class EndToEndTest : public ::testing::TestWithParam<RunCase> {};

// One case of tests/reference, run with --type both, as F tests or as chi-square tests: every number
// of the JSON document against R.
TEST_P(EndToEndTest, JsonMatchesR) {
  const bool chisq = GetParam().fbChiSquare;
  const auto c = qxfit_test::LoadCase(GetParam().fName);
  const auto& ref = c["reference"];
  const TempFile predictions("predicted.csv");
  auto args = CaseArgs(c);
  args.insert(args.begin(), {"--json", "--type", "both", "--predict", predictions.Path()});
  if (chisq) args.insert(args.begin(), {"--test", "chisq"});
  const RunOutput run = RunQxfit(args);
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  EXPECT_EQ(run.fErr, "");
  const auto doc = nlohmann::json::parse(run.fOut);

  EXPECT_EQ(doc["model"], c["formula"]);
  EXPECT_EQ(doc["records"]["read"], c["records"]["read"]);
  EXPECT_EQ(doc["records"]["used"], c["records"]["used"]);
  EXPECT_EQ(doc["records"]["left_out"], c["records"]["left_out"]);
  EXPECT_EQ(doc["test"], chisq ? "chisq" : "F");
  EXPECT_EQ(doc["confidence_level"], ref["level"]);
  const auto& fit = doc["fit"];
  ExpectNear(fit["r_squared"], ref["r_squared"], kTolerance, "R-square");
  ExpectNear(fit["rmse"], ref["rmse"], kTolerance, "RMSE");
  ExpectNear(fit["sigma"], ref["sigma"], kTolerance, "sigma");
  ExpectNear(fit["adj_r_squared"], ref["adj_r_squared"], kTolerance, "adjusted R-square");
  EXPECT_EQ(fit["df_error"], ref["df_error"]);
  EXPECT_EQ(fit["total_freq_weight"], ref["total_freq_weight"]);
  EXPECT_TRUE(Near(fit["total_regr_weight"], ref["total_regr_weight"], 1e-14));

  const auto& parameters = doc["parameters"];
  ASSERT_EQ(parameters.size(), ref["parameters"].size());
  double scale = 0.0;
  for (const auto& r : ref["parameters"]) scale = std::max(scale, std::fabs(r["estimate"].get<double>()));
  for (std::size_t k = 0; k < parameters.size(); ++k) {
    const auto& p = parameters[k];
    const auto& r = ref["parameters"][k];
    const std::string label = r["label"];
    EXPECT_EQ(p["label"], label);
    ASSERT_EQ(p["redundant"], r["redundant"]) << label;
    ExpectNear(p["estimate"], r["estimate"], kTolerance, label, scale);
    if (r["redundant"].get<bool>()) {
      EXPECT_EQ(p["estimate"], 0.0) << label;
      for (const char* name : {"std_error", "statistic", "df", "p", "lower", "upper"})
        EXPECT_TRUE(p[name].is_null()) << label << " " << name;
      continue;
    }
    ExpectNear(p["std_error"], r["std_error"], kTolerance, label);
    // A t near 0 is a difference of nearly equal numbers: its error is relative to the estimate's scale.
    const double tScale = scale / r["std_error"].get<double>();
    ExpectNear(p["statistic"], chisq ? r["chisq"] : r["t"], kTolerance, label + " statistic",
               chisq ? tScale * tScale : tScale);
    EXPECT_EQ(p["df"], chisq ? nlohmann::json(1.0) : ref["df_error"]) << label;
    ExpectNear(p["p"], chisq ? r["p_chisq"] : r["p"], kPTolerance, label + " p", kPFloor);
    ExpectNear(p["lower"], chisq ? r["lower_z"] : r["lower"], kTolerance, label + " lower", scale);
    ExpectNear(p["upper"], chisq ? r["upper_z"] : r["upper"], kTolerance, label + " upper", scale);
  }

  // The effect tables and the corrected model against anova, car::Anova and summary.lm.
  const auto& tests = doc["effect_tests"];
  const auto& rtests = ref["effect_tests"];
  const auto& labels = rtests["labels"];
  auto expectTest = [&](const nlohmann::json& e, const nlohmann::json& r, const std::string& what) {
    ExpectNear(e["df"], r["df"], 0.0, what + " df");
    ExpectNear(e["sum_sq"], r["sum_sq"], kTolerance, what + " sum of squares");
    ExpectNear(e["mean_sq"], r["mean_sq"], kTolerance, what + " mean square");
    ExpectNear(e["df_error"], chisq ? nlohmann::json() : r["df_error"], 0.0, what + " df_error");
    ExpectNear(e["statistic"], chisq ? r["chisq"] : r["F"], kTolerance, what + " statistic");
    ExpectNear(e["p"], chisq ? r["p_chisq"] : r["p"], kPTolerance, what + " p", kPFloor);
  };
  for (const char* type : {"type1", "type3"}) {
    const auto& table = tests[type];
    ASSERT_TRUE(table.is_array()) << type;
    ASSERT_EQ(table.size(), labels.size()) << type;
    for (std::size_t i = 0; i < table.size(); ++i) {
      const auto& e = table[i];
      const std::string what = std::string(type) + " " + labels[i].get<std::string>();
      EXPECT_EQ(e["effect"], labels[i]) << type;
      if (rtests[type].is_null()) continue;  // not comparable with R
      const auto& r = rtests[type][i];
      if (r["expect"] == "untestable") {
        EXPECT_TRUE(e["statistic"].is_null() && e["p"].is_null() && e["df"].is_null()) << what;
        ASSERT_TRUE(e["status"].is_string()) << what;
        EXPECT_NE(std::find(doc["warnings"].begin(), doc["warnings"].end(), e["status"]),
                  doc["warnings"].end());
      } else if (r["expect"] == "test") {
        EXPECT_TRUE(e["status"].is_null()) << what << ": " << e["status"];
        expectTest(e, r, what);
      }
    }
  }
  // The error row, as anova's Residuals.
  const auto& error = tests["error"];
  ASSERT_TRUE(error.is_object());
  EXPECT_EQ(error["df"], rtests["error"]["df"]);
  ExpectNear(error["sum_sq"], rtests["error"]["sum_sq"], kTolerance, "error sum of squares");
  ExpectNear(error["mean_sq"], rtests["error"]["mean_sq"], kTolerance, "error mean square");
  // None for a model with only an intercept, as summary.lm gives no F statistic for it.
  const auto& model = tests["corrected_model"];
  if (rtests["corrected_model"].is_null()) {
    EXPECT_TRUE(model.is_null());
  } else {
    ASSERT_TRUE(model.is_object());
    expectTest(model, rtests["corrected_model"], "corrected model");
    ExpectNear(model["r_squared"], rtests["corrected_model"]["r_squared"], kTolerance,
               "corrected model R-square");
    EXPECT_TRUE(model["status"].is_null());
  }

  // One line per data row, in order; empty where the row cannot be scored.
  std::istringstream lines(predictions.Read());
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line, "predicted");
  std::size_t row = 0;
  for (; std::getline(lines, line); ++row) {
    ASSERT_LT(row, ref["predicted"].size());
    const auto& expected = ref["predicted"][row];
    if (expected.is_null()) {
      EXPECT_EQ(line, "") << "row " << row + 1;
    } else {
      EXPECT_TRUE(Near(std::stod(line), expected, kTolerance)) << "row " << row + 1 << ": " << line;
    }
  }
  EXPECT_EQ(row, ref["predicted"].size());
}

std::vector<RunCase> AllRuns() {
  std::vector<RunCase> runs;
  for (const auto& name : qxfit_test::ReferenceCases()) {
    runs.push_back({name, false});
    runs.push_back({name, true});
  }
  return runs;
}

INSTANTIATE_TEST_SUITE_P(Datasets, EndToEndTest, ::testing::ValuesIn(AllRuns()), [](const auto& info) {
  return info.param.fName.substr(6) + (info.param.fbChiSquare ? "_chisq" : "_F");
});

TEST(QxfitTest, TablePrintsParametersEffectsAndFit) {
  const RunOutput run = RunQxfit({kRoot + "/data/warpbreaks.csv", "breaks ~ wool*tension"});
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  const std::string& out = run.fOut;
  // The numbers are R's (qxfit_warpbreaks.json) as the table rounds them; Type III by default.
  for (const char* line :
       {"Model: breaks ~ wool*tension\n\n",
        "\nParameter                Estimate  Std. Error  t value  Pr(>|t|)  Lower 95%  Upper 95%\n",
        "\nIntercept                 28.7778     3.64676    7.891  3.22e-10    21.4455    36.1101\n",
        "\n[wool=B] * [tension=M]  (redundant)\n",
        "\n\nTests of model effects (Type III)\nEffect          df   Sum Sq  Mean Sq  F value    Pr(>F)\n",
        "\ntension          2  2034.26  1017.13    8.498  0.000693\n",
        "\nError           48  5745.11   119.69\n",
        "\nR-square:                 0.377751\nAdjusted R-square:        0.312933\n",
        "\nCorrected model:          F = 5.828 on 5 and 48 degrees of freedom, p = 0.000277\n",
        "\nResidual standard error:  10.9403  on 48 degrees of freedom\n",
        "\nRecords:                  54 read, 54 used\n"})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
  EXPECT_EQ(out.find("Type I)"), std::string::npos);
  EXPECT_EQ(out.find("Warnings:"), std::string::npos);
}

TEST(QxfitTest, UntestableEffectIsMarkedAndItsWarningListed) {
  // The slope on dose lies in the span of the dose cells (qxfit_toothgrowth_aliased.R).
  const RunOutput run =
      RunQxfit({"--type", "1", kRoot + "/data/ToothGrowth.csv", "len ~ factor(dose) + dose"});
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  EXPECT_EQ(run.fErr, "");
  const std::string& out = run.fOut;
  // The one column in two roles gives two effects, labelled apart.
  for (const char* line :
       {"\n\nTests of model effects (Type I)\nEffect        df   Sum Sq  Mean Sq   F value    Pr(>F)\n",
        "\nfactor(dose)   2  2426.43  1213.22    67.416  9.53e-16\ndose          (not testable)\n",
        "\n\nWarnings:\n  warning 321: the hypothesis has no testable rows\n"})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
}

TEST(QxfitTest, WhatCannotBeTestedIsNullWithAWarning) {
  // As many parameters as records: no error degrees of freedom, so no test at all.
  const TempFile saturated("saturated.csv", "y,A\n1,a\n2,b\n3,c\n");
  RunOutput run = RunQxfit({"--json", saturated.Path(), "y ~ A"});
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  auto doc = nlohmann::json::parse(run.fOut);
  EXPECT_EQ(doc["fit"]["df_error"], 0.0);
  for (const auto& p : doc["parameters"])
    for (const char* name : {"std_error", "statistic", "df", "p", "lower", "upper"})
      EXPECT_TRUE(p[name].is_null()) << p["label"] << " " << name;
  EXPECT_EQ(doc["effect_tests"]["type3"], nlohmann::json::array());
  EXPECT_TRUE(doc["effect_tests"]["corrected_model"].is_null());
  EXPECT_EQ(doc["warnings"], nlohmann::json::array({"no error degrees of freedom (total weight 3 against 3 "
                                                    "estimable parameters): nothing is tested"}));

  // Fractional frequency weights that total less than the rank: no degrees of freedom either, never
  // a negative count.
  const TempFile fractional("fractional.csv", "y,x,f\n1,2,0.3\n2,3,0.4\n3,4,0.5\n4,7,0.2\n");
  run = RunQxfit({"--json", "--freq-weight", "f", fractional.Path(), "y ~ x"});
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  doc = nlohmann::json::parse(run.fOut);
  EXPECT_TRUE(doc["fit"]["df_error"].is_null());
  EXPECT_TRUE(doc["parameters"][1]["std_error"].is_null());
  EXPECT_EQ(doc["warnings"], nlohmann::json::array({"no error degrees of freedom (total weight 1.4 against 2 "
                                                    "estimable parameters): nothing is tested"}));

  // A constant response: said so, and no p-value beside a statistic that cannot be formed.
  const TempFile constant("constant.csv", "y,x\n5,1\n5,2\n5,3\n5,4\n5,6\n");
  run = RunQxfit({"--json", constant.Path(), "y ~ x"});
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  doc = nlohmann::json::parse(run.fOut);
  EXPECT_EQ(doc["warnings"][0],
            "the response is constant: R-square is not defined and the tests are not meaningful");
  for (const auto& p : doc["parameters"])
    if (p["statistic"].is_null()) {
      EXPECT_TRUE(p["p"].is_null()) << p["label"];
    }
  for (const auto& e : doc["effect_tests"]["type3"])
    if (e["statistic"].is_null()) {
      EXPECT_TRUE(e["p"].is_null()) << e["effect"];
    }
  run = RunQxfit({constant.Path(), "y ~ x"});
  EXPECT_EQ(run.fOut.find("<2.2e-16"), std::string::npos) << run.fOut;

  // A response that a covariate fits exactly: R's "essentially perfect fit".
  const TempFile exact("exact.csv", "y,x\n3,1\n5,2\n7,3\n9,4\n13,6\n");
  run = RunQxfit({"--json", exact.Path(), "y ~ x"});
  doc = nlohmann::json::parse(run.fOut);
  ASSERT_EQ(doc["warnings"].size(), 1u) << doc["warnings"];
  EXPECT_EQ(doc["warnings"][0].get<std::string>().rfind("essentially perfect fit", 0), 0u);
}

// --reference makes the estimates R's treatment contrasts with that baseline (qxfit_warpbreaks_reference.R).
TEST(QxfitTest, ReferenceLevelsGiveRsTreatmentContrasts) {
  const auto c = qxfit_test::LoadCase("qxfit_warpbreaks_reference");
  auto args = CaseArgs(c);
  args.insert(args.begin(), "--json");
  const RunOutput run = RunQxfit(args);
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  const auto doc = nlohmann::json::parse(run.fOut);
  const auto& contrasts = c["reference"]["treatment_contrasts"];
  ASSERT_EQ(contrasts.size(), 6u);
  for (const auto& r : contrasts) {
    const auto found = std::find_if(doc["parameters"].begin(), doc["parameters"].end(),
                                    [&](const nlohmann::json& p) { return p["label"] == r["label"]; });
    ASSERT_NE(found, doc["parameters"].end()) << r["label"];
    EXPECT_FALSE((*found)["redundant"].get<bool>()) << r["label"];
    ExpectNear((*found)["estimate"], r["estimate"], kTolerance, r["label"], 1.0);
    ExpectNear((*found)["std_error"], r["std_error"], kTolerance, r["label"]);
  }
  // The reference levels are the aliased ones.
  EXPECT_EQ(doc["parameters"][2]["label"], "[wool=A]");
  EXPECT_TRUE(doc["parameters"][2]["redundant"].get<bool>());
}

// Residuals, standardized residuals and new rows' predictions with their bounds against R's residuals,
// rstandard and predict (qxfit_mtcars_predict.R).
TEST(QxfitTest, ResidualsAndPredictionsForNewRowsMatchR) {
  const auto c = qxfit_test::LoadCase("qxfit_mtcars_predict");
  const auto& ref = c["reference"];
  auto readCsv = [](const std::string& text) {
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
      rows.push_back(fields);
    }
    return rows;
  };
  auto expectField = [](const std::string& field, const nlohmann::json& expected, const std::string& what) {
    if (expected.is_null()) {
      EXPECT_EQ(field, "") << what;
      return;
    }
    ASSERT_FALSE(field.empty()) << what;
    EXPECT_TRUE(Near(std::stod(field), expected.get<double>(), kTolerance, 1e-3))
        << what << ": " << field << " against " << expected;
  };

  const TempFile fitted("fitted.csv");
  auto args = CaseArgs(c);
  args.insert(args.begin(), {"--predict", fitted.Path(), "--residuals"});
  RunOutput run = RunQxfit(args);
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  auto rows = readCsv(fitted.Read());
  ASSERT_EQ(rows.size(), ref["residuals"].size() + 1);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"predicted", "residual", "std_residual"}));
  for (std::size_t i = 0; i < ref["residuals"].size(); ++i) {
    const auto& r = ref["residuals"][i];
    ASSERT_EQ(rows[i + 1].size(), 3u);
    expectField(rows[i + 1][0], ref["predicted"][i], "prediction " + std::to_string(i));
    expectField(rows[i + 1][1], r.is_null() ? r : r["residual"], "residual " + std::to_string(i));
    expectField(rows[i + 1][2], r.is_null() ? r : r["std_residual"], "standardized " + std::to_string(i));
  }

  const TempFile scored("scored.csv");
  args = CaseArgs(c);
  args.insert(args.begin(), {"--predict", scored.Path(), "--predict-data",
                             std::string(QX_TEST_REFERENCE_DIR) + "/qxfit_predict_new.csv"});
  run = RunQxfit(args);
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  // The two rows without a prediction are named on stderr.
  EXPECT_NE(run.fErr.find("note: 2 rows (lines 5, 6) of --predict-data have no prediction"),
            std::string::npos)
      << run.fErr;
  rows = readCsv(scored.Read());
  const auto& expected = ref["new_rows"];
  ASSERT_EQ(rows.size(), expected.size() + 1);
  const std::vector<std::string> names{"predicted",  "se_fit",     "conf_lower",
                                       "conf_upper", "pred_lower", "pred_upper"};
  EXPECT_EQ(rows[0], names);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(rows[i + 1].size(), names.size());
    for (std::size_t k = 0; k < names.size(); ++k)
      expectField(rows[i + 1][k], expected[i].is_null() ? expected[i] : expected[i][names[k]],
                  names[k] + " of new row " + std::to_string(i));
  }
}

// What a user types and reads around the fit: standard input, the version, the notices about values
// that change how a column is read or leave rows out, missing-value codes and a decimal comma.
TEST(QxfitTest, InputIsReadAsTheUserMeantAndChangesAreSaid) {
  const std::string data = kRoot + "/data/warpbreaks.csv";
  const RunOutput fromFile = RunQxfit({"--json", data, "breaks ~ wool"});
  const RunOutput fromStdin = RunQxfit({"--json", "-", "breaks ~ wool"}, data);
  ASSERT_EQ(fromStdin.fExitCode, 0) << fromStdin.fErr;
  EXPECT_EQ(fromStdin.fOut, fromFile.fOut);

  const RunOutput version = RunQxfit({"--version"});
  EXPECT_EQ(version.fExitCode, 0);
  EXPECT_EQ(version.fOut.rfind("qxfit ", 0), 0u);

  // One stray code in a numeric column makes it a factor: said on stderr, and undone by --na-strings.
  const TempFile stray("stray.csv", "y,x\n1,1.5\n2,n/a\n3,2.5\n4,3\n5,4.5\n6,5\n");
  RunOutput run = RunQxfit({"--json", stray.Path(), "y ~ x"});
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  EXPECT_EQ(
      run.fErr,
      "qxfit: note: column 'x' is read as a factor of texts: 1 of its 6 values is not a number ('n/a' on "
      "line 3); --na-strings names codes for missing values\n");
  run = RunQxfit({"--json", "--na-strings", "n/a", stray.Path(), "y ~ x"});
  EXPECT_EQ(run.fErr, "");
  auto doc = nlohmann::json::parse(run.fOut);
  EXPECT_EQ(doc["parameters"][1]["label"], "x");
  EXPECT_EQ(doc["records"]["left_out"]["missing"], 1);

  // Semicolons and decimal commas, as R's read.csv2 reads them; infinities and log(0) leave their rows
  // out with a note and a count.
  const TempFile european("european.csv", "y;x\n1,5;2\n2,5;4\n3,0;Inf\n3,5;8\n4,5;16\n5,0;0\n");
  run = RunQxfit({"--json", "--decimal-comma", european.Path(), "y ~ log(x)"});
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  EXPECT_EQ(
      run.fErr,
      "qxfit: note: 1 row (line 4) left out for a value that is not finite (NaN, Inf, -Inf)\n"
      "qxfit: note: 1 row (line 7) left out for a function outside its domain (log or sqrt of a negative "
      "value, log(0), exp overflowing)\n");
  doc = nlohmann::json::parse(run.fOut);
  EXPECT_EQ(doc["records"]["used"], 4);
  EXPECT_EQ(doc["records"]["left_out"]["not_finite"], 1);
  EXPECT_EQ(doc["records"]["left_out"]["undefined"], 1);
  // y = 1.5 + log2(x): exact, so the slope on log(x) is 1 / log(2).
  EXPECT_TRUE(Near(doc["parameters"][1]["estimate"], 1.0 / std::log(2.0), 1e-12));
}

// Formulas that would have crashed or hung: refused at once, with the limit.
TEST(QxfitTest, FormulasTooDeepOrTooLargeAreRefused) {
  const std::string data = kRoot + "/data/warpbreaks.csv";
  RunOutput run = RunQxfit({data, "breaks ~ " + std::string(60000, '(') + "wool" + std::string(60000, ')')});
  EXPECT_EQ(run.fExitCode, 2);
  EXPECT_NE(run.fErr.find("more than 256 deep"), std::string::npos) << run.fErr;
  std::string product = "breaks ~ c0";
  for (int i = 1; i < 30; ++i) product += "*c" + std::to_string(i);
  run = RunQxfit({data, product});
  EXPECT_EQ(run.fExitCode, 2);
  EXPECT_NE(run.fErr.find("more than 46339 terms"), std::string::npos) << run.fErr;
}

// The commands shown with their output in the README and in docs/qxfit.md print exactly that output.
TEST(QxfitTest, DocumentedOutputIsWhatTheToolPrints) {
  const std::string prompt = "$ build/release/tools/qxfit/qxfit ";
  int checked = 0;
  for (const char* document : {"README.md", "docs/qxfit.md"}) {
    std::ifstream in(kRoot + "/" + document);
    ASSERT_TRUE(in) << document;
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind(prompt, 0) != 0) continue;
      // The arguments: words, or texts in single quotes; data paths are relative to the repository.
      std::vector<std::string> args;
      std::string word;
      bool quoted = false, any = false;
      for (const char c : line.substr(prompt.size()) + " ") {
        if (c == '\'') {
          quoted = !quoted;
          any = true;
        } else if (c == ' ' && !quoted) {
          if (any) args.push_back(word.rfind("data/", 0) == 0 ? kRoot + "/" + word : word);
          word.clear();
          any = false;
        } else {
          word += c;
          any = true;
        }
      }
      std::string expected;
      while (std::getline(in, line) && line != "```") expected += line + "\n";
      const RunOutput run = RunQxfit(args);
      EXPECT_EQ(run.fExitCode, 0) << document << ": " << run.fErr;
      EXPECT_EQ(run.fOut, expected) << document;
      ++checked;
    }
  }
  EXPECT_GE(checked, 3);
}

TEST(QxfitTest, BinaryRecordFileGivesTheFitOfTheCsv) {
  // warpbreaks as doubles: breaks, wool coded 1/2 (A/B), tension coded by its sorted texts H/L/M.
  std::ifstream in(kRoot + "/data/warpbreaks.csv");
  std::string line;
  std::getline(in, line);
  std::vector<double> values;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string breaks, wool, tension;
    std::getline(fields, breaks, ',');
    std::getline(fields, wool, ',');
    std::getline(fields, tension, ',');
    values.push_back(std::stod(breaks));
    values.push_back(wool == "A" ? 1.0 : 2.0);
    values.push_back(tension == "H" ? 7.0 : tension == "L" ? 8.0 : 9.0);
  }
  values.insert(values.end(), {QXMV::gMissingValue, 1.0, 7.0});  // a row without a response
  const TempFile file("warpbreaks.bin");
  file.WriteDoubles(values);
  const RunOutput run = RunQxfit({"--json", "--binary", "breaks,wool,tension", "--factor", "wool,tension",
                                  file.Path(), "breaks ~ wool*tension"});
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  const auto doc = nlohmann::json::parse(run.fOut);
  const auto ref = qxfit_test::LoadCase("qxfit_warpbreaks")["reference"];
  EXPECT_EQ(doc["records"]["read"], 55);
  EXPECT_EQ(doc["records"]["used"], 54);
  ASSERT_EQ(doc["parameters"].size(), ref["parameters"].size());
  EXPECT_EQ(doc["parameters"][1]["label"], "[wool=1]");
  EXPECT_EQ(doc["parameters"][11]["label"], "[wool=2] * [tension=9]");
  for (std::size_t k = 0; k < doc["parameters"].size(); ++k)
    EXPECT_TRUE(Near(doc["parameters"][k]["estimate"], ref["parameters"][k]["estimate"], kTolerance, 1.0))
        << k;

  const TempFile truncated("truncated.bin");
  truncated.WriteDoubles({1.0, 2.0, 3.0, 4.0});
  const RunOutput broken = RunQxfit({"--binary", "breaks,wool,tension", truncated.Path(), "breaks ~ wool"});
  EXPECT_EQ(broken.fExitCode, 1);
  EXPECT_NE(broken.fErr.find("not a whole number of records"), std::string::npos) << broken.fErr;
}

TEST(QxfitTest, ErrorsAreOneLineWithTheirExitCode) {
  const std::string data = kRoot + "/data/warpbreaks.csv";
  struct Case {
    std::vector<std::string> fArgs;
    int fExitCode;
    std::string fMessage;
  };
  const TempFile header("header.csv", "y,x\n");
  const TempFile allMissing("missing.csv", "y,x\nNA,1\n2,\n");
  const std::vector<Case> cases = {
      {{data, "breaks ~ wool + zz"},
       2,
       "qxfit: unknown column 'zz'; the columns are breaks, wool, tension\n"},
      {{data, "breaks ~ Wool"}, 2, "qxfit: unknown column 'Wool' (did you mean 'wool'?); the columns are "},
      {{"--reference", "tension=X", data, "breaks ~ tension"},
       2,
       "qxfit: --reference: 'tension' has no level 'X'; its levels are H, L, M\n"},
      {{data, "breaks ~ wool +"}, 2, "qxfit: bad formula: the formula ends where a term is expected\n"},
      {{"--residuals", "--predict", "/dev/null", data, "wool ~ tension"},
       2,
       "qxfit: --residuals belong to a linear model; the response 'wool' is categorical\n"},
      {{"--reference", "wool=C", data, "wool ~ tension"},
       2,
       "qxfit: --reference: the response 'wool' has no level 'C'; its levels are A, B (or give first or "
       "last)\n"},
      {{"--nope", data, "breaks ~ wool"}, 2, "qxfit: The following argument was not expected: --nope\n"},
      {{kRoot + "/data/no-such.csv", "y ~ x"}, 1, "qxfit: cannot open '"},
      {{header.Path(), "y ~ x"}, 1, "qxfit: the model cannot be fitted: "},
      {{allMissing.Path(), "y ~ x"}, 1, "qxfit: the model cannot be fitted: "},
      {{data, "breaks ~ 0"}, 1, "qxfit: the model cannot be fitted: "},
  };
  for (const auto& c : cases) {
    const RunOutput run = RunQxfit(c.fArgs);
    EXPECT_EQ(run.fExitCode, c.fExitCode) << c.fArgs.back() << ": " << run.fErr;
    EXPECT_EQ(run.fErr.rfind(c.fMessage, 0), 0u) << run.fErr;
    EXPECT_EQ(std::count(run.fErr.begin(), run.fErr.end(), '\n'), 1) << run.fErr;
    EXPECT_EQ(run.fOut, "");
  }
  const RunOutput help = RunQxfit({"--help"});
  EXPECT_EQ(help.fExitCode, 0);
  EXPECT_NE(help.fOut.find("Usage:"), std::string::npos);
}

}  // namespace
