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

int QXAccumStatsLogistic::UpdateForRow(const std::vector<int>& indices, const std::vector<double>& values,
                                       int category, double weight, bool logLikelihoodOnly) {
  if (!fbValid || indices.size() != values.size()) return -1;
  const QXSparseVector x(indices, values, fNParameters);
  if (fNParameters > 0 && !x.IsValid()) return -1;
  if (category < 0 || category >= fNCategories) return -1;
  if (!(weight > 0.0) || !std::isfinite(weight)) return -1;

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
  ++fValidRows;
  fWeight += weight;
  if (fbSeparationCheck) {
    fMinComputed = std::min(fMinComputed, *std::min_element(p.begin(), p.end()));
    fMinObserved = std::min(fMinObserved, p[category]);
    fMaxObserved = std::max(fMaxObserved, p[category]);
  }
  // Neumaier's compensated sum: a pass adds millions of terms of one sign.
  const double term = weight * (logReference + (category == reference ? 0.0 : fvEta[category]));
  const double sum = fLL + term;
  fLLLo += std::fabs(fLL) >= std::fabs(term) ? (fLL - sum) + term : (term - sum) + fLL;
  fLL = sum;
  if (logLikelihoodOnly || fNParameters < 1) return 0;

  const int* index = indices.data();
  const double* value = values.data();
  const int count = static_cast<int>(indices.size());
  for (int k = 0; k < reference; ++k) {
    const double residual = weight * ((category == k ? 1.0 : 0.0) - p[k]);
    double* score = fvScores.data() + static_cast<std::size_t>(k) * fNParameters;
    for (int t = 0; t < count; ++t) score[index[t]] += residual * value[t];
  }
  for (int a = 0; a < reference; ++a) {
    double others = 0.0;
    for (int j = 0; j < fNCategories; ++j)
      if (j != a) others += p[j];
    fInformation.AddOuterProduct(a, a, index, value, count, weight * p[a] * others);
    for (int b = 0; b < a; ++b)
      fInformation.AddOuterProduct(a, b, index, value, count, -weight * p[a] * p[b]);
  }
  return 0;
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
