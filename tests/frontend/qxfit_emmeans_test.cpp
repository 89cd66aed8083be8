// qxfit's --emmeans against emmeans (tests/reference/emmeans_qxfit.json): each reference request is
// run through the tool's command line with every contrast and adjustment, and every mean, comparison
// and overall test of its JSON document is checked; then what a user sees of the options: the
// table, the labels, and the errors of requests that cannot be served.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/CommandLine.h"
#include "frontend/EmmeansRequest.h"
#include "tests/frontend/qxfit_in_process.h"

namespace {

using nlohmann::json;
using QXFit::CommandLine;

const std::string kRoot = std::string(QX_TEST_DATA_DIR) + "/..";

// The tool and emmeans agree within 1e-12 on every number of the linear runs (p-values down to 1e-27
// included) and within 2e-11 on the logistic ones.
constexpr double kRel = 1e-10;

using qxfit_test::ToolRun;

ToolRun RunTool(std::vector<std::string> args) { return qxfit_test::RunInProcess(std::move(args)); }

::testing::AssertionResult Close(const json& actual, double expected, double scale, const std::string& what) {
  if (!actual.is_number()) return ::testing::AssertionFailure() << what << ": " << actual;
  const double a = actual.get<double>();
  if (std::fabs(a - expected) <= kRel * std::max(std::fabs(expected), scale))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << what << ": " << a << " against emmeans' " << expected;
}

// One reference run: its factors' level texts and the requests.
class Reference {
 public:
  // `normal`: a logistic model's run, whose tests are z tests (the tool's chi-square is z squared).
  Reference(const json& run, bool normal) : fRun(run), fbNormal(normal) {
    for (const auto& f : run["factors"]) fLevels[f["name"]] = f["levels"].get<std::vector<std::string>>();
  }

  std::string Text(const std::string& factor, const json& code) const {
    return fLevels.at(factor).at(code.get<std::size_t>());
  }
  // "name=text;" in name order, for a reference's {name: code} and for the tool's {name: text}.
  std::string Key(const json& codes) const {
    std::map<std::string, std::string> sorted;
    for (const auto& [name, code] : codes.items()) sorted[name] = Text(name, code);
    return Join(sorted);
  }
  static std::string ToolKey(const json& texts) {
    std::map<std::string, std::string> sorted;
    for (const auto& [name, text] : texts.items()) sorted[name] = text.get<std::string>();
    return Join(sorted);
  }
  // The tool's label of a compared category: the levels of the compared factors in request order.
  std::string Category(const json& request, const json& codes) const {
    std::string text;
    for (const auto& factor : request["compare"]) {
      if (!text.empty()) text += ' ';
      text += Text(factor, codes[factor.get<std::string>()]);
    }
    return text;
  }

  // The tool's JSON request for `request` with extra options.
  json RunRequest(const json& request, std::vector<std::string> options) const {
    options.insert(options.end(), {"--json", "--emmeans", request["spec"].get<std::string>()});
    if (request.contains("at") && !request["at"].is_null())
      for (const auto& [name, value] : request["at"].items())
        options.insert(options.end(), {"--at", name + "=" + json(value.get<double>()).dump()});
    if (fbNormal) options.insert(options.end(), {"--scale", request["scale"].get<std::string>()});
    options.push_back(kRoot + "/" + fRun["data"].get<std::string>());
    options.push_back(fRun["formula"]);
    const ToolRun run = RunTool(options);
    EXPECT_EQ(run.fExitCode, 0) << run.fErr;
    if (run.fExitCode != 0) return json::object();
    const json document = json::parse(run.fOut);
    EXPECT_EQ(document["emmeans"].size(), 1u);
    return document["emmeans"][0];
  }

  bool IsNormal() const { return fbNormal; }
  // The tool's statistic for emmeans' t or z ratio, taken the other way round when `sign` is -1.
  double Statistic(double ratio, double sign) const { return fbNormal ? ratio * ratio : sign * ratio; }

 private:
  static std::string Join(const std::map<std::string, std::string>& sorted) {
    std::string key;
    for (const auto& [name, text] : sorted) key += name + "=" + text + ";";
    return key;
  }

  const json& fRun;
  bool fbNormal;
  std::map<std::string, std::vector<std::string>> fLevels;
};

json LoadReference() {
  std::ifstream in(std::string(QX_TEST_REFERENCE_DIR) + "/emmeans_qxfit.json");
  return json::parse(in);
}

void ExpectMeans(const Reference& ref, const json& request, const json& tool, const std::string& what) {
  std::map<std::string, json> byLevels;
  for (const auto& m : tool["means"]) byLevels[Reference::ToolKey(m["levels"])] = m;
  ASSERT_EQ(byLevels.size(), request["means"].size()) << what;
  for (const auto& expected : request["means"]) {
    const std::string key = ref.Key(expected["levels"]);
    ASSERT_EQ(byLevels.count(key), 1u) << what << " " << key;
    const json& m = byLevels[key];
    const double se = expected["se"];
    EXPECT_TRUE(Close(m["mean"], expected["mean"], se, what + " " + key + " mean"));
    EXPECT_TRUE(Close(m["std_error"], se, 0.0, what + " " + key + " se"));
    EXPECT_EQ(m["df"], expected["df"]) << what;
    EXPECT_TRUE(Close(m["lower"], expected["lower"], se, what + " " + key + " lower"));
    EXPECT_TRUE(Close(m["upper"], expected["upper"], se, what + " " + key + " upper"));
  }
}

void ExpectOverall(const Reference& ref, const json& request, const json& tool, const std::string& what) {
  std::map<std::string, json> byGroup;
  for (const auto& o : tool["overall"]) byGroup[Reference::ToolKey(o["by"])] = o;
  ASSERT_EQ(byGroup.size(), request["joint"].size()) << what;
  for (const auto& expected : request["joint"]) {
    const std::string key = ref.Key(expected["by"]);
    ASSERT_EQ(byGroup.count(key), 1u) << what << " " << key;
    const json& o = byGroup[key];
    EXPECT_TRUE(
        Close(o["statistic"], expected[ref.IsNormal() ? "chisq" : "F"], 0.0, what + " " + key + " F"));
    EXPECT_EQ(o["df"], expected["df1"]) << what;
    EXPECT_EQ(o["df_error"], expected["df2"]) << what;
    EXPECT_TRUE(Close(o["p"], expected["p"], 1e-300, what + " " + key + " p"));
  }
}

// The tool's adjustment for each of the reference's.
const std::pair<const char*, const char*> kAdjustments[] = {{"none", "lsd"},
                                                            {"bonferroni", "bonferroni"},
                                                            {"sidak", "sidak"},
                                                            {"holm", "seq-bonferroni"},
                                                            {"holm_sidak", "seq-sidak"}};

void ExpectPairs(const Reference& ref, const json& request, const std::string& name) {
  for (const auto& [reference, adjust] : kAdjustments) {
    const json tool = ref.RunRequest(request, {"--adjust", adjust});
    const std::string what = name + " --adjust " + adjust;
    if (std::string(adjust) == "lsd") {
      ExpectMeans(ref, request, tool, what);
      ExpectOverall(ref, request, tool, what);
    }
    std::map<std::string, json> pairs;
    for (const auto& c : tool["comparisons"])
      pairs[Reference::ToolKey(c["by"]) + "|" + c["contrast"].get<std::string>()] = c;
    const json& expectedPairs = request["pairs"][reference];
    ASSERT_EQ(pairs.size(), expectedPairs.size()) << what;
    for (const auto& expected : expectedPairs) {
      // emmeans enumerates cells with the first factor fastest, the tool with the last: a pair of cells
      // may come the other way round, with every signed number negated.
      const std::string by = ref.Key(expected["by"]) + "|";
      const std::string first = ref.Category(request, expected["first"]);
      const std::string second = ref.Category(request, expected["second"]);
      std::string key = by + first + " - " + second;
      double sign = 1.0;
      if (pairs.count(key) == 0) {
        key = by + second + " - " + first;
        sign = -1.0;
      }
      ASSERT_EQ(pairs.count(key), 1u) << what << " " << by << first << " - " << second;
      const json& c = pairs[key];
      const double estimate = sign * expected["estimate"].get<double>();
      const double scale =
          expected.contains("se") ? expected["se"].get<double>() : 1e-6 * std::fabs(estimate);
      EXPECT_TRUE(Close(c["estimate"], estimate, scale, what + " " + key + " estimate"));
      EXPECT_TRUE(Close(c["p"], expected["p"], 1e-300, what + " " + key + " p"));
      if (expected.contains("se")) {
        EXPECT_TRUE(Close(c["std_error"], expected["se"], 0.0, what + " " + key + " se"));
        EXPECT_TRUE(
            Close(c["statistic"], ref.Statistic(expected["stat"], sign), 0.0, what + " " + key + " t"));
        EXPECT_EQ(c["df"], expected["df"]) << what;
      }
      if (expected.contains("lower")) {
        const double lower = sign * expected[sign < 0 ? "upper" : "lower"].get<double>();
        const double upper = sign * expected[sign < 0 ? "lower" : "upper"].get<double>();
        EXPECT_TRUE(Close(c["lower"], lower, scale, what + " " + key + " lower"));
        EXPECT_TRUE(Close(c["upper"], upper, scale, what + " " + key + " upper"));
      }
    }
  }
}

struct ContrastKind {
  const char* fReference;  // emmeans' method in the reference
  const char* fOption;     // --contrast
};

// emmeans' consec runs from each level to the next the other way round, and its polynomial rows are
// integers where the library's have unit length: the rows agree up to that factor.
const ContrastKind kContrasts[] = {
    {"poly", "polynomial"}, {"consec", "repeated"}, {"simple_last", "simple"},   {"simple_first", ""},
    {"eff", "deviation"},   {"helmert", "helmert"}, {"difference", "difference"}};

void ExpectContrasts(const Reference& ref, const json& request, const std::string& name) {
  const std::string compared = request["compare"][0];
  for (const ContrastKind& kind : kContrasts) {
    const json& reference = request["contrasts"][kind.fReference];
    std::string option = kind.fOption;
    if (option.empty()) option = "simple:" + ref.Text(compared, json(0));
    for (const auto& [adjustName, adjust] : kAdjustments) {
      const json tool = ref.RunRequest(request, {"--contrast", option, "--adjust", adjust});
      const std::string what = name + " --contrast " + option + " --adjust " + adjust;
      const json* rows = &reference.at(adjustName);
      // The tool's rows by group, in order.
      std::map<std::string, std::vector<json>> groups;
      for (const auto& c : tool["comparisons"]) groups[Reference::ToolKey(c["by"])].push_back(c);
      ASSERT_EQ(tool["comparisons"].size(), rows->size()) << what;
      const std::size_t perGroup = rows->size() / groups.size();
      // Two levels: the deviation rows are each other's negatives, one hypothesis, which the library
      // adjusts as one test where emmeans counts two.
      if (std::string(kind.fReference) == "eff" && perGroup == 2) rows = &reference["none"];
      std::map<std::string, std::size_t> seen;
      for (const auto& expected : *rows) {
        const std::string key = ref.Key(expected["by"]);
        const std::size_t r = seen[key]++;
        ASSERT_LT(r, groups[key].size()) << what << " " << key;
        const json& c = groups[key][r];
        double factor = 1.0;
        if (std::string(kind.fReference) == "poly") {
          double norm = 0.0;
          for (double x : reference["coefficients"][r]) norm += x * x;
          factor = 1.0 / std::sqrt(norm);
        }
        if (std::string(kind.fReference) == "consec") factor = -1.0;
        const std::string row = what + " " + key + " row " + std::to_string(r);
        const double estimate = factor * expected["estimate"].get<double>();
        const double scale = expected.contains("se") ? std::fabs(factor) * expected["se"].get<double>()
                                                     : 1e-6 * std::fabs(estimate);
        EXPECT_TRUE(Close(c["estimate"], estimate, scale, row + " estimate"));
        EXPECT_TRUE(Close(c["p"], expected["p"], 1e-300, row + " p"));
        if (!expected.contains("se")) continue;
        EXPECT_TRUE(Close(c["std_error"], scale, 0.0, row + " se"));
        EXPECT_TRUE(
            Close(c["statistic"], ref.Statistic(expected["stat"], factor < 0 ? -1.0 : 1.0), 0.0, row + " t"));
        EXPECT_EQ(c["df"], expected["df"]) << row;
        const double lower = factor * expected[factor < 0 ? "upper" : "lower"].get<double>();
        const double upper = factor * expected[factor < 0 ? "lower" : "upper"].get<double>();
        EXPECT_TRUE(Close(c["lower"], lower, scale, row + " lower"));
        EXPECT_TRUE(Close(c["upper"], upper, scale, row + " upper"));
      }
    }
  }
}

TEST(QxfitEmmeansTest, EveryContrastAndAdjustmentMatchesEmmeans) {
  const json reference = LoadReference();
  int requests = 0;
  for (const auto& run : reference["runs"]) {
    const Reference ref(run, false);
    for (const auto& request : run["requests"]) {
      const std::string name =
          run["name"].get<std::string>() + " '" + request["spec"].get<std::string>() + "'";
      ExpectPairs(ref, request, name);
      if (request.contains("contrasts")) ExpectContrasts(ref, request, name);
      ++requests;
    }
  }
  EXPECT_GE(requests, 10);
}

// Logistic models (tests/reference/emmeans_qxfit_logistic.json): the two-category model against
// emmeans on glm, on the link and the response scale, with every adjustment and contrast; and each
// category of a multinomial model against its reference on the link scale.
TEST(QxfitEmmeansTest, LogisticModelsMatchEmmeans) {
  std::ifstream in(std::string(QX_TEST_REFERENCE_DIR) + "/emmeans_qxfit_logistic.json");
  const json reference = json::parse(in);
  const json& binomial = reference["binomial"];
  const Reference ref(binomial, true);
  for (const auto& request : binomial["requests"]) {
    const std::string name =
        "binomial '" + request["spec"].get<std::string>() + "' " + request["scale"].get<std::string>();
    ExpectPairs(ref, request, name);
    if (request.contains("contrasts")) ExpectContrasts(ref, request, name);
  }
  const json one = ref.RunRequest(binomial["requests"][0], {});
  EXPECT_EQ(one["category"], binomial["category"]);
  EXPECT_EQ(one["reference"], binomial["reference"]);
  EXPECT_EQ(one["scale"], "link");

  const json& multinomial = reference["multinomial"];
  const Reference housing(multinomial, true);
  std::vector<std::string> args = multinomial["args"];
  args.insert(args.end(), {"--json", "--emmeans", multinomial["spec"],
                           kRoot + "/" + multinomial["data"].get<std::string>(), multinomial["formula"]});
  const ToolRun run = RunTool(args);
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  const json document = json::parse(run.fOut);
  ASSERT_EQ(document["emmeans"].size(), multinomial["blocks"].size());
  for (std::size_t k = 0; k < multinomial["blocks"].size(); ++k) {
    const json& block = multinomial["blocks"][k];
    const json& tool = document["emmeans"][k];
    const std::string what = "multinomial " + block["category"].get<std::string>();
    EXPECT_EQ(tool["category"], block["category"]);
    EXPECT_EQ(tool["reference"], multinomial["reference"]);
    ExpectMeans(housing, block, tool, what);
    ASSERT_EQ(tool["comparisons"].size(), block["pairs"].size()) << what;
    for (std::size_t i = 0; i < block["pairs"].size(); ++i) {
      const json& expected = block["pairs"][i];
      const json& c = tool["comparisons"][i];
      const std::string row = what + " " + expected["contrast"].get<std::string>();
      EXPECT_EQ(c["contrast"], expected["contrast"]);
      const double se = expected["se"];
      EXPECT_TRUE(Close(c["estimate"], expected["estimate"], se, row + " estimate"));
      EXPECT_TRUE(Close(c["std_error"], se, 0.0, row + " se"));
      EXPECT_TRUE(Close(c["statistic"], housing.Statistic(expected["stat"], 1.0), 0.0, row + " chi-square"));
      EXPECT_TRUE(Close(c["p"], expected["p"], 1e-300, row + " p"));
      EXPECT_TRUE(Close(c["lower"], expected["lower"], se, row + " lower"));
      EXPECT_TRUE(Close(c["upper"], expected["upper"], se, row + " upper"));
    }
  }
}

}  // namespace

namespace {

const std::string kWarpbreaks = kRoot + "/data/warpbreaks.csv";
const std::string kWarpModel = "breaks ~ wool*tension";

TEST(QxfitEmmeansTest, RequestsThatCannotBeServedAreUsageErrors) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--emmeans", "Wool"},
       "--emmeans 'Wool': 'Wool' is not a factor of the model; its factors are wool, tension"},
      {{"--emmeans", "breaks"}, "--emmeans 'breaks': 'breaks' is the response, not a factor,"},
      {{"--emmeans", "tension", "--at", "wool=1"}, "--at: 'wool' is a factor, not a covariate,"},
      {{"--emmeans", "tension", "--at", "x=1"}, "--at: 'x' is not a covariate of the model"},
      {{"--emmeans", "tension", "--at", "x=nan"}, "--at: give NAME=VALUE with a finite number"},
      {{"--emmeans", "tension", "--scale", "link"}, "--scale: the means of a linear model are on the scale"},
      {{"--emmeans", "tension", "--contrast", "simple:Q"},
       "--contrast simple:Q: 'Q' is not a level of tension (its levels are H, L, M)"},
      {{"--emmeans", "wool*tension", "--contrast", "helmert"},
       "--contrast helmert compares the levels of one factor; in 'wool*tension' write"},
      {{"--emmeans", "tension", "--contrast", "helmert:H"}, "--contrast: give pairwise, simple[:LEVEL]"},
      {{"--adjust", "bonferroni"}, "--adjust applies to marginal means: give --emmeans as well"},
      {{"--emmeans", "tension | "}, "--emmeans: give factors such as"},
      {{"--emmeans", "tension | wool | wool"}, "--emmeans: give factors such as"},
      {{"--emmeans", "tension*wool | tension"}, "--emmeans: a factor appears twice"},
      {{"--emmeans", "tension", "--adjust", "holm"}, "--adjust: give lsd, bonferroni, sidak, seq-bonferroni"},
  };
  for (const auto& [options, message] : cases) {
    std::vector<std::string> args = options;
    args.insert(args.end(), {kWarpbreaks, kWarpModel});
    const ToolRun run = RunTool(args);
    const std::string what = args[0] + " " + args[1];
    EXPECT_EQ(run.fExitCode, CommandLine::kUsage) << what;
    EXPECT_EQ(run.fOut, "") << what;
    // main() prefixes the command line's errors with "qxfit: ", RunTool its own.
    const std::string error = run.fErr.rfind("qxfit: ", 0) == 0 ? run.fErr.substr(7) : run.fErr;
    EXPECT_EQ(error.rfind(message, 0), 0u) << what << ": " << run.fErr;
  }
  // factor(dose) and dose name one factor: a request cannot hold it twice.
  const ToolRun twice = RunTool(
      {"--emmeans", "dose*factor(dose)", kRoot + "/data/ToothGrowth.csv", "len ~ factor(dose) + supp"});
  EXPECT_EQ(twice.fExitCode, CommandLine::kUsage);
  EXPECT_EQ(twice.fErr.rfind("qxfit: --emmeans: a factor appears twice", 0), 0u) << twice.fErr;
}

TEST(QxfitEmmeansTest, RequestsAreReadWithSpacesAndBackquotes) {
  QXFit::EmmeansRequest request;
  std::string error;
  ASSERT_TRUE(QXFit::ParseEmmeansRequest(" A * `odd name`|C ", request, error)) << error;
  EXPECT_EQ(request.fText, "A * `odd name`|C");
  EXPECT_EQ(request.fCompared, (std::vector<std::string>{"A", "odd name"}));
  EXPECT_EQ(request.fBy, (std::vector<std::string>{"C"}));
  ASSERT_TRUE(QXFit::ParseEmmeansRequest("`a|b`", request, error)) << error;
  EXPECT_EQ(request.fCompared, (std::vector<std::string>{"a|b"}));
  EXPECT_TRUE(request.fBy.empty());
  for (const char* bad : {"", "*", "A*", "|B", "A | ", "`A", "A|B|C"})
    EXPECT_FALSE(QXFit::ParseEmmeansRequest(bad, request, error)) << bad;
}

// Cells without data: one request of the cells of both factors keeps its means but cannot compare
// them (the library compares the cells of several factors only in a complete design), and a group
// that lacks a level compares the levels it has.
TEST(QxfitEmmeansTest, CellsWithoutDataAreShownButNotCompared) {
  std::ifstream in(kRoot + "/data/Moore.csv");
  std::string data, line;
  while (std::getline(in, line))
    if (line.rfind("high,", 0) != 0 || line.find(",low,") == std::string::npos) data += line + "\n";
  const std::string path = ::testing::TempDir() + "/moore_empty_cell.csv";
  std::ofstream(path) << data;
  const ToolRun run =
      RunTool({"--json", "--emmeans", "partner.status*fcategory", "--emmeans", "fcategory | partner.status",
               path, "conformity ~ partner.status*fcategory + fscore"});
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  const json document = json::parse(run.fOut);
  const json& cells = document["emmeans"][0];
  EXPECT_EQ(cells["means"].size(), 5u);
  EXPECT_TRUE(cells["compared"].empty());
  EXPECT_TRUE(cells["comparisons"].empty());
  ASSERT_EQ(cells["notes"].size(), 1u);
  EXPECT_NE(cells["notes"][0].get<std::string>().find("are not compared"), std::string::npos);
  const json& within = document["emmeans"][1];
  // partner.status = high has no fcategory = low: one pair there, three in the other group.
  EXPECT_EQ(within["comparisons"].size(), 4u);
  ASSERT_EQ(within["overall"].size(), 2u);
  EXPECT_EQ(within["overall"][0]["df"], 1);
  EXPECT_EQ(within["overall"][1]["df"], 2);
  EXPECT_EQ(document["warnings"].size(), 2u);
  std::remove(path.c_str());
}

}  // namespace
