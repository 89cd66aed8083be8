#include "common/QXUniStats.h"

#include <utility>

#include "common/QXDisplay.h"

namespace QXXML_600 {

QXUniStats::QXUniStats(std::string_view field, double totalFrequency, const QXUniSummary& summary,
                       std::vector<QXUniQuantile> quantiles, std::vector<QXUniCategoryCount> categoryCounts)
    : fField(field),
      fTotalFrequency(totalFrequency),
      fSummary(summary),
      fvQuantiles(std::move(quantiles)),
      fvCategoryCounts(std::move(categoryCounts)) {}

void QXUniStats::Display() const {
  QXDisplay_600::DisplayText(1, " ");
  QXDisplay_600::DisplayText(1, "QXUniStats display start");
  QXDisplay_600::DisplayS("Field", fField);
  QXDisplay_600::DisplayD("Total frequency", fTotalFrequency);
  QXDisplay_600::DisplayD("Minimum", fSummary.fMinimum);
  QXDisplay_600::DisplayD("Maximum", fSummary.fMaximum);
  QXDisplay_600::DisplayD("Mean", fSummary.fMean);
  QXDisplay_600::DisplayD("Standard deviation", fSummary.fStandardDeviation);
  QXDisplay_600::DisplayD("Median", fSummary.fMedian);
  QXDisplay_600::DisplayD("Interquartile range", fSummary.fInterQuartileRange);
  QXDisplay_600::DisplayI("Number of quantiles", static_cast<long long>(fvQuantiles.size()));
  QXDisplay_600::DisplayI("Number of category counts", static_cast<long long>(fvCategoryCounts.size()));
  QXDisplay_600::DisplayText(1, "QXUniStats display end");
}

}  // namespace QXXML_600
