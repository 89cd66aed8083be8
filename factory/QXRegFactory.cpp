#include "factory/QXRegFactory.h"

#include "common/QXDisplay.h"
#include "linear/QXGLMComponent.h"
#include "logistic/QXLogComponent.h"
#include "settings/QXLogRegSettings.h"

namespace QXMath_600 {

IQXRegComponent* QXRegFactory::CreateRegAlgorithm(QXRegSettings& settings) {
  fStatus = settings.IsValidSettings(false);
  if (fStatus.IsError()) return nullptr;
  switch (settings.GetModelType()) {
    case QXConst::QXRegModelGLM: return new QXGLMComponent(settings);
    case QXConst::QXRegModelLogistic: {
      // Only logistic settings report this model type; a caller's own subclass that claims it without
      // being one has no categories or iteration settings to fit with.
      const auto* logistic = dynamic_cast<const QXLogRegSettings*>(&settings);
      if (logistic == nullptr) {
        fStatus = QXCommon_600::QXStatus(303, false);
        return nullptr;
      }
      return new QXLogComponent(*logistic);
    }
    default: return nullptr;
  }
}

void QXRegFactory::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXRegFactory display start");
  DisplayI("Status of the last creation", fStatus.GetErrorCode());
  DisplayS("Status message", fStatus.GetMessage());
  DisplayText(1, "QXRegFactory display end");
}

}  // namespace QXMath_600
