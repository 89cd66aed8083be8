#include "linear/QXGLMModel.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "common/QXDisplay.h"
#include "common/QXDoubleDouble.h"
#include "common/QXMissingValue.h"
#include "common/QXSweepMatrix.h"
#include "design/QXFactorCounts.h"
#include "design/QXFactorTableSetup.h"
#include "design/QXFactorTables.h"
#include "records/QXCancelInfo.h"
#include "records/QXWorkProgress.h"

namespace QXMath_600 {

using detail::DD;
using QXCommon_600::QXStatus;

namespace {

// The product of values[covariates[0..n-1]] as a double-double: each factor is a double, so every
// step is one exact product plus the carried low part.
DD CovariateProductOf(const double* values, const int* covariates, int n) {
  DD product{1.0, 0.0};
  if (n > 0) product = {values[covariates[0]], 0.0};
  for (int j = 1; j < n; ++j) product = detail::Mul(product, values[covariates[j]]);
  return product;
}

// s + sLo += term, with the rounding error of the addition carried in sLo (Neumaier's summation).
void AddCompensated(double& s, double& sLo, double term) {
  double sum, error;
  detail::TwoSum(s, term, sum, error);
  s = sum;
  sLo += error;
}

}  // namespace

QXGLMModel::QXGLMModel(const QXRegSettings& settings, QXCancelInfo& cancelInfo)
    : fpSettings(&settings),
      fpCancelInfo(&cancelInfo),
      fMultipleRSquare(QXMV::gMissingValue),
      fRootMeanSquareError(QXMV::gMissingValue),
      fDependentMean(QXMV::gMissingValue) {}

void QXGLMModel::Setup() {
  fvFactors = fpSettings->GetFactors();
  fvCovariates = fpSettings->GetCovariates();
  fFreqWeightVar = fpSettings->GetFrequencyWeightVar();
  fRegrWeightVar = fpSettings->GetRegrWeightVar();
  fDependentVar = fpSettings->GetDependent();
  fpModelEffects = &fpSettings->GetModelEffects();
  // The row the model is handed is the record itself, so each covariate stands at its own index.
  int largest = -1;
  for (int c : fvCovariates) largest = std::max(largest, c);
  fvCovariateOffsets.assign(static_cast<std::size_t>(largest + 1), -1);
  for (int c : fvCovariates)
    if (c >= 0) fvCovariateOffsets[c] = c;
}

QXStatus QXGLMModel::CreateParameters(QXFactorTables& tables) {
  if (fbParametersCreated) return fStatus = QXStatus(303, false);
  // The count comes first so that a model far too large is refused before its parameters are built.
  const int total = tables.CreateParameterIndices(0);
  if (total < 0 || total > kMaxParameters) {
    fStatus = QXStatus(305, false);
    fStatus.SetDiscreteDatum(0, total < 0 ? -1 : total);
    fStatus.SetDiscreteDatum(1, kMaxParameters);
    return fStatus;
  }
  fpFactorTables = &tables;
  if (!CreateEffectParameters(*fpSettings, tables, *fpCancelInfo, fvParameters, fvFirstParameters,
                              fvNEffectParameters))
    return fStatus = QXStatus(1, false);
  SetUpRowExpansion(tables);

  const int p = static_cast<int>(fvParameters.size());
  if (!fZPrimeZ.SetNRowsCols(p + 1)) {
    fStatus = QXStatus(305, false);
    fStatus.SetDiscreteDatum(0, p);
    fStatus.SetDiscreteDatum(1, kMaxParameters);
    return fStatus;
  }
  fRecordsAdded = 0;
  fvEstimates.assign(static_cast<std::size_t>(p), 0.0);
  fRedundancy = QXBitSet(p + 1);
  const std::size_t entries = fvEffects.size() + 1;  // one per effect, plus the dependent
  fvRowIndices.assign(entries, 0);
  fvRowHi.assign(entries, 0.0);
  fvRowLo.assign(entries, 0.0);
  SetUpCellMoments();
  fbParametersCreated = true;
  return fStatus;
}

void QXGLMModel::SetTotals(double totalFreqWeight, double dependentMean) {
  fTotalFreqWeight = totalFreqWeight;
  fDependentMean = dependentMean;
}

// The helpers of the record loops are inline: members of an exported class are otherwise called
// through the procedure linkage table, once per record and helper.
inline double QXGLMModel::Weight(const double* values) const {
  const double f = fFreqWeightVar >= 0 ? values[fFreqWeightVar] : 1.0;
  const double g = fRegrWeightVar >= 0 ? values[fRegrWeightVar] : 1.0;
  return f * g / fTotalFreqWeight;
}

void QXGLMModel::SetUpRowExpansion(const QXFactorTables& tables) {
  const std::vector<int>& sizes = fpSettings->GetFactorSizes();
  const std::vector<std::vector<int>>& effectFactors = tables.GetModelEffectFactors();
  const std::vector<int>& offsets = tables.GetParameterOffsets();
  const bool intercept = fpSettings->GetInterceptUse();
  const int nEffects = tables.GetNModelEffects();
  fvEffects.assign(static_cast<std::size_t>(nEffects), EffectColumns());
  fvEffectCovariates.clear();
  fvCellFactors.clear();
  fvCellParameters.clear();
  fvLevels.assign(fvFactors.size(), 0);
  fbExtendedRows = false;
  std::vector<int> codes;
  for (int m = 0; m < nEffects; ++m) {
    EffectColumns& effect = fvEffects[m];
    // Numbering starts at 0, so an effect's offset is the index of its first parameter.
    effect.firstParameter = offsets[m];
    effect.covBegin = static_cast<int>(fvEffectCovariates.size());
    const int e = intercept ? m - 1 : m;
    if (e >= 0) {
      QXRegrParameter parameter;
      parameter.SetupFromEffect((*fpModelEffects)[e], e, 0);
      const std::vector<int>& covariates = parameter.GetCovariates();
      const std::vector<int>& powers = parameter.GetCovariateMultiplicities();
      for (std::size_t c = 0; c < covariates.size(); ++c)
        fvEffectCovariates.insert(fvEffectCovariates.end(), static_cast<std::size_t>(powers[c]),
                                  covariates[c]);
    }
    effect.covEnd = static_cast<int>(fvEffectCovariates.size());
    fbExtendedRows = fbExtendedRows || effect.covEnd - effect.covBegin > 1;

    effect.factorBegin = static_cast<int>(fvCellFactors.size());
    std::int64_t combinations = 1;
    for (int var : effectFactors[m]) {
      const int position =
          static_cast<int>(std::find(fvFactors.begin(), fvFactors.end(), var) - fvFactors.begin());
      const int n = static_cast<std::size_t>(position) < sizes.size() ? sizes[position] : 0;
      fvCellFactors.push_back({position, n, 0});
      combinations = std::min(combinations * std::max(n, 1), kMaxDirectCells + 1);
    }
    effect.factorEnd = static_cast<int>(fvCellFactors.size());
    if (effect.factorBegin == effect.factorEnd) continue;
    const std::int64_t used = static_cast<std::int64_t>(fvCellParameters.size());
    if (used + combinations > kMaxDirectCells) continue;
    // Mixed radix over the effect's factors, the last one varying fastest.
    int stride = 1;
    for (int j = effect.factorEnd - 1; j >= effect.factorBegin; --j) {
      fvCellFactors[j].stride = stride;
      stride *= std::max(fvCellFactors[j].nCategories, 1);
    }
    effect.cellBegin = static_cast<int>(used);
    fvCellParameters.resize(static_cast<std::size_t>(used + combinations), -1);
    for (int k = 0; k < tables.GetNEffectParameters(m); ++k) {
      tables.GetParameterFactorValues(codes, m, k);
      int index = effect.cellBegin;
      for (int j = effect.factorBegin; j < effect.factorEnd; ++j)
        index += codes[j - effect.factorBegin] * fvCellFactors[j].stride;
      fvCellParameters[index] = effect.firstParameter + k;
    }
  }
}

inline int QXGLMModel::EffectParameter(int m) const {
  const EffectColumns& effect = fvEffects[m];
  if (effect.cellBegin >= 0) {
    int index = effect.cellBegin;
    for (int j = effect.factorBegin; j < effect.factorEnd; ++j) {
      const CellFactor& factor = fvCellFactors[j];
      const int level = fvLevels[factor.position];
      // Unsigned, so that a negative level fails the same test as one beyond the last category.
      if (static_cast<unsigned>(level) >= static_cast<unsigned>(factor.nCategories)) return -1;
      index += level * factor.stride;
    }
    return fvCellParameters[index];
  }
  if (effect.factorBegin < effect.factorEnd) return fpFactorTables->GetEffectParameterIndex(m, fvLevels);
  return effect.firstParameter;
}

inline int QXGLMModel::ExpandSparse(const double* values, bool& ok) const {
  const int nFactors = static_cast<int>(fvLevels.size());
  for (int i = 0; i < nFactors; ++i) fvLevels[i] = QXFactorCounts::LevelIndex(values[fvFactors[i]], 0);
  const int* covariates = fvEffectCovariates.data();
  ok = true;
  int count = 0;
  for (int m = 0; m < static_cast<int>(fvEffects.size()); ++m) {
    const EffectColumns& effect = fvEffects[m];
    const int k = EffectParameter(m);
    if (k < 0) {
      ok = false;
      continue;
    }
    const int n = effect.covEnd - effect.covBegin;
    double hi = 1.0, lo = 0.0;
    if (n == 1) {
      hi = values[covariates[effect.covBegin]];
    } else if (n > 1) {
      const DD product = CovariateProductOf(values, covariates + effect.covBegin, n);
      hi = product.hi;
      lo = product.lo;
    }
    // A zero entry adds nothing to any sum.
    if (hi == 0.0 && lo == 0.0) continue;
    fvRowIndices[count] = k;
    fvRowHi[count] = hi;
    fvRowLo[count] = lo;
    ++count;
  }
  return count;
}

void QXGLMModel::SetUpCellMoments() {
  fCellMoments.Release();
  fvKeyFactors.clear();
  fvMomentCovariates.clear();
  fvMomentBegin.assign(1, 0);
  const int nEffects = static_cast<int>(fvEffects.size());
  fvEffectMoment.assign(static_cast<std::size_t>(nEffects), 0);
  // The distinct covariate products, each once however many effects multiply it (compared as sorted
  // lists), multiplied in the order of the first effect that has it, as its rows were.
  std::map<std::vector<int>, int> products;
  std::vector<int> product;
  for (int m = 0; m < nEffects; ++m) {
    const EffectColumns& effect = fvEffects[m];
    const auto begin = fvEffectCovariates.begin() + effect.covBegin;
    const auto end = fvEffectCovariates.begin() + effect.covEnd;
    product.assign(begin, end);
    std::sort(product.begin(), product.end());
    const auto [at, added] = products.try_emplace(product, static_cast<int>(fvMomentBegin.size()) - 1);
    if (added) {
      fvMomentCovariates.insert(fvMomentCovariates.end(), begin, end);
      fvMomentBegin.push_back(static_cast<int>(fvMomentCovariates.size()));
    }
    fvEffectMoment[m] = at->second;
  }
  // The products and the dependent: at most one product per effect, so a cell's sums per record are
  // never more than the row's own outer product, and far fewer when effects share their covariates.
  const int order = static_cast<int>(fvMomentBegin.size());
  std::vector<bool> used(fvFactors.size(), false);
  for (const CellFactor& factor : fvCellFactors) {
    if (static_cast<std::size_t>(factor.position) >= used.size()) return;
    used[factor.position] = true;
  }
  const std::vector<int>& sizes = fpSettings->GetFactorSizes();
  std::int64_t cells = 1;
  for (int i = static_cast<int>(fvFactors.size()) - 1; i >= 0; --i) {
    if (!used[i]) continue;
    const int n = static_cast<std::size_t>(i) < sizes.size() ? sizes[i] : 0;
    fvKeyFactors.push_back({i, n, static_cast<int>(cells)});
    cells *= std::max(n, 0);
    if (cells <= 0 || cells > QXCellMoments::kMaxMoments) break;
  }
  // Too many cells (or a factor without categories): the rows go into the cross products one by one.
  if (!fCellMoments.Allocate(cells, order)) {
    fvKeyFactors.clear();
    return;
  }
  fvMomentHi.assign(static_cast<std::size_t>(order), 0.0);
  fvMomentLo.assign(static_cast<std::size_t>(order), 0.0);
}

inline int QXGLMModel::CellOf(const double* values) const {
  int cell = 0;
  for (const CellFactor& factor : fvKeyFactors) {
    const int level = QXFactorCounts::LevelIndex(values[fvFactors[factor.position]], 0);
    if (static_cast<unsigned>(level) >= static_cast<unsigned>(factor.nCategories)) return -1;
    cell += level * factor.stride;
  }
  return cell;
}

inline void QXGLMModel::AddToCell(int cell, const double* values, double w) {
  ComputeMoments(values);
  fCellMoments.Add(cell, fvMomentHi.data(), fbExtendedRows ? fvMomentLo.data() : nullptr, w);
}

inline void QXGLMModel::ComputeMoments(const double* values) const {
  const int nProducts = static_cast<int>(fvMomentBegin.size()) - 1;
  const int* covariates = fvMomentCovariates.data();
  for (int j = 0; j < nProducts; ++j) {
    const int begin = fvMomentBegin[j];
    const int n = fvMomentBegin[j + 1] - begin;
    if (n <= 1) {
      fvMomentHi[j] = n == 0 ? 1.0 : values[covariates[begin]];
      fvMomentLo[j] = 0.0;
      continue;
    }
    const DD value = CovariateProductOf(values, covariates + begin, n);
    fvMomentHi[j] = value.hi;
    fvMomentLo[j] = value.lo;
  }
  fvMomentHi[nProducts] = values[fDependentVar];
  fvMomentLo[nProducts] = 0.0;
}

void QXGLMModel::SetUpCellCoefficients() {
  fvCellCoefficients.clear();
  const int nProducts = static_cast<int>(fvMomentBegin.size()) - 1;
  const int nEffects = static_cast<int>(fvEffects.size());
  int nCells = 1;
  for (const CellFactor& factor : fvKeyFactors) nCells *= factor.nCategories;
  fvCellCoefficients.assign(2 * static_cast<std::size_t>(nCells) * nProducts, 0.0);
  for (int cell = 0; cell < nCells; ++cell) {
    for (const CellFactor& factor : fvKeyFactors)
      fvLevels[factor.position] = cell / factor.stride % factor.nCategories;
    double* coefficients = fvCellCoefficients.data() + 2 * static_cast<std::size_t>(cell) * nProducts;
    for (int m = 0; m < nEffects; ++m) {
      // An effect whose cell has no parameter is left out of the row, as ExpandSparse leaves it.
      const int k = EffectParameter(m);
      if (k < 0) continue;
      double* c = coefficients + 2 * fvEffectMoment[m];
      double sum, error;
      detail::TwoSum(c[0], fvEstimates[k], sum, error);
      c[0] = sum;
      c[1] += error;
    }
  }
}

inline void QXGLMModel::PredictInCell(int cell, const double* values, double& hi, double& lo) const {
  ComputeMoments(values);
  const int nProducts = static_cast<int>(fvMomentBegin.size()) - 1;
  const double* coefficients = fvCellCoefficients.data() + 2 * static_cast<std::size_t>(cell) * nProducts;
  // DotEstimates's compensated dot product, over the cell's coefficients (themselves double-double).
  double s = 0.0, c = 0.0;
  for (int j = 0; j < nProducts; ++j) {
    const double b = coefficients[2 * j];
    const double bLo = coefficients[2 * j + 1];
    // Also keeps the 0 of aliased parameters from meeting an overflowed covariate product.
    if (b == 0.0 && bLo == 0.0) continue;
    const double z = fvMomentHi[j];
    double p = b, e = 0.0;
    if (z != 1.0) detail::TwoProd(b, z, p, e);
    e += b * fvMomentLo[j] + bLo * z;
    double sum, error;
    detail::TwoSum(s, p, sum, error);
    s = sum;
    c += error + e;
  }
  detail::FastTwoSum(s, c, hi, lo);
}

void QXGLMModel::ExpandCellMoments() {
  if (!fCellMoments.IsAllocated()) return;
  const int p = GetNParameters();
  const int dependent = fCellMoments.GetOrder() - 1;
  const int nEffects = static_cast<int>(fvEffects.size());
  // Reuses the row buffer (one entry per effect) for the cell's parameters.
  int* columns = fvRowIndices.data();
  double hi = 0.0, lo = 0.0;
  for (const int cell : fCellMoments.GetTouchedCells()) {
    for (const CellFactor& factor : fvKeyFactors)
      fvLevels[factor.position] = cell / factor.stride % factor.nCategories;
    for (int m = 0; m < nEffects; ++m) columns[m] = EffectParameter(m);
    for (int m = 0; m < nEffects; ++m) {
      if (columns[m] < 0) continue;
      for (int u = 0; u <= m; ++u) {
        if (columns[u] < 0) continue;
        fCellMoments.GetMoment(cell, fvEffectMoment[m], fvEffectMoment[u], hi, lo);
        fZPrimeZ.AddElemExtended(columns[m], columns[u], hi, lo);
      }
      fCellMoments.GetMoment(cell, fvEffectMoment[m], dependent, hi, lo);
      fZPrimeZ.AddElemExtended(columns[m], p, hi, lo);
    }
    fCellMoments.GetMoment(cell, dependent, dependent, hi, lo);
    fZPrimeZ.AddElemExtended(p, p, hi, lo);
  }
  fCellMoments.Release();
}

bool QXGLMModel::AddRecord(const double* values) {
  if (!fbParametersCreated || fbSolved || values == nullptr) return false;
  if (fCellMoments.IsAllocated()) {
    const int cell = CellOf(values);
    if (cell >= 0) {
      const double w = Weight(values);
      if (!std::isfinite(w)) return false;
      // A zero weight adds nothing, as in the row-by-row sums.
      if (w != 0.0) AddToCell(cell, values, w);
      ++fRecordsAdded;
      return true;
    }
  }
  bool ok = false;
  int count = ExpandSparse(values, ok);
  fvRowIndices[count] = GetNParameters();
  fvRowHi[count] = values[fDependentVar];
  fvRowLo[count] = 0.0;
  ++count;
  const double* lo = fbExtendedRows ? fvRowLo.data() : nullptr;
  if (!fZPrimeZ.UpdateXXSparseExtended(fvRowIndices.data(), fvRowHi.data(), lo, count, Weight(values)))
    return false;
  ++fRecordsAdded;
  return true;
}

QXStatus QXGLMModel::Solve() {
  if (fRecordsAdded == 0) return fStatus = QXStatus(309, false);
  if (fbSolved) return fStatus = QXStatus(310, false);
  if (fpCancelInfo->WillCancel()) return fStatus = QXStatus(1, false);
  const bool cellTable = fCellMoments.IsAllocated();
  ExpandCellMoments();
  const int p = GetNParameters();
  // The weighted mean of the dependent variable, sum w y / sum w, from the intercept's row of the
  // cross products, where both sums are held in double-double.
  if (fpSettings->GetInterceptUse() && p > 0) {
    DD sumW, sumWY;
    fZPrimeZ.GetElemExtended(0, 0, sumW.hi, sumW.lo);
    fZPrimeZ.GetElemExtended(0, p, sumWY.hi, sumWY.lo);
    if (sumW.hi > 0.0) fDependentMean = detail::ToDouble(detail::Div(sumWY, sumW));
  }
  fZPrimeZ.ExtractFirstNRows(p, fXPrimeWX, fTotalFreqWeight);
  std::vector<double> diagonal;
  fZPrimeZ.GetDiagonal(diagonal);
  // A column whose values (or products of covariates) overflow has an infinite sum of squares, which
  // the sweep would take for an aliased column: the model cannot be formed in double precision.
  for (int k = 0; k <= p; ++k) {
    if (std::isfinite(diagonal[k])) continue;
    fStatus = QXStatus(313, false);
    fStatus.SetDiscreteDatum(0, k);
    fStatus.SetDiscreteDatum(1, p);
    return fStatus;
  }
  const double tolerance = fpSettings->GetTolerance();
  // A large model is swept in double precision, a block of pivots at a time; in double-double (as a
  // small one always is) only when double would leave too few digits. The sweep goes effect by effect,
  // keeping on the way what the tests of model effects build their hypotheses from.
  std::vector<int> starts, sizes;
  if (fpSettings->GetInterceptUse() && p > 0) {
    starts.push_back(0);
    sizes.push_back(1);
  }
  starts.insert(starts.end(), fvFirstParameters.begin(), fvFirstParameters.end());
  sizes.insert(sizes.end(), fvNEffectParameters.begin(), fvNEffectParameters.end());
  QXSweepMatrix work;
  QXWorkProgress progress(*fpCancelInfo, fpSettings->GetProgressListener(), "sweep", p);
  fpEffectSweep =
      std::make_unique<QXEffectSweep>(fZPrimeZ, p, std::move(starts), std::move(sizes), &progress);
  const QXEffectSweep::Outcome outcome = fpEffectSweep->SweepForHypotheses(tolerance, nullptr, true, work);
  // The sweep read fZPrimeZ, which it is about to replace, and reported to a local monitor.
  fpEffectSweep->ReleaseSource();
  if (outcome != QXEffectSweep::Outcome::kDone) fpEffectSweep.reset();
  if (outcome == QXEffectSweep::Outcome::kCancelled) return fStatus = QXStatus(1, false);
  if (outcome != QXEffectSweep::Outcome::kDone) {
    fStatus = QXStatus(305, false);
    fStatus.SetDiscreteDatum(0, p);
    fStatus.SetDiscreteDatum(1, kMaxParameters);
    return fStatus;
  }
  fRedundancy = QXBitSet(p + 1);
  const QXBitSet& kept = fpEffectSweep->GetIndexOrderSweep().fKept;
  for (int k = 0; k < p; ++k)
    if (kept.IsIn(k)) fRedundancy.Set(k);
  const bool refine = work.GetPrecision() == QXSweepMatrix::Precision::kDouble;
  std::vector<double> coefficients;
  double residualSS = 0.0;
  if (refine) RefineSolution(work, coefficients, residualSS);
  if (!work.MoveTo(fZPrimeZ)) {
    fStatus = QXStatus(305, false);
    fStatus.SetDiscreteDatum(0, p);
    fStatus.SetDiscreteDatum(1, kMaxParameters);
    return fStatus;
  }
  if (refine) {
    for (int k = 0; k < p; ++k)
      if (fRedundancy.IsIn(k)) fZPrimeZ.SetElem(k, p, coefficients[k]);
    fZPrimeZ.SetElem(p, p, residualSS);
  }
  progress.Finish();
  fZPrimeZ.GetRegCoeffs(fvEstimates, fRedundancy);
  const double sweptResidualSS = fZPrimeZ.GetElem(p, p);
  // The dependent's column and the corner (the residual sum of squares / W) are kept.
  fZPrimeZ.ZeroOutRedundant(fRedundancy, p);
  fZPrimeZ.MultiplyByNumber(1.0 / fTotalFreqWeight);
  // The sweep's sums of squares are in the units of the accumulated cross products (weights over
  // their total); the tests read them against this solution.
  fpEffectSweep->SetFitSolution(&fZPrimeZ, fTotalFreqWeight, &fvEstimates, sweptResidualSS);
  if (cellTable) SetUpCellCoefficients();
  fbSolved = true;
  fResidualSS = fResidualSSLo = 0.0;
  fTotalSS = fTotalSSLo = 0.0;
  fWeightedRecordCount = 0;
  return fStatus;
}

void QXGLMModel::RefineSolution(const QXSweepMatrix& work, std::vector<double>& coefficients,
                                double& residualSS) const {
  const int p = GetNParameters();
  const QXBitSet& kept = fRedundancy;
  coefficients.assign(static_cast<std::size_t>(p) + 1, 0.0);
  for (int k = 0; k < p; ++k)
    if (kept.IsIn(k)) coefficients[k] = work.GetElem(k, p);
  // The residual X'Wy - X'WX b of the normal equations, from the cross products as accumulated
  // (double-double) with exact products and compensated sums: the double sweep's rounding shows in
  // it, and the double inverse turns it into a correction accurate to the digits that sweep kept.
  std::vector<double> hi, lo, correction, residual(coefficients.size(), 0.0);
  fZPrimeZ.MultiplyExtended(kept, coefficients, hi, lo);
  for (int k = 0; k < p; ++k) {
    if (!kept.IsIn(k)) continue;
    DD target;
    fZPrimeZ.GetElemExtended(k, p, target.hi, target.lo);
    residual[k] = detail::ToDouble(detail::Add(target, DD{-hi[k], -lo[k]}));
  }
  work.MultiplyRestricted(kept, residual, correction);
  // The swept block is minus the inverse.
  for (int k = 0; k < p; ++k)
    if (kept.IsIn(k)) coefficients[k] -= correction[k];
  // The residual sum of squares y'Wy - b'X'Wy, again with exact products.
  DD rss;
  double hiElem = 0.0, loElem = 0.0;
  fZPrimeZ.GetElemExtended(p, p, rss.hi, rss.lo);
  for (int k = 0; k < p; ++k) {
    if (!kept.IsIn(k)) continue;
    fZPrimeZ.GetElemExtended(k, p, hiElem, loElem);
    rss = detail::Add(rss, detail::Neg(detail::Mul(DD{hiElem, loElem}, coefficients[k])));
  }
  residualSS = detail::ToDouble(rss);
}

inline void QXGLMModel::DotEstimates(int count, double& hi, double& lo) const {
  // Dot2 of Ogita, Rump and Oishi: exact products, compensated sum, so the result is as accurate as if
  // computed in twice the working precision. Indicator columns (entry 1) need no product at all.
  double s = 0.0, c = 0.0;
  for (int t = 0; t < count; ++t) {
    const double b = fvEstimates[fvRowIndices[t]];
    // Also keeps an aliased parameter's 0 from meeting an overflowed covariate product.
    if (b == 0.0) continue;
    double p = b, e = 0.0;
    if (fvRowHi[t] != 1.0) detail::TwoProd(b, fvRowHi[t], p, e);
    e += b * fvRowLo[t];
    double sum, error;
    detail::TwoSum(s, p, sum, error);
    s = sum;
    c += error + e;
  }
  detail::FastTwoSum(s, c, hi, lo);
}

void QXGLMModel::AddResidual(const double* values) {
  if (!fbSolved || values == nullptr) return;
  double p, pLo;
  const int cell = fvCellCoefficients.empty() ? -1 : CellOf(values);
  if (cell >= 0) {
    PredictInCell(cell, values, p, pLo);
  } else {
    bool ok = false;
    const int count = ExpandSparse(values, ok);
    DotEstimates(count, p, pLo);
  }
  const double y = values[fDependentVar];
  double r, rLo;
  detail::TwoSum(y, -p, r, rLo);
  const double residual = r + (rLo - pLo);
  const double w = Weight(values);
  AddCompensated(fResidualSS, fResidualSSLo, w * residual * residual);
  const double deviation = fpSettings->GetInterceptUse() ? y - fDependentMean : y;
  AddCompensated(fTotalSS, fTotalSSLo, w * deviation * deviation);
  if (w != 0.0) ++fWeightedRecordCount;
}

QXStatus QXGLMModel::ComputeFitStats() {
  const double residual = fResidualSS + fResidualSSLo;
  const double total = fTotalSS + fTotalSSLo;
  if (fTotalFreqWeight > 0.0) fRootMeanSquareError = std::sqrt(residual);
  if (total > 0.0) fMultipleRSquare = total > residual ? 1.0 - residual / total : 0.0;
  if (fWeightedRecordCount == 0 || !(fTotalFreqWeight > 0.0)) fStatus = QXStatus(308, false);
  return fStatus;
}

double QXGLMModel::Predict(const double* values) const {
  if (!fbSolved || values == nullptr) return QXMV::gMissingValue;
  bool ok = false;
  const int count = ExpandSparse(values, ok);
  if (!ok) return QXMV::gMissingValue;
  double p, pLo;
  DotEstimates(count, p, pLo);
  return p + pLo;
}

bool QXGLMModel::ExpandRow(std::vector<double>& row, const double* values) const {
  if (!fbParametersCreated || values == nullptr) return false;
  const std::size_t p = fvParameters.size();
  if (row.size() < p) row.resize(p);
  std::fill(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(p), 0.0);
  bool ok = false;
  const int count = ExpandSparse(values, ok);
  for (int t = 0; t < count; ++t) row[fvRowIndices[t]] = fvRowHi[t];
  if (row.size() > p) row[p] = values[fDependentVar];
  return ok;
}

double QXGLMModel::CovariateProduct(const double* values, int k) const {
  if (values == nullptr || k < 0 || k >= GetNParameters()) return QXMV::gMissingValue;
  const QXRegrParameter& parameter = fvParameters[k];
  std::vector<int> repeated;
  const std::vector<int>& covariates = parameter.GetCovariates();
  const std::vector<int>& powers = parameter.GetCovariateMultiplicities();
  for (std::size_t c = 0; c < covariates.size(); ++c)
    repeated.insert(repeated.end(), static_cast<std::size_t>(powers[c]), covariates[c]);
  const DD product = CovariateProductOf(values, repeated.data(), static_cast<int>(repeated.size()));
  return product.hi;
}

void QXGLMModel::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXGLMModel display start");
  DisplayIV("Factors", fvFactors);
  DisplayIV("Covariates", fvCovariates);
  DisplayIV("Covariate offsets:", fvCovariateOffsets);
  DisplayI("Frequency weight", fFreqWeightVar);
  DisplayI("Regression weight", fRegrWeightVar);
  DisplayI("Dependent", fDependentVar);
  DisplayText(1,
              fpFactorTables != nullptr ? "Factor Tables pointer is non-zero" : "Factor Tables pointer is 0");
  DisplayIV("Vector of first parameter indices", fvFirstParameters);
  DisplayIV("Vector of numbers of parameters for each effect", fvNEffectParameters);
  if (fbParametersCreated) {
    DisplayText(1, "ZPrimeZMatrix:");
    fZPrimeZ.Display();
  } else {
    DisplayText(1, "ZPrimeZMatrix pointer is 0");
  }
  DisplayI("Records added to matrix", fRecordsAdded);
  DisplayText(1, "Redundancy indicators");
  fRedundancy.Display();
  DisplayDV("Parameter estimates", fvEstimates);
  DisplayD("MultipleRSquare", fMultipleRSquare);
  DisplayD("RootMeanSquareError", fRootMeanSquareError);
  DisplayText(1, "QXGLMModel display end");
}

}  // namespace QXMath_600
