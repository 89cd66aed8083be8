// The marginal means in the report: for each --emmeans request a table of means, a table of
// comparisons and the overall tests of its groups, or their JSON form.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>

#include "frontend/FitResult.h"

namespace QXFit {

class EmmeansReport {
 public:
  // The tables of every request in result.fEmmeans (nothing when there are none).
  static void WriteTables(const FitResult& result, std::ostream& out);
  // The "emmeans" array of the JSON document.
  static nlohmann::ordered_json ToJson(const FitResult& result);
};

}  // namespace QXFit
