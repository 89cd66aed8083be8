// Estimated marginal means of a fitted model and the comparisons among them. For each requested
// combination of factor levels the mean is the model's prediction averaged with equal weight over
// the levels of the other factors, with covariates held at their means or at given values: a linear
// combination l'b of the estimates, one row l of the request's L matrix. Its standard error is
// sqrt(l'Vl); a link function carries means and bounds to the response scale. Within a request, the
// rows that share the levels of every factor but the compare factor form a test group ("test"),
// inside which the means are compared by a contrast, by all pairwise differences with p-value
// adjustment, or by an overall test that they are all equal.
//
// Marginal means read only the fitted model (estimates, covariance, parameters, category counts),
// never the data: their cost depends on the numbers of levels and parameters, not of records.
//
// How a caller builds requests (variables are record indices; levels are zero-based level indices):
//   means of A                      spec.AddFactor(A)
//   cell means of A x B             spec.AddFactor(A); spec.AddFactor(B)
//   A compared within each B        spec.AddFactor(A); spec.AddFactor(B); spec.AddCompareFactor(A)
//   A compared (no grouping)        spec.AddFactor(A); spec.AddCompareFactor(A)
//   cells of A x B compared within  AddFactor(A), AddFactor(B), AddFactor(C), AddCompareFactor(A),
//   each C                          AddCompareFactor(B): the compared "categories" are then the
//                                   combinations of GetPWCombinations, numbered 0 .. K-1
//   contrast kind                   SetContrastType: QXContrastPairwise (the default) gives the pairs
//                                   of GetPairwiseEmmeansTests; simple, deviation, Helmert,
//                                   difference, repeated and polynomial give GetEmmeansTests
//   simple contrast's reference     SetContrastType(QXContrastSimple); SetRefCateg(level); without a
//                                   reference the test's last level is the reference
//   polynomial scores               SetMetricValueList (one per observed level, increasing); without
//                                   them 1, 2, ..., k
//   adjustment                      SetPAdjust: least significant difference (none), Bonferroni,
//                                   Sidak, and the step-down forms sequential Bonferroni (Holm) and
//                                   sequential Sidak (Holm-Sidak)
//   scale                           SetEmmScaleType: QXEmmTransformed reports the linear predictor
//                                   (the link scale); QXEmmOriginal the response scale through the
//                                   link given at construction (identity for a linear model; with no
//                                   link at all the identity is used)
//   covariate held at a value       spec.AddCovariate(x, value); covariates not listed, or listed with
//                                   QXMV::gMissingValue, are held at their means
// A caller then constructs the object, calls SetEmmeansTesting, and reads GetEmmeansStats(s) for the
// means and, for each test t < GetNEmmeansTests(s), GetPairwiseEmmeansTests(s, t, p) for p <
// GetNPairwiseEmmeansTests(s, t) (pair p = (i, j) compares the test's categories i and j),
// GetEmmeansTests(s, t) for a contrast, and GetPairwiseOverallTest(s, t) for the joint test.
//
// What the caller passes from a fitted model (an IQXRegOutputStats and the settings it was fitted
// with):
//   - the lite design rebuilt from the parameters (QXLiteDesignMatrix over the settings' factors,
//     their numbers of categories and covariates, then AddRegrParameter for each parameter);
//   - the estimates, the covariate means (the first entries of GetMeanValues) and the category counts
//     (&GetFactorCounts());
//   - the link: QXLinkTypeIdentity for the linear model, QXLinkTypeLogit for logistic regression;
//   - for SetEmmeansTesting, the covariance of the estimates, the redundancy set and the error degrees
//     of freedom. The linear model's GetCovarianceMatrix is unscaled: multiply a copy by sigma^2 =
//     RMSE^2 W / GetNDegFreedom(). A logistic model's covariance is used as it is, with test type
//     QXTestChiSquare in the settings for normal-theory (z) tests and intervals.
//   - Multinomial logistic regression has one block of parameters per non-reference category: pass
//     the parameters of one block to the lite design, and that block's estimates, covariance block
//     and redundancy bits; the means are then the logits of that category against the reference.
//
// Statuses. Errors that leave the object unusable stick (every later call returns them without doing
// any work): 335 (the lite design does not match the settings or the estimates), 303 at construction
// (covariate means or category counts that do not fit the settings) and 1 (cancelled). Errors of one
// call (an index out of range: 328, 329; a call out of order or with bad arguments: 303) are returned
// and change nothing. Each specification has its own status (GetSpecStatus):
//   333  the specification cannot be computed: it names a factor the settings lack, a covariate value
//        for a variable that is not a covariate (or a value that is not finite), a compare factor that
//        is not among its factors, a variable twice, a scale type other than 0 and 1, or several
//        compare factors in a design with empty cells (data: specification index, variable)
//   303  its nesting levels do not fit its factors (datum: specification index)
//   324  its compare factor has fewer than two observed categories, or (empty cells) no test group has
//        two rows; 325 a polynomial contrast with fewer metric values than observed categories: these
//        two stop the comparisons only, the means are still computed
//   326, 327 (warnings) more metric values than observed categories; a simple contrast's reference
//        category that is not observed (the last category is used)
// A specification that is an error of kind 333 or 303 gives no means.
//
// Pointers and references the object hands out stay valid until the next call that builds an L
// matrix. The settings, the lite design, the cancel object, the covariance matrix and the
// Satterthwaite object are borrowed and must outlive the object; everything else is copied.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "common/QXBitSet.h"
#include "common/QXExport.h"
#include "common/QXRectMatrix.h"
#include "common/QXStatus.h"
#include "common/QXSymMatrix.h"
#include "design/QXFactorCounts.h"
#include "design/QXLiteDesignMatrix.h"
#include "inference/QXModelTests.h"
#include "inference/QXTestStats.h"
#include "links/IQXLinkFunc.h"
#include "marginals/QXEmmeansSpec.h"
#include "marginals/QXEmmeansStats.h"
#include "records/QXCancelInfo.h"
#include "settings/QXConst.h"
#include "settings/QXModelEffect.h"
#include "settings/QXRegSettings.h"

namespace QXMath_600 {

class QXEmmeansCellTable;
class QXMultiCompare;
class QXSatterthwaite;

class QXREGRES_API QXMarginals {
 public:
  // The full form: settings the model was fitted with, the requests, the fitted model's lite design
  // and estimates, the cancel object, the covariate means (settings order), the category counts (may
  // be null: every category then counts as observed), and the link with its parameter.
  QXMarginals(const QXRegSettings& settings, const std::vector<QXEmmeansSpec>& specs,
              QXLiteDesignMatrix& liteDesign, const std::vector<double>& estimates, QXCancelInfo& cancel,
              const std::vector<double>& covariateMeans, const QXFactorCounts* counts,
              QXConst::LinkType linkType, double linkParam);
  // Without requests or link: serves GetFactorEmmeans and GetCovarEmmeans.
  QXMarginals(const QXRegSettings& settings, QXLiteDesignMatrix& liteDesign,
              const std::vector<double>& estimates, QXCancelInfo& cancel,
              const std::vector<double>& covariateMeans, const QXFactorCounts* counts);
  QXMarginals(const QXMarginals&) = delete;
  QXMarginals& operator=(const QXMarginals&) = delete;
  ~QXMarginals();

  // Replaces the link, for the means and the tests alike; false (and no link: the identity is then
  // used) for a type that names none.
  bool SetLinkFunction(QXConst::LinkType type, double param);

  // The covariance V of the estimates (borrowed), the redundancy set (copied; handed to the tests),
  // the error degrees of freedom and an optional Satterthwaite object (borrowed) that gives each mean
  // and each contrast its own degrees of freedom. 303 for a null V or negative df; 336 when V's order
  // is not the number of estimates or the set is shorter.
  QXCommon_600::QXStatus SetEmmeansTesting(const QXSymMatrix* covariance, const QXBitSet& redundancy,
                                           double df, QXSatterthwaite* satterthwaite);

  // One record per row of specification s's L matrix: the row's levels (in the specification's factor
  // order, nesting applied), the mean, its standard error and confidence bounds on the specification's
  // scale, and the degrees of freedom of the bounds (missing for normal-theory test types).
  // Significance and statistic stay missing. 303 before SetEmmeansTesting; 328 for s out of range.
  QXCommon_600::QXStatus GetEmmeansStats(int s, const QXEmmeansSpec*& spec, const QXRectMatrix*& L,
                                         std::vector<QXEmmeansStats>& stats);
  // The mean (l'b, linear-predictor scale) of every observed level of factor variable f, covariates at
  // their means; means has (largest observed level + 1) entries, missing at levels not observed. 328
  // when f is not a factor variable.
  QXCommon_600::QXStatus GetFactorEmmeans(int f, const QXRectMatrix*& L, std::vector<double>& means);
  // The mean (linear-predictor scale) at n equally spaced values from `from` to `to` of covariate
  // variable c, every factor averaged over its observed levels and the other covariates at their means.
  // 303 for n < 2, from >= to (or values that are not finite), or c not a covariate variable.
  QXCommon_600::QXStatus GetCovarEmmeans(int c, double from, double to, int n, const QXRectMatrix*& L,
                                         std::vector<double>& values, std::vector<double>& means);

  QXCommon_600::QXStatus GetStatus() const { return fStatus; }
  int GetNSpecs() const { return fNSpecs; }
  // The status of specification s (see above); 328 for s out of range.
  QXCommon_600::QXStatus GetSpecStatus(int s) const;
  // Factors (variable indices) in the order the L rows report their levels: with nest levels, grouped
  // by level from the highest down to 0, each level in listed order; without, as listed. 303 (result
  // emptied) when the nest levels are not one non-negative level per factor.
  static QXCommon_600::QXStatus ReorderFactors(const std::vector<int>& factors,
                                               const std::vector<int>& nestLevels, std::vector<int>& result);

  // ---- Comparisons within test groups --------------------------------------------------------------

  // Builds specification s's L matrix and returns its number of test groups, with the specification's
  // status in `status`; -1 (and the reason in `status`) when they cannot be formed.
  int GetNEmmeansTests(int s, QXCommon_600::QXStatus& status);
  // The contrast of the specification's kind among the means of test t: `tableFactors` names the
  // group (variable index, level) of every factor but the compare factor; `categories` the compared
  // levels in level order, except that a simple contrast's reference goes last (its rows then compare
  // categories[i] with the last); `contrastL` the contrast rows over the parameters (C G, the link
  // scale's; valid until the next comparison); `individual` one test per contrast row with the
  // specification's adjustment and confidence bounds; `overall` the joint test. 303 for a pairwise
  // specification (use GetPairwiseEmmeansTests) or before SetEmmeansTesting.
  QXCommon_600::QXStatus GetEmmeansTests(int s, int t, std::vector<std::pair<int, int>>& tableFactors,
                                         std::vector<int>& categories, QXRectMatrix*& contrastL,
                                         std::vector<QXTestStats>& individual, QXTestStats& overall);
  // k(k - 1) for test t of specification s with k categories (1 when that is 0); -1 on error.
  int GetNPairwiseEmmeansTests(int s, int t);
  // Pair p of test t: pair p = (i, j) with i = p / (k - 1) and j = p mod (k - 1), plus 1 when that is
  // >= i, so both directions of every pair appear. `categories` holds category i, the record's
  // categories category j; the record's mean is mean i - mean j with its standard error, bounds,
  // adjusted significance (step-down adjusted for the sequential methods), degrees of freedom (missing
  // for normal-theory types) and statistic (t, or the Wald chi-square for types 2 and 3). The pairs of
  // a test are computed together and cached. 328 for p out of range; 330 (warning) for a test of one
  // category; 1 when cancelled.
  QXCommon_600::QXStatus GetPairwiseEmmeansTests(int s, int t, int p,
                                                 std::vector<std::pair<int, int>>& tableFactors,
                                                 std::vector<int>& categories, QXEmmeansStats& stats);
  // The joint test that all means of test t are equal (k - 1 degrees of freedom).
  QXCommon_600::QXStatus GetPairwiseOverallTest(int s, int t, std::vector<std::pair<int, int>>& tableFactors,
                                                QXTestStats& overall);
  // The compared categories of specification s: one list per category, holding the compare factor's
  // level, or, with several compare factors, the levels of combination c (one per compare factor in
  // compare order). False when the specification cannot be built or has no compare factor.
  bool GetPWCombinations(int s, std::vector<std::vector<int>>& combinations);

  void Display() const;

 private:
  // How one request's factors are enumerated and reported: `order` holds local factor indices with
  // the compare factors last (the last varying fastest); report[i] is the position in a row's
  // categories of order[i]; the last nCompare entries of `order` are compared.
  struct Layout {
    std::vector<int> order;
    std::vector<int> report;
    std::vector<int> reportedVars;
    int nCompare = 0;
    int comparePosition = -1;
  };

  void Initialize(const QXRegSettings& settings, QXLiteDesignMatrix& liteDesign,
                  const QXFactorCounts* counts);
  QXCommon_600::QXStatus ValidateInputs(const QXRegSettings& settings, const QXFactorCounts* counts) const;
  QXCommon_600::QXStatus CheckConsistency(const QXRegSettings& settings) const;
  void ComputeEmmeans(const QXRegSettings& settings, const QXFactorCounts* counts);
  void SetObservedCategories(const QXRegSettings& settings, const QXFactorCounts* counts);
  void SetLocalEffectFactors();
  static std::vector<int> GetOriginalOrderFactorIndices(const QXModelEffect& effect);
  // The local index of a factor (covariate) variable; -1 for any other variable.
  int LocalFactor(int var) const;
  int LocalCovariate(int var) const;
  // Whether a specification with this status gets an L matrix (333 and 303 are the ones that do not).
  static bool IsBuildable(const QXCommon_600::QXStatus& status);
  QXCommon_600::QXStatus ValidateSpec(int s) const;
  // 324 to 327 for the compare factor; gives a polynomial contrast without scores 1, 2, ..., k.
  QXCommon_600::QXStatus CheckCompareFactor(int s);
  void CompleteCovariates(QXEmmeansSpec& spec) const;
  QXCommon_600::QXStatus GetEmmeansFactorIndices(int s, Layout& layout, QXMultiCompare& multi) const;
  // Counts the full combinations of levels that exist (every effect has a parameter) into the tables,
  // enumerated from the cells of the emptiest effect.
  QXCommon_600::QXStatus ComputeIncompleteCounts(const std::vector<QXEmmeansCellTable*>& tables);
  // One value per model effect: the product of its covariates at the request's values raised to their
  // powers (1 without covariates); s < 0 holds every covariate at its mean.
  std::vector<double> ComputeCovarExpressions(int s) const;
  std::vector<double> ComputeCovarExpressions(const std::vector<std::pair<int, double>>& values) const;

  // L of the current request and its test groups.
  QXCommon_600::QXStatus SetEmmeansData(int s);
  bool SizeLMatrix(double rows);
  QXCommon_600::QXStatus SetCompleteLMatrix(const Layout& layout, const std::vector<double>& e);
  QXCommon_600::QXStatus SetIncompleteLMatrix(const QXEmmeansCellTable& table, const Layout& layout,
                                              const std::vector<double>& e);
  void SetRowCategories(int row, const Layout& layout, const std::vector<int>& levels);
  void ProcessTestGroups(int s, const Layout& layout);
  // Every column's factor part averaged over the observed levels (or the full combinations that exist).
  QXCommon_600::QXStatus AverageDesignRow(std::vector<double>& average);
  void InvalidateCurrent();
  QXCommon_600::QXStatus FailBuild(const QXCommon_600::QXStatus& status);
  bool IsCancelled();
  static QXCommon_600::QXStatus IndexStatus(long code, int index, int largest);

  // Statistics of the rows of the current L.
  double ComputePercentile(double df) const;
  // The critical value whose upper-tail probability is `upper`, for the test type (t at df, or at the
  // error df when df is not positive; the normal for the chi-square types).
  double ComputeUpperCritical(double upper, double df) const;
  bool IsTType() const;
  const IQXLinkFunc& Link() const;
  void SetResponseScale(double eta, double se, double halfWidth, QXEmmeansStats& record) const;

  // Test groups and comparisons.
  // Whether specification s's comparisons go through the delta method (response scale, a link other
  // than the identity).
  bool OnResponseScale(int s) const;
  QXCommon_600::QXStatus PrepareTest(int s, int t, bool needTests);
  QXCommon_600::QXStatus SetEmmeansTest(int t);
  QXCommon_600::QXStatus GetTableFactors(std::vector<std::pair<int, int>>& tableFactors) const;
  QXCommon_600::QXStatus SingleCategoryStatus(int t) const;
  // 332 for a group of a design with empty cells that lacks categories, else the specification's status.
  QXCommon_600::QXStatus TestWarning(int s, int t) const;
  QXCommon_600::QXStatus BuildContrast(int s, int t, std::vector<int>& categories,
                                       QXCommon_600::QXStatus& warning);
  static QXCommon_600::QXStatus SpecError325(int s);
  void SetGroupMatrix(int first, int count);
  void AddContrastBounds(std::vector<QXTestStats>& individual) const;
  QXCommon_600::QXStatus FillPairwiseCache(int s, int t);
  QXCommon_600::QXStatus ComputePairwiseEmmeansTests(int s, int t, int p,
                                                     std::vector<std::pair<int, int>>& tableFactors,
                                                     std::vector<int>& categories, QXEmmeansStats& stats);
  // The record of pair (j, i) from that of (i, j); `category` is j's.
  QXEmmeansStats Mirrored(const QXEmmeansStats& stats, int category) const;
  void ProcessSequentialAdjustment(int m, QXConst::QXPAdjustMethod method);
  static QXCommon_600::QXStatus WithWarning(const QXCommon_600::QXStatus& result,
                                            const QXCommon_600::QXStatus& warning);

  std::vector<double> fvEstimates;
  std::vector<double> fvCovariateMeans;
  QXCancelInfo* fpCancelInfo;
  std::vector<QXEmmeansSpec> fvSpecs;
  int fNSpecs = 0;
  std::vector<double> fvCovMeansByVar;
  bool fbDesignComplete = true;
  int fCurrentSpec = -1;
  std::unique_ptr<QXRectMatrix> fpEMLMatrix;
  std::unique_ptr<QXRectMatrix> fpGroupMatrix;
  std::unique_ptr<QXRectMatrix> fpContrastL;
  std::unique_ptr<QXRectMatrix> fpContrastC;
  std::vector<std::vector<int>> fvRowCategories;
  int fNTests = 0;
  int fTestFactorIndex = -1;
  int fTestFactorPosition = -1;
  std::vector<int> fvTestCategories;
  std::vector<int> fvTestStarts;
  int fTestFirstRow = -1;
  int fCurrentTest = -1;
  // Per row of L: the compared category (a level, or a combination of several compare factors).
  std::vector<int> fvRowCompare;
  // The compared categories of the whole request (observed levels, or all combinations).
  std::vector<int> fvCompareCategories;
  Layout fLayout;
  std::vector<int> fvFactors;
  int fNFactors = 0;
  std::vector<int> fvCovariates;
  std::vector<std::vector<int>> fvObservedCategories;
  std::vector<int> fvLocalIndexMap;
  std::vector<std::vector<int>> fvEffectFactors;
  int fNEffects = 0;
  std::vector<int> fvEffectFirstParameter;
  std::vector<int> fvEffectNParameters;
  std::vector<std::unique_ptr<QXEmmeansCellTable>> fvCellTables;
  int fNEstimates = 0;
  const QXSymMatrix* fpPECovar = nullptr;
  double fPercentile;
  double fDF = 0.0;
  double fTolerance = 0.0;
  QXConst::QXTestType fTestType = QXConst::QXTestWaldF;
  QXConst::QXPAdjustMethod fPAdjust = QXConst::QXPAdjLSD;
  double fConfidenceLevel = 0.95;
  bool fbInterceptUse = true;
  std::vector<QXModelEffect> fvModelEffects;
  std::unique_ptr<QXModelTests> fpModelTests;
  std::vector<QXCommon_600::QXStatus> fvSpecStatus;
  QXCommon_600::QXStatus fStatus;
  const QXLiteDesignMatrix* fpLiteDesign;
  std::unique_ptr<IQXLinkFunc> fpLinkFunction;
  std::unique_ptr<QXMultiCompare> fpMultiCompare;
  QXSatterthwaite* fpSatterthwaite = nullptr;
  std::vector<double> fvRowDF;
  QXBitSet fRedundancy;

  // Pairs of the last (specification, test) whose pairs were computed.
  std::vector<QXEmmeansStats> fvPWStats;
  std::vector<std::vector<std::pair<int, int>>> fvPWTableFactors;
  std::vector<std::vector<int>> fvPWCategories;
  std::vector<QXCommon_600::QXStatus> fvPWStatus;
  int fPWSpec = -1;
  int fPWTest = -1;
  QXRectMatrix fPairRows;
  QXRectMatrix fPairContrast;
};

}  // namespace QXMath_600
