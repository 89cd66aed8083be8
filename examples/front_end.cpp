// Fits a formula to columns the program already holds, through the front end that qxfit runs on:
// the rows are read in place, and the report is qxfit's.
#include <cstdint>
#include <iostream>
#include <vector>

#include "frontend/MemoryColumns.h"
#include "frontend/QXFrontEnd.h"

int main() {
  // Plant weights of a control and two treatment groups (R's PlantGrowth, first four of each).
  const std::vector<double> weight{4.17, 5.58, 5.18, 6.11, 4.81, 4.17, 4.41, 3.59, 6.31, 5.12, 5.54, 5.50};
  const std::vector<std::int32_t> group{0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2};
  QXFit::MemoryColumns data(static_cast<long long>(weight.size()));
  data.AddNumeric("weight", weight.data());
  data.AddCategorical("group", group.data(), 1, {"ctrl", "trt1", "trt2"});

  QXFit::Options options;  // what qxfit's command line would say
  options.fFormula = "weight ~ group";
  QXFit::QXFrontEnd fit;
  if (!fit.FitColumns(options, data)) {
    std::cerr << fit.GetError() << '\n';
    return 1;
  }
  std::cout << fit.GetReport();
  return 0;
}
