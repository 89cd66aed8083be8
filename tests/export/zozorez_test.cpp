// ZozoREZ parameter statistics: the descriptions of parameters (labels, factors with nesting,
// covariates with powers, ordinal thresholds), the two forms of "ParameterStats" with the statistics
// that were formed, the parameter statistics of a linear fit, which the library's Wald tests compute
// as a report does, against lm(), and those of logistic fits as their output statistics form them,
// against R.
#include <gtest/gtest.h>

#include <cmath>
#include <pugixml.hpp>

#include "tests/export/export_test_support.h"
#include "tests/logistic/logistic_test_support.h"

namespace {

using export_test::json;
using qx_linear_test::Term;
using QXMath_600::QXRegrParameter;
using QXMath_600::QXRegrParameterStats;
using QXMath_600::QXRegrZozoREZUtil;
using QXMath_600::QXRegSettings;
using QXXML_600::XMLElement;

// Record layout: 0 y (categories a, b, c), 1 A (3 categories), 2 B (2), 3 X.
constexpr int kY = 0, kA = 1, kB = 2, kX = 3;

class ZozoREZParameters : public testing::Test {
 protected:
  ZozoREZParameters() {
    auto y = std::make_unique<QXCommon_600::QXCatVar>("y");
    y->AddCategory(0.0, "a");
    y->AddCategory(1.0, "b");
    y->AddCategory(2.0, "c");
    fVariables.AddVariable(std::move(y));
    auto a = std::make_unique<QXCommon_600::QXCatVar>("A");
    for (double v : {1.0, 2.0, 3.0}) a->AddCategory(v);
    fVariables.AddVariable(std::move(a));
    auto b = std::make_unique<QXCommon_600::QXCatVar>("B");
    for (double v : {1.0, 2.0}) b->AddCategory(v);
    fVariables.AddVariable(std::move(b));
    fVariables.AddVariable(std::make_unique<QXCommon_600::QXContVar>("X"));
    fSettings.SetDependent(kY);
    fSettings.AddFactor(kA, 3);
    fSettings.AddFactor(kB, 2);
    fSettings.AddCovariate(kX);
  }
  // Adds the term as an effect, with the settings' order of its variables when given.
  int AddEffect(const Term& term, const std::vector<int>& settingsOrder = {}) {
    QXMath_600::QXModelEffect effect = qx_linear_test::MakeEffect(fSettings, term);
    effect.SetVarsIndicesForTheEffectInSetting(settingsOrder);
    fSettings.AddModelEffect(effect);
    return fSettings.GetNModelEffects() - 1;
  }
  QXRegrParameter Cell(int e, std::vector<int> categories) const {
    QXRegrParameter p;
    EXPECT_TRUE(p.SetupFromEffect(fSettings.GetModelEffects()[static_cast<std::size_t>(e)], e, 0));
    p.GetCategories() = std::move(categories);
    return p;
  }
  std::string Describe(const QXRegrParameter& p, std::unique_ptr<XMLElement>* element = nullptr) const {
    std::string label = "stale";
    auto described = QXRegrZozoREZUtil::CreateRegrParam(fSettings.GetModelEffects(), p, fVariables, label);
    if (element != nullptr) *element = std::move(described);
    return label;
  }

  QXCommon_600::QXVarList fVariables;
  QXMath_600::QXLogRegSettings fSettings;
};

TEST_F(ZozoREZParameters, LabelsAndChildrenDescribeFactorsNestingAndPowers) {
  const int a = AddEffect(Term{{kA}, {0}, {}});
  const int ab = AddEffect(Term{{kA, kB}, {0, 0}, {}});
  const int xx = AddEffect(Term{{}, {}, {kX, kX}});
  const int xa = AddEffect(Term{{kA}, {0}, {kX}});
  // A nested within B, listed in the settings' order A, B.
  const int nested = AddEffect(Term{{kB, kA}, {0, 1}, {}}, {kA, kB});

  std::unique_ptr<XMLElement> element;
  EXPECT_EQ(Describe(QXRegrParameter(), &element), "");
  EXPECT_EQ(element->ToString(false), "<RegressionParameter isIntercept=\"true\"/>");
  EXPECT_EQ(Describe(Cell(a, {0}), &element), "A=1");
  EXPECT_EQ(element->ToString(false),
            "<RegressionParameter><Factor name=\"A\" category=\"1\"/></RegressionParameter>");
  EXPECT_EQ(Describe(Cell(ab, {0, 1}), &element), "[A=1]*[B=2]");
  EXPECT_EQ(element->GetNChildren(), 2);
  EXPECT_EQ(Describe(Cell(xx, {}), &element), "X*X");
  EXPECT_EQ(element->ToString(false),
            "<RegressionParameter><Covariate name=\"X\" power=\"2\"/></RegressionParameter>");
  EXPECT_EQ(Describe(Cell(xa, {2}), &element), "X([A=3])");
  EXPECT_EQ(element->ToString(false),
            "<RegressionParameter><Covariate name=\"X\" power=\"1\"/>"
            "<Factor name=\"A\" category=\"3\" isNested=\"true\"/></RegressionParameter>");
  // The parameter holds B (level 0) before A (level 1); the settings' order puts A first.
  EXPECT_EQ(Describe(Cell(nested, {1, 0}), &element), "[A=1]([B=2])");
  EXPECT_EQ(element->ToString(false),
            "<RegressionParameter><Factor name=\"A\" category=\"1\"/>"
            "<Factor name=\"B\" category=\"2\" isNested=\"true\"/></RegressionParameter>");
  // A category the variable does not have: no description.
  EXPECT_EQ(Describe(Cell(a, {5}), &element), "");
  EXPECT_EQ(element, nullptr);
}

// Ordinal thresholds have no effect and predict one category: the dependent describes them.
TEST_F(ZozoREZParameters, ThresholdsAreDescribedByTheDependentAndTheirCategory) {
  QXRegrParameter threshold;
  threshold.SetTargetCategory(1);
  std::string label;
  auto element = QXRegrZozoREZUtil::CreateRegrParamForTarget(kY, threshold, fVariables, label);
  EXPECT_EQ(label, "y=b");
  ASSERT_NE(element, nullptr);
  EXPECT_EQ(element->ToString(false),
            "<RegressionParameter><Factor name=\"y\" category=\"b\"/></RegressionParameter>");
  threshold.SetTargetCategory(-1);
  EXPECT_EQ(QXRegrZozoREZUtil::CreateRegrParamForTarget(kY, threshold, fVariables, label), nullptr);
  EXPECT_EQ(label, "");
  threshold.SetTargetCategory(3);
  EXPECT_EQ(QXRegrZozoREZUtil::CreateRegrParamForTarget(kY, threshold, fVariables, label), nullptr);
}

TEST(ZozoREZStats, EachFormWritesOnlyTheStatisticsThatWereFormed) {
  QXRegrParameterStats stats;
  stats.fParamIndex = 2;
  stats.fEstimate = 0.5;
  stats.fbRedundant = false;
  stats.fTStat = 2.5;
  stats.fSig = 0.02;
  stats.fDF = 12.0;
  const std::string label = "[A=1]";
  EXPECT_EQ(QXRegrZozoREZUtil::CreateElemParamStats(stats, 3, &label)->ToString(false),
            "<ParameterStats paramName=\"P0000003\" paramLabel=\"[A=1]\" estimate=\"0.5\" sig=\"0.02\" "
            "tTest=\"2.5\" df=\"12\"/>");

  QXRegrParameterStats logistic;
  logistic.fEstimate = std::log(2.0);
  logistic.fbRedundant = false;
  logistic.fStdError = 0.25;
  logistic.fChiSquare = 7.5;
  logistic.fSig = 0.006;
  logistic.fLowerBound = 0.1;
  logistic.fUpperBound = 1.3;
  logistic.fbExpBounds = true;
  logistic.fExpLowerBound = 1.1;
  logistic.fExpUpperBound = 3.6;
  EXPECT_EQ(
      QXRegrZozoREZUtil::CreateElemParamStats(logistic, "P0000004", false)->ToString(false),
      "<ParameterStats paramName=\"P0000004\" estimate=\"0.6931471805599453\" expEstimate=\"2\" "
      "stdError=\"0.25\" sig=\"0.006\" tTest=\"7.5\" confIntervalLower=\"0.1\" confIntervalUpper=\"1.3\" "
      "expCILower=\"1.1\" expCIUpper=\"3.6\"/>");
  const QXRegrParameterStats redundant;
  EXPECT_EQ(QXRegrZozoREZUtil::CreateElemParamStats(redundant, "P0000005", true)->ToString(false),
            "<ParameterStats paramName=\"P0000005\" isRedundant=\"true\"/>");
}

TEST_F(ZozoREZParameters, EstimatesHoldEveryParameterWithItsEffectLabelAndDescription) {
  const int a = AddEffect(Term{{kA}, {0}, {}});
  const int x = AddEffect(Term{{}, {}, {kX}});
  QXRegrParameter threshold;
  threshold.SetTargetCategory(0);
  const std::vector<QXRegrParameter> parameters{threshold, Cell(a, {0}), Cell(a, {1}), Cell(x, {})};
  std::vector<QXRegrParameterStats> stats(4);
  for (int i = 0; i < 4; ++i) stats[static_cast<std::size_t>(i)].fParamIndex = i;
  stats[1].fbRedundant = false;
  stats[1].fEstimate = 1.5;

  auto child = XMLElement::Create("Note");
  const auto estimates = QXRegrZozoREZUtil::CreateParameterEstimates(stats, fSettings, fVariables, parameters,
                                                                     "model", "m1", std::move(child), true);
  EXPECT_EQ(*estimates->FindAttribute("model"), "m1");
  ASSERT_EQ(estimates->GetNChildren(), 5);
  EXPECT_EQ(estimates->GetChild(0)->GetName(), "Note");
  EXPECT_EQ(
      estimates->GetChild(1)->ToString(false),
      "<ParameterStats paramName=\"P0000001\" isRedundant=\"true\" paramLabel=\"y=a\"><RegressionParameter>"
      "<Factor name=\"y\" category=\"a\"/></RegressionParameter></ParameterStats>");
  EXPECT_EQ(
      estimates->GetChild(2)->ToString(false),
      "<ParameterStats paramName=\"P0000002\" estimate=\"1.5\" paramLabel=\"A=1\"><fixedEffectIndex>0"
      "</fixedEffectIndex><RegressionParameter><Factor name=\"A\" category=\"1\"/></RegressionParameter>"
      "</ParameterStats>");
  EXPECT_EQ(*estimates->GetChild(4)->FindAttribute("paramLabel"), "X");
  EXPECT_EQ(estimates->GetChild(4)->FindChild("fixedEffectIndex")->GetText(), "1");

  // Without the per-target flag an intercept is described as such.
  std::vector<std::unique_ptr<XMLElement>> elements;
  QXRegrZozoREZUtil::CreateAllElemParamStats(stats, fSettings, fVariables, parameters, elements, true, false);
  ASSERT_EQ(elements.size(), 4u);
  EXPECT_EQ(elements[0]->FindAttribute("paramLabel"), nullptr);
  EXPECT_EQ(*elements[0]->FindChild("RegressionParameter")->FindAttribute("isIntercept"), "true");

  // Short form: the records that name a parameter, numbered in order, with PMML-style labels.
  stats[0].fParamIndex = -1;
  elements.clear();
  QXRegrZozoREZUtil::CreateAllElemParamStats(stats, fSettings, fVariables, parameters, elements, false,
                                             false);
  ASSERT_EQ(elements.size(), 3u);
  EXPECT_EQ(elements[0]->ToString(false),
            "<ParameterStats paramName=\"P0000001\" paramLabel=\"[A=1]\" estimate=\"1.5\" df=\"0\"/>");
  EXPECT_EQ(*elements[2]->FindAttribute("paramLabel"), "X");
}

double Attribute(pugi::xml_node node, const char* name) {
  EXPECT_TRUE(node.attribute(name)) << node.attribute("paramName").value() << " has no " << name;
  return node.attribute(name).as_double();
}

// A linear fit whose parameter statistics come from the library's Wald tests on the covariance of the
// estimates, as the qxfit report forms them, against lm()'s summary and confint.
TEST(ZozoREZLinear, ShortFormCarriesEveryNonRedundantParametersStatisticsAsLm) {
  const json reference = export_test::LoadReference("export_models.json");
  for (const json& c : reference["linear"]) {
    SCOPED_TRACE(c["dependent"].get<std::string>());
    const QXRegSettings settings = qx_linear_test::MakeSettings(c);
    export_test::LinearFit fit(settings, c);
    const QXMath_600::IQXRegOutputStats& out = fit.Stats();
    const double rmse = out.GetModelFitStat(QXConst::QXFitRootMSE);
    QXMath_600::QXSymMatrix covariance = *out.GetCovarianceMatrix();
    covariance.MultiplyByNumber(rmse * rmse * out.GetTotalFreqWeight() / out.GetNDegFreedom());
    QXMath_600::QXModelTests tests(out.GetParamEstimates(), out.GetRedundancyIndicators(), covariance,
                                   out.GetNDegFreedom(), nullptr);
    tests.SetTestType(QXConst::QXTestWaldF);
    ASSERT_TRUE(tests.SetConfidenceLevel(0.95));
    std::vector<QXRegrParameterStats> stats = out.GetParamStats();
    const int n = static_cast<int>(stats.size());
    for (int k = 0; k < n; ++k) {
      if (stats[static_cast<std::size_t>(k)].fbRedundant) continue;
      QXMath_600::QXRectMatrix row(1, n);
      row.SetElem(0, k, 1.0);
      QXMath_600::QXTestStats test;
      ASSERT_TRUE(tests.ComputeIndivTest(row, 0, 0.0, 1, test, true));
      QXRegrParameterStats& s = stats[static_cast<std::size_t>(k)];
      s.fStdError = test.GetStandardError();
      s.fTStat = test.GetWald();
      s.fDF = test.GetDF2();
      s.fSig = test.GetSig();
      s.fLowerBound = test.GetLowerConfidenceInterval();
      s.fUpperBound = test.GetUpperConfidenceInterval();
    }
    auto parent = XMLElement::Create("ParameterEstimates");
    QXRegrZozoREZUtil::AddAllElemParamStats(stats, settings, export_test::MakeVariables(c),
                                            out.GetParameters(), *parent, false, false);
    pugi::xml_document parsed;
    ASSERT_TRUE(parsed.load_string(parent->ToDocument().c_str()));
    std::size_t k = 0;
    for (pugi::xml_node element : parsed.child("ParameterEstimates").children("ParameterStats")) {
      const json& r = c["parameters"][k++];
      EXPECT_EQ(element.attribute("paramLabel").value(), r["label"].get<std::string>());
      if (r["redundant"].get<bool>()) {
        EXPECT_FALSE(element.attribute("stdError"));
        EXPECT_EQ(Attribute(element, "df"), 0.0);
        continue;
      }
      for (const auto& [attribute, field] : {std::pair{"estimate", "estimate"},
                                             {"stdError", "std_error"},
                                             {"tTest", "t"},
                                             {"sig", "p"},
                                             {"confIntervalLower", "lower"},
                                             {"confIntervalUpper", "upper"}}) {
        const double expected = r[field];
        EXPECT_NEAR(Attribute(element, attribute), expected, 1e-10 * std::max(std::fabs(expected), 1e-300))
            << r["label"] << " " << attribute;
      }
    }
    EXPECT_EQ(k, c["parameters"].size());
  }
}

// The logistic output statistics form each kept parameter's Wald test: chi-square on 1 degree of
// freedom, its p-value and the 95% bounds of the estimate and of its exponential. Against R's
// (logistic_models.R) on every logistic reference case, and written by both forms exactly as formed;
// a redundant parameter is flagged and carries no statistics.
// Tolerances: the estimates and standard errors agree with R's to 1e-10 (logistic_reference_test), so
// the chi-square to about 4e-10 relative; a p-value is compared on the log scale, where the
// chi-square's absolute error carries over at most halved; bounds on the scale of the standard error.
TEST(ZozoREZLogistic, BothFormsCarryEveryKeptParametersWaldStatisticsAsR) {
  for (const json& c : qx_logistic_test::ReferenceCases()) {
    SCOPED_TRACE(c["name"].get<std::string>());
    const qx_logistic_test::Fit fit(qx_logistic_test::MakeSettings(c, false),
                                    c["records"].get<qx_linear_test::Records>());
    ASSERT_NE(fit.stats, nullptr);
    const std::vector<QXRegrParameterStats>& stats = fit.stats->GetParamStats();
    const std::vector<QXRegrParameter>& parameters = fit.stats->GetParameters();
    ASSERT_EQ(stats.size(), c["parameters"].size());
    const QXCommon_600::QXVarList variables = export_test::MakeVariables(c);
    const auto full = QXRegrZozoREZUtil::CreateParameterEstimates(
        stats, fit.settings, variables, parameters, "model", c["name"].get<std::string>(), nullptr, false);
    auto brief = XMLElement::Create("ParameterEstimates");
    QXRegrZozoREZUtil::AddAllElemParamStats(stats, fit.settings, variables, parameters, *brief, false, false);
    pugi::xml_document fullParsed, briefParsed;
    ASSERT_TRUE(fullParsed.load_string(full->ToDocument().c_str()));
    ASSERT_TRUE(briefParsed.load_string(brief->ToDocument().c_str()));
    pugi::xml_node byName = fullParsed.child("ParameterEstimates").child("ParameterStats");
    pugi::xml_node byIndex = briefParsed.child("ParameterEstimates").child("ParameterStats");
    for (std::size_t k = 0; k < stats.size(); ++k) {
      const json& r = c["parameters"][k];
      SCOPED_TRACE(r["label"].get<std::string>() + " for category " +
                   std::to_string(r["category"].get<int>()));
      ASSERT_TRUE(byName && byIndex);
      const std::string name = QXMath_600::QXPMMLRegrExporter::ParameterName(static_cast<int>(k) + 1);
      EXPECT_EQ(byName.attribute("paramName").value(), name);
      EXPECT_EQ(byIndex.attribute("paramName").value(), name);
      const QXRegrParameterStats& s = stats[k];
      if (r["redundant"].get<bool>()) {
        EXPECT_STREQ(byName.attribute("isRedundant").value(), "true");
        EXPECT_FALSE(byName.attribute("stdError") || byIndex.attribute("stdError"));
        EXPECT_EQ(Attribute(byIndex, "df"), 0.0);
      } else {
        const json& wald = r["wald"];
        const double se = r["std_error"], chi = wald["chi_square"];
        EXPECT_NEAR(s.fChiSquare, chi, 1e-9 * chi);
        EXPECT_NEAR(std::log(s.fSig), std::log(wald["p"].get<double>()), 1e-9 * std::max(chi, 1.0));
        EXPECT_NEAR(s.fLowerBound, wald["lower"].get<double>(), 1e-10 * se);
        EXPECT_NEAR(s.fUpperBound, wald["upper"].get<double>(), 1e-10 * se);
        EXPECT_NEAR(std::log(s.fExpLowerBound), std::log(wald["exp_lower"].get<double>()), 1e-10 * se);
        EXPECT_NEAR(std::log(s.fExpUpperBound), std::log(wald["exp_upper"].get<double>()), 1e-10 * se);
        EXPECT_FALSE(byName.attribute("isRedundant"));
        EXPECT_NEAR(Attribute(byName, "expEstimate"), std::exp(s.fEstimate), 1e-15 * std::exp(s.fEstimate));
        for (const auto& [attribute, value] : {std::pair{"estimate", s.fEstimate},
                                               {"stdError", s.fStdError},
                                               {"tTest", s.fChiSquare},
                                               {"sig", s.fSig},
                                               {"confIntervalLower", s.fLowerBound},
                                               {"confIntervalUpper", s.fUpperBound},
                                               {"expCILower", s.fExpLowerBound},
                                               {"expCIUpper", s.fExpUpperBound}})
          EXPECT_EQ(Attribute(byName, attribute), value) << attribute;
        for (const auto& [attribute, value] : {std::pair{"estimate", s.fEstimate},
                                               {"stdError", s.fStdError},
                                               {"chiSquare", s.fChiSquare},
                                               {"sig", s.fSig},
                                               {"df", 1.0},
                                               {"confIntervalLower", s.fLowerBound},
                                               {"confIntervalUpper", s.fUpperBound}})
          EXPECT_EQ(Attribute(byIndex, attribute), value) << attribute;
      }
      byName = byName.next_sibling("ParameterStats");
      byIndex = byIndex.next_sibling("ParameterStats");
    }
    EXPECT_FALSE(byName || byIndex) << "more elements than parameters";
  }
}

}  // namespace
