// The marginal means of one --emmeans request as the report shows them: plain values labelled with
// the factors' level texts, independent of the library's interfaces.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace QXFit {

// (factor, level text) pairs, in the request's factor order.
using LevelTexts = std::vector<std::pair<std::string, std::string>>;

struct EmmeansMean {
  LevelTexts fLevels;
  std::optional<double> fMean;
  std::optional<double> fStdError;
  std::optional<double> fDF;  // of the bounds; none for normal-theory (chi-square) tests
  std::optional<double> fLower;
  std::optional<double> fUpper;
};

// One comparison within a group: a pair of levels (first minus second) or one row of a contrast.
struct EmmeansComparison {
  LevelTexts fBy;         // the levels of the factors after '|' that form the group
  std::string fContrast;  // "H - L", "L - mean(H, M)", "linear"
  std::optional<double> fEstimate;
  std::optional<double> fStdError;
  std::optional<double> fStatistic;  // t, or the Wald chi-square on 1 degree of freedom
  std::optional<double> fDF;         // of t; none for the chi-square
  std::optional<double> fP;          // adjusted as --adjust says
  std::optional<double> fLower;      // bounds adjusted likewise
  std::optional<double> fUpper;
};

// The test that every mean of a group is equal.
struct EmmeansOverall {
  LevelTexts fBy;
  std::optional<double> fDF;
  std::optional<double> fDFError;  // the denominator of F; none for the chi-square
  std::optional<double> fStatistic;
  std::optional<double> fP;
};

struct EmmeansResult {
  std::string fSpec;                   // the request as written
  std::vector<std::string> fFactors;   // every factor of the request, in its order
  std::vector<std::string> fCompared;  // the factors whose levels are compared
  std::string fContrast;               // --contrast, as given
  std::string fAdjust;                 // --adjust
  std::string fScale;                  // "link", "response", or empty for a linear model
  // A logistic model's means are those of one category's log-odds against the reference category.
  std::string fCategory;   // empty for a linear model
  std::string fReference;  // the reference category
  // Normal-theory tests: Wald chi-squares and bounds from the normal distribution, no degrees of freedom.
  bool fbChiSquare = false;
  std::vector<std::pair<std::string, double>> fAt;  // every covariate with the value it is held at
  std::vector<EmmeansMean> fMeans;
  std::vector<EmmeansComparison> fComparisons;
  std::vector<EmmeansOverall> fOverall;
  // The library's statuses of the request, as texts (why comparisons are missing, a reference
  // level that is not observed, ...).
  std::vector<std::string> fNotes;
};

}  // namespace QXFit
