// The sweep of large matrices: in double precision a block of pivots at a time it must do what the
// double-double sweep does one pivot at a time (same pivots, same elements to the digits double
// keeps), re-decide tolerance tests that double cannot call, refuse to stand for the extended sweep
// when the matrix is too ill-conditioned, and stop when its monitor says so. The matrices are the
// weighted cross products of over-parameterised designs with a many-level factor, whose aliased last
// levels are exactly the pivots double precision finds hard.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/IQXWorkMonitor.h"
#include "common/QXBitSet.h"
#include "common/QXMissingValue.h"
#include "common/QXRectMatrix.h"
#include "common/QXSweepMatrix.h"
#include "common/QXSymMatrix.h"

namespace {

using QXMath_600::QXBitSet;
using QXMath_600::QXRectMatrix;
using QXMath_600::QXSweepMatrix;
using QXMath_600::QXSymMatrix;
using Precision = QXSweepMatrix::Precision;

// [X y]'W[X y] for y ~ g * x with a factor g of `levels` levels (columns: intercept, g, x, g:x, y) and
// `extraPowers` powers t^2 .. of a covariate t in [0, 1] appended before y, which make the matrix as
// ill-conditioned as a polynomial fit; X'WX alone without `response`. Accumulated in double-double, so
// that an aliased column's pivot is 0 to about 1e-30. Unbalanced: level l gets 3 + l % 4 records.
QXSymMatrix CrossProducts(int levels, int extraPowers = 0, bool response = true) {
  const int p = 2 * levels + 2 + extraPowers;
  QXSymMatrix m(response ? p + 1 : p);
  int record = 0;
  for (int level = 0; level < levels; ++level)
    for (int r = 0; r < 3 + level % 4; ++r, ++record) {
      const double x = ((record * 7919) % 1000) / 100.0 - 5.0;
      const double t = ((record * 104729) % 997) / 997.0;
      std::vector<int> index{0, 1 + level, 1 + levels, 2 + levels + level};
      std::vector<double> value{1.0, 1.0, x, x};
      double power = t;
      for (int k = 0; k < extraPowers; ++k) {
        power *= t;
        index.push_back(2 * levels + 2 + k);
        value.push_back(power);
      }
      if (response) {
        index.push_back(p);
        value.push_back(10.0 + 0.01 * level + (1.0 + 0.002 * level) * x + t);
      }
      EXPECT_TRUE(m.UpdateXXSparse(index, value, 1.0 / 1000.0));
    }
  return m;
}

// Sweeps pivots 0 .. order - 2 (all but the dependent) of m in the given precision.
QXBitSet SweepAll(const QXSymMatrix& m, Precision precision, QXSweepMatrix& work, double tolerance = 1e-12,
                  bool zeroAliased = true) {
  std::vector<double> diagonal;
  m.GetDiagonal(diagonal);
  QXBitSet kept(m.GetNRows());
  EXPECT_TRUE(work.Assign(m, -1, precision));
  EXPECT_GE(work.SweepRange(0, m.GetNRows() - 2, tolerance, diagonal, kept, zeroAliased, nullptr, nullptr),
            0);
  return kept;
}

// Largest |a - b| over the elements, relative to the largest |b|.
double NormwiseDifference(const QXSweepMatrix& a, const QXSweepMatrix& b) {
  double largest = 0.0, difference = 0.0;
  for (int i = 0; i < b.GetNRows(); ++i)
    for (int j = 0; j <= i; ++j) {
      largest = std::max(largest, std::fabs(b.GetElem(i, j)));
      difference = std::max(difference, std::fabs(a.GetElem(i, j) - b.GetElem(i, j)));
    }
  return difference / largest;
}

class CountingMonitor : public QXMath_600::IQXWorkMonitor {
 public:
  explicit CountingMonitor(int calls) : fCallsLeft(calls) {}
  bool ContinueAfter(int nPivots) override {
    fPivots += nPivots;
    return --fCallsLeft > 0;
  }
  int fPivots = 0;

 private:
  int fCallsLeft;
};

// 150 levels: 303 parameters, five blocks of pivots, two aliased (the last level and its slope).
TEST(SweepMatrix, BlocksOfPivotsDoWhatOnePivotAtATimeDoes) {
  const QXSymMatrix m = CrossProducts(150);
  for (bool zeroAliased : {true, false}) {
    SCOPED_TRACE(zeroAliased);
    QXSweepMatrix blocked, extended;
    const QXBitSet keptBlocked = SweepAll(m, Precision::kDouble, blocked, 1e-12, zeroAliased);
    const QXBitSet keptExtended = SweepAll(m, Precision::kExtended, extended, 1e-12, zeroAliased);
    EXPECT_EQ(keptBlocked, keptExtended);
    EXPECT_EQ(keptBlocked.Count(), 300);
    EXPECT_FALSE(keptBlocked.IsIn(150));  // the last level of g
    EXPECT_FALSE(keptBlocked.IsIn(302));  // its slope
    EXPECT_TRUE(blocked.IsAccurate(keptBlocked));
    // Double keeps about 16 - log10(condition) digits of the inverse; the condition here is 1e3.
    EXPECT_LT(NormwiseDifference(blocked, extended), 1e-12);
    if (zeroAliased) {
      for (int j = 0; j < m.GetNRows(); ++j) EXPECT_EQ(blocked.GetElem(150, j), 0.0);
    }
  }
}

TEST(SweepMatrix, WhereTheBlocksEndDoesNotMatter) {
  const QXSymMatrix m = CrossProducts(150);
  std::vector<double> diagonal;
  m.GetDiagonal(diagonal);
  QXSweepMatrix whole, pieces;
  const QXBitSet keptWhole = SweepAll(m, Precision::kDouble, whole);
  QXBitSet keptPieces(m.GetNRows());
  ASSERT_TRUE(pieces.Assign(m, -1, Precision::kDouble));
  for (auto [first, last] : {std::pair{0, 0}, {1, 77}, {78, 150}, {151, 301}})
    ASSERT_GE(pieces.SweepRange(first, last, 1e-12, diagonal, keptPieces, true, nullptr, nullptr), 0);
  EXPECT_EQ(keptPieces, keptWhole);
  EXPECT_LT(NormwiseDifference(pieces, whole), 1e-13);
}

TEST(SweepMatrix, PivotsOutsideTheAllowedSetStayUnswept) {
  const QXSymMatrix m = CrossProducts(150);
  std::vector<double> diagonal;
  m.GetDiagonal(diagonal);
  // The non-redundant set of the index order with level 7 left out: the last level takes its place.
  QXBitSet allowed(m.GetNRows());
  allowed.SetRange(0, 300);
  allowed.Reset(150);
  allowed.Reset(7);
  allowed.Set(150);
  for (Precision precision : {Precision::kDouble, Precision::kExtended}) {
    QXSweepMatrix work;
    QXBitSet kept(m.GetNRows());
    ASSERT_TRUE(work.Assign(m, -1, precision));
    EXPECT_EQ(work.SweepRange(0, m.GetNRows() - 2, 1e-15, diagonal, kept, false, &allowed, nullptr), 300);
    EXPECT_EQ(kept, [&] {
      QXBitSet expected = allowed;
      expected.Resize(m.GetNRows());
      return expected;
    }());
  }
}

// Below about 1e-13 the aliased last level's ratio is rounding noise of the double sweep (its column
// is the intercept minus 249 others): a double sweep that trusted it would keep the level at 1e-20.
// The test is decided again in double-double and comes out as the extended sweep's.
TEST(SweepMatrix, TolerancesBelowDoubleRoundingAreDecidedInDoubleDouble) {
  const QXSymMatrix m = CrossProducts(250);
  QXSweepMatrix extended;
  const QXBitSet keptExtended = SweepAll(m, Precision::kExtended, extended, 1e-20);
  EXPECT_EQ(keptExtended.Count(), 500);
  for (double tolerance : {1e-12, 1e-15, 1e-20}) {
    SCOPED_TRACE(tolerance);
    QXSweepMatrix blocked;
    EXPECT_EQ(SweepAll(m, Precision::kDouble, blocked, tolerance), keptExtended);
    EXPECT_FALSE(blocked.HasUnclearDecision());
  }
}

// Factoring takes the same pivots as sweeping, at a third of the work, and its L D L' solves the kept
// block's system; below double rounding its close tests are decided again in double-double too.
TEST(SweepMatrix, FactoringTakesTheSweepsPivotsAndSolvesTheKeptBlock) {
  const QXSymMatrix S = CrossProducts(250, 0, false);
  std::vector<double> diagonal, b(S.GetNRows());
  S.GetDiagonal(diagonal);
  for (int i = 0; i < S.GetNRows(); ++i) b[i] = std::sin(i);
  for (double tolerance : {1e-12, 1e-20}) {
    SCOPED_TRACE(tolerance);
    QXSweepMatrix factored, extended;
    QXBitSet keptFactored(S.GetNRows()), keptExtended(S.GetNRows());
    ASSERT_TRUE(factored.Assign(S, -1, Precision::kDouble));
    ASSERT_TRUE(extended.Assign(S, -1, Precision::kExtended));
    EXPECT_EQ(factored.Factor(tolerance, diagonal, keptFactored, nullptr), 500);
    extended.SweepRange(0, S.GetNRows() - 1, tolerance, diagonal, keptExtended, true, nullptr, nullptr);
    EXPECT_EQ(keptFactored, keptExtended);
    EXPECT_FALSE(factored.HasUnclearDecision());
    // The solution solves the kept block's system to rounding (a backward-stable factorization), and
    // matches the extended one to the digits the condition (about 1e5 unscaled) leaves.
    std::vector<double> x, expected, hi, lo;
    ASSERT_TRUE(factored.SolveFactored(keptFactored, b, x));
    ASSERT_TRUE(extended.SolveFactored(keptExtended, b, expected));
    ASSERT_TRUE(S.MultiplyExtended(keptFactored, x, hi, lo));
    for (int i = 0; i < S.GetNRows(); ++i) {
      if (!keptFactored.IsIn(i)) continue;
      EXPECT_NEAR(hi[i] + lo[i], b[i], 1e-10) << i;
      EXPECT_NEAR(x[i], expected[i], 1e-8 * (1.0 + std::fabs(expected[i]))) << i;
    }
  }
}

// Powers t^2 .. t^9 of one covariate: a condition near 1e13, far beyond what double keeps ten digits
// of. The double sweep says so, and CholInverse's answer is then the double-double sweep's.
TEST(SweepMatrix, IllConditionedMatricesAreLeftToTheExtendedSweep) {
  const QXSymMatrix m = CrossProducts(140, 8);
  QXSweepMatrix blocked;
  const QXBitSet kept = SweepAll(m, Precision::kDouble, blocked);
  EXPECT_GT(blocked.EstimateCondition(kept), 1e10);
  EXPECT_FALSE(blocked.IsAccurate(kept));

  QXSymMatrix parameters;
  ASSERT_TRUE(m.ExtractFirstNRows(m.GetNRows() - 1, parameters));
  std::vector<double> diagonal;
  parameters.GetDiagonal(diagonal);
  QXSymMatrix inverse;
  QXBitSet inverseKept;
  const int rank = parameters.CholInverse(diagonal, 1e-12, inverse, inverseKept);
  QXSweepMatrix extended;
  QXBitSet extendedKept(parameters.GetNRows());
  ASSERT_TRUE(extended.Assign(parameters, -1, Precision::kExtended));
  extended.SweepRange(0, parameters.GetNRows() - 1, 1e-12, diagonal, extendedKept, true, nullptr, nullptr);
  EXPECT_EQ(rank, extendedKept.Count());
  for (int i = 0; i < parameters.GetNRows(); ++i)
    for (int j = 0; j <= i; ++j) ASSERT_EQ(inverse.GetElem(i, j), -extended.GetElem(i, j)) << i << "," << j;
}

// The same ill-conditioned matrix: d' S^- d with d = X'Wy is the regression sum of squares, y'Wy minus
// the corner of [X y]'W[X y] swept in double-double. Formed from the double inverse it would lose
// about 13 digits to the condition; from a refined solution it keeps them. Orders 90 and 290: both
// above the order up to which a hypothesis matrix is factored in double-double.
TEST(SweepMatrix, RefinedQuadraticFormKeepsTheDigitsOfTheExtendedSweep) {
  for (int levels : {40, 140}) {
    SCOPED_TRACE(levels);
    const QXSymMatrix m = CrossProducts(levels, 8);
    const int p = m.GetNRows() - 1;
    ASSERT_GT(p, QXSweepMatrix::kMaxExtendedFactorOrder);
    QXSweepMatrix extended;
    const QXBitSet keptExtended = SweepAll(m, Precision::kExtended, extended);
    double yHi, yLo, cornerHi, cornerLo;
    m.GetElemExtended(p, p, yHi, yLo);
    QXSymMatrix swept;
    ASSERT_TRUE(extended.MoveTo(swept));
    swept.GetElemExtended(p, p, cornerHi, cornerLo);
    const double expected = ((yHi - cornerHi) + yLo) - cornerLo;

    QXSymMatrix S;
    ASSERT_TRUE(m.ExtractFirstNRows(p, S));
    std::vector<double> diagonal, d(p);
    S.GetDiagonal(diagonal);
    for (int i = 0; i < p; ++i) d[i] = m.GetElem(i, p);
    double form = 0.0;
    QXBitSet kept;
    EXPECT_EQ(S.ComputeInverseQuadraticForm(d, diagonal, 1e-12, form, kept), keptExtended.Count());
    EXPECT_NEAR(form, expected, 1e-12 * expected);
  }
}

TEST(SweepMatrix, MonitorStopsTheWorkBetweenBlocks) {
  const QXSymMatrix m = CrossProducts(150);
  std::vector<double> diagonal;
  m.GetDiagonal(diagonal);
  QXSweepMatrix work;
  QXBitSet kept(m.GetNRows());
  ASSERT_TRUE(work.Assign(m, -1, Precision::kDouble));
  CountingMonitor monitor(2);
  EXPECT_EQ(work.SweepRange(0, m.GetNRows() - 2, 1e-12, diagonal, kept, true, nullptr, &monitor), -1);
  EXPECT_EQ(monitor.fPivots, 128);  // two blocks of 64

  QXSymMatrix inverse;
  CountingMonitor stop(1);
  EXPECT_EQ(m.CholInverse(diagonal, 1e-12, inverse, kept, &stop), -1);
  EXPECT_EQ(kept.Size(), 0);
  double form = 0.0;
  CountingMonitor stopForm(1);
  std::vector<double> d(m.GetNRows(), 1.0);
  EXPECT_EQ(m.ComputeInverseQuadraticForm(d, diagonal, 1e-12, form, kept, &stopForm), -1);
}

TEST(SweepMatrix, BadArgumentsAreRefused) {
  const QXSymMatrix m = CrossProducts(10);
  std::vector<double> diagonal;
  m.GetDiagonal(diagonal);
  QXSweepMatrix work;
  EXPECT_FALSE(work.Assign(m, m.GetNRows() + 1, Precision::kDouble));
  ASSERT_TRUE(work.Assign(m, -1, Precision::kDouble));
  QXBitSet small(3), kept(m.GetNRows());
  EXPECT_EQ(work.SweepRange(0, 5, 1e-12, diagonal, small, true, nullptr, nullptr), -1);
  EXPECT_EQ(work.SweepRange(0, m.GetNRows(), 1e-12, diagonal, kept, true, nullptr, nullptr), -1);
  EXPECT_EQ(work.SweepRange(0, 5, 1e-12, std::vector<double>(2), kept, true, nullptr, nullptr), -1);
  double form = 0.0;
  EXPECT_EQ(m.ComputeInverseQuadraticForm(std::vector<double>(2), diagonal, 1e-12, form, kept), -1);
  EXPECT_TRUE(std::isfinite(work.GetElem(0, 0)));
  EXPECT_EQ(work.GetElem(-1, 0), QXMV::gMissingValue);
}

// L S L' for hypothesis rows that are mostly zeros and for rows filled with a sweep's rounding noise
// (the dense path): both as a plain triple loop over the definition.
TEST(SweepMatrix, HypothesisProductsMatchTheirDefinitionSparseOrDense) {
  QXSymMatrix S = CrossProducts(20);
  const int n = S.GetNRows();
  for (bool dense : {false, true}) {
    SCOPED_TRACE(dense);
    QXRectMatrix L(6, n);
    for (int i = 0; i < 6; ++i)
      for (int k = 0; k < n; ++k)
        if (dense || (k + i) % 9 == 0) L.SetElem(i, k, 1.0 + 0.1 * i - 0.01 * k + (dense ? 1e-17 * k : 0.0));
    QXSymMatrix product;
    ASSERT_TRUE(S.ComputeRSRTrans(L, product));
    for (int i = 0; i < 6; ++i)
      for (int j = 0; j <= i; ++j) {
        double expected = 0.0;
        for (int a = 0; a < n; ++a)
          for (int b = 0; b < n; ++b) expected += L.GetElem(i, a) * S.GetElem(a, b) * L.GetElem(j, b);
        EXPECT_NEAR(product.GetElem(i, j), expected, 1e-13 * std::fabs(expected)) << i << "," << j;
      }
  }
}

}  // namespace
