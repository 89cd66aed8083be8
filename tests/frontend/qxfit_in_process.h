// Runs qxfit in the test's own process: the command line through CommandLine::Parse and RunTool, the
// two halves of main(), with the output and the errors captured. main() prefixes the command line's
// errors with "qxfit: "; here they come as Parse gives them.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "frontend/CommandLine.h"
#include "frontend/RunTool.h"

namespace qxfit_test {

struct ToolRun {
  int fExitCode = -1;
  std::string fOut;
  std::string fErr;
};

// qxfit --quiet ARGS.
inline ToolRun RunInProcess(std::vector<std::string> args) {
  args.insert(args.begin(), {"qxfit", "--quiet"});
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  QXFit::Options options;
  ToolRun run;
  run.fExitCode = QXFit::CommandLine::Parse(static_cast<int>(argv.size()), argv.data(), options, run.fErr);
  if (run.fExitCode >= 0) return run;
  std::ostringstream out, err;
  run.fExitCode = QXFit::RunTool(options, out, err);
  run.fOut = out.str();
  run.fErr = err.str();
  return run;
}

}  // namespace qxfit_test
