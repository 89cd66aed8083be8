#include "frontend/MarginalMeans.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>

#include "common/QXMissingValue.h"
#include "common/QXRectMatrix.h"
#include "common/QXStatus.h"
#include "common/QXSymMatrix.h"
#include "design/QXLiteDesignMatrix.h"
#include "frontend/RecordFileWriter.h"
#include "frontend/ReportWriter.h"
#include "logistic/QXLogOutputStats.h"
#include "marginals/QXEmmeansStats.h"
#include "marginals/QXMarginals.h"
#include "model/IQXRegOutputStats.h"
#include "records/QXCancelInfo.h"
#include "settings/QXConst.h"

namespace QXFit {

namespace {

using Role = ModelVariable::Role;

std::optional<double> Present(double value) {
  if (QXMV::IsMissing(value) || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string text;
  for (const auto& name : names) {
    if (!text.empty()) text += ", ";
    text += name;
  }
  return text;
}

std::string MeanOf(const std::vector<std::string>& texts, std::size_t first, std::size_t last) {
  if (last - first == 1) return texts[first];
  std::vector<std::string> part(texts.begin() + static_cast<long>(first),
                                texts.begin() + static_cast<long>(last));
  return "mean(" + JoinNames(part) + ")";
}

// The label of row r of a contrast among `texts`, the compared levels in the order the library gives
// them (a simple contrast's reference last).
std::string ContrastLabel(QXConst::QXContrastType type, const std::vector<std::string>& texts,
                          std::size_t r) {
  const std::size_t k = texts.size();
  switch (type) {
    case QXConst::QXContrastSimple: return texts[r] + " - " + texts[k - 1];
    case QXConst::QXContrastDeviation: return texts[r] + " - " + MeanOf(texts, 0, k);
    case QXConst::QXContrastHelmert: return texts[r] + " - " + MeanOf(texts, r + 1, k);
    case QXConst::QXContrastDifference: return texts[r + 1] + " - " + MeanOf(texts, 0, r + 1);
    case QXConst::QXContrastRepeated: return texts[r] + " - " + texts[r + 1];
    case QXConst::QXContrastPolynomial: {
      static const char* const kDegrees[] = {"linear", "quadratic", "cubic", "quartic"};
      return r < 4 ? kDegrees[r] : "degree " + std::to_string(r + 1);
    }
    default: break;
  }
  return "contrast " + std::to_string(r + 1);
}

}  // namespace

int MarginalMeans::FindFactor(const std::string& name, const std::string& option, std::string& error) const {
  const auto& variables = fpModel->GetVariables();
  std::vector<std::string> factors;
  std::string role = "not a factor";
  bool covariate = false;
  for (std::size_t v = 0; v < variables.size(); ++v) {
    const ModelVariable& variable = variables[v];
    if (variable.fRole == Role::kFactor) {
      // The formula's factor(x) names the factor x as well.
      if (variable.fName == name || variable.fLabel == name || "factor(" + variable.fName + ")" == name)
        return static_cast<int>(v);
      factors.push_back(variable.fLabel);
    }
    if (variable.fName != name) continue;
    if (variable.fRole == Role::kCovariate) {
      role = "a covariate, not a factor,";
      covariate = true;
    }
    if (variable.fRole == Role::kDependent) role = "the response, not a factor,";
  }
  error =
      option + ": '" + name + "' is " + role + " of the model; " +
      (factors.empty() ? std::string("the model has no factors") : "its factors are " + JoinNames(factors));
  if (covariate) error += " (--at holds a covariate at a value)";
  return -1;
}

bool MarginalMeans::Resolve(const EmmeansOptions& options, const ModelBuilder& model, bool logistic,
                            std::string& error) {
  fpModel = &model;
  fOptions = options;
  fSpecs.clear();
  if (options.fRequests.empty()) return true;
  if (!logistic && options.fScale != EmmeansScale::kDefault) {
    error =
        "--scale: the means of a linear model are on the scale of its response; --scale is for a "
        "logistic model";
    return false;
  }
  const auto& variables = model.GetVariables();
  for (const auto& request : options.fRequests) {
    QXMath_600::QXEmmeansSpec spec;
    std::vector<std::string> names = request.fCompared;
    names.insert(names.end(), request.fBy.begin(), request.fBy.end());
    for (const auto& name : names) {
      const int var = FindFactor(name, "--emmeans '" + request.fText + "'", error);
      if (var < 0) return false;
      // One factor under two names (dose and factor(dose)).
      if (spec.AddFactor(var) < 0) {
        error = "--emmeans: a factor appears twice in '" + request.fText + "'";
        return false;
      }
    }
    for (std::size_t i = 0; i < request.fCompared.size(); ++i) spec.AddCompareFactor(spec.GetFactors()[i]);
    spec.SetContrastType(options.fContrast);
    spec.SetPAdjust(options.fAdjust);
    // The link scale is emmeans' default; a linear model's link is the identity.
    spec.SetEmmScaleType(options.fScale == EmmeansScale::kResponse ? QXConst::QXEmmOriginal
                                                                   : QXConst::QXEmmTransformed);
    if (!options.fReferenceLevel.empty()) {
      const ModelVariable& compared = variables[static_cast<std::size_t>(spec.GetFactors()[0])];
      int level = compared.fLevels.FindText(options.fReferenceLevel);
      if (level < 0 && compared.fLevels.IsNumeric()) {
        char* end = nullptr;
        const double value = std::strtod(options.fReferenceLevel.c_str(), &end);
        if (end == options.fReferenceLevel.c_str() + options.fReferenceLevel.size())
          level = compared.fLevels.FindNumber(value);
      }
      if (level < 0) {
        error = "--contrast simple:" + options.fReferenceLevel + ": '" + options.fReferenceLevel +
                "' is not a level of " + compared.fLabel + " (its levels are " +
                compared.fLevels.ListLevels() + ")";
        return false;
      }
      spec.SetRefCateg(level);
    }
    fSpecs.push_back(std::move(spec));
  }
  for (const auto& [name, value] : options.fAt) {
    bool found = false;
    for (std::size_t v = 0; v < variables.size(); ++v) {
      const ModelVariable& variable = variables[v];
      if (variable.fRole != Role::kCovariate) continue;
      double held = value;
      if (variable.fName != name) {
        // A function of the named column (log(x) for --at x=VALUE) is held at that function of VALUE.
        if (variable.fColumn < 0 ||
            model.GetColumnNames()[static_cast<std::size_t>(variable.fColumn)] != name)
          continue;
        held = ApplyTransform(variable.fTransform, value);
      }
      if (!std::isfinite(held)) {
        error = "--at " + name + "=" + ReportWriter::FormatNumber(value) + ": " + variable.fName +
                " is not defined there";
        return false;
      }
      for (auto& spec : fSpecs) spec.AddCovariate(static_cast<int>(v), held);
      found = true;
    }
    if (found) continue;
    std::vector<std::string> covariates;
    bool factor = false;
    for (const auto& variable : variables) {
      if (variable.fRole == Role::kCovariate) covariates.push_back(variable.fName);
      factor =
          factor || (variable.fRole == Role::kFactor && (variable.fName == name || variable.fLabel == name));
    }
    error = "--at: '" + name + "' is " + (factor ? "a factor, not a covariate," : "not a covariate") +
            " of the model; " +
            (covariates.empty() ? std::string("the model has no covariates")
                                : "its covariates are " + JoinNames(covariates));
    return false;
  }
  return true;
}

std::string MarginalMeans::LevelText(int var, int level) const {
  const auto& variables = fpModel->GetVariables();
  if (var < 0 || var >= static_cast<int>(variables.size())) return std::to_string(level);
  return variables[static_cast<std::size_t>(var)].fLevels.GetText(level);
}

std::string MarginalMeans::FactorLabel(int var) const {
  const auto& variables = fpModel->GetVariables();
  if (var < 0 || var >= static_cast<int>(variables.size())) return std::to_string(var);
  return variables[static_cast<std::size_t>(var)].fLabel;
}

LevelTexts MarginalMeans::Texts(const std::vector<std::pair<int, int>>& levels) const {
  LevelTexts texts;
  for (const auto& [var, level] : levels) texts.emplace_back(FactorLabel(var), LevelText(var, level));
  return texts;
}

// A compared category: a level of the compared factor, or with several compared factors the levels
// of one combination, joined by a space as emmeans prints them ("A H").
std::string MarginalMeans::CategoryText(int s, int category,
                                        const std::vector<std::vector<int>>& combinations) const {
  const std::vector<int>& compared = fSpecs[static_cast<std::size_t>(s)].GetCompareFactors();
  if (compared.size() == 1) return LevelText(compared[0], category);
  if (category < 0 || category >= static_cast<int>(combinations.size())) return std::to_string(category);
  std::string text;
  const std::vector<int>& levels = combinations[static_cast<std::size_t>(category)];
  for (std::size_t i = 0; i < levels.size() && i < compared.size(); ++i) {
    if (i > 0) text += ' ';
    text += LevelText(compared[i], levels[i]);
  }
  return text;
}

bool MarginalMeans::Compute(QXMath_600::IQXRegComponent& component, FitResult& result,
                            std::string& error) const {
  if (fSpecs.empty()) return true;
  QXMath_600::IQXRegOutputStats* output = nullptr;
  const QXCommon_600::QXStatus fitted = component.GetOutputStats(output);
  if (fitted.IsError() || output == nullptr) {
    error = "the marginal means cannot be formed: " + fitted.GetMessage();
    return false;
  }
  const QXMath_600::IQXRegOutputStats& stats = *output;
  if (stats.GetModelType() == QXConst::QXRegModelLogistic)
    return ComputeLogistic(component, stats, result, error);
  const std::optional<double> sigma2 = ComputeErrorVariance(result);
  const QXMath_600::QXSymMatrix* unscaled = stats.GetCovarianceMatrix();
  if (!sigma2 || unscaled == nullptr ||
      unscaled->GetNRows() != static_cast<int>(stats.GetParamEstimates().size())) {
    result.AddWarning("no error degrees of freedom: the marginal means are not formed");
    return true;
  }
  // The linear model's covariance is unscaled.
  QXMath_600::QXSymMatrix covariance = *unscaled;
  covariance.MultiplyByNumber(*sigma2);
  const Predictor predictor{stats.GetParameters(), stats.GetParamEstimates(), covariance,
                            stats.GetRedundancyIndicators(), QXConst::QXLinkTypeIdentity};
  // The marginal means borrow the settings; the component's live as long as it does.
  return ComputeOver(component.GetCompSettings(), stats, predictor, result.fTest == TestKind::kChiSquare,
                     result, error);
}

bool MarginalMeans::ComputeLogistic(QXMath_600::IQXRegComponent& component,
                                    const QXMath_600::IQXRegOutputStats& stats, FitResult& result,
                                    std::string& error) const {
  const auto* logistic = dynamic_cast<const QXMath_600::QXLogOutputStats*>(&stats);
  const QXMath_600::QXSymMatrix* covariance = stats.GetCovarianceMatrix();
  const auto& parameters = stats.GetParameters();
  const auto& estimates = stats.GetParamEstimates();
  const QXMath_600::QXBitSet& kept = stats.GetRedundancyIndicators();
  const int p = logistic != nullptr ? logistic->GetNBasicParameters() : 0;
  const std::size_t n = parameters.size();
  if (logistic == nullptr || covariance == nullptr || p <= 0 || n % static_cast<std::size_t>(p) != 0 ||
      estimates.size() != n || covariance->GetNRows() != static_cast<int>(n) ||
      kept.Size() != static_cast<int>(n) ||
      logistic->GetDependCategories().size() != n / static_cast<std::size_t>(p) + 1) {
    error =
        "the marginal means cannot be formed: the logistic model's parameters do not come in one block "
        "per category";
    return false;
  }
  // The means of a logistic model are tested as emmeans tests those of a glm: z tests, normal bounds.
  QXMath_600::QXRegSettings settings = component.GetCompSettings();
  settings.SetTestType(QXConst::QXTestChiSquare);
  int response = 0;
  for (std::size_t v = 0; v < fpModel->GetVariables().size(); ++v)
    if (fpModel->GetVariables()[v].fRole == Role::kDependent) response = static_cast<int>(v);
  const std::vector<int>& categories = logistic->GetDependCategories();
  const std::string reference = LevelText(response, categories.back());
  // Block k holds the parameters of the k-th category's log-odds against the reference: the means of
  // that linear predictor, on its own estimates and covariance block.
  for (std::size_t k = 0; k + 1 < categories.size(); ++k) {
    const auto first = static_cast<long>(k) * p;
    const std::vector<QXMath_600::QXRegrParameter> blockParameters(parameters.begin() + first,
                                                                   parameters.begin() + first + p);
    const std::vector<double> blockEstimates(estimates.begin() + first, estimates.begin() + first + p);
    QXMath_600::QXSymMatrix blockCovariance(p);
    QXMath_600::QXBitSet blockKept(p);
    for (int i = 0; i < p; ++i) {
      blockKept.Set(i, kept.IsIn(static_cast<int>(first) + i));
      for (int j = 0; j <= i; ++j)
        blockCovariance.SetElem(
            i, j, covariance->GetElem(static_cast<int>(first) + i, static_cast<int>(first) + j));
    }
    const Predictor predictor{blockParameters, blockEstimates, blockCovariance, blockKept,
                              QXConst::QXLinkTypeLogit};
    const std::size_t before = result.fEmmeans.size();
    if (!ComputeOver(settings, stats, predictor, true, result, error)) return false;
    for (std::size_t e = before; e < result.fEmmeans.size(); ++e) {
      result.fEmmeans[e].fCategory = LevelText(response, categories[k]);
      result.fEmmeans[e].fReference = reference;
      result.fEmmeans[e].fScale = fOptions.fScale == EmmeansScale::kResponse ? "response" : "link";
    }
  }
  return true;
}

bool MarginalMeans::ComputeOver(const QXMath_600::QXRegSettings& settings,
                                const QXMath_600::IQXRegOutputStats& stats, const Predictor& predictor,
                                bool chiSquare, FitResult& result, std::string& error) const {
  // The design of the fitted parameters, as the marginal means rebuild their rows from it.
  QXMath_600::QXLiteDesignMatrix lite(settings.GetFactors(), settings.GetFactorSizes(),
                                      settings.GetCovariates());
  for (const auto& parameter : predictor.fParameters) lite.AddRegrParameter(parameter);
  const std::size_t nCovariates = settings.GetCovariates().size();
  const std::vector<double>& meanValues = stats.GetMeanValues();
  const std::vector<double> covariateMeans(
      meanValues.begin(), meanValues.begin() + static_cast<long>(std::min(nCovariates, meanValues.size())));
  QXMath_600::QXCancelInfo cancel;
  std::vector<QXMath_600::QXEmmeansSpec> specs = fSpecs;
  auto make = [&]() {
    auto object = std::make_unique<QXMath_600::QXMarginals>(settings, specs, lite, predictor.fEstimates,
                                                            cancel, covariateMeans, &stats.GetFactorCounts(),
                                                            predictor.fLink, 0.0);
    QXCommon_600::QXStatus status = object->GetStatus();
    if (!status.IsError())
      status = object->SetEmmeansTesting(&predictor.fCovariance, predictor.fRedundancy,
                                         stats.GetNDegFreedom(), nullptr);
    if (status.IsError()) {
      error = "the marginal means cannot be formed: " + status.GetMessage();
      object.reset();
    }
    return object;
  };
  std::unique_ptr<QXMath_600::QXMarginals> marginals = make();
  if (!marginals) return false;
  // The cells of several factors are compared only when every combination of their levels has data;
  // otherwise their means are still worth showing.
  std::vector<bool> cellsOnly(specs.size(), false);
  for (std::size_t s = 0; s < specs.size(); ++s) {
    if (specs[s].GetCompareFactors().size() < 2 ||
        marginals->GetSpecStatus(static_cast<int>(s)).GetErrorCode() != 333)
      continue;
    specs[s].GetCompareFactors().clear();
    cellsOnly[s] = true;
  }
  if (std::find(cellsOnly.begin(), cellsOnly.end(), true) != cellsOnly.end()) {
    marginals = make();
    if (!marginals) return false;
  }

  for (int s = 0; s < static_cast<int>(fSpecs.size()); ++s) {
    const QXMath_600::QXEmmeansSpec& request = specs[static_cast<std::size_t>(s)];
    EmmeansResult out;
    out.fSpec = fOptions.fRequests[static_cast<std::size_t>(s)].fText;
    for (int var : request.GetFactors()) out.fFactors.push_back(FactorLabel(var));
    for (int var : request.GetCompareFactors()) out.fCompared.push_back(FactorLabel(var));
    out.fContrast = fOptions.fContrastName;
    if (!fOptions.fReferenceLevel.empty()) out.fContrast += ":" + fOptions.fReferenceLevel;
    out.fAdjust = fOptions.fAdjustName;
    out.fbChiSquare = chiSquare;
    Notes notes{out, result};
    if (cellsOnly[static_cast<std::size_t>(s)]) {
      std::vector<std::string> cells;
      for (int var : fSpecs[static_cast<std::size_t>(s)].GetCompareFactors())
        cells.push_back(FactorLabel(var));
      notes.Add(
          "the cells of " + JoinNames(cells) +
          " are not compared: some combinations of their levels have no data (compare one factor within "
          "the others with '|')");
    }
    if (ReadMeans(*marginals, s, request, out, notes) && !request.GetCompareFactors().empty())
      ReadComparisons(*marginals, s, request, chiSquare, out, notes);
    result.fEmmeans.push_back(std::move(out));
  }
  return true;
}

void MarginalMeans::Notes::Add(const QXCommon_600::QXStatus& status) {
  if (!status.IsOK()) Add(status.GetMessage());
}

void MarginalMeans::Notes::Add(const std::string& text) {
  if (std::find(fOut.fNotes.begin(), fOut.fNotes.end(), text) == fOut.fNotes.end())
    fOut.fNotes.push_back(text);
  fResult.AddWarning("--emmeans '" + fOut.fSpec + "': " + text);
}

bool MarginalMeans::ReadMeans(QXMath_600::QXMarginals& marginals, int s,
                              const QXMath_600::QXEmmeansSpec& request, EmmeansResult& out,
                              Notes& notes) const {
  const QXMath_600::QXEmmeansSpec* spec = nullptr;
  const QXMath_600::QXRectMatrix* L = nullptr;
  std::vector<QXMath_600::QXEmmeansStats> means;
  const QXCommon_600::QXStatus status = marginals.GetEmmeansStats(s, spec, L, means);
  notes.Add(marginals.GetSpecStatus(s));
  if (status.IsError()) {
    notes.Add(status);
    return false;
  }
  // The library completes the covariates with their means.
  if (spec != nullptr)
    for (const auto& [var, value] : spec->GetCovariates())
      out.fAt.emplace_back(fpModel->GetVariables()[static_cast<std::size_t>(var)].fName, value);
  for (const auto& m : means) {
    EmmeansMean row;
    for (std::size_t i = 0; i < m.fvCategories.size() && i < request.GetFactors().size(); ++i)
      row.fLevels.emplace_back(out.fFactors[i], LevelText(request.GetFactors()[i], m.fvCategories[i]));
    row.fMean = Present(m.fMean);
    row.fStdError = Present(m.fStdError);
    row.fDF = Present(m.fDF);
    row.fLower = Present(m.fLower);
    row.fUpper = Present(m.fUpper);
    out.fMeans.push_back(std::move(row));
  }
  return true;
}

void MarginalMeans::ReadComparisons(QXMath_600::QXMarginals& marginals, int s,
                                    const QXMath_600::QXEmmeansSpec& request, bool chiSquare,
                                    EmmeansResult& out, Notes& notes) const {
  QXCommon_600::QXStatus testsStatus;
  const int nTests = marginals.GetNEmmeansTests(s, testsStatus);
  if (nTests < 0) notes.Add(testsStatus);
  std::vector<std::vector<int>> combinations;
  marginals.GetPWCombinations(s, combinations);
  for (int t = 0; t < nTests; ++t) {
    std::vector<std::pair<int, int>> tableFactors;
    QXMath_600::QXTestStats overall;
    const QXCommon_600::QXStatus overallStatus =
        marginals.GetPairwiseOverallTest(s, t, tableFactors, overall);
    notes.Add(overallStatus);
    const LevelTexts by = Texts(tableFactors);
    if (!overallStatus.IsError()) {
      EmmeansOverall row;
      row.fBy = by;
      if (overall.GetDF() > 0.0) row.fDF = Present(overall.GetDF());
      if (!chiSquare) row.fDFError = Present(overall.GetDF2());
      row.fStatistic = Present(overall.GetWald());
      if (row.fStatistic) row.fP = Present(overall.GetSig());
      out.fOverall.push_back(std::move(row));
    }
    if (request.GetContrastType() == QXConst::QXContrastPairwise) {
      const int n = marginals.GetNPairwiseEmmeansTests(s, t);
      for (int p = 0; p < n; ++p) {
        std::vector<int> categories;
        QXMath_600::QXEmmeansStats pair;
        const QXCommon_600::QXStatus status =
            marginals.GetPairwiseEmmeansTests(s, t, p, tableFactors, categories, pair);
        notes.Add(status);
        if (status.IsError() || categories.empty() || pair.fvCategories.empty()) break;
        // Each pair once, the earlier level first, as emmeans lists them.
        if (categories[0] >= pair.fvCategories[0]) continue;
        EmmeansComparison row;
        row.fBy = by;
        row.fContrast = CategoryText(s, categories[0], combinations) + " - " +
                        CategoryText(s, pair.fvCategories[0], combinations);
        row.fEstimate = Present(pair.fMean);
        row.fStdError = Present(pair.fStdError);
        row.fStatistic = Present(pair.fTStat);
        row.fDF = Present(pair.fDF);
        if (row.fStatistic) row.fP = Present(pair.fSig);
        row.fLower = Present(pair.fLower);
        row.fUpper = Present(pair.fUpper);
        out.fComparisons.push_back(std::move(row));
      }
      continue;
    }
    std::vector<int> categories;
    QXMath_600::QXRectMatrix* contrastL = nullptr;
    std::vector<QXMath_600::QXTestStats> individual;
    QXMath_600::QXTestStats joint;
    const QXCommon_600::QXStatus status =
        marginals.GetEmmeansTests(s, t, tableFactors, categories, contrastL, individual, joint);
    notes.Add(status);
    if (status.IsError()) continue;
    std::vector<std::string> texts;
    for (int c : categories) texts.push_back(CategoryText(s, c, combinations));
    for (std::size_t r = 0; r < individual.size(); ++r) {
      const QXMath_600::QXTestStats& test = individual[r];
      EmmeansComparison row;
      row.fBy = by;
      row.fContrast = ContrastLabel(request.GetContrastType(), texts, r);
      row.fEstimate = Present(test.GetContrastEstimate());
      row.fStdError = Present(test.GetStandardError());
      row.fStatistic = Present(test.GetWald());
      if (!chiSquare) row.fDF = Present(test.GetDF2());
      if (row.fStatistic)
        row.fP = Present(request.GetPAdjust() == QXConst::QXPAdjLSD ? test.GetSig() : test.GetAdjSig());
      row.fLower = Present(test.GetLowerConfidenceInterval());
      row.fUpper = Present(test.GetUpperConfidenceInterval());
      out.fComparisons.push_back(std::move(row));
    }
  }
}

}  // namespace QXFit
