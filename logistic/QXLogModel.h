// The multinomial logistic (baseline-category logit) model: log(p_k / p_K) = x'b_k for every category
// k but the reference K. The model decides which dependent categories take part and which is the
// reference (placed last), lays out one block of parameters per non-reference category, finds the
// redundant parameters by sweeping the weighted cross products X'X of the design, supplies starting
// values, expands rows into sparse design rows over the kept parameters, scores records and keeps the
// final estimates with the generalized inverse of the information matrix.
//
// Parameters. The basic parameters are the columns of one block: the intercept when the settings use
// one, then every model effect's cells in the factor tables' numbering. Parameter k * P + j of the
// all-parameter list is basic parameter j in block k (P basic parameters, blocks k = 0 .. K - 2, one
// per non-reference category in the order of GetDependCategories()). The optimizer works on the kept
// parameters only, block by block in the same order.
//
// Weights. A fitting row weighs f g (frequency weight times regression weight, 1 for an absent one);
// the classification weighs a record by its frequency weight. Starting values are the log-ratios of
// the categories' totals of f g over the rows of X'X: with an intercept they are the maximum-likelihood
// estimates of the intercept-only model, also when regression weights make those totals differ from
// the frequency-weighted category counts (which then only break ties in the predicted category).
//
// Errors stick: every operation returns an error status it holds without doing anything else.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/QXBitSet.h"
#include "common/QXExport.h"
#include "common/QXRectMatrix.h"
#include "common/QXStatus.h"
#include "common/QXSymMatrix.h"
#include "design/QXFactorTables.h"
#include "logistic/IQXRegModel.h"
#include "records/QXCancelInfo.h"
#include "settings/QXLogRegSettings.h"
#include "settings/QXModelEffect.h"
#include "settings/QXRegrParameter.h"

namespace QXMath_600 {

class QXREGRES_API QXLogModel : public IQXRegModel {
 public:
  // The largest number of all parameters, (K - 1) P: the information matrix must stay addressable by
  // int indices (the integer part of the square root of 2^31 - 1).
  static constexpr int kMaxAllParameters = 46340;

  // Both are borrowed and must outlive the model.
  QXLogModel(const QXLogRegSettings& settings, QXCancelInfo& cancelInfo);
  ~QXLogModel() override;

  // Where a caller's record holds the covariates (in settings order), the frequency weight and the
  // dependent variable (-1 for none): what scoring and classification read.
  void SetRecordIndices(const std::vector<int>& covariateIndices, int freqWeightVar, int dependentVar);
  // Where a fitting row holds the covariates, the weights and the dependent variable (-1 for an
  // absent weight). storedRows: the rows are the pattern tabulator's, whose dependent position holds
  // the category's position in GetDependCategories() instead of its code.
  void SetFittingRowLayout(const std::vector<int>& covariatePositions, int freqWeightPosition,
                           int regrWeightPosition, int dependentPosition, bool storedRows);

  // Keeps the tables (which must outlive the model) and chooses the categories from their weighted
  // counts. 318 without dependent counts or with fewer than two categories of positive weight;
  // warning 319 when the requested reference category is not among them (the last one is used).
  QXCommon_600::QXStatus SetupDependCategories(QXFactorTables& tables);
  // The starting values of the kept parameters: 0, except log(c_k / c_K) for the intercept of block k.
  // 303 before the parameters exist or when a category has no positive weight, 310 once finished.
  QXCommon_600::QXStatus GetInitialValues(std::vector<double>& values) const;

  // ---- IQXRegModel ---------------------------------------------------------------------------
  const QXFactorTables* GetFactorTables() const override { return fpFactorTables; }
  // 305 when (K - 1) P exceeds kMaxAllParameters or X'X cannot be allocated; 303 without categories or
  // the second time; 1 when cancelled.
  QXCommon_600::QXStatus CreateParameters() override;
  bool AreParametersCreated() const override { return fbParametersCreated; }
  bool AddRecordToXtX(const QXCommon_600::Record& record) override;
  // False also for a weight that is not finite.
  bool AddRowToXtX(const double* row, const std::vector<int>& effectParameterIndices) override;
  bool AddPatternToXtX(const double* rows, std::int64_t nRows, int rowWidth,
                       const std::vector<int>& effectParameterIndices) override;
  // 309 with no row in X'X, 310 once finished, 1 when cancelled.
  QXCommon_600::QXStatus ComputeRedundancy() override;
  bool IsModelFinished() const override { return fbModelFinished; }
  // 311 before the final estimates; 303 (not kept) for a record that cannot be classified: its cells
  // have no parameter or its category takes no part. Records of frequency weight 0 are scored but not
  // counted.
  QXCommon_600::QXStatus AddRecordToClassification(std::vector<double>& caseScores,
                                                   const QXCommon_600::Record& record) override;
  // 308 (not kept) when no record of non-zero weight was classified.
  QXCommon_600::QXStatus FinishClassification() override;
  const QXSymMatrix* GetXtX() const override { return fpXtX.get(); }
  const QXSymMatrix* GetHessianGI() const override { return fpHessianGI.get(); }
  const std::vector<QXRegrParameter>& GetAllParameters() const override { return fvAllParameters; }
  const std::vector<QXRegrParameter>& GetBasicParameters() const override { return fvBasicParameters; }
  int GetNAllParameters() const override { return static_cast<int>(fvAllParameters.size()); }
  int GetNAllNonRedundant() const override { return fNAllNonRedundant; }
  int GetNBasicParameters() const override { return fNBasicParameters; }
  int GetNBasicNonRedundant() const override { return fNBasicNonRedundant; }
  const std::vector<double>& GetEstimates() const override { return fvEstimates; }
  const QXBitSet& GetBasicNonRedundancy() const override { return fBasicNonRedundancy; }
  const QXBitSet& GetAllNonRedundancy() const override { return fAllNonRedundancy; }
  int GetNDependCategories() const override { return static_cast<int>(fvDependCategories.size()); }
  const std::vector<int>& GetDependCategories() const override { return fvDependCategories; }
  const std::vector<int>& GetDependLocalIndices() const override { return fvDependLocalIndices; }
  void DeleteXtX() override { fpXtX.reset(); }
  void DeleteHessianGI() override { fpHessianGI.reset(); }
  bool GetEffectParameterRange(int effect, int& first, int& count) const override;
  // Ties among the largest linear predictors (within the machine epsilon) go to the category with
  // the largest weighted count, then the largest unweighted count, then the smallest code. 303 for a
  // record shorter than the variables read.
  QXCommon_600::QXStatus Score(const QXCommon_600::Record& record, std::vector<double>& probabilities,
                               int& predicted) const override;
  // 303 when the sizes do not match the kept parameters; 1 when cancelled.
  QXCommon_600::QXStatus SetFinalEstimates(const std::vector<double>& estimates,
                                           const QXSymMatrix& hessianInverse) override;
  bool GetRowValues(const QXCommon_600::Record& record, std::vector<int>& indices,
                    std::vector<double>& values) const override;
  bool GetDesignRow(std::vector<double>& row, const QXCommon_600::Record& record) const override;
  bool ExpandRecord(const QXCommon_600::Record& record, int& count, std::vector<int>& indices,
                    std::vector<double>& values) const override;
  bool ExpandStoredRow(const double* row, const std::vector<int>& effectParameterIndices, int& count,
                       std::vector<int>& indices, std::vector<double>& values) const override;
  bool ExpandStoredPattern(const std::vector<int>& effectParameterIndices, std::vector<int>& indices,
                           std::vector<double>& fixedValues, std::vector<int>& varyingEffects) const override;
  void GetVaryingValues(const double* row, const std::vector<int>& varyingEffects,
                        double* values) const override;
  void GetVaryingPositions(const std::vector<int>& varyingEffects, std::vector<int>& begins,
                           std::vector<int>& positions) const override;
  // Numbered while the product of the factors' numbers of categories is at most kMaxCellKeys.
  int GetNCellKeys() const override { return fNCellKeys; }
  int GetCellKey(const QXCommon_600::Record& record) const override {
    if (fNCellKeys == 0 || record.Size() < fCellKeyRecordSize) return -1;
    const double* values = record.GetAll();
    int key = 0;
    for (const KeyFactor& factor : fvKeyFactors) {
      const int level = QXFactorCounts::LevelIndex(values[factor.recordIndex], 0);
      if (static_cast<unsigned>(level) >= static_cast<unsigned>(factor.nCategories)) return -1;
      key += level * factor.stride;
    }
    return key;
  }
  bool GetRecordPattern(const QXCommon_600::Record& record, std::vector<int>& indices,
                        std::vector<double>& fixedValues, std::vector<int>& varyingEffects) const override;
  static constexpr int kMaxCellKeys = 1 << 16;
  QXCommon_600::QXStatus GetStatus() const override { return fStatus; }
  void Display() const override;

  // ---- Further results -------------------------------------------------------------------------
  // The category of a fitting row: its position in GetDependCategories(), -1 when it takes no part.
  int GetFittingCategory(const double* row) const;
  // The weight f g of a fitting row.
  double GetFittingWeight(const double* row) const;
  // Frequency-weighted and unweighted counts of the categories, in the order of GetDependCategories().
  const std::vector<double>& GetWeightedCounts() const { return fvWeightedCounts; }
  const std::vector<double>& GetUnweightedCounts() const { return fvUnweightedCounts; }
  // sum f g x x' over the basic parameters (redundant ones included), taken before the sweep: what
  // the tests of model effects build their hypotheses from. Empty before ComputeRedundancy.
  const QXSymMatrix& GetXPrimeWX() const { return fXPrimeWX; }
  // Per settings effect, its first basic parameter and its number of basic parameters.
  const std::vector<int>& GetFirstParameterIndices() const { return fvFirstParameters; }
  const std::vector<int>& GetNEffectParameters() const { return fvNEffectParameters; }
  // Rows observed, columns predicted, both in the order of GetDependCategories(); frequency weights.
  const QXRectMatrix& GetClassificationTable() const { return fClassification; }
  std::int64_t GetNClassified() const { return fNClassified; }
  std::int64_t GetRecordsAdded() const { return fRecordsAdded; }

 private:
  // Lays out the basic and the all-parameter lists.
  bool LayOutParameters();
  // The product of effect m's covariates (each raised to its power) read from `row` at
  // positions[covariate]; 1 for an effect without covariates.
  double EffectValue(int m, const double* row, const int* positions) const {
    double value = 1.0;
    for (int t = fvEffectCovBegin[m]; t < fvEffectCovBegin[m + 1]; ++t)
      value *= row[positions[fvEffectCovariates[t]]];
    return value;
  }
  // The sparse row over the kept basic parameters of a row whose cells are given; false when some
  // cell has no parameter.
  bool ExpandCells(const double* row, const int* positions, const std::vector<int>& cells, int& count,
                   std::vector<int>& indices, std::vector<double>& values) const;
  // The cells of a caller's record, or null when the record is too short for the variables read.
  const std::vector<int>* RecordCells(const QXCommon_600::Record& record, bool& ok) const;
  // The linear predictors of a record whose row values are in fvRowIndices/fvRowValues, into
  // fvEta (the reference's 0 last).
  void ComputeEta(int count) const;
  // The predicted position among the categories from fvEta, with the tie rule; fills probabilities.
  int Predict(std::vector<double>& probabilities) const;
  QXCommon_600::QXStatus Error(long code) { return fStatus = QXCommon_600::QXStatus(code, false); }

  const QXLogRegSettings* fpSettings;
  QXCancelInfo* fpCancelInfo;
  std::vector<int> fvCovariatePatternOffsets;
  std::vector<int> fvCovariateOffsets;
  int fFreqWeightPatternOffset = -1;
  int fRegrWeightPatternOffset = -1;
  int fDependPatternOffset = -1;
  bool fbStoredRows = false;
  int fFreqWeightVar = -1;
  int fDependentVar = -1;
  // One more than the largest record index that scoring reads.
  int fScoringRecordSize = 0;
  // The numbering of the factors' level combinations (see GetCellKey).
  struct KeyFactor {
    int recordIndex;
    int nCategories;
    int stride;
  };
  std::vector<KeyFactor> fvKeyFactors;
  int fNCellKeys = 0;
  int fCellKeyRecordSize = 0;
  void SetUpCellKeys();
  std::vector<int> fvDependCategories;
  std::vector<int> fvDependLocalIndices;
  int fReferenceCategory = -1;
  std::vector<double> fvWeightedCounts;
  std::vector<double> fvUnweightedCounts;
  // Totals of f g per category over the rows added to X'X, the basis of the starting values.
  std::vector<double> fvFittingTotals;
  const std::vector<QXModelEffect>* fpModelEffects;
  int fNAllEffects;
  QXFactorTables* fpFactorTables = nullptr;
  std::unique_ptr<QXSymMatrix> fpXtX;
  // A pattern's sums of w u u' for u = (1, the values of its varying columns), its columns, and which
  // element of u each takes (0 for the columns of effects without covariates).
  QXSymMatrix fPatternXtX;
  std::vector<double> fvPatternRow;
  std::vector<int> fvPatternColumns, fvPatternSources;
  std::int64_t fRecordsAdded = 0;
  QXSymMatrix fXPrimeWX;
  QXBitSet fBasicNonRedundancy;
  QXBitSet fAllNonRedundancy;
  std::unique_ptr<QXSymMatrix> fpHessianGI;
  std::vector<QXRegrParameter> fvAllParameters;
  std::vector<QXRegrParameter> fvBasicParameters;
  int fNBasicParameters = 0;
  int fNBasicNonRedundant = 0;
  int fNAllNonRedundant = 0;
  std::vector<int> fvBasicLocalIndices;
  bool fbParametersCreated = false;
  bool fbModelFinished = false;
  bool fbEstimatesSet = false;
  std::vector<double> fvEstimates;
  std::int64_t fNClassified = 0;
  QXRectMatrix fClassification;
  std::vector<int> fvFirstParameters;
  std::vector<int> fvNEffectParameters;
  QXCommon_600::QXStatus fStatus;

  // Per model effect of the tables, its covariates (positions in the settings' covariate list, each
  // repeated by its power): fvEffectCovariates[fvEffectCovBegin[m] .. fvEffectCovBegin[m + 1]).
  std::vector<int> fvEffectCovBegin;
  std::vector<int> fvEffectCovariates;
  // Work of the scoring operations, sized once.
  mutable std::vector<int> fvRowIndices;
  mutable std::vector<double> fvRowValues;
  mutable std::vector<double> fvEta;
  mutable std::vector<char> fvCandidates;
  std::vector<double> fvProbabilities;
};

}  // namespace QXMath_600
