#include "inference/QXEffectTestData.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <string_view>

#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"
#include "inference/QXSatterthwaite.h"
#include "settings/QXDisplayC.h"

namespace QXMath_600 {

using QXCommon_600::QXStatus;

namespace {

QXStatus InvalidState() { return QXStatus(303, false); }

constexpr double kLooserForGivenSet = 1e-3;

}  // namespace

QXEffectTestData::QXEffectTestData(const QXRegSettings& settings, const std::vector<QXModelEffect>& effects,
                                   const std::vector<double>& estimates, const std::vector<int>& effectStarts,
                                   const std::vector<int>& effectSizes, QXConst::DistType distType,
                                   int nCategories, double df)
    : fvModelEffects(effects),
      fvEffectStarts(effectStarts),
      fvEffectSizes(effectSizes),
      fvEstimates(estimates),
      fpSettings(&settings),
      fbInterceptUsed(settings.GetInterceptUse()),
      fConfidenceLevel(settings.GetConfidenceLevel()),
      fpLMatrix(std::make_unique<QXRectMatrix>()),
      fDistType(distType),
      fNEstimates(static_cast<int>(estimates.size())),
      fK(nCategories < 2 ? 2 : nCategories),
      fDF(df),
      fSweepTolerance(settings.GetTolerance()),
      fCancelInfo(settings.GetCancelPointer()) {
  const long long n = fNEstimates;
  long long p = n;
  if (distType == QXConst::QXDistNomMultinomial) {
    if (n % (fK - 1) != 0) fStatus = InvalidState();
    p = n / (fK - 1);
  } else if (distType == QXConst::QXDistOrdMultinomial) {
    p = n - fK + 2;
    if (p < 1) fStatus = InvalidState();
  }
  fP = fStatus.IsError() ? 0 : static_cast<int>(p);
  fpLMatrix->SetNRowsCols(0, fP);
  fSweptSet = QXBitSet(fP);
  fNonRedundantSet = QXBitSet(fP);
}

QXEffectTestData::~QXEffectTestData() = default;

QXStatus QXEffectTestData::SetUpCrossProducts(const QXSymMatrix* xPrimeWX, const QXBitSet* nonRedundant,
                                              const QXEffectSweep* fitSweep) {
  if (xPrimeWX == nullptr) return InvalidState();
  const int order = xPrimeWX->GetNRows();
  if (order != fP && order != fP + 1) return InvalidState();
  fpSSCPMatrix = std::make_unique<QXSymMatrix>();
  xPrimeWX->ExtractFirstNRows(fP, *fpSSCPMatrix);
  fpSSCPMatrix->GetDiagonal(fvDiagonal);

  if (!SweepForHypotheses(nonRedundant, fitSweep)) return QXStatus(1, false);
  const int rank = fpHMatrix->GetNCols();
  if (rank > 0 && fbInterceptUsed && !fvModelEffects.empty()) {
    QXModelEffect intercept = fvModelEffects.front();
    intercept.Reset();
    fvModelEffects.insert(fvModelEffects.begin(), intercept);
  }
  // The caller's parameter ranges must describe exactly this list; anything else would test the
  // wrong parameters. With nothing estimable, or no effect, there is nothing to misattribute.
  if (rank > 0 && !fvModelEffects.empty()) {
    const std::size_t nEffects = fvModelEffects.size();
    if (fvEffectStarts.size() != nEffects || fvEffectSizes.size() != nEffects) return InvalidState();
    for (std::size_t e = 0; e < nEffects; ++e) {
      const long long first = fvEffectStarts[e];
      const long long count = fvEffectSizes[e];
      if (first < 0 || count < 0 || first + count > fP) return InvalidState();
    }
  }
  return QXStatus();
}

void QXEffectTestData::BuildEstimableFunction() {
  // Column c for each non-redundant parameter: 1 at c, 0 at the other non-redundant parameters, and at
  // each aliased parameter the coefficient of c in that aliased column.
  const QXSweptColumns& sweep = GetIndexOrderSweep();
  fpHMatrix = std::make_unique<QXRectMatrix>(fP, sweep.fKept.Count());
  int column = 0;
  for (int c = 0; c < fP; ++c) {
    if (!sweep.fKept.IsIn(c)) continue;
    fpHMatrix->SetElem(c, column, 1.0);
    for (std::size_t a = 0; a < sweep.fvAliased.size(); ++a)
      fpHMatrix->SetElem(sweep.fvAliased[a], column, sweep.fColumns.GetElem(c, static_cast<int>(a)));
    ++column;
  }
}

bool QXEffectTestData::CanUseFitSweep(const QXEffectSweep* fitSweep, const QXBitSet* nonRedundant) const {
  // The fit's sweep stands for ours only where ours would do the same: the same parameters and effect
  // ranges, the non-redundant set we would be given to sweep on, and the Type I hypotheses if needed.
  if (fitSweep == nullptr || nonRedundant == nullptr || !fitSweep->IsDone() ||
      fitSweep->GetNParameters() != fP || fitSweep->GetEffectStarts() != fvEffectStarts ||
      fitSweep->GetEffectSizes() != fvEffectSizes ||
      (fbKeepTypeIHypotheses && !fitSweep->HasTypeIHypotheses()) || nonRedundant->Size() != fP)
    return false;
  return fitSweep->GetIndexOrderSweep().fKept == *nonRedundant;
}

bool QXEffectTestData::SweepForHypotheses(const QXBitSet* allowed, const QXEffectSweep* fitSweep) {
  fpOwnSweep =
      std::make_unique<QXEffectSweep>(*fpSSCPMatrix, fP, fvEffectStarts, fvEffectSizes, fpProgress.get());
  if (CanUseFitSweep(fitSweep, allowed)) {
    fpIndexSweep = fitSweep;
  } else {
    // Members of a given set are the fit's decision: a different tolerance here must not put an aliased
    // parameter into a hypothesis or leave an estimated one out. They are tested only a thousand times
    // more loosely than the fit tested them, which a parameter the fit estimated passes whatever the
    // rounding, and a parameter given by mistake whose column is a combination of others does not.
    const double tolerance = allowed != nullptr ? fSweepTolerance * kLooserForGivenSet : fSweepTolerance;
    QXSweepMatrix work;
    const QXEffectSweep::Outcome outcome =
        fpOwnSweep->SweepForHypotheses(tolerance, allowed, fbKeepTypeIHypotheses, work);
    if (outcome == QXEffectSweep::Outcome::kNoMemory) throw std::bad_alloc();
    if (outcome != QXEffectSweep::Outcome::kDone) return false;
    fpIndexSweep = fpOwnSweep.get();
  }
  fNonRedundantSet = fpIndexSweep->GetIndexOrderSweep().fKept;
  fSweptSet = fNonRedundantSet;
  BuildEstimableFunction();
  // A double sweep's coefficients carry the rounding of X'WX times its condition: an element of a
  // hypothesis below that is not a parameter the hypothesis involves.
  constexpr double kUnitRoundoff = 1.1102230246251565e-16;
  const double condition = fpIndexSweep->GetCondition();
  fEliminationTolerance = fTolerance;
  if (fpIndexSweep->GetPrecision() == QXSweepMatrix::Precision::kDouble && std::isfinite(condition))
    fEliminationTolerance = std::max(fTolerance, 16.0 * kUnitRoundoff * condition);
  return true;
}

bool QXEffectTestData::SweepEffectsInOrder(const std::vector<int>& effects, QXSweptColumns& out) {
  QXSweepMatrix work;
  const QXEffectSweep::Outcome outcome =
      fpOwnSweep->SweepInOrder(effects, fSweepTolerance, nullptr, false, {}, work, out);
  if (outcome == QXEffectSweep::Outcome::kNoMemory) throw std::bad_alloc();
  return outcome == QXEffectSweep::Outcome::kDone;
}

void QXEffectTestData::CreateModelTests(const QXSymMatrix& covariance, const QXBitSet* nonRedundant) {
  fpCovariance = &covariance;
  fModelNonRedundant = nonRedundant != nullptr ? *nonRedundant : fSweptSet;
  fpModelTests = std::make_unique<QXModelTests>(fvEstimates, fModelNonRedundant, covariance, fDF, nullptr);
  fpModelTests->SetTestType(fpSettings->GetTestType());
  fpModelTests->SetConfidenceLevel(fConfidenceLevel);
  fpModelTests->SetWorkMonitor(fpProgress.get());
}

void QXEffectTestData::DecideSumsOfSquares(const QXEffectSweep& fitSweep, const QXSymMatrix& covariance,
                                           const QXSatterthwaite* satterthwaite) {
  fErrorVariance = 0.0;
  const bool onePredictor = fDistType != QXConst::QXDistNomMultinomial &&
                            fDistType != QXConst::QXDistOrdMultinomial && fNEstimates == fP;
  if (!onePredictor || satterthwaite != nullptr || fpSettings->GetTestType() != QXConst::QXTestWaldF ||
      !fitSweep.HasTypeISumsOfSquares())
    return;
  fErrorVariance = fitSweep.ErrorVarianceOf(covariance, fvEstimates);
}

bool QXEffectTestData::GetTypeIWaldForm(int e, int rows, double& w) const {
  if (!TypeIFromSumsOfSquares() || !UsedFitSweep() || e < 0 ||
      static_cast<std::size_t>(e) >= fpIndexSweep->GetTypeIParameters().size() ||
      fpIndexSweep->GetTypeIParameters()[e].size() != static_cast<std::size_t>(rows))
    return false;
  w = fpIndexSweep->GetTypeISumOfSquares(static_cast<std::size_t>(e)) / fErrorVariance;
  return std::isfinite(w);
}

bool QXEffectTestData::GetAdjustedWaldForm(int e, int rows, double& w) const {
  if (!(fErrorVariance > 0.0) || !UsedFitSweep() || e < 0) return false;
  // The last effect, swept after every other parameter the model estimates: its Type I sum of squares
  // is already adjusted for all the others (an interaction of every factor, the usual last term).
  const std::vector<std::vector<int>>& typeI = fpIndexSweep->GetTypeIParameters();
  if (e == GetNEffects() - 1 && typeI.size() == static_cast<std::size_t>(GetNEffects())) {
    std::size_t swept = 0;
    for (const std::vector<int>& parameters : typeI) swept += parameters.size();
    if (swept == static_cast<std::size_t>(fNonRedundantSet.Count())) {
      if (typeI[e].size() != static_cast<std::size_t>(rows)) return false;
      w = fpIndexSweep->GetTypeISumOfSquares(static_cast<std::size_t>(e)) / fErrorVariance;
      return std::isfinite(w);
    }
  }
  double without = 0.0;
  int rankWithout = 0;
  if (!fpIndexSweep->GetFitWithout(static_cast<std::size_t>(e), without, rankWithout) ||
      fNonRedundantSet.Count() - rankWithout != rows)
    return false;
  // Both residual sums of squares are accurate to about a unit of rounding of their own size; their
  // difference keeps 13 digits while it is at least 1e-3 of them. Below that (an effect that explains
  // next to nothing) the Wald form is formed instead.
  constexpr double kSmallestShare = 1e-3;
  const double ss = without - fpIndexSweep->GetResidualSS();
  if (!(ss >= kSmallestShare * without)) return false;
  w = ss / fErrorVariance;
  return std::isfinite(w);
}

bool QXEffectTestData::GetEffectRange(int e, int& first, int& count) const {
  if (e < 0 || e >= GetNEffects() || static_cast<std::size_t>(e) >= fvEffectStarts.size() ||
      static_cast<std::size_t>(e) >= fvEffectSizes.size())
    return false;
  first = fvEffectStarts[e];
  count = fvEffectSizes[e];
  return first >= 0 && count >= 0 && static_cast<long long>(first) + count <= fP;
}

bool QXEffectTestData::GetTypeIHypotheses(int e, const QXRectMatrix*& columns,
                                          const std::vector<int>*& parameters) const {
  if (fpIndexSweep == nullptr || !fpIndexSweep->HasTypeIHypotheses() || e < 0 ||
      static_cast<std::size_t>(e) >= fpIndexSweep->GetTypeIColumns().size())
    return false;
  columns = &fpIndexSweep->GetTypeIColumns()[e];
  parameters = &fpIndexSweep->GetTypeIParameters()[e];
  return true;
}

bool QXEffectTestData::ExpandForDistribution(QXRectMatrix& L) const {
  if (fDistType == QXConst::QXDistNomMultinomial) return L.CreateBlockDiagonal(fK - 1);
  if (fDistType == QXConst::QXDistOrdMultinomial) return L.ShiftColumns(fK - 2);
  return true;
}

bool QXEffectTestData::InvertOffsetScale(const QXRectMatrix& T, QXRectMatrix& inverse) {
  const int n = T.GetNRows();
  if (T.GetNCols() != n) return false;
  QXRectMatrix result(n, n);
  for (int j = 0; j < n; ++j) {
    const double scale = T.GetElem(j, j);
    if (scale == 0.0) continue;
    result.SetElem(j, j, 1.0 / scale);
    if (j >= 1) result.SetElem(0, j, -T.GetElem(0, j) / scale);
  }
  inverse = std::move(result);
  return true;
}

double QXEffectTestData::DenominatorDF(const QXRectMatrix& L) const {
  if (fpSatterthwaite == nullptr) return fDF;
  const double df = fpSatterthwaite->ComputeDF4FixedOverall(L);
  return QXMV::IsMissing(df) ? fDF : df;
}

void QXEffectTestData::Display() const {
  using namespace QXDisplay_600;
  const auto displayRect = [](std::string_view name, const std::unique_ptr<QXRectMatrix>& m) {
    if (!m) return DisplayText(1, std::string(name) + " is 0");
    DisplayText(1, name);
    m->Display();
  };
  const auto displaySym = [](std::string_view name, const QXSymMatrix* m) {
    if (m == nullptr) return DisplayText(1, std::string(name) + " is 0");
    DisplayText(1, name);
    m->Display();
  };
  DisplayText(1, " ");
  DisplayText(1, "QXEffectTestData display start");
  DisplayI("Number of model effects", GetNEffects());
  for (const QXModelEffect& effect : fvModelEffects) effect.Display();
  DisplayIV("fvEffectStarts", fvEffectStarts);
  DisplayIV("fvEffectSizes", fvEffectSizes);
  DisplayDV("fvEstimates", fvEstimates);
  DisplayText(1, fpSettings != nullptr ? "fpSettings is set" : "fpSettings is 0");
  DisplayD("fTolerance", fTolerance);
  DisplayB("fbInterceptUsed", fbInterceptUsed);
  displayRect("fpHMatrix", fpHMatrix);
  displaySym("fpSSCPMatrix", fpSSCPMatrix.get());
  DisplayDV("fvDiagonal", fvDiagonal);
  displaySym("fpCovariance", fpCovariance);
  DisplayD("fConfidenceLevel", fConfidenceLevel);
  if (fpModelTests)
    fpModelTests->Display();
  else
    DisplayText(1, "fpModelTests is 0");
  displayRect("fpLMatrix", fpLMatrix);
  DisplayC("fDistType", fDistType);
  DisplayI("fNEstimates", fNEstimates);
  DisplayI("fP", fP);
  DisplayI("fK", fK);
  DisplayText(1, "fSweptSet");
  fSweptSet.Display();
  DisplayText(1, "fNonRedundantSet");
  fNonRedundantSet.Display();
  DisplayS("fStatus", fStatus.GetMessage());
  displayRect("fpBackTransformedL", fpBackTransformedL);
  DisplayD("fDF", fDF);
  if (fpSatterthwaite != nullptr)
    fpSatterthwaite->Display();
  else
    DisplayText(1, "fpSatterthwaite is 0");
  DisplayDV("fvScaleOffsets", fvScaleOffsets);
  DisplayDV("fvScaleFactors", fvScaleFactors);
  DisplayB("fbKeepTypeIHypotheses", fbKeepTypeIHypotheses);
  DisplayD("fSweepTolerance", fSweepTolerance);
  DisplayD("fEliminationTolerance", fEliminationTolerance);
  DisplayI("Number of effects with Type I hypotheses",
           fpIndexSweep != nullptr ? static_cast<int>(fpIndexSweep->GetTypeIColumns().size()) : 0);
  DisplayB("The fit's sweep read", UsedFitSweep());
  DisplayD("Error variance of the sums of squares", fErrorVariance);
  DisplayDV("fvUnexplained", GetUnexplainedShares());
  DisplayText(1, "fModelNonRedundant");
  fModelNonRedundant.Display();
  DisplayText(1, "QXEffectTestData display end");
}

}  // namespace QXMath_600
