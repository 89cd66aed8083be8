#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <numbers>
#include <string>
#include <vector>

#include "common/QXDistFun.h"
#include "common/QXMissingValue.h"

using QXMath_600::QXDistFun;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kM = QXMV::gMissingValue;
constexpr double kPi = std::numbers::pi;

nlohmann::json Load(const char* file) {
  std::ifstream in(std::string(QX_TEST_REFERENCE_DIR) + "/" + file);
  return nlohmann::json::parse(in);
}

double Number(const nlohmann::json& v) {
  if (v.is_string()) return v.get<std::string>() == "Inf" ? kInf : -kInf;
  return v.get<double>();
}

using Args = std::vector<double>;
using Function = std::function<double(const Args&)>;

// The tables of both reference files and the function each one checks.
const std::vector<std::pair<std::string, Function>>& Tables() {
  static const std::vector<std::pair<std::string, Function>> tables = {
      {"cdf_std_norm", [](const Args& a) { return QXDistFun::CdfStdNorm(a[0]); }},
      {"cdf_std_norm_upper", [](const Args& a) { return QXDistFun::CdfStdNormUpper(a[0]); }},
      {"idf_std_norm", [](const Args& a) { return QXDistFun::IdfStdNorm(a[0]); }},
      {"idf_std_norm_upper", [](const Args& a) { return QXDistFun::IdfStdNormUpper(a[0]); }},
      {"cdf_t", [](const Args& a) { return QXDistFun::CdfT(a[0], a[1]); }},
      {"cdf_t_upper", [](const Args& a) { return QXDistFun::CdfTUpper(a[0], a[1]); }},
      {"idf_t", [](const Args& a) { return QXDistFun::IdfT(a[0], a[1]); }},
      {"idf_t_upper", [](const Args& a) { return QXDistFun::IdfTUpper(a[0], a[1]); }},
      {"cdf_chi", [](const Args& a) { return QXDistFun::CdfChi(a[0], a[1]); }},
      {"cdf_chi_upper", [](const Args& a) { return QXDistFun::CdfChiUpper(a[0], a[1]); }},
      {"cdf_f", [](const Args& a) { return QXDistFun::CdfF(a[0], a[1], a[2]); }},
      {"cdf_f_upper", [](const Args& a) { return QXDistFun::CdfFUpper(a[0], a[1], a[2]); }},
  };
  return tables;
}

// Checks every row (arguments followed by the reference value) of every table and prints the
// largest relative error of each function. Subnormal references carry fewer than 53 bits, so
// they are compared in absolute terms, to within a few of the smallest subnormal steps.
void CheckAgainst(const char* file, const std::function<double(double expected)>& tolerance) {
  const nlohmann::json refs = Load(file);
  for (const auto& [name, f] : Tables()) {
    const auto& rows = refs.at(name);
    EXPECT_FALSE(rows.empty()) << name;
    double worst = 0.0;
    for (const auto& row : rows) {
      Args args;
      for (std::size_t i = 0; i + 1 < row.size(); ++i) args.push_back(Number(row[i]));
      const double expected = Number(row.back());
      const double actual = f(args);
      if (std::fabs(expected) < std::numeric_limits<double>::min()) {
        EXPECT_NEAR(actual, expected, 8 * std::numeric_limits<double>::denorm_min()) << name << row.dump();
        continue;
      }
      const double err = actual == expected ? 0.0 : std::fabs(actual - expected) / std::fabs(expected);
      worst = std::max(worst, err);
      EXPECT_LE(err, tolerance(expected)) << name << " at " << row.dump() << ": got " << actual;
    }
    std::printf("%-20s max relative error %.2g against %s (%zu values)\n", name.c_str(), worst, file,
                rows.size());
  }
}

}  // namespace

// 60-digit values: the functions hold about 1e-14 relative everywhere. Deep in the tails (below
// 1e-20) Boost forms the incomplete-beta argument df/(df + t^2) in double, and the shape parameter
// (hundreds there) multiplies its rounding error, so up to 1e-13 is allowed.
TEST(DistFunReference, MatchesHighPrecisionValuesToAbout1e14) {
  CheckAgainst("distributions_mp.json",
               [](double expected) { return std::fabs(expected) < 1e-20 ? 1e-13 : 2e-14; });
}

// R's own values are off by up to 1.2e-13 deep in the tails (pf and pt with about 1000 degrees of
// freedom, measured against the 60-digit values), which bounds what agreement with R can show.
TEST(DistFunReference, AgreesWithR) {
  CheckAgainst("distributions.json", [](double) { return 2e-13; });
}

TEST(DistFunDomain, BadArgumentsGiveTheMissingValue) {
  const double nan = std::nan("");
  for (double df : {0.0, -1.0, nan, kM, -kInf}) {
    EXPECT_EQ(QXDistFun::CdfT(1.0, df), kM) << df;
    EXPECT_EQ(QXDistFun::CdfTUpper(1.0, df), kM) << df;
    EXPECT_EQ(QXDistFun::IdfT(0.3, df), kM) << df;
    EXPECT_EQ(QXDistFun::IdfTUpper(0.3, df), kM) << df;
    EXPECT_EQ(QXDistFun::CdfChi(1.0, df), kM) << df;
    EXPECT_EQ(QXDistFun::CdfChiUpper(1.0, df), kM) << df;
    EXPECT_EQ(QXDistFun::CdfF(1.0, df, 3.0), kM) << df;
    EXPECT_EQ(QXDistFun::CdfFUpper(1.0, 3.0, df), kM) << df;
  }
  for (double p : {-0.1, 1.0000001, nan, kM, kInf}) {
    EXPECT_EQ(QXDistFun::IdfStdNorm(p), kM) << p;
    EXPECT_EQ(QXDistFun::IdfStdNormUpper(p), kM) << p;
    EXPECT_EQ(QXDistFun::IdfT(p, 4.0), kM) << p;
  }
  // A missing statistic stays missing rather than becoming the probability at -DBL_MAX.
  for (double x : {nan, kM}) {
    EXPECT_EQ(QXDistFun::CdfStdNorm(x), kM);
    EXPECT_EQ(QXDistFun::CdfStdNormUpper(x), kM);
    EXPECT_EQ(QXDistFun::CdfT(x, 3.0), kM);
    EXPECT_EQ(QXDistFun::CdfChi(x, 3.0), kM);
    EXPECT_EQ(QXDistFun::CdfFUpper(x, 3.0, 4.0), kM);
  }
}

TEST(DistFunLimits, InfiniteArgumentsAndBoundaryProbabilitiesGiveLimits) {
  EXPECT_EQ(QXDistFun::CdfStdNorm(-kInf), 0.0);
  EXPECT_EQ(QXDistFun::CdfStdNormUpper(-kInf), 1.0);
  EXPECT_EQ(QXDistFun::CdfT(kInf, 0.5), 1.0);
  EXPECT_EQ(QXDistFun::CdfTUpper(kInf, 0.5), 0.0);
  EXPECT_EQ(QXDistFun::CdfChi(kInf, 3.0), 1.0);
  EXPECT_EQ(QXDistFun::CdfChiUpper(kInf, 3.0), 0.0);
  EXPECT_EQ(QXDistFun::CdfF(kInf, 3.0, 4.0), 1.0);
  EXPECT_EQ(QXDistFun::IdfStdNorm(0.0), -kInf);
  EXPECT_EQ(QXDistFun::IdfStdNorm(1.0), kInf);
  EXPECT_EQ(QXDistFun::IdfStdNormUpper(0.0), kInf);
  EXPECT_EQ(QXDistFun::IdfT(0.0, 2.5), -kInf);
  EXPECT_EQ(QXDistFun::IdfT(1.0, 2.5), kInf);
  EXPECT_EQ(QXDistFun::IdfT(0.5, 0.3), 0.0);

  // Below the support of the chi-square and F distributions.
  EXPECT_EQ(QXDistFun::CdfChi(-2.0, 3.0), 0.0);
  EXPECT_EQ(QXDistFun::CdfChiUpper(0.0, 3.0), 1.0);
  EXPECT_EQ(QXDistFun::CdfF(-1.0, 2.0, 3.0), 0.0);

  // Infinite degrees of freedom give the limiting distributions.
  EXPECT_EQ(QXDistFun::CdfT(-1.5, kInf), QXDistFun::CdfStdNorm(-1.5));
  EXPECT_EQ(QXDistFun::IdfT(0.975, kInf), QXDistFun::IdfStdNorm(0.975));
  EXPECT_EQ(QXDistFun::CdfChi(12.0, kInf), 0.0);
  EXPECT_EQ(QXDistFun::CdfF(0.99, kInf, kInf), 0.0);
  EXPECT_EQ(QXDistFun::CdfF(1.0, kInf, kInf), 1.0);
  EXPECT_NEAR(QXDistFun::CdfF(2.0, 3.0, kInf), QXDistFun::CdfF(2.0, 3.0, 1e12), 1e-9);
  EXPECT_NEAR(QXDistFun::CdfFUpper(2.0, kInf, 5.0), QXDistFun::CdfFUpper(2.0, 1e12, 5.0), 1e-9);
}

// Closed forms: the chi-square upper tail with 2 df is exp(-x/2), the t upper tail with 1 df is
// atan(1/t)/pi (about 1/(pi t) for large t), the F(2, 2) upper tail is 1/(1 + f). Computing these
// as 1 - Cdf would give 0.
TEST(DistFunTails, UpperTailsKeepPValuesDownTo1e300) {
  EXPECT_NEAR(QXDistFun::CdfChiUpper(1380.0, 2.0) / std::exp(-690.0), 1.0, 1e-14);
  EXPECT_NEAR(QXDistFun::CdfTUpper(1e300, 1.0) * (kPi * 1e300), 1.0, 1e-14);
  EXPECT_NEAR(QXDistFun::CdfFUpper(1e300, 2.0, 2.0) / 1e-300, 1.0, 1e-14);
  EXPECT_EQ(1.0 - QXDistFun::CdfChi(1380.0, 2.0), 0.0);  // why callers must use the Upper forms
  // A critical value for a tiny error rate keeps its digits through the Upper quantile.
  EXPECT_NEAR(QXDistFun::IdfTUpper(1e-20, 1.0) * (kPi * 1e-20), 1.0, 1e-14);
}
