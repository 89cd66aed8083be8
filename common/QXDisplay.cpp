#include "common/QXDisplay.h"

#include <cstdio>
#include <string>

#include "common/QXMissingValue.h"

namespace QXDisplay_600 {

namespace {

void PrintLabel(std::string_view label) {
  std::printf("%.*s = ", static_cast<int>(label.size()), label.data());
}

void PrintDouble(double value) {
  if (QXMV::IsMissing(value))
    std::printf("sysmis");
  else
    std::printf("%.17g", value);
}

}  // namespace

void DisplayText(int level, std::string_view text) {
  for (int i = 1; i < level; ++i) std::printf("  ");
  std::printf("%.*s\n", static_cast<int>(text.size()), text.data());
}

void DisplayB(std::string_view label, bool value) {
  PrintLabel(label);
  std::printf("%s\n", value ? "true" : "false");
}

void DisplayI(std::string_view label, long long value) {
  PrintLabel(label);
  std::printf("%lld\n", value);
}

void DisplayD(std::string_view label, double value) {
  PrintLabel(label);
  PrintDouble(value);
  std::printf("\n");
}

void DisplayDF(std::string_view label, double value, int decimals) {
  PrintLabel(label);
  if (QXMV::IsMissing(value))
    std::printf("sysmis\n");
  else
    std::printf("%.*f\n", decimals < 0 ? 0 : (decimals > 30 ? 30 : decimals), value);
}

void DisplayS(std::string_view label, std::string_view value) {
  PrintLabel(label);
  std::printf("%.*s\n", static_cast<int>(value.size()), value.data());
}

void DisplayIV(std::string_view label, const std::vector<int>& values) {
  PrintLabel(label);
  std::printf("[");
  for (std::size_t i = 0; i < values.size(); ++i) std::printf(i ? ", %d" : "%d", values[i]);
  std::printf("]\n");
}

void DisplayDV(std::string_view label, const std::vector<double>& values) {
  PrintLabel(label);
  std::printf("[");
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) std::printf(", ");
    PrintDouble(values[i]);
  }
  std::printf("]\n");
}

}  // namespace QXDisplay_600
