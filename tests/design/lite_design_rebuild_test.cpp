// The lite design's purpose: rebuilt from a fitted model's parameters alone, without the data, it must
// give every record the design row the model itself uses (the output statistics' ExpandRow). Models
// are fitted through the public API on every case of linear_models.json and design_matrix.json
// (interactions, nesting, nested effects whose key order is not the settings' order, covariate powers
// and products, factor-by-covariate slopes, empty cells, weights, no intercept) and on a model with
// repeated terms. The design is rebuilt both ways a caller can (effect by effect with the settings'
// effects, and parameter by parameter), and every record is expanded together with probes that move
// one factor to each of its levels and one past them, so that cells the model never saw are asked for.
//
// Logistic models are rebuilt from the parameters of their first block (every block repeats the
// basic design, which the logistic ExpandRow lays out), on every case of logistic_models.json
// (interactions, nesting, a covariate power, an aliased effect, an empty cell, no intercept,
// intercept only, two categories) and on a model with factor-by-covariate slopes.
//
// Rows must agree exactly: both sides form the same covariate products.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "design_test_support.h"
#include "qxregres600r.h"
#include "tests/logistic/logistic_test_support.h"

namespace {

using design_test::json;
using QXCommon_600::Record;
using QXMath_600::IQXRegComponent;
using QXMath_600::IQXRegOutputStats;
using QXMath_600::QXLiteDesignMatrix;
using QXMath_600::QXModelEffect;
using QXMath_600::QXRegrParameter;
using QXMath_600::QXRegSettings;

// Effect by effect: consecutive parameters of one effect index form an effect, the settings' effect
// of that index (the intercept for -1).
QXLiteDesignMatrix RebuildByEffects(const QXRegSettings& settings,
                                    const std::vector<QXRegrParameter>& basic) {
  QXLiteDesignMatrix lite(settings.GetFactors(), settings.GetFactorSizes(), settings.GetCovariates());
  for (std::size_t first = 0; first < basic.size();) {
    const int index = basic[first].GetEffectIndex();
    std::size_t end = first;
    while (end < basic.size() && basic[end].GetEffectIndex() == index) ++end;
    const QXModelEffect effect =
        index < 0 ? design_test::InterceptEffect(settings) : settings.GetModelEffects()[index];
    EXPECT_EQ(
        lite.AddModelEffect(effect, std::vector<QXRegrParameter>(basic.begin() + first, basic.begin() + end)),
        static_cast<int>(end));
    first = end;
  }
  return lite;
}

QXLiteDesignMatrix RebuildByParameters(const QXRegSettings& settings,
                                       const std::vector<QXRegrParameter>& basic) {
  QXLiteDesignMatrix lite(settings.GetFactors(), settings.GetFactorSizes(), settings.GetCovariates());
  for (const QXRegrParameter& p : basic) EXPECT_TRUE(lite.AddRegrParameter(p));
  return lite;
}

// Each record, and copies of it with one factor moved to each of its levels and to one past the last.
std::vector<Record> WithProbes(const QXRegSettings& settings, const std::vector<Record>& records) {
  std::vector<Record> probes = records;
  for (const Record& r : records) {
    for (std::size_t f = 0; f < settings.GetFactors().size(); ++f) {
      for (int level = 0; level <= settings.GetFactorSizes()[f]; ++level) {
        Record probe = r;
        probe[settings.GetFactors()[f]] = level;
        probes.push_back(probe);
      }
    }
  }
  return probes;
}

// The model's row against the lite design's dense and sparse rows, for every record the model
// accepts for scoring. Returns how many rows had a cell without a parameter.
int ExpectRebuiltRowsMatch(const IQXRegOutputStats& stats, const QXRegSettings& settings,
                           const std::vector<QXRegrParameter>& basic, const std::vector<Record>& records) {
  int unplaced = 0;
  const QXLiteDesignMatrix byEffects = RebuildByEffects(settings, basic);
  const QXLiteDesignMatrix byParameters = RebuildByParameters(settings, basic);
  for (const QXLiteDesignMatrix* lite : {&byEffects, &byParameters}) {
    EXPECT_TRUE(lite->GetStatus().IsOK());
    EXPECT_EQ(lite->GetNParameters(), static_cast<int>(basic.size()));
    std::vector<double> modelRow, liteRow(basic.size()), sparseRow(basic.size());
    std::vector<int> indices;
    std::vector<double> values;
    for (const Record& r : records) {
      QXCommon_600::QXStatus ignored;
      if (!stats.GetRecordValidator().IsValid4Scoring(r, ignored)) continue;
      const bool modelOk = stats.ExpandRow(r, modelRow);
      EXPECT_EQ(lite->ExpandRowX(r.GetAll(), liteRow), modelOk);
      EXPECT_EQ(lite->ExpandRowX(r.GetAll(), indices, values), modelOk);
      if (!modelOk) {
        ++unplaced;
        continue;
      }
      EXPECT_EQ(liteRow, modelRow);
      std::fill(sparseRow.begin(), sparseRow.end(), 0.0);
      for (std::size_t k = 0; k < indices.size(); ++k) sparseRow[indices[k]] += values[k];
      EXPECT_EQ(sparseRow, modelRow);
    }
  }
  return unplaced;
}

// A model fitted through the factory and a binary record file, as a caller fits one. The settings are
// taken by reference (the factory chooses the model family from their dynamic type) and must outlive
// the test's checks.
class FittedModel : public ::testing::Test {
 protected:
  void Fit(QXRegSettings& settings, const qx_linear_test::Records& rows) {
    fFile = std::make_unique<qx_linear_test::RecordFile>(rows);
    QXMath_600::QXRegFactory factory;
    fComponent.reset(factory.CreateRegAlgorithm(settings));
    ASSERT_NE(fComponent, nullptr);
    auto it = fFile->Iterator();
    ASSERT_TRUE(fComponent->BuildModel(it).IsOK());
    ASSERT_TRUE(fComponent->GetOutputStats(fStats).IsOK());
    fRecords = design_test::ToRecords(rows);
  }

  std::unique_ptr<qx_linear_test::RecordFile> fFile;
  std::unique_ptr<IQXRegComponent> fComponent;
  IQXRegOutputStats* fStats = nullptr;
  std::vector<Record> fRecords;
};

class LiteDesignRebuildsFittedModel
    : public FittedModel,
      public ::testing::WithParamInterface<std::pair<std::string, std::size_t>> {};

TEST_P(LiteDesignRebuildsFittedModel, EveryRecordGetsTheModelsRow) {
  const json c = design_test::LoadCases(GetParam().first)[GetParam().second];
  QXRegSettings settings = qx_linear_test::MakeSettings(c);
  Fit(settings, c["records"].get<qx_linear_test::Records>());
  const std::vector<Record> probes = WithProbes(settings, fRecords);
  const int unplaced = ExpectRebuiltRowsMatch(*fStats, settings, fStats->GetParameters(), probes);
  // Probes past the last level never have a cell.
  if (!settings.GetFactors().empty()) {
    EXPECT_GT(unplaced, 0);
  }
}

std::vector<std::pair<std::string, std::size_t>> AllCases() {
  std::vector<std::pair<std::string, std::size_t>> cases;
  for (const char* file : {"linear_models.json", "design_matrix.json"})
    for (std::size_t i = 0; i < design_test::LoadCases(file).size(); ++i) cases.emplace_back(file, i);
  return cases;
}

std::string CaseName(const ::testing::TestParamInfo<std::pair<std::string, std::size_t>>& info) {
  return design_test::LoadCases(info.param.first)[info.param.second]["name"].get<std::string>();
}

INSTANTIATE_TEST_SUITE_P(LinearModels, LiteDesignRebuildsFittedModel, ::testing::ValuesIn(AllCases()),
                         CaseName);

// A term given twice (x + x, A + A, as a caller's formula may say) gives two effects with a column each;
// rebuilt parameter by parameter they must stay two effects.
TEST_F(FittedModel, RepeatedTermsKeepAColumnEachWhenRebuilt) {
  const json c = design_test::LoadCases("linear_models.json")[0];
  ASSERT_EQ(c["name"], "warpbreaks_interaction");
  qx_linear_test::Records rows = c["records"].get<qx_linear_test::Records>();
  // A covariate, added as the last column of every record.
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i].push_back(0.25 * static_cast<double>(i % 7) - 0.5);
  json model = c;
  model["columns"].push_back("x");
  model["covariates"] = json::array({"x"});
  QXRegSettings settings = qx_linear_test::MakeSettings(model);
  const int x = static_cast<int>(rows[0].size()) - 1;
  // Each term twice in a row: neighbouring effects whose parameters name the same variables.
  const std::vector<qx_linear_test::Term> terms = {{{}, {}, {x}}, {{settings.GetFactors()[0]}, {0}, {}}};
  for (const qx_linear_test::Term& term : terms) {
    ASSERT_TRUE(settings.AddModelEffect(qx_linear_test::MakeEffect(settings, term)));
    ASSERT_TRUE(settings.AddModelEffect(qx_linear_test::MakeEffect(settings, term)));
  }
  Fit(settings, rows);
  ExpectRebuiltRowsMatch(*fStats, settings, fStats->GetParameters(), WithProbes(settings, fRecords));
  EXPECT_EQ(RebuildByParameters(settings, fStats->GetParameters()).GetNModelEffects(),
            static_cast<int>(settings.GetModelEffects().size()) + 1);
}

// The parameters of a logistic model's first block: one linear predictor's design.
std::vector<QXRegrParameter> FirstBlock(const IQXRegOutputStats& stats) {
  const auto& logistic = dynamic_cast<const QXMath_600::QXLogOutputStats&>(stats);
  const std::vector<QXRegrParameter>& all = logistic.GetParameters();
  return std::vector<QXRegrParameter>(all.begin(), all.begin() + logistic.GetNBasicParameters());
}

class LiteDesignRebuildsLogisticModel : public FittedModel,
                                        public ::testing::WithParamInterface<std::size_t> {
 protected:
  void FitAndRebuild(const json& c) {
    QXMath_600::QXLogRegSettings settings = qx_logistic_test::MakeSettings(c, false);
    Fit(settings, c["records"].get<qx_linear_test::Records>());
    const std::vector<QXRegrParameter> firstBlock = FirstBlock(*fStats);
    EXPECT_EQ(firstBlock.size() * (c["n_categories"].get<std::size_t>() - 1), fStats->GetParameters().size());
    const int unplaced =
        ExpectRebuiltRowsMatch(*fStats, settings, firstBlock, WithProbes(settings, fRecords));
    if (!settings.GetFactors().empty()) {
      EXPECT_GT(unplaced, 0);
    }
  }
};

TEST_P(LiteDesignRebuildsLogisticModel, EveryRecordGetsTheModelsRow) {
  FitAndRebuild(qx_logistic_test::ReferenceCases()[GetParam()]);
}

INSTANTIATE_TEST_SUITE_P(LogisticModels, LiteDesignRebuildsLogisticModel,
                         ::testing::Range<std::size_t>(0, qx_logistic_test::ReferenceCases().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                           return qx_logistic_test::ReferenceCases()[info.param]["name"].get<std::string>();
                         });

// Slopes of a covariate within each discipline, and sex nested within discipline, without an
// intercept: the salaries_interaction case's records with other terms.
TEST_F(LiteDesignRebuildsLogisticModel, FactorByCovariateSlopesWithoutAnIntercept) {
  json c = qx_logistic_test::ReferenceCases()[5];
  ASSERT_EQ(c["name"], "salaries_interaction");
  c["intercept"] = false;
  c["terms"] = json::parse(R"([
    {"factors": ["discipline"], "nest": [0], "covs": []},
    {"factors": ["discipline"], "nest": [0], "covs": ["yrs.since.phd"]},
    {"factors": ["discipline", "sex"], "nest": [0, 1], "covs": []}])");
  FitAndRebuild(c);
}

}  // namespace
