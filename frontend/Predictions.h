// Predictions of a fitted linear model, written as CSV, one line per row in the order of the rows:
//   - for the fitted data (--predict): the prediction, and with --residuals the residual y - fitted and
//     the standardized residual r sqrt(g) / (sigma sqrt(1 - h)), h = g x' C x the leverage (g the
//     regression weight, C the library's unscaled covariance), as R's rstandard;
//   - for new rows (--predict-data): the prediction with the standard error of the fitted value,
//     se = sigma sqrt(x' C x), and the confidence and prediction bounds fitted -/+ q se and
//     fitted -/+ q sqrt(sigma^2 + se^2) at the fit's confidence level, q the t quantile on the error
//     degrees of freedom (the normal quantile with --test chisq), as R's predict(interval = ...) gives
//     them for a new record of weight 1.
// A row that cannot be scored (a missing predictor, a level or combination of levels the fit has not
// seen) gets empty fields; the statistics that need sigma are empty without error degrees of freedom.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "frontend/FitResult.h"
#include "frontend/ModelBuilder.h"
#include "frontend/RecordFileWriter.h"
#include "frontend/RowSource.h"
#include "model/IQXRegComponent.h"

namespace QXFit {

class ProgressBar;

class Predictions {
 public:
  // `component` holds the built model; `model` its variables; `result` the fit's sigma, error degrees
  // of freedom, test kind and confidence level.
  Predictions(QXMath_600::IQXRegComponent& component, const ModelBuilder& model, const FitResult& result);

  // The rows of the library's record file of the fit (`nVariables` doubles per record).
  bool WriteFitted(std::FILE* records, int nVariables, long long nRecords, bool residuals,
                   const std::string& path, ProgressBar* progress, std::string& error);
  // The rows of another data source, whose columns are found by name.
  bool WriteNew(RowSource& source, const std::string& path, ProgressBar* progress, std::string& error);

  // Rows of the last WriteNew without a prediction, with the first lines; empty when every row had one.
  const RowExamples& GetUnscored() const { return fUnscored; }

 private:
  // x' C x over the non-zero entries of the record's design row; false when the row has no design.
  bool QuadraticForm(const QXCommon_600::Record& record, double& value);

  QXMath_600::IQXRegComponent& fComponent;
  const ModelBuilder& fModel;
  const FitResult& fResult;
  std::vector<double> fRow;
  std::vector<int> fNonZero;
  RowExamples fUnscored;
};

}  // namespace QXFit
