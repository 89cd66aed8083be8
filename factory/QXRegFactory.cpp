#include "factory/QXRegFactory.h"

#include "linear/QXGLMComponent.h"

namespace QXMath_600 {

IQXRegComponent* QXRegFactory::CreateRegAlgorithm(QXRegSettings& settings) {
  fStatus = settings.IsValidSettings(false);
  if (fStatus.IsError()) return nullptr;
  switch (settings.GetModelType()) {
    case QXConst::QXRegModelGLM: return new QXGLMComponent(settings);
    case QXConst::QXRegModelLogistic: fStatus = QXCommon_600::QXStatus(303, false); return nullptr;
    default: return nullptr;
  }
}

}  // namespace QXMath_600
