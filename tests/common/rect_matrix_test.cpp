// Shape changes, products and the elimination helpers of the effect tests.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/QXBitSet.h"
#include "common/QXDiagMatrix.h"
#include "common/QXMissingValue.h"
#include "common/QXRectMatrix.h"

namespace {

using QXMath_600::QXBitSet;
using QXMath_600::QXDiagMatrix;
using QXMath_600::QXRectMatrix;

QXRectMatrix Make(const std::vector<std::vector<double>>& rows) {
  QXRectMatrix m;
  for (const auto& r : rows) m.AppendRow(r);
  return m;
}

TEST(RectMatrix, OutOfRangeAccessIsRefused) {
  QXRectMatrix m(2, 3);
  EXPECT_FALSE(m.SetElem(2, 0, 1.0));
  EXPECT_FALSE(m.SetElem(0, -1, 1.0));
  EXPECT_EQ(m.GetElem(0, 3), QXMV::gMissingValue);
  std::vector<double> row;
  EXPECT_FALSE(m.GetRow(5, row));
  EXPECT_FALSE(m.SetRow(0, {1.0}));
  EXPECT_FALSE(m.AppendRow({1.0, 2.0}));
  EXPECT_FALSE(m.SetNRowsCols(-1, 2));
  EXPECT_FALSE(m.IsRowZero(7));
  EXPECT_FALSE(m.CopyColToRow(QXRectMatrix(2, 2), 0, 0));  // source rows must match columns
  EXPECT_EQ(m.GetNRows(), 2);
  EXPECT_EQ(m.GetNCols(), 3);
}

TEST(RectMatrix, ProductsTransposeAndDiagonalScaling) {
  const QXRectMatrix a = Make({{1, 2, 0}, {0, -1, 3}});
  const QXRectMatrix b = Make({{1, 0}, {2, 1}, {-1, 4}});
  QXRectMatrix c;
  ASSERT_TRUE(a.ComputeMatrixProduct(b, c));
  EXPECT_EQ(c.GetElem(0, 0), 5.0);
  EXPECT_EQ(c.GetElem(1, 1), 11.0);
  EXPECT_FALSE(a.ComputeMatrixProduct(a, c));
  QXRectMatrix self = a;
  ASSERT_TRUE(self.ComputeMatrixProduct(b, self));  // the result may replace an operand
  EXPECT_EQ(self.GetElem(1, 0), -5.0);
  std::vector<double> v;
  ASSERT_TRUE(a.ComputeRV({1, 1, 1}, v));
  EXPECT_EQ(v, (std::vector<double>{3, 2}));
  EXPECT_FALSE(a.ComputeRV({1}, v));
  QXRectMatrix t = a;
  t.Transpose();
  EXPECT_EQ(t.GetNRows(), 3);
  EXPECT_EQ(t.GetElem(2, 1), 3.0);
  QXDiagMatrix d(2);
  d.SetElem(0, 2.0);
  d.SetElem(1, -1.0);
  ASSERT_TRUE(d.MultiplyLeft(a, c));
  EXPECT_EQ(c.GetElem(0, 1), 4.0);
  EXPECT_EQ(c.GetElem(1, 2), -3.0);
  EXPECT_FALSE(d.MultiplyRight(a, c));
  EXPECT_EQ(d.GetElem(0, 1), 0.0);
  EXPECT_EQ(d.GetElem(2), QXMV::gMissingValue);
}

TEST(RectMatrix, BlockDiagonalAndShiftedColumnsForMultinomialHypotheses) {
  QXRectMatrix l = Make({{1, -1}});
  ASSERT_TRUE(l.CreateBlockDiagonal(3));
  EXPECT_EQ(l.GetNRows(), 3);
  EXPECT_EQ(l.GetNCols(), 6);
  EXPECT_EQ(l.GetElem(2, 4), 1.0);
  EXPECT_EQ(l.GetElem(2, 5), -1.0);
  EXPECT_EQ(l.GetElem(0, 2), 0.0);
  EXPECT_FALSE(l.CreateBlockDiagonal(0));
  QXRectMatrix s = Make({{1, 2}, {3, 4}});
  ASSERT_TRUE(s.ShiftColumns(2));
  EXPECT_EQ(s.GetNCols(), 4);
  EXPECT_EQ(s.GetElem(1, 0), 0.0);
  EXPECT_EQ(s.GetElem(1, 3), 4.0);
  EXPECT_FALSE(s.ShiftColumns(-1));
}

TEST(RectMatrix, ZeroOutPivotRowEliminatesTheParameterFromEveryColumn) {
  // Columns are hypothesis vectors over 4 parameters; eliminating parameter 1 must leave combinations
  // of the columns that do not involve it, and drop the pivot column.
  QXRectMatrix m = Make({{1, 0, 2}, {2, 1, 4}, {0, 1, 1}, {3, 0, 0}});
  const int pivot = m.ZeroOutPivotRow(1, 1e-12);
  ASSERT_GE(pivot, 0);
  for (int j = 0; j < 3; ++j) EXPECT_EQ(m.GetElem(1, j), 0.0);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(m.GetElem(i, pivot), 0.0);
  // A row that is already zero needs no pivot.
  EXPECT_EQ(m.ZeroOutPivotRow(1, 1e-12), -1);
  EXPECT_EQ(m.ZeroOutPivotRow(9, 1e-12), -1);
  // The remaining non-zero columns still satisfy the original relations among the other rows:
  // column combinations of (1,2,0,3), (0,1,1,0), (2,4,1,0) with the parameter-1 entry removed.
  for (int j = 0; j < 3; ++j) {
    if (j == pivot) continue;
    // each remaining column is a combination a*(1,2,0,3) + b*(0,1,1,0) + c*(2,4,1,0) with
    // 2a + b + 4c = 0; check it against that null-space condition through rows 0, 2 and 3.
    const double x0 = m.GetElem(0, j), x2 = m.GetElem(2, j), x3 = m.GetElem(3, j);
    const double a = x3 / 3.0;
    const double c = (x0 - a) / 2.0;
    const double b = x2 - c;
    EXPECT_NEAR(2 * a + b + 4 * c, 0.0, 1e-12);
  }
}

TEST(RectMatrix, ColCleanRemovesRoundingButKeepsCoefficients) {
  QXRectMatrix m = Make({{1.0}, {1e-17}, {-0.5}, {3e-9}});
  ASSERT_TRUE(m.ColClean(0, 3));
  EXPECT_EQ(m.GetElem(1, 0), 0.0);
  EXPECT_EQ(m.GetElem(2, 0), -0.5);
  EXPECT_EQ(m.GetElem(3, 0), 3e-9);  // beyond the rows asked for
  EXPECT_FALSE(m.ColClean(1, 3));
  EXPECT_TRUE(m.ColClean(0, 99));
}

TEST(RectMatrix, TypeIRowsFromColumnsAndEmptyResults) {
  const QXRectMatrix h = Make({{1, 0}, {0, 1}, {0.5, -1}});
  QXRectMatrix l(2, 3);
  ASSERT_TRUE(l.CopyColToRow(h, 1, 0));
  EXPECT_EQ(l.GetElem(0, 2), -1.0);
  EXPECT_TRUE(l.IsRowZero(1));
  QXRectMatrix fr;
  QXBitSet rows;
  EXPECT_EQ(QXRectMatrix(0, 3).ExtractFullRank(1e-12, fr, rows), 0);
  EXPECT_EQ(fr.GetNCols(), 3);
  QXRectMatrix bad = Make({{1, std::nan("")}});
  EXPECT_EQ(bad.ExtractFullRank(1e-12, fr, rows), -1);
}

// Rows of estimable functions each have a parameter of their own: they are independent without any
// orthogonalisation, zero rows are left out, and the rows come out unchanged, exactly as Gram-Schmidt
// would keep them. A row without a column of its own (here the sum of two others) goes the general way.
TEST(RectMatrix, RowsWithColumnsOfTheirOwnAreKeptAsTheyAre) {
  const QXRectMatrix L = Make({{1, 0, 0, 0.5, -2}, {0, 0, 0, 0, 0}, {0, 1e-9, 0, 0.5, 3}, {0, 0, 7, 0, 1e6}});
  QXRectMatrix out;
  QXBitSet rows;
  ASSERT_EQ(L.ExtractFullRank(1e-12, out, rows), 3);
  EXPECT_EQ(rows.Count(), 3);
  EXPECT_FALSE(rows.IsIn(1));
  for (int t = 0, i = 0; i < 4; ++i) {
    if (i == 1) continue;
    for (int k = 0; k < 5; ++k) EXPECT_EQ(out.GetElem(t, k), L.GetElem(i, k));
    ++t;
  }
  // Row 2's own column holds 1e-9 of a row of length 3: at a tolerance of 1e-9 it no longer counts,
  // and Gram-Schmidt, deciding instead, keeps the same rows.
  EXPECT_EQ(L.ExtractFullRank(1e-9, out, rows), 3);
  EXPECT_FALSE(rows.IsIn(1));

  const QXRectMatrix dependent = Make({{1, 0, 2}, {0, 1, 3}, {1, 1, 5}});
  EXPECT_EQ(dependent.ExtractFullRank(1e-12, out, rows), 2);
  EXPECT_FALSE(rows.IsIn(2));
}

}  // namespace
