#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "qxregres600r.h"

namespace {

using QXConst::LinkType;
using QXMath_600::CreateLinkFunction;
using QXMath_600::IQXLinkFunc;

constexpr double kM = QXMV::gMissingValue;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::unique_ptr<IQXLinkFunc> Make(int type, double param = 0.0) {
  return std::unique_ptr<IQXLinkFunc>(CreateLinkFunction(static_cast<LinkType>(type), param));
}

// Calls one operation and returns (value, status), the status primed with a value no operation
// writes so that a forgotten status shows.
struct Result {
  double value;
  std::uint32_t status;
};
enum class Op { kLink, kInverse, kDerivative, kSecond };
Result Call(const IQXLinkFunc& f, Op op, double x) {
  std::uint32_t status = 99;
  double value = 0.0;
  switch (op) {
    case Op::kLink: value = f.Link(x, &status); break;
    case Op::kInverse: value = f.InverseLink(x, &status); break;
    case Op::kDerivative: value = f.Derivative(x, &status); break;
    case Op::kSecond: value = f.SecondDerivative(x, &status); break;
  }
  return {value, status};
}

#define EXPECT_RESULT(f, op, x, expectedValue, expectedStatus) \
  do {                                                         \
    const Result r_ = Call(f, op, x);                          \
    EXPECT_EQ(r_.value, expectedValue) << "argument " << x;    \
    EXPECT_EQ(r_.status, expectedStatus) << "argument " << x;  \
  } while (0)

// Every table of link_functions.json (R: qlogis, qnorm, qcauchy and their inverses, closed forms with
// log1p/expm1, and derivatives by R's symbolic D()). Values and inverses agree to 4e-14 relative:
// both sides round a handful of elementary functions, and the normal quantile of the companion layer
// and R's qnorm differ by a few units in the last place. The derivatives get 1e-12: R evaluates the
// symbolic expressions term by term, which costs it some digits where terms nearly cancel.
TEST(LinkFunctionReference, EveryLinkMatchesR) {
  std::ifstream in(std::string(QX_TEST_REFERENCE_DIR) + "/link_functions.json");
  const nlohmann::json links = nlohmann::json::parse(in);
  const std::vector<std::pair<const char*, Op>> tables = {{"link", Op::kLink},
                                                          {"inverse", Op::kInverse},
                                                          {"derivative", Op::kDerivative},
                                                          {"second", Op::kSecond}};
  for (const auto& [name, entry] : links.items()) {
    const double param = entry["param"].is_null() ? 0.0 : entry["param"].get<double>();
    const auto f = Make(entry["type"].get<int>(), param);
    ASSERT_NE(f, nullptr) << name;
    for (const auto& [table, op] : tables) {
      const double tolerance = op == Op::kLink || op == Op::kInverse ? 4e-14 : 1e-12;
      for (const auto& row : entry[table]) {
        const double x = row[0].get<double>(), expected = row[1].get<double>();
        const Result r = Call(*f, op, x);
        EXPECT_EQ(r.status, 0u) << name << " " << table << "(" << x << ")";
        EXPECT_NEAR(r.value, expected, tolerance * std::fabs(expected))
            << name << " " << table << "(" << x << ")";
      }
    }
  }
}

// Central differences of Link check Derivative and of Derivative check SecondDerivative (ordinary
// links); for the cumulative links the differences are taken along eta through InverseLink. One
// Richardson step leaves a truncation error of order h^4 and a rounding error of order 1e-16 / h;
// 1e-7 relative covers both.
TEST(LinkFunctionDerivatives, AgreeWithCentralDifferences) {
  const std::vector<double> mus = {0.02, 0.15, 0.37, 0.5, 0.61, 0.83, 0.97};
  // Steps: along mu a thousandth of the distance to the nearer end of (0, 1), where most links have
  // their singularities; along eta 1e-3.
  const auto diff = [](const auto& g, double x, double h) {
    const auto central = [&](double step) { return (g(x + step) - g(x - step)) / (2.0 * step); };
    return (4.0 * central(h / 2.0) - central(h)) / 3.0;
  };
  for (int type = 0; type <= 14; ++type) {
    const bool cumulative = type >= 10;
    for (double param : {-0.5, 0.0, 1.0, 2.5}) {
      // A negative binomial k must be positive for the link to exist.
      const auto f = Make(type, type == 5 && param <= 0.0 ? 0.4 : param);
      for (double mu : mus) {
        SCOPED_TRACE(testing::Message() << "type " << type << " param " << param << " mu " << mu);
        std::uint32_t s1 = 9, s2 = 9;
        const double d1 = f->Derivative(mu, &s1), d2 = f->SecondDerivative(mu, &s2);
        if (s1 != 0 || s2 != 0) continue;  // e.g. negative-k negative binomial outside its domain
        double numeric1, numeric2;
        if (!cumulative) {
          const double h = 1e-3 * std::min(mu, 1.0 - mu);
          numeric1 = diff([&](double m) { return f->Link(m, nullptr); }, mu, h);
          numeric2 = diff([&](double m) { return f->Derivative(m, nullptr); }, mu, h);
        } else {
          const double eta = f->Link(mu, nullptr);
          const auto mean = [&](double e) { return f->InverseLink(e, nullptr); };
          numeric1 = diff(mean, eta, 1e-3);
          numeric2 = diff([&](double e) { return f->Derivative(mean(e), nullptr); }, eta, 1e-3);
        }
        EXPECT_NEAR(d1, numeric1, 1e-7 * std::max(1.0, std::fabs(d1)));
        EXPECT_NEAR(d2, numeric2, 1e-7 * std::max(1.0, std::fabs(d2)));
      }
    }
  }
}

// The delta method's slope d mu / d eta for both kinds of link, against a central difference of the
// inverse link along eta: the ordinary links answer it as 1 / g'(mu), the cumulative ones as their own
// Derivative, and IsCumulative tells which kind a link is.
TEST(LinkFunctionDerivatives, InverseLinkDerivativeIsTheSlopeOfTheMeanForBothKinds) {
  const auto diff = [](const auto& g, double x, double h) {
    const auto central = [&](double step) { return (g(x + step) - g(x - step)) / (2.0 * step); };
    return (4.0 * central(h / 2.0) - central(h)) / 3.0;
  };
  for (int type = 0; type <= 14; ++type) {
    const auto f = Make(type, type == 5 ? 0.4 : 0.5);
    EXPECT_EQ(f->IsCumulative(), type >= 10) << type;
    for (double mu : {0.05, 0.3, 0.5, 0.8, 0.97}) {
      SCOPED_TRACE(testing::Message() << "type " << type << " mu " << mu);
      std::uint32_t status = 9;
      const double slope = f->InverseLinkDerivative(mu, &status);
      const double eta = f->Link(mu, nullptr);
      if (QXMV::IsMissing(eta)) continue;
      EXPECT_EQ(status, 0u);
      // A step relative to eta: the power links put eta near 0 where their inverse bends sharply.
      const double h = 1e-3 * std::max(std::fabs(eta), 1e-2);
      const double numeric = diff([&](double e) { return f->InverseLink(e, nullptr); }, eta, h);
      EXPECT_NEAR(slope, numeric, 1e-7 * std::max(1e-3, std::fabs(slope)));
    }
  }
  // Where an ordinary link's g' cannot be formed there is no slope; a cumulative link is flat at the
  // ends of (0, 1) and says so with status 1.
  std::uint32_t status = 9;
  EXPECT_EQ(Make(QXConst::QXLinkTypeLogit)->InverseLinkDerivative(1.0, &status), kM);
  EXPECT_EQ(status, 1u);
  EXPECT_EQ(Make(QXConst::QXLinkTypeCumLogit)->InverseLinkDerivative(1.0, &status), 0.0);
  EXPECT_EQ(status, 1u);
  EXPECT_EQ(Make(QXConst::QXLinkTypeIdentity)->InverseLinkDerivative(7.0, &status), 1.0);
  EXPECT_EQ(status, 0u);
}

TEST(LinkFunctionGuards, ExponentialGuardsGiveLimitsWithoutOverflow) {
  const auto logit = Make(QXConst::QXLinkTypeLogit);
  EXPECT_RESULT(*logit, Op::kInverse, 710.0, 1.0, 0u);
  EXPECT_RESULT(*logit, Op::kInverse, -709.0, 0.0, 0u);
  EXPECT_RESULT(*logit, Op::kInverse, std::numeric_limits<double>::infinity(), 1.0, 0u);

  const auto log = Make(QXConst::QXLinkTypeLog);
  EXPECT_RESULT(*log, Op::kInverse, 709.5, kM, 2u);
  EXPECT_RESULT(*log, Op::kInverse, -800.0, 0.0, 0u);
  EXPECT_EQ(Call(*log, Op::kInverse, 709.0).status, 0u);

  const auto logComp = Make(QXConst::QXLinkTypeLogComplement);
  EXPECT_NEAR(Call(*logComp, Op::kInverse, 1.0).value, 1.0 - std::exp(1.0), 1e-15);
  EXPECT_EQ(Call(*logComp, Op::kInverse, 1.0).status, 0u);
  EXPECT_RESULT(*logComp, Op::kInverse, -709.0, 1.0, 0u);
  EXPECT_RESULT(*logComp, Op::kInverse, 710.0, kM, 2u);

  const auto cloglog = Make(QXConst::QXLinkTypeCLogLog);
  EXPECT_RESULT(*cloglog, Op::kInverse, -709.0, 0.0, 0u);
  EXPECT_RESULT(*cloglog, Op::kInverse, 710.0, 1.0, 0u);
  EXPECT_RESULT(*cloglog, Op::kInverse, 6.6, 1.0, 0u);  // e^6.6 > 708: 1 - exp(-e^6.6) is 1
  const auto neglog = Make(QXConst::QXLinkTypeNegLogLog);
  EXPECT_RESULT(*neglog, Op::kInverse, 708.5, 1.0, 0u);
  EXPECT_RESULT(*neglog, Op::kInverse, -710.0, 0.0, 0u);
  EXPECT_RESULT(*neglog, Op::kInverse, -6.6, 0.0, 0u);

  const auto probit = Make(QXConst::QXLinkTypeProbit);
  EXPECT_RESULT(*probit, Op::kSecond, 0.5, 0.0, 0u);
  // 1 / phi(z) overflows for |z| > 37.6, which only subnormal probabilities reach.
  EXPECT_RESULT(*probit, Op::kDerivative, 1e-310, kM, 2u);
  EXPECT_RESULT(*probit, Op::kSecond, 1e-200, kM, 2u);
}

TEST(LinkFunctionDomain, BoundariesAndOutsideArguments) {
  const auto logit = Make(QXConst::QXLinkTypeLogit);
  EXPECT_RESULT(*logit, Op::kLink, 0.0, kM, 1u);
  EXPECT_RESULT(*logit, Op::kLink, 1.0, kM, 1u);
  EXPECT_RESULT(*logit, Op::kDerivative, 1.0, kM, 1u);

  const auto cumLogit = Make(QXConst::QXLinkTypeCumLogit);
  EXPECT_RESULT(*cumLogit, Op::kDerivative, 0.5, 0.25, 0u);
  EXPECT_RESULT(*cumLogit, Op::kDerivative, 0.0, 0.0, 1u);
  EXPECT_RESULT(*cumLogit, Op::kDerivative, 1.0, 0.0, 1u);
  EXPECT_RESULT(*cumLogit, Op::kDerivative, 1.5, kM, 1u);
  EXPECT_RESULT(*cumLogit, Op::kSecond, -0.1, kM, 1u);

  const auto probit = Make(QXConst::QXLinkTypeProbit);
  const auto cumProbit = Make(QXConst::QXLinkTypeCumProbit);
  for (const auto* f : {probit.get(), cumProbit.get()}) {
    EXPECT_RESULT(*f, Op::kDerivative, 0.0, 0.0, 1u);
    EXPECT_RESULT(*f, Op::kSecond, 1.0, 0.0, 1u);
    EXPECT_RESULT(*f, Op::kDerivative, 2.0, kM, 1u);
    EXPECT_RESULT(*f, Op::kLink, 1.0, kM, 1u);
  }
  EXPECT_EQ(Call(*cumProbit, Op::kSecond, 0.5).value, 0.0);
  EXPECT_EQ(Call(*cumProbit, Op::kSecond, 0.5).status, 0u);

  const auto cumNegLog = Make(QXConst::QXLinkTypeCumNegLogLog);
  EXPECT_RESULT(*cumNegLog, Op::kSecond, 1.0, 0.0, 0u);
  EXPECT_RESULT(*cumNegLog, Op::kDerivative, 1.0, 0.0, 1u);
  EXPECT_RESULT(*cumNegLog, Op::kSecond, 0.0, 0.0, 1u);

  const auto cauchit = Make(QXConst::QXLinkTypeCumCauchit);
  EXPECT_RESULT(*cauchit, Op::kLink, 0.0, kM, 1u);
  EXPECT_RESULT(*cauchit, Op::kDerivative, 1.0, 0.0, 1u);
  EXPECT_RESULT(*cauchit, Op::kInverse, -std::numeric_limits<double>::infinity(), 0.0, 0u);

  const auto log = Make(QXConst::QXLinkTypeLog);
  EXPECT_RESULT(*log, Op::kLink, 0.0, kM, 1u);
  EXPECT_RESULT(*log, Op::kSecond, -1.0, kM, 1u);
  const auto logComp = Make(QXConst::QXLinkTypeLogComplement);
  EXPECT_RESULT(*logComp, Op::kLink, 1.0, kM, 1u);
}

TEST(LinkFunctionParameters, PowerOddsPowerAndNegativeBinomial) {
  const auto power0 = Make(QXConst::QXLinkTypePower, 0.0);
  const auto log = Make(QXConst::QXLinkTypeLog);
  EXPECT_EQ(Call(*power0, Op::kLink, 3.7).value, Call(*log, Op::kLink, 3.7).value);
  EXPECT_RESULT(*power0, Op::kLink, 0.0, kM, 2u);  // the log of the power family fails numerically
  EXPECT_RESULT(*power0, Op::kInverse, 710.0, kM, 2u);
  EXPECT_RESULT(*power0, Op::kDerivative, 0.0, kM, 2u);

  const auto power3 = Make(QXConst::QXLinkTypePower, 3.0);
  EXPECT_NEAR(Call(*power3, Op::kInverse, -8.0).value, -2.0, 1e-15);
  const auto powerHalf = Make(QXConst::QXLinkTypePower, 0.5);
  EXPECT_RESULT(*powerHalf, Op::kLink, -4.0, kM, 2u);  // no real square root
  EXPECT_RESULT(*powerHalf, Op::kDerivative, 0.0, kM, 2u);
  const auto power1 = Make(QXConst::QXLinkTypePower, 1.0);
  EXPECT_RESULT(*power1, Op::kSecond, 0.0, kM, 2u);
  EXPECT_RESULT(*power1, Op::kSecond, 4.0, 0.0, 0u);
  power3->SetParam(7.0);  // the power is fixed at construction
  EXPECT_EQ(Call(*power3, Op::kLink, 2.0).value, 8.0);

  const auto oddsPower0 = Make(QXConst::QXLinkTypeOddsPower, 0.0);
  const auto logit = Make(QXConst::QXLinkTypeLogit);
  for (double mu : {0.01, 0.3, 0.5, 0.77}) {
    EXPECT_EQ(Call(*oddsPower0, Op::kLink, mu).value, Call(*logit, Op::kLink, mu).value);
    EXPECT_EQ(Call(*oddsPower0, Op::kDerivative, mu).value, Call(*logit, Op::kDerivative, mu).value);
  }
  EXPECT_RESULT(*oddsPower0, Op::kInverse, 710.0, kM, 1u);
  const auto oddsPower2 = Make(QXConst::QXLinkTypeOddsPower, 2.0);
  EXPECT_RESULT(*oddsPower2, Op::kInverse, -1.0, kM, 2u);  // sqrt(2 * -1 + 1) has no real value
  const auto oddsPowerM1 = Make(QXConst::QXLinkTypeOddsPower, -1.0);
  EXPECT_RESULT(*oddsPowerM1, Op::kInverse, 3.0, kM, 3u);  // odds (1 - 3)^-1 < 0

  const auto negBin = Make(QXConst::QXLinkTypeNegBinomial, 0.5);
  EXPECT_RESULT(*negBin, Op::kInverse, 0.0, kM, 1u);
  EXPECT_RESULT(*negBin, Op::kInverse, 800.0, kM, 3u);
  EXPECT_RESULT(*negBin, Op::kInverse, 0.5, kM, 3u);
  EXPECT_RESULT(*negBin, Op::kInverse, -800.0, 0.0, 0u);
  const double before = Call(*negBin, Op::kLink, 2.0).value;
  negBin->SetParam(2.0);
  EXPECT_NEAR(Call(*negBin, Op::kLink, 2.0).value, std::log(4.0 / 5.0), 1e-15);
  EXPECT_NE(Call(*negBin, Op::kLink, 2.0).value, before);
  negBin->SetParam(0.0);  // k = 0 has no link; the division shows as a numerical failure
  EXPECT_RESULT(*negBin, Op::kInverse, -1.0, kM, 2u);
}

// The reference tables reach every type through the factory; here only what they cannot show.
TEST(LinkFunctionFactory, CumulativeLinksReuseTheirBaseAndOtherTypesGiveNull) {
  using namespace QXMath_600;
  EXPECT_NE(dynamic_cast<QXLinkCompLog2*>(Make(QXConst::QXLinkTypeCumCLogLog).get()), nullptr);
  EXPECT_NE(dynamic_cast<QXLinkLogit*>(Make(QXConst::QXLinkTypeCumLogit).get()), nullptr);
  EXPECT_NE(dynamic_cast<QXLinkNegLog2*>(Make(QXConst::QXLinkTypeCumNegLogLog).get()), nullptr);
  EXPECT_NE(dynamic_cast<QXLinkProbit*>(Make(QXConst::QXLinkTypeCumProbit).get()), nullptr);
  EXPECT_EQ(Make(15), nullptr);
  EXPECT_EQ(Make(-1), nullptr);
}

// A null status pointer is accepted everywhere, and a NaN or missing argument is outside every
// domain: it gives the missing value with status 1, never NaN and never a value read from the most
// negative double.
TEST(LinkFunctionArguments, NullStatusAndMissingArgumentsAreSafe) {
  for (int type = 0; type <= 14; ++type) {
    const auto f = Make(type, 0.5);
    SCOPED_TRACE(type);
    for (double x : {0.3, -0.3, 0.0, 1.0, 2.0, 800.0, -800.0}) {
      for (double v : {f->Link(x, nullptr), f->InverseLink(x, nullptr), f->Derivative(x, nullptr),
                       f->SecondDerivative(x, nullptr)})
        EXPECT_FALSE(std::isnan(v));
    }
    for (double bad : {kNaN, kM})
      for (Op op : {Op::kLink, Op::kInverse, Op::kDerivative, Op::kSecond})
        EXPECT_RESULT(*f, op, bad, kM, 1u);
  }
}

}  // namespace
