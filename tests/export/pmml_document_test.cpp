// The standalone PMML document around the exporter's elements: what it adds (header, data
// dictionary, model attributes, the optional statistics and covariance) and the inputs it refuses.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "tests/export/export_test_support.h"

namespace {

using export_test::json;
using QXMath_600::QXPMMLDocument;
using QXMath_600::QXPMMLDocumentOptions;
using QXXML_600::XMLElement;

// warpbreaks with breaks ~ wool * tension, from the linear reference cases.
class PmmlDocument : public testing::Test {
 protected:
  static json Case() {
    const json reference = export_test::LoadReference("linear_models.json");
    for (const json& c : reference["cases"])
      if (c["name"] == "warpbreaks_interaction") return c;
    ADD_FAILURE() << "no warpbreaks case";
    return json();
  }
  QXCommon_600::QXStatus Create(const QXCommon_600::QXVarList& variables,
                                const QXPMMLDocumentOptions& options) {
    return QXPMMLDocument::Create(fFit.Component(), variables, options, fDocument);
  }

  const json fCase = Case();
  export_test::LinearFit fFit{qx_linear_test::MakeSettings(fCase), fCase};
  std::unique_ptr<XMLElement> fDocument;
};

TEST_F(PmmlDocument, WrapsTheModelWithHeaderDictionaryAndStatistics) {
  QXPMMLDocumentOptions options;
  options.fModelName = "breaks by wool and tension";
  options.fDescription = "warpbreaks";
  options.fCopyright = "public data";
  QXMath_600::QXRegANOVA anova;
  anova.fModelSumOfSquares = 3.0, anova.fModelDF = 5.0, anova.fErrorSumOfSquares = 6.0, anova.fErrorDF = 48.0;
  anova.fTotalSumOfSquares = 9.0, anova.fTotalDF = 53.0;
  options.fpAnova = &anova;
  ASSERT_TRUE(Create(export_test::MakeVariables(fCase), options).IsOK());
  const std::string text = fDocument->ToDocument();
  if (export_test::HaveXmllint()) {
    EXPECT_EQ(export_test::SchemaErrors(text, "warpbreaks_document"), "") << text;
  }
  pugi::xml_document parsed;
  ASSERT_TRUE(parsed.load_string(text.c_str()));
  const pugi::xml_node pmml = parsed.child("PMML");
  EXPECT_STREQ(pmml.attribute("version").value(), "4.4");
  EXPECT_STREQ(pmml.child("Header").attribute("description").value(), "warpbreaks");
  EXPECT_STREQ(pmml.child("Header").child("Application").attribute("name").value(), "qxregres600r");
  const pugi::xml_node dictionary = pmml.child("DataDictionary");
  EXPECT_EQ(dictionary.attribute("numberOfFields").as_int(), 3);
  EXPECT_STREQ(dictionary.first_child().attribute("optype").value(), "continuous");
  const pugi::xml_node tension = dictionary.find_child_by_attribute("name", "tension");
  EXPECT_STREQ(tension.attribute("optype").value(), "categorical");
  std::string values;
  for (pugi::xml_node v : tension.children("Value")) values += v.attribute("value").value();
  EXPECT_EQ(values, "HLM");
  const pugi::xml_node model = pmml.child("GeneralRegressionModel");
  EXPECT_STREQ(model.attribute("modelType").value(), "generalLinear");
  EXPECT_STREQ(model.attribute("modelName").value(), "breaks by wool and tension");
  EXPECT_STREQ(model.child("ModelStats").child("UnivariateStats").attribute("field").value(), "breaks");
  EXPECT_TRUE(model.child("PCovMatrix"));
  EXPECT_FALSE(model.child("CovariateList"));
}

TEST_F(PmmlDocument, ACovarianceWithoutNonZeroElementValidates) {
  QXPMMLDocumentOptions options;
  const QXMath_600::QXSymMatrix zero(static_cast<int>(fFit.Stats().GetParamEstimates().size()));
  options.fpCovariance = &zero;
  ASSERT_TRUE(Create(export_test::MakeVariables(fCase), options).IsOK());
  const std::string text = fDocument->ToDocument();
  EXPECT_NE(text.find("<PCovCell pRow=\"P0000001\" pCol=\"P0000001\" value=\"0.0\" />"), std::string::npos);
  if (export_test::HaveXmllint()) {
    EXPECT_EQ(export_test::SchemaErrors(text, "zero_covariance"), "") << text;
  }
  const QXMath_600::QXSymMatrix wrongOrder(3);
  options.fpCovariance = &wrongOrder;
  EXPECT_EQ(Create(export_test::MakeVariables(fCase), options).GetErrorCode(), 336);
  EXPECT_EQ(fDocument, nullptr);
}

// A consumer matches a record's category by its text, so two categories of one text, or two fields
// of one name, cannot make a scorable document.
TEST_F(PmmlDocument, AmbiguousTextsAndNamesAreRefused) {
  export_test::Renaming sameText;
  sameText.texts = {{"tension", {"H", "L", "H"}}};
  EXPECT_EQ(Create(export_test::MakeVariables(fCase, sameText), {}).GetErrorCode(), 303);
  EXPECT_EQ(fDocument, nullptr);
  export_test::Renaming sameName;
  sameName.names = {{"tension", "wool"}};
  EXPECT_EQ(Create(export_test::MakeVariables(fCase, sameName), {}).GetErrorCode(), 303);
}

TEST(PmmlDocumentStates, AComponentWithoutAModelHasNoDocument) {
  const json reference = export_test::LoadReference("linear_models.json");
  QXMath_600::QXRegSettings settings = qx_linear_test::MakeSettings(reference["cases"][0]);
  QXMath_600::QXRegFactory factory;
  std::unique_ptr<QXMath_600::IQXRegComponent> component(factory.CreateRegAlgorithm(settings));
  std::unique_ptr<XMLElement> document;
  const QXCommon_600::QXStatus status =
      QXPMMLDocument::Create(*component, export_test::MakeVariables(reference["cases"][0]), {}, document);
  EXPECT_TRUE(status.IsError());
  EXPECT_EQ(document, nullptr);
}

// Multinomial: the reference category is the one no block predicts; a request for a category that a
// block predicts, or a dependent with two unpredicted categories and no reference named, cannot be
// written; the dependent's field offers the categories the model predicts. Ordinal: only the
// cumulative links PMML knows.
TEST(PmmlDocumentCategories, ReferenceCategoryAndCumulativeLinkMustBeMeaningful) {
  QXMath_600::QXLogRegSettings settings;
  settings.SetDependent(0);
  QXCommon_600::QXVarList variables;
  auto y = std::make_unique<QXCommon_600::QXCatVar>("y");
  for (double v : {0.0, 1.0, 2.0, 3.0}) y->AddCategory(v);
  variables.AddVariable(std::move(y));
  QXMath_600::QXRegrParameter intercept;
  std::vector<QXMath_600::QXRegrParameter> parameters(2, intercept);
  parameters[0].SetTargetCategory(1);
  parameters[1].SetTargetCategory(2);
  const std::vector<double> estimates{0.5, -0.5};
  QXMath_600::QXBitSet nonRedundant(2);
  nonRedundant.SetRange(0, 1);
  std::unique_ptr<XMLElement> document;
  QXPMMLDocumentOptions options;
  EXPECT_EQ(
      QXPMMLDocument::Create(settings, variables, parameters, estimates, nonRedundant, options, document)
          .GetErrorCode(),
      303)
      << "categories 0 and 3 are both unpredicted";
  options.fReferenceCategory = 1;
  EXPECT_EQ(
      QXPMMLDocument::Create(settings, variables, parameters, estimates, nonRedundant, options, document)
          .GetErrorCode(),
      303);
  options.fReferenceCategory = 3;
  ASSERT_TRUE(
      QXPMMLDocument::Create(settings, variables, parameters, estimates, nonRedundant, options, document)
          .IsOK());
  EXPECT_EQ(*document->FindChild("GeneralRegressionModel")->FindAttribute("targetReferenceCategory"), "3");
  // Category 0 has no block and is not the reference: the model cannot predict it.
  const XMLElement* target = document->FindChild("DataDictionary")->FindChild("DataField");
  ASSERT_EQ(target->GetNChildren(), 3);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(*target->GetChild(k)->FindAttribute("value"), std::to_string(k + 1));

  class Ordinal : public QXMath_600::QXLogRegSettings {
   public:
    QXConst::QXRegModelType GetModelType() const override { return QXConst::QXRegModelOrdinal; }
  } ordinal;
  ordinal.SetDependent(0);
  const std::vector<double> thresholds{-1.0, 0.0, 1.0};
  QXMath_600::QXBitSet all(3);
  all.SetRange(0, 2);
  const std::vector<QXMath_600::QXRegrParameter> one{intercept};
  options.fCumulativeLink = "probit";
  ASSERT_TRUE(QXPMMLDocument::Create(ordinal, variables, one, thresholds, all, options, document).IsOK());
  EXPECT_EQ(*document->FindChild("GeneralRegressionModel")->FindAttribute("cumulativeLink"), "probit");
  options.fCumulativeLink = "logistic";
  EXPECT_EQ(
      QXPMMLDocument::Create(ordinal, variables, one, thresholds, all, options, document).GetErrorCode(),
      303);
}

}  // namespace
