#include "common/QXHashKey.h"

#include <algorithm>

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

void QXHashKey::Display() const {
  QXDisplay_600::DisplayIV("Key values", fvValues);
  QXDisplay_600::DisplayI("Key hash code", fHashCode);
}

}  // namespace QXMath_600
