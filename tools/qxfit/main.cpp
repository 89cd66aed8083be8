// qxfit: fits a general linear model to a CSV (or binary record) file through qxregres600r and reports
// its parameters with their tests, the tests of its effects and its fit.
#include <iostream>
#include <string>

#include "frontend/CommandLine.h"
#include "frontend/RunTool.h"

int main(int argc, char** argv) {
  QXFit::Options options;
  std::string message;
  const int code = QXFit::CommandLine::Parse(argc, argv, options, message);
  if (code == QXFit::CommandLine::kSuccess) {
    std::cout << message;
    return code;
  }
  if (code > 0) {
    std::cerr << "qxfit: " << message << '\n';
    return code;
  }
  return QXFit::RunTool(options, std::cout, std::cerr);
}
