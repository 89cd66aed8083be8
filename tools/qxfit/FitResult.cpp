#include "tools/qxfit/FitResult.h"

#include <cmath>

#include "common/QXDistFun.h"
#include "common/QXMissingValue.h"

namespace QXFit {

void FillParameterStatistics(FitResult& result, const std::vector<double>& unscaledVariances) {
  result.fSigma.reset();
  if (!result.fRmse || !result.fDfError || *result.fDfError <= 0.0 || result.fTotalFreqWeight <= 0.0) return;
  const double df = *result.fDfError;
  const double sigma2 = *result.fRmse * *result.fRmse * result.fTotalFreqWeight / df;
  result.fSigma = std::sqrt(sigma2);
  for (std::size_t k = 0; k < result.fParameters.size() && k < unscaledVariances.size(); ++k) {
    ParameterResult& p = result.fParameters[k];
    p.fStdError.reset();
    p.fT.reset();
    p.fP.reset();
    const double variance = unscaledVariances[k] * sigma2;
    if (p.fbRedundant || !std::isfinite(variance) || variance < 0.0) continue;
    p.fStdError = std::sqrt(variance);
    if (*p.fStdError == 0.0) continue;  // an exact fit: t and p do not exist
    p.fT = p.fEstimate / *p.fStdError;
    const double upper = QXMath_600::QXDistFun::CdfTUpper(std::fabs(*p.fT), df);
    if (!QXMV::IsMissing(upper)) p.fP = std::fmin(1.0, 2.0 * upper);
  }
}

}  // namespace QXFit
