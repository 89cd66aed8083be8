#include "logistic/QXLogComponent.h"

#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"

namespace QXMath_600 {

using QXCommon_600::MultiPassRecordIter;
using QXCommon_600::QXStatus;

QXLogComponent::QXLogComponent(const QXLogRegSettings& settings)
    : fCompSettings(settings), fStatus(fCompSettings.IsValidSettings(false)) {
  if (!fStatus.IsError()) fpAlgorithm = std::make_unique<QXLogAlgorithm>(fCompSettings);
}

// The output statistics read the algorithm, so they go first.
QXLogComponent::~QXLogComponent() { fpOutputStats.reset(); }

QXStatus QXLogComponent::CreateParameters(MultiPassRecordIter& records,
                                          std::vector<QXRegrParameter>& parameters) {
  if (fStatus.IsError()) return fStatus;
  const QXStatus status = fpAlgorithm->CreateParameters(records, parameters);
  if (!status.IsOK()) fStatus = status;
  return status;
}

QXStatus QXLogComponent::BuildModel(MultiPassRecordIter& records) {
  if (fStatus.IsError()) return fStatus;
  QXStatus status;
  if (!fpAlgorithm->AreParametersCreated()) {
    std::vector<QXRegrParameter> scratch;
    status = fpAlgorithm->CreateParameters(records, scratch);
  }
  if (!status.IsError())
    status = fpAlgorithm->IsModelBuilt() ? QXStatus(310, false) : fpAlgorithm->BuildModel(records);
  if (!status.IsOK()) fStatus = status;
  return status;
}

bool QXLogComponent::IsModelBuilt() const { return !fStatus.IsError() && fpAlgorithm->IsModelBuilt(); }

QXStatus QXLogComponent::GetOutputStats(IQXRegOutputStats*& stats) {
  if (fStatus.IsError()) return fStatus;
  if (!fpAlgorithm->IsModelBuilt()) return QXStatus(310, false);
  if (!fpOutputStats) fpOutputStats = std::make_unique<QXLogOutputStats>(fCompSettings, *fpAlgorithm);
  stats = fpOutputStats.get();
  return fStatus;
}

QXStatus QXLogComponent::Score(const QXCommon_600::Record& record, double& predicted,
                               std::vector<double>& probabilities) {
  predicted = QXMV::gMissingValue;
  if (fStatus.IsError()) return fStatus;
  return fpAlgorithm->Score(record, predicted, probabilities);
}

void QXLogComponent::Cancel() {
  if (fpAlgorithm) fpAlgorithm->Cancel();
}

std::vector<QXStatus> QXLogComponent::GetWarnings() const {
  if (!fpAlgorithm) return {};
  return fpAlgorithm->GetWarnings();
}

void QXLogComponent::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXLogComponent display start");
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
  DisplayText(1, "QXLogComponent display end");
}

}  // namespace QXMath_600
