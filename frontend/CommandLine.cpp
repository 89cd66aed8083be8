#include "frontend/CommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace QXFit {

namespace {

constexpr const char* kFooter = R"(
The formula is written as in R: `+` adds a term, `A:B` is an interaction, `A*B` is A + B + A:B,
`B %in% A` is B nested within A, `A/B` is A + B %in% A, `(A+B+C)^2` crosses up to two-way terms,
`.` is every column but the response and the weights, I(x^2) and I(x*z) are powers and products of
numeric columns, log(x), exp(x) and sqrt(x) are functions of one (also of the response, and inside
I()), factor(x) takes a numeric column as a factor, and `- 1` (or `0 +`) removes the intercept.

A response of texts, or one named by --factor or taken as categorical by --logistic, makes the model
a multinomial logistic regression (baseline-category logits against the reference category, the last
level unless --reference RESPONSE=LEVEL, first or last names another). Its report gives the
estimates of every non-reference category with Wald chi-square tests and odds ratios, Wald tests of
the effects, the likelihood-ratio test against the intercept-only model, three pseudo R-squares and
the classification table; --predict writes the predicted category and each category's probability.

Factors are the columns that hold texts, those named by --factor and those written factor(x). Their
levels are sorted (numerically for numbers) and shown by their original texts; the last level is the
reference that the estimates are measured from, unless --reference names another. Empty fields, NA
and the codes of --na-strings are missing; a record with a missing value in the model is left out.
A numeric column with a few texts in it becomes a factor, and qxfit says so on stderr.

The report: every parameter with its estimate, standard error, t test (a Wald chi-square with
--test chisq) and confidence bounds; the tests of model effects (--type) with their sums of squares,
each effect against the error of the full model; the corrected model's test, R-square, adjusted
R-square and the error degrees of freedom; the records read, used and left out, and why.

Examples (every option appears in one):
  qxfit data/warpbreaks.csv 'breaks ~ wool*tension'
  qxfit --type both --test chisq --reference tension=L data/warpbreaks.csv 'breaks ~ wool*tension'
  qxfit --factor cyl,gear --confidence 0.9 data/mtcars.csv 'mpg ~ cyl + gear + wt'
  qxfit --freq-weight carb --json data/mtcars.csv 'mpg ~ wt + factor(cyl)'
  qxfit --regr-weight yrs.service --predict fitted.csv --residuals data/Salaries.csv 'salary ~ rank + sex'
  qxfit --predict scored.csv --predict-data new.csv data/mtcars.csv 'log(mpg) ~ log(hp) + wt'
  qxfit --binary y,A,x --factor A --quiet data.bin 'y ~ A*x'
  qxfit --delimiter tab --tolerance 1e-10 data.tsv 'y ~ x + I(x^2)'
  qxfit --na-strings n/a,- --decimal-comma data.csv 'y ~ .'
  qxfit --freq-weight Freq --reference Sat=Low --pmml housing.pmml data/housing.csv 'Sat ~ Infl + Type'
  qxfit --logistic --iterations --tabulate --predict probabilities.csv data/mtcars.csv 'am ~ wt + hp'
  qxfit --emmeans 'tension | wool' --adjust bonferroni data/warpbreaks.csv 'breaks ~ wool*tension'
  qxfit --emmeans rank --contrast simple:Prof --at yrs.service=10 data/Salaries.csv 'salary ~ rank + yrs.service'
  qxfit --emmeans 'rank | discipline' --scale response data/Salaries.csv 'sex ~ rank*discipline'
  qxfit --version
  some-program | qxfit - 'y ~ x'

Exit codes: 0 success, 1 the data cannot be read or the library reports an error, 2 wrong usage.)";

// "a,b,,c" as {"a", "b", "", "c"}; an empty text as no item.
std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  if (text.empty()) return items;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    items.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) return items;
    start = comma + 1;
  }
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

int CommandLine::Parse(int argc, const char* const* argv, Options& options, std::string& message) {
  options = Options{};
  CLI::App app{
      "Fits a general linear model by weighted least squares, or a multinomial logistic regression for a\n"
      "categorical response, and reports its parameters, the tests of its effects and its fit.",
      "qxfit"};
  app.footer(kFooter);
  app.get_formatter()->column_width(28);
  std::string delimiter;
  std::string binaryColumns;
  app.add_option("DATA", options.fDataPath,
                 "CSV file with a header row (or a binary file with --binary); - reads standard input")
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
                 "DATA is a binary file of doubles with these columns (comma-separated, in order)")
      ->type_name("NAMES");
  app.add_option("--predict", options.fPredictPath,
                 "write one prediction per data row to this CSV file (column 'predicted')")
      ->type_name("FILE");
  app.add_flag("--residuals", options.fbResiduals,
               "with --predict: add residuals and standardized residuals");
  app.add_option("--predict-data", options.fPredictDataPath,
                 "with --predict: score these rows instead, with standard errors and bounds")
      ->type_name("NEW.csv");
  std::vector<std::string> references;
  app.add_option("--reference", references,
                 "the level of a factor that its estimates are measured from (R's relevel; repeatable)")
      ->type_name("VAR=LEVEL");
  std::string test = "F";
  std::string type = "3";
  app.add_option("--test", test,
                 "F tests of effects and t tests of parameters (default), or Wald chi-square tests")
      ->type_name("F|chisq");
  app.add_option("--type", type, "tests of model effects: 1 (sequential), 3 (adjusted; default) or both")
      ->type_name("1|3|both");
  std::string confidence = "0.95";
  app.add_option("--confidence", confidence, "confidence level of the bounds (default 0.95)")
      ->type_name("LEVEL");
  app.add_flag("--logistic", options.fbLogistic,
               "take the response as categorical: a multinomial logistic regression");
  app.add_flag("--iterations", options.fbIterations,
               "print a logistic fit's iterations on stderr (shown on a terminal anyway)");
  app.add_flag("--tabulate", options.fbTabulate,
               "a logistic fit holds the records' model variables in memory, grouped into patterns, and "
               "iterates over those: faster, with memory that grows with the records (a linear fit streams)");
  app.add_option("--pmml", options.fPmmlPath, "write the fitted model as a PMML 4.4 document")
      ->type_name("FILE");
  app.add_flag("--json", options.fbJson, "print one JSON document instead of the table");
  app.add_option("--delimiter", delimiter,
                 "field delimiter of the CSV file ('tab' for a tab; found in the header by default)")
      ->type_name("CHAR");
  app.add_flag("--decimal-comma", options.fbDecimalComma, "numbers are written with a decimal comma: 3,5");
  std::string missingCodes;
  app.add_option("--na-strings", missingCodes, "codes for missing values besides empty fields and NA")
      ->type_name("LIST");
  app.add_option("--tolerance", options.fTolerance, "singularity tolerance of the sweep (default 1e-12)")
      ->check(CLI::Range(0.0, 1.0).description(""))
      ->type_name("X");
  std::vector<std::string> emmeans;
  std::vector<std::string> at;
  std::string contrast, adjust, scale;
  app.add_option("--emmeans", emmeans,
                 "estimated marginal means of these factors, compared: 'A', 'A*B' (cells), 'A | B' (A within "
                 "each B); repeatable")
      ->type_name("SPEC");
  app.add_option(
         "--contrast", contrast,
         "how --emmeans compares: pairwise (default), simple[:LEVEL], deviation, helmert, difference, "
         "repeated, polynomial")
      ->type_name("KIND");
  app.add_option(
         "--adjust", adjust,
         "p-value adjustment of the comparisons: lsd (none; default), bonferroni, sidak, seq-bonferroni, "
         "seq-sidak")
      ->type_name("METHOD");
  app.add_option("--scale", scale, "scale of the marginal means of a logistic model: link or response")
      ->type_name("link|response");
  app.add_option("--at", at, "hold a covariate at a value for --emmeans (default: its mean; repeatable)")
      ->type_name("NAME=VALUE");
  app.add_flag("-q,--quiet", options.fbQuiet, "no progress bar");
  app.set_version_flag("--version", std::string("qxfit ") + QXFIT_VERSION + "\n",
                       "print the version and exit");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    message = app.help();
    return kSuccess;
  } catch (const CLI::ParseError& e) {
    message = e.what();
    return e.get_exit_code() == 0 ? kSuccess : kUsage;
  }

  if (Lower(test) == "f") {
    options.fTest = TestKind::kF;
  } else if (Lower(test) == "chisq") {
    options.fTest = TestKind::kChiSquare;
  } else {
    message = "--test: give F or chisq, not '" + test + "'";
    return kUsage;
  }
  options.fbTypeI = type == "1" || Lower(type) == "both";
  options.fbTypeIII = type == "3" || Lower(type) == "both";
  if (!options.fbTypeI && !options.fbTypeIII) {
    message = "--type: give 1, 3 or both, not '" + type + "'";
    return kUsage;
  }
  // The range check lets NaN through, and a sweep with a NaN tolerance finds every parameter redundant.
  if (std::isnan(options.fTolerance)) {
    message = "--tolerance: give a number between 0 and 1, not NaN";
    return kUsage;
  }
  // The bounds need a level strictly inside (0, 1); a percentage is the likely slip.
  char* end = nullptr;
  options.fConfidenceLevel = std::strtod(confidence.c_str(), &end);
  if (confidence.empty() || end != confidence.c_str() + confidence.size() ||
      !(options.fConfidenceLevel > 0.0 && options.fConfidenceLevel < 1.0)) {
    message = "--confidence: give a level between 0 and 1 such as 0.95, not '" + confidence + "'";
    return kUsage;
  }
  if (!delimiter.empty()) {
    if (delimiter == "tab" || delimiter == "\\t") delimiter = "\t";
    if (delimiter.size() != 1 || delimiter == "\"" || delimiter == "\n") {
      message = "--delimiter: give one character (or 'tab'), not '" + delimiter + "'";
      return kUsage;
    }
    options.fDelimiter = delimiter[0];
  }
  if (options.fbDecimalComma && options.fDelimiter == ',') {
    message = "--decimal-comma: the comma cannot also be the delimiter; give --delimiter ';' (or tab)";
    return kUsage;
  }
  for (const auto& code : SplitList(missingCodes))
    if (!code.empty()) options.fMissingCodes.push_back(code);
  for (const auto& reference : references) {
    const std::size_t equals = reference.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == reference.size()) {
      message = "--reference: give VAR=LEVEL, such as tension=L, not '" + reference + "'";
      return kUsage;
    }
    const std::string name = reference.substr(0, equals);
    for (const auto& [given, level] : options.fReferences) {
      if (given != name) continue;
      message = "--reference: '" + name + "' is given more than once";
      return kUsage;
    }
    options.fReferences.emplace_back(name, reference.substr(equals + 1));
  }
  if ((options.fbResiduals || !options.fPredictDataPath.empty()) && options.fPredictPath.empty()) {
    message = std::string(options.fbResiduals ? "--residuals" : "--predict-data") +
              " needs --predict FILE to write to";
    return kUsage;
  }
  if (options.fbResiduals && !options.fPredictDataPath.empty()) {
    message = "--residuals belong to the rows of DATA; they cannot go with --predict-data";
    return kUsage;
  }
  if (options.fDataPath == "-" && options.fPredictDataPath == "-") {
    message = "standard input can be read once: DATA and --predict-data cannot both be -";
    return kUsage;
  }
  if (!binaryColumns.empty()) {
    options.fBinaryColumns = SplitList(binaryColumns);
    if (std::any_of(options.fBinaryColumns.begin(), options.fBinaryColumns.end(),
                    [](const std::string& name) { return name.empty(); })) {
      message = "--binary: a column name is empty in '" + binaryColumns + "'";
      return kUsage;
    }
  }
  if (!ParseEmmeansOptions(emmeans, contrast, adjust, scale, at, options.fEmmeans, message)) return kUsage;
  std::vector<std::string> unique;
  for (const auto& name : options.fFactors)
    if (!name.empty() && std::find(unique.begin(), unique.end(), name) == unique.end())
      unique.push_back(name);
  options.fFactors = std::move(unique);
  return -1;
}

}  // namespace QXFit
