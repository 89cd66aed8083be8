// The least-squares state of a general linear model: the parameters numbered by the design tables, the
// weighted cross-product matrix of [design row, dependent] that is swept to find the aliased
// parameters and the estimates, and the fit statistics. The linear algorithm owns one model and feeds
// it the records of its passes; the output statistics copy the results.
//
// Rows are expanded sparsely: a record has one non-zero design entry per model effect (the column of
// its cell), so the per-record cost of the cross-product and fit passes follows the number of effects,
// not the number of parameters. Cheaper still, as long as the model's cells are few enough to tabulate,
// the cross-product pass sums per cell only the moments of the distinct covariate products and the
// dependent, and the fit pass predicts from per-cell sums of the estimates (see QXCellMoments). A cell is
// found through a direct index over the combinations of its effect's factor levels (built from the numbered
// tables, so it gives the tables' own parameter indices), or through the tables' hash lookup when that index
// would be too large. Products of covariates (powers, covariate interactions) are formed in double-double and
// enter the cross products with their low parts: rounding x^k to a double would already cost a badly
// conditioned polynomial fit most of its digits, whatever the sweep does next. Predictions and residuals are
// compensated dot products of the estimates with those rows.
//
// Weights: a record with frequency weight f and regression weight g enters every sum with
// w = f g / W, W the total frequency weight, so the swept parameter block scaled by 1/W is minus the
// inverse of the unscaled weighted cross products, and the root mean square error is
// sqrt(sum f g r^2 / W).
//
// The total sum of squares of a model with an intercept is taken about the weighted dependent mean read
// from the cross products (formed in double-double), not about the running mean of the data pass: a
// running mean can sit a unit in the last place away from a constant dependent variable, which would
// turn a total sum of squares of exactly 0 into a spurious positive one.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/QXBitSet.h"
#include "common/QXExport.h"
#include "common/QXStatus.h"
#include "common/QXSymMatrix.h"
#include "linear/QXCellMoments.h"
#include "model/QXEffectSweep.h"
#include "settings/QXRegSettings.h"
#include "settings/QXRegrParameter.h"

namespace QXMath_600 {

class QXCancelInfo;
class QXFactorTables;
class QXSweepMatrix;

class QXREGRES_API QXGLMModel {
 public:
  // The largest number of parameters: the cross-product matrix of order P + 1 must stay addressable
  // by int indices (46340^2 exceeds 2^31 - 1).
  static constexpr int kMaxParameters = 46339;

  // Both are borrowed and must outlive the model.
  QXGLMModel(const QXRegSettings& settings, QXCancelInfo& cancelInfo);
  QXGLMModel(const QXGLMModel&) = delete;
  QXGLMModel& operator=(const QXGLMModel&) = delete;

  // Copies the variable roles of the settings.
  void Setup();
  // Numbers the parameters through the tables (which must hold the data pass and outlive the model)
  // and allocates the cross-product matrix. Error 305 when there are more than kMaxParameters
  // parameters or the matrix cannot be allocated; 1 when cancelled; 303 when called twice.
  QXCommon_600::QXStatus CreateParameters(QXFactorTables& tables);
  // W, the total frequency weight, and the dependent mean of the data pass; before the cross products.
  void SetTotals(double totalFreqWeight, double dependentMean);

  // The operations given `values` read a record by record index: it must hold every variable of the
  // settings, as a record the validator accepted does (for scoring, every factor and covariate).

  // Adds a valid record's row to the cross products. False when the parameters are not created, the
  // model is solved, values is null or the weight is not finite.
  bool AddRecord(const double* values);
  // Sweeps every parameter pivot in index order. Error 309 when no record was added, 310 when already
  // solved, 1 when cancelled.
  QXCommon_600::QXStatus Solve();
  // One record of the fit pass.
  void AddResidual(const double* values);
  // R-square and root mean square error from the sums of the fit pass. Error 308 when no record of
  // the fit pass had a non-zero weight or W is not positive.
  QXCommon_600::QXStatus ComputeFitStats();

  // x'b for the record; the system-missing value when some effect's cell has no parameter or the model
  // is not solved.
  double Predict(const double* values) const;
  // Zeroes the first P entries of row (grown to P when shorter), writes the record's design entries
  // and, when row has more than P entries, the dependent value at P. False when some effect's cell has
  // no parameter (its column is then left at 0) or the parameters are not created.
  bool ExpandRow(std::vector<double>& row, const double* values) const;
  // The product of parameter k's covariates raised to their powers (1 without covariates); the
  // system-missing value for k out of range.
  double CovariateProduct(const double* values, int k) const;

  bool IsParametersCreated() const { return fbParametersCreated; }
  bool IsSolved() const { return fbSolved; }
  int GetNParameters() const { return static_cast<int>(fvParameters.size()); }
  // The number of non-redundant parameters.
  int GetRank() const { return fRedundancy.Count(); }
  const std::vector<QXRegrParameter>& GetParameters() const { return fvParameters; }
  const std::vector<double>& GetParamEstimates() const { return fvEstimates; }
  // P + 1 entries: the swept parameters, that is the non-redundant ones.
  const QXBitSet& GetRedundancyIndicators() const { return fRedundancy; }
  // After Solve: minus the inverse of the weighted cross products in the parameter block.
  const QXSymMatrix& GetZPrimeZMatrix() const { return fZPrimeZ; }
  // After Solve: sum f g x x' over the P parameters (redundant ones included), taken before the sweep
  // and without the 1/W of the accumulation. Empty before Solve.
  const QXSymMatrix& GetXPrimeWXMatrix() const { return fXPrimeWX; }
  // After Solve: the sweep itself, effect by effect (the intercept first when there is one), with the
  // Type I hypotheses, the aliased columns and what else the tests of model effects read of it, so
  // that they need not sweep X'WX again. Null before Solve.
  const QXEffectSweep* GetEffectSweep() const { return fpEffectSweep.get(); }
  double GetMultipleRSquare() const { return fMultipleRSquare; }
  double GetRootMeanSquareError() const { return fRootMeanSquareError; }
  std::int64_t GetRecordsAdded() const { return fRecordsAdded; }
  const std::vector<int>& GetFirstParameterIndices() const { return fvFirstParameters; }
  const std::vector<int>& GetNEffectParameters() const { return fvNEffectParameters; }

  void Display() const;

 private:
  // Expands the record's design entries into the sparse row buffers; returns their number and sets ok
  // false when some effect's cell has no parameter.
  int ExpandSparse(const double* values, bool& ok) const;
  // The parameter of effect m for the factor levels in fvLevels; -1 when that cell has none.
  int EffectParameter(int m) const;
  // The record's cell in the moment table; -1 when some factor's level lies outside it.
  int CellOf(const double* values) const;
  // Adds the record's moments, weighted by w, to its cell.
  void AddToCell(int cell, const double* values, double w);
  // Adds every cell's moments into the cross products and releases the table.
  void ExpandCellMoments();
  // z of the record: its distinct covariate products and the dependent, into fvMomentHi / fvMomentLo.
  void ComputeMoments(const double* values) const;
  // After the sweep, per cell of the table, each covariate product's coefficient: the sum of the
  // estimates of the effects it is the value of (double-double), for the fit pass.
  void SetUpCellCoefficients();
  // x'b of a record of the cell, hi + lo, from the cell's coefficients.
  void PredictInCell(int cell, const double* values, double& hi, double& lo) const;
  // sum over the row's entries of estimate x entry, compensated; hi + lo.
  void DotEstimates(int count, double& hi, double& lo) const;
  double Weight(const double* values) const;
  // After a double-precision sweep: the coefficients (P + 1 entries, 0 for the aliased ones) after one
  // step of iterative refinement against the double-double cross products, and the residual sum of
  // squares of the scaled cross products.
  void RefineSolution(const QXSweepMatrix& work, std::vector<double>& coefficients, double& residualSS) const;

  const QXRegSettings* fpSettings;
  QXCancelInfo* fpCancelInfo;
  std::vector<int> fvFactors;
  std::vector<int> fvCovariates;
  std::vector<int> fvCovariateOffsets;
  int fFreqWeightVar = -1;
  int fRegrWeightVar = -1;
  int fDependentVar = -1;
  const std::vector<QXModelEffect>* fpModelEffects = nullptr;
  const QXFactorTables* fpFactorTables = nullptr;
  QXSymMatrix fZPrimeZ;
  // The parameter block of fZPrimeZ before the sweep, times W: what the tests of model effects build
  // their hypotheses from, since the sweep overwrites fZPrimeZ.
  QXSymMatrix fXPrimeWX;
  std::unique_ptr<QXEffectSweep> fpEffectSweep;
  std::int64_t fRecordsAdded = 0;
  QXBitSet fRedundancy;
  std::vector<QXRegrParameter> fvParameters;
  bool fbParametersCreated = false;
  bool fbSolved = false;
  std::vector<double> fvEstimates;
  double fMultipleRSquare;
  double fRootMeanSquareError;
  // Compensated sums of the fit pass (value + correction).
  double fResidualSS = 0.0;
  double fResidualSSLo = 0.0;
  double fTotalSS = 0.0;
  double fTotalSSLo = 0.0;
  double fDependentMean;
  double fTotalFreqWeight = 0.0;
  std::int64_t fWeightedRecordCount = 0;
  std::vector<int> fvFirstParameters;
  std::vector<int> fvNEffectParameters;
  QXCommon_600::QXStatus fStatus;

  // What the row expansion needs of each effect of the tables, as ranges of the flat vectors below.
  struct EffectColumns {
    // The parameter of an effect without factors; otherwise that of its first cell.
    int firstParameter = 0;
    // The covariates of its product, each repeated by its power, in fvEffectCovariates.
    int covBegin = 0;
    int covEnd = 0;
    // Its factors in cell-key order, in fvCellFactors.
    int factorBegin = 0;
    int factorEnd = 0;
    // Where its direct cell index starts in fvCellParameters; -1 when its cells are looked up in the
    // tables' hash table instead.
    int cellBegin = -1;
  };
  // One factor of an effect's cell key: its position among the settings' factors, its number of
  // categories, and its stride in the effect's direct cell index.
  struct CellFactor {
    int position;
    int nCategories;
    int stride;
  };
  // The cells of an effect are found through a direct index over all combinations of its factors'
  // levels, a few array reads instead of a hash probe per record, as long as all effects together
  // need at most this many entries; the effects beyond it use the tables' hash lookup.
  static constexpr std::int64_t kMaxDirectCells = std::int64_t{1} << 20;
  // Builds fvEffects and the direct cell indices from the numbered tables.
  void SetUpRowExpansion(const QXFactorTables& tables);
  // Chooses between accumulating per cell and row by row, and sets up the cell table for the first.
  void SetUpCellMoments();

  std::vector<EffectColumns> fvEffects;
  std::vector<int> fvEffectCovariates;
  std::vector<CellFactor> fvCellFactors;
  // Per direct index entry, the parameter of that cell or -1 for a cell never observed.
  std::vector<int> fvCellParameters;
  // Some effect multiplies covariates, so rows carry low parts.
  bool fbExtendedRows = false;
  // The cross-product pass per cell (see QXCellMoments), when the table fits (the product of the
  // level counts of the factors the effects use, times the moments per cell, at most
  // QXCellMoments::kMaxMoments); otherwise, and for records whose cell lies outside the table, rows go
  // into the cross products one by one. The fit pass predicts from the cells' coefficients. The cell key runs
  // over the factors the effects use (mixed radix, strides in CellFactor). z = [the distinct covariate
  // products, the dependent]: the covariates of product j are fvMomentCovariates[fvMomentBegin[j] ..
  // fvMomentBegin[j + 1]) (none for the constant 1 of effects without covariates), and effect m's design
  // value is product fvEffectMoment[m].
  QXCellMoments fCellMoments;
  std::vector<CellFactor> fvKeyFactors;
  std::vector<int> fvMomentCovariates;
  std::vector<int> fvMomentBegin;
  std::vector<int> fvEffectMoment;
  mutable std::vector<double> fvMomentHi;
  mutable std::vector<double> fvMomentLo;
  // Per cell, per covariate product, hi and lo of its coefficient; empty without a cell table.
  std::vector<double> fvCellCoefficients;
  // The level index of every factor of the current record.
  mutable std::vector<int> fvLevels;
  // The row of the current record: non-zero entries (parameter index, hi + lo), the dependent last.
  // Sized once when the parameters are created; the record loops reuse them.
  mutable std::vector<int> fvRowIndices;
  mutable std::vector<double> fvRowHi;
  mutable std::vector<double> fvRowLo;
};

}  // namespace QXMath_600
