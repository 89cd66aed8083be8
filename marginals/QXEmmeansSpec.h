// One request for estimated marginal means: the factors whose level combinations get a mean, the
// values at which covariates are held, the factor whose levels are compared and the options of that
// comparison (contrast kind, reference level, metric values, p-value adjustment, reporting scale).
// Callers build specifications and hand them to the marginal means.
//
// The adding setters refuse (returning -1 and changing nothing) negative and repeated indices; the
// reference category and the metric values are accepted only for the contrast kind that uses them.
#pragma once

#include <utility>
#include <vector>

#include "common/QXExport.h"
#include "settings/QXConst.h"

namespace QXMath_600 {

class QXREGRES_API QXEmmeansSpec {
 public:
  QXEmmeansSpec() = default;

  // Appends a factor (a record variable index); returns the number of factors, or -1.
  int AddFactor(int factor);
  // The same, also recording the factor's nesting level when it is accepted.
  int AddFactor(int factor, int nestLevel);
  // Holds a covariate at a value; QXMV::gMissingValue holds it at its mean. Returns the number of
  // covariates, or -1.
  int AddCovariate(int covariate, double value);
  // Appends a factor whose levels are compared; only the first is used by the comparisons. Returns
  // the number of compare factors, or -1.
  int AddCompareFactor(int factor);

  void SetContrastType(QXConst::QXContrastType type) { fContrastType = type; }
  QXConst::QXContrastType GetContrastType() const { return fContrastType; }
  // The zero-based reference level of a simple contrast: set only when the contrast type is simple
  // and the level is not negative.
  void SetRefCateg(int reference);
  int GetRefCateg() const { return fRefCateg; }
  // The metric values of a polynomial contrast: accepted only when the contrast type is polynomial
  // and the values are not empty and strictly increasing.
  bool SetMetricValueList(const std::vector<double>& values);
  const std::vector<double>& GetMetricValueList() const { return fvMetricValues; }

  void SetPAdjust(QXConst::QXPAdjustMethod method) { fPAdjust = method; }
  QXConst::QXPAdjustMethod GetPAdjust() const { return fPAdjust; }
  void SetEmmScaleType(QXConst::QXEmmScaleType type) { fScaleType = type; }
  QXConst::QXEmmScaleType GetEmmScaleType() const { return fScaleType; }
  // Stored and handed back; nothing in the library interprets it.
  void SetReferenceType(QXConst::QXReferenceType type) { fReferenceType = type; }
  QXConst::QXReferenceType GetReferenceType() const { return fReferenceType; }

  // The marginal means complete the covariate list in place, hence the mutable forms.
  std::vector<int>& GetFactors() { return fvFactors; }
  const std::vector<int>& GetFactors() const { return fvFactors; }
  std::vector<int>& GetFactorsNestLevel() { return fvFactorNestLevels; }
  const std::vector<int>& GetFactorsNestLevel() const { return fvFactorNestLevels; }
  std::vector<std::pair<int, double>>& GetCovariates() { return fvCovariates; }
  const std::vector<std::pair<int, double>>& GetCovariates() const { return fvCovariates; }
  std::vector<int>& GetCompareFactors() { return fvCompareFactors; }
  const std::vector<int>& GetCompareFactors() const { return fvCompareFactors; }

  // Clears the factors, covariates, compare factors and metric values, and sets the reference
  // category to -1, the contrast type to simple (not the pairwise of a new specification), the
  // p-value adjustment and the scale type to 0. The nesting levels and the reference type are kept.
  void Reset();

  void Display() const;

 private:
  std::vector<int> fvFactors;
  std::vector<int> fvFactorNestLevels;
  std::vector<std::pair<int, double>> fvCovariates;
  std::vector<int> fvCompareFactors;
  QXConst::QXContrastType fContrastType = QXConst::QXContrastPairwise;
  int fRefCateg = -1;
  std::vector<double> fvMetricValues;
  QXConst::QXPAdjustMethod fPAdjust = QXConst::QXPAdjLSD;
  QXConst::QXEmmScaleType fScaleType = QXConst::QXEmmOriginal;
  QXConst::QXReferenceType fReferenceType = QXConst::QXReferenceDefault;
};

}  // namespace QXMath_600
