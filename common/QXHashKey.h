// The key of the library's hash tables: a fixed-length list of int level values (one per factor of
// an effect, or a packed covariate pattern) with a cached hash code. Keys are written in place and
// looked up once per record, so a key is allocated once and then refilled; nothing here allocates
// after construction. Ordering is lexicographic with the first value most significant, which is the
// order in which the cells of an effect are numbered as parameters.
#pragma once

#include <cstdint>
#include <vector>

#include "common/QXExport.h"

namespace QXMath_600 {

class QXCOMMON_API QXHashKey {
 public:
  // A key of `length` zeros (a negative length gives an empty key).
  explicit QXHashKey(int length = 0);
  // A key holding the first `length` values of `values` (none when `values` is null).
  QXHashKey(const int* values, int length);

  int GetLength() const { return static_cast<int>(fvValues.size()); }

  // Unchecked access for the per-record loops: 0 <= i < GetLength().
  int& operator[](int i) { return fvValues[static_cast<unsigned>(i)]; }
  int operator[](int i) const { return fvValues[static_cast<unsigned>(i)]; }
  // Checked access: GetValue gives 0 and SetValue refuses (false) outside 0..GetLength()-1.
  int GetValue(int i) const;
  bool SetValue(int i, int value);
  int* GetValues() { return fvValues.data(); }
  const int* GetValues() const { return fvValues.data(); }
  const std::vector<int>& GetValueVector() const { return fvValues; }

  // Refills the key in place from `length` values; refused (false, key unchanged) when `length`
  // differs from the key's length or `values` is null with a positive length.
  bool SetValues(const int* values, int length);

  // The hash code of the current values: never negative, for any values, and the same on every
  // platform and run. It is not stored; see SetHashCode and UpdateHashCode. Defined here so that the
  // per-record lookups of the design tables, in the other library, inline it.
  int ComputeHashCode() const {
    // Level values are small and clustered (0, 1, 2, ...), and the tables take the code modulo their
    // bucket count, so every bit of every value must reach the low bits: each value is mixed in with
    // a multiply-rotate step and the result passes the MurmurHash3 finaliser. All arithmetic is
    // unsigned (no signed overflow for any values), and the top bit is cleared so the code is never
    // negative.
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
  // The cached code that the hash tables compare and use to pick a bucket.
  int GetHashCode() const { return fHashCode; }
  void SetHashCode(int code) { fHashCode = code; }
  // Computes, stores and returns the hash code.
  int UpdateHashCode() { return fHashCode = ComputeHashCode(); }

  // Equal values (the cached codes are not compared).
  bool operator==(const QXHashKey& other) const { return fvValues == other.fvValues; }
  bool operator!=(const QXHashKey& other) const { return !(*this == other); }
  // Lexicographic, first value most significant; a proper prefix comes first.
  bool operator<(const QXHashKey& other) const { return fvValues < other.fvValues; }

  // Prints the values and the cached code on one line each.
  void Display() const;

 private:
  std::vector<int> fvValues;
  int fHashCode = 0;
};

}  // namespace QXMath_600
