// Packs a sequence of small non-negative ints into as few ints as possible, so that a row pattern
// of several effect-local parameter indices becomes a short hash key. Value i of a sequence lies in
// 0..bound[i] (inclusive, so the bounds themselves can be packed); consecutive values share an int
// in mixed radix as long as the product of their ranges stays within 2^31. Packed words are never
// negative, and packing preserves order: comparing packed sequences lexicographically orders them
// as the unpacked sequences (first value most significant). Packing and unpacking allocate nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "common/QXExport.h"

namespace QXMath_600 {

class QXCOMMON_API QXPackedInt {
 public:
  // Sets the packer for sequences of bounds.size() values; refused (false, packer unchanged) when a
  // bound is negative.
  bool SetBounds(const std::vector<int>& bounds);

  int GetNValues() const { return static_cast<int>(fvBounds.size()); }
  int GetPackedLength() const { return static_cast<int>(fvWordStart.size()) - 1; }
  const std::vector<int>& GetBounds() const { return fvBounds; }

  // Packs GetNValues() values into GetPackedLength() ints. Refused (false, nothing written) when a
  // value lies outside 0..its bound or an array is null while values are expected.
  bool Pack(const int* values, int* packed) const;
  // The same, sizing `packed` to the packed length (no allocation once its capacity suffices).
  bool Pack(const std::vector<int>& values, std::vector<int>& packed) const;

  // Unpacks GetPackedLength() ints into GetNValues() values. Refused (false, nothing written) when a
  // word is not one that Pack can produce.
  bool Unpack(const int* packed, int* values) const;
  bool Unpack(const std::vector<int>& packed, std::vector<int>& values) const;

  void Display() const;

 private:
  bool ValuesFit(const int* values) const;
  bool WordsValid(const int* packed) const;

  std::vector<int> fvBounds;
  // Radix of each value (bound + 1), and per word the index of its first value (one extra entry
  // closing the last word) and the product of its radices.
  std::vector<std::int64_t> fvRadix;
  std::vector<int> fvWordStart{0};
  std::vector<std::int64_t> fvWordRange;
};

}  // namespace QXMath_600
