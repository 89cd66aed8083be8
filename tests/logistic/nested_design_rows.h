// Rows of one small design that the logistic accumulator tests share: an intercept (0), a factor of 4
// levels (1..4, the last aliased away), a factor nested in it (5..8, two levels per level of the first),
// a covariate (9), its product with the first factor's level 2 (10) and its square (11). The columns
// fixed by a row's cell (the factors') are kept apart from those that vary with the covariate, as a
// data handler names them; AsSparseRow gives the same row as one list of columns. Some rows carry
// weights; some covariates are exactly 1 or 0.
#ifndef QX_TESTS_LOGISTIC_NESTED_DESIGN_ROWS_H
#define QX_TESTS_LOGISTIC_NESTED_DESIGN_ROWS_H

#include <random>
#include <vector>

namespace qx_logistic_test {

constexpr int kNestedParameters = 12;
constexpr int kNestedCategories = 4;

struct CellRow {
  int key = 0;  // 2 a + b
  std::vector<int> fixed;
  std::vector<int> varyingColumns;
  std::vector<double> varying;
  int category = 0;
  double weight = 1.0;
};

struct SparseRow {
  std::vector<int> indices;
  std::vector<double> values;
  int category = 0;
  double weight = 1.0;
};

inline std::vector<CellRow> MakeNestedRows(int n, unsigned seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> value(-2.0, 2.0);
  std::vector<CellRow> rows;
  for (int r = 0; r < n; ++r) {
    CellRow row;
    const int a = static_cast<int>(random() % 4);
    const int b = static_cast<int>(random() % 2);
    const double x = r % 11 == 0 ? 1.0 : r % 13 == 0 ? 0.0 : value(random);
    row.key = 2 * a + b;
    row.fixed = {0};
    if (a < 3) row.fixed.push_back(1 + a);
    if (a < 2) row.fixed.push_back(5 + 2 * a + b);
    row.varyingColumns = {9};
    row.varying = {x};
    if (a == 2) {
      row.varyingColumns.push_back(10);
      row.varying.push_back(x);
    }
    row.varyingColumns.push_back(11);
    row.varying.push_back(x * x);
    row.category = static_cast<int>(random() % kNestedCategories);
    row.weight = r % 3 == 0 ? 0.5 + static_cast<double>(random() % 5) : 1.0;
    rows.push_back(row);
  }
  return rows;
}

inline SparseRow AsSparseRow(const CellRow& row) {
  SparseRow sparse;
  sparse.indices = row.fixed;
  sparse.indices.insert(sparse.indices.end(), row.varyingColumns.begin(), row.varyingColumns.end());
  sparse.values.assign(row.fixed.size(), 1.0);
  sparse.values.insert(sparse.values.end(), row.varying.begin(), row.varying.end());
  sparse.category = row.category;
  sparse.weight = row.weight;
  return sparse;
}

inline std::vector<SparseRow> MakeNestedSparseRows(int n, unsigned seed) {
  std::vector<SparseRow> rows;
  for (const CellRow& row : MakeNestedRows(n, seed)) rows.push_back(AsSparseRow(row));
  return rows;
}

}  // namespace qx_logistic_test

#endif  // QX_TESTS_LOGISTIC_NESTED_DESIGN_ROWS_H
