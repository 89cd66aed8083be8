// Standalone PMML documents of real fits, validated against the PMML 4.4 schema and scored back by an
// independent reader (pmml_scorer.h) from nothing but the document:
//   - every linear model of linear_models.json (factors, interactions, nesting, covariate powers and
//     products, aliased parameters, weights, no intercept) through the fitted component, against the
//     component's own predictions and lm()'s fitted values;
//   - a multinomial logistic fit from VGAM in the library's layout, with the last and with the first
//     category as the reference, against VGAM's fitted probabilities;
//   - every multinomial logistic fit of logistic_models.json through the library's own component,
//     against the component's own probabilities, the covariance against the inverse information;
//   - an ordinal (cumulative logit) fit from MASS::polr, against polr's fitted probabilities.
#include <gtest/gtest.h>

#include <functional>
#include <pugixml.hpp>

#include "tests/export/export_test_support.h"
#include "tests/logistic/logistic_test_support.h"

namespace {

using export_test::json;
using QXMath_600::QXPMMLDocument;
using QXMath_600::QXPMMLDocumentOptions;

// |a - b| <= rel * scale, with the scale of the response so that predictions near 0 are judged
// against their neighbours.
double Scale(const json& values) {
  double scale = 0.0;
  for (const auto& v : values) scale = std::max(scale, std::fabs(v.get<double>()));
  return scale;
}

// A label's products in a fixed order: the library writes a product of covariates in the settings'
// order of the covariates, R's rebuild of the design in the order of the model term.
std::vector<std::string> Products(const std::string& label) {
  std::vector<std::string> pieces;
  for (std::size_t start = 0;;) {
    const std::size_t end = label.find(" * ", start);
    pieces.push_back(label.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 3;
  }
  std::sort(pieces.begin(), pieces.end());
  return pieces;
}

std::string Validated(const std::unique_ptr<QXXML_600::XMLElement>& document, const std::string& name) {
  EXPECT_NE(document, nullptr);
  if (!document) return std::string();
  const std::string text = document->ToDocument();
  if (export_test::HaveXmllint()) {
    EXPECT_EQ(export_test::SchemaErrors(text, name), "") << text;
  }
  return text;
}

TEST(PmmlLinearDocument, EveryReferenceFitValidatesAndScoresAsTheComponentPredicts) {
  const json reference = export_test::LoadReference("linear_models.json");
  for (const json& c : reference["cases"]) {
    SCOPED_TRACE(c["name"].get<std::string>());
    const QXMath_600::QXRegSettings settings = qx_linear_test::MakeSettings(c);
    export_test::LinearFit fit(settings, c);
    const QXCommon_600::QXVarList variables = export_test::MakeVariables(c);
    std::unique_ptr<QXXML_600::XMLElement> document;
    QXPMMLDocumentOptions options;
    options.fModelName = c["name"];
    ASSERT_TRUE(QXPMMLDocument::Create(fit.Component(), variables, options, document).IsOK());
    const std::string text = Validated(document, c["name"]);

    // Labels and redundancy as R's rebuild of the design has them.
    pugi::xml_document parsed;
    ASSERT_TRUE(parsed.load_string(text.c_str()));
    const pugi::xml_node model = parsed.child("PMML").child("GeneralRegressionModel");
    std::size_t p = 0;
    for (pugi::xml_node parameter : model.child("ParameterList").children("Parameter"))
      EXPECT_EQ(Products(parameter.attribute("label").value()),
                Products(c["parameters"][p++]["label"].get<std::string>()));
    EXPECT_EQ(p, c["parameters"].size());
    p = 0;
    for (pugi::xml_node cell : model.child("ParamMatrix").children("PCell"))
      EXPECT_EQ(cell.attribute("df").as_int(), c["parameters"][p++]["redundant"].get<bool>() ? 0 : 1);
    // The covariance is that of the estimates: its diagonal holds lm()'s squared standard errors.
    for (pugi::xml_node cell : model.child("PCovMatrix").children("PCovCell")) {
      if (std::string(cell.attribute("pRow").value()) != cell.attribute("pCol").value()) continue;
      const int k = std::stoi(cell.attribute("pRow").value() + 1) - 1;
      const double se = c["parameters"][static_cast<std::size_t>(k)]["std_error"];
      EXPECT_NEAR(cell.attribute("value").as_double(), se * se, 1e-10 * se * se);
    }

    const pmml_scoring::Scorer scorer(text);
    EXPECT_EQ(scorer.ModelType(), "generalLinear");
    const double scale = Scale(c["fitted"]);
    std::vector<double> probabilities;
    for (std::size_t r = 0; r < c["records"].size(); ++r) {
      const double fromDocument = scorer.Predict(export_test::ConsumerInputs(c, variables, r));
      double predicted = 0.0;
      ASSERT_TRUE(
          fit.Component().Score(export_test::ToRecord(c["records"][r]), predicted, probabilities).IsOK());
      EXPECT_NEAR(fromDocument, predicted, 1e-12 * scale) << "record " << r;
      EXPECT_NEAR(fromDocument, c["fitted"][r].get<double>(), 1e-10 * scale) << "record " << r;
    }
  }
}

// The ordinal layout has no component in the library; its model type comes from the settings.
class OrdinalSettings : public QXMath_600::QXLogRegSettings {
 public:
  QXConst::QXRegModelType GetModelType() const override { return QXConst::QXRegModelOrdinal; }
};

// A hand-made fit of a model with a categorical dependent: the library's parameters of the case's
// design (from a linear fit of the same terms, which numbers them as the logistic model does),
// the estimates from a reference fit and the redundancy of the design.
struct HandMadeFit {
  std::vector<QXMath_600::QXRegrParameter> parameters;
  std::vector<double> estimates;
  QXMath_600::QXBitSet nonRedundant;
};

std::vector<QXMath_600::QXRegrParameter> BasicParameters(const json& c) {
  export_test::LinearFit linear(qx_linear_test::MakeSettings(c), c);
  const auto& parameters = linear.Stats().GetParameters();
  EXPECT_EQ(parameters.size(), c["aliased"].size());
  for (std::size_t j = 0; j < parameters.size(); ++j)
    EXPECT_EQ(!linear.Stats().GetRedundancyIndicators().IsIn(static_cast<int>(j)),
              c["aliased"][j].get<bool>());
  return parameters;
}

// One block per non-reference category, each parameter carrying its block's category: the layout of
// the logistic output statistics.
HandMadeFit MultinomialFit(const json& c, const json& fit) {
  HandMadeFit made;
  const std::vector<QXMath_600::QXRegrParameter> basic = BasicParameters(c);
  const std::size_t p = basic.size();
  made.nonRedundant = QXMath_600::QXBitSet(static_cast<int>(p * fit["blocks"].size()));
  for (std::size_t b = 0; b < fit["blocks"].size(); ++b) {
    for (std::size_t j = 0; j < p; ++j) {
      QXMath_600::QXRegrParameter parameter = basic[j];
      parameter.SetTargetCategory(fit["block_categories"][b]);
      made.parameters.push_back(parameter);
      made.estimates.push_back(fit["blocks"][b]["estimate"][j]);
      if (!c["aliased"][j].get<bool>()) made.nonRedundant.Set(static_cast<int>(b * p + j));
    }
  }
  return made;
}

QXMath_600::QXLogRegSettings MultinomialSettings(const json& c) {
  QXMath_600::QXLogRegSettings settings;
  static_cast<QXMath_600::QXRegSettings&>(settings) = qx_linear_test::MakeSettings(c);
  EXPECT_TRUE(settings.SetDependentRefCat(-1, static_cast<int>(c["dependent_levels"].size())));
  return settings;
}

// Scores every record of the case from the document and compares each category's probability (in
// the order of the dependent's levels) with what `expected` gives for the record.
void ExpectScoresLike(const std::string& document, const json& c, const QXCommon_600::QXVarList& variables,
                      const std::function<std::vector<double>(std::size_t)>& expected) {
  const pmml_scoring::Scorer scorer(document);
  for (std::size_t r = 0; r < c["records"].size(); ++r) {
    const std::vector<double> fromDocument =
        scorer.Probabilities(export_test::ConsumerInputs(c, variables, r));
    const std::vector<double> reference = expected(r);
    ASSERT_EQ(fromDocument.size(), reference.size());
    for (std::size_t k = 0; k < reference.size(); ++k)
      EXPECT_NEAR(fromDocument[k], reference[k], 1e-12) << "record " << r << ", category " << k;
  }
}

std::function<std::vector<double>(std::size_t)> FittedProbabilities(const json& fitted) {
  return [&fitted](std::size_t r) { return fitted[r].get<std::vector<double>>(); };
}

class PmmlMultinomialDocument : public testing::Test {
 protected:
  const json fReference = export_test::LoadReference("export_models.json");
  const json& fCase = fReference["multinomial"];
  const QXMath_600::QXLogRegSettings fSettings = MultinomialSettings(fCase);
};

TEST_F(PmmlMultinomialDocument, ScoresAsVgamWithEitherReferenceCategory) {
  const QXCommon_600::QXVarList variables = export_test::MakeVariables(fCase);
  for (const json& fit : fCase["fits"]) {
    SCOPED_TRACE("reference " + std::to_string(fit["reference"].get<int>()));
    const HandMadeFit made = MultinomialFit(fCase, fit);
    std::unique_ptr<QXXML_600::XMLElement> document;
    ASSERT_TRUE(QXPMMLDocument::Create(fSettings, variables, made.parameters, made.estimates,
                                       made.nonRedundant, {}, document)
                    .IsOK());
    const std::string text = Validated(document, "multinomial");
    EXPECT_NE(
        text.find("targetReferenceCategory=\"" +
                  fCase["dependent_levels"][fit["reference"].get<std::size_t>()].get<std::string>() + "\""),
        std::string::npos);
    ExpectScoresLike(text, fCase, variables, FittedProbabilities(fit["fitted"]));
  }
}

// Names and category texts with markup characters, quotes and non-ASCII text survive the document:
// it still validates and scores the same.
TEST_F(PmmlMultinomialDocument, EscapedNamesAndTextsValidateAndScore) {
  export_test::Renaming renaming;
  renaming.names = {
      {"wool", "wool <\"A\" & 'B'>"}, {"breaks", "Brüche & Risse"}, {"tension", "Spannung <T>"}};
  renaming.texts = {{"wool", {"Schurwolle \"A\"", "<B> & 'b'"}},
                    {"tension", {"hoch & <H>", "niedrig", "mittel ä"}}};
  const QXCommon_600::QXVarList variables = export_test::MakeVariables(fCase, renaming);
  const json& fit = fCase["fits"][1];
  const HandMadeFit made = MultinomialFit(fCase, fit);
  std::unique_ptr<QXXML_600::XMLElement> document;
  ASSERT_TRUE(QXPMMLDocument::Create(fSettings, variables, made.parameters, made.estimates, made.nonRedundant,
                                     {}, document)
                  .IsOK());
  const std::string text = Validated(document, "multinomial_escaped");
  pugi::xml_document parsed;
  ASSERT_TRUE(parsed.load_string(text.c_str()));
  const pugi::xml_node model = parsed.child("PMML").child("GeneralRegressionModel");
  EXPECT_STREQ(model.attribute("targetReferenceCategory").value(), "hoch & <H>");
  EXPECT_STREQ(
      model.child("ParameterList").find_child_by_attribute("name", "P0000006").attribute("label").value(),
      "[wool <\"A\" & 'B'>=Schurwolle \"A\"] * Brüche & Risse");
  ExpectScoresLike(text, fCase, variables, FittedProbabilities(fit["fitted"]));
}

// A logistic fit of the case through the factory, written by the component's document: it validates,
// names the model's reference category, carries the inverse information as the covariance of the
// estimates (its diagonal the reference's squared standard errors, found by target category and
// parameter name) and scores every record as the component does. The component lists its
// probabilities with the reference last; the document in the order of the dependent's levels, of
// which it offers those the model predicts.
void ExpectDocumentScoresAsTheComponent(const json& c) {
  const qx_logistic_test::Fit fit(qx_logistic_test::MakeSettings(c, false),
                                  c["records"].get<qx_linear_test::Records>());
  ASSERT_NE(fit.stats, nullptr);
  const QXCommon_600::QXVarList variables = export_test::MakeVariables(c);
  std::unique_ptr<QXXML_600::XMLElement> document;
  const QXCommon_600::QXStatus status = QXPMMLDocument::Create(*fit.component, variables, {}, document);
  ASSERT_TRUE(status.IsOK()) << status.GetMessage();
  const std::string text = Validated(document, c["name"]);

  const std::vector<int>& order = fit.stats->GetDependCategories();
  const std::vector<std::string> levels = c["dependent_levels"];
  pugi::xml_document parsed;
  ASSERT_TRUE(parsed.load_string(text.c_str()));
  const pugi::xml_node model = parsed.child("PMML").child("GeneralRegressionModel");
  EXPECT_EQ(model.attribute("targetReferenceCategory").value(),
            levels[static_cast<std::size_t>(order.back())]);
  const std::size_t p = static_cast<std::size_t>(fit.stats->GetNBasicParameters());
  for (pugi::xml_node cell : model.child("PCovMatrix").children("PCovCell")) {
    if (c["parameters"].empty()) break;
    if (std::string(cell.attribute("pRow").value()) != cell.attribute("pCol").value() ||
        std::string(cell.attribute("tRow").value()) != cell.attribute("tCol").value())
      continue;
    const int level = static_cast<int>(
        std::find(levels.begin(), levels.end(), cell.attribute("tRow").value()) - levels.begin());
    const std::size_t block =
        static_cast<std::size_t>(std::find(order.begin(), order.end(), level) - order.begin());
    ASSERT_LT(block + 1, order.size());
    const std::size_t j = std::stoul(cell.attribute("pRow").value() + 1) - 1;
    const double se = c["parameters"][block * p + j]["std_error"];
    EXPECT_NEAR(cell.attribute("value").as_double(), se * se, 1e-10 * se * se);
  }

  std::vector<int> byLevel(order);
  std::sort(byLevel.begin(), byLevel.end());
  ExpectScoresLike(text, c, variables, [&](std::size_t r) {
    double predicted = 0.0;
    std::vector<double> probabilities;
    EXPECT_TRUE(
        fit.component->Score(export_test::ToRecord(c["records"][r]), predicted, probabilities).IsOK());
    std::vector<double> reordered;
    for (int level : byLevel) {
      const std::size_t k =
          static_cast<std::size_t>(std::find(order.begin(), order.end(), level) - order.begin());
      reordered.push_back(k < probabilities.size() ? probabilities[k] : -1.0);
    }
    return reordered;
  });
}

// Every case of logistic_models.json: three categories with factors, a covariate and its square,
// nesting, an empty cell, an aliased effect, weights, no intercept, intercept only; two categories;
// the reference last, first or given by its code.
TEST(PmmlLogisticDocument, EveryReferenceFitValidatesAndScoresAsTheComponent) {
  for (const json& c : qx_logistic_test::ReferenceCases()) {
    SCOPED_TRACE(c["name"].get<std::string>());
    ExpectDocumentScoresAsTheComponent(c);
  }
}

// A category of the dependent that the data never show has no block and is not the reference: the
// model gives it no probability, and a consumer would give it the reference's if the document offered
// it. Salaries without its associate professors, the variable list still holding all three ranks.
TEST(PmmlLogisticDocument, ACategoryAbsentFromTheDataIsNotOffered) {
  json c = qx_logistic_test::ReferenceCases()[1];
  ASSERT_EQ(c["name"], "salaries_covariates");
  json kept = json::array();
  for (const json& r : c["records"])
    if (r[0] != 0) kept.push_back(r);
  c["records"] = kept;
  c["parameters"] = json::array();  // no reference fit of these records: no standard errors to compare
  ExpectDocumentScoresAsTheComponent(c);
}

TEST(PmmlOrdinalDocument, ThresholdsAndSlopesScoreAsPolr) {
  const json reference = export_test::LoadReference("export_models.json");
  const json& c = reference["ordinal"];
  OrdinalSettings settings;
  static_cast<QXMath_600::QXRegSettings&>(settings) = qx_linear_test::MakeSettings(c);
  const std::vector<QXMath_600::QXRegrParameter> parameters = BasicParameters(c);
  const std::vector<double> estimates = c["estimates"];
  const std::size_t thresholds = c["dependent_levels"].size() - 1;
  QXMath_600::QXBitSet nonRedundant(static_cast<int>(estimates.size()));
  for (std::size_t i = 0; i < estimates.size(); ++i)
    if (i < thresholds || !c["aliased"][i - thresholds + 1].get<bool>())
      nonRedundant.Set(static_cast<int>(i));
  const QXCommon_600::QXVarList variables = export_test::MakeVariables(c);
  std::unique_ptr<QXXML_600::XMLElement> document;
  ASSERT_TRUE(
      QXPMMLDocument::Create(settings, variables, parameters, estimates, nonRedundant, {}, document).IsOK());
  const std::string text = Validated(document, "ordinal");
  EXPECT_NE(text.find("modelType=\"ordinalMultinomial\""), std::string::npos);
  EXPECT_NE(text.find("cumulativeLink=\"logit\""), std::string::npos);
  ExpectScoresLike(text, c, variables, FittedProbabilities(c["fitted"]));
}

}  // namespace
