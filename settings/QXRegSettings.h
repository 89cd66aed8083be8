// The description of a general linear model that a caller hands to the library: the roles of the
// record variables, the model effects, the intercept, the singularity tolerance, the confidence level,
// the test options and the caller's hooks for cancellation, progress and threads. Components copy the
// settings when they are created, so the caller may change or destroy its object afterwards; the hooks
// are copied as pointers and stay the caller's.
//
// Every role a variable gets is also written into a register indexed by record index (the variable
// types), from which the record validator learns what to check. A variable holds one role only.
#pragma once

#include <vector>

#include "common/QXCallbacks.h"
#include "common/QXExport.h"
#include "common/QXStatus.h"
#include "settings/QXConst.h"
#include "settings/QXModelEffect.h"

namespace QXMath_600 {

class QXREGRES_API QXRegSettings {
 public:
  QXRegSettings() = default;
  QXRegSettings(const QXRegSettings&) = default;
  QXRegSettings& operator=(const QXRegSettings&) = default;
  virtual ~QXRegSettings() = default;

  virtual QXConst::QXRegModelType GetModelType() const { return QXConst::QXRegModelGLM; }

  // Error 301 without a dependent variable; else error 302 when the model has neither an intercept
  // nor an effect, unless allowEmptyModel is set; else success.
  virtual QXCommon_600::QXStatus IsValidSettings(bool allowEmptyModel) const;

  // Role setters: each refuses a negative index or an index that already has a role, and then
  // changes nothing.
  // Refuses a second dependent variable as well.
  virtual bool SetDependent(int index);
  // Returns the new number of factors, or -1 when refused (also for fewer than 1 category).
  int AddFactor(int index, int nCategories);
  // Adds each index as a factor of 1 category, stopping at the first refusal (and then returning
  // false); the factors added before it stay.
  bool SetFactors(const std::vector<int>& indices);
  // Replaces the numbers of categories; refused unless there is one per factor and each is >= 1.
  bool SetFactorNCategs(const std::vector<int>& nCategories);
  // Returns the new number of covariates, or -1 when refused.
  virtual int AddCovariate(int index);
  // A weight variable set earlier with another index gives its role back: otherwise the validator
  // would keep dropping records on a variable that no longer weighs anything.
  bool SetFrequencyWeightVar(int index);
  bool SetRegrWeightVar(int index);

  // Appends a copy; its variables are not checked against the settings. False only when memory runs
  // out, which empties the effect list.
  virtual bool AddModelEffect(const QXModelEffect& effect);

  // Accepts 0 <= level < 1; anything else is ignored.
  void SetConfidenceLevel(double level);
  // Accepts values >= 0; anything else is ignored. A value that is not above 0 lets the model compute
  // the error degrees of freedom.
  void SetDF(double df);

  void SetInterceptUse(bool use) { fbInterceptUse = use; }
  bool GetInterceptUse() const { return fbInterceptUse; }
  void SetTransformEffects(bool transform) { fbTransformEffects = transform; }
  bool GetTransformEffects() const { return fbTransformEffects; }
  void SetTolerance(double tolerance) { fTolerance = tolerance; }
  double GetTolerance() const { return fTolerance; }
  void SetTestType(QXConst::QXTestType type) { fTestType = type; }
  QXConst::QXTestType GetTestType() const { return fTestType; }
  void SetPAdjustment(QXConst::QXPAdjustMethod method) { fPAdjustment = method; }
  QXConst::QXPAdjustMethod GetPAdjustment() const { return fPAdjustment; }
  void SetProgressListener(QXCommon_600::ProgressListener* listener) { fpProgressListener = listener; }
  QXCommon_600::ProgressListener* GetProgressListener() const { return fpProgressListener; }
  void SetCancelPointer(QXCommon_600::QXQueryCancel* cancel) { fpCancel = cancel; }
  QXCommon_600::QXQueryCancel* GetCancelPointer() const { return fpCancel; }
  void SetCovbType(QXConst::QXCovbType type) { fCovbType = type; }
  QXConst::QXCovbType GetCovbType() const { return fCovbType; }
  // The thread limit, the cache limit and the thread factories are kept for the caller only.
  void SetMaxThreadNum(int n) { fMaxThreadNum = n; }
  int GetMaxThreadNum() const { return fMaxThreadNum; }
  void SetMemCacheKB(int kb) { fMemCacheKB = kb; }
  int GetMemCacheKB() const { return fMemCacheKB; }
  void SetThreadFactory(QXThread_600::IQXThreadFactory* factory) { fpThreadFactory = factory; }
  QXThread_600::IQXThreadFactory* GetThreadFactory() const { return fpThreadFactory; }
  void SetThreadIterFactory(QXThread_600::QXThreadIterFactory* factory) { fpThreadIterFactory = factory; }
  QXThread_600::QXThreadIterFactory* GetThreadIterFactory() const { return fpThreadIterFactory; }

  // -1 when no dependent variable is set.
  int GetDependent() const { return fDependentVar; }
  const std::vector<int>& GetFactors() const { return fvFactors; }
  const std::vector<int>& GetFactorSizes() const { return fvFactorSizes; }
  const std::vector<int>& GetCovariates() const { return fvCovariates; }
  const std::vector<QXModelEffect>& GetModelEffects() const { return fvModelEffects; }
  int GetNModelEffects() const { return static_cast<int>(fvModelEffects.size()); }
  // -1 when there is no such weight.
  int GetFrequencyWeightVar() const { return fFreqWeightVar; }
  int GetRegrWeightVar() const { return fRegrWeightVar; }
  double GetConfidenceLevel() const { return fConfidenceLevel; }
  double GetDF() const { return fDF; }
  // The role of every record variable up to the highest index given a role.
  const std::vector<QXConst::QXVariableType>& GetVariableTypes() const { return fvVariableTypes; }

  virtual void Display() const;

 private:
  bool IsRoleFree(int index) const;
  // Gives the (free) variable a role, growing the register as needed. False when memory runs out,
  // which forgets every role.
  bool AssignRole(int index, QXConst::QXVariableType role);
  // Moves a weight role from the variable in `field` to `index`.
  bool ReplaceWeight(int& field, int index, QXConst::QXVariableType role);

  int fDependentVar = -1;
  std::vector<int> fvFactors;
  std::vector<int> fvFactorSizes;
  std::vector<int> fvCovariates;
  int fFreqWeightVar = -1;
  int fRegrWeightVar = -1;
  bool fbInterceptUse = true;
  bool fbTransformEffects = false;
  double fTolerance = 1e-12;
  std::vector<QXModelEffect> fvModelEffects;
  double fConfidenceLevel = 0.95;
  double fDF = -1.0;
  QXConst::QXTestType fTestType = QXConst::QXTestWaldF;
  QXConst::QXPAdjustMethod fPAdjustment = QXConst::QXPAdjLSD;
  QXCommon_600::ProgressListener* fpProgressListener = nullptr;
  QXCommon_600::QXQueryCancel* fpCancel = nullptr;
  std::vector<QXConst::QXVariableType> fvVariableTypes;
  QXConst::QXCovbType fCovbType = QXConst::QXCovbModel;
  int fMaxThreadNum = 1;
  int fMemCacheKB = 0;
  QXThread_600::IQXThreadFactory* fpThreadFactory = nullptr;
  QXThread_600::QXThreadIterFactory* fpThreadIterFactory = nullptr;
};

}  // namespace QXMath_600
