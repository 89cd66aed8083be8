// The rows of data/warpbreaks.csv as a caller would hold them before coding its factors.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/CsvReader.h"

namespace qxfit_test {

struct WarpbreaksRow {
  double fBreaks = 0.0;
  std::string fWool, fTension;
};

inline std::vector<WarpbreaksRow> ReadWarpbreaks() {
  std::vector<WarpbreaksRow> rows;
  QXFit::CsvReader csv;
  EXPECT_TRUE(csv.Open(std::string(QX_TEST_DATA_DIR) + "/warpbreaks.csv"));
  while (csv.Next()) {
    WarpbreaksRow row;
    EXPECT_TRUE(csv.GetNumber(0, row.fBreaks));
    row.fWool = std::string(csv.GetText(1));
    row.fTension = std::string(csv.GetText(2));
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace qxfit_test
