// What a caller does with a model of any family: build it from a multi-pass record iterator, read its
// results, score records, cancel a running build. The factory creates a component from validated
// settings; the caller owns it and deletes it through this interface. Errors stick: once a component
// holds an error status every operation returns that status without doing any work.
#pragma once

#include <vector>

#include "common/QXExport.h"
#include "common/QXStatus.h"
#include "common/Record.h"
#include "common/RecordIterator.h"
#include "settings/QXConst.h"
#include "settings/QXRegSettings.h"
#include "settings/QXRegrParameter.h"

namespace QXMath_600 {

class IQXRegOutputStats;

class QXREGRES_API IQXRegComponent {
 public:
  virtual ~IQXRegComponent();

  virtual QXConst::QXRegModelType GetModelType() const = 0;
  // The data pass and the numbering of the parameters, without fitting.
  virtual QXCommon_600::QXStatus CreateParameters(QXCommon_600::MultiPassRecordIter& records,
                                                  std::vector<QXRegrParameter>& parameters) = 0;
  // Every pass the model needs (including the data pass when CreateParameters was not called).
  virtual QXCommon_600::QXStatus BuildModel(QXCommon_600::MultiPassRecordIter& records) = 0;
  virtual bool IsModelBuilt() const = 0;
  // The results, owned by the component and valid as long as it lives.
  virtual QXCommon_600::QXStatus GetOutputStats(IQXRegOutputStats*& stats) = 0;
  virtual const QXRegSettings& GetCompSettings() const = 0;
  // The prediction for one record; models with a categorical dependent also give the category
  // probabilities.
  virtual QXCommon_600::QXStatus Score(const QXCommon_600::Record& record, double& predicted,
                                       std::vector<double>& probabilities) = 0;
  // Stops the running or next pass with status 1; may be called from another thread.
  virtual void Cancel() = 0;
  virtual QXCommon_600::QXStatus GetStatus() const = 0;
  virtual std::vector<QXCommon_600::QXStatus> GetWarnings() const = 0;
  virtual void Display() const = 0;
};

}  // namespace QXMath_600
