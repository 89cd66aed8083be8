#include <gtest/gtest.h>

#include <vector>

#include "qxregres600r.h"

namespace {

using QXMath_600::QXModelEffect;

// Candidates of a model with factors A (record 10) and B (11) and covariates X (20) and Z (21).
constexpr int kA = 10, kB = 11, kX = 20, kZ = 21;

class ModelEffectTest : public ::testing::Test {
 protected:
  QXModelEffect Make() const { return QXModelEffect(2, 2, &fVars); }
  std::vector<int> fVars{kA, kB, kX, kZ};
};

TEST_F(ModelEffectTest, StartsAsTheInterceptOverItsCandidates) {
  std::vector<int> vars{kA, kB, kX};
  const QXModelEffect effect(2, 1, &vars);
  EXPECT_EQ(effect.GetModelEffect(), (std::vector<int>{-1, -1, 0}));
  EXPECT_TRUE(effect.IsIntercept());
  EXPECT_EQ(effect.GetNModelFactors(), 2);
  EXPECT_EQ(effect.GetNModelCovariates(), 1);
  EXPECT_EQ(effect.GetNLevels(), 0);
  // Bad counts and a null list give an empty effect rather than a fault.
  const QXModelEffect odd(-3, 2, nullptr);
  EXPECT_EQ(odd.GetModelEffect(), (std::vector<int>{0, 0}));
  EXPECT_EQ(odd.ContainsFactor(kA), -1);
}

TEST_F(ModelEffectTest, NestingMovesEarlierFactorsOneLevelDeeper) {
  QXModelEffect effect = Make();
  EXPECT_TRUE(effect.AddNewFactor(kA, false));
  EXPECT_TRUE(effect.AddNewFactor(kB, true));
  EXPECT_EQ(effect.ContainsFactor(kA), 1);
  EXPECT_EQ(effect.ContainsFactor(kB), 0);
  EXPECT_EQ(effect.GetNLevels(), 2);
  EXPECT_EQ(effect.GetNFactors(), 2);
  EXPECT_FALSE(effect.AddNewFactor(kA, false));  // already in
  EXPECT_FALSE(effect.AddNewFactor(kX, false));  // a covariate, not a factor
  EXPECT_FALSE(effect.AddNewFactor(99, false));
  EXPECT_EQ(effect.GetFactors(), (std::vector<int>{kA, kB}));
  EXPECT_EQ(effect.GetFactorLevels(), (std::vector<int>{1, 0}));

  QXModelEffect crossed = Make();
  crossed.AddNewFactor(kA, false);
  crossed.AddNewFactor(kB, false);
  EXPECT_EQ(crossed.GetFactorLevels(), (std::vector<int>{0, 0}));
  EXPECT_EQ(crossed.GetNLevels(), 1);

  std::vector<int> none{kX};
  QXModelEffect noFactors(0, 1, &none);
  EXPECT_FALSE(noFactors.AddNewFactor(kX, false));
}

TEST_F(ModelEffectTest, CovariatePowersCountEachCovariateOnce) {
  QXModelEffect effect = Make();
  EXPECT_EQ(effect.AddCovariate(kX), 1);
  EXPECT_EQ(effect.AddCovariate(kX), 2);
  EXPECT_EQ(effect.AddCovariate(kA), -1);
  EXPECT_EQ(effect.GetNCovariates(), 1);
  EXPECT_EQ(effect.GetNCovariateMult(), 2);
  EXPECT_EQ(effect.GetCovariateMult(kX), 2);
  EXPECT_EQ(effect.GetCovariateMult(kZ), 0);
  EXPECT_EQ(effect.GetCovariateMult(kA), -1);
  EXPECT_EQ(effect.GetCovariates(), std::vector<int>{kX});
  EXPECT_EQ(effect.GetCovMultiplicities(), std::vector<int>{2});

  std::vector<int> listed{99};
  EXPECT_TRUE(effect.IsCovariateEffect(listed));
  EXPECT_EQ(listed, (std::vector<int>{kX, kX}));
  effect.AddNewFactor(kB, false);
  EXPECT_FALSE(effect.IsCovariateEffect(listed));
  EXPECT_TRUE(listed.empty());
  EXPECT_FALSE(Make().IsCovariateEffect(listed));

  effect.SetFactorsInParens();
  effect.Reset();
  EXPECT_EQ(effect, Make());
  EXPECT_FALSE(effect.GetFactorsInParens());
}

TEST_F(ModelEffectTest, ContainmentIsAboutFactorsAndEqualCovariatePowers) {
  QXModelEffect a = Make(), ab = Make(), ax = Make(), abxx = Make(), bNestA = Make();
  a.AddNewFactor(kA, false);
  ab.AddNewFactor(kA, false);
  ab.AddNewFactor(kB, false);
  ax.AddNewFactor(kA, false);
  ax.AddCovariate(kX);
  abxx.AddNewFactor(kA, false);
  abxx.AddNewFactor(kB, false);
  abxx.AddCovariate(kX);
  abxx.AddCovariate(kX);
  bNestA.AddNewFactor(kB, false);
  bNestA.AddNewFactor(kA, true);

  EXPECT_TRUE(a.IsContainedIn(ab));
  EXPECT_TRUE(a.IsContainedIn(bNestA));  // nesting levels are not compared
  EXPECT_FALSE(ab.IsContainedIn(ab));
  EXPECT_FALSE(ab.IsContainedIn(a));
  EXPECT_FALSE(ax.IsContainedIn(abxx));  // powers differ
  EXPECT_FALSE(a.IsContainedIn(abxx));   // covariates differ

  std::vector<int> otherVars{kA, kB, kX, 22};
  QXModelEffect elsewhere(2, 2, &otherVars);
  elsewhere.AddNewFactor(kA, false);
  elsewhere.AddNewFactor(kB, false);
  EXPECT_FALSE(a.IsContainedIn(elsewhere));

  // Equality looks at levels and the parentheses flag, not at the exports' list.
  EXPECT_NE(ab, bNestA);
  QXModelEffect tagged = ab;
  tagged.SetVarsIndicesForTheEffectInSetting({0, 1});
  EXPECT_EQ(tagged, ab);
  tagged.SetFactorsInParens();
  EXPECT_NE(tagged, ab);
}

TEST_F(ModelEffectTest, MaskDropsCandidatesAndReportsDroppingAUsedOne) {
  QXModelEffect effect = Make();
  effect.AddNewFactor(kA, false);
  effect.AddCovariate(kX);
  EXPECT_TRUE(effect.ApplyMask({true, true, true, false}));  // Z is not used
  EXPECT_EQ(effect.GetModelEffect(), (std::vector<int>{0, -1, 1}));
  EXPECT_EQ(effect.GetNModelCovariates(), 1);
  EXPECT_TRUE(effect.ApplyMask({true, false}));  // a short mask keeps the rest
  EXPECT_EQ(effect.GetModelEffect(), (std::vector<int>{0, 1}));
  EXPECT_EQ(effect.GetNModelFactors(), 1);
  EXPECT_FALSE(effect.ApplyMask({false, true}));
  EXPECT_EQ(effect.GetModelEffect(), std::vector<int>{1});
  EXPECT_EQ(effect.GetNModelFactors(), 0);
  EXPECT_EQ(effect.GetVarIndices(), fVars);  // the caller replaces them
}

TEST_F(ModelEffectTest, UsedVariablesAreCollectedOnceInOrderOfFirstUse) {
  QXModelEffect bx = Make(), ab = Make(), zz = Make();
  bx.AddNewFactor(kB, false);
  bx.AddCovariate(kX);
  ab.AddNewFactor(kA, false);
  ab.AddNewFactor(kB, false);
  zz.AddCovariate(kZ);
  zz.AddCovariate(kZ);
  const std::vector<QXModelEffect> effects{bx, ab, zz};

  EXPECT_EQ(QXModelEffect::CheckVariableUse(effects), (std::vector<bool>{true, true, true, true}));
  EXPECT_EQ(QXModelEffect::CheckVariableUse({bx}), (std::vector<bool>{false, true, true, false}));
  EXPECT_TRUE(QXModelEffect::CheckVariableUse({}).empty());

  std::vector<int> factors{99}, covariates{98};
  QXModelEffect::GetUsedVariables({}, factors, covariates);
  EXPECT_EQ(factors, std::vector<int>{99});
  QXModelEffect::GetUsedVariables(effects, factors, covariates);
  EXPECT_EQ(factors, (std::vector<int>{kB, kA}));
  EXPECT_EQ(covariates, (std::vector<int>{kX, kZ}));
}

}  // namespace
