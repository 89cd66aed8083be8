#include "logistic/QXAccumStatsLogistic.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"
#include "common/QXSparseVector.h"
#include "settings/QXDisplayC.h"

namespace QXMath_600 {

namespace {

constexpr double kLargest = std::numeric_limits<double>::max();
// Below the largest double by more than any one factor, the normalizing sum of at most 2^31 categories.
constexpr double kLargePending = 1e290;

}  // namespace

QXAccumStatsLogistic::QXAccumStatsLogistic(const QXLogRegSettings& settings, int nParameters, int nCategories,
                                           const std::vector<double>& beta)
    : fpSettings(&settings),
      fNParameters(nParameters),
      fNCategories(nCategories),
      fpBeta(&beta),
      fMinObserved(kLargest),
      fMaxObserved(-kLargest),
      fMinComputed(kLargest) {
  if (nParameters < 0 || nCategories < 2) return;
  const std::size_t n = static_cast<std::size_t>(nCategories - 1) * static_cast<std::size_t>(nParameters);
  if (beta.size() < n || !fInformation.Resize(nCategories - 1, nParameters)) return;
  fvScores.assign(n, 0.0);
  fvEta.assign(static_cast<std::size_t>(nCategories), 0.0);
  fvProbabilities.assign(static_cast<std::size_t>(nCategories), 0.0);
  fbValid = true;
}

void QXAccumStatsLogistic::Reset(QXConst::QXHessianCompMethod method, bool separationCheck) {
  fMethod = method;
  fbSeparationCheck = separationCheck;
  fLL = fLLLo = 0.0;
  fbLLMissing = false;
  std::fill(fvScores.begin(), fvScores.end(), 0.0);
  fInformation.Clear();
  fValidRows = fInvalidCalls = 0;
  fWeight = 0.0;
  fMinObserved = kLargest;
  fMaxObserved = -kLargest;
  fMinComputed = kLargest;
}

bool QXAccumStatsLogistic::AcceptsRow(int category, double weight) const {
  return fbValid && category >= 0 && category < fNCategories && weight > 0.0 && std::isfinite(weight);
}

double QXAccumStatsLogistic::ComputeProbabilities() {
  const int reference = fNCategories - 1;
  double largest = 0.0;  // the reference's predictor
  for (int k = 0; k < reference; ++k) {
    if (!std::isfinite(fvEta[k])) return QXMV::gMissingValue;
    largest = std::max(largest, fvEta[k]);
  }
  fvEta[reference] = 0.0;
  double sum = 0.0;
  for (int k = 0; k < fNCategories; ++k) sum += fvProbabilities[k] = std::exp(fvEta[k] - largest);
  for (double& p : fvProbabilities) p /= sum;
  return -largest - std::log(sum);
}

void QXAccumStatsLogistic::AddToLikelihood(int category, double weight, double logReference) {
  ++fValidRows;
  fWeight += weight;
  const std::vector<double>& p = fvProbabilities;
  if (fbSeparationCheck) {
    fMinComputed = std::min(fMinComputed, *std::min_element(p.begin(), p.end()));
    fMinObserved = std::min(fMinObserved, p[category]);
    fMaxObserved = std::max(fMaxObserved, p[category]);
  }
  // Neumaier's compensated sum: a pass adds millions of terms of one sign.
  const double term = weight * (logReference + (category == fNCategories - 1 ? 0.0 : fvEta[category]));
  const double sum = fLL + term;
  fLLLo += std::fabs(fLL) >= std::fabs(term) ? (fLL - sum) + term : (term - sum) + fLL;
  fLL = sum;
}

int QXAccumStatsLogistic::UpdateForRow(const std::vector<int>& indices, const std::vector<double>& values,
                                       int category, double weight, bool logLikelihoodOnly) {
  if (!AcceptsRow(category, weight) || indices.size() != values.size()) return -1;
  const QXSparseVector x(indices, values, fNParameters);
  if (fNParameters > 0 && !x.IsValid()) return -1;

  const int reference = fNCategories - 1;
  std::vector<double>& p = fvProbabilities;
  double logReference = 0.0;
  if (fNParameters > 0) {
    if (!x.ComputeProbabilities(*fpBeta, fNCategories, fvEta, p, logReference)) {
      ++fInvalidCalls;
      fbLLMissing = true;
      return 0;
    }
  } else {
    std::fill(p.begin(), p.end(), 1.0 / fNCategories);
    std::fill(fvEta.begin(), fvEta.end(), 0.0);
    logReference = -std::log(static_cast<double>(fNCategories));
  }
  AddToLikelihood(category, weight, logReference);
  if (logLikelihoodOnly || fNParameters < 1) return 0;

  const int* index = indices.data();
  const double* value = values.data();
  const int count = static_cast<int>(indices.size());
  const std::size_t nOuter = static_cast<std::size_t>(count) * (count + 1) / 2;
  if (fvOuterProducts.size() < nOuter) {
    fvOuterProducts.resize(nOuter);
    fvOuterPositions.resize(nOuter);
  }
  for (int k = 0; k < reference; ++k) {
    const double residual = weight * ((category == k ? 1.0 : 0.0) - p[k]);
    double* score = fvScores.data() + static_cast<std::size_t>(k) * fNParameters;
    for (int t = 0; t < count; ++t) score[index[t]] += residual * value[t];
  }
  // x x' once, with its positions in a block, then scaled into every pair of blocks.
  std::size_t n = 0;
  for (int t = 0; t < count; ++t)
    for (int u = 0; u <= t; ++u, ++n) {
      fvOuterPositions[n] = QXSymBlockMatrix::PackedIndex(index[t], index[u]);
      // A repeated index meets itself in both orders of the pair, which the loop visits once.
      fvOuterProducts[n] = value[t] * value[u] * (u != t && index[u] == index[t] ? 2.0 : 1.0);
    }
  const int nTerms = static_cast<int>(n);
  for (int a = 0; a < reference; ++a) {
    double others = 0.0;
    for (int j = 0; j < fNCategories; ++j)
      if (j != a) others += p[j];
    fInformation.AddPacked(a, a, fvOuterPositions.data(), fvOuterProducts.data(), nTerms,
                           weight * p[a] * others);
    for (int b = 0; b < a; ++b)
      fInformation.AddPacked(a, b, fvOuterPositions.data(), fvOuterProducts.data(), nTerms,
                             -weight * p[a] * p[b]);
  }
  return 0;
}

void QXAccumStatsLogistic::AddToPatternSums(int category, double weight, const double* v, std::size_t nv) {
  const std::size_t blocks = static_cast<std::size_t>(fNCategories - 1);
  const std::size_t pairs = fvPairWeights.size();
  const double* p = fvProbabilities.data();
  // The row's terms: 1, its varying values, their products.
  double* terms = fvTerms.data();
  terms[0] = 1.0;
  for (std::size_t j = 0; j < nv; ++j) terms[1 + j] = v[j];
  double* product = terms + 1 + nv;
  for (std::size_t j = 0; j < nv; ++j)
    for (std::size_t l = 0; l <= j; ++l) *product++ = v[j] * v[l];
  double* residual = fvResiduals.data();
  for (std::size_t k = 0; k < blocks; ++k)
    residual[k] = weight * ((category == static_cast<int>(k) ? 1.0 : 0.0) - p[k]);
  double* c = fvPairWeights.data();
  for (std::size_t a = 0; a < blocks; ++a) {
    double others = 0.0;
    for (int j = 0; j < fNCategories; ++j)
      if (j != static_cast<int>(a)) others += p[j];
    for (std::size_t b = 0; b < a; ++b) *c++ = -weight * p[a] * p[b];
    *c++ = weight * p[a] * others;
  }
  // Rank-one updates of the sums, term by term.
  double* r = fvR.data();
  for (std::size_t t = 0; t <= nv; ++t, r += blocks)
    for (std::size_t k = 0; k < blocks; ++k) r[k] += terms[t] * residual[k];
  double* sums = fvC.data();
  const double* weights = fvPairWeights.data();
  for (std::size_t t = 0; t < fvTerms.size(); ++t, sums += pairs)
    for (std::size_t pr = 0; pr < pairs; ++pr) sums[pr] += terms[t] * weights[pr];
}

int QXAccumStatsLogistic::UpdateForPattern(const std::vector<int>& indices,
                                           const std::vector<double>& fixedValues, const double* rows,
                                           std::int64_t nRows, bool logLikelihoodOnly) {
  if (!fbValid || fixedValues.size() > indices.size() || nRows < 0 || (nRows > 0 && rows == nullptr))
    return -1;
  for (int index : indices)
    if (index < 0 || index >= fNParameters) return -1;
  const int blocks = fNCategories - 1;
  const std::size_t nFixed = fixedValues.size();
  const std::size_t nv = indices.size() - nFixed;
  const int* varying = indices.data() + nFixed;
  fvEtaFixed.assign(static_cast<std::size_t>(blocks), 0.0);
  fvBetaVarying.resize(static_cast<std::size_t>(blocks) * nv);
  for (int k = 0; k < blocks; ++k) {
    const double* b = fpBeta->data() + static_cast<std::size_t>(k) * fNParameters;
    for (std::size_t i = 0; i < nFixed; ++i) fvEtaFixed[k] += b[indices[i]] * fixedValues[i];
    for (std::size_t j = 0; j < nv; ++j) fvBetaVarying[k * nv + j] = b[varying[j]];
  }
  if (!logLikelihoodOnly) {
    const std::size_t pairs = static_cast<std::size_t>(blocks) * fNCategories / 2;
    fvTerms.assign(1 + nv + nv * (nv + 1) / 2, 0.0);
    fvResiduals.assign(static_cast<std::size_t>(blocks), 0.0);
    fvPairWeights.assign(pairs, 0.0);
    fvR.assign((1 + nv) * static_cast<std::size_t>(blocks), 0.0);
    fvC.assign(fvTerms.size() * pairs, 0.0);
  }

  // The row loop works on locals, which the compiler keeps in registers; the extremes of the
  // probabilities are only looked at with the separation check.
  int result = 0;
  const std::size_t stride = 2 + nv;
  const int reference = blocks;
  double* eta = fvEta.data();
  double* p = fvProbabilities.data();
  const double* etaFixed = fvEtaFixed.data();
  const double* betaVarying = fvBetaVarying.data();
  double ll = fLL, llLo = fLLLo, totalWeight = fWeight;
  double pending = 1.0;
  std::int64_t validRows = fValidRows;
  for (std::int64_t r = 0; r < nRows; ++r) {
    const double* row = rows + static_cast<std::size_t>(r) * stride;
    const double code = row[0];
    const int category = code >= 0.0 && code < fNCategories ? static_cast<int>(code) : -1;
    const double weight = row[1];
    if (category != code || !(weight > 0.0) || !std::isfinite(weight)) {
      result = -1;
      break;
    }
    const double* v = row + 2;
    double largest = 0.0;  // the reference's predictor
    int atLargest = reference;
    bool finite = true;
    for (int k = 0; k < blocks; ++k) {
      const double* b = betaVarying + static_cast<std::size_t>(k) * nv;
      double e = etaFixed[k];
      for (std::size_t j = 0; j < nv; ++j) e += b[j] * v[j];
      eta[k] = e;
      finite = finite && std::isfinite(e);
      if (e > largest) {
        largest = e;
        atLargest = k;
      }
    }
    if (!finite) {
      ++fInvalidCalls;
      fbLLMissing = true;
      continue;
    }
    eta[reference] = 0.0;
    double sum = 0.0;
    for (int k = 0; k < fNCategories; ++k) sum += p[k] = k == atLargest ? 1.0 : std::exp(eta[k] - largest);
    ++validRows;
    totalWeight += weight;
    // The log of the normalizing sum (between 1 and K) of a row of weight 1 waits in a product, whose
    // log is taken once it has grown large: one log for hundreds of rows instead of one per row.
    double term = weight * (eta[category] - largest);
    if (weight == 1.0) {
      pending *= sum;
      if (pending > kLargePending) {
        term -= std::log(pending);
        pending = 1.0;
      }
    } else {
      term -= weight * std::log(sum);
    }
    // Neumaier's compensated sum: a pass adds millions of terms of one sign.
    const double next = ll + term;
    llLo += std::fabs(ll) >= std::fabs(term) ? (ll - next) + term : (term - next) + ll;
    ll = next;
    if (logLikelihoodOnly && !fbSeparationCheck) continue;
    const double inverse = 1.0 / sum;
    for (int k = 0; k < fNCategories; ++k) p[k] *= inverse;
    if (fbSeparationCheck) {
      fMinComputed = std::min(fMinComputed, *std::min_element(p, p + fNCategories));
      fMinObserved = std::min(fMinObserved, p[category]);
      fMaxObserved = std::max(fMaxObserved, p[category]);
    }
    if (!logLikelihoodOnly) AddToPatternSums(category, weight, v, nv);
  }
  ll -= std::log(pending);
  fLL = ll;
  fLLLo = llLo;
  fWeight = totalWeight;
  fValidRows = validRows;
  if (!logLikelihoodOnly) SpreadPatternSums(indices, fixedValues);
  return result;
}

void QXAccumStatsLogistic::SpreadPatternSums(const std::vector<int>& indices,
                                             const std::vector<double>& fixedValues) {
  const int blocks = fNCategories - 1;
  const std::size_t pairs = fvPairWeights.size();
  const int nFixed = static_cast<int>(fixedValues.size());
  const std::size_t nv = indices.size() - fixedValues.size();
  const int* fixed = indices.data();
  const int* varying = fixed + nFixed;
  const auto r = [&](std::size_t term, int k) { return fvR[term * blocks + k]; };
  const auto c = [&](std::size_t term, std::size_t pair) { return fvC[term * pairs + pair]; };
  for (int k = 0; k < blocks; ++k) {
    double* score = fvScores.data() + static_cast<std::size_t>(k) * fNParameters;
    for (int i = 0; i < nFixed; ++i) score[fixed[i]] += r(0, k) * fixedValues[i];
    for (std::size_t j = 0; j < nv; ++j) score[varying[j]] += r(1 + j, k);
  }
  std::size_t pair = 0;
  for (int a = 0; a < blocks; ++a) {
    for (int b = 0; b <= a; ++b, ++pair) {
      for (int i = 0; i < nFixed; ++i) {
        for (int i2 = 0; i2 <= i; ++i2)
          fInformation.AddToElement(a, b, fixed[i], fixed[i2], c(0, pair) * fixedValues[i] * fixedValues[i2]);
        for (std::size_t j = 0; j < nv; ++j)
          fInformation.AddToElement(a, b, fixed[i], varying[j], c(1 + j, pair) * fixedValues[i]);
      }
      std::size_t product = 1 + nv;
      for (std::size_t j = 0; j < nv; ++j)
        for (std::size_t l = 0; l <= j; ++l)
          fInformation.AddToElement(a, b, varying[j], varying[l], c(product++, pair));
    }
  }
}

double QXAccumStatsLogistic::GetLL() const { return fbLLMissing ? QXMV::gMissingValue : fLL + fLLLo; }

void QXAccumStatsLogistic::GetCounts(std::int64_t& valid, std::int64_t& invalid, double& weight) const {
  valid = fValidRows;
  invalid = fInvalidCalls;
  weight = fWeight;
}

void QXAccumStatsLogistic::GetMinMaxProbabilities(double& minObserved, double& maxObserved,
                                                  double& minComputed) const {
  minObserved = fMinObserved;
  maxObserved = fMaxObserved;
  minComputed = fMinComputed;
}

void QXAccumStatsLogistic::Display(bool showMatrix) const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXAccumStatsLogistic display start");
  DisplayI("Number of parameters per category block", fNParameters);
  DisplayI("Number of response categories", fNCategories);
  DisplayD("Log-likelihood", GetLL());
  DisplayDV("Score vector", fvScores);
  if (showMatrix) {
    DisplayText(1, "Information matrix:");
    fInformation.Display();
  }
  DisplayI("Valid rows", fValidRows);
  DisplayI("Invalid calls", fInvalidCalls);
  DisplayD("Accumulated weight", fWeight);
  QXDisplay_600::DisplayC("Hessian method", fMethod);
  DisplayB("Separation check", fbSeparationCheck);
  DisplayD("Minimum probability of the observed response", fMinObserved);
  DisplayD("Maximum probability of the observed response", fMaxObserved);
  DisplayD("Minimum computed probability", fMinComputed);
  DisplayB("Valid", fbValid);
  DisplayText(1, "QXAccumStatsLogistic display end");
}

}  // namespace QXMath_600
