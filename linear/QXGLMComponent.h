// The general linear model behind the component interface: a copy of the caller's settings, the
// algorithm that fits them and, once the model is built, its output statistics. The factory creates
// it; a component made from invalid settings has no algorithm and answers every operation with the
// settings' error.
//
// Scoring before the model is built returns 311 (the component's own status is left as it is) and
// the system-missing value, rather than a success without a prediction: a caller testing only the
// status would otherwise read whatever its variable held before.
#pragma once

#include <memory>
#include <vector>

#include "common/QXExport.h"
#include "common/QXStatus.h"
#include "linear/QXGLMAlgorithm.h"
#include "linear/QXGLMOutputStats.h"
#include "model/IQXRegComponent.h"
#include "settings/QXRegSettings.h"

namespace QXMath_600 {

class QXREGRES_API QXGLMComponent : public IQXRegComponent {
 public:
  explicit QXGLMComponent(const QXRegSettings& settings);
  QXGLMComponent(const QXGLMComponent&) = delete;
  QXGLMComponent& operator=(const QXGLMComponent&) = delete;
  ~QXGLMComponent() override;

  QXConst::QXRegModelType GetModelType() const override { return QXConst::QXRegModelGLM; }
  // The data pass and the parameters. The vector is left untouched: the parameters are in the output
  // statistics once the model is built.
  QXCommon_600::QXStatus CreateParameters(QXCommon_600::MultiPassRecordIter& records,
                                          std::vector<QXRegrParameter>& parameters) override;
  // A second build gives 310, which then sticks.
  QXCommon_600::QXStatus BuildModel(QXCommon_600::MultiPassRecordIter& records) override;
  bool IsModelBuilt() const override;
  // 311 before the build (the stored status is unchanged); the same object on every later call.
  QXCommon_600::QXStatus GetOutputStats(IQXRegOutputStats*& stats) override;
  const QXRegSettings& GetCompSettings() const override { return fCompSettings; }
  // The prediction x'b into `predicted`; `probabilities` is not used by the linear model. The
  // component's status does not change.
  QXCommon_600::QXStatus Score(const QXCommon_600::Record& record, double& predicted,
                               std::vector<double>& probabilities) override;
  void Cancel() override;
  QXCommon_600::QXStatus GetStatus() const override { return fStatus; }
  std::vector<QXCommon_600::QXStatus> GetWarnings() const override;
  void Display() const override;

 private:
  QXRegSettings fCompSettings;
  std::unique_ptr<QXGLMAlgorithm> fpAlgorithm;
  std::unique_ptr<QXGLMOutputStats> fpOutputStats;
  QXCommon_600::QXStatus fStatus;
};

}  // namespace QXMath_600
