// The design of a general linear model as a caller sees it: the settings' model turned into one
// QXRegrParameter per column of the over-parameterised model matrix, and records expanded into rows of
// that matrix, dense or sparse, with or without the dependent values. The caller feeds its data pass
// to the owned factor tables (GetFactorTables()->UpdateAll), then calls CreateParameters.
//
// Columns: the intercept (when the settings use one), then each model effect in settings order with
// one column per observed cell of its factors, in ascending order of the cells' level indices (the
// numbering of the factor tables). There is no reference category and no dropped column: aliasing is
// left to the fitting. Records hold zero-based category codes.
//
// Rows: a bare array of a record's values, indexed by record index, that must hold GetMinRowSize()
// values (a short array cannot be detected here; Record::Size() tells the caller). A row whose cell
// of some effect has no column (a code never seen in the pass, a code outside the factor's levels, a
// missing or non-finite value) expands to nothing: every expansion then returns false. The row
// operations write working members although they are const: one object serves one thread at a time,
// and once the parameters exist they allocate nothing (the vector forms only grow the caller's
// vectors when they are too short).
#pragma once

#include <memory>
#include <vector>

#include "common/QXCallbacks.h"
#include "common/QXExport.h"
#include "common/QXStatus.h"
#include "design/QXColumnValues.h"
#include "design/QXFactorTables.h"
#include "records/QXCancelInfo.h"
#include "settings/QXModelEffect.h"
#include "settings/QXRegSettings.h"
#include "settings/QXRegrParameter.h"

namespace QXMath_600 {

class QXREGRES_API QXDesignMatrix {
 public:
  // All three are borrowed and must outlive the design matrix; so must the settings' effect list,
  // which CreateParameters reads.
  QXDesignMatrix(const QXRegSettings& settings, QXCancelInfo& cancelInfo, QXCommon_600::QXWarnings& warnings);
  QXDesignMatrix(const QXDesignMatrix&) = delete;
  QXDesignMatrix& operator=(const QXDesignMatrix&) = delete;
  ~QXDesignMatrix();

  // The variables whose values ExpandRowXY appends, in order (the settings' dependent at first), and
  // a category for each (kept for the caller, not interpreted). A negative index makes the XY forms
  // refuse every row.
  void SetDepVars(const std::vector<int>& indices, const std::vector<int>& categories);
  const std::vector<int>& GetDepVarsIndices() const { return fvDepVarIndices; }
  const std::vector<int>& GetDepVarsCategories() const { return fvDepVarCategories; }
  // What the XY forms subtract from every dependent value: `value` and, when var >= 0, the row's
  // value of variable var. Refused (false, nothing changed) for a value that is not finite.
  bool SetOffset(int var, double value);

  // The tables the caller feeds its data pass to, before CreateParameters.
  QXFactorTables* GetFactorTables() { return fpFactorTables.get(); }
  const QXFactorTables* GetFactorTables() const { return fpFactorTables.get(); }

  // Numbers the cells recorded by the tables and builds one parameter per column; a second call
  // starts over from the tables (after more records, say). Error 303 when a model effect names a
  // variable that is not among the settings' factors or covariates, when the settings' effects no
  // longer match the tables built at construction, or when the numbering fails; status 1 when
  // cancelled (the parameters built so far stay, but the design counts as not created, so that no
  // row is expanded against a part of the columns).
  QXCommon_600::QXStatus CreateParameters();
  bool AreParamsCreated() const { return fbParamsCreated; }
  // The result of the last CreateParameters.
  const QXCommon_600::QXStatus& GetStatus() const { return fStatus; }

  const std::vector<QXRegrParameter>& GetFixedParameters() const { return fvFixedParameters; }
  int GetNFixedParameters() const { return fNFixedParameters; }
  // The effects of the factor tables: the intercept first when the settings use it, then the
  // settings' effects.
  int GetNFixedEffects() const { return fpFactorTables->GetNModelEffects(); }
  // The columns of fixed effect `effect` (numbered as GetNFixedEffects): false before the parameters
  // exist or for an effect out of range, and then first and count are left alone.
  bool GetParamsForFixedEffect(int effect, int& first, int& count) const;

  // One more than the largest record index the expansions read: the factors, the covariates of the
  // columns, the dependents and the offset variable.
  int GetMinRowSize() const { return fMinRowSize; }

  // Row expansions. Each returns false before the parameters exist, for a null row, and when some
  // effect's cell has no column: the dense forms then write nothing, the sparse forms still hand out
  // the row's parameter indices with -1 (value 0) for the missing cells. Records passed to the tables
  // after CreateParameters may have added cells that have no column yet: every expansion refuses
  // until CreateParameters is called again. indicatorOnly puts 1.0 in place of every covariate
  // product, leaving the factor indicators alone.

  // Dense into x[0 .. GetNFixedParameters()-1].
  bool ExpandRowX(const double* row, double* x, bool indicatorOnly) const;
  // Dense into x, which must already hold GetNFixedParameters() entries (false otherwise).
  bool ExpandRowX(const double* row, std::vector<double>& x, bool indicatorOnly) const;
  // One entry per fixed effect: the column of the row's cell and its value.
  bool ExpandRowX(const double* row, std::vector<int>& indices, std::vector<double>& values,
                  bool indicatorOnly) const;
  // Dense with the dependent values (less the offset) after the columns: xy[0 .. P+m-1] for m
  // dependents. False also when a dependent index is negative.
  bool ExpandRowXY(const double* row, double* xy, bool indicatorOnly) const;
  // As above into xy, resized to P + m.
  bool ExpandRowXY(const double* row, std::vector<double>& xy, bool indicatorOnly) const;
  // Sparse with the dependents appended as columns P, P+1, ...
  bool ExpandRowXY(const double* row, std::vector<int>& indices, std::vector<double>& values,
                   bool indicatorOnly) const;

  void Display() const;

 private:
  // The row's parameter index per fixed effect in fvWorkIndices and their values in fvWorkValues.
  bool ExpandSparse(const double* row, bool indicatorOnly) const;
  // Created, and the tables have seen no record and no change of effects since.
  bool ParamsCurrent() const;
  bool DepVarsUsable() const;
  double DependentValue(const double* row, int j) const;
  // 303 unless the tables' effects are the settings' effects (with the intercept) and every
  // variable they name has its role in the settings.
  bool EffectsMatchTables() const;
  void UpdateMinRowSize();

  const QXRegSettings* fpSettings;
  QXCancelInfo* fpCancelInfo;
  QXCommon_600::QXWarnings* fpWarnings;
  int fFreqWeightVar;
  int fRegrWeightVar;
  std::vector<int> fvDepVarIndices;
  std::vector<int> fvDepVarCategories;
  int fNDepVars = 0;
  std::vector<int> fvCovariates;
  int fOffsetVar = -1;
  double fOffsetValue = 0.0;
  const std::vector<QXModelEffect>* fpModelEffects;
  std::unique_ptr<QXFactorTables> fpFactorTables;
  // The factor list of every fixed effect as handed to the tables.
  std::vector<std::vector<int>> fvEffectFactors;
  std::vector<QXRegrParameter> fvFixedParameters;
  QXColumnValues fColumnValues;
  int fNFixedParameters = 0;
  bool fbParamsCreated = false;
  mutable std::vector<double> fvWorkValues;
  mutable std::vector<int> fvWorkIndices;
  std::vector<int> fvEffectFirstColumn;
  std::vector<int> fvEffectNColumns;
  bool fbHasFactors = false;
  int fMinRowSize = 0;
  double fSampleSizeAtCreation = 0.0;
  QXCommon_600::QXStatus fStatus;
};

}  // namespace QXMath_600
