// The sums of one pass of the multinomial logistic fit at the current parameters b: the
// log-likelihood sum w log p_y, the score vector sum w (d_yk - p_k) x for every non-reference block k,
// and the Fisher information sum w (diag(p) - p p') (x) x x' kept block by block, where p are the
// fitted probabilities of the row's design x and y is its category. With the separation check on, it
// also keeps the smallest and the largest fitted probability of the observed category and the smallest
// fitted probability of any category.
//
// The rows come as sparse design rows over the estimated parameters of one block, so a row costs in
// proportion to its non-zero entries (squared, for the information), not to the number of
// parameters. Probabilities are formed with the largest linear predictor subtracted and the
// log-likelihood from the log of the reference's probability, so neither overflows; 1 - p_a in the
// information is summed from the other probabilities, which keeps its digits when p_a is near 1.
//
// The rows of a pattern (UpdateForPattern) share their columns, and the fixed ones their values: their
// linear predictors start from the fixed columns' part, formed once, and their scores and information
// are summed over the call as the weights c, c v and c v v' of the varying values v, then spread over
// the columns once. A row then costs in proportion to its varying columns only (squared, for the
// information).
//
// Parameters under which some row's linear predictor is not a finite number make the log-likelihood
// of the pass missing (the optimizer then halves its step) rather than refusing the row: the row is
// sound, the trial parameters are not.
#pragma once

#include <cstdint>
#include <vector>

#include "common/QXExport.h"
#include "common/QXSymBlockMatrix.h"
#include "logistic/IQXAccumStats.h"
#include "settings/QXLogRegSettings.h"

namespace QXMath_600 {

class QXREGRES_API QXAccumStatsLogistic : public IQXAccumStats {
 public:
  // nParameters: the estimated parameters of one block; nCategories: K; beta: the current parameters,
  // (K - 1) nParameters values, block after block, owned by the caller and read on every row. The
  // settings and beta are borrowed.
  QXAccumStatsLogistic(const QXLogRegSettings& settings, int nParameters, int nCategories,
                       const std::vector<double>& beta);

  // Whether the arguments were usable and the information matrix could be allocated.
  bool IsValid() const { return fbValid; }

  void Reset(QXConst::QXHessianCompMethod method, bool separationCheck) override;
  bool CheckConstraints() const override { return true; }
  // Refused: an invalid row (an index outside the block, mismatched lengths), a category outside
  // 0 .. K - 1, a weight that is not a finite positive number, or an accumulator that is not valid.
  int UpdateForRow(const std::vector<int>& indices, const std::vector<double>& values, int category,
                   double weight, bool logLikelihoodOnly) override;
  int UpdateForPattern(const std::vector<int>& indices, const std::vector<double>& fixedValues,
                       const double* rows, std::int64_t nRows, bool logLikelihoodOnly) override;
  double GetLL() const override;
  const std::vector<double>& GetScores() const override { return fvScores; }
  bool GetHessian(QXSymMatrix& out) const override { return fInformation.GetSymMatrix(out); }
  void GetCounts(std::int64_t& valid, std::int64_t& invalid, double& weight) const override;
  void GetMinMaxProbabilities(double& minObserved, double& maxObserved, double& minComputed) const override;
  double GetStepAdjustmentFactor() const override { return 1.0; }
  void Display(bool showMatrix) const override;

 private:
  const QXLogRegSettings* fpSettings;
  int fNParameters;
  int fNCategories;
  const std::vector<double>* fpBeta;
  // The log-likelihood as a compensated sum (value + accumulated rounding errors).
  double fLL = 0.0;
  double fLLLo = 0.0;
  bool fbLLMissing = false;
  std::vector<double> fvScores;
  QXSymBlockMatrix fInformation;
  std::int64_t fValidRows = 0;
  std::int64_t fInvalidCalls = 0;
  double fWeight = 0.0;
  QXConst::QXHessianCompMethod fMethod = QXConst::QXHessianFisher;
  bool fbSeparationCheck = false;
  double fMinObserved;
  double fMaxObserved;
  double fMinComputed;
  bool fbValid = false;
  // Per-row work, sized once.
  std::vector<double> fvEta;
  std::vector<double> fvProbabilities;
  // The terms of a row's x x' and their positions in a block; they grow to the longest row once.
  std::vector<double> fvOuterProducts;
  std::vector<std::size_t> fvOuterPositions;

  // Checks a row's category and weight; false when the row must be refused.
  bool AcceptsRow(int category, double weight) const;
  // Softmax of fvEta (the reference's 0 last) into fvProbabilities; the log of the reference's
  // probability, or the system-missing value when a predictor is not finite.
  double ComputeProbabilities();
  // Counts the row and adds it to the log-likelihood and the extremes of the probabilities.
  void AddToLikelihood(int category, double weight, double logReference);
  // The exponentials of eta_k - max eta of the chunk's rows (their varying values in the columns of
  // the terms) into the probabilities' columns, with their arguments and the finiteness check.
  void ComputeChunkExponentials(std::size_t nRows, std::size_t nVarying);
  // Adds the chunk's rows (their probabilities, weights, categories and terms) to the pattern sums.
  void AddChunkToPatternSums(std::size_t nRows, std::size_t nVarying);
  // Spreads the pattern sums over the pattern's columns and clears them.
  void SpreadPatternSums(const std::vector<int>& indices, const std::vector<double>& fixedValues);

  // Sums over the rows of the current pattern call, with the terms t of a row (1, its varying values v,
  // their products v_j v_l for l <= j): R[t][k] = sum t r_k with r_k = w (d_yk - p_k) per block k, and
  // C[t][pair] = sum t c with c = w (d_ab p_a - p_a p_b) per pair of blocks (a, b), b <= a. Also the
  // parameters of the varying columns, block after block, the fixed part of every block's predictor,
  // and the numbers of terms and of pairs.
  std::vector<double> fvBetaVarying;
  std::vector<double> fvEtaFixed;
  std::vector<double> fvR, fvC;
  std::size_t fNTerms = 0, fNPairs = 0;
  // The rows of a pattern call go in chunks, column by column (rows of one column back to back), so
  // that the exponentials run over many rows at once and the sums as dot products rather than one
  // update per row: the rows' weights and categories; per category the arguments of the exponentials
  // and the probabilities; the terms, the residuals and the pair weights; per row the largest
  // predictor (then the normalizing sum) and the finiteness check (0 when every predictor is finite).
  static constexpr std::size_t kChunk = 256;
  std::vector<double> fvChunkWeights;
  std::vector<int> fvChunkCategories;
  std::vector<double> fvChunkArguments, fvChunkProbabilities, fvChunkTerms, fvChunkResiduals,
      fvChunkPairWeights, fvChunkLargest, fvChunkCheck;
};

}  // namespace QXMath_600
