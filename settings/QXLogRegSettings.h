// The description of a multinomial logistic regression: everything a general linear model takes, plus
// the number of categories of the dependent variable and its reference category, the convergence
// criteria and the iteration limits of the optimizer.
#pragma once

#include "common/QXExport.h"
#include "common/QXStatus.h"
#include "settings/QXRegSettings.h"

namespace QXMath_600 {

class QXREGRES_API QXLogRegSettings : public QXRegSettings {
 public:
  QXLogRegSettings() = default;
  QXLogRegSettings(const QXLogRegSettings&) = default;
  QXLogRegSettings& operator=(const QXLogRegSettings&) = default;
  ~QXLogRegSettings() override = default;

  QXConst::QXRegModelType GetModelType() const override { return QXConst::QXRegModelLogistic; }
  // The same rules as for a general linear model.
  QXCommon_600::QXStatus IsValidSettings(bool allowEmptyModel) const override;

  // Sets the number of categories (>= 2) and the reference category: -1 the last category found in
  // the data, -2 the first, else a category code below the number of categories.
  bool SetDependentRefCat(int referenceCategory, int nCategories);
  // Validating setters: each returns false and changes nothing for a value out of range.
  bool SetIterationFrequency(int frequency);       // >= 1
  bool SetLLConCriterion(double criterion);        // >= 0; 0 switches the criterion off
  bool SetParamEstConCriterion(double criterion);  // >= 0
  bool SetMaxIterations(int n);                    // >= 0
  bool SetMaxStepHalvingValue(int n);              // >= 1
  bool SetStartingIteration(int iteration);        // >= 0

  // Whether the convergence criteria measure absolute (true) or relative (false) changes.
  void SetLLFuncChange(bool absolute) { fbLLFuncChangeAbsolute = absolute; }
  bool GetLLFuncChange() const { return fbLLFuncChangeAbsolute; }
  void SetParamEstChange(bool absolute) { fbParamEstChangeAbsolute = absolute; }
  bool GetParamEstChange() const { return fbParamEstChangeAbsolute; }
  // Collapsing the records into covariate patterns keeps them in memory for the iterations. It is off
  // by default: a fit then streams the caller's records once per iteration and so handles data larger
  // than memory; a caller with data that fit opts in for speed.
  void SetUsePatternTabulator(bool use) { fbUsePatternTabulator = use; }
  bool GetUsePatternTabulator() const { return fbUsePatternTabulator; }

  int GetDependentNCategs() const { return fDependentNCategs; }
  int GetDependentRefCateg() const { return fDependentRefCateg; }
  int GetIterationFrequency() const { return fIterationFrequency; }
  double GetLLConCriterion() const { return fLLConCriterion; }
  double GetParamEstConCriterion() const { return fParamEstConCriterion; }
  int GetMaxIterations() const { return fMaxIterations; }
  int GetMaxStepHalvingValue() const { return fMaxStepHalving; }
  // The iteration from which the optimizer looks for separation.
  int GetStartingIteration() const { return fStartingIteration; }

  void Display() const override;

 private:
  int fDependentNCategs = 2;
  int fDependentRefCateg = -1;
  double fLLConCriterion = 0.0;
  double fParamEstConCriterion = 1e-6;
  int fMaxIterations = 100;
  int fMaxStepHalving = 5;
  int fStartingIteration = 20;
  bool fbLLFuncChangeAbsolute = false;
  bool fbParamEstChangeAbsolute = false;
  bool fbUsePatternTabulator = false;
  int fIterationFrequency = 1;
};

}  // namespace QXMath_600
