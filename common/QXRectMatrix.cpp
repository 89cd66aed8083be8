#include "common/QXRectMatrix.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "common/QXBitSet.h"
#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"

namespace QXMath_600 {

namespace {

// Relative agreement used by the row comparison and the column cleaning: far above the rounding of
// a few averaging or elimination steps, far below any difference between distinct contrasts.
constexpr double kRelativeNoise = 1e-10;

bool AllFinite(const std::vector<double>& values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

double Dot(const double* a, const double* b, int n) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s += a[i] * b[i];
  return s;
}

}  // namespace

QXRectMatrix::QXRectMatrix(int nRows, int nCols) { SetNRowsCols(std::max(nRows, 0), std::max(nCols, 0)); }

bool QXRectMatrix::SetNRowsCols(int nRows, int nCols) {
  if (nRows < 0 || nCols < 0) return false;
  const std::size_t count = static_cast<std::size_t>(nRows) * static_cast<std::size_t>(nCols);
  if (nCols != 0 && count / static_cast<std::size_t>(nCols) != static_cast<std::size_t>(nRows)) return false;
  fvData.assign(count, 0.0);
  fNRows = nRows;
  fNCols = nCols;
  return true;
}

void QXRectMatrix::Clear() { std::fill(fvData.begin(), fvData.end(), 0.0); }

double QXRectMatrix::GetElem(int row, int col) const {
  if (!ValidRow(row) || !ValidCol(col)) return QXMV::gMissingValue;
  return At(row, col);
}

bool QXRectMatrix::SetElem(int row, int col, double value) {
  if (!ValidRow(row) || !ValidCol(col)) return false;
  At(row, col) = value;
  return true;
}

bool QXRectMatrix::GetRow(int row, std::vector<double>& values) const {
  if (!ValidRow(row)) return false;
  const double* p = fvData.data() + static_cast<std::size_t>(row) * fNCols;
  values.assign(p, p + fNCols);
  return true;
}

bool QXRectMatrix::SetRow(int row, const std::vector<double>& values) {
  if (!ValidRow(row) || values.size() != static_cast<std::size_t>(fNCols)) return false;
  std::copy(values.begin(), values.end(), fvData.begin() + static_cast<std::ptrdiff_t>(row) * fNCols);
  return true;
}

bool QXRectMatrix::GetCol(int col, std::vector<double>& values) const {
  if (!ValidCol(col)) return false;
  values.resize(fNRows);
  for (int i = 0; i < fNRows; ++i) values[i] = At(i, col);
  return true;
}

bool QXRectMatrix::AppendRow(const std::vector<double>& values) {
  if (fNRows == 0 && fNCols == 0) fNCols = static_cast<int>(values.size());
  if (values.size() != static_cast<std::size_t>(fNCols)) return false;
  fvData.insert(fvData.end(), values.begin(), values.end());
  ++fNRows;
  return true;
}

bool QXRectMatrix::CopyColToRow(const QXRectMatrix& source, int sourceCol, int destRow) {
  if (!ValidRow(destRow) || !source.ValidCol(sourceCol) || source.fNRows != fNCols) return false;
  for (int j = 0; j < fNCols; ++j) At(destRow, j) = source.At(j, sourceCol);
  return true;
}

bool QXRectMatrix::ComputeRV(const std::vector<double>& v, std::vector<double>& out) const {
  if (v.size() != static_cast<std::size_t>(fNCols)) return false;
  std::vector<double> result(fNRows);
  for (int i = 0; i < fNRows; ++i)
    result[i] = Dot(fvData.data() + static_cast<std::size_t>(i) * fNCols, v.data(), fNCols);
  out.swap(result);
  return true;
}

bool QXRectMatrix::ComputeMatrixProduct(const QXRectMatrix& right, QXRectMatrix& out) const {
  if (fNCols != right.fNRows) return false;
  QXRectMatrix result(fNRows, right.fNCols);
  for (int i = 0; i < fNRows; ++i)
    for (int k = 0; k < fNCols; ++k) {
      const double a = At(i, k);
      // Contrast and hypothesis matrices are mostly zeros; skipping them keeps products cheap.
      if (a == 0.0) continue;
      for (int j = 0; j < right.fNCols; ++j) result.At(i, j) += a * right.At(k, j);
    }
  out = std::move(result);
  return true;
}

void QXRectMatrix::Transpose(QXRectMatrix& out) const {
  QXRectMatrix result(fNCols, fNRows);
  for (int i = 0; i < fNRows; ++i)
    for (int j = 0; j < fNCols; ++j) result.At(j, i) = At(i, j);
  out = std::move(result);
}

void QXRectMatrix::Transpose() { Transpose(*this); }

bool QXRectMatrix::IsRowZero(int row) const {
  if (!ValidRow(row)) return false;
  for (int j = 0; j < fNCols; ++j)
    if (At(row, j) != 0.0) return false;
  return true;
}

bool QXRectMatrix::IsERowMultipleOfAnother(int i, int j, double hi, double hj) const {
  if (!ValidRow(i) || !ValidRow(j)) return false;
  // Extended rows: the matrix row followed by its right-hand value.
  auto elem = [&](int row, int col, double h) { return col < fNCols ? At(row, col) : h; };
  int pivot = -1;
  double scaleI = 0.0, scaleJ = 0.0;
  for (int c = 0; c <= fNCols; ++c) {
    const double a = std::fabs(elem(i, c, hi));
    if (!std::isfinite(a) || !std::isfinite(elem(j, c, hj))) return false;
    if (a > scaleI) {
      scaleI = a;
      pivot = c;
    }
    scaleJ = std::max(scaleJ, std::fabs(elem(j, c, hj)));
  }
  if (pivot < 0 || scaleJ == 0.0) return false;
  const double factor = elem(j, pivot, hj) / elem(i, pivot, hi);
  if (factor == 0.0) return false;
  const double bound = kRelativeNoise * std::max(scaleJ, std::fabs(factor) * scaleI);
  for (int c = 0; c <= fNCols; ++c)
    if (std::fabs(elem(j, c, hj) - factor * elem(i, c, hi)) > bound) return false;
  return true;
}

int QXRectMatrix::ExtractFullRank(double tolerance, QXRectMatrix& out, QXBitSet& rowsKept,
                                  bool bOrthonormal) const {
  if (!(tolerance >= 0.0) || !std::isfinite(tolerance) || !AllFinite(fvData)) {
    out.SetNRowsCols(0, fNCols);
    rowsKept.Resize(0);
    return -1;
  }
  rowsKept.Resize(fNRows);
  rowsKept.Clear();
  if (!bOrthonormal && AllRowsHavePrivateColumns(tolerance)) {
    // Zero rows are left out, every other row is kept.
    std::vector<int> kept;
    for (int i = 0; i < fNRows; ++i)
      if (!IsRowZero(i)) kept.push_back(i);
    QXRectMatrix result(static_cast<int>(kept.size()), fNCols);
    for (std::size_t t = 0; t < kept.size(); ++t) {
      rowsKept.Set(kept[t]);
      std::copy_n(fvData.begin() + static_cast<std::ptrdiff_t>(kept[t]) * fNCols, fNCols,
                  result.fvData.begin() + static_cast<std::ptrdiff_t>(t) * fNCols);
    }
    out = std::move(result);
    return static_cast<int>(kept.size());
  }
  // Modified Gram-Schmidt, each row orthogonalised twice: one pass leaves rows that are nearly
  // dependent with components of the earlier rows of the size of rounding times their condition.
  std::vector<std::vector<double>> basis;
  std::vector<int> kept;
  std::vector<double> r(fNCols);
  for (int i = 0; i < fNRows; ++i) {
    const double* row = fvData.data() + static_cast<std::size_t>(i) * fNCols;
    r.assign(row, row + fNCols);
    const double norm = std::sqrt(Dot(r.data(), r.data(), fNCols));
    if (norm == 0.0) continue;
    for (int pass = 0; pass < 2; ++pass)
      for (const auto& q : basis) {
        const double c = Dot(r.data(), q.data(), fNCols);
        for (int k = 0; k < fNCols; ++k) r[k] -= c * q[k];
      }
    const double rest = std::sqrt(Dot(r.data(), r.data(), fNCols));
    if (rest <= tolerance * norm) continue;
    for (double& x : r) x /= rest;
    basis.push_back(r);
    kept.push_back(i);
    rowsKept.Set(i);
  }
  const int rank = static_cast<int>(kept.size());
  QXRectMatrix result(rank, fNCols);
  for (int t = 0; t < rank; ++t)
    for (int k = 0; k < fNCols; ++k) result.At(t, k) = bOrthonormal ? basis[t][k] : At(kept[t], k);
  out = std::move(result);
  return rank;
}

bool QXRectMatrix::AllRowsHavePrivateColumns(double tolerance) const {
  // The row holding a column's only non-zero, for every column with exactly one; -1 for none, -2 for
  // several.
  std::vector<int> owner(static_cast<std::size_t>(fNCols), -1);
  for (int i = 0; i < fNRows; ++i)
    for (int j = 0; j < fNCols; ++j)
      if (At(i, j) != 0.0) owner[j] = owner[j] == -1 ? i : -2;
  // Every vector in the span of the other rows is 0 in a column private to row i, so row i is at
  // least |a_ij| away from that span: more than `tolerance` times its length means Gram-Schmidt keeps
  // it, whatever came before it.
  std::vector<double> largestPrivate(static_cast<std::size_t>(fNRows), 0.0);
  for (int j = 0; j < fNCols; ++j)
    if (owner[j] >= 0)
      largestPrivate[owner[j]] = std::max(largestPrivate[owner[j]], std::fabs(At(owner[j], j)));
  for (int i = 0; i < fNRows; ++i) {
    const double* row = fvData.data() + static_cast<std::size_t>(i) * fNCols;
    const double norm = std::sqrt(Dot(row, row, fNCols));
    if (norm != 0.0 && !(largestPrivate[i] > tolerance * norm)) return false;
  }
  return true;
}

int QXRectMatrix::ResidOfOrthProjection(const QXRectMatrix& basis, double tolerance, QXBitSet& remaining) {
  if (basis.fNRows != fNRows || !(tolerance >= 0.0) || !std::isfinite(tolerance) || !AllFinite(fvData) ||
      !AllFinite(basis.fvData))
    return -1;
  using Mat = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
  Eigen::Map<Mat> self(fvData.data(), fNRows, fNCols);
  const Eigen::VectorXd before = self.colwise().norm();
  if (basis.fNCols > 0 && fNRows > 0) {
    Eigen::Map<const Mat> b(basis.fvData.data(), basis.fNRows, basis.fNCols);
    // Column pivoting makes the rank decision reliable for a basis whose columns are themselves
    // aliased (the parameters of containing effects often are).
    Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(b);
    qr.setThreshold(tolerance);
    const Eigen::Index rank = qr.rank();
    if (rank > 0) {
      const Eigen::MatrixXd q = Eigen::MatrixXd(qr.householderQ()).leftCols(rank);
      // Projecting twice removes what rounding leaves of the first projection.
      for (int pass = 0; pass < 2; ++pass) self -= q * (q.transpose() * self);
    }
  }
  remaining.Resize(fNCols);
  remaining.Clear();
  int count = 0;
  for (int j = 0; j < fNCols; ++j) {
    if (self.col(j).norm() <= tolerance * before(j)) {
      self.col(j).setZero();
    } else {
      remaining.Set(j);
      ++count;
    }
  }
  return count;
}

int QXRectMatrix::ZeroOutPivotRow(int row, double tolerance) {
  if (!ValidRow(row) || !(tolerance >= 0.0)) return -1;
  int pivot = -1;
  double best = 0.0;
  for (int j = 0; j < fNCols; ++j) {
    double colMax = 0.0;
    for (int i = 0; i < fNRows; ++i) colMax = std::max(colMax, std::fabs(At(i, j)));
    if (colMax == 0.0 || !std::isfinite(colMax)) continue;
    const double relative = std::fabs(At(row, j)) / colMax;
    if (relative > tolerance && relative > best) {
      best = relative;
      pivot = j;
    }
  }
  if (pivot < 0) {
    for (int j = 0; j < fNCols; ++j) At(row, j) = 0.0;
    return -1;
  }
  const double p = At(row, pivot);
  for (int t = 0; t < fNCols; ++t) {
    if (t == pivot || At(row, t) == 0.0) continue;
    const double f = At(row, t) / p;
    for (int i = 0; i < fNRows; ++i) At(i, t) -= f * At(i, pivot);
    At(row, t) = 0.0;
  }
  for (int i = 0; i < fNRows; ++i) At(i, pivot) = 0.0;
  return pivot;
}

bool QXRectMatrix::ColClean(int col, int nRows) {
  if (!ValidCol(col) || nRows < 0) return false;
  nRows = std::min(nRows, fNRows);
  double largest = 0.0;
  for (int i = 0; i < nRows; ++i) largest = std::max(largest, std::fabs(At(i, col)));
  const double bound = kRelativeNoise * largest;
  for (int i = 0; i < nRows; ++i)
    if (std::fabs(At(i, col)) <= bound) At(i, col) = 0.0;
  return true;
}

bool QXRectMatrix::CreateBlockDiagonal(int nCopies) {
  if (nCopies < 1) return false;
  if (nCopies == 1) return true;
  const long long rows = static_cast<long long>(fNRows) * nCopies;
  const long long cols = static_cast<long long>(fNCols) * nCopies;
  if (rows > std::numeric_limits<int>::max() || cols > std::numeric_limits<int>::max()) return false;
  QXRectMatrix result;
  if (!result.SetNRowsCols(static_cast<int>(rows), static_cast<int>(cols))) return false;
  for (int b = 0; b < nCopies; ++b)
    for (int i = 0; i < fNRows; ++i)
      for (int j = 0; j < fNCols; ++j) result.At(b * fNRows + i, b * fNCols + j) = At(i, j);
  *this = std::move(result);
  return true;
}

bool QXRectMatrix::ShiftColumns(int nShift) {
  if (nShift < 0 || static_cast<long long>(fNCols) + nShift > std::numeric_limits<int>::max()) return false;
  if (nShift == 0) return true;
  QXRectMatrix result;
  if (!result.SetNRowsCols(fNRows, fNCols + nShift)) return false;
  for (int i = 0; i < fNRows; ++i)
    for (int j = 0; j < fNCols; ++j) result.At(i, j + nShift) = At(i, j);
  *this = std::move(result);
  return true;
}

void QXRectMatrix::Display() const {
  QXDisplay_600::DisplayText(1, " ");
  QXDisplay_600::DisplayText(1, "QXRectMatrix display start");
  QXDisplay_600::DisplayI("Number of rows", fNRows);
  QXDisplay_600::DisplayI("Number of columns", fNCols);
  std::vector<double> row;
  for (int i = 0; i < fNRows; ++i) {
    GetRow(i, row);
    QXDisplay_600::DisplayDV("Row " + std::to_string(i), row);
  }
  QXDisplay_600::DisplayText(1, "QXRectMatrix display end");
}

}  // namespace QXMath_600
