#include "logistic/IQXDataHandler.h"

namespace QXMath_600 {

IQXDataHandler::~IQXDataHandler() = default;

void IQXDataHandler::SetStatsModel(IQXAccumStats* accumulator, const IQXRegModel* model) {
  fpAccumulator = accumulator;
  fpModel = model;
}

void IQXDataHandler::ResetAccumStats(QXConst::QXHessianCompMethod method, bool separationCheck) {
  if (fpAccumulator != nullptr) fpAccumulator->Reset(method, separationCheck);
}

void IQXDataHandler::CleanStatsModel() {
  fpAccumulator = nullptr;
  fpModel = nullptr;
}

}  // namespace QXMath_600
