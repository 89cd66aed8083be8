// The PMML elements of QXPMMLRegrExporter on small hand-made models: names and labels, the layouts
// of the three model types (the ordinal placeholders, multinomial blocks), the matrices with their
// target categories, the all-zero covariance, the mining schema, the model statistics, and inputs
// that cannot describe the estimates.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "qxregres600r.h"
#include "tests/linear/linear_test_support.h"

namespace {

using qx_linear_test::Term;
using QXMath_600::ParamAttribute;
using QXMath_600::QXBitSet;
using QXMath_600::QXModelEffect;
using QXMath_600::QXPMMLRegrExporter;
using QXMath_600::QXRegrParameter;
using QXMath_600::QXRegSettings;
using QXXML_600::XMLElement;

// Record layout: 0 y, 1 A (3 categories), 2 B (2 categories), 3 X, 4 Z.
constexpr int kY = 0, kA = 1, kB = 2, kX = 3, kZ = 4;

std::unique_ptr<QXCommon_600::QXCatVar> Categorical(const std::string& name, std::vector<std::string> texts) {
  auto v = std::make_unique<QXCommon_600::QXCatVar>(name);
  for (std::size_t k = 0; k < texts.size(); ++k) v->AddCategory(double(k + 1), texts[k]);
  return v;
}

QXCommon_600::QXVarList Variables(std::unique_ptr<QXCommon_600::IQXVariable> dependent) {
  QXCommon_600::QXVarList variables;
  variables.AddVariable(std::move(dependent));
  variables.AddVariable(Categorical("A", {"1", "2", "3"}));
  variables.AddVariable(Categorical("B", {"1", "2"}));
  variables.AddVariable(std::make_unique<QXCommon_600::QXContVar>("X", 0.5, 9.5));
  variables.AddVariable(std::make_unique<QXCommon_600::QXContVar>("Z"));
  return variables;
}

QXCommon_600::QXVarList LinearVariables() {
  return Variables(std::make_unique<QXCommon_600::QXContVar>("y"));
}

void AddRoles(QXRegSettings& settings) {
  settings.SetDependent(kY);
  settings.AddFactor(kA, 3);
  settings.AddFactor(kB, 2);
  settings.AddCovariate(kX);
  settings.AddCovariate(kZ);
}

// The parameter of effect e at the given categories (in the parameter's factor order).
QXRegrParameter Cell(const QXRegSettings& settings, int e, std::vector<int> categories) {
  QXRegrParameter p;
  if (e < 0) return p;
  EXPECT_TRUE(p.SetupFromEffect(settings.GetModelEffects()[static_cast<std::size_t>(e)], e, 0));
  p.GetCategories() = std::move(categories);
  return p;
}

class OrdinalSettings : public QXMath_600::QXLogRegSettings {
 public:
  QXConst::QXRegModelType GetModelType() const override { return QXConst::QXRegModelOrdinal; }
};

std::vector<std::string> Values(const XMLElement* parent, const std::string& attribute) {
  std::vector<std::string> values;
  for (int i = 0; parent != nullptr && i < parent->GetNChildren(); ++i) {
    const std::string* value = parent->GetChild(i)->FindAttribute(attribute);
    values.push_back(value ? *value : "(none)");
  }
  return values;
}

using Strings = std::vector<std::string>;

class PmmlExporterLinear : public testing::Test {
 protected:
  PmmlExporterLinear() {
    AddRoles(fSettings);
    fSettings.AddModelEffect(qx_linear_test::MakeEffect(fSettings, Term{{kA}, {0}, {}}));
    fSettings.AddModelEffect(qx_linear_test::MakeEffect(fSettings, Term{{}, {}, {kX}}));
    fParameters = {Cell(fSettings, -1, {}), Cell(fSettings, 0, {0}), Cell(fSettings, 0, {1}),
                   Cell(fSettings, 0, {2}), Cell(fSettings, 1, {})};
    fNonRedundant.SetRange(0, 4);
    fNonRedundant.Reset(3);
  }
  QXPMMLRegrExporter Exporter() const {
    return QXPMMLRegrExporter(fSettings, fVariables, fParameters, fEstimates, fNonRedundant, nullptr);
  }

  QXRegSettings fSettings;
  QXCommon_600::QXVarList fVariables = LinearVariables();
  std::vector<QXRegrParameter> fParameters;
  std::vector<double> fEstimates{10.0, -1.5, 0.25, 0.0, 2.0};
  QXBitSet fNonRedundant{5};
};

TEST_F(PmmlExporterLinear, ParametersAreNamedInOrderAndLabelledByTheirCells) {
  const QXPMMLRegrExporter exporter = Exporter();
  ASSERT_TRUE(exporter.GetStatus().IsOK());
  const auto list = exporter.ExportParameterList();
  EXPECT_EQ(Values(list.get(), "name"),
            (Strings{"P0000001", "P0000002", "P0000003", "P0000004", "P0000005"}));
  EXPECT_EQ(Values(list.get(), "label"), (Strings{"Intercept", "[A=1]", "[A=2]", "[A=3]", "X"}));
  const auto pp = exporter.ExportPPMatrix();
  EXPECT_EQ(Values(pp.get(), "value"), (Strings{"1", "2", "3", "1"}));
  EXPECT_EQ(Values(pp.get(), "predictorName"), (Strings{"A", "A", "A", "X"}));
  EXPECT_EQ(Values(pp.get(), "parameterName"), (Strings{"P0000002", "P0000003", "P0000004", "P0000005"}));
  EXPECT_EQ(Values(exporter.ExportFactorList().get(), "name"), Strings{"A"});
  EXPECT_EQ(Values(exporter.ExportCovariateList().get(), "name"), Strings{"X"});
  // Redundant estimates have no degrees of freedom; a linear model has no target categories.
  const auto matrix = exporter.ExportParamMatrix(false, 0);
  EXPECT_EQ(Values(matrix.get(), "df"), (Strings{"1", "1", "1", "0", "1"}));
  EXPECT_EQ(Values(matrix.get(), "beta"), (Strings{"10", "-1.5", "0.25", "0", "2"}));
  EXPECT_EQ(Values(matrix.get(), "targetCategory"), Strings(5, "(none)"));
}

TEST_F(PmmlExporterLinear, CovarianceIsTheNonZeroLowerTriangleOrOneZeroCell) {
  QXMath_600::QXSymMatrix v(5);
  const QXPMMLRegrExporter exporter = Exporter();
  EXPECT_EQ(exporter.ExportPCovMatrix(v, QXConst::QXCovbModel, false, 0)->ToString(false),
            "<PCovMatrix type=\"model\"><PCovCell pRow=\"P0000001\" pCol=\"P0000001\" "
            "value=\"0.0\"/></PCovMatrix>");
  v.SetElem(0, 0, 4.0);
  v.SetElem(4, 1, -0.5);
  v.SetElem(2, 2, 1e-300);
  auto robust = exporter.ExportPCovMatrix(v, QXConst::QXCovbRobust, false, 0);
  EXPECT_EQ(*robust->FindAttribute("type"), "robust");
  EXPECT_EQ(Values(robust.get(), "pRow"), (Strings{"P0000001", "P0000003", "P0000005"}));
  EXPECT_EQ(Values(robust.get(), "pCol"), (Strings{"P0000001", "P0000003", "P0000002"}));
  EXPECT_EQ(Values(robust.get(), "value"), (Strings{"4", "1e-300", "-0.5"}));
  EXPECT_EQ(exporter.ExportPCovMatrix(QXMath_600::QXSymMatrix(4), QXConst::QXCovbModel, false, 0), nullptr);
}

TEST_F(PmmlExporterLinear, MiningSchemaListsPredictorsThenTheTargetThenTheExtraFields) {
  const QXPMMLRegrExporter exporter = Exporter();
  const std::vector<double> importances{0.25, 1.5};
  auto schema = exporter.ExportMiningSchema(kZ, kB, &importances);
  EXPECT_EQ(Values(schema.get(), "name"), (Strings{"A", "X", "y", "B", "Z"}));
  EXPECT_EQ(Values(schema.get(), "importance"), (Strings{"0.25", "(none)", "(none)", "(none)", "(none)"}));
  EXPECT_EQ(Values(schema.get(), "usageType"),
            (Strings{"(none)", "(none)", "predicted", "(none)", "(none)"}));
  EXPECT_EQ(schema->GetChild(0)->GetAttributeName(0), "importance");
  // Importances that do not match the active variables one for one are not used.
  const std::vector<double> short_{0.5};
  EXPECT_EQ(Values(exporter.ExportMiningSchema(-1, -1, &short_).get(), "importance"), Strings(3, "(none)"));
  EXPECT_EQ(exporter.ExportMiningSchema(99, -1, nullptr), nullptr);
}

TEST_F(PmmlExporterLinear, ModelStatsHoldTheAnovaAndEachCovariatesRangeAndMean) {
  const QXPMMLRegrExporter exporter = Exporter();
  QXMath_600::QXRegANOVA anova;
  auto stats = exporter.ExportModelStats({3.5, 7.25}, 20.0, &anova);
  EXPECT_EQ(stats->GetChild(0)->ToString(false),
            "<UnivariateStats field=\"y\"><Anova><AnovaRow type=\"Model\"/><AnovaRow type=\"Error\"/>"
            "<AnovaRow type=\"Total\"/></Anova></UnivariateStats>");
  EXPECT_EQ(stats->GetChild(1)->ToString(false),
            "<UnivariateStats field=\"X\"><Counts totalFreq=\"20\"/><NumericInfo minimum=\"0.5\" "
            "maximum=\"9.5\" mean=\"3.5\"/></UnivariateStats>");
  anova.fModelSumOfSquares = 30.0, anova.fModelDF = 3.0, anova.fModelMeanSquare = 10.0, anova.fModelF = 5.0;
  anova.fModelPValue = 0.01, anova.fErrorSumOfSquares = 32.0, anova.fErrorDF = 16.0;
  anova.fErrorMeanSquare = 2.0, anova.fTotalSumOfSquares = 62.0, anova.fTotalDF = 19.0;
  stats = exporter.ExportModelStats({}, QXMV::gMissingValue, &anova);
  EXPECT_EQ(
      stats->ToString(false),
      "<ModelStats><UnivariateStats field=\"y\"><Anova><AnovaRow type=\"Model\" sumOfSquares=\"30\" "
      "degreesOfFreedom=\"3\" meanOfSquares=\"10\" fValue=\"5\" pValue=\"0.01\"/><AnovaRow type=\"Error\" "
      "sumOfSquares=\"32\" degreesOfFreedom=\"16\" meanOfSquares=\"2\"/><AnovaRow type=\"Total\" "
      "sumOfSquares=\"62\" degreesOfFreedom=\"19\"/></Anova></UnivariateStats><UnivariateStats field=\"X\">"
      "<NumericInfo minimum=\"0.5\" maximum=\"9.5\"/></UnivariateStats></ModelStats>");
}

TEST_F(PmmlExporterLinear, EffectsToUseChooseTheActiveVariables) {
  QXBitSet onlyX(2);
  onlyX.Set(1);
  const QXPMMLRegrExporter exporter(fSettings, fVariables, fParameters, fEstimates, fNonRedundant, &onlyX);
  EXPECT_EQ(exporter.GetActiveFactors(), std::vector<int>{});
  EXPECT_EQ(exporter.GetActiveCovariates(), std::vector<int>{kX});
  EXPECT_EQ(exporter.ExportFactorList(), nullptr);
  EXPECT_EQ(exporter.GetParamInfo().size(), 5u) << "every parameter is still described";
}

TEST_F(PmmlExporterLinear, InputsThatCannotDescribeTheEstimatesGiveError303AndNoElements) {
  const auto expectRefused = [](const QXPMMLRegrExporter& exporter) {
    EXPECT_EQ(exporter.GetStatus().GetErrorCode(), 303);
    EXPECT_TRUE(exporter.GetStatus().IsError());
    EXPECT_EQ(exporter.ExportParameterList(), nullptr);
    EXPECT_EQ(exporter.ExportPPMatrix(), nullptr);
    EXPECT_EQ(exporter.ExportParamMatrix(false, 0), nullptr);
    EXPECT_EQ(exporter.ExportMiningSchema(-1, -1, nullptr), nullptr);
    EXPECT_EQ(exporter.ExportModelStats({}, 1.0, nullptr), nullptr);
  };
  // A category the variable does not have.
  std::vector<QXRegrParameter> parameters = fParameters;
  parameters[3].GetCategories() = {3};
  expectRefused(QXPMMLRegrExporter(fSettings, fVariables, parameters, fEstimates, fNonRedundant, nullptr));
  // A variable the list does not describe.
  QXCommon_600::QXVarList shortList;
  shortList.AddVariable(std::make_unique<QXCommon_600::QXContVar>("y"));
  expectRefused(QXPMMLRegrExporter(fSettings, shortList, fParameters, fEstimates, fNonRedundant, nullptr));
  // More estimates than parameters.
  const std::vector<double> more{1, 2, 3, 4, 5, 6};
  expectRefused(QXPMMLRegrExporter(fSettings, fVariables, fParameters, more, fNonRedundant, nullptr));
}

TEST(PmmlExporterLabels, InteractionsPowersNestingAndFactorsInParentheses) {
  QXRegSettings settings;
  AddRoles(settings);
  settings.AddModelEffect(qx_linear_test::MakeEffect(settings, Term{{kA, kB}, {0, 0}, {}}));
  settings.AddModelEffect(qx_linear_test::MakeEffect(settings, Term{{}, {}, {kX, kX}}));
  settings.AddModelEffect(qx_linear_test::MakeEffect(settings, Term{{kB, kA}, {0, 1}, {}}));
  settings.AddModelEffect(qx_linear_test::MakeEffect(settings, Term{{kA}, {0}, {kX}}));
  QXModelEffect inParens = qx_linear_test::MakeEffect(settings, Term{{kA, kB}, {0, 0}, {kX, kX, kZ}});
  inParens.SetFactorsInParens();
  settings.AddModelEffect(inParens);
  settings.AddModelEffect(qx_linear_test::MakeEffect(settings, Term{{}, {}, {kZ, kX}}));
  const std::vector<QXRegrParameter> parameters{Cell(settings, 0, {0, 1}), Cell(settings, 1, {}),
                                                Cell(settings, 2, {1, 0}), Cell(settings, 3, {2}),
                                                Cell(settings, 4, {0, 0}), Cell(settings, 5, {})};
  const std::vector<double> estimates(parameters.size(), 1.0);
  const QXCommon_600::QXVarList variables = LinearVariables();
  const QXPMMLRegrExporter exporter(settings, variables, parameters, estimates, QXBitSet(6), nullptr);
  ASSERT_TRUE(exporter.GetStatus().IsOK());
  std::vector<std::string> labels;
  for (const ParamAttribute& p : exporter.GetParamInfo()) labels.push_back(p.fLabel);
  EXPECT_EQ(labels, (Strings{"[A=1] * [B=2]", "X * X", "[A=1]([B=2])", "[A=3] * X",
                             "X * X * Z([A=1] * [B=1])", "X * Z"}));
  const ParamAttribute& nested = exporter.GetParamInfo()[2];
  EXPECT_EQ(nested.fvFactorPredictors,
            (std::vector<std::pair<std::string, std::string>>{{"B", "2"}, {"A", "1"}}));
  const ParamAttribute& powers = exporter.GetParamInfo()[4];
  EXPECT_EQ(powers.fvCovariatePredictors, (std::vector<std::pair<std::string, int>>{{"X", 2}, {"Z", 1}}));
  const auto pp = exporter.ExportPPMatrix();
  EXPECT_EQ(Values(pp.get(), "value").size(), 2u + 1u + 2u + 2u + 4u + 2u);
}

// Ordinal model with k = 4 categories: k - 2 = 2 placeholders before the intercept, k - 1 = 3
// thresholds named P0000001 with their target categories.
TEST(PmmlExporterOrdinal, ThresholdsShareTheInterceptsNameAndCarryTheirCategories) {
  OrdinalSettings settings;
  AddRoles(settings);
  settings.AddModelEffect(qx_linear_test::MakeEffect(settings, Term{{}, {}, {kX}}));
  const QXCommon_600::QXVarList variables = Variables(Categorical("y", {"a", "b", "c", "d"}));
  const std::vector<QXRegrParameter> parameters{Cell(settings, -1, {}), Cell(settings, 0, {})};
  const std::vector<double> estimates{-1.0, 0.5, 2.0, 0.75};
  QXBitSet nonRedundant(4);
  nonRedundant.SetRange(0, 3);
  const QXPMMLRegrExporter exporter(settings, variables, parameters, estimates, nonRedundant, nullptr);
  ASSERT_TRUE(exporter.GetStatus().IsOK());
  std::vector<std::string> names, labels;
  for (const ParamAttribute& p : exporter.GetParamInfo())
    names.push_back(p.fName), labels.push_back(p.fLabel);
  EXPECT_EQ(names, (Strings{"P0000001", "P0000001", "P0000001", "P0000002"}));
  EXPECT_EQ(labels, (Strings{"Intercept", "Intercept", "Intercept", "X"}));
  EXPECT_EQ(Values(exporter.ExportParameterList().get(), "name"), (Strings{"P0000001", "P0000002"}));
  const auto matrix = exporter.ExportParamMatrix(false, 0);
  EXPECT_EQ(Values(matrix.get(), "targetCategory"), (Strings{"a", "b", "c", "(none)"}));
  EXPECT_EQ(Values(matrix.get(), "parameterName"), (Strings{"P0000001", "P0000001", "P0000001", "P0000002"}));

  QXMath_600::QXSymMatrix v(4);
  v.SetElem(3, 1, 0.125);
  auto covariance = exporter.ExportPCovMatrix(v, QXConst::QXCovbModel, false, 0);
  ASSERT_EQ(covariance->GetNChildren(), 1);
  EXPECT_EQ(covariance->GetChild(0)->ToString(false),
            "<PCovCell tCol=\"b\" pRow=\"P0000002\" pCol=\"P0000001\" value=\"0.125\"/>");
  auto zero = exporter.ExportPCovMatrix(QXMath_600::QXSymMatrix(4), QXConst::QXCovbModel, false, 0);
  EXPECT_EQ(zero->GetChild(0)->ToString(false),
            "<PCovCell tRow=\"a\" tCol=\"a\" pRow=\"P0000001\" pCol=\"P0000001\" value=\"0.0\"/>");

  // The thresholds take the intercept's place: an ordinal layout must start with it.
  const std::vector<QXRegrParameter> noIntercept{Cell(settings, 0, {}), Cell(settings, 0, {})};
  EXPECT_EQ(QXPMMLRegrExporter(settings, variables, noIntercept, estimates, nonRedundant, nullptr)
                .GetStatus()
                .GetErrorCode(),
            303);
}

class PmmlExporterMultinomial : public testing::Test {
 protected:
  PmmlExporterMultinomial() {
    AddRoles(fSettings);
    fSettings.AddModelEffect(qx_linear_test::MakeEffect(fSettings, Term{{kB}, {0}, {}}));
    fBasic = {Cell(fSettings, -1, {}), Cell(fSettings, 0, {0}), Cell(fSettings, 0, {1})};
    fNonRedundant.SetRange(0, 5);
    fNonRedundant.Reset(2);
    fNonRedundant.Reset(5);
  }
  // The parameters of every block, block b carrying category targets[b].
  std::vector<QXRegrParameter> AllParameters(const std::vector<int>& targets) const {
    std::vector<QXRegrParameter> all;
    for (int target : targets)
      for (QXRegrParameter p : fBasic) {
        p.SetTargetCategory(target);
        all.push_back(p);
      }
    return all;
  }

  QXMath_600::QXLogRegSettings fSettings;
  QXCommon_600::QXVarList fVariables = Variables(Categorical("y", {"low", "mid", "high"}));
  std::vector<QXRegrParameter> fBasic;
  std::vector<double> fEstimates{1.0, 2.0, 0.0, 3.0, 4.0, 0.0};
  QXBitSet fNonRedundant{6};
};

TEST_F(PmmlExporterMultinomial, BlocksStandForTheCategoriesInOrderWithoutTargetsOnTheParameters) {
  const QXPMMLRegrExporter exporter(fSettings, fVariables, fBasic, fEstimates, fNonRedundant, nullptr);
  ASSERT_TRUE(exporter.GetStatus().IsOK());
  EXPECT_EQ(exporter.GetParamInfo().size(), 3u);
  EXPECT_EQ(exporter.GetTargetCategories(), (std::vector<int>{0, 1}));
  const auto matrix = exporter.ExportParamMatrix(false, 0);
  EXPECT_EQ(Values(matrix.get(), "targetCategory"), (Strings{"low", "low", "low", "mid", "mid", "mid"}));
  EXPECT_EQ(Values(matrix.get(), "parameterName"),
            (Strings{"P0000001", "P0000002", "P0000003", "P0000001", "P0000002", "P0000003"}));
  EXPECT_EQ(Values(matrix.get(), "df"), (Strings{"1", "1", "0", "1", "1", "0"}));
  EXPECT_EQ(Values(matrix.get(), "beta"), (Strings{"1", "2", "0", "3", "4", "0"}));
  QXMath_600::QXSymMatrix v(6);
  v.SetElem(4, 1, 0.5);
  EXPECT_EQ(exporter.ExportPCovMatrix(v, QXConst::QXCovbModel, false, 0)->GetChild(0)->ToString(false),
            "<PCovCell tRow=\"mid\" tCol=\"low\" pRow=\"P0000002\" pCol=\"P0000002\" value=\"0.5\"/>");
  EXPECT_EQ(exporter.ExportPCovMatrix(QXMath_600::QXSymMatrix(6), QXConst::QXCovbModel, false, 0)
                ->GetChild(0)
                ->ToString(false),
            "<PCovCell tRow=\"low\" tCol=\"low\" pRow=\"P0000001\" pCol=\"P0000001\" value=\"0.0\"/>");
}

// The logistic model's parameter list carries each block's category, reference last in the model's
// own order: with the first category as the reference the blocks are categories 1 and 2.
TEST_F(PmmlExporterMultinomial, BlocksTakeTheCategoriesTheirParametersCarry) {
  const std::vector<QXRegrParameter> all = AllParameters({1, 2});
  const QXPMMLRegrExporter exporter(fSettings, fVariables, all, fEstimates, fNonRedundant, nullptr);
  ASSERT_TRUE(exporter.GetStatus().IsOK());
  EXPECT_EQ(exporter.GetTargetCategories(), (std::vector<int>{1, 2}));
  EXPECT_EQ(Values(exporter.ExportParamMatrix(false, 0).get(), "targetCategory"),
            (Strings{"mid", "mid", "mid", "high", "high", "high"}));
  EXPECT_EQ(Values(exporter.ExportParameterList().get(), "label"), (Strings{"Intercept", "[B=1]", "[B=2]"}));

  // A category the dependent lacks, blocks of unequal length, or a category in two blocks cannot be a
  // layout.
  std::vector<QXRegrParameter> unknown = AllParameters({1, 3});
  std::vector<QXRegrParameter> ragged = all;
  ragged[1].SetTargetCategory(2);
  std::vector<QXRegrParameter> twice = all;
  twice[2].SetTargetCategory(1);
  twice[3].SetTargetCategory(1);
  for (const auto& bad : {unknown, ragged, twice})
    EXPECT_EQ(QXPMMLRegrExporter(fSettings, fVariables, bad, fEstimates, fNonRedundant, nullptr)
                  .GetStatus()
                  .GetErrorCode(),
              303);
  const std::vector<double> five(5, 1.0);
  EXPECT_EQ(QXPMMLRegrExporter(fSettings, fVariables, fBasic, five, fNonRedundant, nullptr)
                .GetStatus()
                .GetErrorCode(),
            303);
}

// A binary model may be written with one fixed target: category 1 - target on every cell.
TEST_F(PmmlExporterMultinomial, AFixedTargetNamesOneCategoryOnEveryCell) {
  const QXPMMLRegrExporter exporter(fSettings, fVariables, fBasic, fEstimates, fNonRedundant, nullptr);
  EXPECT_EQ(Values(exporter.ExportParamMatrix(true, 0).get(), "targetCategory"), Strings(6, "mid"));
  EXPECT_EQ(Values(exporter.ExportParamMatrix(true, 1).get(), "targetCategory"), Strings(6, "low"));
  const auto covariance =
      exporter.ExportPCovMatrix(QXMath_600::QXSymMatrix(6), QXConst::QXCovbModel, true, -1);
  EXPECT_EQ(*covariance->GetChild(0)->FindAttribute("tRow"), "high");
  for (int target : {2, -2, INT_MIN, INT_MAX}) {
    EXPECT_EQ(exporter.ExportParamMatrix(true, target), nullptr) << target;
    EXPECT_EQ(exporter.ExportPCovMatrix(QXMath_600::QXSymMatrix(6), QXConst::QXCovbModel, true, target),
              nullptr);
  }
}

}  // namespace
