#include "settings/QXDisplayC.h"

#include <string>

#include "common/QXDisplay.h"

namespace QXDisplay_600 {

namespace {

constexpr const char* kUnrecognized = " = unrecognized";
constexpr const char* kTypeUnrecognized = " = Type unrecognized";
constexpr const char* kCategoryUnrecognized = " = Category unrecognized";

// Looks a value up in a table of texts indexed from `first`; anything outside gets `other`.
template <std::size_t N>
const char* Pick(int value, int first, const char* const (&texts)[N], const char* other) {
  const long long position = static_cast<long long>(value) - first;
  if (position < 0 || position >= static_cast<long long>(N)) return other;
  const char* text = texts[position];
  return text ? text : other;
}

void Print(std::string_view label, const char* text) {
  std::string line(label);
  line += text;
  DisplayText(1, line);
}

}  // namespace

void DisplayC(std::string_view label, QXConst::QXVariableType value) {
  static constexpr const char* kTexts[] = {" = Variable type unspecified (default)",
                                           " = Frequency Weight: positive int values",
                                           " = Regression Weight: positive values",
                                           " = Factor for any model, categorical",
                                           " = Covariate for any model, continuous",
                                           " = Dependent or Events variable",
                                           " = Offset Variable type",
                                           " = Trials variable in GZLM or GLMM",
                                           " = Subject variable"};
  Print(label, Pick(value, 0, kTexts, kUnrecognized));
}

void DisplayC(std::string_view label, QXConst::LinkType value) {
  static constexpr const char* kTexts[] = {" = Complementary log-log",
                                           " = Identity",
                                           " = Log",
                                           " = Log complement",
                                           " = Logit",
                                           " = Negative binomial",
                                           " = Negative log-log",
                                           " = Odds power",
                                           " = Power",
                                           " = Probit",
                                           " = Cumulative Cauchit",
                                           " = Cumulative complementary log-log",
                                           " = Cumulative logit",
                                           " = Cumulative negative log-log",
                                           " = Cumulative probit"};
  Print(label, Pick(value, 0, kTexts, kTypeUnrecognized));
}

void DisplayC(std::string_view label, QXConst::DistType value) {
  // The nominal multinomial has no text of its own and shows as unrecognized.
  static constexpr const char* kTexts[] = {" = Normal",
                                           " = Binomial",
                                           " = Gamma",
                                           " = Inverse Gaussian",
                                           " = Negative binomial",
                                           " = Poisson",
                                           " = Ordinal Multinomial",
                                           " = Tweedie"};
  Print(label, Pick(value, 0, kTexts, kTypeUnrecognized));
}

void DisplayC(std::string_view label, QXConst::QXContrastType value) {
  static constexpr const char* kTexts[] = {" = Simple Contrast",     " = Contrast by Deviation",
                                           " = Contrast by Helmert", " = Contrast by Difference",
                                           " = Contrast Repeated",   " = Contrast by Polynomial",
                                           " = Pairwise Contrast"};
  Print(label, Pick(value, 0, kTexts, kUnrecognized));
}

void DisplayC(std::string_view label, QXConst::QXPAdjustMethod value) {
  static constexpr const char* kTexts[] = {" = Least significance difference", " = Bonferroni",
                                           " = Sequential Bonferroni", " = Sidak", " = Sequential Sidak"};
  Print(label, Pick(value, 0, kTexts, kUnrecognized));
}

void DisplayC(std::string_view label, QXConst::QXTestType value) {
  // The individual-only kinds have no text of their own.
  static constexpr const char* kTexts[] = {" = Wald F test", nullptr, " = Chi-Square test"};
  Print(label, Pick(value, 0, kTexts, kUnrecognized));
}

void DisplayC(std::string_view label, QXConst::QXEffectAnalysisType value) {
  static constexpr const char* kTexts[] = {" = Analysis type I", " = Analysis type III",
                                           " = Both types I and III",
                                           " = Analysis type None (no effect analysis)"};
  Print(label, Pick(value, 0, kTexts, kUnrecognized));
}

void DisplayC(std::string_view label, QXConst::QXOffsetType value) {
  static constexpr const char* kTexts[] = {" = No offset", " = Offset variable", " = Offset value"};
  Print(label, Pick(value, 0, kTexts, kTypeUnrecognized));
}

void DisplayC(std::string_view label, QXConst::QXCovbType value) {
  static constexpr const char* kTexts[] = {" = Model", " = Robust"};
  Print(label, Pick(value, 0, kTexts, kUnrecognized));
}

void DisplayC(std::string_view label, QXConst::QXCategOrder value) {
  static constexpr const char* kTexts[] = {" = Ascending", " = Descending", " = Data"};
  Print(label, Pick(value, 0, kTexts, kUnrecognized));
}

void DisplayC(std::string_view label, QXConst::QXCategRef value) {
  static constexpr const char* kTexts[] = {" = High Category", " = Low Category",
                                           " = Category specified by value"};
  Print(label, Pick(value, 0, kTexts, kCategoryUnrecognized));
}

void DisplayC(std::string_view label, QXConst::QXClassMissing value) {
  static constexpr const char* kTexts[] = {" = Exclude user missing in classification variables",
                                           " = Include user missing in classification variables"};
  Print(label, Pick(value, 0, kTexts, kUnrecognized));
}

void DisplayC(std::string_view label, QXConst::QXConvType value) {
  static constexpr const char* kTexts[] = {" = Absolute convergence", " = Relative convergence"};
  Print(label, Pick(value, 1, kTexts, kUnrecognized));
}

void DisplayC(std::string_view label, QXConst::QXDependentType value) {
  static constexpr const char* kTexts[] = {" = Unknown type", " = Single variable",
                                           " = Pair of variables: events and trials",
                                           " = Events variable and constant trials"};
  Print(label, Pick(value, 0, kTexts, kTypeUnrecognized));
}

void DisplayC(std::string_view label, QXConst::QXEmmScaleType value) {
  static constexpr const char* kTexts[] = {" = Original", " = Transformed"};
  Print(label, Pick(value, 0, kTexts, kUnrecognized));
}

void DisplayC(std::string_view label, QXConst::QXHessianCompMethod value) {
  static constexpr const char* kTexts[] = {" = Fisher scoring", " = Newton-Raphson", " = Hybrid"};
  Print(label, Pick(value, 1, kTexts, kTypeUnrecognized));
}

}  // namespace QXDisplay_600
