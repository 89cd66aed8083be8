#include "model/IQXRegOutputStats.h"

namespace QXMath_600 {

// Defined out of line so that the interface's type information lives in this library alone.
IQXRegOutputStats::~IQXRegOutputStats() = default;

}  // namespace QXMath_600
