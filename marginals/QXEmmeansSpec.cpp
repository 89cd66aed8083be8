#include "marginals/QXEmmeansSpec.h"

#include <algorithm>
#include <cmath>

#include "common/QXDisplay.h"
#include "settings/QXDisplayC.h"

namespace QXMath_600 {

namespace {

bool Contains(const std::vector<int>& list, int value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

int QXEmmeansSpec::AddFactor(int factor) {
  if (factor < 0 || Contains(fvFactors, factor)) return -1;
  fvFactors.push_back(factor);
  return static_cast<int>(fvFactors.size());
}

int QXEmmeansSpec::AddFactor(int factor, int nestLevel) {
  const int count = AddFactor(factor);
  if (count >= 0) fvFactorNestLevels.push_back(nestLevel);
  return count;
}

int QXEmmeansSpec::AddCovariate(int covariate, double value) {
  if (covariate < 0) return -1;
  for (const auto& [index, held] : fvCovariates)
    if (index == covariate) return -1;
  fvCovariates.emplace_back(covariate, value);
  return static_cast<int>(fvCovariates.size());
}

int QXEmmeansSpec::AddCompareFactor(int factor) {
  if (factor < 0 || Contains(fvCompareFactors, factor)) return -1;
  fvCompareFactors.push_back(factor);
  return static_cast<int>(fvCompareFactors.size());
}

void QXEmmeansSpec::SetRefCateg(int reference) {
  if (fContrastType == QXConst::QXContrastSimple && reference >= 0) fRefCateg = reference;
}

bool QXEmmeansSpec::SetMetricValueList(const std::vector<double>& values) {
  if (fContrastType != QXConst::QXContrastPolynomial || values.empty()) return false;
  // Written as "each below the next" so that NaN, which compares false, is refused as well.
  for (std::size_t i = 0; i + 1 < values.size(); ++i)
    if (!(values[i] < values[i + 1])) return false;
  if (std::isnan(values.front())) return false;
  fvMetricValues = values;
  return true;
}

void QXEmmeansSpec::Reset() {
  fRefCateg = -1;
  fContrastType = QXConst::QXContrastSimple;
  fPAdjust = QXConst::QXPAdjLSD;
  fScaleType = QXConst::QXEmmOriginal;
  fvFactors.clear();
  fvCovariates.clear();
  fvCompareFactors.clear();
  fvMetricValues.clear();
}

void QXEmmeansSpec::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXEmmeansSpec display start");
  DisplayIV("Factors", fvFactors);
  std::vector<int> covariates;
  std::vector<double> values;
  for (const auto& [index, value] : fvCovariates) {
    covariates.push_back(index);
    values.push_back(value);
  }
  DisplayIV("Covariates", covariates);
  DisplayDV("Values", values);
  DisplayIV("Compare factors (-1 means 'not set')",
            fvCompareFactors.empty() ? std::vector<int>{-1} : fvCompareFactors);
  DisplayC("Contrast type", fContrastType);
  if (fRefCateg != -1) DisplayI("Contrast reference category", fRefCateg);
  if (!fvMetricValues.empty()) DisplayDV("Metric value list", fvMetricValues);
  DisplayText(1, "QXEmmeansSpec display end");
}

}  // namespace QXMath_600
