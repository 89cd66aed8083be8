#include "frontend/ReportWriter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "frontend/TextTable.h"

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

nlohmann::ordered_json OrNull(const std::optional<std::string>& text) {
  if (!text) return nullptr;
  return *text;
}

void WriteParameters(const FitResult& result, std::ostream& out) {
  const bool f = result.fTest == TestKind::kF;
  const std::string level = LevelText(result.fConfidenceLevel);
  TextTable table({"Parameter", "Estimate", "Std. Error", f ? "t value" : "Chi-square",
                   f ? "Pr(>|t|)" : "Pr(>Chisq)", "Lower " + level, "Upper " + level});
  for (const auto& p : result.fParameters) {
    if (p.fbRedundant) {
      table.AddNote(p.fLabel, "(redundant)");
      continue;
    }
    table.AddRow({p.fLabel, ReportWriter::FormatNumber(p.fEstimate),
                  FormatOptional(p.fStdError, ReportWriter::FormatNumber),
                  FormatOptional(p.fStatistic, ReportWriter::FormatStatistic),
                  FormatOptional(p.fP, ReportWriter::FormatPValue),
                  FormatOptional(p.fLower, ReportWriter::FormatNumber),
                  FormatOptional(p.fUpper, ReportWriter::FormatNumber)});
  }
  table.Write(out);
}

// One table of effect tests with the sums of squares, as R's anova prints it, closed by the error row.
void WriteEffects(const FitResult& result, const std::vector<EffectTestResult>& effects, const char* type,
                  std::ostream& out) {
  const bool f = result.fTest == TestKind::kF;
  out << "\nTests of model effects (" << type << ")\n";
  if (effects.empty()) {
    out << "none\n";
    return;
  }
  TextTable table(
      {"Effect", "df", "Sum Sq", "Mean Sq", f ? "F value" : "Chi-square", f ? "Pr(>F)" : "Pr(>Chisq)"});
  for (const auto& e : effects) {
    if (!e.fStatistic && !e.fDF) {
      table.AddNote(e.fEffect, "(not testable)");
      continue;
    }
    table.AddRow({e.fEffect, FormatOptional(e.fDF, FormatTotal),
                  FormatOptional(e.fSumSq, ReportWriter::FormatNumber),
                  FormatOptional(e.fMeanSq, ReportWriter::FormatNumber),
                  FormatOptional(e.fStatistic, ReportWriter::FormatStatistic),
                  FormatOptional(e.fP, ReportWriter::FormatPValue)});
  }
  if (result.fErrorSumSq)
    table.AddRow({"Error", FormatOptional(result.fDfError, FormatTotal),
                  ReportWriter::FormatNumber(*result.fErrorSumSq),
                  FormatOptional(result.fErrorMeanSq, ReportWriter::FormatNumber)});
  table.Write(out);
}

// "F = 5.828 on 5 and 48 degrees of freedom, p = 0.000277", or the chi-square's form.
std::string CorrectedModelText(const EffectTestResult& model, TestKind test) {
  if (!model.fStatistic || !model.fDF) return "not available";
  std::string text = test == TestKind::kF ? "F = " : "chi-square = ";
  text += ReportWriter::FormatStatistic(*model.fStatistic) + " on " + FormatTotal(*model.fDF);
  if (test == TestKind::kF && model.fDFError) text += " and " + FormatTotal(*model.fDFError);
  text += " degrees of freedom";
  if (model.fP) {
    const std::string p = ReportWriter::FormatPValue(*model.fP);
    text += p.front() == '<' ? ", p < " + p.substr(1) : ", p = " + p;
  }
  return text;
}

nlohmann::ordered_json EffectJson(const EffectTestResult& e) {
  return {{"effect", e.fEffect},        {"df", OrNull(e.fDF)},          {"df_error", OrNull(e.fDFError)},
          {"sum_sq", OrNull(e.fSumSq)}, {"mean_sq", OrNull(e.fMeanSq)}, {"statistic", OrNull(e.fStatistic)},
          {"p", OrNull(e.fP)},          {"status", OrNull(e.fStatus)}};
}

nlohmann::ordered_json EffectListJson(bool asked, const std::vector<EffectTestResult>& effects) {
  if (!asked) return nullptr;
  auto list = nlohmann::ordered_json::array();
  for (const auto& e : effects) list.push_back(EffectJson(e));
  return list;
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
  out << "Model: " << result.fModel << "\n\n";
  WriteParameters(result, out);
  if (result.fbTypeI) WriteEffects(result, result.fTypeI, "Type I", out);
  if (result.fbTypeIII) WriteEffects(result, result.fTypeIII, "Type III", out);

  auto value = [](const std::optional<double>& v) {
    return v ? FormatNumber(*v) : std::string("not available");
  };
  out << '\n';
  out << "R-square:                 " << value(result.fRSquared) << '\n';
  out << "Adjusted R-square:        " << value(result.fAdjRSquared) << '\n';
  if (result.fCorrectedModel)
    out << "Corrected model:          " << CorrectedModelText(*result.fCorrectedModel, result.fTest) << '\n';
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
  out << "Records:                  " << RecordsText(result) << '\n';
  if (!result.fWarnings.empty()) {
    out << "\nWarnings:\n";
    for (const auto& w : result.fWarnings) out << "  " << w << '\n';
  }
}

nlohmann::ordered_json ReportWriter::ToJson(const FitResult& result) {
  nlohmann::ordered_json doc;
  doc["model"] = result.fModel;
  doc["records"] = {{"read", result.fRecordsRead},
                    {"used", result.fRecordsUsed},
                    {"left_out",
                     {{"missing", result.fLeftOutMissing},
                      {"not_finite", result.fLeftOutNotFinite},
                      {"undefined", result.fLeftOutUndefined},
                      {"weight_not_positive", result.fLeftOutWeight}}}};
  doc["fit"] = {
      {"r_squared", OrNull(result.fRSquared)},        {"rmse", OrNull(result.fRmse)},
      {"df_error", OrNull(result.fDfError)},          {"total_freq_weight", result.fTotalFreqWeight},
      {"total_regr_weight", result.fTotalRegrWeight}, {"sigma", OrNull(result.fSigma)},
      {"adj_r_squared", OrNull(result.fAdjRSquared)}};
  doc["test"] = result.fTest == TestKind::kF ? "F" : "chisq";
  doc["confidence_level"] = result.fConfidenceLevel;
  auto parameters = nlohmann::ordered_json::array();
  for (const auto& p : result.fParameters) {
    parameters.push_back({{"label", p.fLabel},
                          {"estimate", p.fEstimate},
                          {"std_error", OrNull(p.fStdError)},
                          {"statistic", OrNull(p.fStatistic)},
                          {"df", OrNull(p.fDF)},
                          {"p", OrNull(p.fP)},
                          {"lower", OrNull(p.fLower)},
                          {"upper", OrNull(p.fUpper)},
                          {"redundant", p.fbRedundant}});
  }
  doc["parameters"] = std::move(parameters);
  nlohmann::ordered_json corrected = nullptr;
  if (result.fCorrectedModel) {
    const EffectTestResult& m = *result.fCorrectedModel;
    corrected = {{"df", OrNull(m.fDF)},
                 {"df_error", OrNull(m.fDFError)},
                 {"statistic", OrNull(m.fStatistic)},
                 {"p", OrNull(m.fP)},
                 {"r_squared", OrNull(result.fRSquared)},
                 {"status", OrNull(m.fStatus)},
                 {"sum_sq", OrNull(m.fSumSq)},
                 {"mean_sq", OrNull(m.fMeanSq)}};
  }
  nlohmann::ordered_json error = nullptr;
  if (result.fErrorSumSq)
    error = {{"df", OrNull(result.fDfError)},
             {"sum_sq", OrNull(result.fErrorSumSq)},
             {"mean_sq", OrNull(result.fErrorMeanSq)}};
  doc["effect_tests"] = {{"type1", EffectListJson(result.fbTypeI, result.fTypeI)},
                         {"type3", EffectListJson(result.fbTypeIII, result.fTypeIII)},
                         {"corrected_model", std::move(corrected)},
                         {"error", std::move(error)}};
  doc["warnings"] = result.fWarnings;
  return doc;
}

void ReportWriter::WriteJson(const FitResult& result, std::ostream& out) {
  // Names and levels come from the data as they are written, in whatever encoding: a byte that is not
  // UTF-8 becomes U+FFFD, so that the document stays valid JSON instead of aborting the dump.
  out << ToJson(result).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

}  // namespace QXFit
