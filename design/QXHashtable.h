// The chained hash table of the library, keyed by QXHashKey: the design keeps one per model effect
// to find the parameter of a cell of factor levels, the logistic tabulator one for its covariate
// patterns and the marginal means one per specification. A lookup uses the code cached in the probe
// key, so a key filled in place is hashed once and then probed without any allocation.
//
// The table starts with 89 buckets and grows to 2n + 1 buckets when an insertion would take the
// count past the threshold (capacity times the load factor 0.75, truncated in single precision:
// 66 for 89 buckets, so the 67th entry causes the first growth). A pair holds its key and its value
// in one allocation (besides the key's own values); pairs released by Clear are kept on a free list
// with their keys' storage and reused, so refilling a cleared table with keys of the same length
// allocates nothing. Pair addresses never change while
// a pair is stored: callers keep pointers to pairs (the cell lists of the factor tables).
#pragma once

#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/QXDisplay.h"
#include "common/QXHashKey.h"

namespace QXMath_600 {

template <class T>
class QXHashtable;

// One entry of a table: its key (with the key's hash code), its value, and the next entry of the
// same bucket.
template <class T>
class QXHashPair {
 public:
  const QXHashKey& GetKey() const { return fKey; }
  T& GetValue() { return fValue; }
  const T& GetValue() const { return fValue; }
  // The next pair of the same bucket (null at the end of the chain).
  const QXHashPair* GetNext() const { return fpNext; }

 private:
  friend class QXHashtable<T>;
  QXHashPair(const QXHashKey& key, T&& value) : fKey(key), fValue(std::move(value)) {}

  QXHashKey fKey;
  T fValue;
  QXHashPair* fpNext = nullptr;
};

template <class T>
class QXHashtable {
 public:
  static constexpr int kDefaultCapacity = 89;
  static constexpr float kDefaultLoadFactor = 0.75f;

  // A capacity below 1 is taken as 1; a load factor that is not positive and finite as 0.75.
  explicit QXHashtable(int capacity = kDefaultCapacity, float loadFactor = kDefaultLoadFactor)
      : fCapacity(capacity >= 1 ? capacity : 1),
        fLoadFactor(loadFactor > 0.0f && std::isfinite(loadFactor) ? loadFactor : kDefaultLoadFactor) {
    fvBuckets.assign(static_cast<std::size_t>(fCapacity), nullptr);
    fThreshold = ThresholdFor(fCapacity);
    fMagic = Magic(fCapacity);
  }
  QXHashtable(const QXHashtable&) = delete;
  QXHashtable& operator=(const QXHashtable&) = delete;
  ~QXHashtable() {
    Clear();
    FreeChain(fpFreeList);
  }

  int GetCapacity() const { return fCapacity; }
  int GetCount() const { return fCount; }
  int GetThreshold() const { return fThreshold; }
  float GetLoadFactor() const { return fLoadFactor; }
  int GetRehashCount() const { return fRehashCount; }

  // The pair whose key equals `key`, found through the code cached in `key` (the caller stores it
  // with QXHashKey::UpdateHashCode before the lookup); null when absent or when the code is negative.
  const QXHashPair<T>* Find(const QXHashKey& key) const { return Find(key, key.GetHashCode()); }
  QXHashPair<T>* Find(const QXHashKey& key) {
    return const_cast<QXHashPair<T>*>(std::as_const(*this).Find(key));
  }
  // The value stored for `key` (as Find), or null.
  T* Get(const QXHashKey& key) {
    QXHashPair<T>* p = Find(key);
    return p != nullptr ? &p->fValue : nullptr;
  }
  const T* Get(const QXHashKey& key) const {
    const QXHashPair<T>* p = Find(key);
    return p != nullptr ? &p->fValue : nullptr;
  }

  // Stores a copy of `key` with `value` and returns the new pair; returns null and stores nothing
  // when an equal key is present. The stored key's code is computed here from its values, so a
  // stale code cached in the caller's key cannot file a pair where no lookup would find it.
  QXHashPair<T>* Insert(const QXHashKey& key, T value) {
    const int code = key.ComputeHashCode();
    if (code < 0 || fCount == INT_MAX || Find(key, code) != nullptr) return nullptr;
    if (fCount + 1 > fThreshold) Grow();
    QXHashPair<T>* pair = fpFreeList;
    if (pair != nullptr) {
      fpFreeList = pair->fpNext;
      pair->fKey = key;
      pair->fValue = std::move(value);
    } else {
      pair = new QXHashPair<T>(key, std::move(value));
    }
    pair->fKey.SetHashCode(code);
    QXHashPair<T>*& head = fvBuckets[Bucket(code)];
    pair->fpNext = head;
    head = pair;
    ++fCount;
    return pair;
  }
  // Insert, reporting only whether the pair was stored.
  bool Put(const QXHashKey& key, T value) { return Insert(key, std::move(value)) != nullptr; }

  // Releases every value (each becomes a default T) and keeps the pairs, with their keys' storage, on
  // the free list for later insertions. The capacity is kept.
  void Clear() {
    for (QXHashPair<T>*& head : fvBuckets) {
      while (head != nullptr) {
        QXHashPair<T>* p = head;
        head = p->fpNext;
        p->fValue = T();
        p->fpNext = fpFreeList;
        fpFreeList = p;
      }
    }
    fCount = 0;
  }

  // Calls f(pair) for every pair, bucket after bucket, each chain from its head.
  template <class F>
  void ForEach(F&& f) const {
    for (const QXHashPair<T>* head : fvBuckets)
      for (const QXHashPair<T>* p = head; p != nullptr; p = p->fpNext) f(*p);
  }
  template <class F>
  void ForEach(F&& f) {
    for (QXHashPair<T>* head : fvBuckets)
      for (QXHashPair<T>* p = head; p != nullptr; p = p->fpNext) f(*p);
  }

  // Dumps every non-empty bucket with its keys and values. A value prints through its own Display
  // when it has one, as a number when it is one, and as a vector of doubles when it is one.
  void Display() const {
    using namespace QXDisplay_600;
    DisplayText(2, "Start of Hashtable.\n");
    for (int b = 0; b < fCapacity; ++b) {
      const QXHashPair<T>* p = fvBuckets[static_cast<std::size_t>(b)];
      if (p == nullptr) continue;
      DisplayText(2, "Bucket " + std::to_string(b) + " :");
      for (; p != nullptr; p = p->fpNext) {
        p->fKey.Display();
        DisplayValue(p->fValue);
      }
    }
    DisplayText(2, "End of Hashtable.\n");
  }

 private:
  // code % capacity without a division, which would be the slowest step of a probe: with
  // M = floor((2^64 - 1) / d) + 1, the remainder of a 32-bit a by d is the high 64 bits of
  // (M * a mod 2^64) * d (Lemire, Kaser and Kurz, "Faster remainder by direct computation", 2019).
  // The high half is formed from 32-bit pieces so that no 128-bit type is needed.
  static std::uint64_t Magic(int capacity) { return UINT64_MAX / static_cast<std::uint32_t>(capacity) + 1; }
  static std::size_t Remainder(int code, std::uint64_t magic, int capacity) {
    const std::uint64_t low = magic * static_cast<std::uint32_t>(code);
    const std::uint64_t d = static_cast<std::uint32_t>(capacity);
    return static_cast<std::size_t>(((low >> 32) * d + (((low & 0xFFFFFFFFu) * d) >> 32)) >> 32);
  }
  std::size_t Bucket(int code) const { return Remainder(code, fMagic, fCapacity); }

  const QXHashPair<T>* Find(const QXHashKey& key, int code) const {
    if (code < 0) return nullptr;
    for (const QXHashPair<T>* p = fvBuckets[Bucket(code)]; p != nullptr; p = p->fpNext)
      if (p->fKey.GetHashCode() == code && SameValues(p->fKey, key)) return p;
    return nullptr;
  }

  // Truncation of capacity x load factor in single precision, held within the range of int.
  int ThresholdFor(int capacity) const {
    const float t = static_cast<float>(capacity) * fLoadFactor;
    return t >= 2147483648.0f ? INT_MAX : static_cast<int>(t);
  }

  // To 2n + 1 buckets, relinking every pair at the head of its new bucket. At the largest capacity
  // an int can count the table stops growing and its chains get longer instead.
  void Grow() {
    if (fCapacity > (INT_MAX - 1) / 2) return;
    const int capacity = 2 * fCapacity + 1;
    const std::uint64_t magic = Magic(capacity);
    std::vector<QXHashPair<T>*> buckets(static_cast<std::size_t>(capacity), nullptr);
    for (QXHashPair<T>* head : fvBuckets) {
      while (head != nullptr) {
        QXHashPair<T>* p = head;
        head = p->fpNext;
        QXHashPair<T>*& to = buckets[Remainder(p->fKey.GetHashCode(), magic, capacity)];
        p->fpNext = to;
        to = p;
      }
    }
    fvBuckets.swap(buckets);
    fCapacity = capacity;
    fMagic = magic;
    fThreshold = ThresholdFor(capacity);
    ++fRehashCount;
  }

  // QXHashKey's operator== in a loop the compiler can inline: keys are a few ints long, and a call
  // to memcmp for each probe would cost more than the comparison itself.
  static bool SameValues(const QXHashKey& a, const QXHashKey& b) {
    const int n = a.GetLength();
    if (n != b.GetLength()) return false;
    for (int j = 0; j < n; ++j)
      if (a[j] != b[j]) return false;
    return true;
  }

  static void FreeChain(QXHashPair<T>* p) {
    while (p != nullptr) {
      QXHashPair<T>* next = p->fpNext;
      delete p;
      p = next;
    }
  }

  template <class V>
  static void DisplayValue(const V& value) {
    if constexpr (std::is_integral_v<V>) {
      QXDisplay_600::DisplayI("Value", static_cast<long long>(value));
    } else if constexpr (std::is_floating_point_v<V>) {
      QXDisplay_600::DisplayD("Value", static_cast<double>(value));
    } else if constexpr (std::is_same_v<V, std::vector<double>>) {
      QXDisplay_600::DisplayDV("Value", value);
    } else if constexpr (requires { value.Display(); }) {
      value.Display();
    }
  }

  std::vector<QXHashPair<T>*> fvBuckets;
  int fCapacity;
  std::uint64_t fMagic = 0;
  int fCount = 0;
  int fThreshold = 0;
  float fLoadFactor;
  int fRehashCount = 0;
  QXHashPair<T>* fpFreeList = nullptr;
};

}  // namespace QXMath_600
