#include "logistic/IQXDataHandler.h"

namespace QXMath_600 {

IQXDataHandler::~IQXDataHandler() = default;

}  // namespace QXMath_600
