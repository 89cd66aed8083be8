#include "design/QXDesignMatrix.h"

#include <algorithm>
#include <cmath>

#include "common/QXDisplay.h"

namespace QXMath_600 {

using QXCommon_600::QXStatus;

namespace {

bool Contains(const std::vector<int>& list, int value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

// The parameter of settings effect j before its cells' categories are known: the effect's factors in
// nesting order (the order of the cell keys) and its covariates with their powers.
QXRegrParameter EffectParameter(const QXModelEffect& effect, int j) {
  QXRegrParameter p;
  p.SetupFromEffect(effect, j, 0);
  return p;
}

}  // namespace

QXDesignMatrix::QXDesignMatrix(const QXRegSettings& settings, QXCancelInfo& cancelInfo,
                               QXCommon_600::QXWarnings& warnings)
    : fpSettings(&settings),
      fpCancelInfo(&cancelInfo),
      fpWarnings(&warnings),
      fFreqWeightVar(settings.GetFrequencyWeightVar()),
      fRegrWeightVar(settings.GetRegrWeightVar()),
      fvDepVarIndices{settings.GetDependent()},
      fvDepVarCategories{-1},
      fNDepVars(1),
      fvCovariates(settings.GetCovariates()),
      fpModelEffects(&settings.GetModelEffects()) {
  fpFactorTables = std::make_unique<QXFactorTables>(settings.GetFactors(), settings.GetFactorSizes(),
                                                    fFreqWeightVar, -1, 0, 0, -1, 0.0, QXConst::QXOffsetNone);
  if (fRegrWeightVar >= 0) fpFactorTables->SetRegrWeightVar(fRegrWeightVar);
  fpFactorTables->SetCovariates(fvCovariates);

  if (settings.GetInterceptUse()) fvEffectFactors.emplace_back();
  for (std::size_t j = 0; j < fpModelEffects->size(); ++j)
    fvEffectFactors.push_back(EffectParameter((*fpModelEffects)[j], static_cast<int>(j)).GetFactors());
  for (const std::vector<int>& factors : fvEffectFactors) fbHasFactors = fbHasFactors || !factors.empty();
  // Refused when an effect names a variable that is not a factor: the tables then keep no effects,
  // and CreateParameters reports 303.
  fpFactorTables->SetModelEffectFactors(fvEffectFactors);
  UpdateMinRowSize();
}

QXDesignMatrix::~QXDesignMatrix() = default;

void QXDesignMatrix::SetDepVars(const std::vector<int>& indices, const std::vector<int>& categories) {
  fvDepVarIndices = indices;
  fvDepVarCategories = categories;
  fNDepVars = static_cast<int>(indices.size());
  UpdateMinRowSize();
}

bool QXDesignMatrix::SetOffset(int var, double value) {
  if (!std::isfinite(value)) return false;
  fOffsetVar = var >= 0 ? var : -1;
  fOffsetValue = value;
  UpdateMinRowSize();
  return true;
}

void QXDesignMatrix::UpdateMinRowSize() {
  int largest = std::max(fOffsetVar, -1);
  for (int var : fpSettings->GetFactors()) largest = std::max(largest, var);
  for (int var : fvDepVarIndices) largest = std::max(largest, var);
  for (const QXRegrParameter& p : fvFixedParameters)
    for (int var : p.GetCovariates()) largest = std::max(largest, var);
  fMinRowSize = largest + 1;
}

bool QXDesignMatrix::EffectsMatchTables() const {
  const std::vector<std::vector<int>>& tableEffects = fpFactorTables->GetModelEffectFactors();
  if (tableEffects != fvEffectFactors) return false;
  const std::vector<int>& factors = fpSettings->GetFactors();
  const int first = fpSettings->GetInterceptUse() ? 1 : 0;
  if (static_cast<std::size_t>(fpFactorTables->GetNModelEffects()) != fpModelEffects->size() + first)
    return false;
  for (std::size_t j = 0; j < fpModelEffects->size(); ++j) {
    const QXRegrParameter p = EffectParameter((*fpModelEffects)[j], static_cast<int>(j));
    if (p.GetFactors() != tableEffects[j + first]) return false;
    for (int var : p.GetFactors())
      if (!Contains(factors, var)) return false;
    for (int var : p.GetCovariates())
      if (!Contains(fvCovariates, var)) return false;
  }
  return true;
}

QXStatus QXDesignMatrix::CreateParameters() {
  fbParamsCreated = false;
  fvFixedParameters.clear();
  fvEffectFirstColumn.clear();
  fvEffectNColumns.clear();
  fNFixedParameters = 0;
  fStatus = QXStatus();
  if (!EffectsMatchTables() || fpFactorTables->CreateParameterIndices(0) < 0) {
    fStatus = QXStatus(303, false);
    return fStatus;
  }

  const bool intercept = fpSettings->GetInterceptUse();
  if (intercept) fvFixedParameters.emplace_back();
  const int nEffects = static_cast<int>(fpModelEffects->size());
  for (int j = 0; j < nEffects; ++j) {
    if (fpCancelInfo->IsCancel()) {
      fStatus = QXStatus(1, false);
      break;
    }
    const int t = intercept ? j + 1 : j;
    QXRegrParameter p = EffectParameter((*fpModelEffects)[j], j);
    const int n = fpFactorTables->GetNEffectParameters(t);
    fvEffectNColumns.push_back(n);
    fvEffectFirstColumn.push_back(static_cast<int>(fvFixedParameters.size()));
    if (n == 1 && p.GetNFactors() == 0) {
      fvFixedParameters.push_back(p);
      continue;
    }
    for (int k = 0; k < n; ++k) {
      fpFactorTables->GetParameterFactorValues(p.GetCategories(), t, k);
      fvFixedParameters.push_back(p);
    }
  }
  fNFixedParameters = static_cast<int>(fvFixedParameters.size());
  fColumnValues.Clear();
  for (const QXRegrParameter& p : fvFixedParameters) fColumnValues.Append(p);
  UpdateMinRowSize();
  if (fStatus.IsError()) return fStatus;

  const std::size_t entries = fbHasFactors ? static_cast<std::size_t>(GetNFixedEffects())
                                           : static_cast<std::size_t>(fNFixedParameters);
  fvWorkIndices.assign(entries, 0);
  fvWorkValues.assign(entries, 0.0);
  fSampleSizeAtCreation = fpFactorTables->GetSampleSize();
  fbParamsCreated = true;
  return fStatus;
}

bool QXDesignMatrix::GetParamsForFixedEffect(int effect, int& first, int& count) const {
  if (!fbParamsCreated || effect < 0 || effect >= GetNFixedEffects()) return false;
  count = fpFactorTables->GetNEffectParameters(effect);
  first = fpFactorTables->GetParameterOffsets()[effect];
  return true;
}

bool QXDesignMatrix::ParamsCurrent() const {
  return fbParamsCreated && fpFactorTables->GetSampleSize() == fSampleSizeAtCreation &&
         static_cast<std::size_t>(fpFactorTables->GetNModelEffects()) == fvEffectFactors.size();
}

bool QXDesignMatrix::ExpandSparse(const double* row, bool indicatorOnly) const {
  if (!ParamsCurrent() || row == nullptr) return false;
  const auto valueOf = [&](int i) { return indicatorOnly ? 1.0 : fColumnValues.Value(row, i); };
  if (!fbHasFactors) {
    for (int i = 0; i < fNFixedParameters; ++i) {
      fvWorkIndices[i] = i;
      fvWorkValues[i] = valueOf(i);
    }
    return true;
  }
  bool ok = false;
  const std::vector<int>& indices = fpFactorTables->GetRowParameterIndices(row, ok);
  const int n = static_cast<int>(fvWorkIndices.size());
  for (int m = 0; m < n; ++m) {
    // Unsigned: a negative index fails the same test as one beyond the columns.
    const int i =
        static_cast<unsigned>(indices[m]) < static_cast<unsigned>(fNFixedParameters) ? indices[m] : -1;
    fvWorkIndices[m] = i;
    fvWorkValues[m] = i >= 0 ? valueOf(i) : 0.0;
    ok = ok && i >= 0;
  }
  return ok;
}

bool QXDesignMatrix::DepVarsUsable() const {
  return std::all_of(fvDepVarIndices.begin(), fvDepVarIndices.end(), [](int d) { return d >= 0; });
}

double QXDesignMatrix::DependentValue(const double* row, int j) const {
  double y = row[fvDepVarIndices[j]] - fOffsetValue;
  if (fOffsetVar >= 0) y -= row[fOffsetVar];
  return y;
}

bool QXDesignMatrix::ExpandRowX(const double* row, double* x, bool indicatorOnly) const {
  if (x == nullptr || !ExpandSparse(row, indicatorOnly)) return false;
  std::fill(x, x + fNFixedParameters, 0.0);
  for (std::size_t m = 0; m < fvWorkIndices.size(); ++m) x[fvWorkIndices[m]] = fvWorkValues[m];
  return true;
}

bool QXDesignMatrix::ExpandRowX(const double* row, std::vector<double>& x, bool indicatorOnly) const {
  if (x.size() < static_cast<std::size_t>(fNFixedParameters)) return false;
  return ExpandRowX(row, x.data(), indicatorOnly);
}

bool QXDesignMatrix::ExpandRowX(const double* row, std::vector<int>& indices, std::vector<double>& values,
                                bool indicatorOnly) const {
  if (!ParamsCurrent() || row == nullptr) return false;
  const bool ok = ExpandSparse(row, indicatorOnly);
  indices.assign(fvWorkIndices.begin(), fvWorkIndices.end());
  values.assign(fvWorkValues.begin(), fvWorkValues.end());
  return ok;
}

bool QXDesignMatrix::ExpandRowXY(const double* row, double* xy, bool indicatorOnly) const {
  if (xy == nullptr || !DepVarsUsable() || !ExpandRowX(row, xy, indicatorOnly)) return false;
  for (int j = 0; j < fNDepVars; ++j) xy[fNFixedParameters + j] = DependentValue(row, j);
  return true;
}

bool QXDesignMatrix::ExpandRowXY(const double* row, std::vector<double>& xy, bool indicatorOnly) const {
  if (!ParamsCurrent() || row == nullptr || !DepVarsUsable()) return false;
  xy.resize(static_cast<std::size_t>(fNFixedParameters + fNDepVars));
  return ExpandRowXY(row, xy.data(), indicatorOnly);
}

bool QXDesignMatrix::ExpandRowXY(const double* row, std::vector<int>& indices, std::vector<double>& values,
                                 bool indicatorOnly) const {
  if (!DepVarsUsable() || !ExpandRowX(row, indices, values, indicatorOnly)) return false;
  for (int j = 0; j < fNDepVars; ++j) {
    indices.push_back(fNFixedParameters + j);
    values.push_back(DependentValue(row, j));
  }
  return true;
}

void QXDesignMatrix::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "Start display of QXDesignMatrix");
  DisplayI("Frequency weight variable", fFreqWeightVar);
  DisplayI("Regression weight variable", fRegrWeightVar);
  DisplayIV("Dependent variable", fvDepVarIndices);
  DisplayIV("Dependent variable categories", fvDepVarCategories);
  DisplayI("Number of dependent variables", fNDepVars);
  DisplayIV("Covariates", fvCovariates);
  DisplayI("Offset variable", fOffsetVar);
  DisplayD("Offset value", fOffsetValue);
  DisplayI("Number of fixed parameters", fNFixedParameters);
  DisplayB("Parameters created", fbParamsCreated);
  DisplayIV("First column of each model effect", fvEffectFirstColumn);
  DisplayIV("Number of columns of each model effect", fvEffectNColumns);
  DisplayB("Model effects contain factors", fbHasFactors);
  DisplayI("Status", fStatus.GetErrorCode());
  for (const QXRegrParameter& p : fvFixedParameters) p.Display();
  if (fpFactorTables != nullptr) fpFactorTables->Display();
  DisplayText(1, "End display of QXDesignMatrix");
}

}  // namespace QXMath_600
