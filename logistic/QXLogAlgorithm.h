// Fits a multinomial logistic regression from a caller's multi-pass record iterator: the data pass
// that fills the factor tables, the parameters, the cross products X'X that decide redundancy, and
// the Fisher-scoring iterations of the optimizer, each a pass over the caller's records or, with the
// pattern tabulator, over rows kept in memory (the caller's data is then read exactly twice). The
// logistic component owns one algorithm and forwards to it.
//
// States: new -> factor tables filled -> parameters created -> built. An error status sticks and a
// cancel (status 1) ends the work at the next record, iteration or step. Warnings (319 for the
// reference category, 337 for a fit that did not end in convergence) are collected once each; a built
// model's status is the last warning collected, if any.
//
// Beyond the plain course of the passes: a record whose factor or dependent code has no level ends
// the data pass with 316 (discrete datum 1 = the variable's record index, scale datum 1 = the value);
// a model effect naming a variable the settings do not list gives 303; an iterator that ends a pass on
// a failure gives 304 (discrete datum 0 = its fail reason).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/QXExport.h"
#include "common/QXStatus.h"
#include "common/Record.h"
#include "common/RecordIterator.h"
#include "design/QXFactorTables.h"
#include "logistic/QXAccumStatsLogistic.h"
#include "logistic/QXLogModel.h"
#include "logistic/QXPatternTabulator.h"
#include "logistic/QXRecordIterHandler.h"
#include "logistic/QXRegOptimizer.h"
#include "records/QXCancelInfo.h"
#include "records/QXRecordExtractor.h"
#include "records/QXRegRecordValidator.h"
#include "settings/QXLogRegSettings.h"
#include "settings/QXRegrParameter.h"

namespace QXMath_600 {

class QXREGRES_API QXLogAlgorithm {
 public:
  // The code of the warning that says how a fit that did not converge ended; discrete datum 0 holds
  // the optimizer's convergence state (4 to 9, QXRegOptimizer).
  static constexpr long kConvergenceWarning = 337;

  // The settings are borrowed (the component's copy) and must outlive the algorithm.
  explicit QXLogAlgorithm(const QXLogRegSettings& settings);
  QXLogAlgorithm(const QXLogAlgorithm&) = delete;
  QXLogAlgorithm& operator=(const QXLogAlgorithm&) = delete;
  ~QXLogAlgorithm();

  // The data pass (the first time; 306 the second) and the parameters, which are copied into
  // `parameters` (all blocks). 309 when the tables are not filled, 310 once built, and the codes of
  // the data pass: 307 (no record, or none valid), 308, 312, 315, 316, 303, 304, 1.
  QXCommon_600::QXStatus CreateParameters(QXCommon_600::MultiPassRecordIter& records,
                                          std::vector<QXRegrParameter>& parameters);
  // Every remaining pass and the fit; creates the parameters first when that was not done. 310 the
  // second time; 305 when the optimizer's matrices cannot be allocated; 313 for a record the cross
  // products refuse.
  QXCommon_600::QXStatus BuildModel(QXCommon_600::MultiPassRecordIter& records);
  // The predicted category code (-1 when the record's cells have no parameter, with missing
  // probabilities) and the probabilities of the categories in the order of the model's category list.
  // 311 before the build; the validator's status (315, 316) for a record it refuses for scoring, which
  // gets the system-missing prediction. Changes no state.
  QXCommon_600::QXStatus Score(const QXCommon_600::Record& record, double& predicted,
                               std::vector<double>& probabilities) const;
  // One more pass over the caller's records after the build: every valid record is scored and counted
  // in the classification table (observed by predicted category, frequency weights). Runs once; later
  // calls return the first outcome. 311 before the build; 308 when no record of non-zero weight was
  // classified; the codes of a pass (304, 307, 312, 315, 316, 1). Not kept as the algorithm's status.
  QXCommon_600::QXStatus ClassifyRecords(QXCommon_600::MultiPassRecordIter& records);

  // Sets the cancel flag; safe from any thread.
  void Cancel() { fCancelInfo.SetCancel(); }

  const QXCommon_600::QXStatus& GetStatus() const { return fStatus; }
  const std::vector<QXCommon_600::QXStatus>& GetWarnings() const { return fvWarnings; }
  bool IsFactorTableFilled() const { return fbFactorTableFilled; }
  bool AreParametersCreated() const { return fbParametersCreated; }
  bool IsModelBuilt() const { return fbModelBuilt; }
  bool IsClassified() const { return fbClassified; }
  // Records delivered and accepted by the data pass.
  std::int64_t GetRecordCount() const { return fRecordCount; }
  std::int64_t GetValidCount() const { return fValidCount; }
  // The weighted means of the covariates in settings order.
  const std::vector<double>& GetMeanValues() const { return fvMeanValues; }
  const QXFactorTables& GetFactorTables() const { return fFactorTables; }
  const QXLogModel& GetModel() const { return fModel; }
  const QXRegRecordValidator& GetRecordValidator() const { return fRecordValidator; }
  const QXLogRegSettings& GetSettings() const { return *fpSettings; }
  // After the build: the optimizer, kept for the iteration history and the fit measures; null before.
  const QXRegOptimizer* GetOptimizer() const { return fpOptimizer.get(); }

  void Display() const;

 private:
  QXCommon_600::QXStatus RunFactorTablePass(QXCommon_600::MultiPassRecordIter& records);
  QXCommon_600::QXStatus SetUpTables();
  // The cross products, the redundancy, the starting values and the optimizer.
  QXCommon_600::QXStatus Fit(QXCommon_600::MultiPassRecordIter& records);
  QXCommon_600::QXStatus AccumulateCrossProducts(QXCommon_600::MultiPassRecordIter& records);
  // An error becomes the algorithm's status; a warning joins the list unless an equal one is there.
  const QXCommon_600::QXStatus& Merge(const QXCommon_600::QXStatus& status);
  // The warning for how the optimizer ended, or success when it converged.
  QXCommon_600::QXStatus ConvergenceWarning() const;

  const QXLogRegSettings* fpSettings;
  QXRecordExtractor fPatternExtractor;
  QXFactorTables fFactorTables;
  QXRegRecordValidator fRecordValidator;
  std::unique_ptr<QXPatternTabulator> fpPatternTabulator;
  std::unique_ptr<QXRecordIterHandler> fpRecordHandler;
  std::vector<double> fvMeanValues;
  QXCancelInfo fCancelInfo;
  QXLogModel fModel;
  std::unique_ptr<QXAccumStatsLogistic> fpAccumulator;
  std::unique_ptr<QXRegOptimizer> fpOptimizer;
  // The optimizer's parameters (the kept ones, block after block).
  std::vector<double> fvBeta;
  bool fbFactorTableFilled = false;
  bool fbParametersCreated = false;
  bool fbModelBuilt = false;
  bool fbClassified = false;
  QXCommon_600::QXStatus fClassificationStatus;
  std::int64_t fRecordCount = 0;
  std::int64_t fValidCount = 0;
  QXCommon_600::QXStatus fStatus;
  std::vector<QXCommon_600::QXStatus> fvWarnings;
};

}  // namespace QXMath_600
