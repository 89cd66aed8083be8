// Parsing of qxfit's command line: what runs, what prints help, and what is wrong usage (exit 2)
// with a one-line reason.
#include <gtest/gtest.h>

#include "tools/qxfit/CommandLine.h"

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
  ASSERT_EQ(
      Parse({"--factor", "cyl,gear",      "--factor", "am",        "--factor", "cyl",      "--freq-weight",
             "n",        "--regr-weight", "w",        "--predict", "out.csv",  "--json",   "--delimiter",
             "tab",      "--tolerance",   "1e-16",    "-q",        "data.csv", "mpg ~ cyl"},
            o, message),
      -1)
      << message;
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

  ASSERT_EQ(Parse({"--binary", "y,A,x", "data.bin", "y ~ A"}, o, message), -1);
  EXPECT_EQ(o.fBinaryColumns, (std::vector<std::string>{"y", "A", "x"}));
  EXPECT_FALSE(o.fbJson);
  EXPECT_EQ(o.fDelimiter, ',');
}

TEST(CommandLineTest, HelpDocumentsTheOptionsAndExamples) {
  Options o;
  std::string message;
  ASSERT_EQ(Parse({"--help"}, o, message), CommandLine::kSuccess);
  for (const char* text : {"--factor", "--freq-weight", "--regr-weight", "--binary", "--predict", "--json",
                           "%in%", "I(x^2)", "Examples:", "qxfit data/warpbreaks.csv"})
    EXPECT_NE(message.find(text), std::string::npos) << text;
}

TEST(CommandLineTest, WrongUsageIsOneLineAndExitCodeTwo) {
  Options o;
  std::string message;
  const std::vector<std::vector<const char*>> wrong = {{},
                                                       {"data.csv"},
                                                       {"--unknown", "data.csv", "y ~ x"},
                                                       {"--tolerance", "abc", "data.csv", "y ~ x"},
                                                       {"--tolerance", "2", "data.csv", "y ~ x"},
                                                       {"--delimiter", "ab", "data.csv", "y ~ x"},
                                                       {"--binary", "y,,x", "data.bin", "y ~ x"},
                                                       {"data.csv", "y ~ x", "extra"}};
  for (const auto& args : wrong) {
    EXPECT_EQ(Parse(args, o, message), CommandLine::kUsage) << (args.empty() ? "(none)" : args[0]);
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  }
}

}  // namespace
