// The results of one fit as the report shows them: a plain structure, independent of the library's
// interfaces, so that the report and the statistics below can be written and checked on their own.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace QXFit {

struct ParameterResult {
  std::string fLabel;
  double fEstimate = 0.0;
  bool fbRedundant = false;
  // Not formed for a redundant parameter, nor without error degrees of freedom.
  std::optional<double> fStdError;
  std::optional<double> fT;
  std::optional<double> fP;
};

struct FitResult {
  std::string fModel;  // the formula as given
  long long fRecordsRead = 0;
  long long fRecordsUsed = 0;
  std::optional<double> fRSquared;
  // The library's root mean square error: the square root of the weighted residual sum of squares
  // divided by the total frequency weight W (not by the error degrees of freedom).
  std::optional<double> fRmse;
  std::optional<double> fDfError;
  // sigma, the residual standard error: the square root of the residual sum of squares over the error
  // degrees of freedom, as R's summary.lm reports it.
  std::optional<double> fSigma;
  double fTotalFreqWeight = 0.0;
  double fTotalRegrWeight = 0.0;
  std::vector<ParameterResult> fParameters;
};

// Fills sigma and every parameter's standard error, t and two-sided p from the unscaled covariance
// diagonal (the inverse of the weighted cross-product matrix, one entry per parameter): the
// covariance of the estimates is that matrix times sigma^2 = RMSE^2 * W / df. Statistics that cannot
// be formed (missing RMSE, df <= 0, a redundant parameter) stay empty.
void FillParameterStatistics(FitResult& result, const std::vector<double>& unscaledVariances);

}  // namespace QXFit
