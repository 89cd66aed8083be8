#include <gtest/gtest.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <pugixml.hpp>
#include <string>

#include "common/QXMissingValue.h"
#include "common/QXPMMLExporter.h"
#include "common/QXUniStats.h"
#include "common/QXVarList.h"
#include "common/QXVariable.h"
#include "common/QXZozoREZUtil.h"
#include "common/XMLElement.h"

using QXXML_600::XMLElement;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Parses serialised XML the way a caller's XML reader would; fails the test on malformed text.
pugi::xml_node Parse(pugi::xml_document& doc, const std::string& text) {
  const pugi::xml_parse_result result =
      doc.load_string(text.c_str(), pugi::parse_default | pugi::parse_declaration);
  EXPECT_TRUE(result) << result.description() << "\n" << text;
  return doc.document_element();
}

// Attribute names v0, v1, ... (appended rather than concatenated: g++ 12 warns falsely on
// "v" + std::to_string(i)).
std::string AttributeName(std::size_t i) {
  std::string name(1, 'v');
  name.append(std::to_string(i));
  return name;
}

}  // namespace

TEST(XMLElementText, SpecialCharactersAreEscapedAndReadBackExactly) {
  auto e = XMLElement::Create("Cell");
  const std::string tricky = "a&b<c>d\"e'f\tg\nh\ri ]]> caf\xC3\xA9 \xE6\x97\xA5";
  ASSERT_TRUE(e->AddAttribute("value", tricky));
  e->SetText("x < y & \"z\"");
  const std::string xml = e->ToString(false);
  EXPECT_EQ(xml.find("a&b"), std::string::npos) << xml;
  EXPECT_NE(xml.find("&amp;"), std::string::npos) << xml;
  EXPECT_NE(xml.find("&lt;"), std::string::npos) << xml;
  EXPECT_NE(xml.find("&quot;"), std::string::npos) << xml;

  pugi::xml_document doc;
  const pugi::xml_node cell = Parse(doc, xml);
  EXPECT_EQ(std::string(cell.attribute("value").value()), tricky);
  EXPECT_EQ(std::string(cell.text().get()), "x < y & \"z\"");
}

// XML 1.0 cannot carry most control characters even as references, nor invalid UTF-8: they are
// replaced by U+FFFD so the output always parses.
TEST(XMLElementText, UnrepresentableCharactersBecomeReplacementCharacters) {
  auto e = XMLElement::Create("Cell");
  e->AddAttribute("a", std::string("x\x01y\0z", 5));
  e->AddAttribute("b", "bad \xC3 utf8 \xFF\xFE overlong \xC0\xAF");
  e->SetText("line1\r\nline2\rline3\x1B");
  const std::string rep = "\xEF\xBF\xBD";
  EXPECT_EQ(*e->FindAttribute("a"), "x" + rep + "y" + rep + "z");
  EXPECT_EQ(*e->FindAttribute("b"), "bad " + rep + " utf8 " + rep + rep + " overlong " + rep + rep);
  EXPECT_EQ(e->GetText(), "line1\nline2\nline3" + rep);

  pugi::xml_document doc;
  const pugi::xml_node cell = Parse(doc, e->ToDocument());
  EXPECT_EQ(std::string(cell.attribute("a").value()), *e->FindAttribute("a"));
  EXPECT_EQ(std::string(cell.text().get()), e->GetText());
}

TEST(XMLElementDoubles, ShortestTextThatReadsBackToTheSameValue) {
  EXPECT_EQ(XMLElement::FormatDouble(0.1), "0.1");
  EXPECT_EQ(XMLElement::FormatDouble(1.0), "1");
  EXPECT_EQ(XMLElement::FormatDouble(-2.5e-7), "-2.5e-07");
  EXPECT_EQ(XMLElement::FormatDouble(1e21), "1e+21");
  EXPECT_EQ(XMLElement::FormatDouble(kInf), "INF");
  EXPECT_EQ(XMLElement::FormatDouble(-kInf), "-INF");
  EXPECT_EQ(XMLElement::FormatDouble(std::nan("")), "NaN");
  EXPECT_EQ(XMLElement::FormatDouble(QXMV::gMissingValue), "NaN");

  const double values[] = {1.0 / 3.0,
                           2.0 / 3.0,
                           1e-300,
                           4.9406564584124654e-324,
                           DBL_MAX,
                           -DBL_MIN,
                           0.1 + 0.2,
                           123456789012345680.0,
                           -0.0,
                           6.02214076e23,
                           9007199254740993.0};
  auto e = XMLElement::Create("PCell");
  for (std::size_t i = 0; i < std::size(values); ++i) e->AddAttribute(AttributeName(i), values[i]);
  pugi::xml_document doc;
  const pugi::xml_node cell = Parse(doc, e->ToString());
  for (std::size_t i = 0; i < std::size(values); ++i) {
    const std::string text = cell.attribute(AttributeName(i).c_str()).value();
    double back = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), back);
    EXPECT_EQ(result.ptr, text.data() + text.size()) << text;
    EXPECT_EQ(back, values[i]) << text;
    EXPECT_EQ(std::signbit(back), std::signbit(values[i])) << text;
  }
}

TEST(XMLElementTree, AttributesKeepTheirOrderAndChildrenBelongToTheParent) {
  auto root = XMLElement::Create("ParamMatrix");
  XMLElement* cell = root->AddChild(XMLElement::Create("PCell"));
  ASSERT_NE(cell, nullptr);
  cell->AddAttribute("targetCategory", "1");
  cell->AddAttribute("parameterName", "P0000001");
  cell->AddAttribute("beta", 0.5);
  cell->AddAttribute("df", 1.0);
  cell->AddAttribute("beta", -0.25);  // replaces the value, keeps the place
  root->AddChild(XMLElement::Create("PCell"))->AddAttribute("df", 0.0);
  EXPECT_EQ(root->AddChild(nullptr), nullptr);

  ASSERT_EQ(root->GetNChildren(), 2);
  EXPECT_EQ(root->FindChild("PCell"), cell);
  EXPECT_EQ(root->GetChild(2), nullptr);
  EXPECT_EQ(cell->GetAttributeName(9), "");
  EXPECT_EQ(cell->FindAttribute("missing"), nullptr);

  pugi::xml_document doc;
  const pugi::xml_node parsed = Parse(doc, root->ToDocument());
  EXPECT_EQ(std::string(parsed.name()), "ParamMatrix");
  std::string order;
  for (pugi::xml_attribute a : parsed.first_child().attributes())
    order += std::string(a.name()) + "=" + a.value() + ";";
  EXPECT_EQ(order, "targetCategory=1;parameterName=P0000001;beta=-0.25;df=1;");
  EXPECT_EQ(std::string(parsed.last_child().attribute("df").value()), "0");
  EXPECT_EQ(root->ToDocument().rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);
}

TEST(XMLElementTree, NamesMustBeXmlNames) {
  EXPECT_EQ(XMLElement::Create(""), nullptr);
  EXPECT_EQ(XMLElement::Create("1st"), nullptr);
  EXPECT_EQ(XMLElement::Create("a<b"), nullptr);
  auto e = XMLElement::Create("pmml:Cell_1.x-y");
  ASSERT_NE(e, nullptr);
  EXPECT_FALSE(e->AddAttribute("bad\"name", "v"));
  EXPECT_FALSE(e->AddAttribute("", 1.0));
  EXPECT_EQ(e->GetNAttributes(), 0);
}

TEST(VarList, VariablesDescribeNamesCategoriesAndRanges) {
  QXCommon_600::QXVarList list;
  auto a = std::make_unique<QXCommon_600::QXCatVar>("A", QXCommon_600::QXMeasurement::Ordinal);
  EXPECT_TRUE(a->AddCategory(1.0));
  EXPECT_TRUE(a->AddCategory(2.5));
  EXPECT_TRUE(a->AddCategory(7.0, "seven"));
  EXPECT_FALSE(a->AddCategory(2.5));
  EXPECT_FALSE(a->AddCategory(QXMV::gMissingValue));
  EXPECT_EQ(list.AddVariable(std::move(a)), 0);
  EXPECT_EQ(list.AddVariable(std::make_unique<QXCommon_600::QXContVar>("X", -1.5, 4.0)), 1);
  EXPECT_EQ(list.AddVariable(nullptr), -1);

  const QXCommon_600::IQXVariable* var = list.GetVarAt(0);
  ASSERT_NE(var, nullptr);
  EXPECT_EQ(var->GetMeasurement(), QXCommon_600::QXMeasurement::Ordinal);
  EXPECT_EQ(var->GetCategoryText(0), "1");
  EXPECT_EQ(var->GetCategoryText(1), "2.5");
  EXPECT_EQ(var->GetCategoryText(2), "seven");
  EXPECT_EQ(var->GetCategoryValue(-1), QXMV::gMissingValue);
  EXPECT_EQ(var->AsContVar(), nullptr);

  const QXCommon_600::QXContVar* x = list.GetVarAt(1)->AsContVar();
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x->GetMin(), -1.5);
  EXPECT_EQ(x->GetMax(), 4.0);
  EXPECT_EQ(list.GetVarAt(2), nullptr);
  EXPECT_EQ(list.GetVarAt(-1), nullptr);

  QXCommon_600::QXContVar y("Y");
  EXPECT_FALSE(y.SetRange(3.0, 2.0));
  EXPECT_FALSE(y.SetRange(std::nan(""), 2.0));
  EXPECT_EQ(y.GetMax(), QXMV::gMissingValue);
}

TEST(ZozoREZ, FactorCovariateAndStatisticElements) {
  auto factor = QXXML_600::QXZozoREZUtil::CreateElemFactor("A", "1", false);
  EXPECT_EQ(factor->ToString(false), "<Factor name=\"A\" category=\"1\"/>");
  auto nested = QXXML_600::QXZozoREZUtil::CreateElemFactor("B", "2", true);
  EXPECT_EQ(*nested->FindAttribute("isNested"), "true");
  auto covariate = QXXML_600::QXZozoREZUtil::CreateElemCovariate("X", 2);
  EXPECT_EQ(covariate->ToString(false), "<Covariate name=\"X\" power=\"2\"/>");
  EXPECT_EQ(*QXXML_600::QXZozoREZUtil::CreateElemStatistic("sig", 0.0123)->FindAttribute("value"), "0.0123");
  EXPECT_EQ(QXXML_600::QXZozoREZUtil::CreateElemStatistic("sig", QXMV::gMissingValue)->FindAttribute("value"),
            nullptr);
}

class UniStatsExport : public ::testing::Test {
 protected:
  static std::unique_ptr<XMLElement> Export(const QXXML_600::QXUniStats& stats) {
    std::unique_ptr<XMLElement> element;
    EXPECT_TRUE(QXXML_600::QXPMMLExporter::ExportUniStats(stats, element).IsOK());
    return element;
  }
};

TEST_F(UniStatsExport, CovariateSummaryHasTheSchemaShape) {
  QXXML_600::QXUniSummary summary;
  summary.fMinimum = -1.5;
  summary.fMaximum = 4.0;
  summary.fMean = 0.75;
  auto uni = Export(QXXML_600::QXUniStats("X", 120.0, summary, {}, {}));
  ASSERT_NE(uni, nullptr);
  pugi::xml_document doc;
  const pugi::xml_node node = Parse(doc, uni->ToString());
  EXPECT_EQ(std::string(node.name()), "UnivariateStats");
  EXPECT_EQ(std::string(node.attribute("field").value()), "X");
  EXPECT_EQ(std::string(node.first_child().name()), "Counts");
  EXPECT_EQ(node.child("Counts").attribute("totalFreq").as_double(), 120.0);
  const pugi::xml_node info = node.child("NumericInfo");
  EXPECT_EQ(info.attribute("minimum").as_double(), -1.5);
  EXPECT_EQ(info.attribute("maximum").as_double(), 4.0);
  EXPECT_EQ(info.attribute("mean").as_double(), 0.75);
  EXPECT_TRUE(info.attribute("standardDeviation").empty());
  EXPECT_TRUE(node.child("DiscrStats").empty());
}

TEST_F(UniStatsExport, MissingValuesAreLeftOutAndAnEmptyFieldIsRefused) {
  auto bare = Export(QXXML_600::QXUniStats("Z", QXMV::gMissingValue, {}, {{150.0, 1.0}, {50.0, kInf}}, {}));
  ASSERT_NE(bare, nullptr);
  EXPECT_EQ(bare->GetNChildren(), 0);

  std::unique_ptr<XMLElement> element = XMLElement::Create("Stale");
  const auto status =
      QXXML_600::QXPMMLExporter::ExportUniStats(QXXML_600::QXUniStats("", 1.0, {}, {}, {}), element);
  EXPECT_EQ(status.GetErrorCode(), 303);
  EXPECT_TRUE(status.IsError());
  EXPECT_EQ(element, nullptr);
}

// The fragment, wrapped in a minimal PMML 4.4 document built with the same elements, validates
// against the published schema when xmllint is installed.
TEST_F(UniStatsExport, ValidatesAgainstThePmmlSchema) {
  QXXML_600::QXUniSummary summary;
  summary.fMinimum = 1.0;
  summary.fMaximum = 9.0;
  summary.fMean = 4.2;
  summary.fStandardDeviation = 2.0;
  auto uni = Export(QXXML_600::QXUniStats("A", 30.0, summary, {{25.0, 2.0}, {75.0, 6.5}},
                                          {{"low", 10.0}, {"say \"hi\"", 20.0}}));
  ASSERT_NE(uni, nullptr);
  ASSERT_NE(uni->FindChild("DiscrStats"), nullptr);
  EXPECT_EQ(uni->FindChild("DiscrStats")->GetChild(0)->GetText(), "\"low\" \"say \\\"hi\\\"\"");
  EXPECT_EQ(uni->FindChild("NumericInfo")->GetNChildren(), 2);

  const char* xmllint = "/usr/bin/xmllint";
  if (!std::filesystem::exists(xmllint)) GTEST_SKIP() << "xmllint (libxml2-utils) is not installed";

  auto pmml = XMLElement::Create("PMML");
  pmml->AddAttribute("version", "4.4");
  pmml->AddAttribute("xmlns", "http://www.dmg.org/PMML-4_4");
  pmml->AddChild(XMLElement::Create("Header"));
  XMLElement* dictionary = pmml->AddChild(XMLElement::Create("DataDictionary"));
  dictionary->AddAttribute("numberOfFields", 1.0);
  XMLElement* field = dictionary->AddChild(XMLElement::Create("DataField"));
  field->AddAttribute("name", "A");
  field->AddAttribute("optype", "continuous");
  field->AddAttribute("dataType", "double");
  XMLElement* model = pmml->AddChild(XMLElement::Create("RegressionModel"));
  model->AddAttribute("functionName", "regression");
  model->AddChild(XMLElement::Create("MiningSchema"))
      ->AddChild(XMLElement::Create("MiningField"))
      ->AddAttribute("name", "A");
  model->AddChild(XMLElement::Create("ModelStats"))->AddChild(std::move(uni));
  model->AddChild(XMLElement::Create("RegressionTable"))->AddAttribute("intercept", 0.0);

  const std::filesystem::path file = std::filesystem::path(::testing::TempDir()) / "qx_unistats.pmml";
  std::ofstream(file) << pmml->ToDocument();
  const std::string command = std::string(xmllint) +
                              " --noout --schema " QX_TEST_REFERENCE_DIR "/pmml-4-4.xsd " + file.string() +
                              " 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << pmml->ToDocument();
}
