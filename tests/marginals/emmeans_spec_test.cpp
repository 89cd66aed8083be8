#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "qxregres600r.h"

namespace {

using QXMath_600::QXEmmeansSpec;

constexpr double kM = QXMV::gMissingValue;

TEST(EmmeansSpec, AddersRefuseNegativeAndRepeatedIndices) {
  QXEmmeansSpec spec;
  EXPECT_EQ(spec.AddFactor(3), 1);
  EXPECT_EQ(spec.AddFactor(3), -1);
  EXPECT_EQ(spec.AddFactor(-1), -1);
  EXPECT_EQ(spec.AddFactor(5, 1), 2);
  EXPECT_EQ(spec.AddFactor(5, 2), -1);  // refused: no nest level is recorded either
  EXPECT_EQ(spec.GetFactors(), (std::vector<int>{3, 5}));
  EXPECT_EQ(spec.GetFactorsNestLevel(), std::vector<int>{1});

  EXPECT_EQ(spec.AddCovariate(7, kM), 1);
  EXPECT_EQ(spec.AddCovariate(8, 2.5), 2);
  EXPECT_EQ(spec.AddCovariate(7, 1.0), -1);
  EXPECT_EQ(spec.AddCovariate(-2, 1.0), -1);
  EXPECT_EQ(spec.GetCovariates(), (std::vector<std::pair<int, double>>{{7, kM}, {8, 2.5}}));

  EXPECT_EQ(spec.AddCompareFactor(5), 1);
  EXPECT_EQ(spec.AddCompareFactor(5), -1);
  EXPECT_EQ(spec.AddCompareFactor(-3), -1);
  EXPECT_EQ(spec.GetCompareFactors(), std::vector<int>{5});
}

TEST(EmmeansSpec, ReferenceAndMetricValuesOnlyForTheirContrast) {
  QXEmmeansSpec spec;
  EXPECT_EQ(spec.GetContrastType(), QXConst::QXContrastPairwise);
  spec.SetRefCateg(2);
  EXPECT_EQ(spec.GetRefCateg(), -1);
  EXPECT_FALSE(spec.SetMetricValueList({1.0, 2.0}));
  spec.SetContrastType(QXConst::QXContrastSimple);
  spec.SetRefCateg(-4);
  EXPECT_EQ(spec.GetRefCateg(), -1);
  spec.SetRefCateg(2);
  EXPECT_EQ(spec.GetRefCateg(), 2);

  spec.SetContrastType(QXConst::QXContrastPolynomial);
  EXPECT_FALSE(spec.SetMetricValueList({1, 2, 2}));
  EXPECT_FALSE(spec.SetMetricValueList({3, 1}));
  EXPECT_FALSE(spec.SetMetricValueList({}));
  EXPECT_FALSE(spec.SetMetricValueList({1, NAN, 3}));
  EXPECT_FALSE(spec.SetMetricValueList({NAN}));
  EXPECT_TRUE(spec.GetMetricValueList().empty());
  EXPECT_TRUE(spec.SetMetricValueList({5}));
  EXPECT_TRUE(spec.SetMetricValueList({-1.5, 0.0, 4.0}));
  EXPECT_EQ(spec.GetMetricValueList(), (std::vector<double>{-1.5, 0.0, 4.0}));
}

TEST(EmmeansSpec, ResetSetsTheSimpleContrastAndKeepsNestLevelsAndReferenceType) {
  QXEmmeansSpec spec;
  spec.AddFactor(1, 0);
  spec.AddCovariate(2, 1.0);
  spec.AddCompareFactor(1);
  spec.SetContrastType(QXConst::QXContrastSimple);
  spec.SetRefCateg(1);
  spec.SetPAdjust(QXConst::QXPAdjSeqSidak);
  spec.SetEmmScaleType(QXConst::QXEmmTransformed);
  spec.SetReferenceType(static_cast<QXConst::QXReferenceType>(3));
  spec.SetContrastType(QXConst::QXContrastPolynomial);
  spec.SetMetricValueList({1, 2});

  const QXEmmeansSpec copy = spec;
  spec.Reset();
  EXPECT_EQ(spec.GetContrastType(), QXConst::QXContrastSimple);  // a new specification has pairwise
  EXPECT_EQ(spec.GetRefCateg(), -1);
  EXPECT_EQ(spec.GetPAdjust(), QXConst::QXPAdjLSD);
  EXPECT_EQ(spec.GetEmmScaleType(), QXConst::QXEmmOriginal);
  EXPECT_TRUE(spec.GetFactors().empty());
  EXPECT_TRUE(spec.GetCovariates().empty());
  EXPECT_TRUE(spec.GetCompareFactors().empty());
  EXPECT_TRUE(spec.GetMetricValueList().empty());
  EXPECT_EQ(spec.GetFactorsNestLevel(), std::vector<int>{0});
  EXPECT_EQ(spec.GetReferenceType(), 3);

  EXPECT_EQ(copy.GetFactors(), std::vector<int>{1});
  EXPECT_EQ(copy.GetRefCateg(), 1);
  EXPECT_EQ(copy.GetMetricValueList(), (std::vector<double>{1, 2}));
  EXPECT_EQ(copy.GetPAdjust(), QXConst::QXPAdjSeqSidak);
}

TEST(EmmeansSpec, DisplayShowsReferenceAndMetricValuesOnlyWhenSet) {
  QXEmmeansSpec spec;
  spec.AddFactor(4);
  testing::internal::CaptureStdout();
  spec.Display();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Contrast type = Pairwise"), std::string::npos) << out;
  EXPECT_EQ(out.find("Contrast reference category"), std::string::npos);
  EXPECT_EQ(out.find("Metric value list"), std::string::npos);

  spec.SetContrastType(QXConst::QXContrastSimple);
  spec.SetRefCateg(0);
  testing::internal::CaptureStdout();
  spec.Display();
  out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Contrast reference category"), std::string::npos);
}

}  // namespace
