// The value a parameter's column takes in a row of data, shared by the design matrices: the product of
// the parameter's covariates raised to their powers, 1.0 for a parameter without covariates. A factor
// contributes through the choice of column only (an over-parameterised indicator), never through a
// value.
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

// `row` must hold every covariate of p.
inline double ComputeDesignRowValue(const double* row, const QXRegrParameter& p) {
  const std::vector<int>& covariates = p.GetCovariates();
  const std::vector<int>& powers = p.GetCovariateMultiplicities();
  detail::DD product{1.0, 0.0};
  bool first = true;
  for (std::size_t c = 0; c < covariates.size(); ++c) {
    const double x = row[covariates[c]];
    for (int k = 0; k < powers[c]; ++k) {
      product = first ? detail::DD{x, 0.0} : detail::Mul(product, x);
      first = false;
    }
  }
  return product.hi;
}

}  // namespace QXMath_600
