#include <gtest/gtest.h>

#include <vector>

#include "qxregres600r.h"

namespace {

using QXMath_600::QXRecordExtractor;

TEST(RecordExtractor, LaysOutDependentFactorsCovariatesThenWeights) {
  const QXRecordExtractor extractor(7, {2, 4}, {9}, -1, 1);
  EXPECT_EQ(extractor.GetExtractSize(), 5);
  EXPECT_EQ(extractor.GetAllRecordIndices(), (std::vector<int>{7, 2, 4, 9, 1}));
  EXPECT_EQ(extractor.GetDependentOffset(), 0);
  EXPECT_EQ(extractor.GetFactorOffsets(), (std::vector<int>{1, 2}));
  EXPECT_EQ(extractor.GetCovariateOffsets(), std::vector<int>{3});
  EXPECT_EQ(extractor.GetFreqWeightOffset(), -1);
  EXPECT_EQ(extractor.GetRegrWeightOffset(), 4);

  std::vector<double> record(10);
  for (int i = 0; i < 10; ++i) record[i] = 10.0 * i;
  double out[5];
  extractor.ExtractRecord(out, record.data());
  EXPECT_EQ(std::vector<double>(out, out + 5), (std::vector<double>{70, 20, 40, 90, 10}));

  // The vector form fills only the elements the caller provided.
  std::vector<double> shortOut(3, -1.0);
  extractor.ExtractRecord(shortOut, record.data());
  EXPECT_EQ(shortOut, (std::vector<double>{70, 20, 40}));
}

TEST(RecordExtractor, BothWeightsFollowTheCovariatesAndAMissingDependentReadsAsMissing) {
  QXRecordExtractor extractor;
  EXPECT_EQ(extractor.GetExtractSize(), 0);
  extractor.SetRecordIndices(-1, {}, {0}, 2, 1);
  EXPECT_EQ(extractor.GetAllRecordIndices(), (std::vector<int>{-1, 0, 2, 1}));
  EXPECT_EQ(extractor.GetFreqWeightOffset(), 2);
  EXPECT_EQ(extractor.GetRegrWeightOffset(), 3);
  const double record[3] = {5.0, 6.0, 7.0};
  std::vector<double> out(4);
  extractor.ExtractRecord(out, record);
  EXPECT_EQ(out, (std::vector<double>{QXMV::gMissingValue, 5.0, 7.0, 6.0}));
}

}  // namespace
