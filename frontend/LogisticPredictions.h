// Predictions of a fitted multinomial logistic model, written as CSV, one line per row in the order of
// the rows: the predicted category (the most probable; ties go to the category with the larger
// weighted count, as the library scores) and the probability of every category of the model, in the
// order of the response's levels ("predicted,prob_High,prob_Low,prob_Medium"). For the fitted data
// (--predict) or for new rows (--predict-data). A row that cannot be scored (a missing predictor, a
// level or combination of levels the fit has not seen) gets empty fields.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "frontend/ModelBuilder.h"
#include "frontend/RecordFileWriter.h"
#include "frontend/RowSource.h"
#include "model/IQXRegComponent.h"

namespace QXFit {

class ProgressBar;

class LogisticPredictions {
 public:
  // `component` holds the built logistic model; `model` its variables.
  LogisticPredictions(QXMath_600::IQXRegComponent& component, const ModelBuilder& model);

  // The rows of the library's record file of the fit (`nVariables` doubles per record).
  bool WriteFitted(std::FILE* records, int nVariables, long long nRecords, const std::string& path,
                   ProgressBar* progress, std::string& error);
  // The rows of another data source, whose columns are found by name.
  bool WriteNew(RowSource& source, const std::string& path, ProgressBar* progress, std::string& error);

  // Rows of the last WriteNew without a prediction, with the first lines; empty when every row had one.
  const RowExamples& GetUnscored() const { return fUnscored; }

 private:
  // The header, and the columns' order: for each output column, the position of its category among
  // the library's probabilities. False when the component holds no logistic model.
  bool Prepare(std::FILE* out, std::string& error);
  // Scores one record into a line; false (empty fields) when it has no prediction.
  bool WriteRecord(const QXCommon_600::Record& record, std::FILE* out);

  QXMath_600::IQXRegComponent& fComponent;
  const ModelBuilder& fModel;
  std::vector<int> fCodes;           // the model's categories in the library's order
  std::vector<std::size_t> fOutput;  // per output column, its index in fCodes
  std::vector<std::string> fTexts;   // the response's level texts by code
  std::vector<double> fProbabilities;
  RowExamples fUnscored;
};

}  // namespace QXFit
