// Cholesky family, generalized inverses, eigenvalues and the rank helpers against R (chol, solve,
// qr, MASS::ginv, eigen, qr.resid; tests/reference/kernel_linalg.R). The matrices are of order 3
// to 6 and moderately conditioned, so agreement to 1e-10 relative leaves room for the rounding of
// either side.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/QXBitSet.h"
#include "common/QXDiagMatrix.h"
#include "common/QXEigenValues.h"
#include "common/QXMissingValue.h"
#include "common/QXRectMatrix.h"
#include "common/QXSymMatrix.h"
#include "kernel_reference.h"

namespace {

using kernel_test::Near;
using QXMath_600::QXBitSet;
using QXMath_600::QXDiagMatrix;
using QXMath_600::QXEigenValues;
using QXMath_600::QXRectMatrix;
using QXMath_600::QXSymMatrix;

class Linalg : public ::testing::Test {
 protected:
  void SetUp() override { ref = kernel_test::LoadReference("kernel_linalg.json"); }
  nlohmann::json ref;
};

TEST_F(Linalg, CholeskyFactorSolveAndInverseMatchR) {
  QXSymMatrix a = kernel_test::ToSym(ref["A"]);
  double measure = 0.0;
  EXPECT_EQ(a.LTChol(1e-12, measure), 0);
  EXPECT_GT(measure, 0.0);
  EXPECT_LE(measure, 1.0);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j <= i; ++j)
      EXPECT_TRUE(Near(a.GetElem(i, j), ref["chol_lower"][i][j].get<double>(), 1e-12, 1.0));
  std::vector<double> x;
  ASSERT_TRUE(a.LTSubstitute(ref["b"].get<std::vector<double>>(), x));
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(Near(x[i], ref["solve_Ab"][i].get<double>(), 1e-10));
  EXPECT_FALSE(a.LTSubstitute(std::vector<double>{1.0}, x));
  ASSERT_TRUE(a.LTInverse());
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      EXPECT_TRUE(Near(a.GetElem(i, j), ref["inverse_A"][i][j].get<double>(), 1e-10));
  EXPECT_FALSE(a.LTInverse());  // no longer a factor
}

TEST_F(Linalg, CholeskyOfRankDeficientMatrixReportsDefectAndSolvesKeptPart) {
  QXSymMatrix b = kernel_test::ToSym(ref["B"]);
  double measure = 1.0;
  EXPECT_EQ(b.LTChol(1e-10, measure), 4 - ref["rank_B"].get<int>());
  EXPECT_LT(measure, 1e-6);
  // The solve keeps to the factored part: the aliased component is 0, the others solve B_KK x = b_K.
  const QXSymMatrix original = kernel_test::ToSym(ref["B"]);
  const std::vector<double> rhs{1.0, -1.0, 2.0, 0.0};
  std::vector<double> x;
  ASSERT_TRUE(b.LTSubstitute(rhs, x));
  EXPECT_EQ(x[3], 0.0);
  for (int i = 0; i < 3; ++i) {
    double lhs = 0.0;
    for (int j = 0; j < 3; ++j) lhs += original.GetElem(i, j) * x[j];
    EXPECT_NEAR(lhs, rhs[i], 1e-9);
  }
  ASSERT_TRUE(b.LTInverse());
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      EXPECT_TRUE(Near(b.GetElem(i, j), ref["inverse_B_leading"][i][j].get<double>(), 1e-8)) << i << j;
  for (int j = 0; j < 4; ++j) EXPECT_EQ(b.GetElem(3, j), 0.0);
}

TEST_F(Linalg, GeneralizedInverseGivesInvariantFormsOfEstimableCombinations) {
  const QXSymMatrix b = kernel_test::ToSym(ref["B"]);
  std::vector<double> d;
  ASSERT_EQ(b.GetNCheckDiagonal(1e-12, 1.0, d), 0);
  QXSymMatrix g;
  QXBitSet kept;
  ASSERT_EQ(b.CholInverse(d, 1e-12, g, kept), ref["rank_B"].get<int>());
  EXPECT_EQ(kept.Count(), 3);
  EXPECT_FALSE(kept.IsIn(3));
  // c' G c is the same for every generalized inverse when c is in the row space; compare with the
  // Moore-Penrose inverse.
  const QXRectMatrix c = kernel_test::ToRect(ref["C"]);
  QXRectMatrix ct;
  c.Transpose(ct);
  QXSymMatrix form;
  ASSERT_TRUE(g.ComputeRSRTrans(ct, form));
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j)
      EXPECT_TRUE(Near(form.GetElem(i, j), ref["C_ginv_C"][i][j].get<double>(), 1e-9));
  std::vector<double> col;
  c.GetCol(0, col);
  EXPECT_TRUE(Near(g.ComputeVSV(col), ref["C_ginv_C"][0][0].get<double>(), 1e-9));
  EXPECT_EQ(b.CholInverse(std::vector<double>{1.0}, 1e-12, g), -1);
}

TEST_F(Linalg, DiagonalCheckKeepsScalesAndReplacesZeros) {
  QXSymMatrix s(3);
  s.SetElem(0, 0, 2.4e-33);  // a variance of a tiny coefficient is still a variance
  s.SetElem(1, 1, 0.0);
  s.SetElem(2, 2, 5.0);
  std::vector<double> d;
  EXPECT_EQ(s.GetNCheckDiagonal(1e-12, 1.0, d), 1);
  EXPECT_EQ(d[0], 2.4e-33);
  EXPECT_EQ(d[1], 1.0);
  s.SetElem(1, 1, -1.0);
  EXPECT_EQ(s.GetNCheckDiagonal(1e-12, 1.0, d), -1);
  QXSymMatrix inv;
  QXBitSet kept;
  s.SetElem(1, 1, 0.0);
  s.GetNCheckDiagonal(1e-12, 1.0, d);
  EXPECT_EQ(s.CholInverse(d, 1e-12, inv, kept), 2);
  EXPECT_TRUE(Near(inv.GetElem(0, 0), 1.0 / 2.4e-33, 1e-15));
  EXPECT_FALSE(kept.IsIn(1));
}

TEST_F(Linalg, ZeroOutNonDiagJudgesOnTheRowsOwnScale) {
  QXSymMatrix s(2);
  s.SetElem(0, 0, 1e30);
  s.SetElem(1, 1, 1e-30);
  s.SetElem(1, 0, 1e-16);  // correlation 1e-16: noise
  s.ZeroOutNonDiag(4.4e-16);
  EXPECT_EQ(s.GetElem(0, 1), 0.0);
  s.SetElem(1, 0, 0.5);  // correlation 0.5
  s.ZeroOutNonDiag(4.4e-16);
  EXPECT_EQ(s.GetElem(0, 1), 0.5);
}

TEST_F(Linalg, EigenDecompositionMatchesRUpToSign) {
  const QXSymMatrix e = kernel_test::ToSym(ref["E"]);
  QXEigenValues solver(1e-12, 30);
  ASSERT_TRUE(solver.Compute(e));
  QXDiagMatrix values;
  QXRectMatrix vectors;
  ASSERT_TRUE(solver.GetSorted(values, vectors));
  for (int k = 0; k < 3; ++k) {
    EXPECT_TRUE(Near(values.GetElem(k), ref["eigen_values"][k].get<double>(), 1e-12));
    const double sign = vectors.GetElem(0, k) * ref["eigen_vectors"][0][k].get<double>() < 0 ? -1.0 : 1.0;
    for (int i = 0; i < 3; ++i)
      EXPECT_TRUE(Near(sign * vectors.GetElem(i, k), ref["eigen_vectors"][i][k].get<double>(), 1e-10, 1e-3));
  }
  QXSymMatrix bad(2);
  bad.SetElem(0, 1, std::nan(""));
  EXPECT_FALSE(solver.Compute(bad));
  EXPECT_FALSE(solver.GetSorted(values, vectors));
  EXPECT_FALSE(QXEigenValues(1e-12, 0).Compute(e));
}

TEST_F(Linalg, FullRankRowsAndMultiplesMatchRsRank) {
  const QXRectMatrix l = kernel_test::ToRect(ref["L"]);
  QXRectMatrix fr;
  QXBitSet rows;
  ASSERT_EQ(l.ExtractFullRank(1e-12, fr, rows), ref["rank_L"].get<int>());
  const auto independent = ref["independent_rows"].get<std::vector<int>>();
  ASSERT_EQ(fr.GetNRows(), static_cast<int>(independent.size()));
  for (std::size_t t = 0; t < independent.size(); ++t) {
    EXPECT_TRUE(rows.IsIn(independent[t]));
    std::vector<double> a, b;
    fr.GetRow(static_cast<int>(t), a);
    l.GetRow(independent[t], b);
    EXPECT_EQ(a, b);
  }
  // The orthonormal form spans the same rows: projecting L on it leaves nothing.
  QXRectMatrix q;
  ASSERT_EQ(l.ExtractFullRank(1e-12, q, rows, true), 3);
  for (int i = 0; i < l.GetNRows(); ++i) {
    std::vector<double> row, coef;
    l.GetRow(i, row);
    ASSERT_TRUE(q.ComputeRV(row, coef));
    double rest = 0.0;
    for (int k = 0; k < 5; ++k) {
      double r = row[k];
      for (int t = 0; t < 3; ++t) r -= coef[t] * q.GetElem(t, k);
      rest += r * r;
    }
    EXPECT_LT(rest, 1e-24);
  }
  const auto pairs = ref["pairs"];
  for (std::size_t t = 0; t < pairs.size(); ++t) {
    const auto p = pairs[t].get<std::vector<double>>();
    EXPECT_EQ(l.IsERowMultipleOfAnother(static_cast<int>(p[0]), static_cast<int>(p[1]), p[2], p[3]),
              ref["multiple"][t].get<bool>())
        << t;
  }
  EXPECT_FALSE(l.IsERowMultipleOfAnother(0, 9, 0, 0));
}

TEST_F(Linalg, ResidualsOfProjectionMatchQrResid) {
  QXRectMatrix m1 = kernel_test::ToRect(ref["M1"]);
  const QXRectMatrix m2 = kernel_test::ToRect(ref["M2"]);
  QXBitSet remaining;
  ASSERT_EQ(m1.ResidOfOrthProjection(m2, 1e-12, remaining), 2);
  EXPECT_FALSE(remaining.IsIn(1));
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(m1.GetElem(i, 1), 0.0);
    for (int j : {0, 2}) EXPECT_NEAR(m1.GetElem(i, j), ref["resid"][i][j].get<double>(), 1e-12);
  }
  EXPECT_EQ(m1.ResidOfOrthProjection(QXRectMatrix(5, 1), 1e-12, remaining), -1);
}

}  // namespace
