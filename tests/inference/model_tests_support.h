// What the model-test suites share: a fitted model read from a reference file (estimates, covariance,
// residual df) and comparisons that treat a JSON null as the system-missing value. The suites are
// written inside namespace model_tests, which names the library types they use.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "qxregres600r.h"
#include "tests/common/kernel_reference.h"

namespace model_tests {

using nlohmann::json;
using QXMath_600::IQXLinkFunc;
using QXMath_600::QXBitSet;
using QXMath_600::QXModelTests;
using QXMath_600::QXRectMatrix;
using QXMath_600::QXSymMatrix;
using QXMath_600::QXTestStats;

inline constexpr double kM = QXMV::gMissingValue;

// The estimates and covariance of a fit, kept alive for the tests that borrow them.
struct FittedModel {
  explicit FittedModel(const json& fit)
      : b(fit["b"].get<std::vector<double>>()),
        V(kernel_test::ToSym(fit["V"])),
        df(fit["df"].get<double>()),
        redundancy(static_cast<int>(b.size())) {}

  // Tests of the given type and adjustment with 95% intervals.
  QXModelTests Tests(QXConst::QXTestType type, QXConst::QXPAdjustMethod method = QXConst::QXPAdjLSD) const {
    QXModelTests tests(b, redundancy, V, df, nullptr);
    tests.SetTestType(type);
    tests.SetPAdjustment(method);
    tests.SetConfidenceLevel(0.95);
    return tests;
  }

  std::vector<double> b;
  QXSymMatrix V;
  double df;
  QXBitSet redundancy;
};

// A JSON null stands for a statistic that cannot be formed.
inline void ExpectStat(double actual, const json& expected, double rel, const std::string& what) {
  if (expected.is_null()) {
    EXPECT_EQ(actual, kM) << what;
    return;
  }
  const double value = expected.get<double>();
  EXPECT_TRUE(kernel_test::Near(actual, value, rel)) << what << ": " << actual << " vs " << value;
}

// One field of the records of consecutive rows against a column of expected values.
using Field = double (QXTestStats::*)() const;
inline void ExpectColumn(const std::vector<QXTestStats>& rows, Field field, const json& expected, double rel,
                         const std::string& what) {
  ASSERT_GE(rows.size(), expected.size()) << what;
  for (std::size_t i = 0; i < expected.size(); ++i)
    ExpectStat((rows[i].*field)(), expected[i], rel, what + " row " + std::to_string(i));
}

}  // namespace model_tests
