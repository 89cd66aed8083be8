// Estimated marginal means of breaks ~ wool * tension on R's warpbreaks data (data/warpbreaks.csv):
// fits the general linear model through the public API, then prints the mean breaks at each tension
// within each wool, every pairwise difference of tensions within a wool with Holm-adjusted p-values,
// the polynomial trend over tension, and the joint test that the tensions do not differ. The numbers
// are those of emmeans on lm() (emmeans(fit, pairwise ~ tension | wool, adjust = "holm")).
// Run from the repository root.
#include <qxregres600r.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const kWool[] = {"A", "B"};
const char* const kTension[] = {"L", "M", "H"};

// Reads the records (breaks, wool code, tension code), tension coded in its natural order L, M, H.
bool ReadRecords(const char* path, std::vector<double>& rows) {
  std::ifstream in(path);
  std::string line;
  if (!std::getline(in, line)) return false;  // header: breaks,wool,tension
  while (std::getline(in, line)) {
    std::stringstream stream(line);
    std::string breaks, wool, tension;
    if (!std::getline(stream, breaks, ',') || !std::getline(stream, wool, ',') ||
        !std::getline(stream, tension))
      return false;
    const double tensionCode = tension == "L" ? 0 : tension == "M" ? 1 : 2;
    rows.insert(rows.end(), {std::stod(breaks), wool == "A" ? 0.0 : 1.0, tensionCode});
  }
  return !rows.empty();
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
  const std::vector<int> candidates{1, 2};
  for (const std::vector<int>& factors : std::vector<std::vector<int>>{{1}, {2}, {1, 2}}) {
    QXMath_600::QXModelEffect effect(2, 0, &candidates);
    for (int f : factors) effect.AddNewFactor(f, false);
    settings.AddModelEffect(effect);
  }
  QXMath_600::QXRegFactory factory;
  std::unique_ptr<QXMath_600::IQXRegComponent> component(factory.CreateRegAlgorithm(settings));
  QXCommon_600::QXMemoryRecordIterator records(rows.data(), static_cast<std::int64_t>(rows.size() / 3), 3);
  QXMath_600::IQXRegOutputStats* stats = nullptr;
  if (!component || component->BuildModel(records).IsError() || component->GetOutputStats(stats).IsError()) {
    std::fprintf(stderr, "the model could not be fitted\n");
    return 1;
  }

  // What the marginal means take from the fit: the design rebuilt from the parameters, the estimates,
  // the category counts and, for the tests, the covariance of the estimates (the linear model's is
  // unscaled: times sigma^2 = RMSE^2 W / error df).
  const QXMath_600::QXRegSettings& used = component->GetCompSettings();
  QXMath_600::QXLiteDesignMatrix lite(used.GetFactors(), used.GetFactorSizes(), used.GetCovariates());
  for (const QXMath_600::QXRegrParameter& p : stats->GetParameters()) lite.AddRegrParameter(p);
  const double rmse = stats->GetModelFitStat(QXConst::QXFitRootMSE), df = stats->GetNDegFreedom();
  QXMath_600::QXSymMatrix covariance = *stats->GetCovarianceMatrix();
  covariance.MultiplyByNumber(rmse * rmse * stats->GetTotalFreqWeight() / df);

  // Tension compared within each wool: pairwise with Holm's step-down, and the polynomial trend.
  QXMath_600::QXEmmeansSpec pairwise;
  pairwise.AddFactor(2);
  pairwise.AddFactor(1);
  pairwise.AddCompareFactor(2);
  pairwise.SetPAdjust(QXConst::QXPAdjSeqBonferroni);
  QXMath_600::QXEmmeansSpec trend = pairwise;
  trend.SetContrastType(QXConst::QXContrastPolynomial);
  trend.SetPAdjust(QXConst::QXPAdjLSD);

  QXMath_600::QXCancelInfo cancel;
  QXMath_600::QXMarginals marginals(used, {pairwise, trend}, lite, stats->GetParamEstimates(), cancel, {},
                                    &stats->GetFactorCounts(), QXConst::QXLinkTypeIdentity, 0.0);
  if (marginals.SetEmmeansTesting(&covariance, stats->GetRedundancyIndicators(), df, nullptr).IsError())
    return 1;

  const QXMath_600::QXEmmeansSpec* spec = nullptr;
  const QXMath_600::QXRectMatrix* L = nullptr;
  std::vector<QXMath_600::QXEmmeansStats> means;
  if (marginals.GetEmmeansStats(0, spec, L, means).IsError()) return 1;
  std::printf("Estimated marginal means of breaks\n%-5s %-8s %8s %8s %4s %9s %9s\n", "wool", "tension",
              "mean", "SE", "df", "lower", "upper");
  for (const QXMath_600::QXEmmeansStats& m : means)  // categories: tension, wool (the listed order)
    std::printf("%-5s %-8s %8.3f %8.4f %4.0f %9.3f %9.3f\n", kWool[m.fvCategories[1]],
                kTension[m.fvCategories[0]], m.fMean, m.fStdError, m.fDF, m.fLower, m.fUpper);

  QXCommon_600::QXStatus status;
  const int nTests = marginals.GetNEmmeansTests(0, status);
  std::printf("\nPairwise differences of tension within wool (Holm)\n%-5s %-9s %9s %8s %8s %10s\n", "wool",
              "contrast", "estimate", "SE", "t", "p (Holm)");
  for (int t = 0; t < nTests; ++t) {
    std::vector<std::pair<int, int>> group;
    std::vector<int> first;
    QXMath_600::QXEmmeansStats pair;
    const int n = marginals.GetNPairwiseEmmeansTests(0, t);
    for (int p = 0; p < n; ++p) {
      marginals.GetPairwiseEmmeansTests(0, t, p, group, first, pair);
      if (first[0] > pair.fvCategories[0]) continue;  // each pair once
      const std::string label = std::string(kTension[first[0]]) + " - " + kTension[pair.fvCategories[0]];
      std::printf("%-5s %-9s %9.3f %8.4f %8.3f %10.4g\n", kWool[group[0].second], label.c_str(), pair.fMean,
                  pair.fStdError, pair.fTStat, pair.fSig);
    }
  }

  std::printf("\nTrend over tension within wool, and the joint test that the tensions do not differ\n");
  for (int t = 0; t < nTests; ++t) {
    std::vector<std::pair<int, int>> group;
    std::vector<int> categories;
    QXMath_600::QXRectMatrix* contrastL = nullptr;
    std::vector<QXMath_600::QXTestStats> rows2;
    QXMath_600::QXTestStats joint;
    if (marginals.GetEmmeansTests(1, t, group, categories, contrastL, rows2, joint).IsError()) return 1;
    std::printf(
        "wool %s: linear t = %.3f (p = %.4g), quadratic t = %.3f (p = %.4g); F = %.3f on %.0f and %.0f df, p "
        "= %.4g\n",
        kWool[group[0].second], rows2[0].GetWald(), rows2[0].GetSig(), rows2[1].GetWald(), rows2[1].GetSig(),
        joint.GetWald(), joint.GetDF(), joint.GetDF2(), joint.GetSig());
  }
  return 0;
}
