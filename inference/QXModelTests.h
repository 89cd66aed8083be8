// Wald tests of linear hypotheses L b = h about the parameters b of a fitted model, given the
// estimates, their covariance matrix V and the residual degrees of freedom. All rows of the contrast
// matrix L are tested jointly (F or chi-square on the rank of L V L') and one by one (t or chi-square
// on one degree of freedom); the individual significances are adjusted for multiplicity and the
// contrast estimates get confidence bounds. The ComputeOriginal operations test contrasts T mu of the
// means mu = g^-1(L b) on the response scale of a model with a link function g, by the delta method.
//
// The object borrows the estimates, the covariance matrix, the redundancy set, the link function, the
// Satterthwaite object and the cancel query: the caller keeps them alive and unchanged while the
// object is in use. Results go into QXTestStats records; a statistic that cannot be formed stays
// QXMV::gMissingValue.
//
// Test types: 0 overall F and individual t; 1 individual t only; 2 overall and individual
// chi-square; 3 individual chi-square only. Critical values come from Student's t for types 0 and 1
// and from the standard normal for types 2 and 3; any other type gives no statistics.
//
// Row map: several tests classify the rows of a contrast matrix, one entry per row: -1 for a distinct
// row, -2 for a row of zeros, and i for a row that is a multiple of the earlier distinct row i. The
// number of distinct rows m is the multiplier of every adjustment.
//
// Status codes: 322 when L does not have one column per parameter (discrete data: the columns of L and
// the number of parameters); 336 when the covariance matrix does not have one row per parameter; 303
// for other arguments that do not fit together (hypothesis values, a transformation T without one
// column per row of L, an original-scale test without a link function); 321 (a warning) from
// ComputeModelTest for an empty L; 1 when an original-scale overall test is cancelled.
#pragma once

#include <cstddef>
#include <vector>

#include "common/QXBitSet.h"
#include "common/QXCallbacks.h"
#include "common/QXExport.h"
#include "common/QXMissingValue.h"
#include "common/QXRectMatrix.h"
#include "common/QXStatus.h"
#include "common/QXSymMatrix.h"
#include "inference/QXModelTestStats.h"
#include "inference/QXTestStats.h"
#include "settings/QXConst.h"

namespace QXMath_600 {

class IQXLinkFunc;
class IQXWorkMonitor;
class QXSatterthwaite;

class QXREGRES_API QXModelTests {
 public:
  // df is the denominator (residual) degrees of freedom of F and t tests; cancelQuery may be null.
  QXModelTests(const std::vector<double>& estimates, const QXBitSet& redundancy,
               const QXSymMatrix& covariance, double df, QXCommon_600::QXQueryCancel* cancelQuery);

  void SetTestType(QXConst::QXTestType type);
  QXConst::QXTestType GetTestType() const { return fTestType; }
  void SetPAdjustment(QXConst::QXPAdjustMethod method) { fPAdjustment = method; }
  QXConst::QXPAdjustMethod GetPAdjustment() const { return fPAdjustment; }
  // Needed by the original-scale tests; not owned.
  void SetLinkFunction(const IQXLinkFunc* link) { fpLinkFunction = link; }
  // Satterthwaite degrees of freedom replace df in F and t tests while set; not owned.
  void SetSatterthwaite(QXSatterthwaite* satterthwaite) { fpSatterthwaite = satterthwaite; }
  // Stores df and recomputes the percentile when a confidence level is set.
  void SetDF(double df);
  double GetDF() const { return fDF; }
  // The level as a fraction in [0, 1), such as 0.95; other values are refused (false, no change).
  // Sets the percentile, the two-sided critical value of the level for the current test type.
  bool SetConfidenceLevel(double level);
  double GetConfidenceLevel() const { return fConfidenceLevel; }
  double GetPercentile() const { return fPercentile; }
  // Sets the cancelled flag; the tests ask the cancel query, not this flag.
  void Cancel() { fbCancelled = true; }
  // The generalized inverses of large hypothesis matrices report their progress to a monitor (not
  // owned, may be null), which may stop them; a stopped inverse leaves the test's statistics missing.
  void SetWorkMonitor(IQXWorkMonitor* monitor) { fpWorkMonitor = monitor; }
  bool IsCancelled() const { return fbCancelled; }
  // Success, or status 1 after an original-scale overall test was cancelled.
  const QXCommon_600::QXStatus& GetStatus() const { return fStatus; }

  // The p quantile of the distribution of the current test type: the standard normal for types 2 and
  // 3, Student's t at df (the member df when df is not positive) for types 0 and 1; missing for other
  // types.
  double ComputePercentile(double p, double df) const;
  // The critical value of a two-sided interval at error rate alpha adjusted for n tests: probability
  // 1 - alpha/2 for method 0, 1 - alpha/(2n) for Bonferroni (1), 0.5 (1 - alpha)^(1/n) + 0.5 for Sidak
  // (3), through the distribution of ComputePercentile. Missing for the sequential methods (2, 4), for
  // alpha outside (0, 1] and for n < 1.
  double ComputeAdjPercentile(QXConst::QXPAdjustMethod method, double alpha, int n, double df) const;

  // Overall test of L b = 0 into stats; with an adjustment method, the adjusted significance is drawn
  // from the tests of the distinct rows.
  QXCommon_600::QXStatus ComputeOverallTest(const QXRectMatrix& L, QXTestStats& stats) const;
  // Records one test of a model effect in modelTestStats: a status that is an error, or a warning
  // other than 321, is recorded and returned without a test; an empty L gives the warning 321.
  QXCommon_600::QXStatus ComputeModelTest(const QXRectMatrix& L, const QXCommon_600::QXStatus& status,
                                          QXModelTestStats& modelTestStats) const;
  // The same record for a full-rank L whose Wald form W = (L b)' (L V L')^- (L b) the caller already
  // has exactly, with rank the rows of L (the linear model's Type I sum of squares over sigma^2): L V L'
  // is not formed. Only row tests for an adjustment method still read V.
  QXCommon_600::QXStatus ComputeModelTestOfForm(const QXRectMatrix& L, double w,
                                                QXModelTestStats& modelTestStats) const;
  // Test of row `row` of L against the value h, adjusted for m tests. Bounds are formed when asked and
  // a confidence level is set. The statistics of stats are replaced; its place in an overall test
  // (used-in-overall, number of non-redundant rows) is kept. False when the row cannot be read or its
  // variance cannot be formed.
  bool ComputeIndivTest(const QXRectMatrix& L, int row, double h, int m, QXTestStats& stats,
                        bool withBounds) const;
  // Overall test of L b = h and the test of every row, with the adjustment method (including the
  // sequential step-down forms). h holds one value per row of L, or is empty for h = 0. individual
  // is resized to the rows of L, and every record gets the statistics of its row. With m < 1 the
  // multiplier is the number of distinct rows; with m >= 1 it is m and every row counts as distinct.
  // Overall records, here and in the other tests, are cleared before they are filled.
  QXCommon_600::QXStatus ComputeOvAndIndTests(const QXRectMatrix& L, const std::vector<double>& h,
                                              std::vector<QXTestStats>& individual, QXTestStats& overall,
                                              int m) const;

  // The same tests on the response scale: L maps the parameters b to linear predictors eta = L b,
  // mu = g^-1(eta), and the hypotheses are T mu = 0 (T has one column per row of L). Standard errors
  // come from the delta method with d mu / d eta from IQXLinkFunc::InverseLinkDerivative (1 / g'(mu)
  // for the ordinary links, the cumulative links' own Derivative).
  QXCommon_600::QXStatus ComputeOriginalOverallTest(const QXRectMatrix& L, const std::vector<double>& b,
                                                    const QXRectMatrix& T, QXTestStats& stats);
  QXCommon_600::QXStatus ComputeOriginalOvAndIndTests(const QXRectMatrix& L, const std::vector<double>& b,
                                                      const QXRectMatrix& T,
                                                      std::vector<QXTestStats>& individual,
                                                      QXTestStats& overall, int m) const;

  void Display() const;

 private:
  // W = d' (S)^- d with d = L b - h (h empty: d = L b) and S = L V L'. rank and kept (the rows of L
  // the generalized inverse kept) are written; d receives the differences. W is missing when it
  // cannot be formed.
  double ComputeChiSquare(const QXRectMatrix& L, const std::vector<double>& h, int& rank, QXBitSet& kept,
                          std::vector<double>& d) const;
  // Generalized inverse of a hypothesis matrix with its rank; near-zero off-diagonal noise removed.
  int ComputeInverse(const QXSymMatrix& S, QXSymMatrix& inverse, QXBitSet& kept) const;
  // The reference diagonal of a hypothesis matrix's pivot tests.
  static std::vector<double> ReferenceDiagonal(const QXSymMatrix& S);
  // D (rows of L square) with D_ii = d mu_i / d eta_i = 1 / g'(mu_i), missing where it cannot be
  // formed; mu receives the means. False when L b cannot be formed.
  bool ComputeDiagMatrix(const QXRectMatrix& L, const std::vector<double>& b, QXRectMatrix& D,
                         std::vector<double>& mu) const;
  // W of T mu = 0 with S = G V G', G = T D L (D and mu from ComputeDiagMatrix); df is the member df
  // or the Satterthwaite value for G. d receives T mu; W is missing when a mean that T needs is
  // missing.
  double ComputeOriginalChiSquare(const QXRectMatrix& L, const QXRectMatrix& T, const QXRectMatrix& D,
                                  const std::vector<double>& mu, int& rank, QXBitSet& kept, double& df,
                                  std::vector<double>& d) const;
  // The estimate t' mu of row `row` of T, its delta-method variance and its denominator df.
  double ComputeOriginalEstimDenomDf(const QXRectMatrix& T, int row, const QXRectMatrix& L,
                                     const QXRectMatrix& D, const std::vector<double>& mu, double& var,
                                     double& df) const;
  // t' mu for row `row` of T and its gradient t' D L with respect to b. A missing mean that the row
  // uses makes the estimate missing and the gradient empty.
  static double ContrastOfMeans(const QXRectMatrix& T, int row, const QXRectMatrix& L, const QXRectMatrix& D,
                                const std::vector<double>& mu, std::vector<double>& gradient);
  bool ComputeOriginalIndivTest(double estimate, double var, int m, QXTestStats& stats, double df2,
                                bool withBounds) const;
  // The overall statistic of T mu = 0 into stats, shared by the two original-scale overall tests; D,
  // mu and the rows the inverse kept are left for the row tests.
  void SetOriginalOverallStatistic(const QXRectMatrix& L, const std::vector<double>& b, const QXRectMatrix& T,
                                   QXRectMatrix& D, std::vector<double>& mu, QXBitSet& kept,
                                   QXTestStats& stats) const;
  // Row `row` of T tested on the response scale.
  void TestOriginalRow(const QXRectMatrix& T, int row, const QXRectMatrix& L, const QXRectMatrix& D,
                       const std::vector<double>& mu, int m, bool withBounds, QXTestStats& stats) const;

  // How a single contrast is tested: the linear-predictor form (ComputeIndivTest) or the
  // response-scale form, which needs positive df for a t p-value and for bounds.
  enum class ContrastScale { kLinear, kOriginal };
  bool TestContrast(double estimate, double h, double var, int m, double df2, bool withBounds,
                    ContrastScale scale, QXTestStats& stats) const;
  // The denominator df of a contrast l (gradient of the tested quantity in b): the member df, or the
  // Satterthwaite value.
  double ContrastDF(const std::vector<double>& l) const;

  // Overall statistic from W and the rank, shared by the four overall tests. formF false leaves the F
  // statistic of type 0 unformed. d is L b - h (or T mu) for the check of an untestable hypothesis.
  void SetOverallStatistic(double w, int rank, double df2, bool formF, const std::vector<double>& d,
                           QXTestStats& stats) const;
  // ComputeOverallTest, with the Wald form given (`form` not null: W and the rank of L) or formed.
  QXCommon_600::QXStatus OverallTest(const QXRectMatrix& L, const double* form, QXTestStats& stats) const;
  // Row map of L with right-hand values h (empty: 0) into map; returns the number of distinct rows.
  static int ComputeRowMap(const QXRectMatrix& L, const std::vector<double>& h, std::vector<int>& map);
  // The row map of M (values h) and its count when m < 1, else every row distinct and m as given; then
  // one record per row with its place in the overall test. Returns the multiplier.
  static int PrepareRows(const QXRectMatrix& M, const std::vector<double>& h, int m, const QXBitSet& kept,
                         std::vector<int>& map, std::vector<QXTestStats>& individual, QXTestStats& overall);
  // The adjusted significance of the overall test from the smallest row significances.
  void SetOverallAdjSig(double minSig, double minAdjSig, int m, QXTestStats& stats) const;
  // Step-down (sequential Bonferroni or Sidak) over the rows, then the overall adjusted significance.
  void FinishIndividualTests(const std::vector<int>& map, int m, std::vector<QXTestStats>& individual,
                             QXTestStats& overall) const;
  void ApplyStepDown(const std::vector<int>& map, int m, std::vector<QXTestStats>& individual) const;

  // Critical value whose upper-tail probability is `upper`, for the current test type: working with
  // the upper tail keeps the digits of small error rates.
  double CriticalValue(double upper, double df) const;
  // Upper-tail probability of the two-sided critical value of method 0, 1 or 3 at error rate alpha
  // for n tests; missing otherwise.
  static double AdjustedUpperTail(QXConst::QXPAdjustMethod method, double alpha, int n);
  // The single-step adjusted significance of method 0, 1 or 3 for n >= 1 tests, capped at 1; missing
  // otherwise.
  double AdjustSig(double sig, int n) const;
  bool IsTType() const {
    return fTestType == QXConst::QXTestWaldF || fTestType == QXConst::QXTestIndividualT;
  }
  bool IsChiType() const {
    return fTestType == QXConst::QXTestChiSquare || fTestType == QXConst::QXTestIndividualChiSquare;
  }
  bool HasOverallType() const {
    return fTestType == QXConst::QXTestWaldF || fTestType == QXConst::QXTestChiSquare;
  }
  bool IsSequential() const {
    return fPAdjustment == QXConst::QXPAdjSeqBonferroni || fPAdjustment == QXConst::QXPAdjSeqSidak;
  }
  void UpdatePercentile();
  // Common argument checks of the tests; success when L fits the parameters b.
  QXCommon_600::QXStatus CheckColumns(const QXRectMatrix& L, std::size_t nParameters) const;
  // CheckColumns against b, then T against the rows of L and the presence of a link function.
  QXCommon_600::QXStatus CheckOriginal(const QXRectMatrix& L, const std::vector<double>& b,
                                       const QXRectMatrix& T) const;

  const std::vector<double>& fvEstimates;
  const QXSymMatrix& fCovariance;
  const QXBitSet& fRedundancy;
  double fDF;
  QXConst::QXTestType fTestType = QXConst::QXTestChiSquare;
  QXConst::QXPAdjustMethod fPAdjustment = QXConst::QXPAdjLSD;
  bool fbCancelled = false;
  QXCommon_600::QXStatus fStatus;
  const IQXLinkFunc* fpLinkFunction = nullptr;
  QXCommon_600::QXQueryCancel* fpCancelQuery;
  IQXWorkMonitor* fpWorkMonitor = nullptr;
  QXSatterthwaite* fpSatterthwaite = nullptr;
  double fPercentile = QXMV::gMissingValue;
  double fConfidenceLevel = QXMV::gMissingValue;
};

}  // namespace QXMath_600
