#include "common/QXSparseVector.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"
#include "common/QXSymBlockMatrix.h"
#include "common/QXSymMatrix.h"

namespace QXMath_600 {

QXSparseVector::QXSparseVector(const int* indices, const double* values, int count, int dimension)
    : fpIndices(indices), fpValues(values), fCount(count), fDimension(dimension) {
  fbValid = count >= 0 && dimension >= 0 && (count == 0 || (indices && values));
  for (int t = 0; fbValid && t < count; ++t)
    if (indices[t] < 0 || indices[t] >= dimension) fbValid = false;
  if (!fbValid) fCount = std::max(count, 0);
}

QXSparseVector::QXSparseVector(const std::vector<int>& indices, const std::vector<double>& values,
                               int dimension)
    : QXSparseVector(indices.data(), values.data(),
                     indices.size() == values.size() &&
                             indices.size() <= static_cast<std::size_t>(std::numeric_limits<int>::max())
                         ? static_cast<int>(indices.size())
                         : -1,
                     dimension) {}

double QXSparseVector::DotProduct(const std::vector<double>& dense, int offset) const {
  if (!fbValid || offset < 0 || static_cast<std::size_t>(offset) + fDimension > dense.size())
    return QXMV::gMissingValue;
  double s = 0.0;
  for (int t = 0; t < fCount; ++t) s += fpValues[t] * dense[offset + fpIndices[t]];
  return s;
}

bool QXSparseVector::AddScaledTo(std::vector<double>& dense, int offset, double scale) const {
  if (!fbValid || offset < 0 || static_cast<std::size_t>(offset) + fDimension > dense.size()) return false;
  for (int t = 0; t < fCount; ++t) dense[offset + fpIndices[t]] += scale * fpValues[t];
  return true;
}

bool QXSparseVector::ComputeProbabilities(const std::vector<double>& beta, int nCategories,
                                          std::vector<double>& eta, std::vector<double>& probabilities,
                                          double& logRefProbability) const {
  if (!fbValid || nCategories < 2) return false;
  const std::size_t blocks = static_cast<std::size_t>(nCategories) - 1;
  if (beta.size() < blocks * static_cast<std::size_t>(fDimension)) return false;
  eta.resize(nCategories);
  probabilities.resize(nCategories);
  double largest = 0.0;  // the reference's eta
  for (std::size_t k = 0; k < blocks; ++k) {
    double s = 0.0;
    const double* b = beta.data() + k * fDimension;
    for (int t = 0; t < fCount; ++t) s += fpValues[t] * b[fpIndices[t]];
    if (!std::isfinite(s)) return false;
    eta[k] = s;
    largest = std::max(largest, s);
  }
  eta[blocks] = 0.0;
  double sum = 0.0;
  for (int k = 0; k < nCategories; ++k) {
    probabilities[k] = std::exp(eta[k] - largest);
    sum += probabilities[k];
  }
  for (double& p : probabilities) p /= sum;
  logRefProbability = -largest - std::log(sum);
  return true;
}

bool QXSparseVector::QuadraticOuterProductIncr(QXSymBlockMatrix& matrix, int blockRow, int blockCol,
                                               double scale) const {
  if (!fbValid || fDimension > matrix.GetBlockOrder()) return false;
  return matrix.AddOuterProduct(blockRow, blockCol, fpIndices, fpValues, fCount, scale);
}

bool QXSparseVector::QuadraticOuterProductIncr(QXSymMatrix& matrix, double scale) const {
  return matrix.UpdateXXSparse(*this, scale);
}

void QXSparseVector::Display() const {
  QXDisplay_600::DisplayText(1, " ");
  QXDisplay_600::DisplayText(1, "QXSparseVector display start");
  QXDisplay_600::DisplayI("Dimension", fDimension);
  QXDisplay_600::DisplayB("Valid", fbValid);
  if (fbValid) {
    QXDisplay_600::DisplayIV("Indices", std::vector<int>(fpIndices, fpIndices + fCount));
    QXDisplay_600::DisplayDV("Values", std::vector<double>(fpValues, fpValues + fCount));
  }
  QXDisplay_600::DisplayText(1, "QXSparseVector display end");
}

}  // namespace QXMath_600
