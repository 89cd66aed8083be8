// The tool's one meeting point with the library's model interfaces: creates the linear model's
// component through the factory, builds it over the tool's record file, and reads the output
// statistics into a FitResult with the tests of the parameters and of the model effects.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "common/RecordIterator.h"
#include "frontend/FitResult.h"
#include "frontend/ModelBuilder.h"
#include "model/IQXRegComponent.h"
#include "settings/QXRegSettings.h"

namespace QXFit {

class ProgressBar;

class FitRunner {
 public:
  // `records` is the tool's record file of `nVariables` doubles per record and `nRecords` records;
  // it is borrowed and must stay open while the runner is used.
  FitRunner(std::FILE* records, int nVariables, long long nRecords, ProgressBar* progress);
  // Over records the caller iterates itself (`nRecords` of them), borrowed likewise.
  FitRunner(QXCommon_600::MultiPassRecordIter& records, long long nRecords, ProgressBar* progress);
  FitRunner(const FitRunner&) = delete;
  FitRunner& operator=(const FitRunner&) = delete;
  ~FitRunner();

  // Creates the component and builds the model: a linear one, or a logistic one for QXLogRegSettings.
  // False with the library's message on an error status. The settings' test type and confidence
  // level are those of the tests GetResult forms; a progress listener they hold is kept, and the
  // progress bar takes its place otherwise.
  bool Fit(const QXMath_600::QXRegSettings& settings, std::string& error);
  // The estimates with their tests, the tests of model effects and the fit statistics, labelled by
  // `model`. The tests follow what `result` asks for on entry (fTest, fConfidenceLevel, fbTypeI,
  // fbTypeIII). False with the library's message on an error status.
  bool GetResult(const ModelBuilder& model, FitResult& result, std::string& error) const;
  // The built model's component; null before Fit succeeds.
  QXMath_600::IQXRegComponent* GetComponent() const { return fpComponent.get(); }

 private:
  std::FILE* fpRecords = nullptr;
  QXCommon_600::MultiPassRecordIter* fpIterator = nullptr;
  int fNVariables = 0;
  long long fNRecords;
  ProgressBar* fpProgress;
  std::unique_ptr<QXMath_600::IQXRegComponent> fpComponent;
};

}  // namespace QXFit
