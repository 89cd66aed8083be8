// What the logistic fit needs of a model, whichever data handler feeds it: the parameter layout, the
// cross products X'X that decide which parameters are redundant, the expansion of records and of
// stored rows into sparse design rows over the kept parameters, the final estimates with the inverse
// of the information matrix, and scoring. The logistic algorithm, the pattern tabulator and the
// optimizer reach the model only through this interface.
//
// Two row forms meet here. A fitting row is what the data handler reads (the caller's record, or a
// row the pattern tabulator stored); the model reads its covariates and weights at the positions it
// was given for fitting rows. A scoring record is always the caller's record, read at the variables'
// record indices.
#pragma once

#include <cstdint>
#include <vector>

#include "common/QXBitSet.h"
#include "common/QXExport.h"
#include "common/QXStatus.h"
#include "common/QXSymMatrix.h"
#include "common/Record.h"
#include "design/QXFactorTables.h"
#include "settings/QXRegrParameter.h"

namespace QXMath_600 {

class QXREGRES_API IQXRegModel {
 public:
  IQXRegModel() = default;
  IQXRegModel(const IQXRegModel&) = delete;
  IQXRegModel& operator=(const IQXRegModel&) = delete;
  virtual ~IQXRegModel();

  virtual const QXFactorTables* GetFactorTables() const = 0;
  // Lays out the parameters from the numbered factor tables and allocates X'X.
  virtual QXCommon_600::QXStatus CreateParameters() = 0;
  virtual bool AreParametersCreated() const = 0;
  // Adds a caller's record to X'X through its cells in the factor tables; false when it falls in no
  // cell, before the parameters exist, after the model is finished, or when cancelled.
  virtual bool AddRecordToXtX(const QXCommon_600::Record& record) = 0;
  // Adds one fitting row, whose cell has the given basic parameter index in every model effect of the
  // tables, to X'X with the row's weight.
  virtual bool AddRowToXtX(const double* row, const std::vector<int>& effectParameterIndices) = 0;
  // Adds nRows stored fitting rows (back to back, rowWidth values each) that share their cells, as
  // AddRowToXtX adds each; the products of the columns whose values vary are summed over the rows
  // before they are spread over the design's columns.
  virtual bool AddPatternToXtX(const double* rows, std::int64_t nRows, int rowWidth,
                               const std::vector<int>& effectParameterIndices) = 0;
  // Sweeps X'X to find the redundant parameters.
  virtual QXCommon_600::QXStatus ComputeRedundancy() = 0;
  virtual bool IsModelFinished() const = 0;
  // Scores a caller's record, writes its contributions to the score vector (one per parameter, all
  // blocks) into caseScores and adds it to the classification table.
  virtual QXCommon_600::QXStatus AddRecordToClassification(std::vector<double>& caseScores,
                                                           const QXCommon_600::Record& record) = 0;
  // Ends the classification and marks the model finished.
  virtual QXCommon_600::QXStatus FinishClassification() = 0;
  // Null once freed.
  virtual const QXSymMatrix* GetXtX() const = 0;
  // The generalized inverse of the information matrix over all parameters; null before the final
  // estimates or once freed.
  virtual const QXSymMatrix* GetHessianGI() const = 0;
  virtual const std::vector<QXRegrParameter>& GetAllParameters() const = 0;
  virtual const std::vector<QXRegrParameter>& GetBasicParameters() const = 0;
  virtual int GetNAllParameters() const = 0;
  virtual int GetNAllNonRedundant() const = 0;
  virtual int GetNBasicParameters() const = 0;
  virtual int GetNBasicNonRedundant() const = 0;
  // All parameters, redundant ones 0.
  virtual const std::vector<double>& GetEstimates() const = 0;
  // A set member is a kept (non-redundant) parameter.
  virtual const QXBitSet& GetBasicNonRedundancy() const = 0;
  virtual const QXBitSet& GetAllNonRedundancy() const = 0;
  virtual int GetNDependCategories() const = 0;
  // Category codes, the reference last.
  virtual const std::vector<int>& GetDependCategories() const = 0;
  // Indexed by category code: the category's position in GetDependCategories(), -1 when it takes no
  // part.
  virtual const std::vector<int>& GetDependLocalIndices() const = 0;
  virtual void DeleteXtX() = 0;
  virtual void DeleteHessianGI() = 0;
  // The basic parameters of an effect; with an intercept, effect 0 is the intercept and effect e is
  // model effect e - 1. False for an index outside the effects.
  virtual bool GetEffectParameterRange(int effect, int& first, int& count) const = 0;
  // The probability of every category (in the order of GetDependCategories()) and the predicted
  // category code of a caller's record; -1 and missing probabilities when its cells have no parameter.
  virtual QXCommon_600::QXStatus Score(const QXCommon_600::Record& record, std::vector<double>& probabilities,
                                       int& predicted) const = 0;
  // Takes the estimates of the kept parameters and the inverse of their information matrix.
  virtual QXCommon_600::QXStatus SetFinalEstimates(const std::vector<double>& estimates,
                                                   const QXSymMatrix& hessianInverse) = 0;
  // Per model effect with a cell for the record: its basic parameter index and value. False when
  // some effect's cell has no parameter.
  virtual bool GetRowValues(const QXCommon_600::Record& record, std::vector<int>& indices,
                            std::vector<double>& values) const = 0;
  // The dense row over the basic parameters; false when some effect's cell has no parameter (its
  // columns stay 0).
  virtual bool GetDesignRow(std::vector<double>& row, const QXCommon_600::Record& record) const = 0;
  // The sparse row of a fitting row that is a caller's record, over the kept basic parameters:
  // count entries of (position among the kept parameters, value). False when it falls in no cell.
  virtual bool ExpandRecord(const QXCommon_600::Record& record, int& count, std::vector<int>& indices,
                            std::vector<double>& values) const = 0;
  // The same for a stored fitting row whose cells are given.
  virtual bool ExpandStoredRow(const double* row, const std::vector<int>& effectParameterIndices, int& count,
                               std::vector<int>& indices, std::vector<double>& values) const = 0;
  // The columns of the stored rows whose cells are given, over the kept basic parameters: first those
  // of effects without covariates, whose value is the same in every row (fixedValues), then those of
  // effects with covariates, whose effects go to varyingEffects. False when some cell has no
  // parameter.
  virtual bool ExpandStoredPattern(const std::vector<int>& effectParameterIndices, std::vector<int>& indices,
                                   std::vector<double>& fixedValues,
                                   std::vector<int>& varyingEffects) const = 0;
  // One stored row's values of the varying columns of ExpandStoredPattern, into values; the same for
  // a caller's record when the rows are the caller's records.
  virtual void GetVaryingValues(const double* row, const std::vector<int>& varyingEffects,
                                double* values) const = 0;
  // A number for every combination of the factors' levels, so that a pass over the caller's records
  // finds a record's cells (and so its design columns) by one array read: GetCellKey gives a number
  // below GetNCellKeys(), or -1 when some factor's value is no level of it or the record is shorter
  // than the variables a fitting row reads. GetNCellKeys() is 0 when the combinations are too many to
  // number; every record is then -1.
  // Where the varying values of ExpandStoredPattern come from: the value of varyingEffects[j] is the
  // product of row[positions[t]] for t from begins[j] to begins[j + 1], multiplied in that order.
  virtual void GetVaryingPositions(const std::vector<int>& varyingEffects, std::vector<int>& begins,
                                   std::vector<int>& positions) const = 0;
  virtual int GetNCellKeys() const = 0;
  virtual int GetCellKey(const QXCommon_600::Record& record) const = 0;
  // ExpandStoredPattern for the cells of a caller's record; false when some cell has no parameter.
  virtual bool GetRecordPattern(const QXCommon_600::Record& record, std::vector<int>& indices,
                                std::vector<double>& fixedValues, std::vector<int>& varyingEffects) const = 0;
  virtual QXCommon_600::QXStatus GetStatus() const = 0;
  virtual void Display() const = 0;
};

}  // namespace QXMath_600
