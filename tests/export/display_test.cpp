// The diagnostic display of the classes that print their state: a blank line, the opening line of
// the class, its members (a null pointer said in words) and the closing line.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "qxregres600r.h"

namespace {

template <typename Displayable>
std::vector<std::string> DisplayedLines(const Displayable& object) {
  ::testing::internal::CaptureStdout();
  object.Display();
  const std::string text = ::testing::internal::GetCapturedStdout();
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

void ExpectFramed(const std::vector<std::string>& lines, const std::string& name) {
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], " ");
  EXPECT_EQ(lines[1], name + " display start");
  EXPECT_EQ(lines.back(), name + " display end");
}

TEST(Display, FactoryShowsTheStatusOfItsLastCreation) {
  QXMath_600::QXRegFactory factory;
  QXMath_600::QXRegSettings settings;
  EXPECT_EQ(factory.CreateRegAlgorithm(settings), nullptr);
  const auto lines = DisplayedLines(factory);
  ExpectFramed(lines, "QXRegFactory");
  EXPECT_TRUE(Contains(lines, "Status of the last creation = 301"));
}

TEST(Display, CancelInformationShowsTheFlagAndWhetherACallerAsks) {
  QXMath_600::QXCancelInfo cancel;
  cancel.SetCancel();
  const auto lines = DisplayedLines(cancel);
  ExpectFramed(lines, "QXCancelInfo");
  EXPECT_TRUE(Contains(lines, "fbCancelled = true"));
  EXPECT_TRUE(Contains(lines, "fpQueryCancel is 0"));
}

TEST(Display, BinaryIteratorShowsItsRecordsAndState) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  const double values[] = {1.5, 2.0, 3.0, 4.0};
  std::fwrite(values, sizeof(double), 4, file);
  std::fflush(file);
  QXCommon_600::BinaryRecordIterator iterator(file, 2);
  iterator.NewPass();
  iterator.Next();
  const auto lines = DisplayedLines(iterator);
  std::fclose(file);
  ExpectFramed(lines, "BinaryRecordIterator");
  EXPECT_TRUE(Contains(lines, "fCurrent = [1.5, 2]"));
  EXPECT_TRUE(Contains(lines, "fNVariables = 2"));
}

TEST(Display, EveryLinkFunctionNamesItsClassAndParameter) {
  const std::vector<std::string> names{
      "QXLinkCompLog2",    "QXLinkIdentity",    "QXLinkLog",       "QXLinkLogComp",    "QXLinkLogit",
      "QXLinkNegBinomial", "QXLinkNegLog2",     "QXLinkOddsPower", "QXLinkPower",      "QXLinkProbit",
      "QXLinkCumCauchit",  "QXLinkCumCompLog2", "QXLinkCumLogit",  "QXLinkCumNegLog2", "QXLinkCumProbit"};
  for (int type = 0; type < 15; ++type) {
    std::unique_ptr<QXMath_600::IQXLinkFunc> link(
        QXMath_600::CreateLinkFunction(static_cast<QXConst::LinkType>(type), 0.5));
    ASSERT_NE(link, nullptr);
    const auto lines = DisplayedLines(*link);
    ExpectFramed(lines, names[static_cast<std::size_t>(type)]);
    const bool hasParameter = type == QXConst::QXLinkTypeNegBinomial ||
                              type == QXConst::QXLinkTypeOddsPower || type == QXConst::QXLinkTypePower;
    EXPECT_EQ(Contains(lines, "fParam = 0.5"), hasParameter) << names[static_cast<std::size_t>(type)];
  }
}

TEST(Display, EffectTestDataShowsItsMembersAndTheMatricesItLacks) {
  QXMath_600::QXRegSettings settings;
  settings.SetDependent(0);
  const QXMath_600::QXEffectTestData data(settings, {}, {1.0}, {}, {}, QXConst::QXDistNormal, 0, 10.0);
  const auto lines = DisplayedLines(data);
  ExpectFramed(lines, "QXEffectTestData");
  EXPECT_TRUE(Contains(lines, "fpHMatrix is 0"));
  EXPECT_TRUE(Contains(lines, "fpModelTests is 0"));
  EXPECT_TRUE(Contains(lines, "fDistType = Normal"));
  EXPECT_TRUE(Contains(lines, "fDF = 10"));
}

TEST(Display, PmmlExporterShowsItsLayoutAndParameters) {
  QXMath_600::QXRegSettings settings;
  settings.SetDependent(0);
  QXCommon_600::QXVarList variables;
  variables.AddVariable(std::make_unique<QXCommon_600::QXContVar>("y"));
  const std::vector<QXMath_600::QXRegrParameter> parameters(1);
  const std::vector<double> estimates{2.5};
  const QXMath_600::QXBitSet nonRedundant(1);
  const QXMath_600::QXPMMLRegrExporter exporter(settings, variables, parameters, estimates, nonRedundant,
                                                nullptr);
  const auto lines = DisplayedLines(exporter);
  ExpectFramed(lines, "QXPMMLRegrExporter");
  EXPECT_TRUE(Contains(lines, "Parameter name = P0000001"));
  EXPECT_TRUE(Contains(lines, "Parameter label = Intercept"));
  EXPECT_TRUE(Contains(lines, "Parameter estimates = [2.5]"));
}

}  // namespace
