#include "common/QXHashKey.h"

#include <algorithm>
#include <cstdint>

#include "common/QXDisplay.h"

namespace QXMath_600 {

QXHashKey::QXHashKey(int length) : fvValues(length > 0 ? static_cast<std::size_t>(length) : 0, 0) {}

QXHashKey::QXHashKey(const int* values, int length) {
  if (values != nullptr && length > 0) fvValues.assign(values, values + length);
}

int QXHashKey::GetValue(int i) const { return i >= 0 && i < GetLength() ? (*this)[i] : 0; }

bool QXHashKey::SetValue(int i, int value) {
  if (i < 0 || i >= GetLength()) return false;
  (*this)[i] = value;
  return true;
}

bool QXHashKey::SetValues(const int* values, int length) {
  if (length != GetLength() || (values == nullptr && length > 0)) return false;
  std::copy(values, values + length, fvValues.begin());
  return true;
}

// Level values are small and clustered (0, 1, 2, ...), and the tables take the code modulo their
// bucket count, so every bit of every value must reach the low bits: each value is mixed in with a
// multiply-rotate step and the result passes the MurmurHash3 finaliser. All arithmetic is unsigned
// (no signed overflow for any values), and the top bit is cleared so the code is never negative.
int QXHashKey::ComputeHashCode() const {
  std::uint32_t h = 0x9E3779B9u ^ static_cast<std::uint32_t>(fvValues.size());
  for (int v : fvValues) {
    h ^= static_cast<std::uint32_t>(v) * 0xCC9E2D51u;
    h = (h << 13) | (h >> 19);
    h = h * 5u + 0xE6546B64u;
  }
  h ^= h >> 16;
  h *= 0x85EBCA6Bu;
  h ^= h >> 13;
  h *= 0xC2B2AE35u;
  h ^= h >> 16;
  return static_cast<int>(h & 0x7FFFFFFFu);
}

void QXHashKey::Display() const {
  QXDisplay_600::DisplayIV("Key values", fvValues);
  QXDisplay_600::DisplayI("Key hash code", fHashCode);
}

}  // namespace QXMath_600
