#include "logistic/QXBatchExp.h"

#include <cmath>

#if defined(QX_HAVE_LIBMVEC) && defined(__x86_64__) && defined(__GNUC__)
#define QX_VECTOR_EXP 1
#include <immintrin.h>
#endif

namespace QXMath_600 {

#ifdef QX_VECTOR_EXP
// The AVX2 entry of libmvec's exp (the x86-64 vector function ABI's name for exp over four doubles);
// declared and called only from code compiled for AVX2, and only on processors that have it.
#pragma GCC push_options
#pragma GCC target("avx2")
extern "C" __m256d _ZGVdN4v_exp(__m256d);

namespace {

void ExpOfAvx2(const double* in, double* out, std::size_t n) {
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) _mm256_storeu_pd(out + i, _ZGVdN4v_exp(_mm256_loadu_pd(in + i)));
  if (i == n) return;
  // The last one to three arguments go through the vector exp as well, padded with zeros.
  double tail[4] = {0.0, 0.0, 0.0, 0.0};
  for (std::size_t t = 0; i + t < n; ++t) tail[t] = in[i + t];
  _mm256_storeu_pd(tail, _ZGVdN4v_exp(_mm256_loadu_pd(tail)));
  for (std::size_t t = 0; i + t < n; ++t) out[i + t] = tail[t];
}

}  // namespace
#pragma GCC pop_options

bool ExpOfIsVectorized() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

void ExpOf(const double* in, double* out, std::size_t n) {
  if (ExpOfIsVectorized()) {
    ExpOfAvx2(in, out, n);
    return;
  }
  for (std::size_t i = 0; i < n; ++i) out[i] = std::exp(in[i]);
}

#else

bool ExpOfIsVectorized() { return false; }

void ExpOf(const double* in, double* out, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) out[i] = std::exp(in[i]);
}

#endif

}  // namespace QXMath_600
