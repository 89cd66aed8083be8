// The whole run of qxfit in process, as the fuzzing harness drives it: inputs that broke the tool
// (most found by fuzzing) and what it now does with them. Each runs the command line through
// CommandLine::Parse and RunTool, the two halves of main().
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/CommandLine.h"
#include "frontend/RunTool.h"
#include "tests/frontend/tools_test_files.h"

namespace {

using QXFit::CommandLine;
using qxfit_test::TempFile;

struct ToolRun {
  int fExitCode = -1;
  std::string fOut;
  std::string fErr;
};

// qxfit --quiet ARGS DATA FORMULA, with DATA holding `data`.
ToolRun RunInProcess(const std::string& data, const std::string& formula,
                     std::vector<std::string> args = {}) {
  const TempFile file("data", data);
  args.insert(args.begin(), {"qxfit", "--quiet"});
  args.push_back(file.Path());
  args.push_back(formula);
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  QXFit::Options options;
  ToolRun run;
  run.fExitCode = CommandLine::Parse(static_cast<int>(argv.size()), argv.data(), options, run.fErr);
  if (run.fExitCode >= 0) return run;
  std::ostringstream out, err;
  run.fExitCode = QXFit::RunTool(options, out, err);
  run.fOut = out.str();
  run.fErr = err.str();
  return run;
}

TEST(RunToolTest, FitsAndReportsInProcess) {
  const ToolRun run = RunInProcess("y,x\n1,1\n2,2\n4,3\n3,4\n", "y ~ x", {"--json"});
  ASSERT_EQ(run.fExitCode, CommandLine::kSuccess) << run.fErr;
  EXPECT_EQ(run.fErr, "");
  EXPECT_EQ(nlohmann::json::parse(run.fOut)["records"]["used"], 4);
  const ToolRun bad = RunInProcess("y,x\n1,1\n", "y ~ w");
  EXPECT_EQ(bad.fExitCode, CommandLine::kUsage);
  EXPECT_EQ(bad.fErr.rfind("qxfit: unknown column 'w'", 0), 0u) << bad.fErr;
}

// Names and levels are the data's bytes: --json aborted with an uncaught exception on one that is not
// UTF-8.
TEST(RunToolTest, JsonOfNamesAndLevelsThatAreNotUtf8) {
  const ToolRun run =
      RunInProcess("y,\xffx,g\n1,2,a\xc3\n2,3,b\n3,5,a\xc3\n5,4,b\n", "y ~ \xffx + g", {"--json"});
  ASSERT_EQ(run.fExitCode, CommandLine::kSuccess) << run.fErr;
  std::vector<std::string> labels;
  const auto doc = nlohmann::json::parse(run.fOut);
  for (const auto& p : doc["parameters"]) labels.push_back(p["label"]);
  EXPECT_EQ(labels, (std::vector<std::string>{"Intercept", "\xef\xbf\xbdx", "[g=a\xef\xbf\xbd]", "[g=b]"}));
}

}  // namespace
