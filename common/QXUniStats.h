// Univariate statistics of one field of a model, the content of a PMML "UnivariateStats" element:
// the total (weighted) frequency, a numeric summary, quantiles, and the frequencies of the
// categories of a categorical field. Values that are missing (QXMV::gMissingValue) are not written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/QXExport.h"
#include "common/QXMissingValue.h"

namespace QXXML_600 {

// The numeric summary: PMML "NumericInfo".
struct QXCOMMON_API QXUniSummary {
  double fMinimum = QXMV::gMissingValue;
  double fMaximum = QXMV::gMissingValue;
  double fMean = QXMV::gMissingValue;
  double fStandardDeviation = QXMV::gMissingValue;
  double fMedian = QXMV::gMissingValue;
  double fInterQuartileRange = QXMV::gMissingValue;
};

// One quantile: the percentage (0 to 100) and the value below which that share of the data lies.
struct QXCOMMON_API QXUniQuantile {
  double fLimit = 0.0;
  double fValue = 0.0;
};

// The frequency of one category, named by its text.
struct QXCOMMON_API QXUniCategoryCount {
  std::string fValue;
  double fFrequency = 0.0;
};

class QXCOMMON_API QXUniStats {
 public:
  // `totalFrequency` is the (weighted) number of records the statistics describe: PMML "Counts"
  // "totalFreq". Missing when unknown.
  QXUniStats(std::string_view field, double totalFrequency, const QXUniSummary& summary,
             std::vector<QXUniQuantile> quantiles, std::vector<QXUniCategoryCount> categoryCounts);

  const std::string& GetField() const { return fField; }
  double GetTotalFrequency() const { return fTotalFrequency; }
  const QXUniSummary& GetSummary() const { return fSummary; }
  const std::vector<QXUniQuantile>& GetQuantiles() const { return fvQuantiles; }
  const std::vector<QXUniCategoryCount>& GetCategoryCounts() const { return fvCategoryCounts; }

  void Display() const;

 private:
  std::string fField;
  double fTotalFrequency;
  QXUniSummary fSummary;
  std::vector<QXUniQuantile> fvQuantiles;
  std::vector<QXUniCategoryCount> fvCategoryCounts;
};

}  // namespace QXXML_600
