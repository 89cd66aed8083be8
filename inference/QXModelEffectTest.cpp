#include "inference/QXModelEffectTest.h"

#include "common/QXDisplay.h"
#include "inference/QXModelEffectTestTypeI.h"
#include "inference/QXModelEffectTestTypeIII.h"
#include "records/QXWorkProgress.h"

namespace QXMath_600 {

using QXCommon_600::QXStatus;
using QXDisplay_600::DisplayI;
using QXDisplay_600::DisplayText;

QXModelEffectTest::QXModelEffectTest(const QXRegSettings& settings, const std::vector<QXModelEffect>& effects,
                                     const std::vector<double>& estimates,
                                     const std::vector<int>& effectStarts,
                                     const std::vector<int>& effectSizes,
                                     QXConst::QXEffectAnalysisType analysisType,
                                     const QXSymMatrix* covariance, const QXSymMatrix* xPrimeWX,
                                     const QXBitSet* nonRedundant, QXConst::DistType distType,
                                     int nCategories, const QXBitSet* altNonRedundant, double df,
                                     QXSatterthwaite* satterthwaite, const QXEffectSweep* fitSweep)
    : fSettings(settings), fAnalysisType(analysisType) {
  switch (analysisType) {
    case QXConst::QXEffectTypeI: fvTests.push_back(std::make_unique<QXModelEffectTestTypeI>()); break;
    case QXConst::QXEffectTypeIII: fvTests.push_back(std::make_unique<QXModelEffectTestTypeIII>()); break;
    case QXConst::QXEffectTypeIAndIII:
      fvTests.push_back(std::make_unique<QXModelEffectTestTypeIII>());
      fvTests.push_back(std::make_unique<QXModelEffectTestTypeI>());
      break;
    case QXConst::QXEffectNone: break;
    default: fStatus = QXStatus(303, false);
  }
  fpDataImpl = std::make_unique<QXEffectTestData>(settings, effects, estimates, effectStarts, effectSizes,
                                                  distType, nCategories, df);
  QXEffectTestData& data = *fpDataImpl;
  if (!fStatus.IsError()) fStatus = data.fStatus;
  // The multinomial layouts repeat one linear predictor's parameters, whose redundancy is the
  // alternative set.
  const bool multinomial =
      distType == QXConst::QXDistOrdMultinomial || distType == QXConst::QXDistNomMultinomial;
  const QXBitSet* oneLinearPredictor = multinomial ? altNonRedundant : nonRedundant;
  data.fbKeepTypeIHypotheses =
      analysisType == QXConst::QXEffectTypeI || analysisType == QXConst::QXEffectTypeIAndIII;
  const bool sweeps = !data.CanUseFitSweep(fitSweep, oneLinearPredictor);
  if (!sweeps && covariance != nullptr && !fStatus.IsError())
    data.DecideSumsOfSquares(*fitSweep, *covariance, satterthwaite);
  // Type I tests read from the sums of squares invert no hypothesis.
  const std::size_t formingTests = fvTests.size() - (data.TypeIFromSumsOfSquares() ? 1 : 0);
  data.fpProgress =
      std::make_unique<QXWorkProgress>(data.fCancelInfo, settings.GetProgressListener(), "effect tests",
                                       EstimateWork(data, formingTests, oneLinearPredictor, sweeps));
  if (!fStatus.IsError()) {
    if (covariance != nullptr) data.fpSatterthwaite = satterthwaite;
    fStatus = data.SetUpCrossProducts(xPrimeWX, oneLinearPredictor, fitSweep);
    if (!fStatus.IsError() && covariance != nullptr) {
      if (data.fDF < 0.0) data.fDF = settings.GetDF();
      data.CreateModelTests(*covariance, nonRedundant);
    }
  }
  for (const auto& test : fvTests) test->SetData(fpDataImpl.get());
}

QXModelEffectTest::~QXModelEffectTest() = default;

bool QXModelEffectTest::ReadsFitSweep() const { return fpDataImpl->UsedFitSweep(); }

bool QXModelEffectTest::ReadsTypeISumsOfSquares() const { return fpDataImpl->TypeIFromSumsOfSquares(); }

int QXModelEffectTest::GetNTestsFromSumsOfSquares() const { return fpDataImpl->fnFormsRead; }

double QXModelEffectTest::EstimateWork(const QXEffectTestData& data, std::size_t nTests,
                                       const QXBitSet* nonRedundant, bool sweeps) {
  // In pivots of X'WX: its one sweep (unless the fit's is read), then per test object one generalized
  // inverse of each effect's hypothesis, whose pivots cost (rows / p)^2 of those. A hypothesis has at
  // most one row per non-redundant parameter of its effect.
  const double p = data.fP;
  if (p <= 0.0) return 0.0;
  const bool counted = nonRedundant != nullptr && nonRedundant->Size() == data.fP;
  double tests = 0.0;
  for (std::size_t e = 0; e < data.fvEffectSizes.size(); ++e) {
    const int size = data.fvEffectSizes[e];
    const int first = e < data.fvEffectStarts.size() ? data.fvEffectStarts[e] : -1;
    double rows = size;
    if (counted && size > 0 && first >= 0 && static_cast<long long>(first) + size <= data.fP)
      rows = nonRedundant->InRange(first, first + size - 1);
    if (rows > 0) tests += rows * rows * rows / (p * p);
  }
  return (sweeps ? p : 0.0) + static_cast<double>(nTests) * tests;
}

QXStatus QXModelEffectTest::TestModelEffect() {
  if (fStatus.IsError()) return fStatus;
  for (const auto& test : fvTests) {
    fStatus = test->TestModelEffects();
    if (fStatus.GetErrorCode() == 1) break;  // cancelled
  }
  if (!fStatus.IsError()) fpDataImpl->fpProgress->Finish();
  if (fAnalysisType == QXConst::QXEffectTypeI) {
    fpTypeITestStats = fvTests[0]->GetModelTestStats();
  } else if (fAnalysisType == QXConst::QXEffectTypeIII) {
    fpTypeIIITestStats = fvTests[0]->GetModelTestStats();
  } else if (fAnalysisType == QXConst::QXEffectTypeIAndIII) {
    fpTypeIIITestStats = fvTests[0]->GetModelTestStats();
    fpTypeITestStats = fvTests[1]->GetModelTestStats();
  }
  return fStatus;
}

const QXModelTestStats* QXModelEffectTest::GetCorrectedModelTestStats(const QXRectMatrix* T) {
  if (fpCorrectedTestStats) return fpCorrectedTestStats.get();
  QXEffectTestData& data = *fpDataImpl;
  if (fStatus.IsError() || !data.fpHMatrix || !data.fpLMatrix || !data.fpModelTests) return nullptr;
  // A transformed H serves this test only; the general estimable function stays that of the model.
  QXRectMatrix H = *data.fpHMatrix;
  if (T != nullptr) {
    QXRectMatrix inverse, product;
    if (!QXEffectTestData::InvertOffsetScale(*T, inverse) || !T->ComputeMatrixProduct(H, product) ||
        !product.ComputeMatrixProduct(inverse, H))
      return nullptr;
  }
  const int skip = data.fbInterceptUsed && H.GetNCols() > 0 ? 1 : 0;
  QXRectMatrix& L = *data.fpLMatrix;
  L.SetNRowsCols(H.GetNCols() - skip, H.GetNRows());
  for (int j = skip; j < H.GetNCols(); ++j) L.CopyColToRow(H, j, j - skip);
  if (!data.ExpandForDistribution(L)) return nullptr;
  QXRectMatrix fullRank;
  QXBitSet kept;
  L.ExtractFullRank(data.fTolerance, fullRank, kept);
  if (data.fpSatterthwaite != nullptr) data.fpModelTests->SetDF(data.DenominatorDF(fullRank));
  auto stats = std::make_unique<QXModelTestStats>();
  if (data.fpModelTests->ComputeModelTest(fullRank, QXStatus(), *stats).IsError()) return nullptr;
  fpCorrectedTestStats = std::move(stats);
  return fpCorrectedTestStats.get();
}

QXStatus QXModelEffectTest::GetGeneralEstimableFunction(const QXRectMatrix*& L,
                                                        std::vector<int>& rowIndices) {
  QXEffectTestData& data = *fpDataImpl;
  if (!data.fpHMatrix || !data.fpLMatrix) return QXStatus(303, false);
  data.fpHMatrix->Transpose(*data.fpLMatrix);
  L = data.fpLMatrix.get();
  rowIndices.clear();
  for (int k = 0; k < data.fNonRedundantSet.Size(); ++k)
    if (data.fNonRedundantSet.IsIn(k)) rowIndices.push_back(k + 1);
  return data.fpHMatrix->GetNCols() == 0 ? QXStatus(323, true) : QXStatus();
}

const QXRectMatrix* QXModelEffectTest::ComputeLMatrix(int effect) {
  if (fStatus.IsError() || fvTests.empty()) return nullptr;
  QXEffectTestData& data = *fpDataImpl;
  data.fpLMatrix->SetNRowsCols(0, data.fP);
  std::vector<int> rowIndices;
  if (fvTests[0]->ComputeEffectLMatrix(effect, rowIndices).IsError()) return nullptr;
  return data.fpLMatrix.get();
}

bool QXModelEffectTest::GetLMatrix(int effect, const QXRectMatrix*& L, QXConst::QXEffectAnalysisType type,
                                   const QXRectMatrix* T) {
  L = nullptr;
  const QXModelTestStats* stats = nullptr;
  if (type == QXConst::QXEffectTypeIII)
    stats = fpTypeIIITestStats;
  else if (type == QXConst::QXEffectTypeI)
    stats = fpTypeITestStats;
  else
    return false;
  if (stats == nullptr) return true;
  L = stats->GetLMatrix(effect);
  if (type == QXConst::QXEffectTypeIII || T == nullptr || L == nullptr) return true;

  int first = 0, count = 0;
  QXRectMatrix inverse;
  if (!fpDataImpl->GetEffectRange(effect, first, count) ||
      !QXEffectTestData::InvertOffsetScale(*T, inverse) || first + L->GetNRows() > T->GetNRows())
    return false;
  QXRectMatrix scaled = *L;
  std::vector<double> row;
  for (int i = 0; i < scaled.GetNRows(); ++i) {
    const double factor = T->GetElem(first + i, first + i);
    scaled.GetRow(i, row);
    for (double& x : row) x *= factor;
    scaled.SetRow(i, row);
  }
  auto result = std::make_unique<QXRectMatrix>();
  if (!scaled.ComputeMatrixProduct(inverse, *result)) return false;
  fpDataImpl->fpBackTransformedL = std::move(result);
  L = fpDataImpl->fpBackTransformedL.get();
  return true;
}

void QXModelEffectTest::SetScaleValus(const std::vector<double>& offsets, const std::vector<double>& scales) {
  fpDataImpl->fvScaleOffsets = offsets;
  fpDataImpl->fvScaleFactors = scales;
}

void QXModelEffectTest::Display() const {
  DisplayText(1, " ");
  DisplayText(1, "QXModelEffectTest display start");
  for (std::size_t i = 0; i < fvTests.size(); ++i) {
    DisplayI("Test of Model Effect index", static_cast<long long>(i));
    if (fvTests.size() == 2)
      DisplayText(1, i == 0 ? "The type III test is displayed" : "The type I test is displayed");
    fvTests[i]->Display();
  }
  if (fpCorrectedTestStats) {
    DisplayText(1, "The corrected model is displayed");
    fpCorrectedTestStats->Display();
    DisplayText(1, "The corrected model display end");
  }
  DisplayText(1, "QXModelEffectTest display end");
}

}  // namespace QXMath_600
