// Shared by the logistic model's tests: settings built from a case of logistic_models.R's layout, an
// iterator that counts the passes a fit starts over the caller's data, and a fitted component.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "qxregres600r.h"
#include "tests/linear/linear_test_support.h"

namespace qx_logistic_test {

using nlohmann::json;
using qx_linear_test::RecordFile;
using qx_linear_test::Records;

inline const json& ReferenceCases() {
  static const json cases = [] {
    std::ifstream in(std::string(QX_TEST_REFERENCE_DIR) + "/logistic_models.json");
    return json::parse(in)["cases"];
  }();
  return cases;
}

inline QXMath_600::QXLogRegSettings MakeSettings(const json& c, bool patternTabulator) {
  QXMath_600::QXLogRegSettings settings;
  qx_linear_test::FillSettings(settings, c);
  EXPECT_TRUE(settings.SetDependentRefCat(c["reference"].get<int>(), c["n_categories"].get<int>()));
  settings.SetUsePatternTabulator(patternTabulator);
  return settings;
}

// Passes another iterator through, counting the passes started and the records handed out.
class CountingIterator : public QXCommon_600::MultiPassRecordIter {
 public:
  explicit CountingIterator(QXCommon_600::MultiPassRecordIter& inner) : fInner(inner) {}
  bool HasMore() const override { return fInner.HasMore(); }
  const QXCommon_600::Record* Next() override {
    ++fRecords;
    return fInner.Next();
  }
  int GetFailReason() const override { return fInner.GetFailReason(); }
  int NewPass() override {
    ++fPasses;
    return fInner.NewPass();
  }
  int GetPasses() const { return fPasses; }
  long GetRecords() const { return fRecords; }

 private:
  QXCommon_600::MultiPassRecordIter& fInner;
  int fPasses = 0;
  long fRecords = 0;
};

// A component built from settings over records; the build's status is kept for the test to inspect.
struct Fit {
  Fit(const QXMath_600::QXLogRegSettings& logSettings, const Records& records)
      : settings(logSettings), file(std::make_unique<RecordFile>(records)) {
    QXMath_600::QXRegFactory factory;
    component.reset(factory.CreateRegAlgorithm(settings));
    EXPECT_NE(component, nullptr) << factory.GetStatus().GetMessage();
    if (!component) return;
    auto it = file->Iterator();
    status = component->BuildModel(it);
    QXMath_600::IQXRegOutputStats* out = nullptr;
    if (!status.IsError() && component->GetOutputStats(out).IsError() == false)
      stats = dynamic_cast<QXMath_600::QXLogOutputStats*>(out);
  }
  QXMath_600::QXLogRegSettings settings;
  std::unique_ptr<RecordFile> file;
  std::unique_ptr<QXMath_600::IQXRegComponent> component;
  QXCommon_600::QXStatus status;
  QXMath_600::QXLogOutputStats* stats = nullptr;
};

}  // namespace qx_logistic_test
