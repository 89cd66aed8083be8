// The weighted moments of a linear model's records gathered per cell (one combination of the levels of
// the model's factors). Every record of a cell has its design row's non-zero entries in the same
// columns, and their values are a few covariate products shared between effects, so the cell keeps
// sum w z z' for z = [its distinct covariate products, the dependent]: a handful of sums per record
// instead of the whole outer product of the row. The model expands each cell's moments into its cross
// products once, after the pass.
//
// Each moment is a double-double sum accumulated exactly as the model's own cross products are, so a
// model with a single cell (covariates only) gets the same sums, bit for bit, either way.
#pragma once

#include <cstdint>
#include <vector>

namespace QXMath_600 {

class QXCellMoments {
 public:
  // The largest table kept, in moments over all cells: 4 MiB of double-double sums.
  static constexpr std::int64_t kMaxMoments = std::int64_t{1} << 18;

  // Makes a zero table of `nCells` cells of moment matrices of order `order`. False, leaving the
  // table empty, when it would hold more than kMaxMoments moments or either count is not positive.
  bool Allocate(std::int64_t nCells, int order);
  // Empties the table and gives its memory back.
  void Release();
  bool IsAllocated() const { return fOrder > 0; }
  int GetOrder() const { return fOrder; }

  // Adds w z z' to the cell's moments, z = hi + lo (lo may be null: plain doubles), GetOrder()
  // entries. The cell must be in range and w finite; checked by the caller, whose record loop this is.
  void Add(int cell, const double* hi, const double* lo, double w) {
    if (!fvTouched[cell]) {
      fvTouched[cell] = 1;
      fvTouchedCells.push_back(cell);  // capacity reserved for every cell: no allocation
    }
    const std::size_t at = static_cast<std::size_t>(cell) * fPackedSize;
    Accumulate(hi, lo, w, fvHi.data() + at, fvLo.data() + at);
  }

  // The cells that received a record, in the order they first did.
  const std::vector<int>& GetTouchedCells() const { return fvTouchedCells; }
  // Moment (a, b) of a cell, the sum w z_a z_b as hi + lo (not renormalized).
  void GetMoment(int cell, int a, int b, double& hi, double& lo) const;

 private:
  void Accumulate(const double* hi, const double* lo, double w, double* packedHi, double* packedLo);

  int fOrder = 0;
  std::size_t fPackedSize = 0;
  std::vector<double> fvHi;
  std::vector<double> fvLo;
  std::vector<unsigned char> fvTouched;
  std::vector<int> fvTouchedCells;
  // 0 .. order - 1, the positions of z in the packed triangle, and the kernel's per-entry scratch.
  std::vector<int> fvIndices;
  std::vector<double> fvScratch;
};

}  // namespace QXMath_600
