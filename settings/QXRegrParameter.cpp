#include "settings/QXRegrParameter.h"

#include <algorithm>
#include <climits>
#include <numeric>

#include "common/QXDisplay.h"

namespace QXMath_600 {

void QXRegrParameter::Reset() {
  fvFactors.clear();
  fvCategories.clear();
  fvFactorNestLevels.clear();
  fvCovariates.clear();
  fvCovariateMults.clear();
  fEffectIndex = -1;
  fTargetCategory = -1;
}

bool QXRegrParameter::AddFactor(int index, int category, int nestLevel) {
  if (index < 0 || nestLevel < 0) return false;
  if (std::find(fvFactors.begin(), fvFactors.end(), index) != fvFactors.end()) return false;
  const auto deeper = std::upper_bound(fvFactorNestLevels.begin(), fvFactorNestLevels.end(), nestLevel);
  const auto position = deeper - fvFactorNestLevels.begin();
  fvFactors.insert(fvFactors.begin() + position, index);
  fvCategories.insert(fvCategories.begin() + position, category);
  fvFactorNestLevels.insert(deeper, nestLevel);
  return true;
}

int QXRegrParameter::AddCovariate(int index, int multiplicity) {
  if (index < 0 || multiplicity < 1) return 0;
  const auto found = std::find(fvCovariates.begin(), fvCovariates.end(), index);
  if (found == fvCovariates.end()) {
    fvCovariates.push_back(index);
    fvCovariateMults.push_back(multiplicity);
    return multiplicity;
  }
  int& power = fvCovariateMults[found - fvCovariates.begin()];
  if (power > INT_MAX - multiplicity) return 0;
  power += multiplicity;
  return power;
}

int QXRegrParameter::ContainsFactor(int index, int notFound) const {
  const auto found = std::find(fvFactors.begin(), fvFactors.end(), index);
  return found == fvFactors.end() ? notFound : fvCategories[found - fvFactors.begin()];
}

int QXRegrParameter::GetCovariateMult(int index) const {
  const auto found = std::find(fvCovariates.begin(), fvCovariates.end(), index);
  return found == fvCovariates.end() ? 0 : fvCovariateMults[found - fvCovariates.begin()];
}

int QXRegrParameter::GetNCovariateMult() const {
  return std::accumulate(fvCovariateMults.begin(), fvCovariateMults.end(), 0);
}

bool QXRegrParameter::SetupFromEffect(const QXModelEffect& effect, int effectIndex, int category) {
  if (effect.IsIntercept() || effectIndex < 0) return false;
  fEffectIndex = effectIndex;
  fvFactors.clear();
  fvCategories.clear();
  fvFactorNestLevels.clear();
  const std::vector<int> factors = effect.GetFactors();
  const std::vector<int> levels = effect.GetFactorLevels();
  for (std::size_t i = 0; i < factors.size(); ++i) AddFactor(factors[i], category, levels[i]);
  fvCovariates = effect.GetCovariates();
  fvCovariateMults = effect.GetCovMultiplicities();
  return true;
}

bool QXRegrParameter::operator==(const QXRegrParameter& other) const {
  return fEffectIndex == other.fEffectIndex && fvFactors == other.fvFactors &&
         fvCategories == other.fvCategories && fvFactorNestLevels == other.fvFactorNestLevels &&
         fvCovariates == other.fvCovariates && fvCovariateMults == other.fvCovariateMults &&
         fTargetCategory == other.fTargetCategory;
}

void QXRegrParameter::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, "Begin QXRegrParameter object display.");
  if (fvFactors.empty()) {
    DisplayText(1, "No factors are present.");
  } else {
    DisplayIV("The factors:", fvFactors);
    DisplayIV("Categories:", fvCategories);
    DisplayIV("Factor nesting levels:", fvFactorNestLevels);
  }
  if (fvCovariates.empty()) {
    DisplayText(1, "No covariates are present.");
  } else {
    DisplayIV("Covariates:", fvCovariates);
    DisplayIV("Covariate multiplicities:", fvCovariateMults);
  }
  DisplayI("Index of the effect", fEffectIndex);
  if (fTargetCategory >= 0) DisplayI("Target category", fTargetCategory);
  DisplayText(1, "End QXRegrParameter object display.\n");
}

}  // namespace QXMath_600
