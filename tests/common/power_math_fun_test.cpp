#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "common/QXMathFun.h"
#include "common/QXMissingValue.h"
#include "common/QXPower.h"

using QXMath_600::QXMathFun;
using QXMath_600::QXPower;

namespace {

constexpr double kM = QXMV::gMissingValue;
constexpr double kInf = std::numeric_limits<double>::infinity();

}  // namespace

TEST(Power, MachineConstantsAreTheDoubleLimits) {
  EXPECT_EQ(1.0 + QXPower::gMachineEpsilon, std::nextafter(1.0, 2.0));
  EXPECT_TRUE(std::isfinite(std::exp(QXPower::gMachineMaxExp)));
  EXPECT_FALSE(std::isfinite(std::exp(std::nextafter(QXPower::gMachineMaxExp, kInf))));
}

TEST(Power, FailuresGiveTheMissingValueAndFalse) {
  struct Case {
    double x, y;
  };
  // No real root, a pole, overflow, and missing or NaN arguments.
  for (const Case& c : {Case{-8.0, 1.0 / 3.0}, Case{-0.5, 0.5}, Case{0.0, -2.0}, Case{0.0, -0.5},
                        Case{1e200, 2.0}, Case{1e-200, -2.0}, Case{kM, 2.0}, Case{2.0, kM},
                        Case{std::nan(""), 1.0}, Case{1.0, std::nan("")}, Case{kInf, 1.0}}) {
    double out = 3.0;
    EXPECT_FALSE(QXPower::Power(c.x, c.y, out)) << c.x << "^" << c.y;
    EXPECT_EQ(out, kM) << c.x << "^" << c.y;
  }
  double out = 0.0;
  for (double x : {710.0, 1e300, kInf, kM, std::nan("")}) {
    out = 3.0;
    EXPECT_FALSE(QXPower::Exponent(x, out)) << x;
    EXPECT_EQ(out, kM) << x;
  }
}

TEST(Power, SuccessesIncludeNegativeBasesWithIntegerExponentsAndUnderflow) {
  double out = 0.0;
  EXPECT_TRUE(QXPower::Power(-2.0, 3.0, out));
  EXPECT_EQ(out, -8.0);
  EXPECT_TRUE(QXPower::Power(-8.0, -1.0, out));
  EXPECT_EQ(out, -0.125);
  EXPECT_TRUE(QXPower::Power(0.0, 0.0, out));
  EXPECT_EQ(out, 1.0);
  EXPECT_TRUE(QXPower::Power(8.0, 1.0 / 3.0, out));
  EXPECT_DOUBLE_EQ(out, 2.0);
  EXPECT_TRUE(QXPower::Power(1e-200, 2.0, out));
  EXPECT_EQ(out, 0.0);
  EXPECT_TRUE(QXPower::Exponent(QXPower::gMachineMaxExp, out));
  EXPECT_TRUE(std::isfinite(out));
  EXPECT_TRUE(QXPower::Exponent(-800.0, out));
  EXPECT_EQ(out, 0.0);
  EXPECT_TRUE(QXPower::Exponent(-kInf, out));
  EXPECT_EQ(out, 0.0);
}

TEST(Power, IsOddIntegerOnlyForFiniteOddIntegers) {
  for (double x : {1.0, -3.0, 9007199254740991.0}) EXPECT_TRUE(QXPower::IsOddInteger(x)) << x;
  for (double x : {0.0, 2.0, -4.0, 2.5, 9007199254740992.0, 1e300, kInf, -kInf, std::nan("")})
    EXPECT_FALSE(QXPower::IsOddInteger(x)) << x;
}

TEST(MathFun, KernelsRefuseMismatchedOrNullInput) {
  const std::vector<double> a{1.0, 2.0, 3.0}, b{4.0, -5.0, 6.0}, shorter{1.0};
  EXPECT_EQ(QXMathFun::DDot(a, b), 12.0);
  EXPECT_EQ(QXMathFun::DDot(a, shorter), kM);
  EXPECT_EQ(QXMathFun::DDot(3, nullptr, b.data()), kM);
  std::vector<double> y = b;
  EXPECT_FALSE(QXMathFun::DAxpy(2.0, shorter, y));
  EXPECT_EQ(y, b);
  EXPECT_EQ(QXMathFun::VMaxRelDiff(a, shorter, 1e-6), kM);
  EXPECT_EQ(QXMathFun::VNrm1Diff(a, shorter), kM);
}

TEST(MathFun, NormNeitherOverflowsNorUnderflows) {
  EXPECT_DOUBLE_EQ(QXMathFun::DNrm2(std::vector<double>{3e200, -4e200}), 5e200);
  EXPECT_DOUBLE_EQ(QXMathFun::DNrm2(std::vector<double>{3e-200, 0.0, 4e-200}), 5e-200);
  EXPECT_DOUBLE_EQ(QXMathFun::DNrm2(std::vector<double>{1.0, 2.0, 2.0}), 3.0);
  EXPECT_EQ(QXMathFun::DNrm2(std::vector<double>{}), 0.0);
}

TEST(MathFun, ConvergenceMeasures) {
  const std::vector<double> previous{2.0, 0.0, -1e-9}, current{2.5, 1e-7, -2e-9};
  // Relative to the previous value where it exceeds the floor, absolute below it.
  EXPECT_DOUBLE_EQ(QXMathFun::VMaxRelDiff(previous, current, 1e-6), 0.25);
  EXPECT_DOUBLE_EQ(QXMathFun::VMaxRelDiff({1e-8}, {3e-8}, 1e-6), 2e-8 / 1e-6);
  EXPECT_DOUBLE_EQ(QXMathFun::VNrm1Diff(previous, current), 0.5 + 1e-7 + 1e-9);
  EXPECT_TRUE(std::isnan(QXMathFun::VMaxRelDiff({1.0, 2.0}, {std::nan(""), 2.0}, 1e-6)));
  EXPECT_EQ(QXMathFun::VMaxRelDiff({}, {}, 1e-6), 0.0);
}

TEST(MathFun, SidakAdjustKeepsSmallProbabilities) {
  EXPECT_NEAR(QXMathFun::SidakAdjust(0.05, 3.0), 0.142625, 1e-15);
  EXPECT_NEAR(QXMathFun::SidakAdjust(1e-20, 3.0) / 3e-20, 1.0, 1e-15);
  EXPECT_EQ(QXMathFun::SidakAdjust(1.0, 2.0), 1.0);
  EXPECT_EQ(QXMathFun::SidakAdjust(-0.1, 2.0), kM);
  EXPECT_EQ(QXMathFun::SidakAdjust(0.1, -1.0), kM);
}
