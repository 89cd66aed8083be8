#include "inference/QXModelEffectTestTypeI.h"

#include "common/QXBitSet.h"
#include "common/QXRectMatrix.h"
#include "inference/QXEffectTestData.h"

namespace QXMath_600 {

using QXCommon_600::QXStatus;

QXModelEffectTestTypeI::~QXModelEffectTestTypeI() = default;

QXStatus QXModelEffectTestTypeI::ComputeEffectLMatrix(int effect, std::vector<int>& rowIndices) {
  int first = 0, count = 0;
  if (!CanBuild(effect, first, count)) return QXStatus(303, false);
  QXEffectTestData& data = *fpDataImpl;
  data.PrepareTypeISweeps(effect);
  QXBitSet fresh(data.fP);
  const int r = data.SweepEffect(*data.fpSSCPMatrix, effect, fresh);
  data.fSweptSet.Union(fresh);
  data.fNTypeISweptEffects = effect + 1;
  if (r == 0) return QXStatus();

  QXRectMatrix hypotheses;
  if (data.fpSSCPMatrix->ExtractH(first, first + count - 1, data.fSweptSet, hypotheses) != r)
    return QXStatus(321, true);
  QXRectMatrix& L = *data.fpLMatrix;
  if (!L.SetNRowsCols(count, data.fP)) return QXStatus(321, true);
  int row = 0;
  for (int k = first; k < first + count; ++k) {
    if (!fresh.IsIn(k)) continue;
    L.CopyColToRow(hypotheses, row, row);
    ++row;
    rowIndices.push_back(k + 1);
  }
  return QXStatus();
}

}  // namespace QXMath_600
