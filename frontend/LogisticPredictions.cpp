#include "frontend/LogisticPredictions.h"

#include <algorithm>
#include <memory>
#include <numeric>

#include "common/QXMissingValue.h"
#include "common/QXStatus.h"
#include "frontend/PredictionRows.h"
#include "frontend/ProgressBar.h"
#include "logistic/QXLogOutputStats.h"
#include "records/BinaryRecordIterator.h"

namespace QXFit {

LogisticPredictions::LogisticPredictions(QXMath_600::IQXRegComponent& component, const ModelBuilder& model)
    : fComponent(component), fModel(model) {}

bool LogisticPredictions::Prepare(std::FILE* out, std::string& error) {
  QXMath_600::IQXRegOutputStats* any = nullptr;
  const auto* stats = fComponent.GetOutputStats(any).IsError()
                          ? nullptr
                          : dynamic_cast<const QXMath_600::QXLogOutputStats*>(any);
  if (stats == nullptr) {
    error = "no fitted logistic model to predict from";
    return false;
  }
  fCodes = stats->GetDependCategories();
  fOutput.resize(fCodes.size());
  std::iota(fOutput.begin(), fOutput.end(), std::size_t{0});
  std::sort(fOutput.begin(), fOutput.end(),
            [&](std::size_t a, std::size_t b) { return fCodes[a] < fCodes[b]; });
  const FactorLevels& levels = fModel.GetVariables().front().fLevels;
  fTexts.clear();
  for (int code = 0; code < levels.GetNLevels(); ++code) fTexts.push_back(levels.GetText(code));
  CsvLine header(out);
  header.AddText("predicted");
  for (const std::size_t k : fOutput) header.AddText("prob_" + levels.GetText(fCodes[k]));
  return true;
}

bool LogisticPredictions::WriteRecord(const QXCommon_600::Record& record, std::FILE* out) {
  CsvLine line(out);
  double predicted = QXMV::gMissingValue;
  const bool scored = !fComponent.Score(record, predicted, fProbabilities).IsError() &&
                      !QXMV::IsMissing(predicted) && predicted >= 0.0 &&
                      predicted < static_cast<double>(fTexts.size()) &&
                      fProbabilities.size() == fCodes.size();
  if (!scored) {
    for (std::size_t k = 0; k <= fOutput.size(); ++k) line.Add(std::nullopt);
    return false;
  }
  line.AddText(fTexts[static_cast<std::size_t>(predicted)]);
  for (const std::size_t k : fOutput) line.Add(fProbabilities[k]);
  return true;
}

bool LogisticPredictions::WriteFitted(std::FILE* records, int nVariables, long long nRecords,
                                      const std::string& path, ProgressBar* progress, std::string& error) {
  File out = OpenOutput(path, error);
  if (!out || !Prepare(out.get(), error)) return false;
  QXCommon_600::BinaryRecordIterator iterator(records, nVariables);
  if (iterator.NewPass() > QXCommon_600::BinaryRecordIterator::kEndOfData) {
    error = "cannot read the temporary record file";
    return false;
  }
  if (progress != nullptr) progress->Start("predicting");
  long long count = 0;
  while (iterator.HasMore()) {
    const QXCommon_600::Record* record = iterator.Next();
    if (record == nullptr) break;
    if (progress != nullptr && (++count & 0xFFF) == 0 && nRecords > 0)
      progress->Update(static_cast<double>(count) / static_cast<double>(nRecords));
    WriteRecord(*record, out.get());
  }
  if (progress != nullptr) progress->Clear();
  return FinishFittedPass(iterator.GetFailReason(), out.get(), path, error);
}

bool LogisticPredictions::WriteNew(RowSource& source, const std::string& path, ProgressBar* progress,
                                   std::string& error) {
  fUnscored = RowExamples{};
  NewRows rows;
  if (!rows.Open(source, fModel, error)) return false;
  File out = OpenOutput(path, error);
  if (!out || !Prepare(out.get(), error)) return false;
  if (progress != nullptr) progress->Start("predicting");
  QXCommon_600::Record record(static_cast<int>(fModel.GetVariables().size()));
  bool complete = true;
  while (rows.Next(record, complete)) {
    if (progress != nullptr && (source.GetRowNumber() & 0xFFF) == 0) progress->Update(source.GetProgress());
    if (complete && WriteRecord(record, out.get())) continue;
    if (!complete) {
      CsvLine line(out.get());
      for (std::size_t k = 0; k <= fOutput.size(); ++k) line.Add(std::nullopt);
    }
    fUnscored.Add(source.GetLineNumber());
  }
  if (progress != nullptr) progress->Clear();
  if (!source.GetError().empty()) {
    error = source.GetError();
    return false;
  }
  return FinishFile(out.get(), path, error);
}

}  // namespace QXFit
