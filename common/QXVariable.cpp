#include "common/QXVariable.h"

#include <charconv>
#include <cmath>

#include "common/QXDisplay.h"

namespace QXCommon_600 {

namespace {

// The shortest text that reads back to the value: category codes 1, 2, 3 are written "1", "2", "3".
std::string ValueText(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

const char* MeasurementText(QXMeasurement m) {
  switch (m) {
    case QXMeasurement::Nominal: return "nominal";
    case QXMeasurement::Ordinal: return "ordinal";
    case QXMeasurement::Scale: return "scale";
  }
  return "unrecognized";
}

}  // namespace

QXCatVar::QXCatVar(std::string_view name, QXMeasurement measurement)
    : fName(name), fMeasurement(measurement) {}

bool QXCatVar::AddCategory(double value) { return AddCategory(value, ValueText(value)); }

bool QXCatVar::AddCategory(double value, std::string_view text) {
  if (std::isnan(value) || QXMV::IsMissing(value) || GetCategoryIndex(value) >= 0) return false;
  fvValues.push_back(value);
  fvTexts.emplace_back(text);
  return true;
}

int QXCatVar::GetCategoryIndex(double value) const {
  for (std::size_t k = 0; k < fvValues.size(); ++k)
    if (fvValues[k] == value) return static_cast<int>(k);
  return -1;
}

double QXCatVar::GetCategoryValue(int k) const {
  return k >= 0 && k < GetNCategories() ? fvValues[static_cast<std::size_t>(k)] : QXMV::gMissingValue;
}

std::string QXCatVar::GetCategoryText(int k) const {
  return k >= 0 && k < GetNCategories() ? fvTexts[static_cast<std::size_t>(k)] : std::string();
}

void QXCatVar::Display() const {
  QXDisplay_600::DisplayS("Variable name", fName);
  QXDisplay_600::DisplayS("Measurement", MeasurementText(fMeasurement));
  QXDisplay_600::DisplayDV("Category values", fvValues);
  for (std::size_t k = 0; k < fvTexts.size(); ++k) QXDisplay_600::DisplayS("Category text", fvTexts[k]);
}

QXContVar::QXContVar(std::string_view name, double min, double max) : fName(name) { SetRange(min, max); }

bool QXContVar::SetRange(double min, double max) {
  if (QXMV::IsMissing(min) && QXMV::IsMissing(max)) {
    fMin = fMax = QXMV::gMissingValue;
    return true;
  }
  if (!std::isfinite(min) || !std::isfinite(max) || QXMV::IsMissing(min) || QXMV::IsMissing(max) || min > max)
    return false;
  fMin = min;
  fMax = max;
  return true;
}

void QXContVar::Display() const {
  QXDisplay_600::DisplayS("Variable name", fName);
  QXDisplay_600::DisplayS("Measurement", MeasurementText(QXMeasurement::Scale));
  QXDisplay_600::DisplayD("Minimum", fMin);
  QXDisplay_600::DisplayD("Maximum", fMax);
}

}  // namespace QXCommon_600
