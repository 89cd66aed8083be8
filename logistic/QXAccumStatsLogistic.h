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
// Rows handed one at a time (UpdateForRow) are summed per cell: the rows whose design rows share their
// columns and the columns whose value is exactly 1 (for a factor model, the rows of one combination of
// levels). Within a cell the fixed part of every predictor is formed once per pass, and a row adds its
// weights times the products of its other values (the covariates) to the cell's small table, as a
// pattern call does; the tables are spread over the information and the scores once, when the pass's
// sums are first read. A row then costs in proportion to its covariate columns, not to the square of
// its columns. The number of cells and the size of their tables are capped; a row of a new cell beyond
// the cap, or one that names a column twice, is added on its own as before.
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
  const std::vector<double>& GetScores() const override {
    SpreadCells();
    return fvScores;
  }
  bool GetHessian(QXSymMatrix& out) const override {
    SpreadCells();
    return fInformation.GetSymMatrix(out);
  }
  void GetCounts(std::int64_t& valid, std::int64_t& invalid, double& weight) const override;
  void GetMinMaxProbabilities(double& minObserved, double& maxObserved, double& minComputed) const override;
  double GetStepAdjustmentFactor() const override { return 1.0; }
  void Display(bool showMatrix) const override;

  // Refused (-1): no usable parameters, more than 64 columns, a column outside the block or named
  // twice, or a cell beyond the caps of SetCellLimits.
  int AddCell(const std::vector<int>& indices, int nFixed) override;
  std::uint64_t GetCellGeneration() const override { return fCellGeneration; }
  // The rows go in chunks as the rows of a pattern do (their predictors, one call for the chunk's
  // exponentials, their probabilities), then each adds its terms to its cell's sums. Refused also: a
  // cell number not given by AddCell since the generation changed, or a cell with more varying
  // columns than `stride`.
  int UpdateForCellRows(const int* cells, const int* categories, const double* weights, const double* varying,
                        std::size_t stride, std::size_t n, bool logLikelihoodOnly) override;

  // Caps on the cells that UpdateForRow and AddCell keep: their number and the doubles of their
  // tables. Rows of new cells beyond either are added one by one. Clears the cells and starts a new
  // generation of cell numbers.
  void SetCellLimits(std::size_t maxCells, std::size_t maxDoubles);
  static constexpr std::size_t kDefaultMaxCells = std::size_t{1} << 15;
  static constexpr std::size_t kDefaultMaxCellDoubles = std::size_t{1} << 20;  // 8 MB
  std::size_t GetNCells() const { return fvCells.size(); }

 private:
  const QXLogRegSettings* fpSettings;
  int fNParameters;
  int fNCategories;
  const std::vector<double>* fpBeta;
  // The log-likelihood as a compensated sum (value + accumulated rounding errors).
  double fLL = 0.0;
  double fLLLo = 0.0;
  bool fbLLMissing = false;
  // Mutable: the cells' sums join them when they are first read.
  mutable std::vector<double> fvScores;
  mutable QXSymBlockMatrix fInformation;
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
  // What a call adds over its chunks to the log-likelihood and the counts, kept in locals while the
  // rows go by and stored once at the end (FinishChunks).
  struct ChunkTotals {
    double ll, llLo, weight;
    double pending = 1.0;  // a product of normalizing sums whose log is still to be subtracted
    std::int64_t validRows;
    bool anyUnusable = false;
  };
  ChunkTotals StartChunks() const { return {fLL, fLLLo, fWeight, 1.0, fValidRows, false}; }
  void FinishChunks(ChunkTotals& totals);
  // Sizes the chunk's columns (once: later calls find them sized).
  void SizeChunk(std::size_t nTermColumns, bool logLikelihoodOnly);
  // The linear predictors of the chunk's rows of a pattern (their varying values in the columns of the
  // terms) into the first K - 1 columns of the arguments.
  void ComputePatternPredictors(std::size_t nRows, std::size_t nVarying);
  // From the predictors in the arguments' columns: the finiteness check, the arguments eta_k - max eta
  // (the reference's too) and their exponentials into the probabilities' columns.
  void ComputeChunkExponentials(std::size_t nRows);
  // Row by row in their order: the normalizing sums and the log-likelihood, as UpdateForRow adds it.
  // A row whose predictors are not all finite is counted as unusable and left out of the chunk's sums
  // (its weight, probabilities and first nZeroTerms varying values become 0).
  void AddChunkToLikelihood(std::size_t nRows, std::size_t nZeroTerms, ChunkTotals& totals);
  // The probabilities from the exponentials, and the extremes the separation check keeps.
  void NormalizeChunk(std::size_t nRows);
  // The residuals w (d_yk - p_k) of every block and the weights of every pair of blocks.
  void ComputeChunkResiduals(std::size_t nRows);
  // Adds the chunk's rows (their residuals, pair weights and terms) to the pattern sums.
  void AddChunkToPatternSums(std::size_t nRows, std::size_t nVarying);
  // Adds each row of the chunk of cell rows to its cell's sums; row i's varying values at
  // varying[i * stride].
  void AddChunkToCells(std::size_t nRows, const double* varying, std::size_t stride);
  // Spreads the pattern sums over the pattern's columns and clears them.
  void SpreadPatternSums(const std::vector<int>& indices, const std::vector<double>& fixedValues);
  // Adds sums R and C of rows with the columns `fixed` (values fixedValues) and `varying` to the scores
  // and the information: laid out term after term as fvR and fvC (termMajor), or block after block
  // and pair after pair as a cell's.
  void SpreadSums(const int* fixed, const double* fixedValues, int nFixed, const int* varying, std::size_t nv,
                  const double* r, const double* c, bool termMajor) const;

  // A cell of the rows handed one at a time. Its key is the row's columns in their order with a bit
  // per column whose value is 1; its columns are kept fixed ones first. Per pass (stamp): the fixed
  // part of every block's predictor, the parameters of the varying columns and the sums R and C.
  struct Cell {
    std::uint64_t hash = 0;
    std::uint64_t ones = 0;
    int count = 0;
    int nFixed = 0;
    std::size_t keyOffset = 0;      // into fvCellInts: count columns in the row's order
    std::size_t columnsOffset = 0;  // into fvCellInts: count columns, fixed ones first
    std::size_t varyingOffset = 0;  // into fvCellInts: the varying columns' positions in the row
    // Into fvCellDoubles: eta fixed, beta varying, R and C. R and C block by block and pair by pair,
    // each over the terms, so that a row adds its terms to contiguous sums.
    std::size_t doublesOffset = 0;
    std::uint64_t stamp = 0;
    bool bNamed = false;  // numbered for the caller by AddCell, not found by its columns
  };
  // Checks a new cell's columns (inside the block, none twice, at most kMaxCellColumns) and the caps,
  // then reserves its sums; false, nothing changed, when it cannot be kept.
  bool ReserveCell(const std::vector<int>& indices, std::size_t nFixed, Cell& cell);
  // The cell's first row of the pass: its fixed predictors and varying parameters from the pass's
  // parameters, its sums to 0.
  void StartCellPass(Cell& cell);
  // Adds a row's terms (1, its varying values, their products) to a cell's sums, with the row's
  // residual of block k at residuals[k * step] and the weight of pair q at pairWeights[q * step].
  void AddTermsToCell(const Cell& cell, const double* varying, const double* residuals,
                      const double* pairWeights, std::size_t step);
  // Takes a row through its cell; false when it has none (cap, repeated column, long row).
  bool UpdateCell(const std::vector<int>& indices, const std::vector<double>& values, int category,
                  double weight, bool logLikelihoodOnly, int& result);
  // The cell of a row, created when new and within the caps; null otherwise.
  Cell* FindCell(const std::vector<int>& indices, std::uint64_t ones, std::uint64_t hash);
  Cell* CreateCell(const std::vector<int>& indices, std::uint64_t ones, std::uint64_t hash);
  // Adds the sums of the cells of this pass to the scores and the information.
  void SpreadCells() const;

  std::vector<Cell> fvCells;
  std::vector<int> fvCellInts;
  mutable std::vector<double> fvCellDoubles;
  static constexpr std::size_t kMaxCellColumns = 64;
  std::size_t fNCellPairs = 0;  // pairs of blocks (a, b), b <= a
  // Open addressing over the cells: 0 for an empty slot, else the cell's position + 1.
  std::vector<int> fvCellSlots;
  std::vector<double> fvOnes;
  std::vector<double> fvRowTerms;
  std::uint64_t fStamp = 1;
  std::uint64_t fCellGeneration = 0;
  // A row's residuals and pair weights, for rows added to their cells one at a time.
  std::vector<double> fvRowResiduals, fvRowPairWeights, fvRowValues;
  mutable bool fbCellsPending = false;
  std::size_t fMaxCells = kDefaultMaxCells;
  std::size_t fMaxCellDoubles = kDefaultMaxCellDoubles;

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
  std::vector<int> fvChunkCategories, fvChunkCells;
  std::vector<double> fvChunkArguments, fvChunkProbabilities, fvChunkTerms, fvChunkResiduals,
      fvChunkPairWeights, fvChunkLargest, fvChunkCheck;
};

}  // namespace QXMath_600
