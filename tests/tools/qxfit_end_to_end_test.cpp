// qxfit run as a user runs it, on the shipped public datasets: the JSON it prints is parsed and
// compared with lm() on the same model (tests/reference/qxfit_<case>.json), the predictions with R's
// fitted values, and the errors with their exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/QXMissingValue.h"
#include "tests/tools/qxfit_reference.h"
#include "tests/tools/tools_test_files.h"

namespace {

using qxfit_test::Near;
using qxfit_test::TempFile;

const std::string kRoot = std::string(QX_TEST_DATA_DIR) + "/..";

struct RunOutput {
  int fExitCode = -1;
  std::string fOut;
  std::string fErr;
};

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  quoted += '\'';
  return quoted;
}

RunOutput RunQxfit(const std::vector<std::string>& args) {
  const TempFile out("stdout.txt");
  const TempFile err("stderr.txt");
  std::string command = ShellQuote(QXFIT_EXECUTABLE);
  for (const auto& a : args) {
    command += ' ';
    command += ShellQuote(a);
  }
  command += " >";
  command += ShellQuote(out.Path());
  command += " 2>";
  command += ShellQuote(err.Path());
  command += " </dev/null";
  const int status = std::system(command.c_str());
  RunOutput run;
  run.fExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.fOut = out.Read();
  run.fErr = err.Read();
  return run;
}

std::vector<std::string> CaseArgs(const nlohmann::json& c) {
  std::vector<std::string> args = c["args"].get<std::vector<std::string>>();
  args.push_back(kRoot + "/" + c["data"].get<std::string>());
  args.push_back(c["formula"]);
  return args;
}

// Agreement with lm() on the same parameterisation. The library sweeps in double-double and lm uses
// Householder QR in double: both are accurate to about 1e-13 on these well-conditioned designs, so
// 1e-9 leaves room without hiding a wrong cell or a wrong weight. An estimate that is 0 in exact
// arithmetic is compared against the scale of the largest estimate instead.
constexpr double kTolerance = 1e-9;

class EndToEndTest : public ::testing::TestWithParam<std::string> {};

TEST_P(EndToEndTest, JsonMatchesLmAndPredictionsMatchFittedValues) {
  const auto c = qxfit_test::LoadCase(GetParam());
  const auto& ref = c["reference"];
  const TempFile predictions("predicted.csv");
  auto args = CaseArgs(c);
  args.insert(args.begin(), {"--json", "--predict", predictions.Path()});
  const RunOutput run = RunQxfit(args);
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  EXPECT_EQ(run.fErr, "");
  const auto doc = nlohmann::json::parse(run.fOut);

  EXPECT_EQ(doc["model"], c["formula"]);
  EXPECT_EQ(doc["records"]["read"], c["records"]["read"]);
  EXPECT_EQ(doc["records"]["used"], c["records"]["used"]);
  const auto& fit = doc["fit"];
  EXPECT_TRUE(Near(fit["r_squared"], ref["r_squared"], kTolerance)) << fit["r_squared"];
  EXPECT_TRUE(Near(fit["rmse"], ref["rmse"], kTolerance)) << fit["rmse"];
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
    EXPECT_TRUE(Near(p["estimate"], r["estimate"], kTolerance, scale)) << label << ": " << p["estimate"];
    if (r["redundant"].get<bool>()) {
      EXPECT_EQ(p["estimate"], 0.0) << label;
      EXPECT_TRUE(p["std_error"].is_null()) << label;
    } else {
      EXPECT_TRUE(Near(p["std_error"], r["std_error"], kTolerance)) << label << ": " << p["std_error"];
    }
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

INSTANTIATE_TEST_SUITE_P(Datasets, EndToEndTest, ::testing::ValuesIn(qxfit_test::ReferenceCases()),
                         [](const auto& info) { return info.param.substr(6); });

TEST(QxfitTest, TablePrintsLabelsStatisticsAndRecords) {
  const RunOutput run = RunQxfit({kRoot + "/data/warpbreaks.csv", "breaks ~ wool*tension"});
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  const std::string& out = run.fOut;
  // The numbers are lm()'s (qxfit_warpbreaks.json) as the table rounds them.
  EXPECT_EQ(out.rfind("Model: breaks ~ wool*tension\n", 0), 0u) << out;
  EXPECT_NE(out.find("Parameter                  Estimate  Std. Error  t value  Pr(>|t|)\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Intercept                   28.7778     3.64676    7.891  3.22e-10\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("[wool=B] * [tension=M]  (redundant)\n"), std::string::npos) << out;
  EXPECT_NE(out.find("R-square:                 0.377751\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Residual standard error:  10.9403  on 48 degrees of freedom\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("Records:                  54 read, 54 used\n"), std::string::npos) << out;
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
      {{data, "breaks ~ wool + zz"}, 2, "qxfit: unknown column 'zz'\n"},
      {{data, "breaks ~ wool +"}, 2, "qxfit: bad formula: the formula ends where a term is expected\n"},
      {{"--factor", "wool", data, "wool ~ tension"},
       2,
       "qxfit: the response 'wool' must be a numeric column, not a factor\n"},
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
