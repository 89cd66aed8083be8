#include "frontend/LogisticReportWriter.h"

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

std::string Percent(double value) {
  std::array<char, 32> buffer{};
  std::snprintf(buffer.data(), buffer.size(), "%.1f", value);
  return buffer.data();
}

std::string PValueText(const std::optional<double>& p) {
  if (!p) return "";
  const std::string text = ReportWriter::FormatPValue(*p);
  return text.front() == '<' ? ", p < " + text.substr(1) : ", p = " + text;
}

// One table per non-reference category: the block of parameters that compares it with the reference.
void WriteParameters(const LogisticResult& result, std::ostream& out) {
  const FitResult& fit = result.fFit;
  const std::string level = LevelText(fit.fConfidenceLevel);
  const std::string& reference = result.fCategories.empty() ? std::string() : result.fCategories.back();
  std::size_t k = 0;
  while (k < fit.fParameters.size()) {
    const std::string& category = result.fOddsRatios[k].fCategory;
    out << "\n" << result.fResponse << " = " << category << " against " << reference << "\n";
    TextTable table({"Parameter", "Estimate", "Std. Error", "Chi-square", "df", "Pr(>Chisq)",
                     "Lower " + level, "Upper " + level, "Exp(B)", "Exp(B) lower", "Exp(B) upper"});
    for (; k < fit.fParameters.size() && result.fOddsRatios[k].fCategory == category; ++k) {
      const ParameterResult& p = fit.fParameters[k];
      const OddsRatioResult& odds = result.fOddsRatios[k];
      if (p.fbRedundant) {
        table.AddNote(p.fLabel, "(redundant)");
        continue;
      }
      table.AddRow({p.fLabel, ReportWriter::FormatNumber(p.fEstimate),
                    FormatOptional(p.fStdError, ReportWriter::FormatNumber),
                    FormatOptional(p.fStatistic, ReportWriter::FormatStatistic),
                    FormatOptional(p.fDF, FormatTotal), FormatOptional(p.fP, ReportWriter::FormatPValue),
                    FormatOptional(p.fLower, ReportWriter::FormatNumber),
                    FormatOptional(p.fUpper, ReportWriter::FormatNumber),
                    FormatOptional(odds.fExpB, ReportWriter::FormatNumber),
                    FormatOptional(odds.fLower, ReportWriter::FormatNumber),
                    FormatOptional(odds.fUpper, ReportWriter::FormatNumber)});
    }
    table.Write(out);
  }
}

void WriteEffects(const std::vector<EffectTestResult>& effects, const char* type, std::ostream& out) {
  out << "\nTests of model effects (" << type << ", Wald)\n";
  if (effects.empty()) {
    out << "none\n";
    return;
  }
  TextTable table({"Effect", "df", "Chi-square", "Pr(>Chisq)"});
  for (const auto& e : effects) {
    if (!e.fStatistic && !e.fDF) {
      table.AddNote(e.fEffect, "(not testable)");
      continue;
    }
    table.AddRow({e.fEffect, FormatOptional(e.fDF, FormatTotal),
                  FormatOptional(e.fStatistic, ReportWriter::FormatStatistic),
                  FormatOptional(e.fP, ReportWriter::FormatPValue)});
  }
  table.Write(out);
}

void WriteClassification(const LogisticResult& result, std::ostream& out) {
  out << "\nClassification (rows observed, columns predicted; frequency weights)\n";
  std::vector<std::string> header{"Observed"};
  header.insert(header.end(), result.fCategories.begin(), result.fCategories.end());
  header.push_back("Percent correct");
  TextTable table(header);
  for (const auto& row : result.fClassification) {
    std::vector<std::string> cells{row.fObserved};
    for (const double count : row.fPredicted) cells.push_back(FormatTotal(count));
    cells.push_back(FormatOptional(row.fPercentCorrect, Percent));
    table.AddRow(std::move(cells));
  }
  std::vector<std::string> overall(result.fCategories.size() + 1, "");
  overall.front() = "Overall";
  overall.push_back(FormatOptional(result.fPercentCorrect, Percent));
  table.AddRow(std::move(overall));
  table.Write(out);
}

void WriteFit(const LogisticResult& result, std::ostream& out) {
  auto value = [](const std::optional<double>& v) {
    return v ? ReportWriter::FormatNumber(*v) : std::string("not available");
  };
  out << '\n';
  out << "-2 log-likelihood:        " << value(result.fMinus2LLBaseline)
      << (result.fbInterceptOnlyBaseline ? " (intercept only), " : " (equal probabilities), ")
      << value(result.fMinus2LLFinal) << " (final)\n";
  out << "Likelihood ratio:         ";
  if (result.fLRChiSquare && result.fLRDF) {
    out << "chi-square = " << ReportWriter::FormatStatistic(*result.fLRChiSquare) << " on "
        << FormatTotal(*result.fLRDF) << " degrees of freedom" << PValueText(result.fLRP) << '\n';
  } else {
    out << "not available\n";
  }
  out << "Pseudo R-square:          Cox and Snell " << value(result.fCoxSnell) << ", Nagelkerke "
      << value(result.fNagelkerke) << ", McFadden " << value(result.fMcFadden) << '\n';
  out << "Total weight:             " << FormatTotal(result.fFit.fTotalFreqWeight) << " (frequency), "
      << FormatTotal(result.fFit.fTotalRegrWeight) << " (frequency x regression)\n";
  out << "Records:                  " << RecordsText(result.fFit) << '\n';
}

}  // namespace

void LogisticReportWriter::WriteTable(const LogisticResult& result, std::ostream& out) {
  const FitResult& fit = result.fFit;
  out << "Model: " << fit.fModel << "\n";
  out << "Multinomial logistic regression of " << result.fResponse << ": " << result.fCategories.size()
      << " categories, reference " << (result.fCategories.empty() ? "" : result.fCategories.back()) << "\n";
  out << "Iterations: " << result.fIterations << ", " << result.DescribeConvergence() << "\n";
  WriteParameters(result, out);
  if (fit.fbTypeI) WriteEffects(fit.fTypeI, "Type I", out);
  if (fit.fbTypeIII) WriteEffects(fit.fTypeIII, "Type III", out);
  WriteFit(result, out);
  WriteClassification(result, out);
  if (!fit.fWarnings.empty()) {
    out << "\nWarnings:\n";
    for (const auto& w : fit.fWarnings) out << "  " << w << '\n';
  }
}

nlohmann::ordered_json LogisticReportWriter::ToJson(const LogisticResult& result) {
  nlohmann::ordered_json doc = ReportWriter::ToJson(result.fFit);
  auto& parameters = doc["parameters"];
  for (std::size_t k = 0; k < parameters.size() && k < result.fOddsRatios.size(); ++k) {
    const OddsRatioResult& odds = result.fOddsRatios[k];
    parameters[k]["category"] = odds.fCategory;
    parameters[k]["exp_b"] = OrNull(odds.fExpB);
    parameters[k]["exp_lower"] = OrNull(odds.fLower);
    parameters[k]["exp_upper"] = OrNull(odds.fUpper);
  }
  auto classification = nlohmann::ordered_json::array();
  for (const auto& row : result.fClassification) {
    nlohmann::ordered_json predicted;
    for (std::size_t j = 0; j < row.fPredicted.size() && j < result.fCategories.size(); ++j)
      predicted[result.fCategories[j]] = row.fPredicted[j];
    classification.push_back({{"observed", row.fObserved},
                              {"predicted", predicted},
                              {"percent_correct", OrNull(row.fPercentCorrect)}});
  }
  nlohmann::ordered_json logistic;
  logistic["response"] = result.fResponse;
  logistic["categories"] = result.fCategories;
  logistic["reference"] = result.fCategories.empty() ? nlohmann::ordered_json()
                                                     : nlohmann::ordered_json(result.fCategories.back());
  logistic["iterations"] = result.fIterations;
  logistic["convergence"] = {{"state", result.fConvergenceState},
                             {"converged", result.IsConverged()},
                             {"description", result.DescribeConvergence()}};
  logistic["minus2_log_likelihood"] = {
      {"intercept_only", OrNull(result.fMinus2LLBaseline)},
      {"final", OrNull(result.fMinus2LLFinal)},
      {"baseline", result.fbInterceptOnlyBaseline ? "intercept only" : "equal probabilities"}};
  logistic["likelihood_ratio"] = {
      {"chi_square", OrNull(result.fLRChiSquare)}, {"df", OrNull(result.fLRDF)}, {"p", OrNull(result.fLRP)}};
  logistic["pseudo_r_squared"] = {{"cox_snell", OrNull(result.fCoxSnell)},
                                  {"nagelkerke", OrNull(result.fNagelkerke)},
                                  {"mcfadden", OrNull(result.fMcFadden)}};
  logistic["classification"] = std::move(classification);
  logistic["percent_correct"] = OrNull(result.fPercentCorrect);
  // The warnings stay last, as in every document of the tool.
  nlohmann::ordered_json warnings = doc["warnings"];
  doc.erase("warnings");
  doc["logistic"] = std::move(logistic);
  doc["warnings"] = std::move(warnings);
  return doc;
}

void LogisticReportWriter::WriteJson(const LogisticResult& result, std::ostream& out) {
  out << ToJson(result).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

}  // namespace QXFit
