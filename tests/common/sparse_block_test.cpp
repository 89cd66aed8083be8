// Sparse rows: the compensated cross-product update and the multinomial logit pieces (probabilities
// and information blocks against R, tests/reference/kernel_linalg.R).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/QXBitSet.h"
#include "common/QXMissingValue.h"
#include "common/QXSparseVector.h"
#include "common/QXSymBlockMatrix.h"
#include "common/QXSymMatrix.h"
#include "kernel_reference.h"

namespace {

using kernel_test::Near;
using QXMath_600::QXBitSet;
using QXMath_600::QXSparseVector;
using QXMath_600::QXSymBlockMatrix;
using QXMath_600::QXSymMatrix;

TEST(SparseUpdate, MatchesTheOuterProductWhateverTheOrderOrRepeats) {
  QXSymMatrix m(5);
  // v = (0, 3, 0, -1.5, 2): given unordered, with index 4 split into two entries of 1.
  ASSERT_TRUE(m.UpdateXXSparse(std::vector<int>{3, 4, 1, 4}, std::vector<double>{-1.5, 1.0, 3.0, 1.0}, 0.5));
  const double v[5] = {0, 3, 0, -1.5, 2};
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 5; ++j) EXPECT_EQ(m.GetElem(i, j), 0.5 * v[i] * v[j]) << i << j;
}

TEST(SparseUpdate, BadRowsChangeNothing) {
  QXSymMatrix m(3);
  EXPECT_FALSE(m.UpdateXXSparse(std::vector<int>{0, 3}, std::vector<double>{1, 1}, 1.0));
  EXPECT_FALSE(m.UpdateXXSparse(std::vector<int>{-1}, std::vector<double>{1}, 1.0));
  EXPECT_FALSE(m.UpdateXXSparse(std::vector<int>{0}, std::vector<double>{1, 2}, 1.0));
  EXPECT_FALSE(m.UpdateXXSparse(std::vector<int>{0}, std::vector<double>{1}, std::nan("")));
  EXPECT_FALSE(m.UpdateXXSparse(nullptr, nullptr, 2, 1.0));
  EXPECT_FALSE(m.UpdateXX(std::vector<double>{1, 2}, 1.0));
  EXPECT_TRUE(m.UpdateXXSparse(nullptr, nullptr, 0, 1.0));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(m.GetElem(i, i), 0.0);
  EXPECT_FALSE(m.HasLowPart());
}

TEST(SparseUpdate, CompensationKeepsTermsThatPlainSumsLose) {
  // 1 + 1e-17 + ... (a million times): plain double accumulation stays at 1, the compensated sum
  // holds 1 + 1e-11.
  QXSymMatrix m(1);
  m.UpdateXX(std::vector<double>{1.0}, 1.0);
  for (int r = 0; r < 1000000; ++r) m.UpdateXXSparse(std::vector<int>{0}, std::vector<double>{1.0}, 1e-17);
  std::vector<double> d;
  m.GetDiagonal(d);
  EXPECT_NEAR(d[0] - 1.0, 1e-11, 2.3e-16);  // the result is a double near 1
}

TEST(SparseVector, ProbabilitiesAndInformationMatchR) {
  const auto ref = kernel_test::LoadReference("kernel_linalg.json");
  const auto idx = ref["x_idx"].get<std::vector<int>>();
  const auto val = ref["x_val"].get<std::vector<double>>();
  const QXSparseVector x(idx, val, 4);
  ASSERT_TRUE(x.IsValid());
  std::vector<double> eta, p;
  double logRef = 0.0;
  ASSERT_TRUE(x.ComputeProbabilities(ref["beta"].get<std::vector<double>>(), 3, eta, p, logRef));
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(Near(p[k], ref["probabilities"][k].get<double>(), 1e-14));
  EXPECT_TRUE(Near(logRef, ref["log_ref"].get<double>(), 1e-14));

  // The accumulator's information update for one row of unit weight.
  QXSymBlockMatrix info(2, 4);
  for (int a = 0; a < 2; ++a)
    for (int b = 0; b <= a; ++b)
      ASSERT_TRUE(x.QuadraticOuterProductIncr(info, a, b, a == b ? p[a] * (1 - p[a]) : -p[a] * p[b]));
  QXSymMatrix full;
  ASSERT_TRUE(info.GetSymMatrix(full));
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j)
      EXPECT_TRUE(Near(full.GetElem(i, j), ref["information"][i][j].get<double>(), 1e-14, 1.0));
  EXPECT_FALSE(x.QuadraticOuterProductIncr(info, 2, 0, 1.0));
}

TEST(SparseVector, InvalidRowsAndOverflowingPredictorsAreRefused) {
  const std::vector<int> idx{0, 5};
  const std::vector<double> val{1.0, 1.0};
  EXPECT_FALSE(QXSparseVector(idx, val, 4).IsValid());
  const std::vector<double> shortValues{1.0};
  EXPECT_FALSE(QXSparseVector(idx, shortValues, 9).IsValid());
  const std::vector<int> one{0};
  const std::vector<double> unit{1.0};
  const QXSparseVector x(one, unit, 1);
  std::vector<double> eta, p;
  double logRef;
  EXPECT_FALSE(x.ComputeProbabilities(std::vector<double>{}, 2, eta, p, logRef));
  EXPECT_FALSE(x.ComputeProbabilities(std::vector<double>{1.0}, 1, eta, p, logRef));
  // A huge linear predictor still gives probabilities (the largest eta is taken out first).
  ASSERT_TRUE(x.ComputeProbabilities(std::vector<double>{800.0}, 2, eta, p, logRef));
  EXPECT_DOUBLE_EQ(p[0], 1.0);
  EXPECT_DOUBLE_EQ(logRef, -800.0);
  EXPECT_FALSE(x.ComputeProbabilities(std::vector<double>{std::numeric_limits<double>::infinity()}, 2, eta, p,
                                      logRef));
  EXPECT_EQ(x.DotProduct(std::vector<double>{2.0}, 1), QXMV::gMissingValue);
}

TEST(BitSet, RefusesOutOfRangeAndCountsRanges) {
  QXBitSet s(70);
  EXPECT_FALSE(s.Set(70));
  EXPECT_FALSE(s.Set(-1));
  EXPECT_FALSE(s.IsIn(100));
  EXPECT_TRUE(s.SetRange(60, 66));
  EXPECT_FALSE(s.SetRange(69, 70));
  EXPECT_EQ(s.InRange(0, 69), 7);
  EXPECT_EQ(s.InRange(63, 64), 2);
  EXPECT_EQ(s.InRange(-5, 61), 2);
  EXPECT_EQ(s.InRange(80, 90), 0);
  s.Resize(62);
  EXPECT_EQ(s.Count(), 2);
  s.Resize(70);
  EXPECT_FALSE(s.IsIn(65));  // members dropped by a shrink do not come back
  QXBitSet other(100);
  other.Set(5);
  other.Set(90);
  EXPECT_EQ(s.Union(other), 1);
  EXPECT_FALSE(s.Resize(-1));
}

TEST(ExpandAndProducts, ReducedInverseSpreadsOverAllParameters) {
  QXSymMatrix h(2);
  h.SetElem(0, 0, 2.0);
  h.SetElem(1, 0, 0.5);
  h.SetElem(1, 1, 3.0);
  QXBitSet kept(4);
  kept.Set(1);
  kept.Set(3);
  QXSymMatrix full;
  ASSERT_TRUE(h.Expand(kept, full));
  EXPECT_EQ(full.GetNRows(), 4);
  EXPECT_EQ(full.GetElem(3, 1), 0.5);
  EXPECT_EQ(full.GetElem(3, 3), 3.0);
  EXPECT_EQ(full.GetElem(0, 0), 0.0);
  kept.Set(0);
  EXPECT_FALSE(h.Expand(kept, full));
  EXPECT_EQ(h.ComputeVSV(std::vector<double>{1.0, 2.0}), 2.0 + 2 * 2 * 0.5 + 4 * 3.0);
  EXPECT_EQ(h.ComputeVSV(std::vector<double>{1.0}), QXMV::gMissingValue);
  EXPECT_EQ(h.ComputeVSV(std::vector<int>{1}, std::vector<double>{2.0}), 12.0);
  EXPECT_EQ(h.ComputeVSV(std::vector<int>{2}, std::vector<double>{2.0}), QXMV::gMissingValue);
  QXSymMatrix a(2);
  a.SetElem(1, 1, 1.0);
  ASSERT_TRUE(h.ComputeAXpY(2.0, a));
  EXPECT_EQ(h.GetElem(1, 1), 5.0);
  EXPECT_FALSE(h.ComputeAXpY(1.0, QXSymMatrix(3)));
}

}  // namespace
