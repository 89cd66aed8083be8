#include "linear/QXGLMComponent.h"

#include "common/QXDisplay.h"

namespace QXMath_600 {

using QXCommon_600::MultiPassRecordIter;
using QXCommon_600::QXStatus;

QXGLMComponent::QXGLMComponent(const QXRegSettings& settings)
    : fCompSettings(settings), fStatus(fCompSettings.IsValidSettings(false)) {
  if (!fStatus.IsError()) fpAlgorithm = std::make_unique<QXGLMAlgorithm>(fCompSettings);
}

// The output statistics read the algorithm, so they go first.
QXGLMComponent::~QXGLMComponent() { fpOutputStats.reset(); }

QXStatus QXGLMComponent::CreateParameters(MultiPassRecordIter& records, std::vector<QXRegrParameter>&) {
  if (fStatus.IsError()) return fStatus;
  fStatus = fpAlgorithm->ProcessData(records);
  if (!fStatus.IsError()) fStatus = fpAlgorithm->CreateModelParameters();
  return fStatus;
}

QXStatus QXGLMComponent::BuildModel(MultiPassRecordIter& records) {
  if (fStatus.IsError()) return fStatus;
  if (!fpAlgorithm->IsParametersCreated()) {
    std::vector<QXRegrParameter> scratch;
    if (CreateParameters(records, scratch).IsError()) return fStatus;
  }
  if (fpAlgorithm->IsModelBuilt()) return fStatus = QXStatus(310, false);
  return fStatus = fpAlgorithm->BuildModel(records);
}

bool QXGLMComponent::IsModelBuilt() const { return !fStatus.IsError() && fpAlgorithm->IsModelBuilt(); }

QXStatus QXGLMComponent::GetOutputStats(IQXRegOutputStats*& stats) {
  if (fStatus.IsError()) return fStatus;
  if (!fpAlgorithm->IsModelBuilt()) return QXStatus(311, false);
  if (!fpOutputStats) fpOutputStats = std::make_unique<QXGLMOutputStats>(fCompSettings, *fpAlgorithm);
  stats = fpOutputStats.get();
  return fStatus;
}

QXStatus QXGLMComponent::Score(const QXCommon_600::Record& record, double& predicted, std::vector<double>&) {
  if (fStatus.IsError()) return fStatus;
  return fpAlgorithm->Score(record, predicted);
}

void QXGLMComponent::Cancel() {
  if (fpAlgorithm) fpAlgorithm->Cancel();
}

std::vector<QXStatus> QXGLMComponent::GetWarnings() const {
  if (!fpAlgorithm) return {};
  return fpAlgorithm->GetWarnings();
}

void QXGLMComponent::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXGLMComponent display start");
  DisplayText(1, "fCompSettings");
  fCompSettings.Display();
  if (fpAlgorithm) {
    DisplayText(1, "fpAlgorithm");
    fpAlgorithm->Display();
  } else {
    DisplayText(1, "fpAlgorithm is 0");
  }
  if (fpOutputStats) {
    DisplayText(1, "fpOutputStats");
    fpOutputStats->Display();
  } else {
    DisplayText(1, "fpOutputStats is 0");
  }
  DisplayText(1, "QXGLMComponent display end");
}

}  // namespace QXMath_600
