// One column of a model's design matrix: a combination of categories of an effect's factors, with the
// effect's covariates and their powers, the index of the effect it belongs to and, in logistic
// regression, the category of the dependent variable it predicts. A parameter with neither factors nor
// covariates is the intercept.
#pragma once

#include <vector>

#include "common/QXExport.h"
#include "settings/QXModelEffect.h"

namespace QXMath_600 {

class QXREGRES_API QXRegrParameter {
 public:
  QXRegrParameter() = default;

  // Back to the default: no factors, no covariates, no effect, no target category.
  void Reset();

  // Adds a factor with its category at a nesting level. The factors stay ordered by level, and those
  // of one level in the order they were added. Refuses a negative index or level and a factor that
  // is already present.
  bool AddFactor(int index, int category, int nestLevel);
  // Adds `multiplicity` to the power of a covariate and returns its new power; 0 (nothing added) for a
  // negative index, a multiplicity below 1, or a power that would overflow.
  int AddCovariate(int index, int multiplicity);

  // The category of the factor with the given record index, or `notFound` when it is absent.
  int ContainsFactor(int index, int notFound) const;
  // The covariate's power, 0 when absent.
  int GetCovariateMult(int index) const;
  int GetNCovariateMult() const;
  int GetNFactors() const { return static_cast<int>(fvFactors.size()); }
  int GetNCovariates() const { return static_cast<int>(fvCovariates.size()); }
  bool IsIntercept() const { return fvFactors.empty() && fvCovariates.empty(); }

  // Negative values are ignored.
  void SetEffectIndex(int index) {
    if (index >= 0) fEffectIndex = index;
  }
  int GetEffectIndex() const { return fEffectIndex; }
  void SetTargetCategory(int category) { fTargetCategory = category; }
  int GetTargetCategory() const { return fTargetCategory; }

  const std::vector<int>& GetFactors() const { return fvFactors; }
  const std::vector<int>& GetCategories() const { return fvCategories; }
  // The design fills in the categories of each cell through this form.
  std::vector<int>& GetCategories() { return fvCategories; }
  const std::vector<int>& GetFactorNestLevels() const { return fvFactorNestLevels; }
  const std::vector<int>& GetCovariates() const { return fvCovariates; }
  const std::vector<int>& GetCovariateMultiplicities() const { return fvCovariateMults; }

  // Makes this the parameter of effect number effectIndex: its factors at their nesting levels, all
  // with `category` until the design sets the cell's categories, and its covariates with their
  // powers. Refuses (changing nothing) an intercept effect or a negative index. The target category
  // is kept.
  bool SetupFromEffect(const QXModelEffect& effect, int effectIndex, int category);

  bool operator==(const QXRegrParameter& other) const;
  bool operator!=(const QXRegrParameter& other) const { return !(*this == other); }

  void Display() const;

 private:
  std::vector<int> fvFactors;
  std::vector<int> fvCategories;
  std::vector<int> fvFactorNestLevels;
  std::vector<int> fvCovariates;
  std::vector<int> fvCovariateMults;
  int fEffectIndex = -1;
  int fTargetCategory = -1;
};

}  // namespace QXMath_600
