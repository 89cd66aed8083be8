// The whole input path of qxfit, in process: the command line, the data and the formula through the
// column scan, the model's construction, the record file, the library's fit, the tests, the report and
// the predictions.
//
// Input: the formula on the first line, then one command-line argument per line, an empty line, and
// the data file (CSV, or binary records with --binary). The harness puts the data where the tool reads
// it, never lets the tool touch standard input or write a file of its own (--predict and --pmml write
// to /dev/null, and --predict-data scores the data again), and silences the progress bar. Beyond what the
// sanitizers catch, it checks that every run ends with one of the tool's exit codes and that a failure
// says why.
#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/CommandLine.h"
#include "frontend/RunTool.h"
#include "fuzz/MemoryFile.h"

namespace {

using QXFit::CommandLine;
using qxfuzz::Broken;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static qxfuzz::MemoryFile file;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find("\n\n");
  const std::string_view head = input.substr(0, split);
  const std::string_view body =
      split == std::string_view::npos ? std::string_view() : input.substr(split + 2);

  std::vector<std::string> lines;
  for (std::size_t start = 0; start <= head.size();) {
    const std::size_t end = std::min(head.find('\n', start), head.size());
    lines.emplace_back(head.substr(start, end - start));
    start = end + 1;
  }
  // qxfit [options] DATA FORMULA, the data's name standing in until the options are known.
  std::vector<const char*> argv = {"qxfit"};
  for (std::size_t i = 1; i < lines.size(); ++i) argv.push_back(lines[i].c_str());
  argv.push_back("data.csv");
  argv.push_back(lines.front().c_str());

  QXFit::Options options;
  std::string message;
  const int parsed = CommandLine::Parse(static_cast<int>(argv.size()), argv.data(), options, message);
  if (parsed >= 0) {
    if (parsed != CommandLine::kSuccess && parsed != CommandLine::kUsage) Broken("an unknown exit code");
    if (message.empty()) Broken("the command line was refused without a reason");
    return 0;
  }
  file.Write(reinterpret_cast<const std::uint8_t*>(body.data()), body.size());
  options.fDataPath = file.Path();
  if (!options.fPredictPath.empty()) options.fPredictPath = "/dev/null";
  if (!options.fPmmlPath.empty()) options.fPmmlPath = "/dev/null";
  if (!options.fPredictDataPath.empty()) options.fPredictDataPath = file.Path();
  options.fbQuiet = true;

  std::ostringstream out, err;
  const int code = QXFit::RunTool(options, out, err);
  if (code != CommandLine::kSuccess && code != CommandLine::kFailure && code != CommandLine::kUsage)
    Broken("an unknown exit code");
  if (code != CommandLine::kSuccess && err.str().empty()) Broken("the tool failed without a message");
  if (code == CommandLine::kSuccess && out.str().empty()) Broken("the tool succeeded without a report");
  return 0;
}
