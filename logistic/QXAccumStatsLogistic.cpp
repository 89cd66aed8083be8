#include "logistic/QXAccumStatsLogistic.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"
#include "common/QXSparseVector.h"
#include "logistic/QXBatchExp.h"
#include "settings/QXDisplayC.h"

namespace QXMath_600 {

namespace {

constexpr double kLargest = std::numeric_limits<double>::max();
// Below the largest double by more than any one factor, the normalizing sum of at most 2^31 categories.
constexpr double kLargePending = 1e290;

// Sums over a chunk of rows in four interleaved partial sums, which the compiler keeps in vector
// registers; the order of the additions differs from a plain loop by rounding only.
double SumOf(const double* a, std::size_t n) {
  double s[4] = {0.0, 0.0, 0.0, 0.0};
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4)
    for (std::size_t l = 0; l < 4; ++l) s[l] += a[i + l];
  for (; i < n; ++i) s[0] += a[i];
  return (s[0] + s[1]) + (s[2] + s[3]);
}

double DotOf(const double* a, const double* b, std::size_t n) {
  double s[4] = {0.0, 0.0, 0.0, 0.0};
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4)
    for (std::size_t l = 0; l < 4; ++l) s[l] += a[i + l] * b[i + l];
  for (; i < n; ++i) s[0] += a[i] * b[i];
  return (s[0] + s[1]) + (s[2] + s[3]);
}

// Adds a row's terms t (1, its nv varying values v, their products v_j v_l for l <= j) to a cell's sums
// R[k][t] += t r_k (terms 1 and v) and C[q][t] += t c_q, with the residual of block k at
// residuals[k * step] and the weight of pair q at pairWeights[q * step]. `terms` holds room for the
// terms. With nv known when compiled (Nv >= 0) the loops over the terms unroll and the terms stay in
// registers; with the number of blocks known as well, every loop unrolls.
template <int Nv, int Blocks>
void AddRowTerms(std::size_t nv, const double* v, double* terms, double* r, double* c,
                 const double* residuals, const double* pairWeights, std::size_t step, std::size_t blocks,
                 std::size_t pairs) {
  if constexpr (Nv >= 0) nv = static_cast<std::size_t>(Nv);
  if constexpr (Blocks > 0) {
    blocks = static_cast<std::size_t>(Blocks);
    pairs = static_cast<std::size_t>(Blocks * (Blocks + 1) / 2);
  }
  const std::size_t nTerms = 1 + nv + nv * (nv + 1) / 2;
  terms[0] = 1.0;
  for (std::size_t j = 0; j < nv; ++j) terms[1 + j] = v[j];
  std::size_t product = 1 + nv;
  for (std::size_t j = 0; j < nv; ++j)
    for (std::size_t l = 0; l <= j; ++l) terms[product++] = v[j] * v[l];
  for (std::size_t k = 0; k < blocks; ++k) {
    const double residual = residuals[k * step];
    double* rk = r + k * (1 + nv);
    for (std::size_t t = 0; t <= nv; ++t) rk[t] += terms[t] * residual;
  }
  for (std::size_t q = 0; q < pairs; ++q) {
    const double pairWeight = pairWeights[q * step];
    double* cq = c + q * nTerms;
    for (std::size_t t = 0; t < nTerms; ++t) cq[t] += terms[t] * pairWeight;
  }
}

// Calls `add` with the kernel compiled for nv varying columns and `Blocks` blocks (0: any number).
template <int Blocks, class Add>
void ForVaryingColumns(std::size_t nv, Add add) {
  switch (nv) {
    case 0: return add(AddRowTerms<0, Blocks>);
    case 1: return add(AddRowTerms<1, Blocks>);
    case 2: return add(AddRowTerms<2, Blocks>);
    case 3: return add(AddRowTerms<3, Blocks>);
    case 4: return add(AddRowTerms<4, Blocks>);
    default: return add(AddRowTerms<-1, Blocks>);
  }
}

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
  fvOnes.assign(kMaxCellColumns, 1.0);
  fvRowTerms.assign(1 + kMaxCellColumns + kMaxCellColumns * (kMaxCellColumns + 1) / 2, 0.0);
  fNCellPairs = static_cast<std::size_t>(nCategories - 1) * static_cast<std::size_t>(nCategories) / 2;
  fvCellSlots.assign(64, 0);
  fvRowResiduals.assign(static_cast<std::size_t>(nCategories - 1), 0.0);
  fvRowValues.assign(kMaxCellColumns, 0.0);
  fvRowPairWeights.assign(fNCellPairs, 0.0);
  fbValid = true;
}

void QXAccumStatsLogistic::SetCellLimits(std::size_t maxCells, std::size_t maxDoubles) {
  fMaxCells = maxCells;
  fMaxCellDoubles = maxDoubles;
  fvCells.clear();
  fvCellInts.clear();
  fvCellDoubles.clear();
  std::fill(fvCellSlots.begin(), fvCellSlots.end(), 0);
  fbCellsPending = false;
  ++fCellGeneration;
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
  ++fStamp;  // the cells' sums and predictors belong to the last pass
  fbCellsPending = false;
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
  int cellResult = 0;
  if (fNParameters > 0 && UpdateCell(indices, values, category, weight, logLikelihoodOnly, cellResult))
    return cellResult;
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

QXAccumStatsLogistic::Cell* QXAccumStatsLogistic::FindCell(const std::vector<int>& indices,
                                                           std::uint64_t ones, std::uint64_t hash) {
  const std::size_t mask = fvCellSlots.size() - 1;
  const int count = static_cast<int>(indices.size());
  for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const int at = fvCellSlots[slot];
    if (at == 0) break;
    Cell& cell = fvCells[static_cast<std::size_t>(at - 1)];
    if (cell.hash == hash && cell.ones == ones && cell.count == count &&
        std::equal(indices.begin(), indices.end(), fvCellInts.begin() + cell.keyOffset))
      return &cell;
  }
  return CreateCell(indices, ones, hash);
}

bool QXAccumStatsLogistic::ReserveCell(const std::vector<int>& indices, std::size_t nFixed, Cell& cell) {
  const std::size_t count = indices.size();
  if (count == 0 || count > kMaxCellColumns || nFixed > count) return false;
  for (std::size_t t = 0; t < count; ++t) {
    if (indices[t] < 0 || indices[t] >= fNParameters) return false;
    for (std::size_t u = 0; u < t; ++u)
      if (indices[u] == indices[t]) return false;
  }
  const std::size_t nv = count - nFixed;
  const std::size_t blocks = static_cast<std::size_t>(fNCategories - 1);
  const std::size_t nTerms = 1 + nv + nv * (nv + 1) / 2;
  const std::size_t nDoubles = blocks + blocks * nv + (1 + nv) * blocks + nTerms * fNCellPairs;
  if (fvCells.size() >= fMaxCells || fvCellDoubles.size() + nDoubles > fMaxCellDoubles) return false;
  cell.count = static_cast<int>(count);
  cell.nFixed = static_cast<int>(nFixed);
  cell.doublesOffset = fvCellDoubles.size();
  fvCellDoubles.resize(fvCellDoubles.size() + nDoubles, 0.0);
  cell.stamp = 0;
  return true;
}

int QXAccumStatsLogistic::AddCell(const std::vector<int>& indices, int nFixed) {
  Cell cell;
  if (!fbValid || fNParameters < 1 || nFixed < 0 ||
      !ReserveCell(indices, static_cast<std::size_t>(nFixed), cell))
    return -1;
  // Not filed among the slots: the caller finds the cell itself. Its columns are given fixed first.
  cell.bNamed = true;
  cell.columnsOffset = cell.keyOffset = cell.varyingOffset = fvCellInts.size();
  fvCellInts.insert(fvCellInts.end(), indices.begin(), indices.end());
  fvCells.push_back(cell);
  return static_cast<int>(fvCells.size() - 1);
}

QXAccumStatsLogistic::Cell* QXAccumStatsLogistic::CreateCell(const std::vector<int>& indices,
                                                             std::uint64_t ones, std::uint64_t hash) {
  const std::size_t count = indices.size();
  Cell cell;
  if (!ReserveCell(indices, static_cast<std::size_t>(std::popcount(ones)), cell)) return nullptr;
  cell.hash = hash;
  cell.ones = ones;
  cell.keyOffset = fvCellInts.size();
  fvCellInts.insert(fvCellInts.end(), indices.begin(), indices.end());
  cell.columnsOffset = fvCellInts.size();
  for (std::size_t t = 0; t < count; ++t)
    if (ones >> t & 1u) fvCellInts.push_back(indices[t]);
  for (std::size_t t = 0; t < count; ++t)
    if (!(ones >> t & 1u)) fvCellInts.push_back(indices[t]);
  cell.varyingOffset = fvCellInts.size();
  for (std::size_t t = 0; t < count; ++t)
    if (!(ones >> t & 1u)) fvCellInts.push_back(static_cast<int>(t));
  fvCells.push_back(cell);

  // Keep the slots at most half full.
  if (2 * fvCells.size() > fvCellSlots.size()) {
    fvCellSlots.assign(2 * fvCellSlots.size(), 0);
    const std::size_t mask = fvCellSlots.size() - 1;
    for (std::size_t i = 0; i < fvCells.size(); ++i) {
      if (fvCells[i].bNamed) continue;
      std::size_t slot = fvCells[i].hash & mask;
      while (fvCellSlots[slot] != 0) slot = (slot + 1) & mask;
      fvCellSlots[slot] = static_cast<int>(i + 1);
    }
  } else {
    const std::size_t mask = fvCellSlots.size() - 1;
    std::size_t slot = hash & mask;
    while (fvCellSlots[slot] != 0) slot = (slot + 1) & mask;
    fvCellSlots[slot] = static_cast<int>(fvCells.size());
  }
  return &fvCells.back();
}

bool QXAccumStatsLogistic::UpdateCell(const std::vector<int>& indices, const std::vector<double>& values,
                                      int category, double weight, bool logLikelihoodOnly, int& result) {
  const std::size_t count = indices.size();
  if (count == 0 || count > kMaxCellColumns || values.size() != count) return false;
  std::uint64_t ones = 0;
  std::uint64_t hash = 0x9E3779B97F4A7C15ull;
  for (std::size_t t = 0; t < count; ++t) {
    ones |= static_cast<std::uint64_t>(values[t] == 1.0) << t;
    hash = (hash ^ static_cast<std::uint32_t>(indices[t])) * 0xBF58476D1CE4E5B9ull;
  }
  hash = (hash ^ ones) * 0x94D049BB133111EBull;
  hash ^= hash >> 31;
  Cell* cell = FindCell(indices, ones, hash);
  if (cell == nullptr) return false;

  const std::size_t blocks = static_cast<std::size_t>(fNCategories - 1);
  const std::size_t nv = count - static_cast<std::size_t>(cell->nFixed);
  const int* varyingAt = fvCellInts.data() + cell->varyingOffset;
  if (cell->stamp != fStamp) StartCellPass(*cell);
  const double* etaFixed = fvCellDoubles.data() + cell->doublesOffset;
  const double* betaVarying = etaFixed + blocks;
  // The loops below run over a few values each, with strided stores, so that no vector load reads
  // values just stored one by one (a stalled store forward costs more than the arithmetic).
  const double* value = values.data();
  for (std::size_t k = 0; k < blocks; ++k) {
    double s = etaFixed[k];
    for (std::size_t j = 0; j < nv; ++j) s += betaVarying[k * nv + j] * value[varyingAt[j]];
    fvEta[k] = s;
  }
  const double logReference = ComputeProbabilities();
  result = 0;
  if (QXMV::IsMissing(logReference)) {
    ++fInvalidCalls;
    fbLLMissing = true;
    return true;
  }
  AddToLikelihood(category, weight, logReference);
  if (logLikelihoodOnly) return true;

  double* rowValues = fvRowValues.data();
  for (std::size_t j = 0; j < nv; ++j) rowValues[j] = value[varyingAt[j]];
  const double* p = fvProbabilities.data();
  for (std::size_t k = 0; k < blocks; ++k)
    fvRowResiduals[k] = weight * ((category == static_cast<int>(k) ? 1.0 : 0.0) - p[k]);
  std::size_t pair = 0;
  for (std::size_t a = 0; a < blocks; ++a) {
    for (std::size_t b = 0; b <= a; ++b, ++pair) {
      if (b < a) {
        fvRowPairWeights[pair] = -weight * p[a] * p[b];
        continue;
      }
      // p_a (1 - p_a) with 1 - p_a summed from the other probabilities, which keeps its digits near 1.
      double others = 0.0;
      for (std::size_t j = 0; j < static_cast<std::size_t>(fNCategories); ++j)
        if (j != a) others += p[j];
      fvRowPairWeights[pair] = weight * p[a] * others;
    }
  }
  AddTermsToCell(*cell, rowValues, fvRowResiduals.data(), fvRowPairWeights.data(), 1);
  fbCellsPending = true;
  return true;
}

void QXAccumStatsLogistic::StartCellPass(Cell& cell) {
  const std::size_t blocks = static_cast<std::size_t>(fNCategories - 1);
  const std::size_t nFixed = static_cast<std::size_t>(cell.nFixed);
  const std::size_t nv = static_cast<std::size_t>(cell.count) - nFixed;
  const std::size_t nTerms = 1 + nv + nv * (nv + 1) / 2;
  const int* columns = fvCellInts.data() + cell.columnsOffset;
  double* etaFixed = fvCellDoubles.data() + cell.doublesOffset;
  double* betaVarying = etaFixed + blocks;
  double* r = betaVarying + blocks * nv;
  double* c = r + (1 + nv) * blocks;
  cell.stamp = fStamp;
  for (std::size_t k = 0; k < blocks; ++k) {
    const double* b = fpBeta->data() + k * static_cast<std::size_t>(fNParameters);
    double s = 0.0;
    for (std::size_t i = 0; i < nFixed; ++i) s += b[columns[i]];
    etaFixed[k] = s;
    for (std::size_t j = 0; j < nv; ++j) betaVarying[k * nv + j] = b[columns[nFixed + j]];
  }
  std::fill(r, c + nTerms * fNCellPairs, 0.0);
}

void QXAccumStatsLogistic::AddTermsToCell(const Cell& cell, const double* varying, const double* residuals,
                                          const double* pairWeights, std::size_t step) {
  const std::size_t blocks = static_cast<std::size_t>(fNCategories - 1);
  const std::size_t pairs = fNCellPairs;
  const std::size_t nv = static_cast<std::size_t>(cell.count - cell.nFixed);
  double* r = fvCellDoubles.data() + cell.doublesOffset + blocks + blocks * nv;
  double* c = r + (1 + nv) * blocks;
  double* terms = fvRowTerms.data();
  const auto add = [&](auto kernel) {
    kernel(nv, varying, terms, r, c, residuals, pairWeights, step, blocks, pairs);
  };
  // The common shapes: two or three categories, up to four covariate columns.
  if (blocks == 1) return ForVaryingColumns<1>(nv, add);
  if (blocks == 2) return ForVaryingColumns<2>(nv, add);
  ForVaryingColumns<0>(nv, add);
}

void QXAccumStatsLogistic::SpreadCells() const {
  if (!fbCellsPending) return;
  fbCellsPending = false;
  const std::size_t blocks = static_cast<std::size_t>(fNCategories - 1);
  const std::size_t pairs = fNCellPairs;
  for (const Cell& cell : fvCells) {
    if (cell.stamp != fStamp) continue;
    const std::size_t nv = static_cast<std::size_t>(cell.count - cell.nFixed);
    const std::size_t nTerms = 1 + nv + nv * (nv + 1) / 2;
    const int* columns = fvCellInts.data() + cell.columnsOffset;
    double* r = fvCellDoubles.data() + cell.doublesOffset + blocks + blocks * nv;
    double* c = r + (1 + nv) * blocks;
    SpreadSums(columns, fvOnes.data(), cell.nFixed, columns + cell.nFixed, nv, r, c, false);
    // Spread once: rows that come after a read add to fresh sums.
    std::fill(r, c + nTerms * pairs, 0.0);
  }
}

void QXAccumStatsLogistic::SizeChunk(std::size_t nTermColumns, bool logLikelihoodOnly) {
  const std::size_t blocks = static_cast<std::size_t>(fNCategories - 1);
  const std::size_t nCategories = static_cast<std::size_t>(fNCategories);
  if (!logLikelihoodOnly) {
    fvChunkResiduals.resize(blocks * kChunk);
    fvChunkPairWeights.resize(fNCellPairs * kChunk);
  }
  fvChunkWeights.resize(kChunk);
  fvChunkCategories.resize(kChunk);
  fvChunkArguments.resize(nCategories * kChunk);
  fvChunkProbabilities.resize(nCategories * kChunk);
  if (fvChunkTerms.size() < nTermColumns * kChunk) fvChunkTerms.resize(nTermColumns * kChunk);
  fvChunkLargest.resize(kChunk);
  fvChunkCheck.resize(kChunk);
}

void QXAccumStatsLogistic::ComputePatternPredictors(std::size_t n, std::size_t nv) {
  const std::size_t blocks = static_cast<std::size_t>(fNCategories - 1);
  const double* etaFixed = fvEtaFixed.data();
  const double* betaVarying = fvBetaVarying.data();
  for (std::size_t k = 0; k < blocks; ++k) {
    double* eta = fvChunkArguments.data() + k * kChunk;
    std::fill(eta, eta + n, etaFixed[k]);
    for (std::size_t j = 0; j < nv; ++j) {
      const double b = betaVarying[k * nv + j];
      const double* v = fvChunkTerms.data() + (1 + j) * kChunk;
      for (std::size_t i = 0; i < n; ++i) eta[i] += b * v[i];
    }
  }
}

void QXAccumStatsLogistic::ComputeChunkExponentials(std::size_t n) {
  const std::size_t blocks = static_cast<std::size_t>(fNCategories - 1);
  double* largest = fvChunkLargest.data();
  double* check = fvChunkCheck.data();
  std::fill(largest, largest + n, 0.0);  // the reference's predictor
  std::fill(check, check + n, 0.0);
  for (std::size_t k = 0; k < blocks; ++k) {
    const double* eta = fvChunkArguments.data() + k * kChunk;
    // x - x is 0 for a finite x and NaN for infinities and NaN.
    for (std::size_t i = 0; i < n; ++i) {
      check[i] += eta[i] - eta[i];
      largest[i] = eta[i] > largest[i] ? eta[i] : largest[i];
    }
  }
  // The arguments eta_k - max eta (0 for the largest, whose exponential is 1) and their exponentials.
  for (std::size_t k = 0; k < blocks; ++k) {
    double* eta = fvChunkArguments.data() + k * kChunk;
    for (std::size_t i = 0; i < n; ++i) eta[i] -= largest[i];
  }
  double* reference = fvChunkArguments.data() + blocks * kChunk;
  for (std::size_t i = 0; i < n; ++i) reference[i] = 0.0 - largest[i];
  for (std::size_t k = 0; k <= blocks; ++k)
    ExpOf(fvChunkArguments.data() + k * kChunk, fvChunkProbabilities.data() + k * kChunk, n);
}

void QXAccumStatsLogistic::AddChunkToLikelihood(std::size_t n, std::size_t nZeroTerms, ChunkTotals& totals) {
  const std::size_t nCategories = static_cast<std::size_t>(fNCategories);
  double* w = fvChunkWeights.data();
  const int* y = fvChunkCategories.data();
  double* probabilities = fvChunkProbabilities.data();
  double* sums = fvChunkLargest.data();  // the largest predictors are spent once the exponentials exist
  const double* arguments = fvChunkArguments.data();
  const double* check = fvChunkCheck.data();
  for (std::size_t i = 0; i < n; ++i) {
    double sum = 0.0;
    for (std::size_t k = 0; k < nCategories; ++k) sum += probabilities[k * kChunk + i];
    sums[i] = sum;
  }
  // Locals, which the compiler keeps in registers over the rows.
  double ll = totals.ll, llLo = totals.llLo, totalWeight = totals.weight, pending = totals.pending;
  std::int64_t validRows = totals.validRows;
  for (std::size_t i = 0; i < n; ++i) {
    const double weight = w[i];
    if (!(check[i] == 0.0)) {
      // A predictor that is not finite: the row is left out of the pass, and out of its sums as
      // nothing but zeros.
      ++fInvalidCalls;
      totals.anyUnusable = true;
      w[i] = 0.0;
      sums[i] = 1.0;
      for (std::size_t k = 0; k < nCategories; ++k) probabilities[k * kChunk + i] = 0.0;
      for (std::size_t j = 0; j < nZeroTerms; ++j) fvChunkTerms[(1 + j) * kChunk + i] = 0.0;
      continue;
    }
    ++validRows;
    totalWeight += weight;
    // The log of the normalizing sum (between 1 and K) of a row of weight 1 waits in a product, whose
    // log is taken once it has grown large: one log for hundreds of rows instead of one per row.
    double term = weight * arguments[static_cast<std::size_t>(y[i]) * kChunk + i];
    if (weight == 1.0) {
      pending *= sums[i];
      if (pending > kLargePending) {
        term -= std::log(pending);
        pending = 1.0;
      }
    } else {
      term -= weight * std::log(sums[i]);
    }
    // Neumaier's compensated sum: a pass adds millions of terms of one sign.
    const double next = ll + term;
    llLo += std::fabs(ll) >= std::fabs(term) ? (ll - next) + term : (term - next) + ll;
    ll = next;
  }
  totals.ll = ll;
  totals.llLo = llLo;
  totals.weight = totalWeight;
  totals.pending = pending;
  totals.validRows = validRows;
}

void QXAccumStatsLogistic::FinishChunks(ChunkTotals& totals) {
  if (totals.anyUnusable) fbLLMissing = true;
  fLL = totals.ll - std::log(totals.pending);
  fLLLo = totals.llLo;
  fWeight = totals.weight;
  fValidRows = totals.validRows;
}

void QXAccumStatsLogistic::NormalizeChunk(std::size_t n) {
  const std::size_t nCategories = static_cast<std::size_t>(fNCategories);
  const double* w = fvChunkWeights.data();
  const int* y = fvChunkCategories.data();
  double* probabilities = fvChunkProbabilities.data();
  double* sums = fvChunkLargest.data();
  for (std::size_t i = 0; i < n; ++i) sums[i] = 1.0 / sums[i];
  for (std::size_t k = 0; k < nCategories; ++k) {
    double* p = probabilities + k * kChunk;
    for (std::size_t i = 0; i < n; ++i) p[i] *= sums[i];
  }
  if (!fbSeparationCheck) return;
  for (std::size_t i = 0; i < n; ++i) {
    if (w[i] == 0.0) continue;
    for (std::size_t k = 0; k < nCategories; ++k)
      fMinComputed = std::min(fMinComputed, probabilities[k * kChunk + i]);
    const double observed = probabilities[static_cast<std::size_t>(y[i]) * kChunk + i];
    fMinObserved = std::min(fMinObserved, observed);
    fMaxObserved = std::max(fMaxObserved, observed);
  }
}

void QXAccumStatsLogistic::ComputeChunkResiduals(std::size_t n) {
  const std::size_t blocks = static_cast<std::size_t>(fNCategories - 1);
  const double* w = fvChunkWeights.data();
  const int* y = fvChunkCategories.data();
  const auto column = [](std::vector<double>& v, std::size_t c) { return v.data() + c * kChunk; };
  for (std::size_t k = 0; k < blocks; ++k) {
    const double* pk = column(fvChunkProbabilities, k);
    double* out = column(fvChunkResiduals, k);
    for (std::size_t i = 0; i < n; ++i) out[i] = w[i] * ((y[i] == static_cast<int>(k) ? 1.0 : 0.0) - pk[i]);
  }
  std::size_t pair = 0;
  for (std::size_t a = 0; a < blocks; ++a) {
    const double* pa = column(fvChunkProbabilities, a);
    for (std::size_t b = 0; b < a; ++b, ++pair) {
      const double* pb = column(fvChunkProbabilities, b);
      double* out = column(fvChunkPairWeights, pair);
      for (std::size_t i = 0; i < n; ++i) out[i] = -w[i] * pa[i] * pb[i];
    }
    // p_a (1 - p_a) with 1 - p_a summed from the other probabilities, which keeps its digits near 1.
    double* out = column(fvChunkPairWeights, pair++);
    std::fill(out, out + n, 0.0);
    for (std::size_t j = 0; j < static_cast<std::size_t>(fNCategories); ++j) {
      if (j == a) continue;
      const double* pj = column(fvChunkProbabilities, j);
      for (std::size_t i = 0; i < n; ++i) out[i] += pj[i];
    }
    for (std::size_t i = 0; i < n; ++i) out[i] *= w[i] * pa[i];
  }
}

void QXAccumStatsLogistic::AddChunkToPatternSums(std::size_t n, std::size_t nv) {
  const std::size_t blocks = static_cast<std::size_t>(fNCategories - 1);
  const std::size_t pairs = fNPairs;
  const auto column = [](std::vector<double>& v, std::size_t c) { return v.data() + c * kChunk; };
  // The products of the varying values, column after column.
  std::size_t product = 1 + nv;
  for (std::size_t j = 0; j < nv; ++j)
    for (std::size_t l = 0; l <= j; ++l, ++product) {
      const double* a = column(fvChunkTerms, 1 + j);
      const double* b = column(fvChunkTerms, 1 + l);
      double* out = column(fvChunkTerms, product);
      for (std::size_t i = 0; i < n; ++i) out[i] = a[i] * b[i];
    }
  // The sums over the chunk: R[t][k] for the terms 1 and v, C[t][pair] for every term.
  for (std::size_t k = 0; k < blocks; ++k) {
    const double* r = column(fvChunkResiduals, k);
    fvR[k] += SumOf(r, n);
    for (std::size_t t = 1; t <= nv; ++t) fvR[t * blocks + k] += DotOf(column(fvChunkTerms, t), r, n);
  }
  for (std::size_t pr = 0; pr < pairs; ++pr) {
    const double* c = column(fvChunkPairWeights, pr);
    fvC[pr] += SumOf(c, n);
    for (std::size_t t = 1; t < fNTerms; ++t) fvC[t * pairs + pr] += DotOf(column(fvChunkTerms, t), c, n);
  }
}

void QXAccumStatsLogistic::AddChunkToCells(std::size_t n, const double* varying, std::size_t stride) {
  const double* w = fvChunkWeights.data();
  for (std::size_t i = 0; i < n; ++i) {
    if (w[i] == 0.0) continue;  // an unusable row
    const Cell& cell = fvCells[static_cast<std::size_t>(fvChunkCells[i])];
    AddTermsToCell(cell, varying + i * stride, fvChunkResiduals.data() + i, fvChunkPairWeights.data() + i,
                   kChunk);
  }
}

int QXAccumStatsLogistic::UpdateForCellRows(const int* cells, const int* categories, const double* weights,
                                            const double* varying, std::size_t stride, std::size_t nRows,
                                            bool logLikelihoodOnly) {
  if (!fbValid || fNParameters < 1) return -1;
  if (nRows == 0) return 0;
  if (cells == nullptr || categories == nullptr || weights == nullptr || (stride > 0 && varying == nullptr))
    return -1;
  SizeChunk(0, logLikelihoodOnly);
  fvChunkCells.resize(kChunk);
  const std::size_t blocks = static_cast<std::size_t>(fNCategories - 1);
  int result = 0;
  ChunkTotals totals = StartChunks();
  for (std::size_t r = 0; r < nRows && result == 0;) {
    const std::size_t first = r;
    std::size_t n = 0;
    for (; r < nRows && n < kChunk; ++r, ++n) {
      const int id = cells[r];
      if (id < 0 || static_cast<std::size_t>(id) >= fvCells.size() ||
          !AcceptsRow(categories[r], weights[r])) {
        result = -1;
        break;
      }
      Cell& cell = fvCells[static_cast<std::size_t>(id)];
      const std::size_t nv = static_cast<std::size_t>(cell.count - cell.nFixed);
      if (!cell.bNamed || nv > stride) {
        result = -1;
        break;
      }
      if (cell.stamp != fStamp) StartCellPass(cell);
      fvChunkCells[n] = id;
      fvChunkCategories[n] = categories[r];
      fvChunkWeights[n] = weights[r];
      // The predictors as a row of the cell added on its own forms them.
      const double* etaFixed = fvCellDoubles.data() + cell.doublesOffset;
      const double* betaVarying = etaFixed + blocks;
      const double* v = varying + r * stride;
      for (std::size_t k = 0; k < blocks; ++k) {
        double s = etaFixed[k];
        for (std::size_t j = 0; j < nv; ++j) s += betaVarying[k * nv + j] * v[j];
        fvChunkArguments[k * kChunk + n] = s;
      }
    }
    if (n == 0) break;
    ComputeChunkExponentials(n);
    AddChunkToLikelihood(n, 0, totals);
    if (logLikelihoodOnly && !fbSeparationCheck) continue;
    NormalizeChunk(n);
    if (logLikelihoodOnly) continue;
    ComputeChunkResiduals(n);
    AddChunkToCells(n, varying + first * stride, stride);
    fbCellsPending = true;
  }
  FinishChunks(totals);
  return result;
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
  fNTerms = 1 + nv + nv * (nv + 1) / 2;
  if (!logLikelihoodOnly) {
    fNPairs = fNCellPairs;
    fvR.assign((1 + nv) * static_cast<std::size_t>(blocks), 0.0);
    fvC.assign(fNTerms * fNPairs, 0.0);
  }
  SizeChunk(fNTerms, logLikelihoodOnly);

  // The rows go in chunks, column by column: their linear predictors, the exponentials of the whole
  // chunk at once, then, row by row, the log-likelihood; then the probabilities and the sums. Every
  // row's numbers are formed as one row at a time would form them; only the sums over the rows
  // (scores and information) add in another order.
  int result = 0;
  const std::size_t stride = 2 + nv;
  ChunkTotals totals = StartChunks();
  for (std::int64_t r = 0; r < nRows && result == 0;) {
    std::size_t n = 0;
    for (; r < nRows && n < kChunk; ++r, ++n) {
      const double* row = rows + static_cast<std::size_t>(r) * stride;
      const double code = row[0];
      // A category is a whole number from 0 to K - 1; a code of -1 is refused like any other.
      const bool known = code >= 0.0 && code < fNCategories && code == std::floor(code);
      const int category = known ? static_cast<int>(code) : -1;
      const double weight = row[1];
      if (!known || !AcceptsRow(category, weight)) {
        result = -1;
        break;
      }
      fvChunkCategories[n] = category;
      fvChunkWeights[n] = weight;
      for (std::size_t j = 0; j < nv; ++j) fvChunkTerms[(1 + j) * kChunk + n] = row[2 + j];
    }
    if (n == 0) break;
    ComputePatternPredictors(n, nv);
    ComputeChunkExponentials(n);
    AddChunkToLikelihood(n, nv, totals);
    if (logLikelihoodOnly && !fbSeparationCheck) continue;
    NormalizeChunk(n);
    if (logLikelihoodOnly) continue;
    ComputeChunkResiduals(n);
    AddChunkToPatternSums(n, nv);
  }
  FinishChunks(totals);
  if (!logLikelihoodOnly) SpreadPatternSums(indices, fixedValues);
  return result;
}

void QXAccumStatsLogistic::SpreadPatternSums(const std::vector<int>& indices,
                                             const std::vector<double>& fixedValues) {
  const int nFixed = static_cast<int>(fixedValues.size());
  SpreadSums(indices.data(), fixedValues.data(), nFixed, indices.data() + nFixed,
             indices.size() - fixedValues.size(), fvR.data(), fvC.data(), true);
}

void QXAccumStatsLogistic::SpreadSums(const int* fixed, const double* fixedValues, int nFixed,
                                      const int* varying, std::size_t nv, const double* rSums,
                                      const double* cSums, bool termMajor) const {
  const int blocks = fNCategories - 1;
  const std::size_t pairs = static_cast<std::size_t>(blocks) * static_cast<std::size_t>(fNCategories) / 2;
  const std::size_t nTerms = 1 + nv + nv * (nv + 1) / 2;
  const auto r = [&](std::size_t term, int k) {
    return termMajor ? rSums[term * blocks + k] : rSums[static_cast<std::size_t>(k) * (1 + nv) + term];
  };
  const auto c = [&](std::size_t term, std::size_t pair) {
    return termMajor ? cSums[term * pairs + pair] : cSums[pair * nTerms + term];
  };
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
  DisplayI("Cells of the rows", static_cast<long long>(fvCells.size()));
  DisplayB("Valid", fbValid);
  DisplayText(1, "QXAccumStatsLogistic display end");
}

}  // namespace QXMath_600
