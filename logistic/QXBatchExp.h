// e^x of many arguments at once, for the fitted probabilities of the logistic passes, where the
// exponentials are a large share of a row's cost. With glibc's vector math library (libmvec) and a
// processor that has AVX2, four arguments go through its vector exp at a time; otherwise each goes
// through std::exp. glibc gives its vector exp to within 4 units in the last place (std::exp to within
// one), so fits on processors with and without AVX2 may differ by rounding; every argument of one
// call goes through the same one, whatever its position. CMake's QX_VECTOR_EXP=OFF keeps std::exp.
#pragma once

#include <cstddef>

#include "common/QXExport.h"

namespace QXMath_600 {

// out[i] = e^in[i] for i in 0 .. n; in and out may be the same array.
QXREGRES_API void ExpOf(const double* in, double* out, std::size_t n);

// Whether ExpOf uses the vector exp on this build and processor.
QXREGRES_API bool ExpOfIsVectorized();

}  // namespace QXMath_600
