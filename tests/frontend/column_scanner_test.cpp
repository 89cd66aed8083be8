// A categorical column in memory is scanned by its codes: what the scan learns (missing values, the
// first texts with their rows, the levels, too many levels) is what the same column written as texts
// in a CSV file gives.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/ColumnScanner.h"
#include "frontend/CsvReader.h"
#include "frontend/MemoryColumns.h"
#include "tests/frontend/tools_test_files.h"

namespace {

using QXFit::ColumnScanner;

TEST(ColumnScanner, CodedColumnsScanAsTheirTexts) {
  const std::vector<std::int16_t> codes{0, 1, -1, 3, 0, 1, 4};
  const std::vector<std::string> categories{"b", "a", "unused", "c", "d"};
  QXFit::MemoryColumns memory(static_cast<long long>(codes.size()));
  ASSERT_TRUE(memory.AddCategorical("g", codes.data(), 1, categories));
  std::string csvText = "g\n";
  for (const auto code : codes)
    csvText += (code < 0 ? "" : categories[static_cast<std::size_t>(code)]) + "\n";
  const qxfit_test::TempFile file("csv", csvText);
  QXFit::CsvReader csv;
  ASSERT_TRUE(csv.Open(file.Path()));

  std::string error;
  ColumnScanner fromMemory({0}, {false}), fromCsv({0}, {false});
  ASSERT_TRUE(fromMemory.Scan(memory, nullptr, error)) << error;
  ASSERT_TRUE(fromCsv.Scan(csv, nullptr, error)) << error;
  const ColumnScanner::Column& m = fromMemory.GetColumn(0);
  const ColumnScanner::Column& c = fromCsv.GetColumn(0);
  EXPECT_TRUE(m.IsFactor());
  EXPECT_EQ(m.fNMissing, 1);
  EXPECT_EQ(m.fNTexts, 6);
  EXPECT_EQ(m.fNNumbers, c.fNNumbers);
  ASSERT_EQ(m.fFirstTexts.size(), 3U);
  // Rows in memory are numbered from 1; a CSV file's lines count its header.
  const std::vector<std::pair<std::string, long long>> first{{"b", 1}, {"a", 2}, {"c", 4}};
  for (std::size_t k = 0; k < first.size(); ++k) {
    EXPECT_EQ(m.fFirstTexts[k].fText, first[k].first);
    EXPECT_EQ(m.fFirstTexts[k].fLine, first[k].second);
    EXPECT_EQ(c.fFirstTexts[k].fText, first[k].first);
  }
  EXPECT_EQ(m.fLevels.ListLevels(), "a, b, c, d");  // the categories used, sorted
  EXPECT_EQ(m.fLevels.ListLevels(), c.fLevels.ListLevels());
}

TEST(ColumnScanner, ACodedColumnWithTooManyLevelsIsNoFactor) {
  const int n = ColumnScanner::kMaxLevels + 1;
  std::vector<std::int32_t> codes(static_cast<std::size_t>(n));
  std::vector<std::string> categories;
  for (int k = 0; k < n; ++k) {
    codes[static_cast<std::size_t>(k)] = n - 1 - k;
    categories.push_back("id" + std::to_string(k));
  }
  QXFit::MemoryColumns memory(n);
  ASSERT_TRUE(memory.AddCategorical("id", codes.data(), 1, categories));
  ColumnScanner scanner({0}, {false});
  std::string error;
  ASSERT_TRUE(scanner.Scan(memory, nullptr, error)) << error;
  EXPECT_TRUE(scanner.GetColumn(0).fbTooManyLevels);
  EXPECT_EQ(scanner.GetColumn(0).fLevels.GetNLevels(), 0);
}

}  // namespace
