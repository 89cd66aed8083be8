#include "frontend/EmmeansReport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "frontend/ReportWriter.h"
#include "frontend/TextTable.h"

namespace QXFit {

namespace {

nlohmann::ordered_json OrNull(const std::optional<double>& value) {
  if (!value || !std::isfinite(*value)) return nullptr;
  return *value;
}

nlohmann::ordered_json LevelsJson(const LevelTexts& levels) {
  auto object = nlohmann::ordered_json::object();
  for (const auto& [factor, level] : levels) object[factor] = level;
  return object;
}

std::string AdjustText(const std::string& adjust) {
  if (adjust == "bonferroni") return "Bonferroni adjustment";
  if (adjust == "sidak") return "Sidak adjustment";
  if (adjust == "seq-bonferroni") return "sequential Bonferroni (Holm) adjustment";
  if (adjust == "seq-sidak") return "sequential Sidak (Holm-Sidak) adjustment";
  return "no adjustment";
}

std::string ContrastText(const std::string& contrast) {
  const std::size_t colon = contrast.find(':');
  if (colon == std::string::npos) return contrast == "simple" ? "simple, against the last level" : contrast;
  return "simple, against " + contrast.substr(colon + 1);
}

std::string Join(const std::vector<std::string>& names, const char* separator) {
  std::string text;
  for (const auto& name : names) {
    if (!text.empty()) text += separator;
    text += name;
  }
  return text;
}

// The header cells of the grouping factors, which every row of comparisons and overall tests repeats.
std::vector<std::string> ByHeader(const LevelTexts& by) {
  std::vector<std::string> header;
  for (const auto& [factor, level] : by) header.push_back(factor);
  return header;
}

std::vector<std::string> ByCells(const LevelTexts& by) {
  std::vector<std::string> cells;
  for (const auto& [factor, level] : by) cells.push_back(level);
  return cells;
}

void WriteMeans(const EmmeansResult& e, bool f, const std::string& level, std::ostream& out) {
  std::vector<std::string> header = e.fFactors;
  for (const char* name : {"Mean", "Std. Error"}) header.emplace_back(name);
  if (f) header.emplace_back("df");
  header.push_back("Lower " + level);
  header.push_back("Upper " + level);
  TextTable table(header, e.fFactors.size());
  for (const auto& m : e.fMeans) {
    std::vector<std::string> cells;
    for (const auto& [factor, text] : m.fLevels) cells.push_back(text);
    cells.resize(e.fFactors.size());
    cells.push_back(FormatOptional(m.fMean, ReportWriter::FormatNumber));
    cells.push_back(FormatOptional(m.fStdError, ReportWriter::FormatNumber));
    if (f) cells.push_back(FormatOptional(m.fDF, FormatTotal));
    cells.push_back(FormatOptional(m.fLower, ReportWriter::FormatNumber));
    cells.push_back(FormatOptional(m.fUpper, ReportWriter::FormatNumber));
    table.AddRow(std::move(cells));
  }
  table.Write(out);
}

void WriteComparisons(const EmmeansResult& e, bool f, const std::string& level, std::ostream& out) {
  const LevelTexts by = e.fComparisons.front().fBy;
  std::vector<std::string> header = ByHeader(by);
  const std::size_t nLabels = header.size() + 1;
  header.emplace_back("Contrast");
  for (const char* name : {"Estimate", "Std. Error"}) header.emplace_back(name);
  header.emplace_back(f ? "t value" : "Chi-square");
  if (f) header.emplace_back("df");
  header.emplace_back(f ? "Pr(>|t|)" : "Pr(>Chisq)");
  header.push_back("Lower " + level);
  header.push_back("Upper " + level);
  TextTable table(header, nLabels);
  for (const auto& c : e.fComparisons) {
    std::vector<std::string> cells = ByCells(c.fBy);
    cells.push_back(c.fContrast);
    cells.push_back(FormatOptional(c.fEstimate, ReportWriter::FormatNumber));
    cells.push_back(FormatOptional(c.fStdError, ReportWriter::FormatNumber));
    cells.push_back(FormatOptional(c.fStatistic, ReportWriter::FormatStatistic));
    if (f) cells.push_back(FormatOptional(c.fDF, FormatTotal));
    cells.push_back(FormatOptional(c.fP, ReportWriter::FormatPValue));
    cells.push_back(FormatOptional(c.fLower, ReportWriter::FormatNumber));
    cells.push_back(FormatOptional(c.fUpper, ReportWriter::FormatNumber));
    table.AddRow(std::move(cells));
  }
  table.Write(out);
}

void WriteOverall(const EmmeansResult& e, bool f, std::ostream& out) {
  const LevelTexts by = e.fOverall.front().fBy;
  std::vector<std::string> header = ByHeader(by);
  const std::size_t nLabels = header.size();
  header.emplace_back(f ? "F value" : "Chi-square");
  header.emplace_back("df");
  if (f) header.emplace_back("df error");
  header.emplace_back(f ? "Pr(>F)" : "Pr(>Chisq)");
  TextTable table(header, nLabels);
  for (const auto& o : e.fOverall) {
    std::vector<std::string> cells = ByCells(o.fBy);
    cells.push_back(FormatOptional(o.fStatistic, ReportWriter::FormatStatistic));
    cells.push_back(FormatOptional(o.fDF, FormatTotal));
    if (f) cells.push_back(FormatOptional(o.fDFError, FormatTotal));
    cells.push_back(FormatOptional(o.fP, ReportWriter::FormatPValue));
    table.AddRow(std::move(cells));
  }
  table.Write(out);
}

}  // namespace

void EmmeansReport::WriteTables(const FitResult& result, std::ostream& out) {
  const std::string level = LevelText(result.fConfidenceLevel);
  for (const auto& e : result.fEmmeans) {
    const bool f = !e.fbChiSquare;
    out << "\nEstimated marginal means: " << e.fSpec;
    if (!e.fCategory.empty())
      out << (e.fScale == "response" ? " (probability of " : " (log-odds of ") << e.fCategory << " against "
          << e.fReference << ")";
    out << '\n';
    if (!e.fAt.empty()) {
      std::vector<std::string> held;
      for (const auto& [name, value] : e.fAt)
        held.push_back(name + " = " + ReportWriter::FormatNumber(value));
      out << "Covariates at " << Join(held, ", ") << '\n';
    }
    if (e.fMeans.empty()) {
      out << "not formed";
      if (!e.fNotes.empty()) out << ": " << e.fNotes.front();
      out << '\n';
      continue;
    }
    WriteMeans(e, f, level, out);
    if (e.fCompared.empty()) continue;
    const std::string compared = Join(e.fCompared, " x ");
    std::vector<std::string> by;
    for (const auto& factor : e.fFactors)
      if (std::find(e.fCompared.begin(), e.fCompared.end(), factor) == e.fCompared.end())
        by.push_back(factor);
    const bool grouped = !by.empty();
    const std::string within =
        by.size() == 1 ? " within each level of " + by[0] : " within each combination of " + Join(by, " x ");
    if (!e.fComparisons.empty()) {
      out << "\nComparisons of " << compared << (grouped ? within : "") << " (" << ContrastText(e.fContrast)
          << ", " << AdjustText(e.fAdjust) << ")\n";
      WriteComparisons(e, f, level, out);
    }
    if (!e.fOverall.empty()) {
      out << "\nOverall test" << (grouped ? "s" : "") << " that the means of " << compared << " are equal"
          << (grouped ? within : "") << '\n';
      WriteOverall(e, f, out);
    }
  }
}

nlohmann::ordered_json EmmeansReport::ToJson(const FitResult& result) {
  auto list = nlohmann::ordered_json::array();
  for (const auto& e : result.fEmmeans) {
    nlohmann::ordered_json item;
    item["spec"] = e.fSpec;
    item["factors"] = e.fFactors;
    item["compared"] = e.fCompared;
    item["contrast"] = e.fContrast;
    item["adjust"] = e.fAdjust;
    item["scale"] = e.fScale.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(e.fScale);
    item["category"] =
        e.fCategory.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(e.fCategory);
    item["reference"] =
        e.fReference.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(e.fReference);
    auto at = nlohmann::ordered_json::object();
    for (const auto& [name, value] : e.fAt) at[name] = OrNull(value);
    item["at"] = std::move(at);
    auto means = nlohmann::ordered_json::array();
    for (const auto& m : e.fMeans)
      means.push_back({{"levels", LevelsJson(m.fLevels)},
                       {"mean", OrNull(m.fMean)},
                       {"std_error", OrNull(m.fStdError)},
                       {"df", OrNull(m.fDF)},
                       {"lower", OrNull(m.fLower)},
                       {"upper", OrNull(m.fUpper)}});
    item["means"] = std::move(means);
    auto comparisons = nlohmann::ordered_json::array();
    for (const auto& c : e.fComparisons)
      comparisons.push_back({{"by", LevelsJson(c.fBy)},
                             {"contrast", c.fContrast},
                             {"estimate", OrNull(c.fEstimate)},
                             {"std_error", OrNull(c.fStdError)},
                             {"statistic", OrNull(c.fStatistic)},
                             {"df", OrNull(c.fDF)},
                             {"p", OrNull(c.fP)},
                             {"lower", OrNull(c.fLower)},
                             {"upper", OrNull(c.fUpper)}});
    item["comparisons"] = std::move(comparisons);
    auto overall = nlohmann::ordered_json::array();
    for (const auto& o : e.fOverall)
      overall.push_back({{"by", LevelsJson(o.fBy)},
                         {"df", OrNull(o.fDF)},
                         {"df_error", OrNull(o.fDFError)},
                         {"statistic", OrNull(o.fStatistic)},
                         {"p", OrNull(o.fP)}});
    item["overall"] = std::move(overall);
    item["notes"] = e.fNotes;
    list.push_back(std::move(item));
  }
  return list;
}

}  // namespace QXFit
