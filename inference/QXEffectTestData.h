// What the tests of model effects share: the effects with their parameter ranges, the estimates and
// their covariance, the weighted cross products X'WX from which every hypothesis is built, the general
// estimable function H' of the model, the contrast matrix L of the effect being tested, and the model
// tests that turn an L into a Wald test. QXModelEffectTest owns one object and hands it to its Type I
// and Type III test objects, which read it.
//
// One sweep serves every hypothesis. X'WX is swept once, effect by effect, on the non-redundant
// parameters (the fit's set when the caller gives it): on the way it leaves each effect's Type I
// hypotheses, at the end the general estimable function and the coefficients that express every
// aliased parameter through the non-redundant ones, from which the Type III hypotheses are formed
// without sweeping again (QXEffectSweep). The linear fit sweeps its cross products the same way and
// keeps the result; given that, the tests do not sweep at all.
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
#include "common/QXSweepMatrix.h"
#include "common/QXSymMatrix.h"
#include "inference/QXModelTests.h"
#include "model/QXEffectSweep.h"
#include "records/QXCancelInfo.h"
#include "records/QXWorkProgress.h"
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
  ~QXEffectTestData();

  // Takes X'WX (order p, or p + 1 with the dependent's row and column last, which is dropped) and
  // sweeps a working copy once, in the order of the effect ranges, on the non-redundant parameters:
  // the given set (each member is swept whatever its pivot's size, so that a hypothesis involves
  // exactly the parameters the fit estimated), or without one the parameters that pass the settings'
  // tolerance in index order (the fit's own rule). fpSSCPMatrix keeps the unswept matrix. fitSweep
  // (may be null; it must outlive this object) is the fit's own sweep of this X'WX: when it was swept
  // on the same effect ranges, kept the given non-redundant set and, where Type I hypotheses are
  // asked for, kept them, it is read instead of sweeping again. Places the intercept effect in front
  // when the model has an intercept and something is estimable. Error 303 for a missing or misshapen
  // X'WX and for effect starts and sizes that do not describe the effect list within the p
  // parameters; 1 when the caller cancels the sweep.
  QXCommon_600::QXStatus SetUpCrossProducts(const QXSymMatrix* xPrimeWX, const QXBitSet* nonRedundant,
                                            const QXEffectSweep* fitSweep = nullptr);
  // Whether SetUpCrossProducts would read fitSweep instead of sweeping.
  bool CanUseFitSweep(const QXEffectSweep* fitSweep, const QXBitSet* nonRedundant) const;
  // Whether the last SetUpCrossProducts read the fit's sweep.
  bool UsedFitSweep() const { return fpIndexSweep != nullptr && fpIndexSweep != fpOwnSweep.get(); }
  // The model tests, over the estimates and the covariance (which must outlive this object). The set
  // shown as the model's redundancy is a copy of `nonRedundant` when given, else the swept set.
  void CreateModelTests(const QXSymMatrix& covariance, const QXBitSet* nonRedundant);
  // Decides whether the tests read the fit's sums of squares instead of forming Wald forms: only
  // where that is the same statistic, a linear model's F test (one linear predictor, no Satterthwaite
  // df) whose covariance is sigma^2 (X'WX)^- of the fit whose sweep is read, with the fit's
  // estimates. Then W = SS / sigma^2.
  void DecideSumsOfSquares(const QXEffectSweep& fitSweep, const QXSymMatrix& covariance,
                           const QXSatterthwaite* satterthwaite);
  bool TypeIFromSumsOfSquares() const { return fErrorVariance > 0.0 && fbKeepTypeIHypotheses; }
  // W of effect e's Type I test from its sum of squares, for a full-rank L of `rows` rows (one per
  // parameter its sweep took); false when the fit's sums are not read or the rows differ.
  bool GetTypeIWaldForm(int e, int rows, double& w) const;
  // W of the test of effect e adjusted for all the others, for a full-rank L of `rows` rows that tests
  // exactly that (rows equal to the rank e adds): the Type I sum of squares of the last effect when
  // every other parameter was swept before it, else the residual sum of squares of the model without
  // e less the fit's. False when the fit's sums are not read, the model without e was not fitted, the
  // rows differ, or the difference would lose more than a few digits to cancellation.
  bool GetAdjustedWaldForm(int e, int rows, double& w) const;

  int GetNEffects() const { return static_cast<int>(fvModelEffects.size()); }
  // The first parameter and the number of parameters of effect e; false when e is not an effect.
  bool GetEffectRange(int e, int& first, int& count) const;
  // The Type I hypotheses of effect e as the sweep left them after the effects up to e: one column of p
  // rows per parameter that e's own sweep took (QXSymMatrix::ExtractH over e's range), and those
  // parameters. False when they were not kept (KeepTypeIHypotheses) or e is out of range.
  bool GetTypeIHypotheses(int e, const QXRectMatrix*& columns, const std::vector<int>*& parameters) const;
  // The sweep of X'WX on the non-redundant parameters in index order, which the general estimable
  // function and, wherever the order of their sweeps does not matter, the Type III hypotheses read.
  const QXSweptColumns& GetIndexOrderSweep() const {
    return fpIndexSweep != nullptr ? fpIndexSweep->GetIndexOrderSweep() : fNoSweep;
  }
  // For each non-redundant parameter k, 1 / (d_k (X'WX)^-_kk): the share of its column left when it is
  // regressed on all the other non-redundant columns. No order of sweeping finds k aliased while this
  // is above the tolerance. 0 elsewhere.
  const std::vector<double>& GetUnexplainedShares() const {
    return fpIndexSweep != nullptr ? fpIndexSweep->GetUnexplainedShares() : fvNoShares;
  }
  // X'WX swept on the ranges of `effects`, in that order, each pivot tested with the settings'
  // tolerance, as one hypothesis needs it when the order changes which parameters are aliased. False
  // when the caller cancelled.
  bool SweepEffectsInOrder(const std::vector<int>& effects, QXSweptColumns& out);

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
  // The tolerance of the rank decisions on hypothesis matrices (full rank, projections, eliminations).
  double fTolerance = 1e-12;
  // The eliminations' tolerance: fTolerance, or the rounding level of a double sweep when that is
  // larger.
  double fEliminationTolerance = 1e-12;
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

  // Whether the sweep keeps each effect's Type I hypotheses; set before SetUpCrossProducts.
  bool fbKeepTypeIHypotheses = false;
  // The tolerance of the sweep that decides redundancy when no non-redundant set is given: the
  // settings' (the fit's) tolerance.
  double fSweepTolerance;
  // Cancellation from the settings' cancel object, and the progress of the sweep and of the tests as
  // the settings' listener hears it ("effect tests").
  QXCancelInfo fCancelInfo;
  std::unique_ptr<QXWorkProgress> fpProgress;
  // The redundancy set the model tests display (a copy of the caller's, which need not outlive us).
  QXBitSet fModelNonRedundant;
  // The tests whose Wald form came from the fit's sums of squares.
  int fnFormsRead = 0;

 private:
  // fpHMatrix from the index-order sweep's aliased columns.
  void BuildEstimableFunction();
  // The index-order sweep, the fit's or our own: the non-redundant set, the Type I hypotheses, H and
  // the aliased columns.
  bool SweepForHypotheses(const QXBitSet* allowed, const QXEffectSweep* fitSweep);

  // sigma^2 when the tests read the fit's sums of squares, else 0.
  double fErrorVariance = 0.0;
  std::unique_ptr<QXEffectSweep> fpOwnSweep;
  const QXEffectSweep* fpIndexSweep = nullptr;
  QXSweptColumns fNoSweep;
  std::vector<double> fvNoShares;
};

}  // namespace QXMath_600
