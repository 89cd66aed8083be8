// Shared by the linear model's tests: records written to an anonymous temporary binary file and read
// back through the library's own binary iterator, the way a caller streams its data, and settings
// built from a short description of a model or from a reference case of linear_models.R's layout.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "qxregres600r.h"

namespace qx_linear_test {

using Records = std::vector<std::vector<double>>;

// A binary record file holding `records` (all of one width), deleted when the object goes.
class RecordFile {
 public:
  explicit RecordFile(const Records& records)
      : fpFile(std::tmpfile()), fNVariables(records.empty() ? 1 : static_cast<int>(records[0].size())) {
    EXPECT_NE(fpFile, nullptr);
    for (const std::vector<double>& r : records)
      EXPECT_EQ(std::fwrite(r.data(), sizeof(double), r.size(), fpFile), r.size());
    std::fflush(fpFile);
  }
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;
  ~RecordFile() {
    if (fpFile != nullptr) std::fclose(fpFile);
  }
  // Appends raw bytes, for files that end in a truncated record.
  void AppendBytes(const void* bytes, std::size_t n) {
    std::fseek(fpFile, 0, SEEK_END);
    std::fwrite(bytes, 1, n, fpFile);
    std::fflush(fpFile);
  }
  QXCommon_600::BinaryRecordIterator Iterator() const {
    return QXCommon_600::BinaryRecordIterator(fpFile, fNVariables);
  }

 private:
  std::FILE* fpFile;
  int fNVariables;
};

inline QXCommon_600::Record MakeRecord(std::vector<double> values) {
  return QXCommon_600::Record(values.data(), static_cast<int>(values.size()));
}

// An in-memory multi-pass iterator that can misbehave: deliver nothing after its first pass, or a
// null record at a given position while claiming more.
class MemoryIterator : public QXCommon_600::MultiPassRecordIter {
 public:
  explicit MemoryIterator(Records records) {
    for (auto& r : records) fRecords.push_back(MakeRecord(r));
  }
  bool HasMore() const override { return fNext < Limit(); }
  const QXCommon_600::Record* Next() override {
    if (!HasMore()) return nullptr;
    const std::size_t at = fNext++;
    return at == fNullAt ? nullptr : &fRecords[at];
  }
  int GetFailReason() const override { return HasMore() ? 0 : 1; }
  int NewPass() override {
    ++fPass;
    fNext = 0;
    return GetFailReason();
  }
  std::size_t fNullAt = std::numeric_limits<std::size_t>::max();
  bool fbOnlyFirstPass = false;

 private:
  std::size_t Limit() const { return fbOnlyFirstPass && fPass > 1 ? 0 : fRecords.size(); }
  std::vector<QXCommon_600::Record> fRecords;
  std::size_t fNext = 0;
  int fPass = 0;
};

// One model term: factor record indices (in the order of their nesting levels, outermost first, with
// the level of each) and covariate record indices (repeated for a power).
struct Term {
  std::vector<int> factors;
  std::vector<int> nest;
  std::vector<int> covariates;
};

// The effect of a term over the settings' factors and covariates. Factors enter from the deepest
// nesting level out: each level's first factor nests what is already there.
inline QXMath_600::QXModelEffect MakeEffect(const QXMath_600::QXRegSettings& settings, const Term& term) {
  std::vector<int> candidates = settings.GetFactors();
  candidates.insert(candidates.end(), settings.GetCovariates().begin(), settings.GetCovariates().end());
  QXMath_600::QXModelEffect effect(static_cast<int>(settings.GetFactors().size()),
                                   static_cast<int>(settings.GetCovariates().size()), &candidates);
  int deepest = -1;
  for (int level : term.nest) deepest = std::max(deepest, level);
  for (int level = deepest; level >= 0; --level) {
    bool first = true;
    for (std::size_t i = 0; i < term.factors.size(); ++i) {
      if (term.nest[i] != level) continue;
      EXPECT_TRUE(effect.AddNewFactor(term.factors[i], first && level < deepest));
      first = false;
    }
  }
  for (int c : term.covariates) EXPECT_GE(effect.AddCovariate(c), 1);
  return effect;
}

// The record index of a reference case's column.
inline int ColumnIndex(const nlohmann::json& c, const std::string& name) {
  const auto& columns = c["columns"];
  for (std::size_t i = 0; i < columns.size(); ++i)
    if (columns[i] == name) return static_cast<int>(i);
  ADD_FAILURE() << "no column " << name;
  return -1;
}

// Settings as a caller makes them from a reference case: the record layout is the case's columns.
inline void FillSettings(QXMath_600::QXRegSettings& settings, const nlohmann::json& c) {
  EXPECT_TRUE(settings.SetDependent(ColumnIndex(c, c["dependent"])));
  for (const auto& f : c["factors"])
    EXPECT_GT(settings.AddFactor(ColumnIndex(c, f["name"]), static_cast<int>(f["levels"].size())), 0);
  for (const auto& name : c["covariates"]) EXPECT_GT(settings.AddCovariate(ColumnIndex(c, name)), 0);
  if (!c["freq"].is_null()) {
    EXPECT_TRUE(settings.SetFrequencyWeightVar(ColumnIndex(c, c["freq"])));
  }
  if (!c["regr"].is_null()) {
    EXPECT_TRUE(settings.SetRegrWeightVar(ColumnIndex(c, c["regr"])));
  }
  settings.SetInterceptUse(c["intercept"]);
  for (const auto& t : c["terms"]) {
    Term term;
    for (const auto& f : t["factors"]) term.factors.push_back(ColumnIndex(c, f));
    term.nest = t["nest"].get<std::vector<int>>();
    for (const auto& cv : t["covs"]) term.covariates.push_back(ColumnIndex(c, cv));
    EXPECT_TRUE(settings.AddModelEffect(MakeEffect(settings, term)));
  }
}

inline QXMath_600::QXRegSettings MakeSettings(const nlohmann::json& c) {
  QXMath_600::QXRegSettings settings;
  FillSettings(settings, c);
  return settings;
}

// |a - b| <= rel * max(|b|, scale): relative to the reference, or to the scale of its neighbours for a
// reference that is (nearly) 0.
inline bool NearScaled(double a, double b, double rel, double scale) {
  return std::fabs(a - b) <= rel * std::max(std::fabs(b), scale);
}
inline bool Near(double a, double b, double rel) { return NearScaled(a, b, rel, 0.0); }

}  // namespace qx_linear_test
