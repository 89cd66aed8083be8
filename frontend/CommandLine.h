// The command line of qxfit: `qxfit [options] DATA FORMULA`. Parsing is separate from running so that
// wrong usage is refused before any data is read, with one line and exit code 2.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "frontend/EmmeansRequest.h"
#include "frontend/FitResult.h"

namespace QXFit {

struct Options {
  std::string fDataPath;  // "-" for standard input
  std::string fFormula;
  std::vector<std::string> fFactors;        // --factor, each name once
  std::string fFrequencyWeight;             // --freq-weight
  std::string fRegressionWeight;            // --regr-weight
  std::vector<std::string> fBinaryColumns;  // --binary: DATA is a binary record file of these columns
  std::string fPredictPath;                 // --predict
  std::string fPredictDataPath;             // --predict-data: score these rows instead of DATA's
  bool fbResiduals = false;                 // --residuals
  // --reference VAR=LEVEL, in the order given, each variable once.
  std::vector<std::pair<std::string, std::string>> fReferences;
  bool fbJson = false;
  char fDelimiter = 0;  // 0: found in the header
  bool fbDecimalComma = false;
  std::vector<std::string> fMissingCodes;  // --na-strings
  double fTolerance = 1e-12;
  bool fbQuiet = false;
  TestKind fTest = TestKind::kF;   // --test
  double fConfidenceLevel = 0.95;  // --confidence
  bool fbTypeI = false;            // --type 1 or both
  bool fbTypeIII = true;           // --type 3 (the default) or both
  bool fbLogistic = false;         // --logistic: the response is categorical
  bool fbIterations = false;       // --iterations: print a logistic fit's iterations on stderr
  // --tabulate: a logistic fit keeps the valid records' variables in memory as covariate patterns and
  // iterates over those instead of reading the data again: faster, with memory that grows with the
  // records. Streaming is the default because its memory does not depend on the data's size.
  bool fbTabulate = false;
  std::string fPmmlPath;    // --pmml
  EmmeansOptions fEmmeans;  // --emmeans and the options of its comparisons
};

class CommandLine {
 public:
  // Exit codes of the tool.
  static constexpr int kSuccess = 0;
  static constexpr int kFailure = 1;  // the data cannot be read, or the library reports an error
  static constexpr int kUsage = 2;    // wrong options, unknown columns, a bad formula

  // Parses the arguments. Returns -1 when the tool should run; otherwise the exit code, with `message`
  // holding the help text (exit 0, for stdout) or the one-line error (for stderr).
  static int Parse(int argc, const char* const* argv, Options& options, std::string& message);
};

}  // namespace QXFit
