// The CSV reader on the files users actually have: quoted fields with delimiters, quotes and line
// breaks inside, CRLF ends, a byte order mark, blank lines, R's missing values; and on broken files,
// which must fail with the line that is wrong rather than read garbage.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/tools/tools_test_files.h"
#include "tools/qxfit/CsvReader.h"

namespace {

using QXFit::CsvReader;
using qxfit_test::TempFile;

std::vector<std::vector<std::string>> ReadAll(CsvReader& reader) {
  std::vector<std::vector<std::string>> rows;
  while (reader.Next()) {
    std::vector<std::string> row;
    for (int c = 0; c < static_cast<int>(reader.GetColumnNames().size()); ++c)
      row.emplace_back(reader.GetText(c));
    rows.push_back(row);
  }
  return rows;
}

TEST(CsvReaderTest, ReadsQuotedFieldsLineEndsAndBlankLines) {
  const TempFile file("a.csv",
                      "\xEF\xBB\xBFname,\"note, quoted\",value\r\n"
                      "a,\"said \"\"hi\"\"\",1\r\n"
                      "\r\n"
                      "  b  ,\"two\nlines\",  2.5 \n"
                      "c,,NA\n"
                      "\"NA\",\"\",3");  // no line end at the end of the file
  CsvReader reader;
  ASSERT_TRUE(reader.Open(file.Path())) << reader.GetError();
  EXPECT_EQ(reader.GetColumnNames(), (std::vector<std::string>{"name", "note, quoted", "value"}));
  const auto rows = ReadAll(reader);
  ASSERT_TRUE(reader.GetError().empty()) << reader.GetError();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"a", "said \"hi\"", "1"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"b", "two\nlines", "2.5"}));
  EXPECT_EQ(rows[2], (std::vector<std::string>{"c", "", "NA"}));
  EXPECT_EQ(reader.GetRowNumber(), 4);

  // Every pass sees the same rows, and the missing values are R's: empty fields and NA.
  ASSERT_TRUE(reader.Rewind());
  ASSERT_TRUE(reader.Next());
  EXPECT_FALSE(reader.IsMissing(1));
  ASSERT_TRUE(reader.Next());
  ASSERT_TRUE(reader.Next());
  EXPECT_TRUE(reader.IsMissing(1));
  EXPECT_TRUE(reader.IsMissing(2));
  EXPECT_FALSE(reader.IsMissing(0));
  ASSERT_TRUE(reader.Next());
  EXPECT_TRUE(reader.IsMissing(0));
  EXPECT_TRUE(reader.IsMissing(1));
  double value = 0.0;
  EXPECT_TRUE(reader.GetNumber(2, value));
  EXPECT_EQ(value, 3.0);
  EXPECT_FALSE(reader.Next());
  EXPECT_DOUBLE_EQ(reader.GetProgress(), 1.0);
}

TEST(CsvReaderTest, OtherDelimiters) {
  const TempFile file("a.tsv", "x\ty\n1,5\t\"a\tb\"\n");
  CsvReader reader;
  ASSERT_TRUE(reader.Open(file.Path(), '\t'));
  const auto rows = ReadAll(reader);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"1,5", "a\tb"}));
}

TEST(CsvReaderTest, BrokenFilesFailWithTheirLine) {
  CsvReader reader;
  EXPECT_FALSE(reader.Open(::testing::TempDir() + "/no such file.csv"));
  EXPECT_NE(reader.GetError().find("cannot open"), std::string::npos);

  const TempFile empty("empty.csv", "");
  EXPECT_FALSE(reader.Open(empty.Path()));
  EXPECT_NE(reader.GetError().find("header"), std::string::npos);

  const TempFile ragged("ragged.csv", "a,b\n1,2\n3\n4,5\n");
  ASSERT_TRUE(reader.Open(ragged.Path()));
  EXPECT_TRUE(reader.Next());
  EXPECT_FALSE(reader.Next());
  EXPECT_EQ(reader.GetError(), "line 3: 1 fields where the header has 2");
  EXPECT_FALSE(reader.Next());  // a failure sticks

  const TempFile open("open.csv", "a,b\n1,\"never closed\n2,3\n");
  ASSERT_TRUE(reader.Open(open.Path()));
  EXPECT_FALSE(reader.Next());
  EXPECT_EQ(reader.GetError(), "line 2: a quoted field is never closed");
}

TEST(CsvReaderTest, LongLinesCrossTheReadBuffer) {
  // One field longer than the reader's buffer, then a normal row.
  const std::string huge(3u << 20, 'x');
  const TempFile file("long.csv", "a,b\n" + huge + ",1\nz,2\n");
  CsvReader reader;
  ASSERT_TRUE(reader.Open(file.Path()));
  const auto rows = ReadAll(reader);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0].size(), huge.size());
  EXPECT_EQ(rows[1], (std::vector<std::string>{"z", "2"}));
}

TEST(CsvReaderTest, NumbersAsRReadsThem) {
  const std::vector<std::pair<std::string, double>> numbers = {
      {"0", 0.0},          {"-2.5", -2.5},      {"+3", 3.0},        {".5", 0.5},
      {"5.", 5.0},         {"1e5", 1e5},        {"1.5E-3", 1.5e-3}, {"Inf", INFINITY},
      {"-Inf", -INFINITY}, {"1e999", INFINITY}, {"1e-999", 0.0},    {"0.1", 0.1}};
  for (const auto& [text, expected] : numbers) {
    double value = -1.0;
    EXPECT_TRUE(CsvReader::ParseNumber(text, value)) << text;
    EXPECT_EQ(value, expected) << text;
  }
  double nan = 0.0;
  EXPECT_TRUE(CsvReader::ParseNumber("NaN", nan));
  EXPECT_TRUE(std::isnan(nan));
  for (const std::string text :
       {"", "-", "+-1", "1,5", "0x10", "1.5.3", "abc", "1e", "e5", "2 3", "infinity", "."}) {
    double value = 0.0;
    EXPECT_FALSE(CsvReader::ParseNumber(text, value)) << text;
  }
}

}  // namespace
