// Records read in place from columns in memory come out of a block encoded column by column; they must
// be the records that encoding each row's values one at a time gives, across block ends and passes,
// and a level the scan never saw must end the pass at its row, after every record before it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "frontend/MemoryColumns.h"
#include "frontend/RowEncoder.h"
#include "frontend/RowRecordIterator.h"

namespace {

using QXFit::MemoryColumns;
using QXFit::ModelVariable;
using QXFit::RowRecordIterator;

constexpr long long kRows = 600;  // more than two blocks, the last one partial

struct Columns {
  std::vector<std::int8_t> group;
  std::vector<double> x;
  std::vector<double> y;
};

Columns MakeColumns() {
  Columns c;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (long long r = 0; r < kRows; ++r) {
    c.group.push_back(static_cast<std::int8_t>(r % 17 == 0 ? -1 : r % 3));  // -1: missing
    c.x.push_back(r % 23 == 0 ? nan : r % 29 == 0 ? -1.0 : 0.5 + 0.01 * static_cast<double>(r));
    c.y.push_back(r % 31 == 0 ? std::numeric_limits<double>::infinity() : static_cast<double>(r) - 300.0);
  }
  return c;
}

// The group as a factor, log(x) (undefined for x = -1) and y as covariates.
std::vector<ModelVariable> MakeVariables(std::vector<std::string> groupLevels) {
  ModelVariable group;
  group.fRole = ModelVariable::Role::kFactor;
  group.fColumn = 0;
  group.fName = "g";
  group.fLevels = QXFit::FactorLevels::FromTexts(std::move(groupLevels));
  ModelVariable logX;
  logX.fColumn = 1;
  logX.fName = "log(x)";
  logX.fTransform = QXFit::Transform::kLog;
  ModelVariable y;
  y.fColumn = 2;
  y.fName = "y";
  return {group, logX, y};
}

void AddColumns(MemoryColumns& source, const Columns& c) {
  ASSERT_TRUE(source.AddCategorical("g", c.group.data(), 1, {"g0", "g1", "g2"}));
  ASSERT_TRUE(source.AddNumeric("x", c.x.data()));
  ASSERT_TRUE(source.AddNumeric("y", c.y.data()));
}

TEST(RowRecordIterator, BlocksGiveTheRecordsOfOneRowAtATimeInEveryPass) {
  const Columns c = MakeColumns();
  const std::vector<ModelVariable> variables = MakeVariables({"g2", "g0", "g1"});
  MemoryColumns expectedSource(kRows);
  AddColumns(expectedSource, c);
  const QXFit::RowEncoder encoder(expectedSource, variables);
  ASSERT_TRUE(encoder.EncodesInMemory());
  std::vector<std::vector<double>> expected;
  expectedSource.Rewind();
  for (long long r = 0; expectedSource.Next(); ++r) {
    std::vector<double> values(variables.size());
    for (std::size_t i = 0; i < variables.size(); ++i) encoder.Encode(expectedSource, i, r, values[i]);
    expected.push_back(values);
  }

  MemoryColumns source(kRows);
  AddColumns(source, c);
  RowRecordIterator records(source, variables, kRows);
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(records.NewPass(), RowRecordIterator::kMoreRecords);
    long long r = 0;
    for (; records.HasMore(); ++r) {
      const QXCommon_600::Record* record = records.Next();
      ASSERT_NE(record, nullptr) << r;
      for (std::size_t i = 0; i < variables.size(); ++i)
        EXPECT_EQ((*record)[static_cast<int>(i)], expected[static_cast<std::size_t>(r)][i]) << r << " " << i;
      EXPECT_EQ(source.GetRowNumber(), r + 1);  // the source keeps up, for progress and messages
    }
    EXPECT_EQ(r, kRows);
    EXPECT_EQ(records.GetFailReason(), RowRecordIterator::kEndOfData);
  }
}

TEST(RowRecordIterator, ALevelTheScanDidNotSeeEndsThePassAtItsRow) {
  Columns c = MakeColumns();
  for (std::int8_t& g : c.group)
    if (g == 2) g = 1;
  c.group[300] = 2;  // "g2", which the model's levels lack
  const std::vector<ModelVariable> variables = MakeVariables({"g0", "g1"});
  MemoryColumns source(kRows);
  AddColumns(source, c);
  RowRecordIterator records(source, variables, kRows);
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(records.NewPass(), RowRecordIterator::kMoreRecords);
    long long delivered = 0;
    while (records.HasMore() && records.Next() != nullptr) ++delivered;
    EXPECT_EQ(delivered, 300);
    EXPECT_EQ(records.GetFailReason(), RowRecordIterator::kReadFailure);
    EXPECT_EQ(records.Next(), nullptr);
  }
}

}  // namespace
