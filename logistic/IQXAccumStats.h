// What the optimizer reads after every pass over the data: the log-likelihood, the score vector and
// the information matrix at the current parameters, the counts of the pass, and the extremes of the
// fitted probabilities that reveal separation. A data handler feeds it one sparse design row at a
// time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/QXExport.h"
#include "common/QXSymMatrix.h"
#include "settings/QXConst.h"

namespace QXMath_600 {

class QXREGRES_API IQXAccumStats {
 public:
  IQXAccumStats() = default;
  IQXAccumStats(const IQXAccumStats&) = delete;
  IQXAccumStats& operator=(const IQXAccumStats&) = delete;
  virtual ~IQXAccumStats();

  // Starts a pass: every sum to 0, the extremes of the probabilities to their starting values.
  virtual void Reset(QXConst::QXHessianCompMethod method, bool separationCheck) = 0;
  virtual bool CheckConstraints() const = 0;
  // One row: count entries (indices, values) of the sparse design row over the estimated parameters
  // of one block, the row's category (its position among the categories, the reference last) and its
  // weight. With logLikelihoodOnly only the log-likelihood is accumulated. 0 when accepted, -1 when
  // refused.
  virtual int UpdateForRow(const std::vector<int>& indices, const std::vector<double>& values, int category,
                           double weight, bool logLikelihoodOnly) = 0;
  // Rows that share their design columns (those of a pattern of the pattern tabulator): `indices`
  // over the estimated parameters of one block, of which the first fixedValues.size() have the same
  // value in every row. `rows` holds nRows rows of 2 + (number of the other columns) values: the row's
  // category, its weight, then its values of the other columns in their order. Each row is taken as
  // UpdateForRow takes one; 0 when all were taken, -1 when one was refused (the rows before it stay).
  // The pattern is everything the rows share, so an accumulator can form the products of the fixed
  // columns once per call.
  virtual int UpdateForPattern(const std::vector<int>& indices, const std::vector<double>& fixedValues,
                               const double* rows, std::int64_t nRows, bool logLikelihoodOnly) = 0;
  // Cells that a data handler names itself, for rows it has already found the cell of (the rows of
  // one combination of factor levels): `indices` over the estimated parameters of one block, the
  // first nFixed of value 1 in every row of the cell, the others varying from row to row. Returns the
  // cell's number for UpdateForCellRows, or -1 when the accumulator keeps no such cell (its rows then
  // go through UpdateForRow). The numbers hold while GetCellGeneration() returns the same value.
  virtual int AddCell(const std::vector<int>& /*indices*/, int /*nFixed*/) { return -1; }
  virtual std::uint64_t GetCellGeneration() const { return 0; }
  // n rows of cells numbered by AddCell: per row its cell, category and weight, and `stride` values
  // of which the first are its values of the cell's varying columns in their order. Each row is taken
  // as UpdateForRow takes one; 0 when all were taken, -1 when one was refused (the rows before it
  // stay).
  virtual int UpdateForCellRows(const int* /*cells*/, const int* /*categories*/, const double* /*weights*/,
                                const double* /*varying*/, std::size_t /*stride*/, std::size_t /*n*/,
                                bool /*logLikelihoodOnly*/) {
    return -1;
  }
  // The log-likelihood of the pass; the system-missing value when some row's linear predictor was
  // not a finite number (the parameters were unusable).
  virtual double GetLL() const = 0;
  virtual const std::vector<double>& GetScores() const = 0;
  // The information matrix as a full symmetric matrix; false when it cannot be allocated.
  virtual bool GetHessian(QXSymMatrix& out) const = 0;
  // Rows accepted, calls that could not be used, and the accumulated weight.
  virtual void GetCounts(std::int64_t& valid, std::int64_t& invalid, double& weight) const = 0;
  virtual void GetMinMaxProbabilities(double& minObserved, double& maxObserved,
                                      double& minComputed) const = 0;
  virtual double GetStepAdjustmentFactor() const = 0;
  virtual void Display(bool showMatrix) const = 0;
};

}  // namespace QXMath_600
