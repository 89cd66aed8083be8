// The design of a fitted model rebuilt from its parameters, without a pass over the data: the caller
// hands over the model's factors, their numbers of categories and its covariates, then the model
// effects with their parameters (AddModelEffect) or the parameters one by one (AddRegrParameter), in
// parameter order. Every cell of factor levels of every effect is indexed in a hash table, so that a
// row of data, or a vector of levels, maps to one parameter index per effect. The marginal means use
// it to find the parameters of the cells they average over; callers use it to expand records into
// rows of the model matrix.
//
// Numbering is not recomputed: a parameter's index is its position in the order of adding, which is
// the order of the model's estimates. Category codes pass straight from a row (truncation of value +
// 0.5, no base subtracted), so the parameters' codes must use the records' coding: zero-based level
// indices for a model built from settings.
//
// A cell is keyed by its factors' codes in the effect's factor order (QXModelEffect::GetFactors), both
// when a parameter is filed and when a row is looked up; a parameter's own factor order (by nesting
// level) does not matter. So a nested effect such as rank within discipline, whose parameters list
// discipline first while the effect lists the factors in the model's order, finds every parameter.
//
// Failures: adding refuses (nothing changed, status 303) an effect or a parameter that names a
// variable not given at construction, or a parameter whose factors are not its effect's; lookups
// answer -1 (and ok false) for anything they cannot place. Rows must hold GetMinRowSize() values. The
// row operations write working members although they are const: one object serves one thread at a
// time, a returned reference is valid until the next row operation, and nothing is allocated per row
// once the caller's vectors have their size.
#pragma once

#include <memory>
#include <vector>

#include "common/QXExport.h"
#include "common/QXHashKey.h"
#include "common/QXStatus.h"
#include "design/QXColumnValues.h"
#include "design/QXHashtable.h"
#include "settings/QXModelEffect.h"
#include "settings/QXRegrParameter.h"

namespace QXMath_600 {

class QXREGRES_API QXLiteDesignMatrix {
 public:
  // Factor record indices, their numbers of categories (parallel) and covariate record indices.
  QXLiteDesignMatrix(const std::vector<int>& factors, const std::vector<int>& nCategories,
                     const std::vector<int>& covariates);
  QXLiteDesignMatrix(const QXLiteDesignMatrix&) = delete;
  QXLiteDesignMatrix& operator=(const QXLiteDesignMatrix&) = delete;
  QXLiteDesignMatrix(QXLiteDesignMatrix&&) noexcept;
  QXLiteDesignMatrix& operator=(QXLiteDesignMatrix&&) noexcept;
  ~QXLiteDesignMatrix();

  // Appends an effect and its parameters: for an effect without factors (the intercept, a covariate
  // effect) the first parameter of the list is its single parameter and the others are ignored; for
  // an effect with factors every parameter of the list, each filed under its cell (a cell already
  // filed keeps its first parameter, but the parameter still takes its place in the numbering).
  // Returns the number of parameters after the call; -1 when refused (nothing changed, status 303):
  // an effect or parameter naming a variable not given at construction, a parameter of the list
  // whose factors differ from the effect's, or an effect without factors and an empty list or a
  // first parameter with factors.
  int AddModelEffect(const QXModelEffect& effect, const std::vector<QXRegrParameter>& parameters);
  // Appends one parameter, starting a new effect when it does not belong to the last one: when its
  // factors or covariates differ from that effect's, or when both it and the last parameter carry an
  // effect index (>= 0) and the indices differ. Returns true when the parameter was added and filed;
  // false when its cell was already filed (the parameter is still added, as above) or when it is
  // refused (nothing changed, status 303: a variable not given at construction).
  bool AddRegrParameter(const QXRegrParameter& p);

  void SetDepVar(int var) { fDepVar = var >= 0 ? var : -1; }
  int GetDepVar() const { return fDepVar; }

  // The factor record indices given at construction: a level vector holds one level per entry.
  const std::vector<int>& GetFactors() const { return fvFactors; }
  const std::vector<QXRegrParameter>& GetParameters() const { return fvParameters; }
  int GetNParameters() const { return fNParameters; }
  // The effects in the order added (those AddRegrParameter made from a parameter have all their
  // factors crossed at nesting level 0).
  const std::vector<QXModelEffect>& GetModelEffects() const { return fvModelEffects; }
  int GetNModelEffects() const { return fNModelEffects; }
  // Success, or 303 after a refused addition.
  const QXCommon_600::QXStatus& GetStatus() const { return fStatus; }

  // The first parameter index and the number of parameters of an effect; false (first and count left
  // alone) for an effect out of range.
  bool GetParamsForEffect(int effect, int& first, int& count) const;
  // The parameter index of effect e's cell for `levels`, one category code per factor in the order of
  // the constructor's factor list; the fixed index for an effect without factors; -1 when the cell
  // has no parameter, e is out of range or `levels` is shorter than the factor list.
  int GetEffectParameterIndex(int effect, const std::vector<int>& levels) const;
  // One parameter index per effect for `levels` (as above); -1 and ok false for every effect whose
  // cell has none (for every effect with factors when `levels` is too short).
  const std::vector<int>& GetParameterIndices(const std::vector<int>& levels, bool& ok) const;
  // The same for a row of values; -1 and ok false also for a null row and for a factor value that has
  // no category code (missing, not finite, beyond the range of int).
  const std::vector<int>& GetRowParameterIndices(const double* row, bool& ok) const;

  // One more than the largest record index the expansions read: the factors, the covariates of the
  // parameters and the dependent variable.
  int GetMinRowSize() const;

  // Row expansions; each returns false for a row that some effect cannot place (as
  // GetRowParameterIndices). Dense forms then write nothing; sparse forms hand out one entry per
  // effect with -1 (value 0) for the missing cells. A column's value is the product of its
  // parameter's covariates raised to their powers, 1.0 without covariates.

  // Dense into x, which must already hold GetNParameters() entries (false otherwise).
  bool ExpandRowX(const double* row, std::vector<double>& x) const;
  // One entry per effect: the parameter of the row's cell and its value.
  bool ExpandRowX(const double* row, std::vector<int>& indices, std::vector<double>& values) const;
  // Dense with row[dependent] appended: xy gets GetNParameters() + 1 entries. False also when the
  // dependent variable is not set.
  bool ExpandRowXY(const double* row, std::vector<double>& xy) const;
  // Sparse with the dependent appended as column GetNParameters().
  bool ExpandRowXY(const double* row, std::vector<int>& indices, std::vector<double>& values) const;

  // The effect whose parameters cover the smallest share of the combinations of its factors' active
  // categories (the first of equals); -1 when every effect with factors has them all.
  int GetIncompleteEffectIndex() const;
  // Per factor, the category codes its parameters use, in order of first use.
  const std::vector<std::vector<int>>& GetActiveFactorCategories() const { return fvActiveCategories; }

  void Display() const;

 private:
  // Appends an effect with its (still empty) table.
  void CreateNewTable(const QXModelEffect& effect);
  // Files p under its cell of the last effect e and appends it; false when the cell is already
  // filed or e is not the last effect (then nothing is added).
  bool AddParamToTable(const QXRegrParameter& p, int e);
  // Inserts the key with the current number of parameters; false when present or no table.
  bool UpdateHashtable(QXHashtable<int>* table, QXHashKey& key);
  // Whether p has the effect's factors (in any order) and its covariates with their powers.
  bool CheckParamEffect(const QXRegrParameter& p, const QXModelEffect& effect) const;
  // The effect of a parameter: its factors crossed, its covariates with their powers.
  void MakeEffectFromParam(QXModelEffect& effect, const QXRegrParameter& p) const;
  // The hash code is stored into the key; -1 for a null table or an absent key.
  int GetParameterIndex(const QXHashtable<int>* table, QXHashKey& key) const;

  // Validation of what the additions are handed.
  bool KnownEffect(const QXModelEffect& effect) const;
  bool KnownParameter(const QXRegrParameter& p) const;
  // Whether p's factors are exactly `factors`, in any order.
  static bool HasFactorsOf(const QXRegrParameter& p, const std::vector<int>& factors);
  int LocalFactor(int var) const;
  void AppendParameter(const QXRegrParameter& p, int e);
  bool Refuse();
  // -1 for every effect with factors; ok false when there is one.
  const std::vector<int>& MarkUnplaced(bool& ok) const;
  // Fills effect e's working key from category codes indexed by factor position.
  QXHashKey& FillKey(int e, const int* levels) const;
  // Looks every effect up for the current factor values into fvRowParamIndices.
  bool LookUpEffects() const;
  bool ExpandSparse(const double* row) const;

  std::vector<int> fvFactors;
  std::vector<int> fvNCategories;
  std::vector<int> fvCovariates;
  std::vector<int> fvLocalFactorMap;
  int fDepVar = -1;
  std::vector<QXModelEffect> fvModelEffects;
  int fNModelEffects = 0;
  std::vector<QXRegrParameter> fvParameters;
  QXColumnValues fColumnValues;
  int fNParameters = 0;
  mutable std::vector<double> fvWorkValues;
  mutable std::vector<int> fvWorkIndices;
  mutable std::vector<int> fvFactorValues;
  mutable std::vector<int> fvRowParamIndices;
  std::vector<int> fvFirstParameter;
  std::vector<int> fvNEffectParameters;
  std::vector<int> fvEffectFactors;
  std::vector<int> fvNEffectFactors;
  std::vector<int> fvCumNFactors{0};
  mutable std::vector<QXHashKey> fvKeys;
  std::vector<std::unique_ptr<QXHashtable<int>>> fvTables;
  bool fbHasFactors;
  std::vector<std::vector<int>> fvActiveCategories;
  QXCommon_600::QXStatus fStatus;
};

}  // namespace QXMath_600
