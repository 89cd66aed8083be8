// Feeds the optimizer's passes: one call runs one pass over the data (the caller's records, or rows
// kept in memory), expands every usable row into a sparse design row through the model, and hands it
// to the accumulator. The optimizer lends the accumulator and the model for the duration of its fit.
#pragma once

#include <vector>

#include "common/QXExport.h"
#include "common/QXStatus.h"
#include "logistic/IQXAccumStats.h"
#include "logistic/IQXRegModel.h"
#include "settings/QXConst.h"

namespace QXMath_600 {

class QXREGRES_API IQXDataHandler {
 public:
  IQXDataHandler() = default;
  IQXDataHandler(const IQXDataHandler&) = delete;
  IQXDataHandler& operator=(const IQXDataHandler&) = delete;
  virtual ~IQXDataHandler();

  // Both are borrowed until CleanStatsModel. Every handler keeps them as these do.
  virtual void SetStatsModel(IQXAccumStats* accumulator, const IQXRegModel* model);
  // Starts the accumulator's next pass (nothing without one).
  virtual void ResetAccumStats(QXConst::QXHessianCompMethod method, bool separationCheck);
  virtual void CleanStatsModel();
  // One pass into the accumulator; with logLikelihoodOnly only the log-likelihood is formed.
  virtual QXCommon_600::QXStatus ComputeStatsForOptimizer(bool logLikelihoodOnly) = 0;
  virtual std::vector<QXCommon_600::QXStatus> GetWarnings() const = 0;
  virtual void Display() const = 0;

 protected:
  IQXAccumStats* fpAccumulator = nullptr;
  const IQXRegModel* fpModel = nullptr;
};

}  // namespace QXMath_600
