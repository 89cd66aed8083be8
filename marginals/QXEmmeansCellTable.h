// The cells of one request for marginal means in a design with empty cells. The request's factors
// form the key; for every key the table counts the full combinations of factor levels whose every
// model effect has a parameter, and how many of them use each parameter. A mean then averages the
// design rows of the full combinations that exist for its levels, instead of reaching for cells the
// model never estimated.
#pragma once

#include <vector>

#include "common/QXHashKey.h"
#include "design/QXHashtable.h"

namespace QXMath_600 {

class QXEmmeansCellTable {
 public:
  // keyFactors: local factor indices, in the order of the key (the request's factor order).
  QXEmmeansCellTable(const std::vector<int>& keyFactors, int nParameters);
  QXEmmeansCellTable(const QXEmmeansCellTable&) = delete;
  QXEmmeansCellTable& operator=(const QXEmmeansCellTable&) = delete;

  // Counts one full combination: `levels` holds a level per local factor, `parameters` the parameter
  // index of each model effect for those levels (negative entries are skipped).
  void Add(const std::vector<int>& levels, const std::vector<int>& parameters);
  // Lists the cells in ascending key order, the last key factor varying fastest.
  void Sort();

  const std::vector<int>& GetKeyFactors() const { return fvKeyFactors; }
  int GetNCells() const { return static_cast<int>(fvCells.size()); }
  // The key of a listed cell (levels in key-factor order).
  const std::vector<int>& GetKey(int cell) const { return fvCells[cell]->GetKey().GetValueVector(); }
  // Per parameter the number of full combinations of the cell that use it, then (last entry) the
  // number of full combinations of the cell.
  const std::vector<double>& GetEntry(int cell) const { return fvCells[cell]->GetValue(); }

  void Display() const;

 private:
  std::vector<int> fvKeyFactors;
  int fNParameters;
  QXHashKey fKey;
  QXHashtable<std::vector<double>> fTable;
  std::vector<const QXHashPair<std::vector<double>>*> fvCells;
};

}  // namespace QXMath_600
