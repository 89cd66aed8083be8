#include "common/QXPackedInt.h"

#include "common/QXDisplay.h"

namespace QXMath_600 {

namespace {

// Packed words hold values 0 .. 2^31 - 1, so a word's radix product may reach 2^31.
constexpr std::int64_t kWordRange = std::int64_t{1} << 31;

}  // namespace

bool QXPackedInt::SetBounds(const std::vector<int>& bounds) {
  for (int b : bounds)
    if (b < 0) return false;
  fvBounds = bounds;
  fvRadix.clear();
  fvWordStart.assign(1, 0);
  fvWordRange.clear();
  std::int64_t range = 1;
  for (std::size_t i = 0; i < bounds.size(); ++i) {
    const std::int64_t radix = std::int64_t{bounds[i]} + 1;
    fvRadix.push_back(radix);
    if (i > 0 && range * radix > kWordRange) {
      fvWordStart.push_back(static_cast<int>(i));
      fvWordRange.push_back(range);
      range = 1;
    }
    range *= radix;
  }
  if (!bounds.empty()) {
    fvWordStart.push_back(static_cast<int>(bounds.size()));
    fvWordRange.push_back(range);
  }
  return true;
}

bool QXPackedInt::ValuesFit(const int* values) const {
  for (int i = 0; i < GetNValues(); ++i)
    if (values[i] < 0 || values[i] > fvBounds[static_cast<std::size_t>(i)]) return false;
  return true;
}

bool QXPackedInt::WordsValid(const int* packed) const {
  for (int w = 0; w < GetPackedLength(); ++w)
    if (packed[w] < 0 || packed[w] >= fvWordRange[static_cast<std::size_t>(w)]) return false;
  return true;
}

bool QXPackedInt::Pack(const int* values, int* packed) const {
  if (GetNValues() == 0) return true;
  if (values == nullptr || packed == nullptr || !ValuesFit(values)) return false;
  for (int w = 0; w < GetPackedLength(); ++w) {
    std::int64_t word = 0;
    for (int i = fvWordStart[static_cast<std::size_t>(w)]; i < fvWordStart[static_cast<std::size_t>(w) + 1];
         ++i)
      word = word * fvRadix[static_cast<std::size_t>(i)] + values[i];
    packed[w] = static_cast<int>(word);
  }
  return true;
}

bool QXPackedInt::Pack(const std::vector<int>& values, std::vector<int>& packed) const {
  if (static_cast<int>(values.size()) != GetNValues() || !ValuesFit(values.data())) return false;
  packed.resize(static_cast<std::size_t>(GetPackedLength()));
  return Pack(values.data(), packed.data());
}

bool QXPackedInt::Unpack(const int* packed, int* values) const {
  if (GetNValues() == 0) return true;
  if (values == nullptr || packed == nullptr || !WordsValid(packed)) return false;
  for (int w = 0; w < GetPackedLength(); ++w) {
    std::int64_t word = packed[w];
    for (int i = fvWordStart[static_cast<std::size_t>(w) + 1] - 1;
         i >= fvWordStart[static_cast<std::size_t>(w)]; --i) {
      const std::int64_t radix = fvRadix[static_cast<std::size_t>(i)];
      values[i] = static_cast<int>(word % radix);
      word /= radix;
    }
  }
  return true;
}

bool QXPackedInt::Unpack(const std::vector<int>& packed, std::vector<int>& values) const {
  if (static_cast<int>(packed.size()) != GetPackedLength() || !WordsValid(packed.data())) return false;
  values.resize(static_cast<std::size_t>(GetNValues()));
  return Unpack(packed.data(), values.data());
}

void QXPackedInt::Display() const {
  QXDisplay_600::DisplayIV("Packed value bounds", fvBounds);
  QXDisplay_600::DisplayI("Packed length", GetPackedLength());
}

}  // namespace QXMath_600
