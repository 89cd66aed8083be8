// The in-memory iterator: every layout delivers the caller's values in record order, pass after pass;
// layouts that cannot be read fail as a broken file does; and a model built over it is the model
// built over the same records in a binary file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

#include "qxregres600r.h"

namespace {

using QXCommon_600::QXMemoryRecordIterator;
using QXCommon_600::Record;
using Rows = std::vector<std::vector<double>>;
using Columns = std::vector<QXMemoryRecordIterator::Column>;

Rows Pass(QXCommon_600::MultiPassRecordIter& iterator) {
  Rows rows;
  while (iterator.HasMore()) {
    const Record* record = iterator.Next();
    if (!record) break;
    rows.emplace_back(record->GetAll(), record->GetAll() + record->Size());
  }
  return rows;
}

const Rows kRows{{1.0, 2.0, 3.0}, {4.0, 5.0, 6.0}, {7.0, 8.0, 9.0}, {10.0, 11.0, 12.0}};

TEST(MemoryRecordIterator, EveryLayoutDeliversTheRecordsInOrderOnEveryPass) {
  // Rows, one array per variable, and the columns of a column-major array read backwards.
  const std::vector<double> rowMajor{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const std::vector<double> x{1, 4, 7, 10}, y{2, 5, 8, 11}, z{3, 6, 9, 12};
  const std::vector<double> reversed{10, 7, 4, 1, 11, 8, 5, 2, 12, 9, 6, 3};
  QXMemoryRecordIterator rows(rowMajor.data(), 4, 3);
  QXMemoryRecordIterator columns(std::vector<const double*>{x.data(), y.data(), z.data()}, 4);
  QXMemoryRecordIterator strided(
      Columns{{reversed.data() + 3, -1}, {reversed.data() + 7, -1}, {reversed.data() + 11, -1}}, 4);
  for (QXMemoryRecordIterator* iterator : {&rows, &columns, &strided}) {
    EXPECT_EQ(iterator->GetNVariables(), 3);
    EXPECT_EQ(iterator->GetNRecords(), 4);
    EXPECT_EQ(Pass(*iterator), kRows);
    EXPECT_EQ(iterator->GetFailReason(), QXMemoryRecordIterator::kEndOfData);
    EXPECT_EQ(iterator->Next(), nullptr);
    EXPECT_EQ(iterator->NewPass(), QXMemoryRecordIterator::kMoreRecords);
    EXPECT_EQ(Pass(*iterator), kRows);
  }
  // A step of 0 repeats one value for every record (a broadcast constant).
  const double one = 1.0;
  QXMemoryRecordIterator constant(Columns{{&one, 0}}, 3);
  EXPECT_EQ(Pass(constant), (Rows{{1.0}, {1.0}, {1.0}}));
}

TEST(MemoryRecordIterator, NoRecordsEndsAtOnceAndUnreadableLayoutsFail) {
  QXMemoryRecordIterator empty(static_cast<const double*>(nullptr), 0, 2);
  EXPECT_FALSE(empty.HasMore());
  EXPECT_EQ(empty.GetFailReason(), QXMemoryRecordIterator::kEndOfData);

  const double values[2] = {1.0, 2.0};
  const std::vector<QXMemoryRecordIterator*> broken = {
      new QXMemoryRecordIterator(static_cast<const double*>(nullptr), 3, 2),
      new QXMemoryRecordIterator(values, -1, 2),
      new QXMemoryRecordIterator(values, 1, 0),
      new QXMemoryRecordIterator(std::vector<const double*>{values, nullptr}, 1),
      new QXMemoryRecordIterator(Columns{}, 1),
      new QXMemoryRecordIterator(Columns{{values, std::numeric_limits<std::ptrdiff_t>::max() / 2}}, 3),
      new QXMemoryRecordIterator(Columns{{values, std::numeric_limits<std::ptrdiff_t>::min()}}, 2)};
  for (QXMemoryRecordIterator* iterator : broken) {
    std::unique_ptr<QXMemoryRecordIterator> owned(iterator);
    EXPECT_FALSE(iterator->HasMore());
    EXPECT_EQ(iterator->Next(), nullptr);
    EXPECT_EQ(iterator->GetFailReason(), QXMemoryRecordIterator::kReadFailure);
    EXPECT_EQ(iterator->NewPass(), QXMemoryRecordIterator::kReadFailure);
  }
}

// y ~ A + x with A of 3 categories: the same records from memory and from a binary file.
TEST(MemoryRecordIterator, ModelFromMemoryIsTheModelFromAFile) {
  const std::vector<double> y{1.0, 2.5, 2.0, 4.0, 6.5, 5.0, 9.0, 11.0, std::nan("")};
  const std::vector<double> a{0, 0, 0, 1, 1, 1, 2, 2, 2};
  const std::vector<double> x{0.5, 1.0, 1.5, 0.2, 0.9, 0.4, 2.0, 2.5, 3.0};
  QXMath_600::QXRegSettings settings;
  settings.SetDependent(0);
  settings.AddFactor(1, 3);
  settings.AddCovariate(2);
  const std::vector<int> candidates{1, 2};
  QXMath_600::QXModelEffect effectA(1, 1, &candidates), effectX(1, 1, &candidates);
  effectA.AddNewFactor(1, false);
  effectX.AddCovariate(2);
  settings.AddModelEffect(effectA);
  settings.AddModelEffect(effectX);

  auto fit = [&](QXCommon_600::MultiPassRecordIter& records) {
    QXMath_600::QXRegFactory factory;
    std::unique_ptr<QXMath_600::IQXRegComponent> component(factory.CreateRegAlgorithm(settings));
    EXPECT_TRUE(component->BuildModel(records).IsOK());
    QXMath_600::IQXRegOutputStats* stats = nullptr;
    EXPECT_TRUE(component->GetOutputStats(stats).IsOK());
    return std::make_pair(stats->GetParamEstimates(), stats->GetTotalFreqWeight());
  };
  QXMemoryRecordIterator columns(std::vector<const double*>{y.data(), a.data(), x.data()}, 9);
  const auto fromMemory = fit(columns);
  // The NaN response leaves its record out, as the system-missing value does in the file.
  EXPECT_EQ(fromMemory.second, 8.0);

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
  ASSERT_TRUE(file);
  for (std::size_t k = 0; k < y.size(); ++k) {
    const double record[3] = {std::isnan(y[k]) ? QXMV::gMissingValue : y[k], a[k], x[k]};
    std::fwrite(record, sizeof(double), 3, file.get());
  }
  std::fflush(file.get());
  QXCommon_600::BinaryRecordIterator binary(file.get(), 3);
  binary.NewPass();
  EXPECT_EQ(fit(binary), fromMemory);
}

}  // namespace
