// The caller's description of one variable of its data, as the exports need it: a name, a
// measurement level and, for categorical variables, the categories in level-index order with their
// values and texts (the texts are what PMML and ZozoREZ write for a category). Scale variables
// (QXContVar) carry their observed range instead.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/QXExport.h"
#include "common/QXMissingValue.h"

namespace QXCommon_600 {

enum class QXMeasurement { Nominal = 0, Ordinal = 1, Scale = 2 };

class QXContVar;

class QXCOMMON_API IQXVariable {
 public:
  virtual ~IQXVariable() = default;
  virtual const std::string& GetName() const = 0;
  virtual QXMeasurement GetMeasurement() const = 0;
  // Number of categories; 0 for a scale variable.
  virtual int GetNCategories() const = 0;
  // Value of the category with level index k; QXMV::gMissingValue outside 0..GetNCategories()-1.
  virtual double GetCategoryValue(int k) const = 0;
  // Text of the category with level index k; empty outside 0..GetNCategories()-1.
  virtual std::string GetCategoryText(int k) const = 0;
  // This variable as a scale variable, or null when it is not one.
  virtual const QXContVar* AsContVar() const { return nullptr; }
  virtual void Display() const = 0;
};

// A nominal or ordinal variable. Categories are added in level-index order.
class QXCOMMON_API QXCatVar : public IQXVariable {
 public:
  explicit QXCatVar(std::string_view name, QXMeasurement measurement = QXMeasurement::Nominal);

  // Adds a category whose text is its value written as a number ("1", "2.5"). Refused (false) for a
  // NaN or missing value and for a value already present.
  bool AddCategory(double value);
  // Adds a category with its own text (a label or a string code).
  bool AddCategory(double value, std::string_view text);
  // Level index of the category with that value, or -1.
  int GetCategoryIndex(double value) const;

  const std::string& GetName() const override { return fName; }
  QXMeasurement GetMeasurement() const override { return fMeasurement; }
  int GetNCategories() const override { return static_cast<int>(fvValues.size()); }
  double GetCategoryValue(int k) const override;
  std::string GetCategoryText(int k) const override;
  void Display() const override;

 private:
  std::string fName;
  QXMeasurement fMeasurement;
  std::vector<double> fvValues;
  std::vector<std::string> fvTexts;
};

// A scale variable with its observed minimum and maximum (missing until known).
class QXCOMMON_API QXContVar : public IQXVariable {
 public:
  explicit QXContVar(std::string_view name, double min = QXMV::gMissingValue,
                     double max = QXMV::gMissingValue);

  double GetMin() const { return fMin; }
  double GetMax() const { return fMax; }
  // Refused (false, range unchanged) when either bound is NaN or infinite or min exceeds max; the
  // missing value for both clears the range.
  bool SetRange(double min, double max);

  const std::string& GetName() const override { return fName; }
  QXMeasurement GetMeasurement() const override { return QXMeasurement::Scale; }
  int GetNCategories() const override { return 0; }
  double GetCategoryValue(int) const override { return QXMV::gMissingValue; }
  std::string GetCategoryText(int) const override { return std::string(); }
  const QXContVar* AsContVar() const override { return this; }
  void Display() const override;

 private:
  std::string fName;
  double fMin = QXMV::gMissingValue;
  double fMax = QXMV::gMissingValue;
};

}  // namespace QXCommon_600
