// Empty matrices, non-finite values, the display shape, and the sweep uses of hypothesis
// construction (sweeping a covariance matrix back to its information matrix).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "common/QXBitSet.h"
#include "common/QXDiagMatrix.h"
#include "common/QXEigenValues.h"
#include "common/QXMissingValue.h"
#include "common/QXRectMatrix.h"
#include "common/QXSparseVector.h"
#include "common/QXSymBlockDiagMatrix.h"
#include "common/QXSymBlockMatrix.h"
#include "common/QXSymMatrix.h"
#include "kernel_reference.h"

namespace {

using kernel_test::Near;
using QXMath_600::QXBitSet;
using QXMath_600::QXRectMatrix;
using QXMath_600::QXSymBlockDiagMatrix;
using QXMath_600::QXSymMatrix;

TEST(EmptyMatrices, EveryOperationAnswersWithoutTouchingMemory) {
  QXSymMatrix m;
  std::vector<double> d, b;
  QXBitSet kept;
  EXPECT_FALSE(m.Sweep(0, 1e-12, d, kept, true));
  EXPECT_FALSE(m.GetRegCoeffs(b, kept));
  double measure = 0.0;
  EXPECT_EQ(m.LTChol(1e-12, measure), 0);
  EXPECT_EQ(measure, 1.0);
  QXSymMatrix inv;
  EXPECT_EQ(m.CholInverse(d, 1e-12, inv, kept), 0);
  QXRectMatrix h;
  EXPECT_EQ(m.ExtractH(0, 0, kept, h), -1);
  EXPECT_EQ(m.ComputeVSV(d), 0.0);
  EXPECT_TRUE(m.UpdateXX(d, 1.0));
  QXMath_600::QXEigenValues eigen;
  EXPECT_TRUE(eigen.Compute(m));
  QXRectMatrix r;
  QXBitSet rows;
  EXPECT_EQ(r.ExtractFullRank(1e-12, h, rows), 0);
  EXPECT_EQ(r.ResidOfOrthProjection(QXRectMatrix(), 1e-12, rows), 0);
  EXPECT_FALSE(m.SetNRowsCols(-3));
  EXPECT_FALSE(QXMath_600::QXSymBlockMatrix().Resize(-1, 2));
  EXPECT_FALSE(QXMath_600::QXSymBlockMatrix().Resize(70000, 70000));  // order beyond an int
}

TEST(NonFinite, GeneralizedInverseRefusesAndCholeskyMarksThePivot) {
  QXSymMatrix m(2);
  m.SetElem(0, 0, 1.0);
  m.SetElem(1, 1, std::numeric_limits<double>::infinity());
  std::vector<double> d{1.0, 1.0};
  QXSymMatrix inv;
  QXBitSet kept;
  EXPECT_EQ(m.CholInverse(d, 1e-12, inv, kept), -1);
  EXPECT_EQ(inv.GetNRows(), 2);
  double measure;
  EXPECT_EQ(m.LTChol(1e-12, measure), 1);
  EXPECT_EQ(measure, 0.0);
}

TEST(HypothesisSweeps, CovarianceSweptOnItsMembersGivesBackTheInformation) {
  // A caller that has only V = A^-1 over the kept parameters marks them as swept and sweeps them
  // again: the sweeps run in reverse, and after the sign changes of the effect tests the matrix is
  // A on the kept parameters (0 elsewhere), ready for sequential sweeps.
  const auto ref = kernel_test::LoadReference("kernel_linalg.json");
  const QXSymMatrix a = kernel_test::ToSym(ref["A"]);
  QXSymMatrix v(5);  // parameter 4 redundant
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j <= i; ++j) v.SetElem(i, j, ref["inverse_A"][i][j].get<double>());
  std::vector<double> d;
  v.GetDiagonal(d);
  QXBitSet c(5);
  c.SetRange(0, 3);
  QXBitSet swept = c;
  for (int k = 4; k >= 0; --k)
    if (c.IsIn(k)) {
      ASSERT_TRUE(v.Sweep(k, 1e-12, d, swept, false));
    }
  EXPECT_EQ(swept.Count(), 0);
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j <= i; ++j) {
      const double sign = (c.IsIn(i) && c.IsIn(j)) || (!c.IsIn(i) && !c.IsIn(j)) ? -1.0 : 1.0;
      const double expected = i < 4 && j < 4 ? a.GetElem(i, j) : 0.0;
      EXPECT_TRUE(Near(sign * v.GetElem(i, j), expected, 1e-12, 1.0)) << i << j;
    }
}

TEST(BlockDiagonal, QuadraticFormsOverSegments) {
  QXSymMatrix b1(1), b2(2);
  b1.SetElem(0, 0, 2.0);
  b2.SetElem(0, 0, 1.0);
  b2.SetElem(1, 0, 0.5);
  b2.SetElem(1, 1, 3.0);
  QXSymBlockDiagMatrix m;
  m.AddBlock(b1);
  m.AddBlock(b2);
  EXPECT_EQ(m.GetNRows(), 3);
  EXPECT_EQ(m.GetBlockStart(1), 1);
  EXPECT_EQ(m.GetElem(2, 1), 0.5);
  EXPECT_EQ(m.GetElem(0, 2), 0.0);
  EXPECT_EQ(m.GetElem(3, 0), QXMV::gMissingValue);
  EXPECT_EQ(m.GetBlock(2), nullptr);
  const std::vector<double> v{9.0, 1.0, 1.0, 2.0};
  EXPECT_EQ(m.ComputeVSV(v, 1), 2.0 + 1.0 + 2 * 2 * 0.5 + 4 * 3.0);
  EXPECT_EQ(m.ComputeVSV(v, 2), QXMV::gMissingValue);
  std::vector<double> out;
  ASSERT_TRUE(m.ComputeSV({1.0, 1.0, 2.0}, out));
  EXPECT_EQ(out, (std::vector<double>{2.0, 2.0, 6.5}));
}

TEST(Display, EveryMatrixPrintsBetweenItsOpeningAndClosingLines) {
  QXSymMatrix s(2);
  s.SetElem(1, 0, QXMV::gMissingValue);
  QXBitSet b(3);
  b.Set(1);
  const std::vector<int> idx{0};
  const std::vector<double> val{1.0};
  testing::internal::CaptureStdout();
  s.Display();
  b.Display();
  QXRectMatrix(1, 2).Display();
  QXMath_600::QXDiagMatrix(1).Display();
  QXMath_600::QXSymBlockMatrix(2, 1).Display();
  QXMath_600::QXSparseVector(idx, val, 1).Display();
  QXMath_600::QXEigenValues().Display();
  QXSymBlockDiagMatrix().Display();
  const std::string out = testing::internal::GetCapturedStdout();
  for (const char* name : {"QXSymMatrix", "QXBitSet", "QXRectMatrix", "QXDiagMatrix", "QXSymBlockMatrix",
                           "QXSparseVector", "QXEigenValues", "QXSymBlockDiagMatrix"}) {
    EXPECT_NE(out.find(std::string(name) + " display start"), std::string::npos) << name;
    EXPECT_NE(out.find(std::string(name) + " display end"), std::string::npos) << name;
  }
  EXPECT_NE(out.find("sysmis"), std::string::npos);
  EXPECT_NE(out.find("Members = [1]"), std::string::npos);
}

}  // namespace
