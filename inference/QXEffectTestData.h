// What the tests of model effects share: the effects with their parameter ranges, the estimates and
// their covariance, the weighted cross products X'WX from which every hypothesis is built, the general
// estimable function H' of the model, the contrast matrix L of the effect being tested, and the model
// tests that turn an L into a Wald test. QXModelEffectTest owns one object and hands it to its Type I
// and Type III test objects, which read and sweep it.
//
// Parameter layout: p parameters make one linear predictor. The estimates and the covariance cover
// all n estimates: one block of p per non-reference category for a nominal multinomial model
// (n = p (k - 1)), the k - 1 thresholds in place of the intercept for an ordinal one (n = p + k - 2),
// and otherwise n = p. Hypotheses are built over the p parameters and widened to the n estimates just
// before they are tested.
//
// Effect indices count the intercept as effect 0 when the model has one (it is placed in front of the
// model effects), so the effect starts and sizes the caller gives describe that list.
#pragma once

#include <memory>
#include <vector>

#include "common/QXBitSet.h"
#include "common/QXExport.h"
#include "common/QXRectMatrix.h"
#include "common/QXStatus.h"
#include "common/QXSymMatrix.h"
#include "inference/QXModelTests.h"
#include "settings/QXConst.h"
#include "settings/QXModelEffect.h"
#include "settings/QXRegSettings.h"

namespace QXMath_600 {

class QXSatterthwaite;

class QXREGRES_API QXEffectTestData {
 public:
  // The first steps of the set-up: copies, p and k by distribution type, empty sets. A layout of the
  // estimates that does not fit the distribution type (a nominal model whose estimates do not split
  // into k - 1 blocks, an ordinal one with fewer estimates than thresholds) leaves status 303.
  QXEffectTestData(const QXRegSettings& settings, const std::vector<QXModelEffect>& effects,
                   const std::vector<double>& estimates, const std::vector<int>& effectStarts,
                   const std::vector<int>& effectSizes, QXConst::DistType distType, int nCategories,
                   double df);
  QXEffectTestData(const QXEffectTestData&) = delete;
  QXEffectTestData& operator=(const QXEffectTestData&) = delete;

  // Takes X'WX (order p, or p + 1 with the dependent's row and column last, which is dropped) and
  // finds the general estimable function H' by sweeping a working copy: on every parameter in order,
  // or, with a given non-redundant set, on its members, so that the tests use the fit's own
  // redundancy. fpSSCPMatrix keeps the unswept matrix. Places the intercept effect in front when the
  // model has an intercept and something is estimable. Error 303 for a missing or misshapen X'WX and
  // for effect starts and sizes that do not describe the effect list within the p parameters.
  QXCommon_600::QXStatus SetUpCrossProducts(const QXSymMatrix* xPrimeWX, const QXBitSet* nonRedundant);
  // The model tests, over the estimates and the covariance (which must outlive this object). The set
  // shown as the model's redundancy is a copy of `nonRedundant` when given, else the swept set.
  void CreateModelTests(const QXSymMatrix& covariance, const QXBitSet* nonRedundant);

  int GetNEffects() const { return static_cast<int>(fvModelEffects.size()); }
  // The first parameter and the number of parameters of effect e; false when e is not an effect.
  bool GetEffectRange(int e, int& first, int& count) const;
  // Sweeps the parameters of effect e in m, in index order, against the reference diagonal, keeping
  // the rows of aliased pivots up to date (H needs how they depend on the swept ones); each pivot
  // swept joins `swept`. Returns the number swept.
  int SweepEffect(QXSymMatrix& m, int e, QXBitSet& swept) const;
  // Undoes the sweeps of every member of `swept` in m, which empties the set.
  void Unsweep(QXSymMatrix& m, QXBitSet& swept) const;
  // Brings fpSSCPMatrix to the state the Type I hypothesis of effect e needs: swept on the effects
  // before e, in model order, and on nothing else. Requests in model order cost one sweep of each
  // effect in all; going back first undoes the sweeps.
  void PrepareTypeISweeps(int e);
  // Widens an L over the p parameters to the n estimates: k - 1 diagonal copies for a nominal
  // multinomial model, k - 2 leading columns so that the intercept's column falls on the last threshold
  // for an ordinal one. False when the matrix would not fit in memory addressing.
  bool ExpandForDistribution(QXRectMatrix& L) const;
  // The inverse of a transformation whose first row holds offsets and whose diagonal holds scale
  // factors: 1 / T(j, j) on the diagonal and -T(0, j) / T(j, j) in the first row, wherever T(j, j) is
  // not 0. False when T is not square.
  static bool InvertOffsetScale(const QXRectMatrix& T, QXRectMatrix& inverse);
  // The denominator degrees of freedom of a test of L: the Satterthwaite value when there is a
  // Satterthwaite object and it gives one, else fDF.
  double DenominatorDF(const QXRectMatrix& L) const;

  void Display() const;

  // The members, in the order of the data model; the test classes read and write them directly.
  std::vector<QXModelEffect> fvModelEffects;
  std::vector<int> fvEffectStarts;
  std::vector<int> fvEffectSizes;
  std::vector<double> fvEstimates;
  const QXRegSettings* fpSettings;
  double fTolerance = 1e-12;
  bool fbInterceptUsed;
  std::unique_ptr<QXRectMatrix> fpHMatrix;
  std::unique_ptr<QXSymMatrix> fpSSCPMatrix;
  std::vector<double> fvDiagonal;
  const QXSymMatrix* fpCovariance = nullptr;
  double fConfidenceLevel;
  std::unique_ptr<QXModelTests> fpModelTests;
  std::unique_ptr<QXRectMatrix> fpLMatrix;
  QXConst::DistType fDistType;
  int fNEstimates;
  int fP;
  int fK;
  QXBitSet fSweptSet;
  QXBitSet fNonRedundantSet;
  QXCommon_600::QXStatus fStatus;
  std::unique_ptr<QXRectMatrix> fpBackTransformedL;
  double fDF;
  QXSatterthwaite* fpSatterthwaite = nullptr;
  std::vector<double> fvScaleOffsets;
  std::vector<double> fvScaleFactors;
  std::unique_ptr<QXRectMatrix> fpRMatrix;
  std::unique_ptr<QXSymMatrix> fpAMatrix;

  // How many effects, from the first, fpSSCPMatrix is swept on for the Type I hypotheses.
  int fNTypeISweptEffects = 0;
  // The redundancy set the model tests display (a copy of the caller's, which need not outlive us).
  QXBitSet fModelNonRedundant;
};

}  // namespace QXMath_600
