#include "inference/QXEffectTestData.h"

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
      fDF(df) {
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

QXStatus QXEffectTestData::SetUpCrossProducts(const QXSymMatrix* xPrimeWX, const QXBitSet* nonRedundant) {
  if (xPrimeWX == nullptr) return InvalidState();
  const int order = xPrimeWX->GetNRows();
  if (order != fP && order != fP + 1) return InvalidState();
  fpSSCPMatrix = std::make_unique<QXSymMatrix>();
  xPrimeWX->ExtractFirstNRows(fP, *fpSSCPMatrix);
  fpSSCPMatrix->GetDiagonal(fvDiagonal);

  // Without a given set the sweep decides redundancy with the tests' own tolerance; with one, only its
  // members are swept, so that an aliased parameter of the fit cannot enter a hypothesis here.
  QXSymMatrix work(*fpSSCPMatrix);
  fNonRedundantSet = QXBitSet(fP);
  for (int k = 0; k < fP; ++k)
    if (nonRedundant == nullptr || nonRedundant->IsIn(k))
      work.Sweep(k, fTolerance, fvDiagonal, fNonRedundantSet, false);
  fpHMatrix = std::make_unique<QXRectMatrix>(fP, 0);
  const int rank = fP > 0 ? work.ExtractH(0, fP - 1, fNonRedundantSet, *fpHMatrix) : 0;

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

void QXEffectTestData::CreateModelTests(const QXSymMatrix& covariance, const QXBitSet* nonRedundant) {
  fpCovariance = &covariance;
  fModelNonRedundant = nonRedundant != nullptr ? *nonRedundant : fSweptSet;
  fpModelTests = std::make_unique<QXModelTests>(fvEstimates, fModelNonRedundant, covariance, fDF, nullptr);
  fpModelTests->SetTestType(fpSettings->GetTestType());
  fpModelTests->SetConfidenceLevel(fConfidenceLevel);
}

bool QXEffectTestData::GetEffectRange(int e, int& first, int& count) const {
  if (e < 0 || e >= GetNEffects() || static_cast<std::size_t>(e) >= fvEffectStarts.size() ||
      static_cast<std::size_t>(e) >= fvEffectSizes.size())
    return false;
  first = fvEffectStarts[e];
  count = fvEffectSizes[e];
  return first >= 0 && count >= 0 && static_cast<long long>(first) + count <= fP;
}

int QXEffectTestData::SweepEffect(QXSymMatrix& m, int e, QXBitSet& swept) const {
  int first = 0, count = 0;
  if (!GetEffectRange(e, first, count)) return 0;
  int nSwept = 0;
  for (int k = first; k < first + count; ++k)
    if (!swept.IsIn(k) && m.Sweep(k, fTolerance, fvDiagonal, swept, false)) ++nSwept;
  return nSwept;
}

void QXEffectTestData::Unsweep(QXSymMatrix& m, QXBitSet& swept) const {
  // A pivot in the set is swept back: the reverse sweep restores the matrix it was swept from.
  for (int k = swept.Size() - 1; k >= 0; --k)
    if (swept.IsIn(k)) m.Sweep(k, fTolerance, fvDiagonal, swept, false);
}

void QXEffectTestData::PrepareTypeISweeps(int e) {
  if (!fpSSCPMatrix) return;
  if (fNTypeISweptEffects > e) {
    Unsweep(*fpSSCPMatrix, fSweptSet);
    fNTypeISweptEffects = 0;
  }
  for (; fNTypeISweptEffects < e; ++fNTypeISweptEffects)
    SweepEffect(*fpSSCPMatrix, fNTypeISweptEffects, fSweptSet);
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
  displayRect("fpRMatrix", fpRMatrix);
  displaySym("fpAMatrix", fpAMatrix.get());
  DisplayI("fNTypeISweptEffects", fNTypeISweptEffects);
  DisplayText(1, "fModelNonRedundant");
  fModelNonRedundant.Display();
  DisplayText(1, "QXEffectTestData display end");
}

}  // namespace QXMath_600
