// The data handler that keeps the data in memory: it reads the caller's records exactly twice (once
// to fill the factor tables, once to sort every valid record into its row pattern) and answers every
// later pass, the cross products and each optimizer iteration, from the stored rows.
//
// A row pattern is the combination of cells of the model's factor effects that a record falls in,
// packed into a short hash key. Within a pattern the factor part of every record's design row is the
// same, so the cells are looked up once per record while the patterns are built, and once per
// pattern in each later pass; per stored row only the covariates, the category and the weights are
// read, and the cross products (IQXRegModel::AddPatternToXtX) and the accumulator
// (IQXAccumStats::UpdateForPattern) sum the rows of a pattern before they spread them over the design
// columns, so that a row costs in proportion to its covariate columns. Memory holds each valid
// record's analysis variables once (the record extractor's layout).
//
// Patterns are visited in the hash table's bucket order, so sums differ from those of the streaming
// handler only in the order of the floating-point additions.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/QXExport.h"
#include "common/QXHashKey.h"
#include "common/QXPackedInt.h"
#include "common/QXStatus.h"
#include "common/RecordIterator.h"
#include "design/QXFactorTables.h"
#include "design/QXHashtable.h"
#include "logistic/IQXDataHandler.h"
#include "logistic/QXRowPatterns.h"
#include "records/QXCancelInfo.h"
#include "records/QXRecordExtractor.h"
#include "records/QXRegRecordValidator.h"
#include "settings/QXLogRegSettings.h"

namespace QXMath_600 {

class QXREGRES_API QXPatternTabulator : public IQXDataHandler {
 public:
  // The settings give the variable roles, the dependent and the weights; the extractor, whose layout
  // the stored rows follow, and the cancel information are borrowed.
  QXPatternTabulator(const QXLogRegSettings& settings, const QXRecordExtractor& extractor,
                     const QXCancelInfo& cancelInfo);
  ~QXPatternTabulator() override;

  // One optimizer pass over the stored rows. The first pass recasts them into what every pass reads
  // (the category, the weight and the values of the design columns that vary within the pattern)
  // and releases them: the cross products must come first. 313 before the patterns exist, without an
  // accumulator and a model, or when a row is refused; 1 when cancelled.
  QXCommon_600::QXStatus ComputeStatsForOptimizer(bool logLikelihoodOnly) override;
  std::vector<QXCommon_600::QXStatus> GetWarnings() const override { return fvWarnings; }
  void Display() const override;

  // The first pass over the caller's records: every valid record into the tables. 307 when no pass
  // can start or no record is valid, 308 when the tables' total weight is not positive, 312 for a null
  // record, the validator's 315 and 316, 316 or 305 for a record the tables refuse, 304 for an
  // iterator that ends on a failure, 1 when cancelled.
  QXCommon_600::QXStatus FillFactorTables(QXCommon_600::MultiPassRecordIter& records, QXFactorTables& tables);
  // The second and last pass over the caller's records: every valid record into its pattern, after
  // the model has its categories and parameters. 313 the second time; otherwise as FillFactorTables.
  QXCommon_600::QXStatus CreateRowPatterns(QXCommon_600::MultiPassRecordIter& records,
                                           const QXFactorTables& tables, const IQXRegModel& model);
  // Hands every stored row to the model's cross products. 303 before the patterns exist, 313 when the
  // model refuses a row or the optimizer's passes have begun, 1 when cancelled.
  QXCommon_600::QXStatus ProcessRowPatterns(IQXRegModel& model);
  // Files one record. 314 for a record without values, 315 for one shorter than the variables
  // stored; a record whose cells have no parameter is
  // skipped (success, nothing stored); 303 for a record whose category takes no part in the model.
  QXCommon_600::QXStatus AddRecordToPatterns(const QXCommon_600::Record& record,
                                             const QXFactorTables& tables);

  bool AreRowPatternsCreated() const { return fbRowPatternsCreated; }
  int GetNPatterns() const { return fpRowPatternTable ? fpRowPatternTable->GetCount() : 0; }
  std::int64_t GetRecordCount() const { return fRecordCount; }
  std::int64_t GetValidCount() const { return fValidCount; }
  const QXCommon_600::QXStatus& GetStatus() const { return fStatus; }

 private:
  // The cells of a pattern's records (a basic parameter index per model effect of the tables) from
  // its key, into fvCells.
  bool UnpackCells(const QXHashKey& key);
  // Recasts every pattern's stored rows into the rows the iterations read (QXRowPatterns) and
  // releases them. 313 when a pattern's cells have no parameter.
  QXCommon_600::QXStatus PrepareFitRows();

  int fNFactorEffects = 0;
  int fNAllEffects = 0;
  const std::vector<int>* fpModelEffectIndices = nullptr;
  const std::vector<int>* fpLocalEffectIndices = nullptr;
  const std::vector<int>* fpParameterOffsets = nullptr;
  std::vector<int> fvBounds;
  std::vector<int> fvPackedBounds;
  int fNPackedKey = 0;
  std::vector<int> fvDependCategories;
  std::vector<int> fvDependLocalIndices;
  int fDependVar;
  const std::vector<QXConst::QXVariableType>* fpVariableType;
  int fFreqWeightVar;
  int fRegrWeightVar;
  int fFreqWeightOffset;
  int fRegrWeightOffset;
  int fNAnalysVars;
  const QXRecordExtractor* fpExtractor;
  std::unique_ptr<QXHashtable<QXRowPatterns>> fpRowPatternTable;
  std::unique_ptr<QXHashKey> fpKey;
  std::int64_t fRecordCount = 0;
  std::int64_t fValidCount = 0;
  bool fbRowPatternsCreated = false;
  bool fbFitRowsPrepared = false;
  const QXCancelInfo* fpCancelInfo;
  QXPackedInt fPacker;
  QXCommon_600::QXStatus fStatus;
  std::vector<QXCommon_600::QXStatus> fvWarnings;
  QXRegRecordValidator fValidator;
  const QXLogRegSettings* fpSettings;
  // One more than the largest record index the stored rows take.
  int fMinRecordSize = 0;
  // Work of the passes, sized once.
  std::vector<int> fvLocal;
  std::vector<int> fvCells;
  std::vector<int> fvIndices;
  std::vector<double> fvValues;
  std::vector<int> fvVaryingEffects;
};

}  // namespace QXMath_600
