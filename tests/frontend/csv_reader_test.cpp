// The CSV reader on the files users actually have: quoted fields with delimiters, quotes and line
// breaks inside, CRLF ends, a byte order mark, blank lines, R's missing values; and on broken files,
// which must fail with the line that is wrong rather than read garbage.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "frontend/CsvReader.h"
#include "tests/frontend/tools_test_files.h"

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
  ASSERT_TRUE(reader.Open(file.Path(), QXFit::CsvFormat{'\t', false, {}}));
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

// A last line without a line end was not counted (its messages named the line before it) and kept
// a trailing CR in its last field.
TEST(CsvReaderTest, ALastLineWithoutALineEndIsALineLikeAnyOther) {
  const TempFile ragged("ragged.csv", "a,b\n1,2\n3");
  CsvReader reader;
  ASSERT_TRUE(reader.Open(ragged.Path()));
  EXPECT_TRUE(reader.Next());
  EXPECT_FALSE(reader.Next());
  EXPECT_EQ(reader.GetError(), "line 3: 1 fields where the header has 2");

  const TempFile crlf("cr.csv", "a,b\r\n1,2\r\n3,4\r");
  ASSERT_TRUE(reader.Open(crlf.Path()));
  const auto rows = ReadAll(reader);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1], (std::vector<std::string>{"3", "4"}));
  EXPECT_EQ(reader.GetLineNumber(), 3);
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

// A quote left open took the rest of the file into one field, however large the file: a record is
// now bounded, and the error names the line where it began.
TEST(CsvReaderTest, ARecordLongerThanTheLimitIsRefused) {
  QXFit::CsvFormat format;
  format.fMaxRecordBytes = 64;
  std::string rows;
  for (int i = 0; i < 20; ++i) rows += std::to_string(i) + ",x\n";
  const TempFile open("open.csv", "a,b\n1,2\n3,\"never closed\n" + rows);
  CsvReader reader;
  ASSERT_TRUE(reader.Open(open.Path(), format));
  EXPECT_TRUE(reader.Next());
  EXPECT_FALSE(reader.Next());
  EXPECT_EQ(reader.GetError(), "line 3: a record longer than 64 bytes (is a quote left open?)");

  // Empty lines inside the open quote add only their line breaks, which count all the same.
  const TempFile breaks("breaks.csv", "a,b\n1,\"x" + std::string(1000, '\n'));
  ASSERT_TRUE(reader.Open(breaks.Path(), format));
  EXPECT_FALSE(reader.Next());
  EXPECT_EQ(reader.GetError(), "line 2: a record longer than 64 bytes (is a quote left open?)");

  const TempFile header("header.csv", std::string(65, 'a') + "\n1\n");
  EXPECT_FALSE(reader.Open(header.Path(), format));
  EXPECT_EQ(reader.GetError(), "line 1: a record longer than 64 bytes (is a quote left open?)");
  const TempFile fits("fits.csv", std::string(64, 'a') + "\n1\n");
  EXPECT_TRUE(reader.Open(fits.Path(), format));
  EXPECT_EQ(QXFit::CsvFormat().fMaxRecordBytes, std::size_t{1} << 28);
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

TEST(CsvReaderTest, FindsTheDelimiterInTheHeader) {
  EXPECT_EQ(CsvReader::DetectDelimiter("y,x,\"a;b\"", false), ',');
  EXPECT_EQ(CsvReader::DetectDelimiter("y\tx\tnote, with comma", false), '\t');
  EXPECT_EQ(CsvReader::DetectDelimiter("y;x;z", false), ';');
  EXPECT_EQ(CsvReader::DetectDelimiter("\"a,b\";c", false), ';');  // commas inside quotes do not count
  EXPECT_EQ(CsvReader::DetectDelimiter("y", false), ',');
  // With a decimal comma the comma is no delimiter: a semicolon, as R's read.csv2 has it.
  EXPECT_EQ(CsvReader::DetectDelimiter("y,x", true), ';');
  EXPECT_EQ(CsvReader::DetectDelimiter("y\tx", true), '\t');

  const TempFile file("a.csv", "y;x\n1,5;2\n");
  CsvReader reader;
  ASSERT_TRUE(reader.Open(file.Path(), QXFit::CsvFormat{0, true, {}}));
  EXPECT_EQ(reader.GetDelimiter(), ';');
  ASSERT_TRUE(reader.Next());
  double value = 0.0;
  EXPECT_TRUE(reader.GetNumber(0, value));
  EXPECT_EQ(value, 1.5);
  EXPECT_FALSE(reader.Open(file.Path(), QXFit::CsvFormat{',', true, {}}));
}

TEST(CsvReaderTest, DecimalCommaAndMissingValueCodes) {
  for (const auto& [text, expected] : std::vector<std::pair<std::string, double>>{
           {"3,5", 3.5}, {"-0,25", -0.25}, {"12", 12.0}, {"1,5e3", 1500.0}, {",5", 0.5}}) {
    double value = 0.0;
    EXPECT_TRUE(CsvReader::ParseNumber(text, value, true)) << text;
    EXPECT_EQ(value, expected) << text;
  }
  double value = 0.0;
  // A point is no decimal mark then, nor may there be two commas.
  for (const std::string text : {"3.5", "1,5,3", "1.000,5"})
    EXPECT_FALSE(CsvReader::ParseNumber(text, value, true)) << text;

  const TempFile file("codes.csv", "y,x\nn/a,1\n-,2\n?,3\n\"n/a\",4\n");
  CsvReader reader;
  ASSERT_TRUE(reader.Open(file.Path(), QXFit::CsvFormat{0, false, {"n/a", "-"}}));
  std::vector<bool> missing;
  std::vector<long long> lines;
  while (reader.Next()) {
    missing.push_back(reader.IsMissing(0));
    lines.push_back(reader.GetLineNumber());
  }
  EXPECT_EQ(missing, (std::vector<bool>{true, true, false, true}));
  EXPECT_EQ(lines, (std::vector<long long>{2, 3, 4, 5}));
}

TEST(CsvReaderTest, LineNumbersCountPhysicalLines) {
  // A quoted line break makes the next record start two lines further; blank lines count too.
  const TempFile file("lines.csv", "a,b\n1,\"x\ny\"\n\n2,z\n");
  CsvReader reader;
  ASSERT_TRUE(reader.Open(file.Path()));
  ASSERT_TRUE(reader.Next());
  EXPECT_EQ(reader.GetLineNumber(), 2);
  ASSERT_TRUE(reader.Next());
  EXPECT_EQ(reader.GetLineNumber(), 5);
}

}  // namespace
