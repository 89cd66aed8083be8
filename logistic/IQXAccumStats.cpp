#include "logistic/IQXAccumStats.h"

namespace QXMath_600 {

IQXAccumStats::~IQXAccumStats() = default;

}  // namespace QXMath_600
