// Tests of model effects for breaks ~ wool * tension on R's warpbreaks data (data/warpbreaks.csv):
// fits the general linear model through the public API, then prints the Type I (sequential) and
// Type III (adjusted) F tests of every effect and the test of the corrected model. The tests need the
// covariance of the estimates: the output statistics hold it unscaled, so it is multiplied by
// sigma^2 = RMSE^2 W / error df. Run from the repository root.
#include <qxregres600r.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Reads the records (breaks, wool code, tension code) into one array of rows; factors are coded 0, 1,
// ... in sorted level order.
bool ReadRecords(const char* path, std::vector<double>& rows) {
  std::ifstream in(path);
  std::string line;
  if (!std::getline(in, line)) return false;  // header: breaks,wool,tension
  std::vector<std::vector<std::string>> fields;
  std::map<std::string, int> wool, tension;
  while (std::getline(in, line)) {
    std::stringstream stream(line);
    std::vector<std::string> row(3);
    if (!std::getline(stream, row[0], ',') || !std::getline(stream, row[1], ',') ||
        !std::getline(stream, row[2]))
      return false;
    wool.emplace(row[1], 0);
    tension.emplace(row[2], 0);
    fields.push_back(row);
  }
  int code = 0;
  for (auto& level : wool) level.second = code++;
  code = 0;
  for (auto& level : tension) level.second = code++;
  for (const auto& row : fields)
    rows.insert(rows.end(), {std::stod(row[0]), double(wool[row[1]]), double(tension[row[2]])});
  return !fields.empty();
}

void PrintTable(const char* title, const QXMath_600::QXModelTestStats& stats,
                const std::vector<std::string>& names) {
  std::printf("\n%s\n%-16s %4s %6s %12s %12s\n", title, "effect", "df", "df2", "F", "p");
  for (int e = 0; e < stats.GetNTests(); ++e) {
    const QXMath_600::QXTestStats& t = *stats.GetTestStats(e);
    const char* name = e < static_cast<int>(names.size()) ? names[e].c_str() : "?";
    if (!stats.GetStatus(e)->IsOK()) {
      std::printf("%-16s (not testable: %s)\n", name, stats.GetStatus(e)->GetMessage().c_str());
      continue;
    }
    std::printf("%-16s %4.0f %6.0f %12.4f %12.4g\n", name, t.GetDF(), t.GetDF2(), t.GetWald(), t.GetSig());
  }
}

}  // namespace

int main() {
  std::vector<double> rows;
  if (!ReadRecords("data/warpbreaks.csv", rows)) {
    std::fprintf(stderr, "cannot read data/warpbreaks.csv (run from the repository root)\n");
    return 1;
  }

  // Record layout: 0 breaks, 1 wool (2 levels), 2 tension (3 levels).
  QXMath_600::QXRegSettings settings;
  settings.SetDependent(0);
  settings.AddFactor(1, 2);
  settings.AddFactor(2, 3);
  settings.SetTestType(QXConst::QXTestWaldF);
  const std::vector<int> candidates{1, 2};  // the settings' factors, then covariates (none)
  QXMath_600::QXModelEffect wool(2, 0, &candidates), tension(2, 0, &candidates), both(2, 0, &candidates);
  wool.AddNewFactor(1, false);
  tension.AddNewFactor(2, false);
  both.AddNewFactor(1, false);
  both.AddNewFactor(2, false);
  settings.AddModelEffect(wool);
  settings.AddModelEffect(tension);
  settings.AddModelEffect(both);

  QXMath_600::QXRegFactory factory;
  std::unique_ptr<QXMath_600::IQXRegComponent> component(factory.CreateRegAlgorithm(settings));
  if (!component) {
    std::fprintf(stderr, "%s\n", factory.GetStatus().GetMessage().c_str());
    return 1;
  }
  // The records stay in the program's memory, read in place in each of the model's passes.
  const int nRecords = static_cast<int>(rows.size() / 3);
  QXCommon_600::QXMemoryRecordIterator records(rows.data(), nRecords, 3);
  const QXCommon_600::QXStatus built = component->BuildModel(records);
  QXMath_600::IQXRegOutputStats* output = nullptr;
  if (built.IsError() || component->GetOutputStats(output).IsError()) {
    std::fprintf(stderr, "%s\n", built.GetMessage().c_str());
    return 1;
  }
  // The accessors the effect tests need belong to the linear output statistics.
  const auto* stats = dynamic_cast<const QXMath_600::QXGLMOutputStats*>(output);
  if (stats == nullptr) return 1;

  // Covariance of the estimates = unscaled covariance * sigma^2.
  const double rmse = stats->GetModelFitStat(QXConst::QXFitRootMSE);
  const double df = stats->GetNDegFreedom();
  QXMath_600::QXSymMatrix covariance = *stats->GetCovarianceMatrix();
  covariance.MultiplyByNumber(rmse * rmse * stats->GetTotalFreqWeight() / df);

  // The component's copy of the settings lives as long as the component, as the tests require.
  const QXMath_600::QXRegSettings& used = component->GetCompSettings();
  QXMath_600::QXModelEffectTest tests(used, used.GetModelEffects(), stats->GetParamEstimates(),
                                      stats->GetEffectFirstParameters(), stats->GetEffectNParameters(),
                                      QXConst::QXEffectTypeIAndIII, &covariance, &stats->GetXPrimeWXMatrix(),
                                      &stats->GetRedundancyIndicators(), QXConst::QXDistNormal, 0, nullptr,
                                      df, nullptr, stats->GetEffectSweep());
  const QXCommon_600::QXStatus tested = tests.TestModelEffect();
  if (tested.IsError()) {
    std::fprintf(stderr, "%s\n", tested.GetMessage().c_str());
    return 1;
  }

  std::printf("breaks ~ wool * tension (%d records), error df %.0f\n", nRecords, df);
  const std::vector<std::string> names{"Intercept", "wool", "tension", "wool * tension"};
  PrintTable("Type I (sequential) tests", *tests.GetTypeITestStats(), names);
  PrintTable("Type III tests", *tests.GetTypeIIITestStats(), names);
  const QXMath_600::QXModelTestStats* corrected = tests.GetCorrectedModelTestStats(nullptr);
  if (corrected != nullptr) PrintTable("Corrected model", *corrected, {"Model"});
  return 0;
}
