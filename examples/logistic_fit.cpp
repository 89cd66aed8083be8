// Fits a multinomial logistic regression through the public API: satisfaction (Low, Medium, High) ~
// influence + housing type + contact on MASS's housing data (data/housing.csv), each row a cell with
// its number of households as a frequency weight. Prints the estimates with their standard errors and
// Wald tests, how the fit ended, the pseudo R-squares and the classification table. Categories are
// coded 0, 1, ... in sorted level order; the last category (Medium) is the reference.
// Run from the repository root.
#include <qxregres600r.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Column texts of the CSV (Sat, Infl, Type, Cont, Freq), one vector per column.
bool ReadHousing(const char* path, std::vector<std::vector<std::string>>& columns) {
  std::ifstream in(path);
  std::string line;
  if (!std::getline(in, line)) return false;  // header
  columns.assign(5, {});
  while (std::getline(in, line)) {
    std::stringstream fields(line);
    for (std::vector<std::string>& column : columns) {
      std::string field;
      if (!std::getline(fields, field, ',')) return false;
      column.push_back(field);
    }
  }
  return !columns[0].empty();
}

// The sorted level texts of a text column.
std::vector<std::string> Levels(const std::vector<std::string>& values) {
  std::map<std::string, int> levels;
  for (const std::string& v : values) levels.emplace(v, 0);
  std::vector<std::string> sorted;
  for (const auto& [text, unused] : levels) sorted.push_back(text);
  return sorted;
}

int Code(const std::vector<std::string>& levels, const std::string& text) {
  for (std::size_t i = 0; i < levels.size(); ++i)
    if (levels[i] == text) return static_cast<int>(i);
  return -1;
}

}  // namespace

int main() {
  std::vector<std::vector<std::string>> columns;
  if (!ReadHousing("data/housing.csv", columns)) {
    std::fprintf(stderr, "cannot read data/housing.csv (run from the repository root)\n");
    return 1;
  }
  const char* names[] = {"Sat", "Infl", "Type", "Cont"};
  std::vector<std::vector<std::string>> levels;
  for (int c = 0; c < 4; ++c) levels.push_back(Levels(columns[c]));

  // Record layout: 0 Sat, 1 Infl, 2 Type, 3 Cont, 4 Freq.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
  if (!file) return 1;
  for (std::size_t i = 0; i < columns[0].size(); ++i) {
    double record[5];
    for (int c = 0; c < 4; ++c) record[c] = Code(levels[c], columns[c][i]);
    record[4] = std::stod(columns[4][i]);
    std::fwrite(record, sizeof(double), 5, file.get());
  }
  std::fflush(file.get());

  QXMath_600::QXLogRegSettings settings;
  settings.SetDependent(0);
  settings.SetDependentRefCat(-1, static_cast<int>(levels[0].size()));
  for (int c = 1; c < 4; ++c) settings.AddFactor(c, static_cast<int>(levels[c].size()));
  settings.SetFrequencyWeightVar(4);
  const std::vector<int> candidates{1, 2, 3};  // the settings' factors, then covariates (none)
  for (int c = 1; c < 4; ++c) {
    QXMath_600::QXModelEffect effect(3, 0, &candidates);
    effect.AddNewFactor(c, false);
    settings.AddModelEffect(effect);
  }

  QXMath_600::QXRegFactory factory;
  std::unique_ptr<QXMath_600::IQXRegComponent> component(factory.CreateRegAlgorithm(settings));
  if (!component) {
    std::fprintf(stderr, "%s\n", factory.GetStatus().GetMessage().c_str());
    return 1;
  }
  QXCommon_600::BinaryRecordIterator records(file.get(), 5);
  const QXCommon_600::QXStatus status = component->BuildModel(records);
  QXMath_600::IQXRegOutputStats* out = nullptr;
  if (status.IsError() || component->GetOutputStats(out).IsError()) {
    std::fprintf(stderr, "%s\n", status.GetMessage().c_str());
    return 1;
  }
  // A fit that did not converge is still a model, and says why in its warnings.
  for (const QXCommon_600::QXStatus& warning : component->GetWarnings())
    std::printf("%s\n", warning.GetMessage().c_str());
  auto& stats = dynamic_cast<QXMath_600::QXLogOutputStats&>(*out);

  std::printf("Sat ~ Infl + Type + Cont, weighted by Freq (reference category: %s)\n\n",
              levels[0][stats.GetDependCategories().back()].c_str());
  std::printf("%-8s %-18s %10s %10s %10s %10s\n", "Sat", "parameter", "estimate", "std.error", "Wald", "p");
  const auto& parameters = stats.GetParameters();
  for (std::size_t k = 0; k < parameters.size(); ++k) {
    const QXMath_600::QXRegrParameter& parameter = parameters[k];
    std::string label = "Intercept";
    if (!parameter.GetFactors().empty()) {
      const int factor = parameter.GetFactors()[0];
      label = std::string("[") + names[factor] + "=" + levels[factor][parameter.GetCategories()[0]] + "]";
    }
    const std::string& category = levels[0][parameter.GetTargetCategory()];
    const QXMath_600::QXRegrParameterStats& s = stats.GetParamStats()[k];
    if (s.fbRedundant) {
      std::printf("%-8s %-18s %10s\n", category.c_str(), label.c_str(), "(aliased)");
      continue;
    }
    std::printf("%-8s %-18s %10.4f %10.4f %10.3f %10.3g\n", category.c_str(), label.c_str(), s.fEstimate,
                s.fStdError, s.fChiSquare, s.fSig);
  }
  std::printf("\nConverged after %d iterations (convergence state %d)\n", stats.GetNIterations(),
              stats.GetConvergenceState());
  std::printf("Log-likelihood %.4f (intercept only %.4f)\n", stats.GetFinalLogLikelihood(),
              stats.GetInitialLogLikelihood());
  std::printf("Pseudo R-square: Cox and Snell %.4f, Nagelkerke %.4f, McFadden %.4f\n",
              stats.GetModelFitStat(QXConst::QXFitCoxSnell), stats.GetModelFitStat(QXConst::QXFitNagelkerke),
              stats.GetModelFitStat(QXConst::QXFitMcFadden));

  // One more pass over the data scores every household for the classification table.
  if (stats.ComputeClassificationTable(records).IsError()) return 1;
  const QXMath_600::QXRectMatrix* table = stats.GetClassificationTable();
  std::printf("\nClassification (households; rows observed, columns predicted)\n%-8s", "");
  for (int code : stats.GetDependCategories()) std::printf(" %8s", levels[0][code].c_str());
  std::printf("\n");
  const std::vector<int>& categories = stats.GetDependCategories();
  for (std::size_t o = 0; o < categories.size(); ++o) {
    std::printf("%-8s", levels[0][categories[o]].c_str());
    for (std::size_t p = 0; p < categories.size(); ++p)
      std::printf(" %8.0f", table->GetElem(static_cast<int>(o), static_cast<int>(p)));
    std::printf("\n");
  }
  return 0;
}
