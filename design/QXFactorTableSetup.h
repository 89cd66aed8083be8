// What a model needs around its factor tables: the factor list of every model effect in the tables'
// order (the intercept first when the model has one), checked against the variables the settings give
// roles to; the status of a record that the tables refused to file; and the parameters that the
// numbered tables define.
#pragma once

#include <cstdint>
#include <vector>

#include "common/QXExport.h"
#include "common/QXStatus.h"
#include "common/Record.h"
#include "common/RecordIterator.h"
#include "design/QXFactorTables.h"
#include "records/QXCancelInfo.h"
#include "records/QXRegRecordValidator.h"
#include "settings/QXRegSettings.h"
#include "settings/QXRegrParameter.h"

namespace QXMath_600 {

// One list of factor record indices per model effect of the tables: an empty list for the intercept
// when the settings use one, then, for each settings effect in order, its factors ordered by nesting
// level. False when an effect names a factor or covariate that the settings do not list as such: its
// values could not be checked, or might lie beyond the record.
QXREGRES_API bool GetEffectFactorLists(const QXRegSettings& settings, std::vector<std::vector<int>>& lists);

// Why the tables refused a record the validator accepted: the first factor, then the categorical
// dependent (when dependent >= 0), whose value has no zero-based level below its number of categories
// gives 316 with discrete datum 1 = its record index and scale datum 1 = the value (the validator lets
// the code equal to the number of categories pass). When every value has a level, a cell table could
// not take one more cell: 305.
QXREGRES_API QXCommon_600::QXStatus GetUnfiledRecordStatus(const QXCommon_600::Record& record,
                                                           const std::vector<int>& factors,
                                                           const std::vector<int>& factorSizes, int dependent,
                                                           int nDependCategories);

// The data pass of a model, over records whose pass the caller has started with NewPass: every record
// the validator accepts goes to the tables' UpdateAll. nDependCategories > 0 marks the dependent as
// categorical (its code must have a level, as the factors' codes). recordCount grows by the records
// delivered and validCount by those filed. Ends with the statuses of RunValidatedPass (312 for a null
// record), with that of GetUnfiledRecordStatus for a record the tables refuse, and with 307 when no
// record was valid.
QXREGRES_API QXCommon_600::QXStatus FillFactorTables(QXCommon_600::MultiPassRecordIter& records,
                                                     const QXRegRecordValidator& validator,
                                                     const QXCancelInfo& cancelInfo, QXFactorTables& tables,
                                                     const QXRegSettings& settings, int nDependCategories,
                                                     std::int64_t& recordCount, std::int64_t& validCount);

// The parameters of one linear predictor from tables numbered from 0, in parameter-index order: an
// empty parameter for the intercept when the settings use one, then for each settings effect one
// parameter per numbered cell, set up from the effect and carrying the cell's category codes (one
// parameter for an effect without factors). firstParameters and nParameters get, per settings effect,
// the index of its first parameter and its number of parameters (0 for an effect the tables do not
// know). False, with the lists incomplete, when the work is cancelled.
QXREGRES_API bool CreateEffectParameters(const QXRegSettings& settings, const QXFactorTables& tables,
                                         const QXCancelInfo& cancelInfo,
                                         std::vector<QXRegrParameter>& parameters,
                                         std::vector<int>& firstParameters, std::vector<int>& nParameters);

}  // namespace QXMath_600
