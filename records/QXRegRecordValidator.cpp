#include "records/QXRegRecordValidator.h"

#include <cmath>

#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"

namespace QXMath_600 {

using QXCommon_600::QXStatus;
using QXCommon_600::Record;

namespace {

QXStatus NotACategory(int index, double value) {
  QXStatus status(316, false);
  status.SetDiscreteDatum(1, index);
  status.SetScaleDatum(1, value);
  return status;
}

// The category test. Codes 0 up to and including the number of categories pass, so that data coded
// from 0 and data coded from 1 both do; the design rejects the code that does not fit its base.
bool IsCategoryCode(int index, double value, int nCategories, QXStatus& status) {
  if (std::isinf(value)) {
    status = NotACategory(index, value);
    return false;
  }
  // The system-missing value lies below -0.5; NaN is as good as missing.
  if (std::isnan(value) || value < -0.5) return false;
  // std::trunc keeps the test defined for every double, however far beyond the range of int.
  if (std::trunc(value) != value || value > nCategories) {
    status = NotACategory(index, value);
    return false;
  }
  return true;
}

// The rule of one check, here rather than a member so that the record loops inline it (members of an
// exported class are called through the procedure linkage table).
template <class Check, class Kind>
inline bool Passes(const Check& check, double value, QXStatus& status) {
  switch (check.kind) {
    case Kind::kCategorical: return IsCategoryCode(check.index, value, check.nCategories, status);
    // Non-finite values are taken as missing: a NaN or an infinity would poison every sum it entered.
    case Kind::kContinuous: return std::isfinite(value) && !QXMV::IsMissing(value);
    // A missing weight is below 0 and fails the test as well.
    case Kind::kWeight: return std::isfinite(value) && value > 0.0;
  }
  return false;
}

const char* RoleWord(QXConst::QXVariableType type) {
  switch (type) {
    case QXConst::QXVarUnspecified: return "Unspecified";
    case QXConst::QXVarFreqWeight: return "Frequency weight";
    case QXConst::QXVarRegrWeight: return "Regression Weight";
    case QXConst::QXVarFactor: return "Factor";
    case QXConst::QXVarCovariate: return "Covariate";
    case QXConst::QXVarDependent: return "Dependent";
    default: return "Other";
  }
}

}  // namespace

QXRegRecordValidator::QXRegRecordValidator(const std::vector<QXConst::QXVariableType>& variableTypes,
                                           const std::vector<int>& factors,
                                           const std::vector<int>& factorSizes, int nTargetCategories) {
  SetRecordInfo(variableTypes, factors, factorSizes, nTargetCategories);
}

void QXRegRecordValidator::SetRecordInfo(const std::vector<QXConst::QXVariableType>& variableTypes,
                                         const std::vector<int>& factors, const std::vector<int>& factorSizes,
                                         int nTargetCategories) {
  fNTargetCategories = nTargetCategories;
  fvVariableTypes = variableTypes;
  const int nVariables = static_cast<int>(fvVariableTypes.size());
  fvNCategories.assign(fvVariableTypes.size(), 0);
  for (std::size_t i = 0; i < factors.size() && i < factorSizes.size(); ++i)
    if (factors[i] >= 0 && factors[i] < nVariables) fvNCategories[factors[i]] = factorSizes[i];
  const bool categoricalDependent = nTargetCategories >= 1;
  if (categoricalDependent) {
    for (int i = 0; i < nVariables; ++i) {
      if (fvVariableTypes[i] != QXConst::QXVarDependent) continue;
      fvNCategories[i] = nTargetCategories;
      break;
    }
  }

  fvChecks.clear();
  for (int i = 0; i < nVariables; ++i) {
    switch (fvVariableTypes[i]) {
      case QXConst::QXVarFactor:
        fvChecks.push_back({i, CheckKind::kCategorical, fvNCategories[i], true});
        break;
      case QXConst::QXVarCovariate: fvChecks.push_back({i, CheckKind::kContinuous, 0, true}); break;
      case QXConst::QXVarDependent:
        fvChecks.push_back({i, categoricalDependent ? CheckKind::kCategorical : CheckKind::kContinuous,
                            fvNCategories[i], false});
        break;
      case QXConst::QXVarFreqWeight:
      case QXConst::QXVarRegrWeight: fvChecks.push_back({i, CheckKind::kWeight, 0, false}); break;
      default: break;
    }
  }
  fvCategoryChecks.clear();
  fvValueChecks.clear();
  fvWeightChecks.clear();
  for (const Check& check : fvChecks) {
    switch (check.kind) {
      case CheckKind::kCategorical:
        fvCategoryChecks.push_back({check.index, static_cast<double>(check.nCategories)});
        break;
      case CheckKind::kContinuous: fvValueChecks.push_back(check.index); break;
      case CheckKind::kWeight: fvWeightChecks.push_back(check.index); break;
    }
  }
}

bool QXRegRecordValidator::CheckRecord(const Record& record, QXStatus& status) const {
  if (fvVariableTypes.size() > static_cast<std::size_t>(record.Size())) {
    status = QXStatus(315, false);
    return false;
  }
  const double* values = record.GetAll();
  for (const Check& check : fvChecks)
    if (!Passes<Check, CheckKind>(check, values[check.index], status)) return false;
  return true;
}

bool QXRegRecordValidator::IsValid4Scoring(const Record& record, QXStatus& status) const {
  const double* values = record.GetAll();
  for (const Check& check : fvChecks) {
    if (!check.forScoring) continue;
    if (check.index >= record.Size()) {
      status = QXStatus(315, false);
      return false;
    }
    if (!Passes<Check, CheckKind>(check, values[check.index], status)) return false;
  }
  return true;
}

void QXRegRecordValidator::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, " ");
  DisplayText(1, "QXRegRecordValidator display start");
  DisplayText(1, "Variable roles in QXRegRecordValidator");
  for (std::size_t i = 0; i < fvVariableTypes.size(); ++i) {
    DisplayI("  Variable index", static_cast<long long>(i));
    DisplayS("    Type", RoleWord(fvVariableTypes[i]));
  }
  DisplayI("Number of target categories", fNTargetCategories);
  DisplayIV("Numbers of factor categories", fvNCategories);
  DisplayText(1, "QXRegRecordValidator display end");
}

}  // namespace QXMath_600
