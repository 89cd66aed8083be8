// A multinomial logistic fit read three ways (a CSV file through the temporary record file, columns
// in memory and a binary file both read in place in every pass and once more for the classification
// table) gives one document to the last bit, missing values and unused categories included; a fit that
// tabulates the records in memory gives the numbers of one that streams them, up to the order of its
// sums.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/CommandLine.h"
#include "frontend/MemoryColumns.h"
#include "frontend/QXFrontEnd.h"
#include "frontend/RunTool.h"
#include "tests/frontend/tools_test_files.h"
#include "tests/frontend/warpbreaks_rows.h"

namespace {

using QXFit::CommandLine;
using QXFit::MemoryColumns;
using QXFit::Options;
using QXFit::QXFrontEnd;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// warpbreaks with a few values taken out: tension (the response) as codes 0..2 of L, M, H.
struct Data {
  std::vector<double> fBreaks, fWoolNumber, fTensionNumber;
  std::vector<std::int8_t> fWool, fTension;
  Data() {
    for (const auto& row : qxfit_test::ReadWarpbreaks()) {
      fBreaks.push_back(row.fBreaks);
      fWool.push_back(row.fWool == "A" ? 0 : 1);
      fTension.push_back(row.fTension == "L" ? 0 : row.fTension == "M" ? 1 : 2);
    }
    fBreaks[4] = kNaN;
    fWool[9] = -1;
    fTension[20] = -1;
    for (std::size_t k = 0; k < fBreaks.size(); ++k) {
      fWoolNumber.push_back(fWool[k] < 0 ? kNaN : fWool[k]);
      fTensionNumber.push_back(fTension[k] < 0 ? kNaN : fTension[k]);
    }
  }
  std::size_t Rows() const { return fBreaks.size(); }
  static std::string Field(double value) {
    if (std::isnan(value)) return "";
    std::ostringstream out;
    out.precision(17);
    out << value;
    return out.str();
  }
  // The CSV a caller would write of it: texts for the factors, or their codes as numbers.
  std::string Csv(bool texts) const {
    static const char* const kWool[] = {"A", "B"};
    static const char* const kTension[] = {"L", "M", "H"};
    std::string csv = "breaks,wool,tension\n";
    for (std::size_t k = 0; k < Rows(); ++k) {
      csv += Field(fBreaks[k]) + ",";
      if (texts) {
        csv += std::string(fWool[k] < 0 ? "" : kWool[fWool[k]]) + "," +
               (fTension[k] < 0 ? "" : kTension[fTension[k]]) + "\n";
      } else {
        csv += Field(fWoolNumber[k]) + "," + Field(fTensionNumber[k]) + "\n";
      }
    }
    return csv;
  }
};

Options LogisticOptions(const std::string& path) {
  Options options;
  options.fDataPath = path;
  options.fFormula = "tension ~ wool + log(breaks)";
  options.fbLogistic = true;
  options.fbTypeI = true;
  options.fbQuiet = true;
  options.fbJson = true;
  return options;
}

TEST(FrontEndLogistic, FileMemoryAndToolGiveTheSameDocument) {
  const Data data;
  const qxfit_test::TempFile csv("csv", data.Csv(true));
  Options options = LogisticOptions(csv.Path());
  options.fReferences = {{"tension", "M"}};
  QXFrontEnd fromFile;
  ASSERT_TRUE(fromFile.FitFile(options)) << fromFile.GetError();
  ASSERT_TRUE(fromFile.IsLogistic());

  // Categories in the caller's order, one of them never used: the levels are those the data have.
  MemoryColumns columns(static_cast<long long>(data.Rows()));
  ASSERT_TRUE(columns.AddNumeric("breaks", data.fBreaks.data()));
  ASSERT_TRUE(columns.AddCategorical("wool", data.fWool.data(), 1, {"A", "B", "unused"}));
  ASSERT_TRUE(columns.AddCategorical("tension", data.fTension.data(), 1, {"L", "M", "H"}));
  QXFrontEnd fromMemory;
  ASSERT_TRUE(fromMemory.FitColumns(options, columns)) << fromMemory.GetError();
  EXPECT_EQ(fromFile.GetJson(), fromMemory.GetJson());
  EXPECT_EQ(fromFile.GetReport(), fromMemory.GetReport());
  EXPECT_EQ(fromFile.GetNotes(), fromMemory.GetNotes());
  const auto& classification = fromMemory.GetLogisticResult().fClassification;
  ASSERT_EQ(classification.size(), 3U);
  double classified = 0.0;
  for (const auto& row : classification)
    for (const double count : row.fPredicted) classified += count;
  EXPECT_EQ(classified, static_cast<double>(data.Rows()) - 3.0);  // the three rows with a missing value

  std::ostringstream out, err;
  ASSERT_EQ(QXFit::RunTool(options, out, err), CommandLine::kSuccess) << err.str();
  EXPECT_EQ(out.str(), fromMemory.GetJson());
}

TEST(FrontEndLogistic, BinaryFileAndNumericFactorsInMemoryReadAsTheirCsv) {
  const Data data;
  const qxfit_test::TempFile csv("csv", data.Csv(false));
  Options options = LogisticOptions(csv.Path());
  options.fFactors = {"wool"};
  QXFrontEnd fromCsv;
  ASSERT_TRUE(fromCsv.FitFile(options)) << fromCsv.GetError();

  std::vector<double> records;
  for (std::size_t k = 0; k < data.Rows(); ++k)
    records.insert(records.end(), {data.fBreaks[k], data.fWoolNumber[k], data.fTensionNumber[k]});
  const qxfit_test::TempFile binary("bin");
  binary.WriteDoubles(records);
  Options binaryOptions = options;
  binaryOptions.fDataPath = binary.Path();
  binaryOptions.fBinaryColumns = {"breaks", "wool", "tension"};
  QXFrontEnd fromBinary;
  ASSERT_TRUE(fromBinary.FitFile(binaryOptions)) << fromBinary.GetError();
  EXPECT_EQ(fromCsv.GetJson(), fromBinary.GetJson());

  // Numbers made factors are read by value, beside a covariate read straight from its array.
  MemoryColumns columns(static_cast<long long>(data.Rows()));
  ASSERT_TRUE(columns.AddNumeric("breaks", data.fBreaks.data()));
  ASSERT_TRUE(columns.AddNumeric("wool", data.fWoolNumber.data()));
  ASSERT_TRUE(columns.AddNumeric("tension", data.fTensionNumber.data()));
  QXFrontEnd fromMemory;
  ASSERT_TRUE(fromMemory.FitColumns(options, columns)) << fromMemory.GetError();
  EXPECT_EQ(fromCsv.GetJson(), fromMemory.GetJson());
}

TEST(FrontEndLogistic, TabulatedRecordsGiveTheStreamedFit) {
  const Data data;
  MemoryColumns columns(static_cast<long long>(data.Rows()));
  ASSERT_TRUE(columns.AddNumeric("breaks", data.fBreaks.data()));
  ASSERT_TRUE(columns.AddCategorical("wool", data.fWool.data(), 1, {"A", "B"}));
  ASSERT_TRUE(columns.AddCategorical("tension", data.fTension.data(), 1, {"L", "M", "H"}));
  Options options = LogisticOptions("");
  QXFrontEnd streamed, tabulated;
  ASSERT_TRUE(streamed.FitColumns(options, columns)) << streamed.GetError();
  options.fbTabulate = true;
  ASSERT_TRUE(tabulated.FitColumns(options, columns)) << tabulated.GetError();

  const QXFit::LogisticResult& s = streamed.GetLogisticResult();
  const QXFit::LogisticResult& t = tabulated.GetLogisticResult();
  ASSERT_TRUE(s.fMinus2LLFinal && t.fMinus2LLFinal);
  EXPECT_NEAR(*t.fMinus2LLFinal, *s.fMinus2LLFinal, 1e-12 * *s.fMinus2LLFinal);
  ASSERT_EQ(t.fFit.fParameters.size(), s.fFit.fParameters.size());
  for (std::size_t k = 0; k < s.fFit.fParameters.size(); ++k) {
    const auto& a = s.fFit.fParameters[k];
    const auto& b = t.fFit.fParameters[k];
    EXPECT_EQ(a.fLabel, b.fLabel);
    EXPECT_EQ(a.fbRedundant, b.fbRedundant);
    EXPECT_NEAR(a.fEstimate, b.fEstimate, 1e-10 * a.fStdError.value_or(1.0)) << a.fLabel;
    EXPECT_NEAR(a.fStdError.value_or(0.0), b.fStdError.value_or(0.0), 1e-10 * a.fStdError.value_or(1.0));
  }
  ASSERT_EQ(t.fClassification.size(), s.fClassification.size());
  for (std::size_t k = 0; k < s.fClassification.size(); ++k)
    EXPECT_EQ(t.fClassification[k].fPredicted, s.fClassification[k].fPredicted);
}

}  // namespace
