// The values the columns of a design take in a row of data, shared by the design matrices: a column's
// value is the product of its parameter's covariates raised to their powers, 1.0 for a parameter
// without covariates. A factor contributes through the choice of column only (an over-parameterised
// indicator), never through a value.
//
// The product is carried in double-double and rounded once at the end, as the linear model forms the
// rows it is fitted on: a design row rebuilt here is then bit for bit the model's row, also for powers
// and products of three or more covariates, where a chain of rounded multiplications can differ in the
// last place. Sources that include this header are compiled without floating-point contraction.
#pragma once

#include <cstddef>
#include <vector>

#include "common/QXDoubleDouble.h"
#include "settings/QXRegrParameter.h"

namespace QXMath_600 {

// The columns' covariates laid out flat for the row loops, so that a row reads one short run of
// record indices per column instead of a parameter's vectors: column i's covariates, each repeated
// once per power, are fvCovariates[fvBegin[i] .. fvBegin[i + 1] - 1].
class QXColumnValues {
 public:
  void Clear() {
    fvBegin.assign(1, 0);
    fvCovariates.clear();
  }
  // The next column's covariates, from its parameter.
  void Append(const QXRegrParameter& p) {
    const std::vector<int>& covariates = p.GetCovariates();
    const std::vector<int>& powers = p.GetCovariateMultiplicities();
    for (std::size_t c = 0; c < covariates.size(); ++c)
      fvCovariates.insert(fvCovariates.end(), static_cast<std::size_t>(powers[c]), covariates[c]);
    fvBegin.push_back(static_cast<int>(fvCovariates.size()));
  }
  // Column i's value in `row`, which must hold every covariate of the column.
  double Value(const double* row, int i) const {
    const int* c = fvCovariates.data() + fvBegin[i];
    const int n = fvBegin[i + 1] - fvBegin[i];
    if (n == 0) return 1.0;
    detail::DD product{row[c[0]], 0.0};
    for (int j = 1; j < n; ++j) product = detail::Mul(product, row[c[j]]);
    return product.hi;
  }

 private:
  std::vector<int> fvBegin{0};
  std::vector<int> fvCovariates;
};

}  // namespace QXMath_600
