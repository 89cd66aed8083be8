// Shared by the design-matrix suites: reference cases (records, model) loaded from the JSON of
// tests/reference, their records as the library's Record objects, and small models described in the
// tests themselves.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "qxregres600r.h"
#include "tests/linear/linear_test_support.h"

namespace design_test {

using nlohmann::json;
using QXCommon_600::Record;

inline json LoadCases(const std::string& file) {
  std::ifstream in(std::string(QX_TEST_REFERENCE_DIR) + "/" + file);
  return json::parse(in)["cases"];
}

inline std::vector<Record> ToRecords(const qx_linear_test::Records& rows) {
  std::vector<Record> records;
  for (const std::vector<double>& r : rows) records.emplace_back(r.data(), static_cast<int>(r.size()));
  return records;
}

inline std::vector<Record> CaseRecords(const json& c) {
  return ToRecords(c["records"].get<qx_linear_test::Records>());
}

// Settings over records of the layout y, factors..., covariates... (record indices in that order),
// with the given terms, factor record indices in their nesting order as qx_linear_test::Term has them.
inline QXMath_600::QXRegSettings MakeSettings(const std::vector<int>& nCategories, int nCovariates,
                                              const std::vector<qx_linear_test::Term>& terms,
                                              bool intercept) {
  QXMath_600::QXRegSettings settings;
  EXPECT_TRUE(settings.SetDependent(0));
  int var = 1;
  for (int n : nCategories) EXPECT_GT(settings.AddFactor(var++, n), 0);
  for (int c = 0; c < nCovariates; ++c) EXPECT_GT(settings.AddCovariate(var++), 0);
  settings.SetInterceptUse(intercept);
  for (const qx_linear_test::Term& t : terms)
    EXPECT_TRUE(settings.AddModelEffect(qx_linear_test::MakeEffect(settings, t)));
  return settings;
}

// The intercept as an effect over the settings' candidates, for rebuilding a design effect by effect.
inline QXMath_600::QXModelEffect InterceptEffect(const QXMath_600::QXRegSettings& settings) {
  std::vector<int> candidates = settings.GetFactors();
  candidates.insert(candidates.end(), settings.GetCovariates().begin(), settings.GetCovariates().end());
  return QXMath_600::QXModelEffect(static_cast<int>(settings.GetFactors().size()),
                                   static_cast<int>(settings.GetCovariates().size()), &candidates);
}

}  // namespace design_test
