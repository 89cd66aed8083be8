// Creates the component that fits a model from its settings: the settings are validated first, then
// the model type chooses the family. The caller owns the component and deletes it through
// IQXRegComponent; the factory keeps the status of its last creation.
#pragma once

#include "common/QXExport.h"
#include "common/QXStatus.h"
#include "model/IQXRegComponent.h"
#include "settings/QXRegSettings.h"

namespace QXMath_600 {

class QXREGRES_API QXRegFactory {
 public:
  QXRegFactory() = default;
  QXRegFactory(const QXRegFactory&) = default;
  QXRegFactory& operator=(const QXRegFactory&) = default;

  const QXCommon_600::QXStatus& GetStatus() const { return fStatus; }
  // A new component: a QXGLMComponent for QXRegSettings, a QXLogComponent for QXLogRegSettings. Null
  // for invalid settings (the status says why: 301, 302), for settings that report the logistic type
  // without being QXLogRegSettings (303), and for a model type no component fits (with a successful
  // status).
  IQXRegComponent* CreateRegAlgorithm(QXRegSettings& settings);

  void Display() const;

 private:
  QXCommon_600::QXStatus fStatus;
};

}  // namespace QXMath_600
