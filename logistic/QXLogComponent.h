// Multinomial logistic regression behind the component interface: a copy of the caller's settings,
// the algorithm that fits them and, once the model is built, its output statistics. The factory
// creates it for a QXLogRegSettings; a component made from invalid settings has no algorithm and
// answers every operation with the settings' error.
//
// A build that ends without convergence is still a built model, and says so twice: its status is the
// warning (337, discrete datum 0 = the convergence state) that GetWarnings also lists, and the output
// statistics give the state, the iterations and the log-likelihoods.
#pragma once

#include <memory>
#include <vector>

#include "common/QXExport.h"
#include "common/QXStatus.h"
#include "logistic/QXLogAlgorithm.h"
#include "logistic/QXLogOutputStats.h"
#include "model/IQXRegComponent.h"
#include "settings/QXLogRegSettings.h"

namespace QXMath_600 {

class QXREGRES_API QXLogComponent : public IQXRegComponent {
 public:
  explicit QXLogComponent(const QXLogRegSettings& settings);
  QXLogComponent(const QXLogComponent&) = delete;
  QXLogComponent& operator=(const QXLogComponent&) = delete;
  ~QXLogComponent() override;

  QXConst::QXRegModelType GetModelType() const override { return QXConst::QXRegModelLogistic; }
  // The data pass and the parameters, copied into `parameters` (all blocks).
  QXCommon_600::QXStatus CreateParameters(QXCommon_600::MultiPassRecordIter& records,
                                          std::vector<QXRegrParameter>& parameters) override;
  // A second build gives 310, which then sticks.
  QXCommon_600::QXStatus BuildModel(QXCommon_600::MultiPassRecordIter& records) override;
  bool IsModelBuilt() const override;
  // 310 before the build (the stored status is unchanged); the same object on every later call.
  QXCommon_600::QXStatus GetOutputStats(IQXRegOutputStats*& stats) override;
  const QXRegSettings& GetCompSettings() const override { return fCompSettings; }
  // The predicted category code as a double (-1 when the record's cells have no parameter) and the
  // probabilities of the categories in the order of the output statistics' GetDependCategories().
  // 311 before the build, with the system-missing prediction; the component's status does not
  // change.
  QXCommon_600::QXStatus Score(const QXCommon_600::Record& record, double& predicted,
                               std::vector<double>& probabilities) override;
  void Cancel() override;
  QXCommon_600::QXStatus GetStatus() const override { return fStatus; }
  std::vector<QXCommon_600::QXStatus> GetWarnings() const override;
  void Display() const override;

 private:
  QXLogRegSettings fCompSettings;
  std::unique_ptr<QXLogAlgorithm> fpAlgorithm;
  std::unique_ptr<QXLogOutputStats> fpOutputStats;
  QXCommon_600::QXStatus fStatus;
};

}  // namespace QXMath_600
