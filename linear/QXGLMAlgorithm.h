// Fits the general linear model by weighted least squares in three passes over the caller's
// multi-pass record iterator, keeping nothing of the data in memory but the design tables and the
// cross-product matrix: a data pass (category counts, observed cells, totals, means), a cross-product
// pass, the sweep, and a fit pass (R-square, root mean square error). The linear component owns one
// algorithm and forwards to it.
//
// States: new -> data processed -> parameters created -> built. Each step refuses to run twice or out
// of order, an error status sticks, and a cancel (status 1) ends the work before the next record or
// sweep step. Records the validator leaves out without a status (missing values, non-positive
// weights) are skipped in every pass.
//
// Beyond the plain course of the passes, the algorithm refuses input that would otherwise yield a
// silently different model:
//  - a record whose category code has no level in the design (the code equal to the factor's number
//    of categories passes the validator but is not a zero-based code) ends the data pass with 316,
//    discrete datum 1 = the factor's record index, scale datum 1 = the value;
//  - a model effect naming a variable that is not among the settings' factors or covariates gives 303
//    at the data pass (its values could not be checked, or might lie beyond the record);
//  - an iterator that ends a pass with a failure (a read error, a truncated last record) gives 304,
//    discrete datum 0 = its fail reason, instead of a fit on part of the data;
//  - Score answers the system-missing value for a record the validator refuses for scoring, with the
//    validator's status when it reports one (315, 316).
// Record counts are 64-bit: a streamed data set may hold more than 2^31 records.
#pragma once

#include <cstdint>
#include <vector>

#include "common/QXExport.h"
#include "common/QXStatus.h"
#include "common/Record.h"
#include "common/RecordIterator.h"
#include "design/QXFactorTables.h"
#include "linear/QXGLMModel.h"
#include "records/QXCancelInfo.h"
#include "records/QXRegRecordValidator.h"
#include "settings/QXRegSettings.h"

namespace QXMath_600 {

class QXREGRES_API QXGLMAlgorithm {
 public:
  // The settings are borrowed (the component's copy) and must outlive the algorithm.
  explicit QXGLMAlgorithm(const QXRegSettings& settings);
  QXGLMAlgorithm(const QXGLMAlgorithm&) = delete;
  QXGLMAlgorithm& operator=(const QXGLMAlgorithm&) = delete;

  // The data pass. 307 for an empty iterator or no valid record, 306 the second time, 312 for a null
  // record, 315 and 316 from the validator and the design (above).
  QXCommon_600::QXStatus ProcessData(QXCommon_600::MultiPassRecordIter& records);
  // Numbers the parameters after the data pass; 305 beyond QXGLMModel::kMaxParameters parameters,
  // 303 before the data pass or the second time.
  QXCommon_600::QXStatus CreateModelParameters();
  // The cross-product pass, the sweep and the fit pass. 309 before the parameters exist, 310 the
  // second time, 308 when no record has a positive weight.
  QXCommon_600::QXStatus BuildModel(QXCommon_600::MultiPassRecordIter& records);
  // The second and third passes, in the order BuildModel runs them. 313 before the data pass or when a
  // row cannot be added; 303 for the fit pass before the sweep.
  QXCommon_600::QXStatus AccumulateCrossProducts(QXCommon_600::MultiPassRecordIter& records);
  QXCommon_600::QXStatus ComputeFitStatistics(QXCommon_600::MultiPassRecordIter& records);

  // The prediction x'b for one record. Returns the algorithm's error, 1 when cancelled, 311 before
  // the build; the system-missing value when the record cannot be scored or its cell has no
  // parameter. Changes no state.
  QXCommon_600::QXStatus Score(const QXCommon_600::Record& record, double& predicted) const;

  // Sets the cancel flag; safe from any thread.
  void Cancel() { fCancelInfo.SetCancel(); }

  const QXCommon_600::QXStatus& GetStatus() const { return fStatus; }
  const std::vector<QXCommon_600::QXStatus>& GetWarnings() const { return fvWarnings; }
  bool IsDataProcessed() const { return fbDataProcessed; }
  bool IsParametersCreated() const { return fModel.IsParametersCreated(); }
  bool IsModelBuilt() const { return fbModelBuilt; }
  std::int64_t GetRecordCount() const { return fRecordCount; }
  std::int64_t GetValidCount() const { return fValidCount; }
  // After the data pass: the weighted means of the covariates in settings order, then of the
  // dependent variable.
  const std::vector<double>& GetMeanValues() const { return fvMeanValues; }
  const QXFactorTables& GetFactorTables() const { return fFactorTables; }
  const QXGLMModel& GetModel() const { return fModel; }
  const QXRegRecordValidator& GetRecordValidator() const { return fRecordValidator; }
  const QXRegSettings& GetSettings() const { return *fpSettings; }

  void Display() const;

 private:
  // The effect lists of the tables and the covariates with the dependent appended; 303 when an effect
  // names a variable the settings do not give the matching role.
  QXCommon_600::QXStatus SetUpTables();

  const QXRegSettings* fpSettings;
  QXCancelInfo fCancelInfo;
  QXRegRecordValidator fRecordValidator;
  QXFactorTables fFactorTables;
  std::vector<double> fvMeanValues;
  QXGLMModel fModel;
  bool fbDataProcessed = false;
  bool fbModelBuilt = false;
  std::int64_t fRecordCount = 0;
  std::int64_t fValidCount = 0;
  QXCommon_600::QXStatus fStatus;
  std::vector<QXCommon_600::QXStatus> fvWarnings;
};

}  // namespace QXMath_600
