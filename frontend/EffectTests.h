// qxfit's use of the library's tests of model effects: the Type I and Type III tests of every effect
// of a fitted linear model and the test of the corrected model, read into the FitResult.
#pragma once

#include <string>
#include <vector>

#include "common/QXSymMatrix.h"
#include "frontend/FitResult.h"
#include "model/IQXRegOutputStats.h"
#include "settings/QXRegSettings.h"

namespace QXMath_600 {
class QXModelTestStats;
}

namespace QXFit {

// The rows of one table of the library's effect tests. Entry i of its statistics is the test of effect
// i of its list, which starts with the intercept when the model has one; `labels` name them in that
// order. The text of a test's warning status goes to the result's warnings too.
std::vector<EffectTestResult> ReadEffectTable(const QXMath_600::QXModelTestStats* stats,
                                              const std::vector<std::string>& labels, TestKind test,
                                              FitResult& result);

// `settings` are the fitted component's (the tests borrow them, so they must outlive the call; their
// test type decides F or chi-square); `stats` the linear model's output statistics; `covariance` the
// covariance of the estimates, scaled by sigma^2; `effectLabels` the labels of the settings' effects
// in order. Fills the tables that result.fbTypeI and result.fbTypeIII ask for, the corrected model
// and the warnings. False with the library's message when a test ends in an error status.
bool RunEffectTests(const QXMath_600::QXRegSettings& settings, const QXMath_600::IQXRegOutputStats& stats,
                    const QXMath_600::QXSymMatrix& covariance, const std::vector<std::string>& effectLabels,
                    FitResult& result, std::string& error);

}  // namespace QXFit
