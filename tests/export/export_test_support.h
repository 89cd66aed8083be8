// Shared by the export tests: the caller's variable list for a reference case (factor levels and the
// dependent's categories as their texts, covariates with their observed range), records as a PMML
// consumer receives them, the library's parameters of a case's design, and validation of a document
// against the PMML 4.4 schema with xmllint.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "qxregres600r.h"
#include "tests/export/pmml_scorer.h"
#include "tests/linear/linear_test_support.h"

namespace export_test {

using nlohmann::json;

inline json LoadReference(const std::string& file) {
  std::ifstream in(std::string(QX_TEST_REFERENCE_DIR) + "/" + file);
  return json::parse(in);
}

// The variable list of a case, entry i describing column i. `names` replaces the columns' names
// where it has an entry, and `texts` the level texts of a factor or categorical dependent named there.
struct Renaming {
  std::map<std::string, std::string> names;
  std::map<std::string, std::vector<std::string>> texts;
};

inline QXCommon_600::QXVarList MakeVariables(const json& c, const Renaming& renaming = {}) {
  QXCommon_600::QXVarList variables;
  const auto& columns = c["columns"];
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const std::string column = columns[i];
    const std::string name = renaming.names.count(column) ? renaming.names.at(column) : column;
    std::vector<std::string> levels;
    for (const auto& f : c["factors"])
      if (f["name"] == column) levels = f["levels"].get<std::vector<std::string>>();
    if (column == c["dependent"] && c.contains("dependent_levels"))
      levels = c["dependent_levels"].get<std::vector<std::string>>();
    if (renaming.texts.count(column)) levels = renaming.texts.at(column);
    if (!levels.empty()) {
      auto factor = std::make_unique<QXCommon_600::QXCatVar>(name);
      for (std::size_t k = 0; k < levels.size(); ++k) EXPECT_TRUE(factor->AddCategory(double(k), levels[k]));
      variables.AddVariable(std::move(factor));
      continue;
    }
    double low = 0.0, high = 0.0;
    for (std::size_t r = 0; r < c["records"].size(); ++r) {
      const double x = c["records"][r][i];
      low = r == 0 ? x : std::min(low, x);
      high = r == 0 ? x : std::max(high, x);
    }
    variables.AddVariable(std::make_unique<QXCommon_600::QXContVar>(name, low, high));
  }
  return variables;
}

// Record r of a case as a consumer sees it: factor columns by their category texts, the others as
// numbers.
inline pmml_scoring::Inputs ConsumerInputs(const json& c, const QXCommon_600::QXVarList& variables,
                                           std::size_t r) {
  pmml_scoring::Inputs in;
  for (int i = 0; i < variables.GetNVars(); ++i) {
    const QXCommon_600::IQXVariable* v = variables.GetVarAt(i);
    const double x = c["records"][r][static_cast<std::size_t>(i)];
    if (v->GetNCategories() > 0)
      in.categorical[v->GetName()] = v->GetCategoryText(static_cast<int>(x));
    else
      in.continuous[v->GetName()] = x;
  }
  return in;
}

inline QXCommon_600::Record ToRecord(const json& row) {
  QXCommon_600::Record record(static_cast<int>(row.size()));
  for (std::size_t i = 0; i < row.size(); ++i) record[static_cast<int>(i)] = row[i];
  return record;
}

// A linear model of the case's design fitted through the factory, as a caller fits one.
class LinearFit {
 public:
  LinearFit(const QXMath_600::QXRegSettings& settings, const json& c) : fFile(c["records"]) {
    QXMath_600::QXRegSettings copy = settings;
    QXMath_600::QXRegFactory factory;
    fpComponent.reset(factory.CreateRegAlgorithm(copy));
    EXPECT_NE(fpComponent, nullptr);
    QXCommon_600::BinaryRecordIterator records = fFile.Iterator();
    EXPECT_TRUE(fpComponent->BuildModel(records).IsOK());
    EXPECT_TRUE(fpComponent->GetOutputStats(fpStats).IsOK());
  }
  QXMath_600::IQXRegComponent& Component() { return *fpComponent; }
  const QXMath_600::IQXRegOutputStats& Stats() const { return *fpStats; }

 private:
  qx_linear_test::RecordFile fFile;
  std::unique_ptr<QXMath_600::IQXRegComponent> fpComponent;
  QXMath_600::IQXRegOutputStats* fpStats = nullptr;
};

// xmllint's complaints about the document, empty when it validates against the PMML 4.4 schema.
inline std::string SchemaErrors(const std::string& document, const std::string& name) {
  const std::filesystem::path file = std::filesystem::path(::testing::TempDir()) / (name + ".pmml");
  std::ofstream(file) << document;
  const std::string command =
      "xmllint --noout --schema " QX_TEST_REFERENCE_DIR "/pmml-4-4.xsd '" + file.string() + "' 2>&1";
  std::string output;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    if (pclose(pipe) == 0) output.clear();
  } else {
    output = "cannot run xmllint";
  }
  std::filesystem::remove(file);
  return output;
}

// Whether xmllint (Debian libxml2-utils, which scripts/setup installs) is there to validate with.
inline bool HaveXmllint() { return std::system("xmllint --version > /dev/null 2>&1") == 0; }

}  // namespace export_test
