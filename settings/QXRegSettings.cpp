#include "settings/QXRegSettings.h"

#include <new>
#include <stdexcept>

#include "common/QXDisplay.h"

namespace QXMath_600 {

using QXCommon_600::QXStatus;
using QXConst::QXVariableType;

QXStatus QXRegSettings::IsValidSettings(bool allowEmptyModel) const {
  if (fDependentVar < 0) return QXStatus(301, false);
  if (!allowEmptyModel && !fbInterceptUse && fvModelEffects.empty()) return QXStatus(302, false);
  return QXStatus();
}

bool QXRegSettings::IsRoleFree(int index) const {
  if (index < 0) return false;
  return index >= static_cast<int>(fvVariableTypes.size()) ||
         fvVariableTypes[index] == QXConst::QXVarUnspecified;
}

bool QXRegSettings::AssignRole(int index, QXVariableType role) {
  try {
    if (index >= static_cast<int>(fvVariableTypes.size()))
      fvVariableTypes.resize(static_cast<std::size_t>(index) + 1, QXConst::QXVarUnspecified);
  } catch (const std::bad_alloc&) {
    fvVariableTypes.clear();
    return false;
  } catch (const std::length_error&) {
    fvVariableTypes.clear();
    return false;
  }
  fvVariableTypes[index] = role;
  return true;
}

bool QXRegSettings::SetDependent(int index) {
  if (fDependentVar >= 0 || !IsRoleFree(index)) return false;
  if (!AssignRole(index, QXConst::QXVarDependent)) return false;
  fDependentVar = index;
  return true;
}

int QXRegSettings::AddFactor(int index, int nCategories) {
  if (nCategories < 1 || !IsRoleFree(index)) return -1;
  // Make room first, so that a lack of memory leaves the lists as they were.
  fvFactors.reserve(fvFactors.size() + 1);
  fvFactorSizes.reserve(fvFactorSizes.size() + 1);
  if (!AssignRole(index, QXConst::QXVarFactor)) return -1;
  fvFactors.push_back(index);
  fvFactorSizes.push_back(nCategories);
  return static_cast<int>(fvFactors.size());
}

bool QXRegSettings::SetFactors(const std::vector<int>& indices) {
  for (int index : indices)
    if (AddFactor(index, 1) < 0) return false;
  return true;
}

bool QXRegSettings::SetFactorNCategs(const std::vector<int>& nCategories) {
  if (nCategories.size() != fvFactors.size()) return false;
  for (int n : nCategories)
    if (n < 1) return false;
  fvFactorSizes = nCategories;
  return true;
}

int QXRegSettings::AddCovariate(int index) {
  if (!IsRoleFree(index)) return -1;
  fvCovariates.reserve(fvCovariates.size() + 1);
  if (!AssignRole(index, QXConst::QXVarCovariate)) return -1;
  fvCovariates.push_back(index);
  return static_cast<int>(fvCovariates.size());
}

bool QXRegSettings::ReplaceWeight(int& field, int index, QXVariableType role) {
  if (!IsRoleFree(index)) return false;
  if (!AssignRole(index, role)) return false;
  // The register may have been emptied by a lack of memory earlier; the old index is then beyond it.
  if (field >= 0 && field < static_cast<int>(fvVariableTypes.size()) && fvVariableTypes[field] == role)
    fvVariableTypes[field] = QXConst::QXVarUnspecified;
  field = index;
  return true;
}

bool QXRegSettings::SetFrequencyWeightVar(int index) {
  return ReplaceWeight(fFreqWeightVar, index, QXConst::QXVarFreqWeight);
}

bool QXRegSettings::SetRegrWeightVar(int index) {
  return ReplaceWeight(fRegrWeightVar, index, QXConst::QXVarRegrWeight);
}

bool QXRegSettings::AddModelEffect(const QXModelEffect& effect) {
  try {
    fvModelEffects.push_back(effect);
  } catch (const std::bad_alloc&) {
    fvModelEffects.clear();
    return false;
  }
  return true;
}

void QXRegSettings::SetConfidenceLevel(double level) {
  if (level >= 0.0 && level < 1.0) fConfidenceLevel = level;
}

void QXRegSettings::SetDF(double df) {
  if (df >= 0.0) fDF = df;
}

void QXRegSettings::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXRegSettings display start");
  DisplayI("fFreqWeightVar", fFreqWeightVar);
  DisplayI("fRegrWeightVar", fRegrWeightVar);
  DisplayI("Dependent Var", fDependentVar);
  DisplayIV("Factors ", fvFactors);
  DisplayIV("Factor Sizes ", fvFactorSizes);
  DisplayIV("Covariates ", fvCovariates);
  DisplayD("Tolerance", fTolerance);
  DisplayB("Intercept use", fbInterceptUse);
  DisplayB("Model effects transform", fbTransformEffects);
  DisplayD("Confidence", fConfidenceLevel);
  DisplayD("Degrees of freedom", fDF);
  DisplayText(1, "\nModel Effects:");
  for (const QXModelEffect& effect : fvModelEffects) effect.Display();
  DisplayI("Maximum number of threads", fMaxThreadNum);
  DisplayI("Memory cache limit in KB", fMemCacheKB);
  DisplayB("Multithreading is used", fpThreadFactory != nullptr);
  DisplayB("Multithreaded iterators are used", fpThreadIterFactory != nullptr);
  DisplayText(1, "QXRegSettings display end");
}

}  // namespace QXMath_600
