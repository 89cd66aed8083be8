// Writes the results of a multinomial logistic fit for people (the iteration summary, a parameter
// table per response category, the effect tests, the likelihood-ratio test and pseudo R-squares, the
// classification table) or for programs (the linear report's JSON document, whose parameters carry
// their response category and odds ratio, with a "logistic" object for the rest).
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>

#include "frontend/LogisticResult.h"

namespace QXFit {

class LogisticReportWriter {
 public:
  static void WriteTable(const LogisticResult& result, std::ostream& out);
  static void WriteJson(const LogisticResult& result, std::ostream& out);
  static nlohmann::ordered_json ToJson(const LogisticResult& result);
};

}  // namespace QXFit
