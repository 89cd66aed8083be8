#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "qxregres600r.h"

namespace {

using QXMath_600::QXLogRegSettings;
using QXMath_600::QXModelEffect;
using QXMath_600::QXRegSettings;
using namespace QXConst;

TEST(RegSettings, DefaultsDescribeAnInterceptOnlyModelWithoutDependent) {
  QXRegSettings settings;
  EXPECT_EQ(settings.GetDependent(), -1);
  EXPECT_EQ(settings.GetFrequencyWeightVar(), -1);
  EXPECT_EQ(settings.GetRegrWeightVar(), -1);
  EXPECT_TRUE(settings.GetInterceptUse());
  EXPECT_FALSE(settings.GetTransformEffects());
  EXPECT_EQ(settings.GetTolerance(), 1e-12);
  EXPECT_EQ(settings.GetConfidenceLevel(), 0.95);
  EXPECT_EQ(settings.GetDF(), -1.0);
  EXPECT_EQ(settings.GetTestType(), QXTestWaldF);
  EXPECT_EQ(settings.GetPAdjustment(), QXPAdjLSD);
  EXPECT_EQ(settings.GetCovbType(), QXCovbModel);
  EXPECT_EQ(settings.GetMaxThreadNum(), 1);
  EXPECT_EQ(settings.GetMemCacheKB(), 0);
  EXPECT_TRUE(settings.GetVariableTypes().empty());
  EXPECT_EQ(settings.GetModelType(), QXRegModelGLM);

  QXLogRegSettings logistic;
  EXPECT_EQ(logistic.GetModelType(), QXRegModelLogistic);
  EXPECT_EQ(logistic.GetDependentNCategs(), 2);
  EXPECT_EQ(logistic.GetDependentRefCateg(), -1);
  EXPECT_EQ(logistic.GetLLConCriterion(), 0.0);
  EXPECT_EQ(logistic.GetParamEstConCriterion(), 1e-6);
  EXPECT_EQ(logistic.GetMaxIterations(), 100);
  EXPECT_EQ(logistic.GetMaxStepHalvingValue(), 5);
  EXPECT_EQ(logistic.GetStartingIteration(), 20);
  EXPECT_EQ(logistic.GetIterationFrequency(), 1);
  EXPECT_FALSE(logistic.GetLLFuncChange());
  EXPECT_FALSE(logistic.GetParamEstChange());
  // Off unless the caller opts in, so that a fit streams data larger than memory.
  EXPECT_FALSE(logistic.GetUsePatternTabulator());
}

TEST(RegSettings, ValidityNeedsADependentThenAnInterceptOrAnEffect) {
  QXLogRegSettings logistic;
  QXRegSettings& settings = logistic;  // the rules hold through the base as well
  EXPECT_EQ(settings.IsValidSettings(false).GetErrorCode(), 301);
  EXPECT_TRUE(settings.IsValidSettings(false).IsError());
  settings.SetInterceptUse(false);
  EXPECT_EQ(settings.IsValidSettings(false).GetErrorCode(), 301);  // 301 is reported first

  ASSERT_TRUE(settings.SetDependent(0));
  EXPECT_EQ(settings.IsValidSettings(false).GetErrorCode(), 302);
  EXPECT_TRUE(settings.IsValidSettings(false).IsError());
  EXPECT_TRUE(settings.IsValidSettings(true).IsOK());

  settings.SetInterceptUse(true);
  EXPECT_TRUE(settings.IsValidSettings(false).IsOK());
  settings.SetInterceptUse(false);
  std::vector<int> vars{1};
  EXPECT_TRUE(settings.AddModelEffect(QXModelEffect(1, 0, &vars)));
  EXPECT_TRUE(settings.IsValidSettings(false).IsOK());
}

TEST(RegSettings, RoleRegisterGrowsToTheIndexAndHoldsOneRolePerVariable) {
  QXRegSettings settings;
  ASSERT_TRUE(settings.SetDependent(3));
  EXPECT_EQ(settings.GetVariableTypes(), (std::vector<QXVariableType>{QXVarUnspecified, QXVarUnspecified,
                                                                      QXVarUnspecified, QXVarDependent}));
  EXPECT_FALSE(settings.SetDependent(5));  // one dependent only
  EXPECT_EQ(settings.GetDependent(), 3);

  EXPECT_EQ(settings.AddFactor(2, 0), -1);
  EXPECT_EQ(settings.AddFactor(-1, 3), -1);
  EXPECT_EQ(settings.AddFactor(3, 2), -1);  // the dependent's index
  EXPECT_EQ(settings.AddFactor(2, 3), 1);
  EXPECT_EQ(settings.AddCovariate(2), -1);
  EXPECT_EQ(settings.AddCovariate(-4), -1);
  EXPECT_EQ(settings.AddCovariate(6), 1);
  EXPECT_FALSE(settings.SetFrequencyWeightVar(6));
  EXPECT_FALSE(settings.SetRegrWeightVar(-1));
  EXPECT_TRUE(settings.SetRegrWeightVar(0));

  EXPECT_EQ(settings.GetFactors(), std::vector<int>{2});
  EXPECT_EQ(settings.GetFactorSizes(), std::vector<int>{3});
  EXPECT_EQ(settings.GetCovariates(), std::vector<int>{6});
  EXPECT_EQ(settings.GetVariableTypes(),
            (std::vector<QXVariableType>{QXVarRegrWeight, QXVarUnspecified, QXVarFactor, QXVarDependent,
                                         QXVarUnspecified, QXVarUnspecified, QXVarCovariate}));
}

TEST(RegSettings, FactorListsStopAtTheFirstRefusalAndSizesNeedOnePerFactor) {
  QXRegSettings settings;
  EXPECT_TRUE(settings.SetFactors({}));
  EXPECT_FALSE(settings.SetFactors({4, 5, 4}));
  EXPECT_EQ(settings.GetFactors(), (std::vector<int>{4, 5}));
  EXPECT_EQ(settings.GetFactorSizes(), (std::vector<int>{1, 1}));

  EXPECT_FALSE(settings.SetFactorNCategs({3}));
  EXPECT_FALSE(settings.SetFactorNCategs({3, 0}));
  EXPECT_EQ(settings.GetFactorSizes(), (std::vector<int>{1, 1}));
  EXPECT_TRUE(settings.SetFactorNCategs({3, 4}));
  EXPECT_EQ(settings.GetFactorSizes(), (std::vector<int>{3, 4}));
}

TEST(RegSettings, ReplacingAWeightVariableGivesTheEarlierOneItsRoleBack) {
  QXRegSettings settings;
  ASSERT_TRUE(settings.SetFrequencyWeightVar(1));
  ASSERT_TRUE(settings.SetRegrWeightVar(2));
  EXPECT_FALSE(settings.SetFrequencyWeightVar(1));  // already the frequency weight
  EXPECT_FALSE(settings.SetFrequencyWeightVar(2));  // taken by the other weight: nothing changes
  EXPECT_EQ(settings.GetFrequencyWeightVar(), 1);
  EXPECT_EQ(settings.GetVariableTypes()[2], QXVarRegrWeight);

  ASSERT_TRUE(settings.SetFrequencyWeightVar(4));
  ASSERT_TRUE(settings.SetRegrWeightVar(0));
  EXPECT_EQ(settings.GetFrequencyWeightVar(), 4);
  EXPECT_EQ(settings.GetRegrWeightVar(), 0);
  EXPECT_EQ(settings.GetVariableTypes(),
            (std::vector<QXVariableType>{QXVarRegrWeight, QXVarUnspecified, QXVarUnspecified,
                                         QXVarUnspecified, QXVarFreqWeight}));
  // The released variables can take another role.
  EXPECT_EQ(settings.AddCovariate(1), 1);
  EXPECT_TRUE(settings.SetDependent(2));
}

TEST(RegSettings, RangedSettersIgnoreValuesOutOfRange) {
  QXRegSettings settings;
  settings.SetConfidenceLevel(1.0);
  EXPECT_EQ(settings.GetConfidenceLevel(), 0.95);
  settings.SetConfidenceLevel(-0.1);
  settings.SetConfidenceLevel(std::nan(""));
  EXPECT_EQ(settings.GetConfidenceLevel(), 0.95);
  settings.SetConfidenceLevel(0.0);
  EXPECT_EQ(settings.GetConfidenceLevel(), 0.0);

  settings.SetDF(-2.0);
  settings.SetDF(std::nan(""));
  EXPECT_EQ(settings.GetDF(), -1.0);
  settings.SetDF(0.0);
  EXPECT_EQ(settings.GetDF(), 0.0);
  settings.SetDF(12.5);
  EXPECT_EQ(settings.GetDF(), 12.5);
}

TEST(LogRegSettings, ValidatingSettersRefuseOutOfRangeAndChangeNothing) {
  QXLogRegSettings settings;
  EXPECT_TRUE(settings.SetDependentRefCat(-2, 2));
  EXPECT_FALSE(settings.SetDependentRefCat(2, 2));
  EXPECT_FALSE(settings.SetDependentRefCat(0, 1));
  EXPECT_FALSE(settings.SetDependentRefCat(-3, 4));
  EXPECT_EQ(settings.GetDependentRefCateg(), -2);
  EXPECT_EQ(settings.GetDependentNCategs(), 2);
  EXPECT_TRUE(settings.SetDependentRefCat(3, 5));
  EXPECT_EQ(settings.GetDependentNCategs(), 5);

  EXPECT_TRUE(settings.SetMaxIterations(0));
  EXPECT_EQ(settings.GetMaxIterations(), 0);
  EXPECT_FALSE(settings.SetMaxIterations(-1));
  EXPECT_FALSE(settings.SetMaxStepHalvingValue(0));
  EXPECT_EQ(settings.GetMaxStepHalvingValue(), 5);
  EXPECT_FALSE(settings.SetIterationFrequency(0));
  EXPECT_FALSE(settings.SetStartingIteration(-1));
  EXPECT_TRUE(settings.SetStartingIteration(0));
  EXPECT_FALSE(settings.SetLLConCriterion(-1e-9));
  EXPECT_FALSE(settings.SetLLConCriterion(std::nan("")));
  EXPECT_TRUE(settings.SetLLConCriterion(1e-8));
  EXPECT_FALSE(settings.SetParamEstConCriterion(std::nan("")));
  EXPECT_EQ(settings.GetParamEstConCriterion(), 1e-6);
  EXPECT_EQ(settings.GetLLConCriterion(), 1e-8);
}

class NeverCancel : public QXCommon_600::QXQueryCancel {
 public:
  bool IsCancelRequested() override { return false; }
  bool IsCancelPending() override { return false; }
};

TEST(RegSettings, CopiesOwnTheirListsButShareTheCallersHooks) {
  NeverCancel cancel;
  auto original = std::make_unique<QXLogRegSettings>();
  original->SetDependent(0);
  original->AddFactor(1, 3);
  std::vector<int> vars{1};
  QXModelEffect effect(1, 0, &vars);
  effect.AddNewFactor(1, false);
  original->AddModelEffect(effect);
  original->SetCancelPointer(&cancel);
  original->SetUsePatternTabulator(true);
  original->SetDependentRefCat(0, 4);

  const QXLogRegSettings copy(*original);
  QXLogRegSettings assigned;
  assigned = *original;
  original->AddCovariate(2);
  original->AddModelEffect(effect);
  original.reset();

  for (const QXLogRegSettings* s : std::vector<const QXLogRegSettings*>{&copy, &assigned}) {
    EXPECT_EQ(s->GetDependent(), 0);
    EXPECT_EQ(s->GetFactors(), std::vector<int>{1});
    EXPECT_TRUE(s->GetCovariates().empty());
    ASSERT_EQ(s->GetNModelEffects(), 1);
    EXPECT_EQ(s->GetModelEffects()[0], effect);
    EXPECT_EQ(s->GetCancelPointer(), &cancel);
    EXPECT_TRUE(s->GetUsePatternTabulator());
    EXPECT_EQ(s->GetDependentNCategs(), 4);
    EXPECT_EQ(s->GetVariableTypes().size(), 2u);
  }
}

}  // namespace
