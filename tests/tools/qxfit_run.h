// Runs the built qxfit executable as a user does, with its standard output and error captured.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/frontend/tools_test_files.h"

namespace qxfit_test {

struct RunOutput {
  int fExitCode = -1;
  std::string fOut;
  std::string fErr;
};

inline std::string ShellQuote(const std::string& text) {
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

// Runs qxfit with `args`, standard input from `input` (nothing when empty).
inline RunOutput RunQxfit(const std::vector<std::string>& args, const std::string& input = "") {
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
  command += " <" + ShellQuote(input.empty() ? "/dev/null" : input);
  const int status = std::system(command.c_str());
  RunOutput run;
  run.fExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.fOut = out.Read();
  run.fErr = err.Read();
  return run;
}

}  // namespace qxfit_test
