#include "tools/qxfit/ReportWriter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace QXFit {

namespace {

std::string Printf(const char* format, double value) {
  std::array<char, 64> buffer{};
  std::snprintf(buffer.data(), buffer.size(), format, value);
  return buffer.data();
}

nlohmann::ordered_json OrNull(const std::optional<double>& value) {
  if (!value || !std::isfinite(*value)) return nullptr;
  return *value;
}

std::string PadLeft(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string PadRight(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// Degrees of freedom and weight totals are usually whole numbers, often large: printed in full rather
// than as 2.00004e+06.
std::string FormatTotal(double value) {
  if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
    return Printf("%.0f", value);
  return ReportWriter::FormatNumber(value);
}

std::string Optional(const std::optional<double>& value, std::string (*format)(double)) {
  return value ? format(*value) : "";
}

}  // namespace

std::string ReportWriter::FormatNumber(double value) { return Printf("%.6g", value); }

std::string ReportWriter::FormatStatistic(double value) { return Printf("%.3f", value); }

std::string ReportWriter::FormatPValue(double p) {
  // Below the spacing of doubles near 1 a p-value only says "smaller than that", as R prints it.
  if (p < 2.2e-16) return "<2.2e-16";
  return Printf("%.3g", p);
}

void ReportWriter::WriteTable(const FitResult& result, std::ostream& out) {
  const std::array<std::string, 5> header = {"Parameter", "Estimate", "Std. Error", "t value", "Pr(>|t|)"};
  std::vector<std::array<std::string, 5>> rows;
  for (const auto& p : result.fParameters) {
    if (p.fbRedundant) {
      rows.push_back({p.fLabel, "(redundant)", "", "", ""});
      continue;
    }
    rows.push_back({p.fLabel, FormatNumber(p.fEstimate), Optional(p.fStdError, FormatNumber),
                    Optional(p.fT, FormatStatistic), Optional(p.fP, FormatPValue)});
  }
  std::array<std::size_t, 5> width{};
  for (std::size_t c = 0; c < header.size(); ++c) {
    width[c] = header[c].size();
    for (const auto& row : rows) width[c] = std::max(width[c], row[c].size());
  }
  auto line = [&](const std::array<std::string, 5>& cells) {
    std::string text = PadRight(cells[0], width[0]);
    for (std::size_t c = 1; c < cells.size(); ++c) text += "  " + PadLeft(cells[c], width[c]);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out << text << '\n';
  };
  out << "Model: " << result.fModel << "\n\n";
  line(header);
  for (const auto& row : rows) line(row);

  auto value = [](const std::optional<double>& v) {
    return v ? FormatNumber(*v) : std::string("not available");
  };
  out << '\n';
  out << "R-square:                 " << value(result.fRSquared) << '\n';
  out << "Root mean square error:   " << value(result.fRmse)
      << "  (square root of the weighted mean squared residual)\n";
  out << "Residual standard error:  " << value(result.fSigma);
  if (result.fSigma && result.fDfError)
    out << "  on " << FormatTotal(*result.fDfError) << " degrees of freedom";
  out << '\n';
  out << "Error degrees of freedom: " << (result.fDfError ? FormatTotal(*result.fDfError) : "not available")
      << '\n';
  out << "Total weight:             " << FormatTotal(result.fTotalFreqWeight) << " (frequency), "
      << FormatTotal(result.fTotalRegrWeight) << " (frequency x regression)\n";
  out << "Records:                  " << result.fRecordsRead << " read, " << result.fRecordsUsed << " used\n";
}

nlohmann::ordered_json ReportWriter::ToJson(const FitResult& result) {
  nlohmann::ordered_json doc;
  doc["model"] = result.fModel;
  doc["records"] = {{"read", result.fRecordsRead}, {"used", result.fRecordsUsed}};
  doc["fit"] = {{"r_squared", OrNull(result.fRSquared)},
                {"rmse", OrNull(result.fRmse)},
                {"df_error", OrNull(result.fDfError)},
                {"total_freq_weight", result.fTotalFreqWeight},
                {"total_regr_weight", result.fTotalRegrWeight}};
  auto parameters = nlohmann::ordered_json::array();
  for (const auto& p : result.fParameters) {
    parameters.push_back({{"label", p.fLabel},
                          {"estimate", p.fEstimate},
                          {"std_error", OrNull(p.fStdError)},
                          {"redundant", p.fbRedundant}});
  }
  doc["parameters"] = std::move(parameters);
  return doc;
}

void ReportWriter::WriteJson(const FitResult& result, std::ostream& out) {
  out << ToJson(result).dump(2) << '\n';
}

}  // namespace QXFit
