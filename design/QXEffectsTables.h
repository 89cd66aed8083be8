// The cells of the model effects without the counts, weights and covariate statistics of the factor
// tables: a caller records the cells of its records, numbers them from 0 and looks records up. Besides
// the numbering of the factor tables it numbers cells within groups that share their leading levels
// (CreateParamIndicesSS), the layout of a nested contrast.
//
// Here the parameter indices and the local parameter indices are both kept per model effect. Level
// indices are taken without a range check; a record whose value has no level index an int can hold
// (NaN, infinities, huge codes) is refused.
#pragma once

#include <vector>

#include "common/QXExport.h"
#include "common/Record.h"
#include "design/QXCellTables.h"
#include "design/QXHashtable.h"

namespace QXMath_600 {

class QXREGRES_API QXEffectsTables : public QXCellTables {
 public:
  QXEffectsTables() = default;
  // Factor record indices, their numbers of categories and the category base.
  QXEffectsTables(const std::vector<int>& factorIndices, const std::vector<int>& nCategories,
                  int categoryBase);

  // Fills a default-constructed object; refused (false, nothing changed) once factors or effects are
  // set.
  bool SetInfo(const std::vector<int>& factorIndices, const std::vector<int>& nCategories, int categoryBase);
  // As QXCellTables::SetModelEffectFactors, with the local parameter indices kept per model effect.
  bool SetModelEffectFactors(const std::vector<std::vector<int>>& effectFactors);

  // Records the record's cell in every effect. False, recording nothing, when the record is shorter
  // than the factors' record indices or a value has no level index.
  bool UpdateAll(const QXCommon_600::Record& r);
  // Numbers the parameters from 0 (see QXFactorTables::CreateParameterIndices) and returns their
  // number; effects without factors get local index 0.
  int CreateParameterIndices();

  // Per model effect with factors, the position of the row's cell within its effect (-1, with ok
  // false, when the cell has none); 0 for effects without factors.
  const std::vector<int>& GetRowEffectParamIndices(const double* row, bool& ok) const;
  // The position within effect m of the cell with the effect's own level indices `values` (in the
  // effect's factor order): 0 for an effect without factors, -1 when the cell has no parameter or
  // the arguments are out of range.
  int GetEffectLocalParameterIndex(int modelEffect, const std::vector<int>& values) const;
  // The pair of that cell, or null.
  const QXHashPair<int>* GetEffectHashPairPtr(int modelEffect, const std::vector<int>& values) const;

  // Numbers the cells of each effect within groups of cells whose first k = prefix.size() level
  // indices agree (only the prefix's length is used): each group counts from 0 in key order, and an
  // effect's parameter count (its entry of nParams) is its largest group. An effect of exactly k
  // factors has every cell at 0 and count 1; one without factors index 0; every offset is 0. Returns
  // the number of cells of effects with exactly k factors plus the number of effects without factors.
  int CreateParamIndicesSS(const std::vector<int>& prefix, std::vector<int>& nParams);

  void Display() const;

 private:
  // The key of effect m filled from `values`; null when m has no table or `values` is too short.
  QXHashKey* EffectKey(int modelEffect, const std::vector<int>& values) const;

  std::vector<int> fvNCategories;
  int fRecordSizeNeeded = 0;
};

}  // namespace QXMath_600
