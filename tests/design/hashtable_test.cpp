#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qxregres600r.h"

namespace {

using QXMath_600::QXHashKey;
using QXMath_600::QXHashPair;
using QXMath_600::QXHashtable;

QXHashKey Key(std::vector<int> values) {
  QXHashKey key(values.data(), static_cast<int>(values.size()));
  key.UpdateHashCode();
  return key;
}

TEST(Hashtable, StartsWith89BucketsAndGrowsTo2nPlus1AtLoadThreeQuarters) {
  QXHashtable<int> table;
  EXPECT_EQ(table.GetCapacity(), 89);
  EXPECT_EQ(table.GetThreshold(), 66);
  EXPECT_EQ(table.GetLoadFactor(), 0.75f);
  // Capacities and thresholds (capacity x 0.75 truncated) through the first rehashes; the 67th entry
  // causes the first growth.
  const int capacities[] = {89, 179, 359, 719, 1439, 2879, 5759, 11519};
  const int thresholds[] = {66, 134, 269, 539, 1079, 2159, 4319, 8639};
  int rehashes = 0;
  for (int i = 0; i < 5000; ++i) {
    ASSERT_TRUE(table.Put(Key({i % 50, i / 50, 7}), i));
    if (table.GetRehashCount() > rehashes) {
      rehashes = table.GetRehashCount();
      EXPECT_EQ(table.GetCount(), thresholds[rehashes - 1] + 1);
    }
    EXPECT_EQ(table.GetCapacity(), capacities[rehashes]);
    EXPECT_EQ(table.GetThreshold(), thresholds[rehashes]);
  }
  EXPECT_EQ(rehashes, 7);
  EXPECT_EQ(table.GetCount(), 5000);
  // Every entry stays findable with its value after relinking, and nothing else is found.
  for (int i = 0; i < 5000; ++i) {
    const int* value = table.Get(Key({i % 50, i / 50, 7}));
    ASSERT_NE(value, nullptr) << i;
    EXPECT_EQ(*value, i);
  }
  EXPECT_EQ(table.Get(Key({0, 100, 7})), nullptr);
  int seen = 0;
  table.ForEach([&](const QXHashPair<int>&) { ++seen; });
  EXPECT_EQ(seen, 5000);
}

TEST(Hashtable, EqualKeyIsRefusedAndTheFirstValueKept) {
  QXHashtable<int> table;
  EXPECT_TRUE(table.Put(Key({1, 2}), 10));
  EXPECT_FALSE(table.Put(Key({1, 2}), 20));
  EXPECT_EQ(table.GetCount(), 1);
  EXPECT_EQ(*table.Get(Key({1, 2})), 10);
  // Keys differing only in length are different keys.
  EXPECT_TRUE(table.Put(Key({1, 2, 0}), 30));
  EXPECT_EQ(*table.Get(Key({1, 2})), 10);
}

TEST(Hashtable, LookupUsesTheCachedCodeAndNeverFindsANegativeOne) {
  QXHashtable<int> table;
  QXHashKey key = Key({3, 4});
  // The stored key's code is computed on insertion, whatever the caller's key caches.
  key.SetHashCode(12345);
  ASSERT_TRUE(table.Put(key, 1));
  EXPECT_EQ(table.Find(key), nullptr);
  key.UpdateHashCode();
  ASSERT_NE(table.Find(key), nullptr);
  EXPECT_EQ(table.Find(key)->GetKey().GetHashCode(), key.GetHashCode());
  key.SetHashCode(-1);
  EXPECT_EQ(table.Find(key), nullptr);
}

TEST(Hashtable, InsertsAtTheHeadOfItsBucket) {
  // One bucket: every key shares it, so the chain lists the keys last inserted first.
  QXHashtable<int> table(1, 100.0f);
  for (int i = 0; i < 4; ++i) table.Put(Key({i}), i);
  std::vector<int> chain;
  table.ForEach([&](const QXHashPair<int>& pair) { chain.push_back(pair.GetValue()); });
  EXPECT_EQ(chain, (std::vector<int>{3, 2, 1, 0}));
  const QXHashPair<int>* head = table.Find(Key({3}));
  ASSERT_NE(head->GetNext(), nullptr);
  EXPECT_EQ(head->GetNext()->GetValue(), 2);
}

TEST(Hashtable, ClearReleasesValuesAndReusesThePairs) {
  QXHashtable<std::vector<double>> table;
  for (int i = 0; i < 100; ++i) table.Put(Key({i}), std::vector<double>(3, i));
  const int capacity = table.GetCapacity();
  table.Clear();
  EXPECT_EQ(table.GetCount(), 0);
  EXPECT_EQ(table.GetCapacity(), capacity);
  EXPECT_EQ(table.Get(Key({5})), nullptr);
  // A reused pair carries the new key and value only.
  const QXHashPair<std::vector<double>>* pair = table.Insert(Key({42, 1}), {1.5});
  ASSERT_NE(pair, nullptr);
  EXPECT_EQ(pair->GetKey(), Key({42, 1}));
  EXPECT_EQ(pair->GetValue(), std::vector<double>{1.5});
  EXPECT_EQ(table.GetCount(), 1);
}

TEST(Hashtable, DisplayDumpsTheNonEmptyBuckets) {
  QXHashtable<int> table;
  const std::vector<std::vector<int>> keys = {{0}, {1, 2}, {40000, -3}, {2147483647}};
  for (const std::vector<int>& values : keys) table.Put(Key(values), 5);
  ::testing::internal::CaptureStdout();
  table.Display();
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Start of Hashtable.\n"), std::string::npos);
  EXPECT_NE(out.find("End of Hashtable.\n"), std::string::npos);
  // Each key sits in the bucket its code modulo the capacity names.
  for (const std::vector<int>& values : keys) {
    const std::string bucket = "Bucket " + std::to_string(Key(values).GetHashCode() % 89) + " :";
    EXPECT_NE(out.find(bucket), std::string::npos) << bucket;
  }
}

}  // namespace
