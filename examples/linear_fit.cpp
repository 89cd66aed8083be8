// Fits a general linear model through the public API: breaks ~ wool * tension on R's warpbreaks data
// (data/warpbreaks.csv). The data stay in the program's own arrays, one per variable, which the
// library reads in passes through an in-memory iterator; factors are coded 0, 1, ... in sorted level
// order. (A data set larger than memory would go to a binary record file and a BinaryRecordIterator.)
// Run from the repository root.
#include <qxregres600r.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Data {
  std::vector<double> breaks;
  std::vector<std::string> wool, tension;
};

bool ReadWarpbreaks(const char* path, Data& data) {
  std::ifstream in(path);
  std::string line;
  if (!std::getline(in, line)) return false;  // header: breaks,wool,tension
  while (std::getline(in, line)) {
    std::stringstream fields(line);
    std::string breaks, wool, tension;
    if (!std::getline(fields, breaks, ',') || !std::getline(fields, wool, ',') ||
        !std::getline(fields, tension))
      return false;
    data.breaks.push_back(std::stod(breaks));
    data.wool.push_back(wool);
    data.tension.push_back(tension);
  }
  return !data.breaks.empty();
}

// Level texts in sorted order with their codes.
std::map<std::string, int> Levels(const std::vector<std::string>& values) {
  std::map<std::string, int> levels;
  for (const std::string& v : values) levels.emplace(v, 0);
  int code = 0;
  for (auto& [text, c] : levels) c = code++;
  return levels;
}

std::string LevelText(const std::map<std::string, int>& levels, int code) {
  for (const auto& [text, c] : levels)
    if (c == code) return text;
  return "?";
}

}  // namespace

int main() {
  using QXMath_600::QXModelEffect;
  Data data;
  if (!ReadWarpbreaks("data/warpbreaks.csv", data)) {
    std::fprintf(stderr, "cannot read data/warpbreaks.csv (run from the repository root)\n");
    return 1;
  }
  const auto wool = Levels(data.wool);
  const auto tension = Levels(data.tension);

  // Record layout: 0 breaks, 1 wool, 2 tension; one array per variable.
  std::vector<double> woolCodes, tensionCodes;
  for (std::size_t i = 0; i < data.breaks.size(); ++i) {
    woolCodes.push_back(wool.at(data.wool[i]));
    tensionCodes.push_back(tension.at(data.tension[i]));
  }

  QXMath_600::QXRegSettings settings;
  settings.SetDependent(0);
  settings.AddFactor(1, static_cast<int>(wool.size()));
  settings.AddFactor(2, static_cast<int>(tension.size()));
  const std::vector<int> candidates{1, 2};  // the settings' factors, then covariates (none)
  QXModelEffect woolEffect(2, 0, &candidates), tensionEffect(2, 0, &candidates), both(2, 0, &candidates);
  woolEffect.AddNewFactor(1, false);
  tensionEffect.AddNewFactor(2, false);
  both.AddNewFactor(1, false);
  both.AddNewFactor(2, false);
  settings.AddModelEffect(woolEffect);
  settings.AddModelEffect(tensionEffect);
  settings.AddModelEffect(both);

  QXMath_600::QXRegFactory factory;
  std::unique_ptr<QXMath_600::IQXRegComponent> component(factory.CreateRegAlgorithm(settings));
  if (!component) {
    std::fprintf(stderr, "%s\n", factory.GetStatus().GetMessage().c_str());
    return 1;
  }
  // The arrays must stay unchanged while the model is built: the iterator reads them in place.
  QXCommon_600::QXMemoryRecordIterator records(
      std::vector<const double*>{data.breaks.data(), woolCodes.data(), tensionCodes.data()},
      static_cast<std::int64_t>(data.breaks.size()));
  const QXCommon_600::QXStatus status = component->BuildModel(records);
  QXMath_600::IQXRegOutputStats* stats = nullptr;
  if (status.IsError() || component->GetOutputStats(stats).IsError()) {
    std::fprintf(stderr, "%s\n", status.GetMessage().c_str());
    return 1;
  }

  std::printf("breaks ~ wool * tension (%zu records)\n\n", data.breaks.size());
  std::printf("%-28s %12s\n", "parameter", "estimate");
  const auto& parameters = stats->GetParameters();
  for (std::size_t k = 0; k < parameters.size(); ++k) {
    std::string label;
    const auto& factors = parameters[k].GetFactors();
    for (std::size_t j = 0; j < factors.size(); ++j) {
      const bool isWool = factors[j] == 1;
      const int code = parameters[k].GetCategories()[j];
      label += std::string(j > 0 ? " * " : "") + (isWool ? "[wool=" : "[tension=") +
               LevelText(isWool ? wool : tension, code) + "]";
    }
    if (label.empty()) label = "Intercept";
    const bool redundant = !stats->GetRedundancyIndicators().IsIn(static_cast<int>(k));
    if (redundant)
      std::printf("%-28s %12s\n", label.c_str(), "(aliased)");
    else
      std::printf("%-28s %12.4f\n", label.c_str(), stats->GetParamEstimates()[k]);
  }
  std::printf("\nR-square %.4f, root mean square error %.4f, error df %.0f\n",
              stats->GetModelFitStat(QXConst::QXFitRSquare), stats->GetModelFitStat(QXConst::QXFitRootMSE),
              stats->GetNDegFreedom());
  return 0;
}
