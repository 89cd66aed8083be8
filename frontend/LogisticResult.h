// The results of a multinomial logistic fit as the report shows them, beside the parts it shares with
// a linear fit (records, parameters, effect tests, warnings) in a FitResult. Every statistic is the
// library's: the Wald tests of the parameters and their odds-ratio bounds from the output statistics,
// the log-likelihoods and pseudo R-squares from the fit, the effect tests from QXModelEffectTest and
// the classification table from one more pass over the data.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "frontend/FitResult.h"

namespace QXFit {

// What a parameter of a logistic model adds to its Wald test: the category of its block, and its
// exponential (the odds ratio of that category against the reference) with bounds.
struct OddsRatioResult {
  std::string fCategory;
  std::optional<double> fExpB;
  std::optional<double> fLower;
  std::optional<double> fUpper;
};

// One row of the classification table: the records of an observed category (their frequency weights)
// by predicted category, in the order of LogisticResult::fCategories.
struct ClassificationRow {
  std::string fObserved;
  std::vector<double> fPredicted;
  std::optional<double> fPercentCorrect;  // none for a row without weight
};

struct LogisticResult {
  FitResult fFit;
  std::string fResponse;
  // The response's categories in the library's order: the non-reference categories, whose blocks of
  // parameters follow one another, then the reference.
  std::vector<std::string> fCategories;
  // One per parameter of fFit.fParameters.
  std::vector<OddsRatioResult> fOddsRatios;

  int fIterations = 0;
  // The optimizer's convergence state (1 to 3 converged, 4 to 8 stopped early, 9 not iterated).
  int fConvergenceState = 0;
  // The baseline of the likelihood-ratio test: the intercept-only model, or equal probabilities for a
  // model without an intercept (the fit's starting values).
  bool fbInterceptOnlyBaseline = true;
  std::optional<double> fMinus2LLBaseline;
  std::optional<double> fMinus2LLFinal;
  std::optional<double> fLRChiSquare;
  std::optional<double> fLRDF;
  std::optional<double> fLRP;
  std::optional<double> fCoxSnell;
  std::optional<double> fNagelkerke;
  std::optional<double> fMcFadden;
  std::vector<ClassificationRow> fClassification;
  std::optional<double> fPercentCorrect;

  bool IsConverged() const { return fConvergenceState >= 1 && fConvergenceState <= 3; }
  // The convergence state in words: "converged: the parameter estimates changed by less than the
  // criterion", "stopped: complete separation ...".
  std::string DescribeConvergence() const;
};

}  // namespace QXFit
