// Tests of the model effects of a fitted model: the Type I (sequential) or Type III (adjusted) test of
// every effect, the intercept first when the model has one, and the test of the corrected model (every
// parameter but the intercept). The hypotheses are built from the weighted cross products X'WX of the
// design; each is reduced to full row rank and tested by Wald's statistic with the covariance of the
// estimates the caller gives (for the linear model: its unscaled covariance times sigma^2). The object
// also gives out the general estimable function and the L matrix of any effect.
//
// Given the linear fit's sweep, an F test whose covariance is the fit's own sigma^2 (X'WX)^- does not
// invert L V L' where the fit's sweep already holds the sum of squares the Wald form equals: every
// Type I test, and the Type III test of an effect no other contains when it is the last effect or the
// model without it is small. The statistic is the same (to rounding, with more digits kept); the L
// matrices and degrees of freedom are those of the hypotheses as built.
//
// Everything given at construction is copied except the settings, the covariance matrix and the
// Satterthwaite object, which are borrowed and must outlive this object. Errors of construction stay
// in the status and are returned by TestModelEffect without testing.
//
// Status codes: 303 (error) for a missing or misshapen X'WX, a covariance without X'WX, effect ranges
// that do not fit the parameters, an unknown analysis type, and for testing without a covariance; 321
// (warning) for an effect without a testable hypothesis; 323 (warning) when no parameter is estimable.
#pragma once

#include <memory>
#include <vector>

#include "common/QXBitSet.h"
#include "common/QXExport.h"
#include "common/QXRectMatrix.h"
#include "common/QXStatus.h"
#include "common/QXSymMatrix.h"
#include "inference/QXBaseModelEffectTest.h"
#include "inference/QXEffectTestData.h"
#include "inference/QXModelTestStats.h"
#include "settings/QXConst.h"
#include "settings/QXModelEffect.h"
#include "settings/QXRegSettings.h"

namespace QXMath_600 {

class QXEffectSweep;
class QXSatterthwaite;

class QXREGRES_API QXModelEffectTest {
 public:
  // effects: the model effects in model order (the intercept effect is added in front when the model
  // has an intercept); estimates: all n estimates; effectStarts and effectSizes: each effect's first
  // parameter and number of parameters, for the intercept and then each effect (the linear output
  // statistics give them); covariance: of the estimates, order n, or null to build hypotheses only;
  // xPrimeWX: the weighted cross products of one linear predictor's parameters; nonRedundant: the
  // fit's non-redundant parameters, or null to decide them here; distType and nCategories: the
  // multinomial layouts (QXDistNomMultinomial, QXDistOrdMultinomial) need k; altNonRedundant: the
  // non-redundant parameters of one linear predictor, used for the multinomial layouts; df: the error
  // degrees of freedom, negative for the settings' value; satterthwaite: denominator degrees of
  // freedom for mixed models, or null; fitSweep: the linear fit's sweep of xPrimeWX
  // (QXGLMOutputStats::GetEffectSweep), which spares the tests their own sweep when it matches the
  // ranges and the non-redundant set given here, or null. Whatever is given must outlive this object.
  QXModelEffectTest(const QXRegSettings& settings, const std::vector<QXModelEffect>& effects,
                    const std::vector<double>& estimates, const std::vector<int>& effectStarts,
                    const std::vector<int>& effectSizes, QXConst::QXEffectAnalysisType analysisType,
                    const QXSymMatrix* covariance, const QXSymMatrix* xPrimeWX, const QXBitSet* nonRedundant,
                    QXConst::DistType distType, int nCategories, const QXBitSet* altNonRedundant, double df,
                    QXSatterthwaite* satterthwaite, const QXEffectSweep* fitSweep = nullptr);
  ~QXModelEffectTest();
  QXModelEffectTest(const QXModelEffectTest&) = delete;
  QXModelEffectTest& operator=(const QXModelEffectTest&) = delete;

  // Whether the hypotheses were built from the fit's sweep (fitSweep) rather than a sweep of our own.
  bool ReadsFitSweep() const;
  // Whether the Type I tests read the fit's sums of squares instead of forming their Wald forms.
  bool ReadsTypeISumsOfSquares() const;
  // How many tests took their Wald form from the fit's sums of squares (after TestModelEffect).
  int GetNTestsFromSumsOfSquares() const;
  // Runs the tests of the analysis type; the result of the last test object is returned and kept.
  QXCommon_600::QXStatus TestModelEffect();
  // Entry i is the test of effect i (the intercept is effect 0 when the model has one); null before
  // TestModelEffect or when the analysis type has no such test.
  const QXModelTestStats* GetTypeITestStats() const { return fpTypeITestStats; }
  const QXModelTestStats* GetTypeIIITestStats() const { return fpTypeIIITestStats; }
  // The test that every parameter but the intercept is 0, formed on the first call and returned
  // unchanged afterwards, whatever T is then given. With T (a transformation of the parameters: offsets
  // in the first row, scale factors on the diagonal) the general estimable function is taken as
  // T H T^-1 for this test. Null without a covariance, on an error, or when T does not fit.
  const QXModelTestStats* GetCorrectedModelTestStats(const QXRectMatrix* T);
  // L = the general estimable function (one row per non-redundant parameter, whose 1-based indices
  // go to rowIndices). 303 without H or L, 323 (warning) when nothing is estimable.
  QXCommon_600::QXStatus GetGeneralEstimableFunction(const QXRectMatrix*& L, std::vector<int>& rowIndices);
  // The L matrix of an effect from the first test object (Type III for analysis types 1 and 2), before
  // it is widened to the estimates and reduced to full rank. Null on an error, without a test object,
  // or after an error of construction. The matrix is overwritten by the next call.
  const QXRectMatrix* ComputeLMatrix(int effect);
  // The L matrix that was tested for an effect: of the Type III tests for type QXEffectTypeIII, of the
  // Type I tests for QXEffectTypeI, and then, when T is given, back-transformed to D L T^-1 (D the
  // diagonal of T at the effect's parameters) and kept here. L is null when the effect has no entry.
  // False when the back-transformation does not fit or the type is neither.
  bool GetLMatrix(int effect, const QXRectMatrix*& L, QXConst::QXEffectAnalysisType type,
                  const QXRectMatrix* T);
  // The centring offsets c and scale factors d of the parameters after the intercept, for the Type III
  // hypotheses of models whose covariates were centred and scaled (the settings' transform-effects
  // flag).
  void SetScaleValus(const std::vector<double>& offsets, const std::vector<double>& scales);

  const QXCommon_600::QXStatus& GetStatus() const { return fStatus; }
  void Display() const;

 private:
  // The work of the sweep and of the tests, in pivots of X'WX, for the progress the settings' listener
  // hears.
  static double EstimateWork(const QXEffectTestData& data, std::size_t nTests, const QXBitSet* nonRedundant,
                             bool sweeps);

  const QXRegSettings& fSettings;
  std::unique_ptr<QXEffectTestData> fpDataImpl;
  const QXModelTestStats* fpTypeITestStats = nullptr;
  const QXModelTestStats* fpTypeIIITestStats = nullptr;
  std::vector<std::unique_ptr<QXBaseModelEffectTest>> fvTests;
  QXCommon_600::QXStatus fStatus;
  QXConst::QXEffectAnalysisType fAnalysisType;
  std::unique_ptr<QXModelTestStats> fpCorrectedTestStats;
};

}  // namespace QXMath_600
