// A sparse design row: the indices and values of its non-zero entries, seen in place. The vector
// does not own or copy them (building one per record must allocate nothing), so the arrays must
// outlive it and stay unchanged while it is used. The dimension is the length of the dense row the
// entries belong to (the number of parameters of one category block in the logistic fit).
#pragma once

#include <vector>

#include "common/QXExport.h"

namespace QXMath_600 {

class QXSymBlockMatrix;
class QXSymMatrix;

class QXCOMMON_API QXSparseVector {
 public:
  // An empty, valid vector of dimension 0.
  QXSparseVector() = default;
  // A view of count entries. Invalid (IsValid false) when count or dimension is negative, a pointer
  // is null while count > 0, or an index is outside 0 .. dimension-1. A repeated index counts as the
  // sum of its values.
  QXSparseVector(const int* indices, const double* values, int count, int dimension);
  // A view of the two vectors; invalid also when their lengths differ.
  QXSparseVector(const std::vector<int>& indices, const std::vector<double>& values, int dimension);
  // A view of temporaries would dangle at once.
  QXSparseVector(std::vector<int>&&, const std::vector<double>&, int) = delete;
  QXSparseVector(const std::vector<int>&, std::vector<double>&&, int) = delete;
  QXSparseVector(std::vector<int>&&, std::vector<double>&&, int) = delete;

  bool IsValid() const { return fbValid; }
  int GetNNonZero() const { return fCount; }
  int GetDimension() const { return fDimension; }
  const int* GetIndices() const { return fpIndices; }
  const double* GetValues() const { return fpValues; }

  // sum over the entries of value * dense[offset + index]; the system-missing value when the vector
  // is invalid or offset + dimension reaches beyond dense.
  double DotProduct(const std::vector<double>& dense, int offset = 0) const;
  // dense[offset + index] += scale * value for every entry; false (no change) as for DotProduct.
  bool AddScaledTo(std::vector<double>& dense, int offset, double scale) const;

  // Probabilities of a baseline-category logit model with nCategories categories, the reference
  // last: eta_k = x' beta_k for k < nCategories-1, with beta_k the k-th block of GetDimension()
  // coefficients of beta, and eta = 0 for the reference; p_k = exp(eta_k) / sum_j exp(eta_j),
  // computed with the largest eta subtracted so that no exponential overflows. eta and
  // probabilities are resized to nCategories (no allocation once they have the capacity);
  // logRefProbability = log p of the reference. False when the vector is invalid, nCategories < 2,
  // beta is shorter than (nCategories-1) * dimension, or an eta is not finite.
  bool ComputeProbabilities(const std::vector<double>& beta, int nCategories, std::vector<double>& eta,
                            std::vector<double>& probabilities, double& logRefProbability) const;

  // Adds scale * x x' to block (blockRow, blockCol) of a block matrix whose blocks have the order
  // of this vector's dimension or more. False, no change, on bad blocks or an invalid vector.
  bool QuadraticOuterProductIncr(QXSymBlockMatrix& matrix, int blockRow, int blockCol, double scale) const;
  // Adds scale * x x' to a symmetric matrix (compensated, as QXSymMatrix::UpdateXXSparse).
  bool QuadraticOuterProductIncr(QXSymMatrix& matrix, double scale) const;

  void Display() const;

 private:
  const int* fpIndices = nullptr;
  const double* fpValues = nullptr;
  int fCount = 0;
  int fDimension = 0;
  bool fbValid = true;
};

}  // namespace QXMath_600
