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

QXStatus QXEffectTestData::SetUpCrossProducts(const QXSymMatrix* xPrimeWX, const QXBitSet* nonRedundant) {
  if (xPrimeWX == nullptr) return InvalidState();
  const int order = xPrimeWX->GetNRows();
  if (order != fP && order != fP + 1) return InvalidState();
  fpSSCPMatrix = std::make_unique<QXSymMatrix>();
  xPrimeWX->ExtractFirstNRows(fP, *fpSSCPMatrix);
  fpSSCPMatrix->GetDiagonal(fvDiagonal);

  if (!SweepForHypotheses(nonRedundant)) return QXStatus(1, false);
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

template <class AfterEffect>
bool QXEffectTestData::SweepEffects(const std::vector<int>& effects, const QXBitSet* allowed, bool finish,
                                    AfterEffect&& afterEffect, QXSweepMatrix& work, QXSweptColumns& out) {
  // Members of a given set are the fit's decision: a different tolerance here must not put an aliased
  // parameter into a hypothesis or leave an estimated one out. They are tested only a thousand times
  // more loosely than the fit tested them, which a parameter the fit estimated passes whatever the
  // rounding, and a parameter given by mistake whose column is a combination of others does not.
  const double tolerance = allowed != nullptr ? fSweepTolerance * kLooserForGivenSet : fSweepTolerance;
  for (auto precision = QXSweepMatrix::ChoosePrecision(fP);;
       precision = QXSweepMatrix::Precision::kExtended) {
    if (!work.Assign(*fpSSCPMatrix, fP, precision)) throw std::bad_alloc();
    out.fKept = QXBitSet(fP);
    const auto sweep = [&](int first, int last) {
      return work.SweepRange(first, last, tolerance, fvDiagonal, out.fKept, false, allowed,
                             fpProgress.get()) >= 0;
    };
    for (std::size_t position = 0; position < effects.size(); ++position) {
      const std::size_t e = static_cast<std::size_t>(effects[position]);
      const long long first = e < fvEffectStarts.size() ? fvEffectStarts[e] : -1;
      const long long count = e < fvEffectSizes.size() ? fvEffectSizes[e] : 0;
      if (first >= 0 && count > 0 && first + count <= fP &&
          !sweep(static_cast<int>(first), static_cast<int>(first + count - 1)))
        return false;
      afterEffect(position, work);
    }
    if (finish && fP > 0 && !sweep(0, fP - 1)) return false;
    if (work.IsAccurate(out.fKept)) break;
  }
  out.fvAliased.clear();
  for (int k = 0; k < fP; ++k)
    if (!out.fKept.IsIn(k)) out.fvAliased.push_back(k);
  out.fColumns = QXRectMatrix(fP, static_cast<int>(out.fvAliased.size()));
  for (std::size_t a = 0; a < out.fvAliased.size(); ++a)
    for (int i = 0; i < fP; ++i)
      out.fColumns.SetElem(i, static_cast<int>(a), work.GetElem(i, out.fvAliased[a]));
  if (work.GetPrecision() == QXSweepMatrix::Precision::kDouble) RefineAliasedColumns(work, out);
  return true;
}

void QXEffectTestData::RefineAliasedColumns(const QXSweepMatrix& work, QXSweptColumns& out) const {
  // The coefficients T that express the aliased columns through the kept ones solve X'WX_SS T = X'WX_SN.
  // A double sweep leaves them with rounding noise of the order of the condition times eps where they
  // are exactly 0 (a cell through the cells of other levels), and the eliminations of the Type III
  // hypotheses take noise above 1e-12 of a column for a real coefficient. One step of refinement,
  // residuals with exact products against X'WX, brings them to the digits of the double inverse times
  // eps: exact zeros come back as noise of about 1e-25.
  const int m = static_cast<int>(out.fvAliased.size());
  if (m == 0) return;
  const std::size_t n = static_cast<std::size_t>(fP);
  std::vector<double> T(n * m, 0.0), hi, lo, residual(n * m, 0.0), correction;
  for (int a = 0; a < m; ++a)
    for (int i = 0; i < fP; ++i)
      if (out.fKept.IsIn(i)) T[i + a * n] = out.fColumns.GetElem(i, a);
  fpSSCPMatrix->MultiplyExtended(out.fKept, T, hi, lo, m);
  for (int a = 0; a < m; ++a)
    for (int i = 0; i < fP; ++i) {
      if (!out.fKept.IsIn(i)) continue;
      double targetHi = 0.0, targetLo = 0.0;
      fpSSCPMatrix->GetElemExtended(i, out.fvAliased[a], targetHi, targetLo);
      const std::size_t at = i + a * n;
      residual[at] = (targetHi - hi[at]) + (targetLo - lo[at]);
    }
  // The swept block is minus the inverse.
  work.MultiplyRestricted(out.fKept, residual, correction, m);
  for (int a = 0; a < m; ++a)
    for (int i = 0; i < fP; ++i)
      if (out.fKept.IsIn(i)) out.fColumns.SetElem(i, a, T[i + a * n] - correction[i + a * n]);
}

void QXEffectTestData::BuildEstimableFunction() {
  // Column c for each non-redundant parameter: 1 at c, 0 at the other non-redundant parameters, and at
  // each aliased parameter the coefficient of c in that aliased column.
  const QXSweptColumns& sweep = fIndexOrderSweep;
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

void QXEffectTestData::CleanHypotheses(const std::vector<int>& parameters, QXRectMatrix& columns) const {
  // Column c holds, at a parameter j not swept yet, the coefficient of c when column j of the design is
  // regressed on the swept ones. Coefficients that the sweep's rounding made of an exact 0 (every one
  // at a cell that does not share a level with c, once an intercept has filled the matrix) would make
  // the hypothesis dense; judged in units of unit-length design columns, those below 1e-10 of the
  // column's largest are that rounding, and become 0 as Type III hypotheses clean theirs.
  constexpr double kRelativeNoise = 1e-10;
  for (int t = 0; t < columns.GetNCols() && t < static_cast<int>(parameters.size()); ++t) {
    const double dc = fvDiagonal[parameters[t]];
    if (!(dc > 0.0)) continue;
    double largest = 0.0;
    for (int j = 0; j < fP; ++j)
      if (fvDiagonal[j] > 0.0)
        largest = std::max(largest, std::fabs(columns.GetElem(j, t)) * std::sqrt(dc / fvDiagonal[j]));
    for (int j = 0; j < fP; ++j) {
      const double value = columns.GetElem(j, t);
      if (value != 0.0 && fvDiagonal[j] > 0.0 &&
          std::fabs(value) * std::sqrt(dc / fvDiagonal[j]) <= kRelativeNoise * largest)
        columns.SetElem(j, t, 0.0);
    }
  }
}

bool QXEffectTestData::SweepForHypotheses(const QXBitSet* allowed) {
  std::vector<int> order;
  for (std::size_t e = 0; e < fvEffectStarts.size() && e < fvEffectSizes.size(); ++e)
    order.push_back(static_cast<int>(e));
  // After each effect the swept matrix holds its Type I (sequential) hypotheses: the effect adjusted
  // for the effects before it. Parameters outside every range still belong to the model, so the sweep
  // ends on all of them.
  QXBitSet before(fP);
  const auto keepTypeI = [&](std::size_t e, const QXSweepMatrix& work) {
    const QXBitSet& kept = fIndexOrderSweep.fKept;
    if (!fbKeepTypeIHypotheses) return;
    const int first = fvEffectStarts[e], count = fvEffectSizes[e];
    std::vector<int> fresh;
    for (int k = first; k < first + count && first >= 0 && first + count <= fP; ++k)
      if (kept.IsIn(k) && !before.IsIn(k)) fresh.push_back(k);
    QXRectMatrix columns;
    if (!fresh.empty()) work.ExtractH(first, first + count - 1, kept, columns);
    CleanHypotheses(fresh, columns);
    fvTypeIColumns.push_back(std::move(columns));
    fvTypeIParameters.push_back(std::move(fresh));
    before = kept;
  };
  QXSweepMatrix work;
  fvTypeIColumns.clear();
  fvTypeIParameters.clear();
  // A repeated sweep (double precision was not enough) records the hypotheses again.
  const auto restart = [&](std::size_t position, const QXSweepMatrix& matrix) {
    if (position == 0) {
      fvTypeIColumns.clear();
      fvTypeIParameters.clear();
      before = QXBitSet(fP);
    }
    keepTypeI(position, matrix);
  };
  if (!SweepEffects(order, allowed, true, restart, work, fIndexOrderSweep)) return false;
  fNonRedundantSet = fIndexOrderSweep.fKept;
  fSweptSet = fNonRedundantSet;
  BuildEstimableFunction();
  // A double sweep's coefficients carry the rounding of X'WX times its condition: an element of a
  // hypothesis below that is not a parameter the hypothesis involves.
  constexpr double kUnitRoundoff = 1.1102230246251565e-16;
  const double condition = work.EstimateCondition(fNonRedundantSet);
  fEliminationTolerance = fTolerance;
  if (work.GetPrecision() == QXSweepMatrix::Precision::kDouble && std::isfinite(condition))
    fEliminationTolerance = std::max(fTolerance, 16.0 * kUnitRoundoff * condition);
  fvUnexplained.assign(static_cast<std::size_t>(fP), 0.0);
  for (int k = 0; k < fP; ++k) {
    // The swept diagonal is minus the inverse's.
    const double product = -work.GetElem(k, k) * fvDiagonal[k];
    if (fNonRedundantSet.IsIn(k) && product > 0.0) fvUnexplained[k] = 1.0 / product;
  }
  return true;
}

bool QXEffectTestData::SweepEffectsInOrder(const std::vector<int>& effects, QXSweptColumns& out) {
  QXSweepMatrix work;
  return SweepEffects(
      effects, nullptr, false, [](std::size_t, const QXSweepMatrix&) {}, work, out);
}

void QXEffectTestData::CreateModelTests(const QXSymMatrix& covariance, const QXBitSet* nonRedundant) {
  fpCovariance = &covariance;
  fModelNonRedundant = nonRedundant != nullptr ? *nonRedundant : fSweptSet;
  fpModelTests = std::make_unique<QXModelTests>(fvEstimates, fModelNonRedundant, covariance, fDF, nullptr);
  fpModelTests->SetTestType(fpSettings->GetTestType());
  fpModelTests->SetConfidenceLevel(fConfidenceLevel);
  fpModelTests->SetWorkMonitor(fpProgress.get());
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
  if (e < 0 || static_cast<std::size_t>(e) >= fvTypeIColumns.size()) return false;
  columns = &fvTypeIColumns[e];
  parameters = &fvTypeIParameters[e];
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
  DisplayI("Number of effects with Type I hypotheses", static_cast<int>(fvTypeIColumns.size()));
  DisplayDV("fvUnexplained", fvUnexplained);
  DisplayText(1, "fModelNonRedundant");
  fModelNonRedundant.Display();
  DisplayText(1, "QXEffectTestData display end");
}

}  // namespace QXMath_600
