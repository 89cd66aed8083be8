#include "inference/QXModelTestStats.h"

#include <cstddef>

#include "common/QXDisplay.h"

namespace QXMath_600 {

namespace {

template <class T>
const T* Entry(const std::vector<T>& list, int i) {
  if (i < 0 || static_cast<std::size_t>(i) >= list.size()) return nullptr;
  return &list[i];
}

}  // namespace

void QXModelTestStats::AddTestStatsAndLMatrixAndStatus(const QXTestStats* stats, const QXRectMatrix& lMatrix,
                                                       const QXCommon_600::QXStatus& status) {
  AddTestStatsAndLMatrix(stats, lMatrix);
  AddStatus(status);
}

void QXModelTestStats::AddRowIndices(const std::vector<int>& rowIndices) {
  fvRowIndices.push_back(rowIndices);
}

void QXModelTestStats::AddTestStatsAndLMatrix(const QXTestStats* stats, const QXRectMatrix& lMatrix) {
  AddTestStats(stats ? *stats : QXTestStats());
  AddLMatrix(lMatrix);
}

void QXModelTestStats::AddTestStats(const QXTestStats& stats) { fvTestStats.push_back(stats); }

void QXModelTestStats::AddLMatrix(const QXRectMatrix& lMatrix) { fvLMatrices.push_back(lMatrix); }

void QXModelTestStats::AddStatus(const QXCommon_600::QXStatus& status) { fvStatuses.push_back(status); }

const QXTestStats* QXModelTestStats::GetTestStats(int i) const { return Entry(fvTestStats, i); }

const QXRectMatrix* QXModelTestStats::GetLMatrix(int i) const { return Entry(fvLMatrices, i); }

const std::vector<int>* QXModelTestStats::GetRowIndices(int i) const { return Entry(fvRowIndices, i); }

const QXCommon_600::QXStatus* QXModelTestStats::GetStatus(int i) const { return Entry(fvStatuses, i); }

void QXModelTestStats::Display() const {
  using namespace QXDisplay_600;
  DisplayText(1, "Start of QXModelTestStats display");
  DisplayText(1, " ");
  DisplayI("Number of test statistics objects", static_cast<long long>(fvTestStats.size()));
  for (std::size_t i = 0; i < fvTestStats.size(); ++i) {
    DisplayI("Effect index", static_cast<long long>(i));
    DisplayText(1, "Test statistics for this effect");
    fvTestStats[i].Display();
  }
  DisplayText(1, " ");
  DisplayI("Number of computed L matrices", static_cast<long long>(fvLMatrices.size()));
  for (std::size_t i = 0; i < fvLMatrices.size(); ++i) {
    DisplayI("Effect index", static_cast<long long>(i));
    DisplayText(1, "L matrix for this effect");
    fvLMatrices[i].Display();
  }
  DisplayText(1, " ");
  DisplayI("Number of vectors of row indices", static_cast<long long>(fvRowIndices.size()));
  for (std::size_t i = 0; i < fvRowIndices.size(); ++i) {
    DisplayI("Effect index", static_cast<long long>(i));
    DisplayIV("Vector of row indices for this effect", fvRowIndices[i]);
  }
  DisplayText(1, "End of QXModelTestStats display");
}

}  // namespace QXMath_600
