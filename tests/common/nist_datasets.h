// The NIST StRD linear least-squares datasets of data/nist with their certified values, for the
// accuracy tests of the matrix kernel and of the linear model.
#pragma once

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace qx_nist {

struct Dataset {
  std::vector<std::string> columns;         // y, then the predictors
  std::vector<std::vector<double>> rows;    // y first, as in the file
  std::vector<double> certified;            // b0 (when the model has an intercept) .. bp
  std::vector<double> certifiedDeviations;  // their certified standard deviations
  double residualSd = 0.0;
  double rSquared = 0.0;
  bool intercept = false;
};

// Reads <name>.csv and <name>.certified.txt from the data folder the tests are given.
inline Dataset Load(const std::string& name) {
  Dataset d;
  const std::string dir = std::string(QX_TEST_DATA_DIR) + "/nist/";
  std::ifstream csv(dir + name + ".csv");
  std::string line;
  std::getline(csv, line);
  std::stringstream header(line);
  for (std::string cell; std::getline(header, cell, ',');) d.columns.push_back(cell);
  while (std::getline(csv, line)) {
    if (line.empty()) continue;
    std::stringstream s(line);
    std::vector<double> row;
    for (std::string cell; std::getline(s, cell, ',');) row.push_back(std::stod(cell));
    d.rows.push_back(row);
  }
  std::ifstream cert(dir + name + ".certified.txt");
  while (std::getline(cert, line)) {
    std::stringstream s(line);
    std::string label;
    double value = 0.0, deviation = 0.0;
    s >> label >> value;
    if (label == "residual_sd") d.residualSd = value;
    if (label == "r_squared") d.rSquared = value;
    if (label.empty() || label[0] != 'b') continue;
    s >> deviation;
    d.intercept = d.intercept || label == "b0";
    d.certified.push_back(value);
    d.certifiedDeviations.push_back(deviation);
  }
  return d;
}

// The log relative error: the number of correct significant digits of `value`, capped at 15; against
// a certified 0, the digits of its magnitude.
inline double LogRelativeError(double value, double certified) {
  if (value == certified) return 15.0;
  const double error =
      certified == 0.0 ? std::fabs(value) : std::fabs(value - certified) / std::fabs(certified);
  return std::min(15.0, -std::log10(error));
}

}  // namespace qx_nist
