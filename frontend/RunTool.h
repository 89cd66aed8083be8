// The whole run of qxfit once its command line is parsed: reads the data, builds the model, fits it
// through the library and writes the report and the predictions. main() is this and nothing more, so
// that the tests and the fuzzing harness can run the tool's whole input path in their own process.
#pragma once

#include <ostream>

#include "frontend/CommandLine.h"

namespace QXFit {

// Runs the tool with `options`: the report goes to `out`, one-line errors and notes to `err`, and a
// progress bar (unless options.fbQuiet) to stderr when that is a terminal. Returns the exit code,
// CommandLine::kSuccess, kFailure or kUsage.
int RunTool(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace QXFit
