#include "common/QXPMMLExporter.h"

#include <cmath>
#include <string>
#include <string_view>

#include "common/QXMissingValue.h"

namespace QXXML_600 {

namespace {

bool HasValue(double value) { return std::isfinite(value) && !QXMV::IsMissing(value); }

void AddIfKnown(XMLElement& element, std::string_view name, double value) {
  if (HasValue(value)) element.AddAttribute(name, value);
}

// A PMML string array: entries in double quotes, a quote inside an entry escaped by a backslash.
std::string QuotedEntries(const std::vector<QXUniCategoryCount>& counts) {
  std::string text;
  for (const auto& count : counts) {
    if (!text.empty()) text += ' ';
    text += '"';
    for (char c : count.fValue) {
      if (c == '"' || c == '\\') text += '\\';
      text += c;
    }
    text += '"';
  }
  return text;
}

std::string Frequencies(const std::vector<QXUniCategoryCount>& counts) {
  std::string text;
  for (const auto& count : counts) {
    if (!text.empty()) text += ' ';
    text += XMLElement::FormatDouble(HasValue(count.fFrequency) ? count.fFrequency : 0.0);
  }
  return text;
}

std::unique_ptr<XMLElement> NumericInfo(const QXUniStats& stats) {
  const QXUniSummary& s = stats.GetSummary();
  auto info = XMLElement::Create("NumericInfo");
  AddIfKnown(*info, "minimum", s.fMinimum);
  AddIfKnown(*info, "maximum", s.fMaximum);
  AddIfKnown(*info, "mean", s.fMean);
  AddIfKnown(*info, "standardDeviation", s.fStandardDeviation);
  AddIfKnown(*info, "median", s.fMedian);
  AddIfKnown(*info, "interQuartileRange", s.fInterQuartileRange);
  for (const QXUniQuantile& q : stats.GetQuantiles()) {
    if (!HasValue(q.fLimit) || !HasValue(q.fValue) || q.fLimit < 0.0 || q.fLimit > 100.0) continue;
    XMLElement* quantile = info->AddChild(XMLElement::Create("Quantile"));
    quantile->AddAttribute("quantileLimit", q.fLimit);
    quantile->AddAttribute("quantileValue", q.fValue);
  }
  if (info->GetNAttributes() == 0 && info->GetNChildren() == 0) return nullptr;
  return info;
}

std::unique_ptr<XMLElement> DiscrStats(const QXUniStats& stats) {
  const auto& counts = stats.GetCategoryCounts();
  if (counts.empty()) return nullptr;
  auto discr = XMLElement::Create("DiscrStats");
  const double n = static_cast<double>(counts.size());
  XMLElement* values = discr->AddChild(XMLElement::Create("Array"));
  values->AddAttribute("n", n);
  values->AddAttribute("type", "string");
  values->SetText(QuotedEntries(counts));
  XMLElement* frequencies = discr->AddChild(XMLElement::Create("Array"));
  frequencies->AddAttribute("n", n);
  frequencies->AddAttribute("type", "real");
  frequencies->SetText(Frequencies(counts));
  return discr;
}

}  // namespace

QXCommon_600::QXStatus QXPMMLExporter::ExportUniStats(const QXUniStats& stats,
                                                      std::unique_ptr<XMLElement>& element) {
  element.reset();
  if (stats.GetField().empty()) return QXCommon_600::QXStatus(303, false);
  auto uni = XMLElement::Create("UnivariateStats");
  uni->AddAttribute("field", stats.GetField());
  if (HasValue(stats.GetTotalFrequency()) && stats.GetTotalFrequency() >= 0.0) {
    XMLElement* counts = uni->AddChild(XMLElement::Create("Counts"));
    counts->AddAttribute("totalFreq", stats.GetTotalFrequency());
  }
  uni->AddChild(NumericInfo(stats));
  uni->AddChild(DiscrStats(stats));
  element = std::move(uni);
  return QXCommon_600::QXStatus();
}

}  // namespace QXXML_600
