#include "common/QXStatus.h"

#include <cmath>
#include <cstdio>

namespace QXCommon_600 {

namespace {

bool ValidIndex(int index) { return index >= 0 && index < QXStatus::kMaxData; }

// The situation each code describes, phrased for a user of a statistics application.
const char* BaseText(long code) {
  switch (code) {
    case 0: return "success";
    case 1: return "the operation was cancelled";
    case 301: return "the model has no dependent variable";
    case 302: return "the model has neither an intercept nor any model effect";
    case 303: return "the operation was asked for in an invalid state or with invalid arguments";
    case 304: return "a pass of the record iterator failed (a read error or truncated data)";
    case 305: return "the model has too many parameters";
    case 306: return "the data pass was requested a second time";
    case 307: return "the data contain no valid record";
    case 308: return "no record with a positive weight was found, or the total weight is not positive";
    case 309: return "the model was asked to build or solve before its parameters or data exist";
    case 310: return "the model is already built";
    case 311: return "a record was scored before the model was built";
    case 312: return "the record iterator returned a null record while it reported more records";
    case 313: return "a record could not be added to the cross-product matrix";
    case 314: return "a record holds no values";
    case 315: return "a record has fewer variables than the model uses";
    case 316: return "a categorical value is not a valid category code";
    case 317: return "an internal inconsistency was detected";
    case 318: return "the dependent variable has fewer than two categories with positive weight";
    case 319:
      return "the requested reference category is not among the categories with positive weight; the last "
             "category is used";
    case 320: return "a contrast cannot be formed for the given number of levels or reference category";
    case 321: return "the hypothesis has no testable rows";
    case 322: return "the hypothesis matrix does not match the number of parameters";
    case 323: return "no parameter of the model is estimable";
    case 324: return "a comparison needs at least two observed categories";
    case 325: return "a polynomial contrast has fewer metric values than observed categories";
    case 326:
      return "a polynomial contrast has more metric values than observed categories; the extra values are "
             "ignored";
    case 327: return "the reference category of a simple contrast is not an observed category";
    case 328: return "an index is out of range";
    case 329: return "a test index is out of range";
    case 330: return "a comparison has fewer than two rows or pairs";
    case 331: return "the reference category used is not the last observed category of the compare factor";
    case 332: return "a test group holds fewer categories than the compare factor has";
    case 333: return "the marginal means cannot be computed for this specification";
    case 334: return "the marginal means cannot be estimated";
    case 335: return "the design of the marginal means does not match the model";
    case 336: return "the covariance matrix does not match the number of estimates";
    case 337: return "the model fit did not converge";
    default: return nullptr;
  }
}

// How a logistic fit that did not converge ended, by the optimizer's convergence state.
const char* ConvergenceText(long state) {
  switch (state) {
    case 4:
      return "the information matrix became singular before the fit converged: some estimates and standard "
             "errors are unreliable";
    case 5:
      return "halving the step could not increase the log-likelihood before the fit converged: the estimates "
             "are those of the last step that increased it";
    case 6: return "the maximum number of iterations was reached before the fit converged";
    case 7: return "complete separation: the maximum likelihood estimates do not exist and some are infinite";
    case 8: return "quasi-complete separation: some estimates may be infinite";
    case 9: return "no iteration was run: the estimates are the starting values";
    default: return nullptr;
  }
}

std::string FormatDouble(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

}  // namespace

void QXStatus::SetDiscreteDatum(int index, long value) {
  if (!ValidIndex(index)) return;
  fDiscrete[index] = value;
  fDiscreteSet |= 1u << index;
}

void QXStatus::SetScaleDatum(int index, double value) {
  if (!ValidIndex(index)) return;
  fScale[index] = value;
  fScaleSet |= 1u << index;
}

bool QXStatus::HasDiscreteDatum(int index) const {
  return ValidIndex(index) && (fDiscreteSet & (1u << index)) != 0;
}

bool QXStatus::HasScaleDatum(int index) const {
  return ValidIndex(index) && (fScaleSet & (1u << index)) != 0;
}

long QXStatus::GetDiscreteDatum(int index) const { return HasDiscreteDatum(index) ? fDiscrete[index] : 0; }

double QXStatus::GetScaleDatum(int index) const { return HasScaleDatum(index) ? fScale[index] : 0.0; }

std::string QXStatus::GetMessage() const {
  const char* base = BaseText(fCode);
  std::string text = base ? base : "unknown condition";
  // Codes whose data have a fixed meaning get a sentence that uses them.
  if (fCode == 316 && HasDiscreteDatum(1) && HasScaleDatum(1)) {
    text = "categorical value " + FormatDouble(GetScaleDatum(1)) + " of variable " +
           std::to_string(GetDiscreteDatum(1)) + " is not a valid category code";
  } else if (fCode == 304 && HasDiscreteDatum(0)) {
    text = "a pass of the record iterator failed with fail reason " + std::to_string(GetDiscreteDatum(0)) +
           " (a read error or truncated data)";
  } else if (fCode == 313 && HasDiscreteDatum(0) && HasDiscreteDatum(1)) {
    const long column = GetDiscreteDatum(0);
    text =
        column == GetDiscreteDatum(1)
            ? "the sum of squares of the dependent variable overflows: its values are too large for double "
              "precision (rescale it)"
            : "the cross products of parameter " + std::to_string(column) +
                  " overflow: its values or their products are too large for double precision (rescale the "
                  "covariates)";
  } else if (fCode == 305 && HasDiscreteDatum(0) && HasDiscreteDatum(1)) {
    text += " (" + std::to_string(GetDiscreteDatum(0)) + "; at most " + std::to_string(GetDiscreteDatum(1)) +
            " are supported)";
  } else if (fCode == 337 && HasDiscreteDatum(0) && ConvergenceText(GetDiscreteDatum(0)) != nullptr) {
    text = std::string(ConvergenceText(GetDiscreteDatum(0))) + " (convergence state " +
           std::to_string(GetDiscreteDatum(0)) + ")";
  } else if (fCode == 322 && HasDiscreteDatum(0) && HasDiscreteDatum(1)) {
    text += " (" + std::to_string(GetDiscreteDatum(0)) + " columns for " +
            std::to_string(GetDiscreteDatum(1)) + " parameters)";
  } else if ((fCode == 328 || fCode == 329) && HasDiscreteDatum(0) && HasDiscreteDatum(1)) {
    text += " (index " + std::to_string(GetDiscreteDatum(0)) + ", largest valid index " +
            std::to_string(GetDiscreteDatum(1)) + ")";
  } else {
    std::string data;
    for (int i = 0; i < kMaxData; ++i) {
      if (HasDiscreteDatum(i)) data += (data.empty() ? "" : ", ") + std::to_string(GetDiscreteDatum(i));
      if (HasScaleDatum(i)) data += (data.empty() ? "" : ", ") + FormatDouble(GetScaleDatum(i));
    }
    if (!data.empty()) text += " (" + data + ")";
  }
  if (fCode == 0) return text;
  return (fbWarning ? "warning " : "error ") + std::to_string(fCode) + ": " + text;
}

bool QXStatus::operator==(const QXStatus& other) const {
  if (fCode != other.fCode || fbWarning != other.fbWarning) return false;
  if (fDiscreteSet != other.fDiscreteSet || fScaleSet != other.fScaleSet) return false;
  for (int i = 0; i < kMaxData; ++i) {
    if (HasDiscreteDatum(i) && fDiscrete[i] != other.fDiscrete[i]) return false;
    // Bitwise-equal comparison would separate 0.0 and -0.0; the values that reach a status never
    // differ only so, while NaN data must still compare equal to themselves for deduplication.
    if (HasScaleDatum(i) &&
        !(fScale[i] == other.fScale[i] || (std::isnan(fScale[i]) && std::isnan(other.fScale[i]))))
      return false;
  }
  return true;
}

}  // namespace QXCommon_600
