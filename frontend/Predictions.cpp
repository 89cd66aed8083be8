#include "frontend/Predictions.h"

#include <cmath>
#include <memory>
#include <optional>

#include "common/QXDistFun.h"
#include "common/QXMissingValue.h"
#include "common/QXStatus.h"
#include "common/QXSymMatrix.h"
#include "frontend/PredictionRows.h"
#include "frontend/ProgressBar.h"
#include "model/IQXRegOutputStats.h"
#include "records/BinaryRecordIterator.h"
#include "records/QXRegRecordValidator.h"
#include "settings/QXRegSettings.h"

namespace QXFit {

Predictions::Predictions(QXMath_600::IQXRegComponent& component, const ModelBuilder& model,
                         const FitResult& result)
    : fComponent(component), fModel(model), fResult(result) {}

bool Predictions::QuadraticForm(const QXCommon_600::Record& record, double& value) {
  QXMath_600::IQXRegOutputStats* stats = nullptr;
  if (fComponent.GetOutputStats(stats).IsError() || stats == nullptr) return false;
  const QXMath_600::QXSymMatrix* covariance = stats->GetCovarianceMatrix();
  if (covariance == nullptr || !stats->ExpandRow(record, fRow)) return false;
  // A design row has one entry per effect, so the form costs the square of that, not of the parameters.
  fNonZero.clear();
  for (std::size_t k = 0; k < fRow.size(); ++k)
    if (fRow[k] != 0.0) fNonZero.push_back(static_cast<int>(k));
  value = 0.0;
  for (const int j : fNonZero)
    for (const int k : fNonZero) value += fRow[j] * fRow[k] * covariance->GetElem(j, k);
  return true;
}

bool Predictions::WriteFitted(std::FILE* records, int nVariables, long long nRecords, bool residuals,
                              const std::string& path, ProgressBar* progress, std::string& error) {
  QXMath_600::IQXRegOutputStats* stats = nullptr;
  if (fComponent.GetOutputStats(stats).IsError() || stats == nullptr) {
    error = "no fitted model to predict from";
    return false;
  }
  File out = OpenOutput(path, error);
  if (!out) return false;
  std::fputs(residuals ? "predicted,residual,std_residual\n" : "predicted\n", out.get());
  QXCommon_600::BinaryRecordIterator iterator(records, nVariables);
  if (iterator.NewPass() > QXCommon_600::BinaryRecordIterator::kEndOfData) {
    error = "cannot read the temporary record file";
    return false;
  }
  if (progress != nullptr) progress->Start("predicting");
  const QXMath_600::QXRegRecordValidator& validator = stats->GetRecordValidator();
  const int regrWeight = fComponent.GetCompSettings().GetRegrWeightVar();
  const int dependent = fComponent.GetCompSettings().GetDependent();
  std::vector<double> probabilities;
  long long count = 0;
  while (iterator.HasMore()) {
    const QXCommon_600::Record* record = iterator.Next();
    if (record == nullptr) break;
    if (progress != nullptr && (++count & 0xFFF) == 0 && nRecords > 0)
      progress->Update(static_cast<double>(count) / static_cast<double>(nRecords));
    CsvLine line(out.get());
    QXCommon_600::QXStatus status;
    double prediction = QXMV::gMissingValue;
    // A record with a missing factor or covariate has no prediction, whatever Score would make of it.
    if (!validator.IsValid4Scoring(*record, status) ||
        fComponent.Score(*record, prediction, probabilities).IsError() || QXMV::IsMissing(prediction)) {
      for (int k = residuals ? 3 : 1; k > 0; --k) line.Add(std::nullopt);
      continue;
    }
    line.Add(prediction);
    if (!residuals) continue;
    // Residuals belong to the records the fit used.
    if (!validator.IsValidRecord(*record, status)) {
      line.Add(std::nullopt);
      line.Add(std::nullopt);
      continue;
    }
    const double residual = (*record)[dependent] - prediction;
    line.Add(residual);
    const double g = regrWeight >= 0 ? (*record)[regrWeight] : 1.0;
    double form = 0.0;
    std::optional<double> standardized;
    if (fResult.fSigma && *fResult.fSigma > 0.0 && QuadraticForm(*record, form) && g * form < 1.0)
      standardized = residual * std::sqrt(g) / (*fResult.fSigma * std::sqrt(1.0 - g * form));
    line.Add(standardized);
  }
  if (progress != nullptr) progress->Clear();
  return FinishFittedPass(iterator.GetFailReason(), out.get(), path, error);
}

bool Predictions::WriteNew(RowSource& source, const std::string& path, ProgressBar* progress,
                           std::string& error) {
  fUnscored = RowExamples{};
  NewRows rows;
  if (!rows.Open(source, fModel, error)) return false;
  File out = OpenOutput(path, error);
  if (!out) return false;
  std::fputs("predicted,se_fit,conf_lower,conf_upper,pred_lower,pred_upper\n", out.get());
  std::optional<double> quantile;
  const double tail = (1.0 - fResult.fConfidenceLevel) / 2.0;
  if (fResult.fSigma && fResult.fDfError)
    quantile = fResult.fTest == TestKind::kF ? QXMath_600::QXDistFun::IdfTUpper(tail, *fResult.fDfError)
                                             : QXMath_600::QXDistFun::IdfStdNormUpper(tail);
  if (progress != nullptr) progress->Start("predicting");
  QXCommon_600::Record record(static_cast<int>(fModel.GetVariables().size()));
  std::vector<double> probabilities;
  bool complete = true;
  while (rows.Next(record, complete)) {
    if (progress != nullptr && (source.GetRowNumber() & 0xFFF) == 0) progress->Update(source.GetProgress());
    CsvLine line(out.get());
    double prediction = QXMV::gMissingValue;
    double form = 0.0;
    if (!complete || fComponent.Score(record, prediction, probabilities).IsError() ||
        QXMV::IsMissing(prediction) || !QuadraticForm(record, form)) {
      fUnscored.Add(source.GetLineNumber());
      for (int k = 0; k < 6; ++k) line.Add(std::nullopt);
      continue;
    }
    line.Add(prediction);
    if (!quantile) {
      for (int k = 0; k < 5; ++k) line.Add(std::nullopt);
      continue;
    }
    const double sigma = *fResult.fSigma;
    const double se = sigma * std::sqrt(form);
    const double spread = std::sqrt(sigma * sigma + se * se);
    line.Add(se);
    line.Add(prediction - *quantile * se);
    line.Add(prediction + *quantile * se);
    line.Add(prediction - *quantile * spread);
    line.Add(prediction + *quantile * spread);
  }
  if (progress != nullptr) progress->Clear();
  if (!source.GetError().empty()) {
    error = source.GetError();
    return false;
  }
  return FinishFile(out.get(), path, error);
}

}  // namespace QXFit
