#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "common/QXHashKey.h"
#include "common/QXPackedInt.h"

using QXMath_600::QXHashKey;
using QXMath_600::QXPackedInt;

namespace {

QXHashKey Key(std::vector<int> values) { return QXHashKey(values.data(), static_cast<int>(values.size())); }

}  // namespace

TEST(HashKey, CodesAreNeverNegativeAndDependOnlyOnValues) {
  const std::vector<std::vector<int>> keys = {{},
                                              {0},
                                              {-1},
                                              {INT_MIN},
                                              {INT_MAX},
                                              {INT_MIN, INT_MAX, -1, 0},
                                              {-7, -7, -7},
                                              {1 << 30, 1 << 30},
                                              std::vector<int>(1000, INT_MIN),
                                              std::vector<int>(257, -123456789)};
  for (const auto& values : keys) {
    const QXHashKey key = Key(values);
    EXPECT_GE(key.ComputeHashCode(), 0) << ::testing::PrintToString(values);
    QXHashKey copy = key;
    EXPECT_EQ(copy.ComputeHashCode(), key.ComputeHashCode());
    // Refilled in place from the same values, a working key gets the same code.
    QXHashKey working(static_cast<int>(values.size()));
    ASSERT_TRUE(working.SetValues(values.data(), static_cast<int>(values.size())));
    EXPECT_EQ(working.UpdateHashCode(), key.ComputeHashCode());
    EXPECT_EQ(working.GetHashCode(), key.ComputeHashCode());
    EXPECT_EQ(working, key);
  }
}

// The tables take the code modulo their bucket count (89, 179, 359, ...): the small clustered
// level values of real keys must still spread over the buckets.
TEST(HashKey, SmallLevelValuesSpreadOverTheBuckets) {
  for (int buckets : {89, 179, 359}) {
    std::vector<int> load(static_cast<std::size_t>(buckets), 0);
    int n = 0;
    for (int a = 0; a < 40; ++a)
      for (int b = 0; b < 20; ++b, ++n)
        ++load[static_cast<std::size_t>(Key({a, b}).ComputeHashCode() % buckets)];
    const double mean = static_cast<double>(n) / buckets;
    EXPECT_LE(*std::max_element(load.begin(), load.end()), 3 * mean + 4) << buckets;
  }
}

TEST(HashKey, OrderIsLexicographicWithTheFirstValueMostSignificant) {
  std::vector<QXHashKey> cells = {Key({1, 0}), Key({0, 1}), Key({0, 0}), Key({-1, 5}), Key({0, INT_MAX})};
  std::sort(cells.begin(), cells.end());
  const std::vector<QXHashKey> expected = {Key({-1, 5}), Key({0, 0}), Key({0, 1}), Key({0, INT_MAX}),
                                           Key({1, 0})};
  EXPECT_EQ(cells, expected);
  EXPECT_TRUE(Key({2}) < Key({2, 0}));  // a proper prefix comes first
  EXPECT_FALSE(Key({2, 0}) < Key({2, 0}));
  EXPECT_NE(Key({1, 2}), Key({2, 1}));
}

TEST(HashKey, RefillingInPlaceKeepsTheStorageAndRefusesOtherLengths) {
  QXHashKey key(3);
  const int* storage = key.GetValues();
  const int a[] = {4, 5, 6};
  ASSERT_TRUE(key.SetValues(a, 3));
  EXPECT_EQ(key.GetValues(), storage);
  EXPECT_EQ(key.GetValueVector(), (std::vector<int>{4, 5, 6}));
  EXPECT_FALSE(key.SetValues(a, 2));
  EXPECT_FALSE(key.SetValues(nullptr, 3));
  EXPECT_FALSE(key.SetValue(3, 1));
  EXPECT_FALSE(key.SetValue(-1, 1));
  EXPECT_EQ(key.GetValue(7), 0);
  EXPECT_EQ(key.GetValueVector(), (std::vector<int>{4, 5, 6}));
  EXPECT_EQ(QXHashKey(-2).GetLength(), 0);
  EXPECT_EQ(QXHashKey(nullptr, 4).GetLength(), 0);
}

TEST(PackedInt, RoundTripsEverySequenceAndPreservesOrder) {
  QXPackedInt packer;
  ASSERT_TRUE(packer.SetBounds({2, 0, 3, 1}));
  EXPECT_EQ(packer.GetPackedLength(), 1);
  std::vector<std::vector<int>> sequences, packedWords;
  std::vector<int> v(4), packed, back;
  for (v[0] = 0; v[0] <= 2; ++v[0])
    for (v[2] = 0; v[2] <= 3; ++v[2])
      for (v[3] = 0; v[3] <= 1; ++v[3]) {
        ASSERT_TRUE(packer.Pack(v, packed));
        ASSERT_TRUE(packer.Unpack(packed, back));
        EXPECT_EQ(back, v);
        sequences.push_back(v);
        packedWords.push_back(packed);
      }
  // Sequences were generated in ascending order; their packed forms must be ascending too.
  EXPECT_TRUE(std::is_sorted(packedWords.begin(), packedWords.end()));
  EXPECT_EQ(std::adjacent_find(packedWords.begin(), packedWords.end()), packedWords.end());
}

TEST(PackedInt, WordsFillUpTo31BitsAndLargeBoundsStandAlone) {
  QXPackedInt packer;
  ASSERT_TRUE(packer.SetBounds(std::vector<int>(31, 1)));  // 2^31 combinations: one word
  EXPECT_EQ(packer.GetPackedLength(), 1);
  ASSERT_TRUE(packer.SetBounds(std::vector<int>(32, 1)));
  EXPECT_EQ(packer.GetPackedLength(), 2);

  const std::vector<int> bounds = {INT_MAX, 5, INT_MAX - 1, 0, 65535, 32767};
  ASSERT_TRUE(packer.SetBounds(bounds));
  EXPECT_EQ(packer.GetPackedLength(), 4);
  std::vector<int> packed, back;
  ASSERT_TRUE(packer.Pack(bounds, packed));  // the bounds themselves can be packed
  for (int w : packed) EXPECT_GE(w, 0);
  ASSERT_TRUE(packer.Unpack(packed, back));
  EXPECT_EQ(back, bounds);

  ASSERT_TRUE(packer.SetBounds({}));
  EXPECT_EQ(packer.GetPackedLength(), 0);
  EXPECT_TRUE(packer.Pack(std::vector<int>{}, packed));
  EXPECT_TRUE(packed.empty());
}

TEST(PackedInt, RefusesValuesAndWordsOutOfRange) {
  QXPackedInt packer;
  ASSERT_TRUE(packer.SetBounds({3, 4}));
  EXPECT_FALSE(packer.SetBounds({3, -1}));
  EXPECT_EQ(packer.GetBounds(), (std::vector<int>{3, 4}));
  std::vector<int> packed{99}, values{7, 7};
  EXPECT_FALSE(packer.Pack({4, 0}, packed));
  EXPECT_FALSE(packer.Pack({-1, 0}, packed));
  EXPECT_FALSE(packer.Pack({1}, packed));
  EXPECT_EQ(packed, (std::vector<int>{99}));
  EXPECT_FALSE(packer.Unpack({20}, values));  // 4 x 5 combinations: words 0..19
  EXPECT_FALSE(packer.Unpack({-1}, values));
  EXPECT_EQ(values, (std::vector<int>{7, 7}));
  EXPECT_FALSE(packer.Pack(nullptr, packed.data()));
}
