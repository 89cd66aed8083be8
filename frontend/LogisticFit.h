// qxfit's use of the library's multinomial logistic regression: the logistic settings of a model
// whose response is categorical, and the reading of the fitted model into a LogisticResult (the
// parameters by response category with their Wald tests, the log-likelihoods and the
// likelihood-ratio test, the pseudo R-squares, the Type I and III Wald tests of the effects and the
// classification table).
#pragma once

#include <string>

#include "common/RecordIterator.h"

#include "frontend/LogisticResult.h"
#include "frontend/ModelBuilder.h"
#include "model/IQXRegComponent.h"
#include "settings/QXLogRegSettings.h"
#include "settings/QXRegSettings.h"

namespace QXFit {

// `settings` are the model's settings as the tool completed them (tolerance, confidence level); the
// result adds the response's categories and its reference. The tests of a logistic model are Wald
// chi-square tests whatever the settings' test type.
QXMath_600::QXLogRegSettings MakeLogisticSettings(const ModelBuilder& model,
                                                  const QXMath_600::QXRegSettings& settings);

// Reads the built logistic model of `component` into `result`, whose fFit says on entry which tables
// of effect tests to form (fbTypeI, fbTypeIII) and at which confidence level. `records` are the
// records the model was fitted from, read once more for the classification table. False with the
// library's message on an error status.
bool ReadLogisticResult(QXMath_600::IQXRegComponent& component, const ModelBuilder& model,
                        QXCommon_600::MultiPassRecordIter& records, LogisticResult& result,
                        std::string& error);

}  // namespace QXFit
