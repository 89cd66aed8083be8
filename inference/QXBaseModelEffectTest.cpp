#include "inference/QXBaseModelEffectTest.h"

#include "common/QXBitSet.h"
#include "common/QXDisplay.h"
#include "inference/QXEffectTestData.h"
#include "inference/QXTestStats.h"

namespace QXMath_600 {

using QXCommon_600::QXStatus;
using QXDisplay_600::DisplayB;
using QXDisplay_600::DisplayDV;
using QXDisplay_600::DisplayI;
using QXDisplay_600::DisplayText;

QXBaseModelEffectTest::QXBaseModelEffectTest() : fpModelTestStats(std::make_unique<QXModelTestStats>()) {}

QXBaseModelEffectTest::~QXBaseModelEffectTest() = default;

void QXBaseModelEffectTest::SetData(QXEffectTestData* data) {
  fpDataImpl = data;
  fpModelTestStats = std::make_unique<QXModelTestStats>();
  fbTested = false;
}

QXStatus QXBaseModelEffectTest::TestModelEffects() {
  if (fbTested) return fStatus;
  if (fpDataImpl == nullptr || !fpDataImpl->fpLMatrix || !fpDataImpl->fpModelTests || !fpDataImpl->fpHMatrix)
    return fStatus = QXStatus(303, false);
  fbTested = true;
  QXStatus status;
  if (fpDataImpl->fpHMatrix->GetNCols() == 0) status = QXStatus(323, true);
  for (int e = 0; e < fpDataImpl->GetNEffects() && !status.IsError(); ++e) {
    RecordEffect(e, status);
    // Between effects, and inside the inverse of a large hypothesis, which then leaves the entry
    // without statistics.
    if (fpDataImpl->fCancelInfo.WillCancel()) status = QXStatus(1, false);
  }
  return fStatus = status;
}

bool QXBaseModelEffectTest::CanBuild(int effect, int& first, int& count) const {
  return fpDataImpl != nullptr && fpDataImpl->fpSSCPMatrix && fpDataImpl->fpLMatrix &&
         fpDataImpl->GetEffectRange(effect, first, count);
}

void QXBaseModelEffectTest::RecordEffect(int e, QXStatus& loopStatus) {
  QXEffectTestData& data = *fpDataImpl;
  QXRectMatrix& L = *data.fpLMatrix;
  L.SetNRowsCols(0, data.fP);
  std::vector<int> rowIndices;
  QXStatus built = ComputeEffectLMatrix(e, rowIndices);
  if (built.IsOK() && !data.ExpandForDistribution(L)) built = QXStatus(303, false);
  if (!built.IsOK()) {
    QXTestStats untested;
    untested.SetTestType(QXConst::QXTestWaldF);
    fpModelTestStats->AddTestStatsAndLMatrixAndStatus(&untested, L, built);
    fpModelTestStats->AddRowIndices(rowIndices);
    loopStatus = built;
    return;
  }
  QXRectMatrix fullRank;
  QXBitSet kept;
  L.ExtractFullRank(data.fTolerance, fullRank, kept);
  double form = 0.0;
  if (KnownWaldForm(e, fullRank.GetNRows(), form)) {
    data.fpModelTests->ComputeModelTestOfForm(fullRank, form, *fpModelTestStats);
    ++data.fnFormsRead;
    fpModelTestStats->AddRowIndices(rowIndices);
    return;
  }
  // Each effect gets its own denominator df: one without a Satterthwaite value must not inherit the
  // previous effect's.
  if (data.fpSatterthwaite != nullptr) data.fpModelTests->SetDF(data.DenominatorDF(fullRank));
  // A pivot of this test's hypothesis matrix costs (rows / p)^2 of one of the sweep of X'WX.
  const double share = data.fP > 0 ? static_cast<double>(fullRank.GetNRows()) / data.fP : 0.0;
  if (data.fpProgress) data.fpProgress->SetPivotWeight(share * share);
  data.fpModelTests->ComputeModelTest(fullRank, loopStatus, *fpModelTestStats);
  if (data.fpProgress) data.fpProgress->SetPivotWeight(1.0);
  fpModelTestStats->AddRowIndices(rowIndices);
}

void QXBaseModelEffectTest::Display() const {
  DisplayText(1, " ");
  DisplayText(1, "QXBaseModelEffectTest display start");
  if (fpDataImpl != nullptr) {
    const QXEffectTestData& data = *fpDataImpl;
    DisplayText(1, "Model effects from the settings");
    for (int e = 0; e < data.GetNEffects(); ++e) {
      DisplayI("Effect index", e);
      data.fvModelEffects[e].Display();
    }
    DisplayB("Intercept used", data.fbInterceptUsed);
    if (data.fpHMatrix) {
      DisplayText(1, "The Hessian matrix");
      data.fpHMatrix->Display();
    } else {
      DisplayText(1, "fpDataImpl->fpHMatrix is 0");
    }
    if (data.fpLMatrix) {
      DisplayText(1, "The contrast L matrix");
      data.fpLMatrix->Display();
    } else {
      DisplayText(1, "fpDataImpl->fpLMatrix is 0");
    }
    if (data.fpSSCPMatrix) {
      DisplayText(1, "The original SSCP matrix X'*W*X");
      data.fpSSCPMatrix->Display();
    } else {
      DisplayText(1, "fpDataImpl->fpSSCPMatrix is 0");
    }
    DisplayDV("Diagonal of the original SSCP matrix", data.fvDiagonal);
  }
  DisplayText(1, "Model test statistics");
  fpModelTestStats->Display();
  DisplayText(1, "QXBaseModelEffectTest display end");
}

}  // namespace QXMath_600
