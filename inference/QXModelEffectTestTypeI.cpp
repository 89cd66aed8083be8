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
  const QXRectMatrix* hypotheses = nullptr;
  const std::vector<int>* parameters = nullptr;
  if (!data.GetTypeIHypotheses(effect, hypotheses, parameters)) return QXStatus(303, false);
  const int r = static_cast<int>(parameters->size());
  if (r == 0) return QXStatus();
  if (hypotheses->GetNCols() != r) return QXStatus(321, true);
  QXRectMatrix& L = *data.fpLMatrix;
  if (!L.SetNRowsCols(count, data.fP)) return QXStatus(321, true);
  for (int row = 0; row < r; ++row) {
    L.CopyColToRow(*hypotheses, row, row);
    rowIndices.push_back((*parameters)[row] + 1);
  }
  return QXStatus();
}

bool QXModelEffectTestTypeI::KnownWaldForm(int effect, int rows, double& w) const {
  return fpDataImpl != nullptr && fpDataImpl->GetTypeIWaldForm(effect, rows, w);
}

}  // namespace QXMath_600
