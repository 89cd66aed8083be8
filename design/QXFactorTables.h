// The design's view of a data pass: the category counts of the factors, the cells of every model
// effect that occur in the data (numbered afterwards as the model's parameters), the total weights,
// and running weighted means of the covariates, of the dependent variable and of covariate products.
// The fitting algorithms feed every valid record of their data pass to UpdateAll, number the
// parameters with CreateParameterIndices, then map each record to one parameter index per model
// effect with GetRowParameterIndices.
//
// Category codes: with base 0 a factor code equal to the factor's number of categories passes the
// record validator but has no level here, so UpdateAll returns false for that record (having counted
// only its other factors); the model's data pass turns that into an error for the record.
//
// Records: UpdateAll refuses (false, nothing changed) a record shorter than the variables the tables
// read, and every record when a covariate index is negative. The row operations take a bare array
// that must hold every factor's value.
#pragma once

#include <vector>

#include "common/QXExport.h"
#include "common/Record.h"
#include "design/QXCellTables.h"
#include "design/QXFactorCounts.h"
#include "settings/QXConst.h"

namespace QXMath_600 {

class QXREGRES_API QXFactorTables : public QXFactorCounts, public QXCellTables {
 public:
  // The arguments of QXFactorCounts. No model effects, covariates or regression weight yet.
  QXFactorTables(const std::vector<int>& factorIndices, const std::vector<int>& nCategories, int weightVar,
                 int dependVar, int nDependCategories, int categoryBase, int offsetVar, double offsetValue,
                 QXConst::QXOffsetType offsetType);
  virtual ~QXFactorTables() = default;

  // Covariate record indices whose weighted means the pass forms; the means restart at 0.
  void SetCovariates(const std::vector<int>& covariates);
  // The regression weight record index (negative: none).
  void SetRegrWeightVar(int var);
  // A dependent variable whose frequency-weighted mean the pass forms (negative: none).
  void SetDepVar(int var);
  int GetDepVar() const { return fDepVar; }
  // Products of covariates whose mean and standard deviation the pass forms: one list of covariate
  // record indices is taken, in order, for each model effect whose entry in covStatIndices is not
  // negative (an empty list has product 1).
  void SetCovarEffects(const std::vector<int>& covStatIndices,
                       const std::vector<std::vector<int>>& covEffects);

  // One record of the data pass: counts, cells, totals and running means. A record with frequency
  // weight 0 still adds its cells and one to the sample size but leaves the frequency-weighted means
  // alone. False when a factor or the dependent has no valid level (the cells are then not recorded)
  // or the record is refused (see above).
  virtual bool UpdateAll(const QXCommon_600::Record& r);
  // Numbers the parameters from `first`: an effect without factors takes one index, an effect with
  // factors one per cell in ascending key order. Returns `first` + the number of parameters, or -1
  // (nothing numbered) when `first` is negative or the indices would overflow an int.
  virtual int CreateParameterIndices(int first);

  // One parameter index per model effect for the row's factor values (read at the factors' record
  // indices); -1 with ok false for an effect whose cell has no parameter.
  const std::vector<int>& GetRowParameterIndices(const double* row, bool& ok) const;
  // Per effect with factors, the position of the row's cell within its effect (-1 when it has no
  // parameter).
  const std::vector<int>& GetRowLocalParamIndices(const double* row, bool& ok) const;

  // The model effect whose observed cells cover the smallest share of the combinations of its
  // factors' active categories (the first of equals); -1 when every effect has them all.
  int GetIncompleteEffectIndex() const;

  int GetNCovariates() const { return fNCovariates; }
  // The covariate means. The first call after the pass fixes them: when the total frequency weight is
  // not positive every mean becomes the system-missing value.
  const std::vector<double>& GetCovariateMeans();
  double GetTotalWeight() const { return fTotalWeight; }
  double GetTotalRegrWeight() const { return fTotalRegrWeight; }
  double GetSampleSize() const { return fSampleSize; }
  int GetNCovEffects() const { return fNCovEffects; }
  const std::vector<int>& GetCovStatIndices() const { return fvCovStatIndices; }
  const std::vector<double>& GetCovEffectMeans() const { return fvCovEffectMeans; }
  const std::vector<double>& GetCovEffectStddev() const { return fvCovEffectStddev; }
  double GetDepMean() const { return fDepMean; }

  void Display() const;

 private:
  void UpdateCovariateMeans(const double* x, double v);
  void UpdateCovEffects(const double* x, double w);
  // One more than the largest record index UpdateAll reads; INT_MAX when a covariate index is
  // negative, which refuses every record.
  void UpdateMinRecordSize();

  std::vector<int> fvRowFactorPositions;
  std::vector<int> fvCovariates;
  int fRegrWeightVar = -1;
  int fDepVar = -1;
  double fDepMean;
  int fNCovariates = 0;
  std::vector<double> fvCovariateMeans;
  bool fbCovariateMeansFinal = false;
  double fTotalWeight = 0.0;
  double fTotalRegrWeight = 0.0;
  double fSampleSize = 0.0;
  std::vector<int> fvCovStatIndices;
  int fNCovEffects = 0;
  std::vector<std::vector<int>> fvCovEffects;
  std::vector<double> fvCovEffectMeans;
  std::vector<double> fvCovEffectSumSquares;
  std::vector<double> fvCovEffectStddev;
  int fRecordSizeNeeded = 0;
};

}  // namespace QXMath_600
