#include "common/QXBitSet.h"

#include <algorithm>
#include <bit>

#include "common/QXDisplay.h"

namespace QXMath_600 {

QXBitSet::QXBitSet(int size) { Resize(size < 0 ? 0 : size); }

bool QXBitSet::Resize(int size) {
  if (size < 0) return false;
  fvWords.resize((static_cast<std::size_t>(size) + kBits - 1) / kBits, 0);
  fSize = size;
  // Members at or above the new size must not reappear when the set grows again.
  if (size % kBits != 0) fvWords.back() &= (std::uint64_t{1} << (size % kBits)) - 1;
  return true;
}

bool QXBitSet::Set(int index, bool value) {
  if (index < 0 || index >= fSize) return false;
  const std::uint64_t mask = std::uint64_t{1} << (index % kBits);
  if (value)
    fvWords[index / kBits] |= mask;
  else
    fvWords[index / kBits] &= ~mask;
  return true;
}

bool QXBitSet::SetRange(int first, int last) {
  if (first > last) return true;
  if (first < 0 || last >= fSize) return false;
  for (int i = first; i <= last; ++i) fvWords[i / kBits] |= std::uint64_t{1} << (i % kBits);
  return true;
}

void QXBitSet::Clear() { std::fill(fvWords.begin(), fvWords.end(), 0); }

bool QXBitSet::IsIn(int index) const {
  if (index < 0 || index >= fSize) return false;
  return (fvWords[index / kBits] >> (index % kBits)) & 1u;
}

int QXBitSet::InRange(int first, int last) const {
  first = std::max(first, 0);
  last = std::min(last, fSize - 1);
  int count = 0;
  while (first <= last) {
    const int word = first / kBits;
    const int lo = first % kBits;
    const int hi = std::min(last - word * kBits, kBits - 1);
    std::uint64_t bits = fvWords[word] >> lo;
    const int width = hi - lo + 1;
    if (width < kBits) bits &= (std::uint64_t{1} << width) - 1;
    count += std::popcount(bits);
    first = (word + 1) * kBits;
  }
  return count;
}

int QXBitSet::Union(const QXBitSet& other) {
  const int before = Count();
  const std::size_t words = std::min(fvWords.size(), other.fvWords.size());
  for (std::size_t w = 0; w < words; ++w) fvWords[w] |= other.fvWords[w];
  if (fSize % kBits != 0 && !fvWords.empty()) fvWords.back() &= (std::uint64_t{1} << (fSize % kBits)) - 1;
  return Count() - before;
}

bool QXBitSet::operator==(const QXBitSet& other) const {
  return fSize == other.fSize && fvWords == other.fvWords;
}

void QXBitSet::Display() const {
  std::vector<int> members;
  for (int i = 0; i < fSize; ++i)
    if (IsIn(i)) members.push_back(i);
  QXDisplay_600::DisplayText(1, " ");
  QXDisplay_600::DisplayText(1, "QXBitSet display start");
  QXDisplay_600::DisplayI("Size", fSize);
  QXDisplay_600::DisplayIV("Members", members);
  QXDisplay_600::DisplayText(1, "QXBitSet display end");
}

}  // namespace QXMath_600
