// Decides whether a record takes part in a model. A record with a missing analysis value or a weight
// that is not positive is left out quietly; a categorical value that cannot be a category code is an
// error (316) that ends the build, as is a record shorter than the model's variables (315). Scoring
// uses looser rules: only the factors and covariates must be present.
//
// Non-finite values: NaN or an infinity in a covariate, a continuous dependent or a weight counts as
// missing. In a categorical variable NaN is missing, while an infinity is not a category code (316).
#pragma once

#include <limits>
#include <vector>

#include "common/QXExport.h"
#include "common/QXMissingValue.h"
#include "common/QXStatus.h"
#include "common/Record.h"
#include "settings/QXConst.h"

namespace QXMath_600 {

class QXREGRES_API QXRegRecordValidator {
 public:
  QXRegRecordValidator() = default;
  QXRegRecordValidator(const std::vector<QXConst::QXVariableType>& variableTypes,
                       const std::vector<int>& factors, const std::vector<int>& factorSizes,
                       int nTargetCategories);

  // Takes the roles of the record variables, the factors' record indices and numbers of categories,
  // and the number of categories of the dependent variable (0 or less for a continuous one).
  void SetRecordInfo(const std::vector<QXConst::QXVariableType>& variableTypes,
                     const std::vector<int>& factors, const std::vector<int>& factorSizes,
                     int nTargetCategories);

  // Whether the record enters the model. Sets the status only for errors 315 and 316.
  bool IsValidRecord(const QXCommon_600::Record& record, QXCommon_600::QXStatus& status) const {
    // Nearly every record passes every check: that is decided here, inlined into the record loops and
    // without a branch per check; anything else goes through the rules one by one.
    return PassesEveryCheck(record) || CheckRecord(record, status);
  }
  // Whether the record can be scored: its factors and covariates are valid; the dependent variable and
  // the weights are not looked at and may lie beyond the end of the record. A factor or covariate
  // beyond the end gives 315.
  bool IsValid4Scoring(const QXCommon_600::Record& record, QXCommon_600::QXStatus& status) const;

  void Display() const;

 private:
  enum class CheckKind { kCategorical, kContinuous, kWeight };
  // One variable the rules look at. The list holds only those, in record-index order, so that a
  // record's check costs in proportion to the model's variables, not to the width of the record.
  struct Check {
    int index;
    CheckKind kind;
    int nCategories;
    bool forScoring;
  };

  // The rules, check by check, with the status of the first that fails.
  bool CheckRecord(const QXCommon_600::Record& record, QXCommon_600::QXStatus& status) const;
  // True when the record is long enough and every value is a category code from 0 to the number of
  // categories, a finite non-missing value or a finite positive weight, as its check asks: exactly
  // the records CheckRecord accepts.
  bool PassesEveryCheck(const QXCommon_600::Record& record) const {
    if (fvVariableTypes.size() > static_cast<std::size_t>(record.Size())) return false;
    const double* values = record.GetAll();
    bool ok = true;
    for (const CategoryCheck& check : fvCategoryChecks) {
      const double v = values[check.index];
      // In [0, n] the conversion is defined and truncates, so it tells a whole number; outside, NaN
      // equals nothing.
      const double whole = v >= 0.0 && v <= check.limit ? static_cast<double>(static_cast<int>(v))
                                                        : std::numeric_limits<double>::quiet_NaN();
      ok &= whole == v;
    }
    for (int index : fvValueChecks) {
      const double v = values[index];
      ok &= v >= -kLargest && v <= kLargest && v != kMissing;
    }
    for (int index : fvWeightChecks) {
      const double v = values[index];
      ok &= v > 0.0 && v <= kLargest;
    }
    return ok;
  }
  static constexpr double kLargest = std::numeric_limits<double>::max();
  static constexpr double kMissing = QXMV::gMissingValue;

  std::vector<QXConst::QXVariableType> fvVariableTypes;
  int fNTargetCategories = 0;
  std::vector<int> fvNCategories;
  std::vector<Check> fvChecks;
  // The same checks by kind, for PassesEveryCheck.
  struct CategoryCheck {
    int index;
    double limit;
  };
  std::vector<CategoryCheck> fvCategoryChecks;
  std::vector<int> fvValueChecks;
  std::vector<int> fvWeightChecks;
};

}  // namespace QXMath_600
