// The result of one hypothesis test: the overall test of a contrast matrix, one row of it, the test of
// a model effect or a pairwise comparison of marginal means. A plain value record that the tests fill
// and the caller reads; statistics that could not be formed hold QXMV::gMissingValue.
#pragma once

#include "common/QXExport.h"
#include "common/QXMissingValue.h"
#include "settings/QXConst.h"

namespace QXMath_600 {

class QXREGRES_API QXTestStats {
 public:
  QXTestStats() = default;

  // Every field but the test type and the adjustment method back to its default; those two as well
  // when resetAll is true.
  void Reset(bool resetAll);

  QXConst::QXTestType GetTestType() const { return fTestType; }
  void SetTestType(QXConst::QXTestType type) { fTestType = type; }
  QXConst::QXPAdjustMethod GetPAdjMethod() const { return fPAdjMethod; }
  void SetPAdjMethod(QXConst::QXPAdjustMethod method) { fPAdjMethod = method; }
  // Numerator degrees of freedom: the rank of the hypothesis of an overall test, 1 for one row. 0.0
  // (not missing) by default; the tests turn an untouched 0.0 into missing when nothing was testable.
  double GetDF() const { return fDF; }
  void SetDF(double df) { fDF = df; }
  // Denominator degrees of freedom of an F or t statistic.
  double GetDF2() const { return fDF2; }
  void SetDF2(double df2) { fDF2 = df2; }
  // The statistic: F, t or chi-square according to the test type.
  double GetWald() const { return fWald; }
  void SetWald(double wald) { fWald = wald; }
  double GetSig() const { return fSig; }
  void SetSig(double sig) { fSig = sig; }
  // The significance after the adjustment for multiple tests.
  double GetAdjSig() const { return fAdjSig; }
  void SetAdjSig(double sig) { fAdjSig = sig; }
  // The estimate l'b of one contrast and its standard error.
  double GetContrastEstimate() const { return fContrastEstimate; }
  void SetContrastEstimate(double estimate) { fContrastEstimate = estimate; }
  double GetStandardError() const { return fStandardError; }
  void SetStandardError(double se) { fStandardError = se; }
  // For an overall test: every row of the contrast matrix entered the statistic (or none was formed).
  // For one row: the row is among those the generalized inverse of the overall test kept.
  bool IsUsedInOverallTest() const { return fbUsedInOverallTest; }
  void SetUsedInOverallTest(bool used) { fbUsedInOverallTest = used; }
  // The number of distinct non-zero rows of the contrast matrix: the multiplier of the adjustments.
  int GetNNonRedunRows() const { return fNNonRedunRows; }
  void SetNNonRedunRows(int n) { fNNonRedunRows = n; }
  double GetLowerConfidenceInterval() const { return fLowerConfidenceInterval; }
  void SetLowerConfidenceInterval(double bound) { fLowerConfidenceInterval = bound; }
  double GetUpperConfidenceInterval() const { return fUpperConfidenceInterval; }
  void SetUpperConfidenceInterval(double bound) { fUpperConfidenceInterval = bound; }

  void Display() const;

 private:
  QXConst::QXTestType fTestType = QXConst::QXTestChiSquare;
  QXConst::QXPAdjustMethod fPAdjMethod = QXConst::QXPAdjLSD;
  double fDF = 0.0;
  double fDF2 = QXMV::gMissingValue;
  double fWald = QXMV::gMissingValue;
  double fSig = QXMV::gMissingValue;
  double fAdjSig = QXMV::gMissingValue;
  double fContrastEstimate = QXMV::gMissingValue;
  double fStandardError = QXMV::gMissingValue;
  bool fbUsedInOverallTest = true;
  int fNNonRedunRows = 0;
  double fLowerConfidenceInterval = QXMV::gMissingValue;
  double fUpperConfidenceInterval = QXMV::gMissingValue;
};

}  // namespace QXMath_600
