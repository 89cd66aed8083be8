#include "logistic/IQXRegModel.h"

namespace QXMath_600 {

IQXRegModel::~IQXRegModel() = default;

}  // namespace QXMath_600
