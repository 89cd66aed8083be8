#include "settings/QXModelEffect.h"

#include <algorithm>
#include <cstddef>

#include "common/QXDisplay.h"

namespace QXMath_600 {

namespace {

std::size_t ToSize(int count) { return count > 0 ? static_cast<std::size_t>(count) : 0; }

// Appends value unless it is already listed.
void AppendOnce(std::vector<int>& values, int value) {
  if (std::find(values.begin(), values.end(), value) == values.end()) values.push_back(value);
}

}  // namespace

QXModelEffect::QXModelEffect(int nModelFactors, int nModelCovariates, const std::vector<int>* varIndices) {
  Setup(nModelFactors, nModelCovariates, varIndices);
}

void QXModelEffect::Setup(int nModelFactors, int nModelCovariates, const std::vector<int>* varIndices) {
  SetVarIndices(varIndices);
  fNModelFactors = std::max(nModelFactors, 0);
  fNModelCovariates = std::max(nModelCovariates, 0);
  const std::size_t nFactors = ToSize(fNModelFactors);
  const std::size_t nCandidates = nFactors + ToSize(fNModelCovariates);
  if (fvModelEffect.size() < nFactors) fvModelEffect.resize(nFactors, -1);
  if (fvModelEffect.size() < nCandidates) fvModelEffect.resize(nCandidates, 0);
}

void QXModelEffect::Reset() {
  fvModelEffect.clear();
  fNFactorsInEffect = 0;
  fNCovariatesInEffect = 0;
  fNNestingLevels = 0;
  fbFactorsInParens = false;
  fvModelEffect.resize(ToSize(fNModelFactors), -1);
  fvModelEffect.resize(ToSize(fNModelFactors) + ToSize(fNModelCovariates), 0);
}

void QXModelEffect::SetVarIndices(const std::vector<int>* varIndices) {
  if (varIndices)
    fvVarIndices = *varIndices;
  else
    fvVarIndices.clear();
}

int QXModelEffect::NCandidates() const {
  return static_cast<int>(std::min(fvModelEffect.size(), ToSize(fNModelFactors) + ToSize(fNModelCovariates)));
}

bool QXModelEffect::UsesCandidate(int i) const {
  const int entry = fvModelEffect[i];
  return IsFactorCandidate(i) ? entry >= 0 : entry >= 1;
}

int QXModelEffect::FindInVector(const std::vector<int>& values, int start, int count, int value) {
  const long long first = std::max(start, 0);
  const long long end =
      std::min(static_cast<long long>(start) + count, static_cast<long long>(values.size()));
  for (long long i = first; i < end; ++i)
    if (values[i] == value) return static_cast<int>(i);
  return -1;
}

bool QXModelEffect::AddNewFactor(int var, bool nest) {
  if (fNModelFactors == 0) return false;
  const int position = FindInVector(fvVarIndices, 0, FactorEnd(), var);
  if (position < 0 || fvModelEffect[position] != -1) return false;
  if (nest) {
    for (int i = 0; i < FactorEnd(); ++i)
      if (fvModelEffect[i] >= 0) ++fvModelEffect[i];
    ++fNNestingLevels;
  }
  fvModelEffect[position] = 0;
  if (++fNFactorsInEffect == 1) fNNestingLevels = 1;
  return true;
}

int QXModelEffect::AddCovariate(int var) {
  const int first = FactorEnd();
  const int position = FindInVector(fvVarIndices, first, NCandidates() - first, var);
  if (position < 0) return -1;
  const int multiplicity = ++fvModelEffect[position];
  if (multiplicity == 1) ++fNCovariatesInEffect;
  return multiplicity;
}

int QXModelEffect::ContainsFactor(int var) const {
  const int position = FindInVector(fvVarIndices, 0, FactorEnd(), var);
  return position < 0 ? -1 : fvModelEffect[position];
}

int QXModelEffect::GetCovariateMult(int var) const {
  const int first = FactorEnd();
  const int position = FindInVector(fvVarIndices, first, NCandidates() - first, var);
  return position < 0 ? -1 : fvModelEffect[position];
}

int QXModelEffect::GetNCovariateMult() const {
  int sum = 0;
  for (int i = FactorEnd(); i < NCandidates(); ++i) sum += fvModelEffect[i];
  return sum;
}

std::vector<int> QXModelEffect::CollectUsed(int first, int end, const std::vector<int>& source) const {
  std::vector<int> collected;
  // Only candidates with a record index are reported, so that the index and entry lists stay parallel.
  for (int i = first; i < std::min(end, NIndexed()); ++i)
    if (UsesCandidate(i)) collected.push_back(source[i]);
  return collected;
}

std::vector<int> QXModelEffect::GetFactors() const { return CollectUsed(0, FactorEnd(), fvVarIndices); }

std::vector<int> QXModelEffect::GetFactorLevels() const { return CollectUsed(0, FactorEnd(), fvModelEffect); }

std::vector<int> QXModelEffect::GetCovariates() const {
  return CollectUsed(FactorEnd(), NCandidates(), fvVarIndices);
}

std::vector<int> QXModelEffect::GetCovMultiplicities() const {
  return CollectUsed(FactorEnd(), NCandidates(), fvModelEffect);
}

bool QXModelEffect::IsCovariateEffect(std::vector<int>& covariates) const {
  covariates.clear();
  if (fNFactorsInEffect != 0 || fNCovariatesInEffect < 1) return false;
  for (int i = FactorEnd(); i < NCandidates(); ++i) {
    if (i >= NIndexed()) break;
    covariates.insert(covariates.end(), ToSize(fvModelEffect[i]), fvVarIndices[i]);
  }
  return true;
}

bool QXModelEffect::IsContainedIn(const QXModelEffect& other) const {
  if (fNFactorsInEffect >= other.fNFactorsInEffect) return false;
  if (fNCovariatesInEffect != other.fNCovariatesInEffect) return false;
  if (fNModelFactors != other.fNModelFactors || fNModelCovariates != other.fNModelCovariates) return false;
  if (fvVarIndices != other.fvVarIndices) return false;
  const int nCandidates = NCandidates();
  if (other.NCandidates() != nCandidates) return false;
  for (int i = 0; i < nCandidates; ++i) {
    if (IsFactorCandidate(i)) {
      if (fvModelEffect[i] >= 0 && other.fvModelEffect[i] < 0) return false;
    } else if (fvModelEffect[i] != other.fvModelEffect[i]) {
      return false;
    }
  }
  return true;
}

bool QXModelEffect::operator==(const QXModelEffect& other) const {
  return fNFactorsInEffect == other.fNFactorsInEffect && fNCovariatesInEffect == other.fNCovariatesInEffect &&
         fNModelFactors == other.fNModelFactors && fNModelCovariates == other.fNModelCovariates &&
         fNNestingLevels == other.fNNestingLevels && fvVarIndices == other.fvVarIndices &&
         fbFactorsInParens == other.fbFactorsInParens && fvModelEffect == other.fvModelEffect;
}

bool QXModelEffect::ApplyMask(const std::vector<bool>& mask) {
  bool keptEveryUsed = true;
  // From the last candidate down, so that erasing never shifts a candidate still to be visited.
  for (int i = NCandidates() - 1; i >= 0; --i) {
    if (i >= static_cast<int>(mask.size()) || mask[i]) continue;
    if (UsesCandidate(i)) keptEveryUsed = false;
    if (IsFactorCandidate(i))
      --fNModelFactors;
    else
      --fNModelCovariates;
    fvModelEffect.erase(fvModelEffect.begin() + i);
  }
  return keptEveryUsed;
}

std::vector<bool> QXModelEffect::CheckVariableUse(const std::vector<QXModelEffect>& effects) {
  if (effects.empty()) return {};
  std::vector<bool> used(ToSize(effects.front().NCandidates()), false);
  for (const QXModelEffect& effect : effects) {
    const int n = std::min(effect.NCandidates(), static_cast<int>(used.size()));
    for (int i = 0; i < n; ++i)
      if (effect.UsesCandidate(i)) used[i] = true;
  }
  return used;
}

void QXModelEffect::GetUsedVariables(const std::vector<QXModelEffect>& effects, std::vector<int>& factors,
                                     std::vector<int>& covariates) {
  if (effects.empty()) return;
  factors.clear();
  covariates.clear();
  const std::vector<int>& indices = effects.front().fvVarIndices;
  for (const QXModelEffect& effect : effects) {
    const int n = std::min(effect.NCandidates(), static_cast<int>(indices.size()));
    for (int i = 0; i < n; ++i) {
      if (!effect.UsesCandidate(i)) continue;
      AppendOnce(effect.IsFactorCandidate(i) ? factors : covariates, indices[i]);
    }
  }
}

void QXModelEffect::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, "Begin QXModelEffect object display.");
  DisplayI("Factors in model", fNModelFactors);
  DisplayI("Factors in effect", fNFactorsInEffect);
  DisplayI("Nesting levels", fNNestingLevels);
  DisplayI("Covariates in model", fNModelCovariates);
  DisplayB("Factor after Covariates in ()?", fbFactorsInParens);
  DisplayI("Covariates in effect", fNCovariatesInEffect);
  DisplayIV("The main vector", fvModelEffect);
  DisplayText(1, "End QXModelEffect object display.");
}

}  // namespace QXMath_600
