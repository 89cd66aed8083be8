// The qxfit reference cases (tests/reference/qxfit_<case>.json, written by R): the command, the
// record counts, and lm()'s results on the library's parameterisation.
#pragma once

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace qxfit_test {

inline std::vector<std::string> ReferenceCases() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(QX_TEST_REFERENCE_DIR)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("qxfit_", 0) == 0 && entry.path().extension() == ".json" && name != "qxfit_formulas.json")
      names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

inline nlohmann::json LoadCase(const std::string& name) {
  std::ifstream in(std::string(QX_TEST_REFERENCE_DIR) + "/" + name + ".json");
  return nlohmann::json::parse(in);
}

// |a - b| <= rel * max(|b|, floor): relative agreement, with a floor for reference values that are 0.
inline bool Near(double a, double b, double rel, double floor = 1e-300) {
  return std::fabs(a - b) <= rel * std::max(std::fabs(b), floor);
}

}  // namespace qxfit_test
