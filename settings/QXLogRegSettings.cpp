#include "settings/QXLogRegSettings.h"

#include "common/QXDisplay.h"

namespace QXMath_600 {

QXCommon_600::QXStatus QXLogRegSettings::IsValidSettings(bool allowEmptyModel) const {
  return QXRegSettings::IsValidSettings(allowEmptyModel);
}

bool QXLogRegSettings::SetDependentRefCat(int referenceCategory, int nCategories) {
  if (nCategories < 2 || referenceCategory < -2 || referenceCategory >= nCategories) return false;
  fDependentNCategs = nCategories;
  fDependentRefCateg = referenceCategory;
  return true;
}

bool QXLogRegSettings::SetIterationFrequency(int frequency) {
  if (frequency < 1) return false;
  fIterationFrequency = frequency;
  return true;
}

bool QXLogRegSettings::SetLLConCriterion(double criterion) {
  if (!(criterion >= 0.0)) return false;
  fLLConCriterion = criterion;
  return true;
}

bool QXLogRegSettings::SetParamEstConCriterion(double criterion) {
  if (!(criterion >= 0.0)) return false;
  fParamEstConCriterion = criterion;
  return true;
}

bool QXLogRegSettings::SetMaxIterations(int n) {
  if (n < 0) return false;
  fMaxIterations = n;
  return true;
}

bool QXLogRegSettings::SetMaxStepHalvingValue(int n) {
  if (n < 1) return false;
  fMaxStepHalving = n;
  return true;
}

bool QXLogRegSettings::SetStartingIteration(int iteration) {
  if (iteration < 0) return false;
  fStartingIteration = iteration;
  return true;
}

void QXLogRegSettings::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXLogRegSettings display start");
  QXRegSettings::Display();
  DisplayI("N of Dependent Categories", fDependentNCategs);
  DisplayI("Dependent Var reference Category", fDependentRefCateg);
  DisplayD("Log-Likelihood Function Convergence Criterion", fLLConCriterion);
  DisplayD("Parameter Estimates Convergence Criterion", fParamEstConCriterion);
  DisplayI("Maximum number of Iteration", fMaxIterations);
  DisplayI("Maximum Step-Halving Allowed", fMaxStepHalving);
  DisplayI("Staring Iteration", fStartingIteration);
  DisplayB("Log-Likelihood Function absolute change", fbLLFuncChangeAbsolute);
  DisplayB("Parameter Estimates absolute change", fbParamEstChangeAbsolute);
  DisplayI("Show Iteration history frequency", fIterationFrequency);
  DisplayText(1, "QXLogRegSettings display end");
}

}  // namespace QXMath_600
