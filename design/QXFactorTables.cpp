#include "design/QXFactorTables.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"
#include "common/QXPower.h"

namespace QXMath_600 {

using QXCommon_600::Record;

namespace {

// A running mean that an update has brought down to rounding noise of its previous value is taken
// as exactly 0: a covariate centred at 0 would otherwise keep a mean of the order of eps * |x|.
double Settle(double previous, double updated) {
  return 2.0 * QXPower::gMachineEpsilon * std::fabs(previous) > std::fabs(updated) ? 0.0 : updated;
}

}  // namespace

QXFactorTables::QXFactorTables(const std::vector<int>& factorIndices, const std::vector<int>& nCategories,
                               int weightVar, int dependVar, int nDependCategories, int categoryBase,
                               int offsetVar, double offsetValue, QXConst::QXOffsetType offsetType)
    : QXFactorCounts(factorIndices, nCategories, weightVar, dependVar, nDependCategories, categoryBase,
                     offsetVar, offsetValue, offsetType),
      fvRowFactorPositions(factorIndices),
      fDepMean(QXMV::gMissingValue) {
  SetCellFactors(factorIndices, nCategories, categoryBase);
  UpdateMinRecordSize();
}

void QXFactorTables::UpdateMinRecordSize() {
  int largest = std::max({GetMinRecordSize() - 1, fRegrWeightVar, fDepVar});
  bool negative = false;
  for (int c : fvCovariates) {
    largest = std::max(largest, c);
    negative = negative || c < 0;
  }
  for (const std::vector<int>& product : fvCovEffects) {
    for (int c : product) {
      largest = std::max(largest, c);
      negative = negative || c < 0;
    }
  }
  fRecordSizeNeeded = negative ? INT_MAX : largest + 1;
}

void QXFactorTables::SetCovariates(const std::vector<int>& covariates) {
  fvCovariates = covariates;
  fNCovariates = static_cast<int>(covariates.size());
  fvCovariateMeans.assign(covariates.size(), 0.0);
  fbCovariateMeansFinal = false;
  UpdateMinRecordSize();
}

void QXFactorTables::SetRegrWeightVar(int var) {
  fRegrWeightVar = var >= 0 ? var : -1;
  UpdateMinRecordSize();
}

void QXFactorTables::SetDepVar(int var) {
  fDepVar = var >= 0 ? var : -1;
  fDepMean = 0.0;
  UpdateMinRecordSize();
}

void QXFactorTables::SetCovarEffects(const std::vector<int>& covStatIndices,
                                     const std::vector<std::vector<int>>& covEffects) {
  const std::size_t n = std::min(covStatIndices.size(), static_cast<std::size_t>(GetNModelEffects()));
  fvCovStatIndices.assign(covStatIndices.begin(), covStatIndices.begin() + static_cast<std::ptrdiff_t>(n));
  fvCovEffects.clear();
  for (std::size_t k = 0; k < n && fvCovEffects.size() < covEffects.size(); ++k)
    if (covStatIndices[k] >= 0) fvCovEffects.push_back(covEffects[fvCovEffects.size()]);
  fNCovEffects = static_cast<int>(fvCovEffects.size());
  fvCovEffectMeans.assign(fvCovEffects.size(), 0.0);
  fvCovEffectSumSquares.assign(fvCovEffects.size(), 0.0);
  fvCovEffectStddev.assign(fvCovEffects.size(), 0.0);
  UpdateMinRecordSize();
}

bool QXFactorTables::UpdateAll(const Record& r) {
  if (r.Size() < fRecordSizeNeeded) return false;
  const double* x = r.GetAll();
  const double w = FreqWeight(x);
  if (!CountFactors(x, w, fvFactorValues.data())) return false;
  if (HasDependCounts() && CountDependent(x, w) == kNoLevel) return false;
  const bool result = RecordCells();

  fSampleSize += 1.0;
  fTotalWeight += w;
  const double v = fRegrWeightVar >= 0 ? w * x[fRegrWeightVar] : w;
  fTotalRegrWeight += v;
  if (fTotalRegrWeight > 0.0) UpdateCovariateMeans(x, v);
  // The frequency-weighted statistics divide by w: a case of weight 0 contributes nothing to them.
  if (!(w > 0.0)) return result;
  UpdateCovEffects(x, w);
  if (fDepVar >= 0) fDepMean = Settle(fDepMean, (x[fDepVar] - fDepMean) * (w / fTotalWeight) + fDepMean);
  return result;
}

void QXFactorTables::UpdateCovariateMeans(const double* x, double v) {
  for (int c = 0; c < fNCovariates; ++c) {
    double& mean = fvCovariateMeans[c];
    mean = Settle(mean, mean + (x[fvCovariates[c]] - mean) / fTotalRegrWeight * v);
  }
}

// West's weighted update of a mean and a sum of squared deviations: with W the total after this case
// and d = (p - mean) w / W, the sum grows by (W / w) d^2 (W - w), which is w (p - mean)^2 (W - w) / W.
void QXFactorTables::UpdateCovEffects(const double* x, double w) {
  const double previousWeight = fTotalWeight - w;
  for (int j = 0; j < fNCovEffects; ++j) {
    double p = 1.0;
    for (int c : fvCovEffects[j]) p *= x[c];
    double& mean = fvCovEffectMeans[j];
    const double d = (p - mean) * w / fTotalWeight;
    mean = Settle(mean, mean + d);
    fvCovEffectSumSquares[j] += (fTotalWeight / w) * d * previousWeight * d;
    if (fTotalWeight > 1.0) fvCovEffectStddev[j] = std::sqrt(fvCovEffectSumSquares[j] / (fTotalWeight - 1.0));
  }
}

int QXFactorTables::CreateParameterIndices(int first) { return NumberCells(first); }

const std::vector<int>& QXFactorTables::GetRowParameterIndices(const double* row, bool& ok) const {
  if (row == nullptr) {
    for (int e = 0; e < fNEffects; ++e) fvParameterIndices[fvModelEffectIndices[e]] = -1;
    ok = fNEffects == 0;
    return fvParameterIndices;
  }
  ReadLevels(row, fvRowFactorPositions);
  ok = LookUpCells();
  return fvParameterIndices;
}

const std::vector<int>& QXFactorTables::GetRowLocalParamIndices(const double* row, bool& ok) const {
  GetRowParameterIndices(row, ok);
  for (int e = 0; e < fNEffects; ++e) {
    const int m = fvModelEffectIndices[e];
    fvLocalParamIndices[e] = fvParameterIndices[m] >= 0 ? fvParameterIndices[m] - fvParameterOffsets[m] : -1;
  }
  return fvLocalParamIndices;
}

int QXFactorTables::GetIncompleteEffectIndex() const {
  double best = 1.0;
  int result = -1;
  for (int e = 0; e < fNEffects; ++e) {
    // In doubles: the product of the factors' category counts may exceed an int.
    double combinations = 1.0;
    for (int j = fvCumNFactors[e]; j < fvCumNFactors[e + 1]; ++j)
      combinations *= GetNActiveCategories(fvEffectFactors[j]);
    const double ratio = fvNEffectParameters[e] / combinations;
    if (ratio < best) {
      best = ratio;
      result = fvModelEffectIndices[e];
    }
  }
  return result;
}

const std::vector<double>& QXFactorTables::GetCovariateMeans() {
  if (!fbCovariateMeansFinal) {
    if (!(fTotalWeight > 0.0))
      std::fill(fvCovariateMeans.begin(), fvCovariateMeans.end(), QXMV::gMissingValue);
    fbCovariateMeansFinal = true;
  }
  return fvCovariateMeans;
}

void QXFactorTables::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXFactorTables display start");
  DisplayCounts("Index of the frequency weight variable");
  DisplayCells();
  DisplayIV("Vector of factor indices in the extracted record", fvRowFactorPositions);
  DisplayIV(" Vector of covariate indices in the input record", fvCovariates);
  DisplayI("Index of the regression weight variable", fRegrWeightVar);
  DisplayI("Index of the dependent variable for the mean", fDepVar);
  DisplayD("Dependent variable mean", fDepMean);
  DisplayI("Number of covariate indices in the input record", fNCovariates);
  DisplayDV("Vector of covariate weighted mean", fvCovariateMeans);
  DisplayB("True if covariate means computed", fbCovariateMeansFinal);
  DisplayD("Total frequency weighted count", fTotalWeight);
  DisplayD("Total regression weighted count", fTotalRegrWeight);
  DisplayD("Sample size for all valid records", fSampleSize);
  DisplayIV("Vector of covariate statistic indices", fvCovStatIndices);
  DisplayI("Number of covariate effects", fNCovEffects);
  for (const std::vector<int>& product : fvCovEffects) DisplayIV("Covariates of a covariate effect", product);
  DisplayDV("Vector of covariate effect means", fvCovEffectMeans);
  DisplayDV("Vector of covariate effect sums of squared deviations", fvCovEffectSumSquares);
  DisplayDV("Vector of covariate effect standard deviations", fvCovEffectStddev);
  DisplayText(1, "QXFactorTables display end");
}

}  // namespace QXMath_600
