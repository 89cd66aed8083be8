// The front end as a library: one model from a CSV file, from columns in memory and through qxfit's
// own run gives the same document to the last bit; columns in memory are checked before they are
// read; and a front end that has not fitted refuses to report.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
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

// warpbreaks as a caller would hold it: the response as doubles, the factors as category codes.
struct Warpbreaks {
  std::vector<double> fBreaks;
  std::vector<std::int32_t> fWool, fTension;
  Warpbreaks() {
    for (const auto& row : qxfit_test::ReadWarpbreaks()) {
      fBreaks.push_back(row.fBreaks);
      fWool.push_back(row.fWool == "A" ? 0 : 1);
      // Codes in an order of the caller's own: the levels are still sorted by their texts.
      fTension.push_back(row.fTension == "M" ? 0 : row.fTension == "H" ? 1 : 2);
    }
  }
  void AddTo(MemoryColumns& columns) const {
    ASSERT_TRUE(columns.AddNumeric("breaks", fBreaks.data()));
    ASSERT_TRUE(columns.AddCategorical("wool", fWool.data(), 1, {"A", "B"}));
    ASSERT_TRUE(columns.AddCategorical("tension", fTension.data(), 1, {"M", "H", "L"}));
  }
};

Options WarpbreaksOptions() {
  Options options;
  options.fDataPath = std::string(QX_TEST_DATA_DIR) + "/warpbreaks.csv";
  options.fFormula = "breaks ~ wool*tension";
  options.fbTypeI = true;
  options.fbQuiet = true;
  return options;
}

TEST(FrontEnd, FileMemoryAndToolGiveTheSameDocument) {
  Options options = WarpbreaksOptions();
  QXFrontEnd fromFile;
  ASSERT_TRUE(fromFile.FitFile(options)) << fromFile.GetError();

  const Warpbreaks data;
  MemoryColumns columns(static_cast<long long>(data.fBreaks.size()));
  data.AddTo(columns);
  QXFrontEnd fromMemory;
  ASSERT_TRUE(fromMemory.FitColumns(options, columns)) << fromMemory.GetError();
  EXPECT_EQ(fromFile.GetJson(), fromMemory.GetJson());
  EXPECT_EQ(fromFile.GetReport(), fromMemory.GetReport());

  options.fbJson = true;
  std::ostringstream out, err;
  ASSERT_EQ(QXFit::RunTool(options, out, err), CommandLine::kSuccess) << err.str();
  EXPECT_EQ(out.str(), fromMemory.GetJson());
  EXPECT_NEAR(fromMemory.GetResult().fRSquared.value_or(0.0), 0.3777508564,
              1e-9);  // R: summary(lm(...))$r.squared
}

TEST(FrontEnd, PredictionsAndPmmlOfAFit) {
  const Warpbreaks data;
  MemoryColumns columns(static_cast<long long>(data.fBreaks.size()));
  data.AddTo(columns);
  QXFrontEnd fit;
  ASSERT_TRUE(fit.FitColumns(WarpbreaksOptions(), columns)) << fit.GetError();

  const qxfit_test::TempFile predictions("predictions");
  ASSERT_TRUE(fit.WritePredictions(columns, predictions.Path())) << fit.GetError();
  std::ifstream in(predictions.Path());
  std::string header, first;
  std::getline(in, header);
  std::getline(in, first);
  EXPECT_EQ(header, "predicted,se_fit,conf_lower,conf_upper,pred_lower,pred_upper");
  EXPECT_NEAR(std::stod(first.substr(0, first.find(','))), 401.0 / 9.0,
              1e-12);  // the mean of wool A, tension L

  const qxfit_test::TempFile pmmlFile("pmml");
  ASSERT_TRUE(fit.WritePmml(pmmlFile.Path())) << fit.GetError();
  std::ifstream pmmlIn(pmmlFile.Path());
  const std::string pmml((std::istreambuf_iterator<char>(pmmlIn)), std::istreambuf_iterator<char>());
  EXPECT_NE(pmml.find("modelType=\"generalLinear\""), std::string::npos);
  EXPECT_NE(pmml.find("<Value value=\"H\""), std::string::npos);
}

TEST(FrontEnd, FailuresCarryTheToolsMessageAndExitCode) {
  Options options = WarpbreaksOptions();
  QXFrontEnd fit;
  options.fFormula = "breaks ~ Wool";
  EXPECT_FALSE(fit.FitFile(options));
  EXPECT_EQ(fit.GetErrorCode(), CommandLine::kUsage);
  EXPECT_NE(fit.GetError().find("did you mean 'wool'"), std::string::npos);
  EXPECT_FALSE(fit.IsFitted());
  EXPECT_EQ(fit.GetReport(), "");
  EXPECT_FALSE(fit.WritePmml("/nonexistent/model.pmml"));

  options.fDataPath = "/nonexistent/data.csv";
  options.fFormula = "breaks ~ wool";
  EXPECT_FALSE(fit.FitFile(options));
  EXPECT_EQ(fit.GetErrorCode(), CommandLine::kFailure);

  // No rows: the library's own status, not a crash.
  MemoryColumns empty(0);
  const double none = 0.0;
  ASSERT_TRUE(empty.AddNumeric("breaks", &none));
  ASSERT_TRUE(empty.AddNumeric("x", &none));
  options.fFormula = "breaks ~ x";
  EXPECT_FALSE(fit.FitColumns(options, empty));
  EXPECT_NE(fit.GetError().find("the model cannot be fitted"), std::string::npos);
}

TEST(MemoryColumns, RefusesColumnsItCouldNotReadSafely) {
  const std::vector<double> values{1.0, 2.0, 3.0};
  const std::vector<std::int32_t> codes{0, 2, -1};
  MemoryColumns columns(3);
  EXPECT_TRUE(columns.AddNumeric("x", values.data()));
  EXPECT_FALSE(columns.AddNumeric("x", values.data()));
  EXPECT_NE(columns.GetError().find("two columns are named 'x'"), std::string::npos);
  EXPECT_FALSE(columns.AddNumeric("y", nullptr));
  EXPECT_FALSE(columns.AddCategorical("a", codes.data(), 1, {"p", "q"}));
  EXPECT_NE(columns.GetError().find("row 2 has category code 2"), std::string::npos);
  EXPECT_FALSE(columns.AddCategorical("b", codes.data(), 1, {"p", "p", "q"}));
  EXPECT_FALSE(columns.AddNumeric("z", values.data(), std::numeric_limits<std::ptrdiff_t>::max()));
  EXPECT_TRUE(columns.AddCategorical("c", codes.data(), 1, {"p", "q", "r"}));
  // A negative code is missing, NaN is missing, a reversed column reads backwards.
  EXPECT_TRUE(columns.AddNumeric("reversed", values.data() + 2, -1));
  ASSERT_TRUE(columns.Rewind() && columns.Next() && columns.Next() && columns.Next());
  EXPECT_TRUE(columns.IsMissing(1));
  double value = 0.0;
  EXPECT_TRUE(columns.GetNumber(2, value));
  EXPECT_EQ(value, 1.0);
  EXPECT_FALSE(columns.Next());
}

TEST(MemoryColumns, CodesOfEveryWidthReadAlike) {
  const std::vector<std::int8_t> narrow{1, -1, 0};
  const std::vector<std::int16_t> middle{1, -1, 0};
  const std::vector<std::int32_t> wide{1, -1, 0};
  MemoryColumns columns(3);
  ASSERT_TRUE(columns.AddCategorical("a", narrow.data(), 1, {"p", "q"}));
  ASSERT_TRUE(columns.AddCategorical("b", middle.data(), 1, {"p", "q"}));
  ASSERT_TRUE(columns.AddCategorical("c", wide.data(), 1, {"p", "q"}));
  const std::vector<std::int8_t> beyond{0, 2, 0};
  EXPECT_FALSE(columns.AddCategorical("d", beyond.data(), 1, {"p", "q"}));
  ASSERT_TRUE(columns.Rewind());
  for (const bool missing : {false, true, false}) {
    ASSERT_TRUE(columns.Next());
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(columns.IsMissing(c), missing);
      if (!missing) {
        EXPECT_EQ(columns.GetText(c), columns.GetRowNumber() == 1 ? "q" : "p");
      }
    }
  }
}

}  // namespace
