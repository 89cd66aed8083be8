// Parsing of qxfit's command line: what runs, what prints help, and what is wrong usage (exit 2)
// with a one-line reason.
#include <gtest/gtest.h>

#include <sstream>

#include "frontend/CommandLine.h"

namespace {

using QXFit::CommandLine;
using QXFit::Options;

int Parse(std::vector<const char*> args, Options& options, std::string& message) {
  args.insert(args.begin(), "qxfit");
  return CommandLine::Parse(static_cast<int>(args.size()), args.data(), options, message);
}

TEST(CommandLineTest, ReadsEveryOption) {
  Options o;
  std::string message;
  ASSERT_EQ(Parse({"--factor",      "cyl,gear",
                   "--factor",      "am",
                   "--factor",      "cyl",
                   "--freq-weight", "n",
                   "--regr-weight", "w",
                   "--predict",     "out.csv",
                   "--json",        "--delimiter",
                   "tab",           "--tolerance",
                   "1e-16",         "-q",
                   "--test",        "chisq",
                   "--type",        "both",
                   "--confidence",  "0.9",
                   "--residuals",   "--reference",
                   "cyl=4",         "--reference",
                   "am=1",          "--na-strings",
                   "n/a,,-",        "--decimal-comma",
                   "--tabulate",    "data.csv",
                   "mpg ~ cyl"},
                  o, message),
            -1)
      << message;
  EXPECT_TRUE(o.fbResiduals);
  EXPECT_EQ(o.fReferences, (std::vector<std::pair<std::string, std::string>>{{"cyl", "4"}, {"am", "1"}}));
  EXPECT_EQ(o.fMissingCodes, (std::vector<std::string>{"n/a", "-"}));
  EXPECT_TRUE(o.fbDecimalComma);
  EXPECT_EQ(o.fDataPath, "data.csv");
  EXPECT_EQ(o.fFormula, "mpg ~ cyl");
  EXPECT_EQ(o.fFactors, (std::vector<std::string>{"cyl", "gear", "am"}));
  EXPECT_EQ(o.fFrequencyWeight, "n");
  EXPECT_EQ(o.fRegressionWeight, "w");
  EXPECT_EQ(o.fPredictPath, "out.csv");
  EXPECT_TRUE(o.fbJson);
  EXPECT_EQ(o.fDelimiter, '\t');
  EXPECT_EQ(o.fTolerance, 1e-16);
  EXPECT_TRUE(o.fbQuiet);
  EXPECT_EQ(o.fTest, QXFit::TestKind::kChiSquare);
  EXPECT_TRUE(o.fbTypeI && o.fbTypeIII);
  EXPECT_EQ(o.fConfidenceLevel, 0.9);
  EXPECT_TRUE(o.fbTabulate);

  // The defaults: the delimiter found in the header, F tests, Type III, 95% bounds.
  ASSERT_EQ(Parse({"--binary", "y,A,x", "data.bin", "y ~ A"}, o, message), -1);
  EXPECT_EQ(o.fBinaryColumns, (std::vector<std::string>{"y", "A", "x"}));
  EXPECT_FALSE(o.fbJson);
  EXPECT_EQ(o.fDelimiter, 0);
  EXPECT_FALSE(o.fbDecimalComma);
  EXPECT_TRUE(o.fReferences.empty());
  EXPECT_EQ(o.fTest, QXFit::TestKind::kF);
  EXPECT_FALSE(o.fbTypeI);
  EXPECT_TRUE(o.fbTypeIII);
  EXPECT_EQ(o.fConfidenceLevel, 0.95);
  EXPECT_FALSE(o.fbTabulate);

  ASSERT_EQ(Parse({"--type", "1", "--test", "f", "data.csv", "y ~ A"}, o, message), -1);
  EXPECT_TRUE(o.fbTypeI);
  EXPECT_FALSE(o.fbTypeIII);
  EXPECT_EQ(o.fTest, QXFit::TestKind::kF);

  // Standard input, and new rows to score.
  ASSERT_EQ(Parse({"--predict", "out.csv", "--predict-data", "new.csv", "-", "y ~ A"}, o, message), -1);
  EXPECT_EQ(o.fDataPath, "-");
  EXPECT_EQ(o.fPredictDataPath, "new.csv");

  ASSERT_EQ(Parse({"--version"}, o, message), CommandLine::kSuccess);
  EXPECT_EQ(message.rfind("qxfit ", 0), 0u);
}

TEST(CommandLineTest, HelpShowsEveryOptionInAnExample) {
  Options o;
  std::string help;
  ASSERT_EQ(Parse({"--help"}, o, help), CommandLine::kSuccess);
  for (const char* text : {"%in%", "I(x^2)", "Exit codes:", "qxfit data/warpbreaks.csv"})
    EXPECT_NE(help.find(text), std::string::npos) << text;
  // The options the help lists, and the example lines after "Examples".
  std::istringstream lines(help);
  std::vector<std::string> options;
  std::string examples;
  bool inExamples = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Examples", 0) == 0) inExamples = true;
    if (inExamples && line.rfind("  qxfit ", 0) == 0) examples += line + "\n";
    const std::size_t dashes = line.find("--");
    if (!inExamples && line.rfind("  ", 0) == 0 && dashes != std::string::npos && dashes < 8) {
      const std::size_t end = line.find_first_of(" ,", dashes);
      options.push_back(line.substr(dashes, end - dashes));
    }
  }
  EXPECT_GE(options.size(), 19u) << help;
  for (const auto& option : options) {
    if (option == "--help") continue;
    EXPECT_TRUE(examples.find(" " + option + " ") != std::string::npos ||
                examples.find(" " + option + "\n") != std::string::npos)
        << option << " has no example";
  }
}

TEST(CommandLineTest, WrongUsageIsOneLineAndExitCodeTwo) {
  Options o;
  std::string message;
  const std::vector<std::vector<const char*>> wrong = {
      {},
      {"data.csv"},
      {"--unknown", "data.csv", "y ~ x"},
      {"--tolerance", "abc", "data.csv", "y ~ x"},
      {"--tolerance", "2", "data.csv", "y ~ x"},
      // NaN passed the range check, and every parameter of the fit came out redundant.
      {"--tolerance", "nan", "data.csv", "y ~ x"},
      {"--tolerance", "-NaN", "data.csv", "y ~ x"},
      {"--delimiter", "ab", "data.csv", "y ~ x"},
      {"--binary", "y,,x", "data.bin", "y ~ x"},
      {"--test", "t", "data.csv", "y ~ x"},
      {"--type", "2", "data.csv", "y ~ x"},
      {"--confidence", "95", "data.csv", "y ~ x"},
      {"--confidence", "0", "data.csv", "y ~ x"},
      {"--confidence", "0.9x", "data.csv", "y ~ x"},
      {"data.csv", "y ~ x", "extra"},
      {"--reference", "tension", "data.csv", "y ~ x"},
      {"--reference", "=L", "data.csv", "y ~ x"},
      {"--reference", "a=1", "--reference", "a=2", "data.csv", "y ~ x"},
      {"--residuals", "data.csv", "y ~ x"},
      {"--predict-data", "new.csv", "data.csv", "y ~ x"},
      {"--predict", "p.csv", "--predict-data", "new.csv", "--residuals", "data.csv", "y ~ x"},
      {"--decimal-comma", "--delimiter", ",", "data.csv", "y ~ x"},
      {"--predict", "p.csv", "--predict-data", "-", "-", "y ~ x"}};
  for (const auto& args : wrong) {
    EXPECT_EQ(Parse(args, o, message), CommandLine::kUsage) << (args.empty() ? "(none)" : args[0]);
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  }
}

}  // namespace
