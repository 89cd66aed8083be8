// The tests of all model effects of one analysis: for each effect its test record, the contrast
// matrix the test was computed from, the status of the computation and the 1-based indices of the
// parameters its rows stand for. The model effect tests fill it and hand it to the caller.
//
// The four lists are filled together by the adding operations but are independent: each getter
// checks only its own list, so a list that was never added to answers null for every index.
#pragma once

#include <vector>

#include "common/QXExport.h"
#include "common/QXRectMatrix.h"
#include "common/QXStatus.h"
#include "inference/QXTestStats.h"

namespace QXMath_600 {

class QXModelTests;
class QXModelEffectTest;
class QXBaseModelEffectTest;
class QXModelEffectTestTypeI;
class QXModelEffectTestTypeIII;

class QXREGRES_API QXModelTestStats {
 public:
  QXModelTestStats() = default;
  virtual ~QXModelTestStats() = default;

  // Appends copies of the pointed-to record (a null pointer adds a default record), the matrix and
  // the status.
  void AddTestStatsAndLMatrixAndStatus(const QXTestStats* stats, const QXRectMatrix& lMatrix,
                                       const QXCommon_600::QXStatus& status);
  void AddRowIndices(const std::vector<int>& rowIndices);

  int GetNTests() const { return static_cast<int>(fvTestStats.size()); }

  // Entry i of the respective list, or null when i is negative or not below that list's length. The
  // pointers stay valid until the next addition or the object's destruction.
  const QXTestStats* GetTestStats(int i) const;
  const QXRectMatrix* GetLMatrix(int i) const;
  const std::vector<int>* GetRowIndices(int i) const;
  const QXCommon_600::QXStatus* GetStatus(int i) const;

  void Display() const;

 private:
  // The test routines record partial results through these.
  friend class QXModelTests;
  friend class QXModelEffectTest;
  friend class QXBaseModelEffectTest;
  friend class QXModelEffectTestTypeI;
  friend class QXModelEffectTestTypeIII;

  void AddTestStatsAndLMatrix(const QXTestStats* stats, const QXRectMatrix& lMatrix);
  void AddTestStats(const QXTestStats& stats);
  void AddLMatrix(const QXRectMatrix& lMatrix);
  void AddStatus(const QXCommon_600::QXStatus& status);

  std::vector<QXTestStats> fvTestStats;
  std::vector<QXRectMatrix> fvLMatrices;
  std::vector<std::vector<int>> fvRowIndices;
  std::vector<QXCommon_600::QXStatus> fvStatuses;
};

}  // namespace QXMath_600
