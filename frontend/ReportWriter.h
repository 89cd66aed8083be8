// Writes the results of a fit for people (an aligned parameter table with the fit statistics) or for
// programs (one JSON document whose names stay stable from version to version; new results are
// added under new names).
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>

#include "frontend/FitResult.h"

namespace QXFit {

class ReportWriter {
 public:
  static void WriteTable(const FitResult& result, std::ostream& out);
  static void WriteJson(const FitResult& result, std::ostream& out);
  // The document WriteJson prints; keys keep the order in which a reader expects them.
  static nlohmann::ordered_json ToJson(const FitResult& result);

  // Numbers as the table prints them: six significant digits for estimates, three decimals for t,
  // and p-values below the double resolution shown as a bound rather than as 0.
  static std::string FormatNumber(double value);
  static std::string FormatStatistic(double value);
  static std::string FormatPValue(double p);
};

}  // namespace QXFit
