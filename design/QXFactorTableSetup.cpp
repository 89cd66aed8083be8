#include "design/QXFactorTableSetup.h"

#include <algorithm>

#include "design/QXFactorCounts.h"
#include "records/QXValidatedPass.h"
#include "settings/QXRegrParameter.h"

namespace QXMath_600 {

using QXCommon_600::QXStatus;

bool GetEffectFactorLists(const QXRegSettings& settings, std::vector<std::vector<int>>& lists) {
  const std::vector<int>& factors = settings.GetFactors();
  const std::vector<int>& covariates = settings.GetCovariates();
  const auto isIn = [](const std::vector<int>& list, int var) {
    return std::find(list.begin(), list.end(), var) != list.end();
  };
  lists.clear();
  if (settings.GetInterceptUse()) lists.emplace_back();
  const std::vector<QXModelEffect>& effects = settings.GetModelEffects();
  for (std::size_t e = 0; e < effects.size(); ++e) {
    QXRegrParameter parameter;
    parameter.SetupFromEffect(effects[e], static_cast<int>(e), 0);
    for (int var : parameter.GetFactors())
      if (!isIn(factors, var)) return false;
    for (int var : parameter.GetCovariates())
      if (!isIn(covariates, var)) return false;
    lists.push_back(parameter.GetFactors());
  }
  return true;
}

QXStatus GetUnfiledRecordStatus(const QXCommon_600::Record& record, const std::vector<int>& factors,
                                const std::vector<int>& factorSizes, int dependent, int nDependCategories) {
  const auto noLevel = [&record](int var, int nCategories) {
    if (var < 0 || var >= record.Size()) return false;
    const int level = QXFactorCounts::LevelIndex(record[var], 0);
    return level < 0 || level >= nCategories;
  };
  const auto refused = [&record](int var) {
    QXStatus status(316, false);
    status.SetDiscreteDatum(1, var);
    status.SetScaleDatum(1, record[var]);
    return status;
  };
  for (std::size_t i = 0; i < factors.size() && i < factorSizes.size(); ++i)
    if (noLevel(factors[i], factorSizes[i])) return refused(factors[i]);
  if (dependent >= 0 && noLevel(dependent, nDependCategories)) return refused(dependent);
  // Every value had a level, so a cell table could not take one more cell.
  return QXStatus(305, false);
}

QXStatus FillFactorTables(QXCommon_600::MultiPassRecordIter& records, const QXRegRecordValidator& validator,
                          const QXCancelInfo& cancelInfo, QXFactorTables& tables,
                          const QXRegSettings& settings, int nDependCategories, std::int64_t& recordCount,
                          std::int64_t& validCount) {
  const int dependent = nDependCategories > 0 ? settings.GetDependent() : -1;
  const std::int64_t validBefore = validCount;
  const QXStatus status = RunValidatedPass(
      records, validator, cancelInfo, 312, &recordCount, [&](const QXCommon_600::Record& record) {
        if (!tables.UpdateAll(record))
          return GetUnfiledRecordStatus(record, settings.GetFactors(), settings.GetFactorSizes(), dependent,
                                        nDependCategories);
        ++validCount;
        return QXStatus();
      });
  if (status.IsError()) return status;
  return validCount == validBefore ? QXStatus(307, false) : status;
}

bool CreateEffectParameters(const QXRegSettings& settings, const QXFactorTables& tables,
                            const QXCancelInfo& cancelInfo, std::vector<QXRegrParameter>& parameters,
                            std::vector<int>& firstParameters, std::vector<int>& nParameters) {
  parameters.clear();
  firstParameters.clear();
  nParameters.clear();
  const bool intercept = settings.GetInterceptUse();
  if (intercept) {
    if (cancelInfo.WillCancel()) return false;
    parameters.emplace_back();
  }
  const std::vector<QXModelEffect>& effects = settings.GetModelEffects();
  for (int e = 0; e < static_cast<int>(effects.size()); ++e) {
    if (cancelInfo.WillCancel()) return false;
    const int m = intercept ? e + 1 : e;
    QXRegrParameter parameter;
    parameter.SetupFromEffect(effects[e], e, 0);
    const int n = m < tables.GetNModelEffects() ? tables.GetNEffectParameters(m) : 0;
    firstParameters.push_back(static_cast<int>(parameters.size()));
    nParameters.push_back(n);
    if (n == 1 && parameter.GetNFactors() == 0) {
      parameters.push_back(parameter);
      continue;
    }
    for (int k = 0; k < n; ++k) {
      tables.GetParameterFactorValues(parameter.GetCategories(), m, k);
      parameters.push_back(parameter);
    }
  }
  return true;
}

}  // namespace QXMath_600
