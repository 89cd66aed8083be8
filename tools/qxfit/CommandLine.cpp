#include "tools/qxfit/CommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>

namespace QXFit {

namespace {

constexpr const char* kFooter = R"(
The formula is written as in R: `+` adds a term, `A:B` is an interaction, `A*B` is A + B + A:B,
`B %in% A` is B nested within A, `A/B` is A + B %in% A, `(A+B+C)^2` crosses up to two-way terms,
I(x^2) and I(x*z) are powers and products of numeric columns, factor(x) takes a numeric column as a
factor, and `- 1` (or `0 +`) removes the intercept.

Factors are the columns that hold texts, those named by --factor and those written factor(x). Their
levels are sorted (numerically for numbers) and shown by their original texts. Empty fields and NA
are missing; a record with a missing value in the model is left out.

Examples:
  qxfit data/warpbreaks.csv 'breaks ~ wool*tension'
  qxfit --factor cyl,gear data/mtcars.csv 'mpg ~ cyl + gear + wt'
  qxfit --freq-weight n --json counts.csv 'y ~ group + x + I(x^2)'
  qxfit --binary y,A,x --factor A data.bin 'y ~ A*x'

Exit codes: 0 success, 1 the data cannot be read or the model cannot be fitted, 2 wrong usage.)";

}  // namespace

int CommandLine::Parse(int argc, const char* const* argv, Options& options, std::string& message) {
  options = Options{};
  CLI::App app{"Fits a general linear model by weighted least squares and prints its parameters.", "qxfit"};
  app.footer(kFooter);
  app.get_formatter()->column_width(28);
  std::string delimiter = ",";
  std::string binaryColumns;
  app.add_option("DATA", options.fDataPath, "CSV file with a header row (or a binary file with --binary)")
      ->required();
  app.add_option("FORMULA", options.fFormula, "the model, such as 'y ~ A*B + x'")->required();
  app.add_option("--factor", options.fFactors,
                 "NAME[,NAME...]: take these numeric columns as factors (repeatable)")
      ->delimiter(',')
      ->type_name("NAME");
  app.add_option("--freq-weight", options.fFrequencyWeight,
                 "column of frequency weights (records with a weight <= 0 are left out)")
      ->type_name("NAME");
  app.add_option("--regr-weight", options.fRegressionWeight,
                 "column of regression weights (records with a weight <= 0 are left out)")
      ->type_name("NAME");
  app.add_option("--binary", binaryColumns,
                 "DATA is a binary record file of doubles; NAMES lists its columns in order, comma-separated")
      ->type_name("NAMES");
  app.add_option("--predict", options.fPredictPath,
                 "write one prediction per data row to this CSV file (column 'predicted')")
      ->type_name("FILE");
  app.add_flag("--json", options.fbJson, "print one JSON document instead of the table");
  app.add_option("--delimiter", delimiter, "field delimiter of the CSV file (default ','; 'tab' for a tab)")
      ->type_name("CHAR");
  app.add_option("--tolerance", options.fTolerance, "singularity tolerance of the sweep (default 1e-12)")
      ->check(CLI::Range(0.0, 1.0));
  app.add_flag("-q,--quiet", options.fbQuiet, "no progress bar");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    message = app.help();
    return kSuccess;
  } catch (const CLI::ParseError& e) {
    message = e.what();
    return e.get_exit_code() == 0 ? kSuccess : kUsage;
  }

  if (delimiter == "tab" || delimiter == "\\t") delimiter = "\t";
  if (delimiter.size() != 1 || delimiter == "\"" || delimiter == "\n") {
    message = "--delimiter: give one character (or 'tab'), not '" + delimiter + "'";
    return kUsage;
  }
  options.fDelimiter = delimiter[0];
  if (!binaryColumns.empty()) {
    std::size_t start = 0;
    while (true) {
      const std::size_t comma = binaryColumns.find(',', start);
      options.fBinaryColumns.push_back(binaryColumns.substr(start, comma - start));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    if (std::any_of(options.fBinaryColumns.begin(), options.fBinaryColumns.end(),
                    [](const std::string& name) { return name.empty(); })) {
      message = "--binary: a column name is empty in '" + binaryColumns + "'";
      return kUsage;
    }
  }
  std::vector<std::string> unique;
  for (const auto& name : options.fFactors)
    if (!name.empty() && std::find(unique.begin(), unique.end(), name) == unique.end())
      unique.push_back(name);
  options.fFactors = std::move(unique);
  return -1;
}

}  // namespace QXFit
