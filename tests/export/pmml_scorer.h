// Scores records from a PMML GeneralRegressionModel document the way a PMML consumer does, reading
// nothing but the document (through pugixml): a parameter's value for a record is the product over
// its PPMatrix cells of 1 or 0 for a factor (the record's category text equals the cell's value) and
// x^power for a covariate (1 for a parameter without cells); each target category's linear predictor
// sums beta times that value over its ParamMatrix cells. Probabilities follow the model type:
//   multinomialLogistic  exp(eta_j) / (1 + sum exp(eta)), the reference category's eta being 0;
//   ordinalMultinomial   P(Y <= j) = 1 / (1 + exp(-(theta_j + x'b))) in the order of the target's
//                        DataDictionary values (cumulative logit).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <vector>

namespace pmml_scoring {

// One record as a consumer receives it: factors by their category texts, covariates as numbers.
struct Inputs {
  std::map<std::string, std::string> categorical;
  std::map<std::string, double> continuous;
};

class Scorer {
 public:
  explicit Scorer(const std::string& document) {
    const pugi::xml_parse_result parsed = fDocument.load_string(document.c_str());
    EXPECT_TRUE(parsed) << parsed.description();
    const pugi::xml_node model = fDocument.child("PMML").child("GeneralRegressionModel");
    EXPECT_TRUE(model);
    fModelType = model.attribute("modelType").value();
    fReference = model.attribute("targetReferenceCategory").value();
    for (const char* list : {"FactorList", "CovariateList"})
      for (pugi::xml_node p : model.child(list).children("Predictor"))
        (list[0] == 'F' ? fFactors : fCovariates).push_back(p.attribute("name").value());
    for (pugi::xml_node p : model.child("ParameterList").children("Parameter"))
      fCells[p.attribute("name").value()];
    for (pugi::xml_node c : model.child("PPMatrix").children("PPCell"))
      fCells[c.attribute("parameterName").value()].push_back(
          {c.attribute("predictorName").value(), c.attribute("value").value()});
    for (pugi::xml_node c : model.child("ParamMatrix").children("PCell"))
      fBetas.push_back({c.attribute("targetCategory").value(), c.attribute("parameterName").value(),
                        c.attribute("beta").as_double()});
    const std::string target = TargetField(model);
    for (pugi::xml_node f : fDocument.child("PMML").child("DataDictionary").children("DataField"))
      if (target == f.attribute("name").value())
        for (pugi::xml_node v : f.children("Value")) fTargetValues.push_back(v.attribute("value").value());
  }

  const std::string& ModelType() const { return fModelType; }

  // The linear predictor of every target category ("" for the cells without one).
  std::map<std::string, double> LinearPredictors(const Inputs& in) const {
    std::map<std::string, double> eta;
    for (const Beta& b : fBetas) eta[b.target] += b.beta * ParameterValue(b.parameter, in);
    return eta;
  }

  double Predict(const Inputs& in) const {
    const auto eta = LinearPredictors(in);
    const auto found = eta.find("");
    return found == eta.end() ? 0.0 : found->second;
  }

  // The probability of each category of the target, in the order of its DataDictionary values.
  std::vector<double> Probabilities(const Inputs& in) const {
    const auto eta = LinearPredictors(in);
    std::vector<double> p;
    if (fModelType == "multinomialLogistic") {
      double largest = 0.0;
      for (const auto& [target, value] : eta) largest = std::max(largest, value);
      double sum = std::exp(-largest);
      for (const auto& [target, value] : eta) sum += std::exp(value - largest);
      for (const std::string& v : fTargetValues)
        p.push_back(v == fReference ? std::exp(-largest) / sum : std::exp(eta.at(v) - largest) / sum);
    } else if (fModelType == "ordinalMultinomial") {
      const double common = eta.count("") ? eta.at("") : 0.0;
      double below = 0.0;
      for (std::size_t j = 0; j < fTargetValues.size(); ++j) {
        const double cumulative =
            j + 1 < fTargetValues.size() ? 1.0 / (1.0 + std::exp(-(eta.at(fTargetValues[j]) + common))) : 1.0;
        p.push_back(cumulative - below);
        below = cumulative;
      }
    } else {
      ADD_FAILURE() << "no probabilities for " << fModelType;
    }
    return p;
  }

 private:
  struct Cell {
    std::string predictor;
    std::string value;
  };
  struct Beta {
    std::string target;
    std::string parameter;
    double beta;
  };

  static std::string TargetField(pugi::xml_node model) {
    for (pugi::xml_node f : model.child("MiningSchema").children("MiningField"))
      if (std::string(f.attribute("usageType").value()) == "predicted") return f.attribute("name").value();
    ADD_FAILURE() << "no predicted field";
    return std::string();
  }

  bool IsFactor(const std::string& name) const {
    return std::find(fFactors.begin(), fFactors.end(), name) != fFactors.end();
  }

  double ParameterValue(const std::string& parameter, const Inputs& in) const {
    const auto cells = fCells.find(parameter);
    EXPECT_NE(cells, fCells.end()) << "parameter " << parameter << " is not in the ParameterList";
    if (cells == fCells.end()) return 0.0;
    double value = 1.0;
    for (const Cell& c : cells->second) {
      if (IsFactor(c.predictor)) {
        value *= in.categorical.at(c.predictor) == c.value ? 1.0 : 0.0;
      } else {
        EXPECT_NE(std::find(fCovariates.begin(), fCovariates.end(), c.predictor), fCovariates.end());
        value *= std::pow(in.continuous.at(c.predictor), std::stod(c.value));
      }
    }
    return value;
  }

  pugi::xml_document fDocument;
  std::string fModelType;
  std::string fReference;
  std::vector<std::string> fFactors;
  std::vector<std::string> fCovariates;
  std::map<std::string, std::vector<Cell>> fCells;
  std::vector<Beta> fBetas;
  std::vector<std::string> fTargetValues;
};

}  // namespace pmml_scoring
