#include "logistic/QXLogModel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"
#include "common/QXPower.h"
#include "design/QXFactorCounts.h"
#include "design/QXFactorTableSetup.h"

namespace QXMath_600 {

using QXCommon_600::QXStatus;
using QXCommon_600::Record;

namespace {

int LargestIndex(const std::vector<int>& indices) {
  int largest = -1;
  for (int i : indices) largest = std::max(largest, i);
  return largest;
}

}  // namespace

QXLogModel::QXLogModel(const QXLogRegSettings& settings, QXCancelInfo& cancelInfo)
    : fpSettings(&settings),
      fpCancelInfo(&cancelInfo),
      fpModelEffects(&settings.GetModelEffects()),
      fNAllEffects(settings.GetNModelEffects() + (settings.GetInterceptUse() ? 1 : 0)) {}

QXLogModel::~QXLogModel() = default;

void QXLogModel::SetRecordIndices(const std::vector<int>& covariateIndices, int freqWeightVar,
                                  int dependentVar) {
  fvCovariateOffsets = covariateIndices;
  fFreqWeightVar = freqWeightVar;
  fDependentVar = dependentVar;
  const int largest = std::max({LargestIndex(covariateIndices), LargestIndex(fpSettings->GetFactors())});
  fScoringRecordSize = largest + 1;
  SetUpCellKeys();
}

void QXLogModel::SetFittingRowLayout(const std::vector<int>& covariatePositions, int freqWeightPosition,
                                     int regrWeightPosition, int dependentPosition, bool storedRows) {
  fvCovariatePatternOffsets = covariatePositions;
  fFreqWeightPatternOffset = freqWeightPosition;
  fRegrWeightPatternOffset = regrWeightPosition;
  fDependPatternOffset = dependentPosition;
  fbStoredRows = storedRows;
  SetUpCellKeys();
}

void QXLogModel::SetUpCellKeys() {
  // The factors as the factor tables read them: at their record indices, levels from base 0.
  const std::vector<int>& factors = fpSettings->GetFactors();
  const std::vector<int>& sizes = fpSettings->GetFactorSizes();
  fvKeyFactors.clear();
  fNCellKeys = 0;
  fCellKeyRecordSize = std::max({fScoringRecordSize, LargestIndex(fvCovariatePatternOffsets) + 1, 1});
  if (sizes.size() < factors.size()) return;
  long long combinations = 1;
  for (std::size_t i = 0; i < factors.size(); ++i) {
    if (factors[i] < 0 || sizes[i] < 1) return;
    if (combinations * sizes[i] > kMaxCellKeys) return;
    fvKeyFactors.push_back({factors[i], sizes[i], static_cast<int>(combinations)});
    combinations *= sizes[i];
  }
  fNCellKeys = static_cast<int>(combinations);
}

void QXLogModel::GetVaryingPositions(const std::vector<int>& varyingEffects, std::vector<int>& begins,
                                     std::vector<int>& positions) const {
  begins.assign(1, 0);
  positions.clear();
  const int nEffects = static_cast<int>(fvEffectCovBegin.size()) - 1;
  for (int m : varyingEffects) {
    if (m >= 0 && m < nEffects)
      for (int t = fvEffectCovBegin[m]; t < fvEffectCovBegin[m + 1]; ++t)
        positions.push_back(fvCovariatePatternOffsets[static_cast<std::size_t>(fvEffectCovariates[t])]);
    begins.push_back(static_cast<int>(positions.size()));
  }
}

bool QXLogModel::GetRecordPattern(const Record& record, std::vector<int>& indices,
                                  std::vector<double>& fixedValues, std::vector<int>& varyingEffects) const {
  bool ok = false;
  const std::vector<int>* cells = RecordCells(record, ok);
  if (cells == nullptr || !ok) {
    indices.clear();
    fixedValues.clear();
    varyingEffects.clear();
    return false;
  }
  return ExpandStoredPattern(*cells, indices, fixedValues, varyingEffects);
}

QXStatus QXLogModel::SetupDependCategories(QXFactorTables& tables) {
  if (fStatus.IsError()) return fStatus;
  fpFactorTables = &tables;
  const QXFactorCounts::Counts* counts = tables.GetDependCountsPtr();
  if (counts == nullptr) return Error(318);
  std::vector<int> present;
  for (std::size_t code = 0; code < counts->size(); ++code)
    if ((*counts)[code].first > 0.0) present.push_back(static_cast<int>(code));
  if (present.size() < 2) return Error(318);

  const int requested = fpSettings->GetDependentRefCateg();
  QXStatus status;
  if (std::find(present.begin(), present.end(), requested) != present.end()) {
    fReferenceCategory = requested;
  } else if (requested == -2) {
    fReferenceCategory = present.front();
  } else {
    fReferenceCategory = present.back();
    if (requested >= 0) status = QXStatus(319, true);
  }
  fvDependCategories.clear();
  for (int code : present)
    if (code != fReferenceCategory) fvDependCategories.push_back(code);
  fvDependCategories.push_back(fReferenceCategory);
  fvDependLocalIndices.assign(counts->size(), -1);
  fvWeightedCounts.clear();
  fvUnweightedCounts.clear();
  for (std::size_t k = 0; k < fvDependCategories.size(); ++k) {
    const int code = fvDependCategories[k];
    fvDependLocalIndices[static_cast<std::size_t>(code)] = static_cast<int>(k);
    fvWeightedCounts.push_back((*counts)[static_cast<std::size_t>(code)].first);
    fvUnweightedCounts.push_back((*counts)[static_cast<std::size_t>(code)].second);
  }
  fvFittingTotals.assign(fvDependCategories.size(), 0.0);
  fvEta.assign(fvDependCategories.size(), 0.0);
  fvCandidates.assign(fvDependCategories.size(), 0);
  return status;
}

bool QXLogModel::LayOutParameters() {
  if (!CreateEffectParameters(*fpSettings, *fpFactorTables, *fpCancelInfo, fvBasicParameters,
                              fvFirstParameters, fvNEffectParameters))
    return false;
  fNBasicParameters = static_cast<int>(fvBasicParameters.size());
  fvAllParameters.clear();
  fvAllParameters.reserve(fvBasicParameters.size() * (fvDependCategories.size() - 1));
  for (std::size_t k = 0; k + 1 < fvDependCategories.size(); ++k)
    for (QXRegrParameter parameter : fvBasicParameters) {
      parameter.SetTargetCategory(fvDependCategories[k]);
      fvAllParameters.push_back(parameter);
    }

  // The covariates of each effect's product, as positions in the settings' covariate list.
  const std::vector<int>& covariates = fpSettings->GetCovariates();
  const int nEffects = fpFactorTables->GetNModelEffects();
  const bool intercept = fpSettings->GetInterceptUse();
  fvEffectCovBegin.assign(1, 0);
  fvEffectCovariates.clear();
  for (int m = 0; m < nEffects; ++m) {
    const int e = intercept ? m - 1 : m;
    if (e >= 0 && e < static_cast<int>(fpModelEffects->size())) {
      QXRegrParameter parameter;
      parameter.SetupFromEffect((*fpModelEffects)[e], e, 0);
      const std::vector<int>& vars = parameter.GetCovariates();
      const std::vector<int>& powers = parameter.GetCovariateMultiplicities();
      for (std::size_t c = 0; c < vars.size(); ++c) {
        const int position =
            static_cast<int>(std::find(covariates.begin(), covariates.end(), vars[c]) - covariates.begin());
        fvEffectCovariates.insert(fvEffectCovariates.end(), static_cast<std::size_t>(powers[c]), position);
      }
    }
    fvEffectCovBegin.push_back(static_cast<int>(fvEffectCovariates.size()));
  }
  return true;
}

QXStatus QXLogModel::CreateParameters() {
  if (fStatus.IsError()) return fStatus;
  const int nCategories = GetNDependCategories();
  if (fbParametersCreated || fpFactorTables == nullptr || nCategories < 2) return Error(303);
  const int p = fpFactorTables->CreateParameterIndices(0);
  const std::int64_t all = static_cast<std::int64_t>(nCategories - 1) * std::max(p, 0);
  if (p < 0 || all > kMaxAllParameters) {
    Error(305);
    fStatus.SetDiscreteDatum(0, p < 0 ? -1 : static_cast<long>(all));
    fStatus.SetDiscreteDatum(1, kMaxAllParameters);
    return fStatus;
  }
  if (!LayOutParameters()) return Error(1);
  fpXtX = std::make_unique<QXSymMatrix>();
  if (!fpXtX->SetNRowsCols(p)) {
    Error(305);
    fStatus.SetDiscreteDatum(0, static_cast<long>(all));
    fStatus.SetDiscreteDatum(1, kMaxAllParameters);
    return fStatus;
  }
  fRecordsAdded = 0;
  fvEstimates.assign(static_cast<std::size_t>(all), 0.0);
  fClassification.SetNRowsCols(nCategories, nCategories);
  const std::size_t nEffects = fvEffectCovBegin.size() - 1;
  fvRowIndices.assign(nEffects, 0);
  fvRowValues.assign(nEffects, 0.0);
  fbParametersCreated = true;
  return fStatus;
}

int QXLogModel::GetFittingCategory(const double* row) const {
  if (fDependPatternOffset < 0) return -1;
  const int code = QXFactorCounts::LevelIndex(row[fDependPatternOffset], 0);
  if (fbStoredRows) return code >= 0 && code < GetNDependCategories() ? code : -1;
  return code >= 0 && code < static_cast<int>(fvDependLocalIndices.size())
             ? fvDependLocalIndices[static_cast<std::size_t>(code)]
             : -1;
}

double QXLogModel::GetFittingWeight(const double* row) const {
  const double f = fFreqWeightPatternOffset >= 0 ? row[fFreqWeightPatternOffset] : 1.0;
  const double g = fRegrWeightPatternOffset >= 0 ? row[fRegrWeightPatternOffset] : 1.0;
  return f * g;
}

const std::vector<int>* QXLogModel::RecordCells(const Record& record, bool& ok) const {
  ok = false;
  if (fpFactorTables == nullptr || record.Size() < std::max(fScoringRecordSize, 1)) return nullptr;
  return &fpFactorTables->GetRowParameterIndices(record.GetAll(), ok);
}

bool QXLogModel::AddRecordToXtX(const Record& record) {
  if (fStatus.IsError() || !fbParametersCreated || fbModelFinished || !fpXtX) return false;
  bool ok = false;
  const std::vector<int>* cells = RecordCells(record, ok);
  return cells != nullptr && ok && AddRowToXtX(record.GetAll(), *cells);
}

bool QXLogModel::AddRowToXtX(const double* row, const std::vector<int>& effectParameterIndices) {
  if (fStatus.IsError() || !fbParametersCreated || fbModelFinished || !fpXtX || row == nullptr) return false;
  if (fpCancelInfo->WillCancel()) return false;
  const std::size_t nEffects = fvEffectCovBegin.size() - 1;
  if (effectParameterIndices.size() < nEffects) return false;
  int count = 0;
  for (std::size_t m = 0; m < nEffects; ++m) {
    const int j = effectParameterIndices[m];
    if (j < 0 || j >= fNBasicParameters) return false;
    const double value = EffectValue(static_cast<int>(m), row, fvCovariatePatternOffsets.data());
    if (value == 0.0) continue;
    fvRowIndices[count] = j;
    fvRowValues[count] = value;
    ++count;
  }
  const double w = GetFittingWeight(row);
  if (!fpXtX->UpdateXXSparse(fvRowIndices.data(), fvRowValues.data(), count, w)) return false;
  const int category = GetFittingCategory(row);
  if (category >= 0) fvFittingTotals[static_cast<std::size_t>(category)] += w;
  ++fRecordsAdded;
  return true;
}

bool QXLogModel::AddPatternToXtX(const double* rows, std::int64_t nRows, int rowWidth,
                                 const std::vector<int>& effectParameterIndices) {
  if (fStatus.IsError() || !fbParametersCreated || fbModelFinished || !fpXtX || nRows < 0 || rowWidth < 1 ||
      (rows == nullptr && nRows > 0))
    return false;
  if (fpCancelInfo->WillCancel()) return false;
  const std::size_t nEffects = fvEffectCovBegin.size() - 1;
  if (effectParameterIndices.size() < nEffects) return false;
  fvPatternColumns.clear();
  fvPatternSources.clear();
  int nVarying = 0;
  for (std::size_t m = 0; m < nEffects; ++m) {
    const int j = effectParameterIndices[m];
    if (j < 0 || j >= fNBasicParameters) return false;
    fvPatternColumns.push_back(j);
    fvPatternSources.push_back(fvEffectCovBegin[m] == fvEffectCovBegin[m + 1] ? 0 : ++nVarying);
  }
  if (fPatternXtX.GetNRows() != 1 + nVarying) {
    if (!fPatternXtX.SetNRowsCols(1 + nVarying)) return false;
  } else {
    fPatternXtX.Clear();
  }
  fvPatternRow.assign(static_cast<std::size_t>(1 + nVarying), 1.0);
  for (std::int64_t r = 0; r < nRows; ++r) {
    const double* row = rows + static_cast<std::size_t>(r) * static_cast<std::size_t>(rowWidth);
    for (std::size_t m = 0, t = 0; m < nEffects; ++m)
      if (fvPatternSources[m] > 0)
        fvPatternRow[++t] = EffectValue(static_cast<int>(m), row, fvCovariatePatternOffsets.data());
    const double w = GetFittingWeight(row);
    if (!fPatternXtX.UpdateXX(fvPatternRow.data(), 1 + nVarying, w)) return false;
    const int category = GetFittingCategory(row);
    if (category >= 0) fvFittingTotals[static_cast<std::size_t>(category)] += w;
  }
  if (!fpXtX->AddScattered(fPatternXtX, fvPatternColumns.data(), fvPatternSources.data(),
                           static_cast<int>(fvPatternColumns.size())))
    return false;
  fRecordsAdded += nRows;
  return true;
}

QXStatus QXLogModel::ComputeRedundancy() {
  if (fStatus.IsError()) return fStatus;
  if (fRecordsAdded == 0 || !fpXtX) return Error(309);
  if (fbModelFinished) return Error(310);
  if (fpCancelInfo->WillCancel()) return Error(1);
  const int p = fNBasicParameters;
  fpXtX->ExtractFirstNRows(p, fXPrimeWX);
  std::vector<double> diagonal;
  fpXtX->GetDiagonal(diagonal);
  fBasicNonRedundancy = QXBitSet(p);
  const double tolerance = fpSettings->GetTolerance();
  for (int k = 0; k < p; ++k) {
    if (fpCancelInfo->WillCancel()) return Error(1);
    fpXtX->Sweep(k, tolerance, diagonal, fBasicNonRedundancy, true);
  }
  const int blocks = GetNDependCategories() - 1;
  fvBasicLocalIndices.assign(static_cast<std::size_t>(p), -1);
  fNBasicNonRedundant = 0;
  for (int j = 0; j < p; ++j)
    if (fBasicNonRedundancy.IsIn(j)) fvBasicLocalIndices[static_cast<std::size_t>(j)] = fNBasicNonRedundant++;
  fAllNonRedundancy = QXBitSet(blocks * p);
  for (int k = 0; k < blocks; ++k)
    for (int j = 0; j < p; ++j)
      if (fBasicNonRedundancy.IsIn(j)) fAllNonRedundancy.Set(k * p + j);
  fNAllNonRedundant = blocks * fNBasicNonRedundant;
  return fStatus;
}

QXStatus QXLogModel::GetInitialValues(std::vector<double>& values) const {
  if (fStatus.IsError()) return fStatus;
  if (!fbParametersCreated) return QXStatus(303, false);
  if (fbModelFinished) return QXStatus(310, false);
  values.assign(static_cast<std::size_t>(fNAllNonRedundant), 0.0);
  for (double count : fvWeightedCounts)
    if (!(count > 0.0)) return QXStatus(303, false);
  const bool fittingTotals = std::all_of(fvFittingTotals.begin(), fvFittingTotals.end(),
                                         [](double t) { return t > 0.0 && std::isfinite(t); });
  const std::vector<double>& totals = fittingTotals ? fvFittingTotals : fvWeightedCounts;
  const int blocks = GetNDependCategories() - 1;
  if (!fpSettings->GetInterceptUse() || !fBasicNonRedundancy.IsIn(0) || blocks < 1) return QXStatus();
  const double reference = totals.back();
  for (int k = 0; k < blocks; ++k)
    values[static_cast<std::size_t>(k) * fNBasicNonRedundant] = std::log(totals[k] / reference);
  return QXStatus();
}

bool QXLogModel::ExpandCells(const double* row, const int* positions, const std::vector<int>& cells,
                             int& count, std::vector<int>& indices, std::vector<double>& values) const {
  indices.clear();
  values.clear();
  count = 0;
  const std::size_t nEffects = fvEffectCovBegin.size() - 1;
  if (cells.size() < nEffects || fvBasicLocalIndices.empty()) return false;
  bool ok = true;
  for (std::size_t m = 0; m < nEffects; ++m) {
    const int j = cells[m];
    if (j < 0 || j >= fNBasicParameters) {
      ok = false;
      continue;
    }
    const int local = fvBasicLocalIndices[static_cast<std::size_t>(j)];
    if (local < 0) continue;
    const double value = EffectValue(static_cast<int>(m), row, positions);
    // NaN is kept, so that an unusable row is refused downstream rather than silently shortened.
    if (value == 0.0) continue;
    indices.push_back(local);
    values.push_back(value);
  }
  count = static_cast<int>(indices.size());
  return ok;
}

bool QXLogModel::ExpandRecord(const Record& record, int& count, std::vector<int>& indices,
                              std::vector<double>& values) const {
  count = 0;
  bool ok = false;
  const std::vector<int>* cells = RecordCells(record, ok);
  if (cells == nullptr || !ok) {
    indices.clear();
    values.clear();
    return false;
  }
  return ExpandCells(record.GetAll(), fvCovariatePatternOffsets.data(), *cells, count, indices, values);
}

bool QXLogModel::ExpandStoredRow(const double* row, const std::vector<int>& effectParameterIndices,
                                 int& count, std::vector<int>& indices, std::vector<double>& values) const {
  count = 0;
  if (row == nullptr) return false;
  return ExpandCells(row, fvCovariatePatternOffsets.data(), effectParameterIndices, count, indices, values);
}

bool QXLogModel::ExpandStoredPattern(const std::vector<int>& effectParameterIndices,
                                     std::vector<int>& indices, std::vector<double>& fixedValues,
                                     std::vector<int>& varyingEffects) const {
  indices.clear();
  fixedValues.clear();
  varyingEffects.clear();
  const std::size_t nEffects = fvEffectCovBegin.size() - 1;
  if (effectParameterIndices.size() < nEffects || fvBasicLocalIndices.empty()) return false;
  std::vector<int>& varying = fvRowIndices;  // the varying columns until they join the fixed ones
  varying.clear();
  for (std::size_t m = 0; m < nEffects; ++m) {
    const int j = effectParameterIndices[m];
    if (j < 0 || j >= fNBasicParameters) return false;
    const int local = fvBasicLocalIndices[static_cast<std::size_t>(j)];
    if (local < 0) continue;
    if (fvEffectCovBegin[m] == fvEffectCovBegin[m + 1]) {
      indices.push_back(local);
      fixedValues.push_back(1.0);
    } else {
      varying.push_back(local);
      varyingEffects.push_back(static_cast<int>(m));
    }
  }
  indices.insert(indices.end(), varying.begin(), varying.end());
  return true;
}

void QXLogModel::GetVaryingValues(const double* row, const std::vector<int>& varyingEffects,
                                  double* values) const {
  for (std::size_t t = 0; t < varyingEffects.size(); ++t)
    values[t] = EffectValue(varyingEffects[t], row, fvCovariatePatternOffsets.data());
}

bool QXLogModel::GetRowValues(const Record& record, std::vector<int>& indices,
                              std::vector<double>& values) const {
  indices.clear();
  values.clear();
  bool ok = false;
  const std::vector<int>* cells = RecordCells(record, ok);
  if (cells == nullptr) return false;
  for (std::size_t m = 0; m + 1 < fvEffectCovBegin.size() && m < cells->size(); ++m) {
    const int j = (*cells)[m];
    if (j < 0) continue;
    indices.push_back(j);
    values.push_back(EffectValue(static_cast<int>(m), record.GetAll(), fvCovariateOffsets.data()));
  }
  return ok;
}

bool QXLogModel::GetDesignRow(std::vector<double>& row, const Record& record) const {
  row.assign(static_cast<std::size_t>(fNBasicParameters), 0.0);
  const bool ok = GetRowValues(record, fvRowIndices, fvRowValues);
  for (std::size_t t = 0; t < fvRowIndices.size(); ++t)
    row[static_cast<std::size_t>(fvRowIndices[t])] = fvRowValues[t];
  return ok;
}

void QXLogModel::ComputeEta(int count) const {
  const int blocks = GetNDependCategories() - 1;
  for (int k = 0; k < blocks; ++k) {
    const double* b = fvEstimates.data() + static_cast<std::size_t>(k) * fNBasicParameters;
    double eta = 0.0;
    for (int t = 0; t < count; ++t) {
      // An aliased parameter's 0 must not meet an overflowed covariate product.
      const double estimate = b[fvRowIndices[t]];
      if (estimate != 0.0) eta += estimate * fvRowValues[t];
    }
    fvEta[static_cast<std::size_t>(k)] = eta;
  }
  fvEta[static_cast<std::size_t>(blocks)] = 0.0;
}

int QXLogModel::Predict(std::vector<double>& probabilities) const {
  const int nCategories = GetNDependCategories();
  const int reference = nCategories - 1;
  const double epsilon = QXPower::gMachineEpsilon;
  // The reference first, then the other categories in order: a clearly larger predictor replaces the
  // candidates, one within epsilon of the largest joins them.
  double largest = 0.0;
  int best = reference;
  int nCandidates = 1;
  std::vector<char>& candidate = fvCandidates;
  std::fill(candidate.begin(), candidate.end(), 0);
  candidate[static_cast<std::size_t>(reference)] = 1;
  for (int k = 0; k < reference; ++k) {
    const double eta = fvEta[static_cast<std::size_t>(k)];
    if (eta > largest + epsilon) {
      std::fill(candidate.begin(), candidate.end(), 0);
      candidate[static_cast<std::size_t>(k)] = 1;
      largest = eta;
      nCandidates = 1;
      best = k;
    } else if (eta > largest - epsilon) {
      candidate[static_cast<std::size_t>(k)] = 1;
      ++nCandidates;
    }
  }
  double sum = 0.0;
  for (int k = 0; k < nCategories; ++k) {
    probabilities[static_cast<std::size_t>(k)] = std::exp(fvEta[static_cast<std::size_t>(k)] - largest);
    sum += probabilities[static_cast<std::size_t>(k)];
  }
  for (double& p : probabilities) p /= sum;
  if (nCandidates == 1) return best;
  const auto better = [this](int a, int b) {
    const std::size_t i = static_cast<std::size_t>(a), j = static_cast<std::size_t>(b);
    if (fvWeightedCounts[i] != fvWeightedCounts[j]) return fvWeightedCounts[i] > fvWeightedCounts[j];
    if (fvUnweightedCounts[i] != fvUnweightedCounts[j]) return fvUnweightedCounts[i] > fvUnweightedCounts[j];
    return fvDependCategories[i] < fvDependCategories[j];
  };
  best = -1;
  for (int k = 0; k < nCategories; ++k)
    if (candidate[static_cast<std::size_t>(k)] && (best < 0 || better(k, best))) best = k;
  return best;
}

QXStatus QXLogModel::Score(const Record& record, std::vector<double>& probabilities, int& predicted) const {
  predicted = -1;
  probabilities.assign(static_cast<std::size_t>(GetNDependCategories()), QXMV::gMissingValue);
  if (fStatus.IsError()) return fStatus;
  if (!fbEstimatesSet) return QXStatus(311, false);
  if (record.Size() < fScoringRecordSize) return QXStatus(303, false);
  if (!GetRowValues(record, fvRowIndices, fvRowValues)) return QXStatus();
  ComputeEta(static_cast<int>(fvRowIndices.size()));
  predicted = fvDependCategories[static_cast<std::size_t>(Predict(probabilities))];
  return QXStatus();
}

QXStatus QXLogModel::SetFinalEstimates(const std::vector<double>& estimates,
                                       const QXSymMatrix& hessianInverse) {
  if (fStatus.IsError()) return fStatus;
  if (fpCancelInfo->WillCancel()) return Error(1);
  if (static_cast<int>(estimates.size()) != fNAllNonRedundant ||
      hessianInverse.GetNRows() != fNAllNonRedundant)
    return Error(303);
  const int blocks = GetNDependCategories() - 1;
  const int p = fNBasicParameters;
  fvEstimates.assign(static_cast<std::size_t>(blocks) * p, 0.0);
  for (int k = 0; k < blocks; ++k)
    for (int j = 0; j < p; ++j) {
      const int local = fvBasicLocalIndices[static_cast<std::size_t>(j)];
      if (local >= 0)
        fvEstimates[static_cast<std::size_t>(k) * p + j] =
            estimates[static_cast<std::size_t>(k) * fNBasicNonRedundant + local];
    }
  fpHessianGI = std::make_unique<QXSymMatrix>();
  if (!hessianInverse.Expand(fAllNonRedundancy, *fpHessianGI)) return Error(303);
  fbEstimatesSet = true;
  return fStatus;
}

QXStatus QXLogModel::AddRecordToClassification(std::vector<double>& caseScores, const Record& record) {
  if (fStatus.IsError()) return fStatus;
  if (!fbEstimatesSet) return QXStatus(311, false);
  if (fDependentVar < 0 || record.Size() <= std::max(fDependentVar, fFreqWeightVar))
    return QXStatus(303, false);
  std::vector<double>& p = fvProbabilities;
  int predicted = -1;
  const QXStatus status = Score(record, p, predicted);
  if (status.IsError()) return status;
  const int observedCode = QXFactorCounts::LevelIndex(record[fDependentVar], 0);
  const int observed = observedCode >= 0 && observedCode < static_cast<int>(fvDependLocalIndices.size())
                           ? fvDependLocalIndices[static_cast<std::size_t>(observedCode)]
                           : -1;
  if (predicted < 0 || observed < 0) return QXStatus(303, false);
  const double w = fFreqWeightVar >= 0 ? record[fFreqWeightVar] : 1.0;
  const int blocks = GetNDependCategories() - 1;
  const int np = fNBasicParameters;
  caseScores.assign(static_cast<std::size_t>(blocks) * np, 0.0);
  for (int k = 0; k < blocks; ++k) {
    const double residual = (observed == k ? 1.0 : 0.0) - p[static_cast<std::size_t>(k)];
    for (std::size_t t = 0; t < fvRowIndices.size(); ++t)
      caseScores[static_cast<std::size_t>(k) * np + fvRowIndices[t]] = residual * fvRowValues[t] * w;
  }
  const int predictedLocal = fvDependLocalIndices[static_cast<std::size_t>(predicted)];
  fClassification.SetElem(observed, predictedLocal, fClassification.GetElem(observed, predictedLocal) + w);
  if (w != 0.0) ++fNClassified;
  return QXStatus();
}

QXStatus QXLogModel::FinishClassification() {
  if (fStatus.IsError()) return fStatus;
  if (fNClassified <= 0) return QXStatus(308, false);
  fbModelFinished = true;
  return fStatus;
}

bool QXLogModel::GetEffectParameterRange(int effect, int& first, int& count) const {
  const bool intercept = fpSettings->GetInterceptUse();
  if (intercept && effect == 0) {
    first = 0;
    count = 1;
    return fbParametersCreated;
  }
  const int e = intercept ? effect - 1 : effect;
  if (e < 0 || e >= static_cast<int>(fvFirstParameters.size())) return false;
  first = fvFirstParameters[static_cast<std::size_t>(e)];
  count = fvNEffectParameters[static_cast<std::size_t>(e)];
  return true;
}

void QXLogModel::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXLogModel display start");
  DisplayIV("Covariate pattern offsets", fvCovariatePatternOffsets);
  DisplayIV("Covariate offsets", fvCovariateOffsets);
  DisplayI("Frequency weight pattern offset", fFreqWeightPatternOffset);
  DisplayI("Regression weight pattern offset", fRegrWeightPatternOffset);
  DisplayI("Dependent pattern offset", fDependPatternOffset);
  DisplayI("Frequency weight index", fFreqWeightVar);
  DisplayI("Dependent index", fDependentVar);
  DisplayIV("Dependent categories", fvDependCategories);
  DisplayIV("Local indices of dependent categories", fvDependLocalIndices);
  DisplayI("Reference category", fReferenceCategory);
  DisplayDV("Weighted counts of dependent categories", fvWeightedCounts);
  DisplayDV("Unweighted counts of dependent categories", fvUnweightedCounts);
  DisplayI("Total number of model effects", fNAllEffects);
  DisplayText(1,
              fpFactorTables != nullptr ? "Factor Tables pointer is non-zero" : "Factor Tables pointer is 0");
  if (fpXtX) {
    DisplayText(1, "XtX matrix:");
    fpXtX->Display();
  } else {
    DisplayText(1, "XtX matrix pointer is 0");
  }
  DisplayI("Records added to XtX", fRecordsAdded);
  DisplayText(1, "Basic non-redundancy indicators");
  fBasicNonRedundancy.Display();
  DisplayText(1, "All non-redundancy indicators");
  fAllNonRedundancy.Display();
  if (fpHessianGI) {
    DisplayText(1, "Generalized inverse of the Hessian:");
    fpHessianGI->Display();
  } else {
    DisplayText(1, "Generalized inverse of the Hessian pointer is 0");
  }
  DisplayI("Number of basic parameters", fNBasicParameters);
  DisplayI("Number of basic non-redundant parameters", fNBasicNonRedundant);
  DisplayI("Number of all non-redundant parameters", fNAllNonRedundant);
  DisplayIV("Basic non-redundant parameter local indices", fvBasicLocalIndices);
  DisplayB("Parameters created", fbParametersCreated);
  DisplayB("Model finished", fbModelFinished);
  DisplayDV("Parameter estimates", fvEstimates);
  DisplayI("Classified records with non-zero weight", fNClassified);
  DisplayText(1, "Misclassification matrix:");
  fClassification.Display();
  DisplayIV("Vector of first parameter indices", fvFirstParameters);
  DisplayIV("Vector of numbers of parameters for each effect", fvNEffectParameters);
  DisplayText(1, "QXLogModel display end");
}

}  // namespace QXMath_600
