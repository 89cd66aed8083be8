// Loading of the kernel's reference values (tests/reference/kernel_*.json, written by R).
#pragma once

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/QXRectMatrix.h"
#include "common/QXSymMatrix.h"

namespace kernel_test {

inline nlohmann::json LoadReference(const std::string& file) {
  std::ifstream in(std::string(QX_TEST_REFERENCE_DIR) + "/" + file);
  return nlohmann::json::parse(in);
}

inline QXMath_600::QXRectMatrix ToRect(const nlohmann::json& rows) {
  QXMath_600::QXRectMatrix m;
  for (const auto& row : rows) m.AppendRow(row.get<std::vector<double>>());
  return m;
}

inline QXMath_600::QXSymMatrix ToSym(const nlohmann::json& rows) {
  const int n = static_cast<int>(rows.size());
  QXMath_600::QXSymMatrix m(n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j) m.SetElem(i, j, rows[i][j].get<double>());
  return m;
}

// |a - b| <= rel * max(|b|, floor): relative agreement, with a floor for entries that are 0.
inline bool Near(double a, double b, double rel, double floor = 1e-300) {
  return std::fabs(a - b) <= rel * std::max(std::fabs(b), floor);
}

}  // namespace kernel_test
