// A fixed-size set of small non-negative integers, used for the parameters a sweep kept, the rows a
// generalized inverse kept and the effects an export uses. Every query or change outside the set's
// size is refused (false, or 0 for a count) rather than undefined, so callers may pass indices
// straight from a design without checking them first.
#pragma once

#include <cstdint>
#include <vector>

#include "common/QXExport.h"

namespace QXMath_600 {

class QXCOMMON_API QXBitSet {
 public:
  // An empty set over 0 .. size-1; a negative size gives a set of size 0.
  explicit QXBitSet(int size = 0);

  // The number of possible members (not the number of members; see Count).
  int Size() const { return fSize; }
  // Changes the size; members below the new size stay, the others are dropped. A negative size is
  // refused (false) and changes nothing.
  bool Resize(int size);

  // Adds (value true) or removes (false) one index; false and no change when it is out of range.
  bool Set(int index, bool value = true);
  // Removes one index; false when it is out of range.
  bool Reset(int index) { return Set(index, false); }
  // Adds every index of first .. last (both included). An empty range (first > last) adds nothing
  // and succeeds; a range reaching outside 0 .. Size()-1 is refused and changes nothing.
  bool SetRange(int first, int last);
  // Removes every member.
  void Clear();

  // True when the index is a member; false for any index outside the set.
  bool IsIn(int index) const;
  // How many members lie in first .. last (both included). The range is clipped to the set, so a
  // range wholly outside it gives 0.
  int InRange(int first, int last) const;
  // The number of members.
  int Count() const { return InRange(0, fSize - 1); }

  // Adds every member of other that is below this set's size. Returns the number of members added.
  int Union(const QXBitSet& other);

  bool operator==(const QXBitSet& other) const;
  bool operator!=(const QXBitSet& other) const { return !(*this == other); }

  // Prints the size and the members (Display shape of the library).
  void Display() const;

 private:
  static constexpr int kBits = 64;
  int fSize = 0;
  std::vector<std::uint64_t> fvWords;
};

}  // namespace QXMath_600
