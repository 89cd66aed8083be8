#include "inference/QXModelEffectTestTypeIII.h"

#include <cmath>
#include <memory>

#include "common/QXBitSet.h"
#include "common/QXRectMatrix.h"
#include "common/QXSymMatrix.h"
#include "inference/QXEffectTestData.h"

namespace QXMath_600 {

using QXCommon_600::QXStatus;

namespace {

QXStatus NoHypothesis() { return QXStatus(321, true); }

// Appends the columns of `more` to `matrix` (same number of rows).
void AppendColumns(QXRectMatrix& matrix, const QXRectMatrix& more) {
  if (more.GetNCols() == 0) return;
  QXRectMatrix joined(matrix.GetNRows(), matrix.GetNCols() + more.GetNCols());
  for (int i = 0; i < matrix.GetNRows(); ++i) {
    for (int j = 0; j < matrix.GetNCols(); ++j) joined.SetElem(i, j, matrix.GetElem(i, j));
    for (int j = 0; j < more.GetNCols(); ++j) joined.SetElem(i, matrix.GetNCols() + j, more.GetElem(i, j));
  }
  matrix = std::move(joined);
}

}  // namespace

QXModelEffectTestTypeIII::~QXModelEffectTestTypeIII() = default;

QXStatus QXModelEffectTestTypeIII::ComputeEffectLMatrix(int effect, std::vector<int>& rowIndices) {
  int first = 0, count = 0;
  if (!CanBuild(effect, first, count)) return QXStatus(303, false);
  QXEffectTestData& data = *fpDataImpl;
  const int p = data.fP;
  const int nEffects = data.GetNEffects();
  const QXModelEffect& target = data.fvModelEffects[effect];

  // The hypothesis is built from X'WX itself, whatever sweeps the Type I hypotheses left behind.
  QXSymMatrix W(*data.fpSSCPMatrix);
  if (data.fSweptSet.Count() > 0) {
    QXBitSet typeISweeps = data.fSweptSet;
    data.Unsweep(W, typeISweeps);
  }
  QXBitSet swept(p);
  for (int f = 0; f < nEffects; ++f)
    if (f != effect && !target.IsContainedIn(data.fvModelEffects[f])) data.SweepEffect(W, f, swept);
  const int rEffect = data.SweepEffect(W, effect, swept);
  int nContaining = 0;
  for (int f = 0; f < nEffects; ++f)
    if (f != effect && target.IsContainedIn(data.fvModelEffects[f]))
      nContaining += data.SweepEffect(W, f, swept);
  if (rEffect < 1) return NoHypothesis();
  if (data.fpSettings->GetTransformEffects()) {
    const QXStatus transformed = TransformEffects(W, swept);
    if (!transformed.IsOK()) return transformed;
  }

  QXRectMatrix M1;
  if (W.ExtractH(first, first + count - 1, swept, M1) != rEffect) return NoHypothesis();
  QXBitSet remaining(M1.GetNCols());
  remaining.SetRange(0, M1.GetNCols() - 1);
  if (nContaining > 0) {
    // The hypothesis must not involve the contrasts of the effects that contain e: keep only what
    // is orthogonal to them.
    QXRectMatrix M2(p, 0);
    for (int f = 0; f < nEffects; ++f) {
      int firstF = 0, countF = 0;
      if (f == effect || !target.IsContainedIn(data.fvModelEffects[f]) ||
          !data.GetEffectRange(f, firstF, countF) || countF == 0)
        continue;
      QXRectMatrix columns;
      W.ExtractH(firstF, firstF + countF - 1, swept, columns);
      AppendColumns(M2, columns);
    }
    if (M1.ResidOfOrthProjection(M2, data.fTolerance, remaining) < 0) return NoHypothesis();
  }
  // Parameters of the effects that do not contain e must not appear in its hypothesis: each is
  // eliminated by combining the columns, at the cost of one column where it was present.
  for (int f = 0; f < nEffects; ++f) {
    int firstF = 0, countF = 0;
    if (f == effect || target.IsContainedIn(data.fvModelEffects[f]) ||
        !data.GetEffectRange(f, firstF, countF))
      continue;
    for (int c = firstF; c < firstF + countF; ++c) {
      const int pivot = M1.ZeroOutPivotRow(c, data.fTolerance);
      if (pivot >= 0) remaining.Reset(pivot);
    }
  }
  const int nRows = remaining.Count();
  if (nRows == 0) return NoHypothesis();

  std::vector<int> sweptOfEffect;
  for (int k = first; k < first + count; ++k)
    if (swept.IsIn(k)) sweptOfEffect.push_back(k);
  if (static_cast<int>(sweptOfEffect.size()) != M1.GetNCols()) return QXStatus(303, false);
  QXRectMatrix& L = *data.fpLMatrix;
  if (!L.SetNRowsCols(nRows, p)) return NoHypothesis();
  int row = 0;
  for (int j = 0; j < M1.GetNCols(); ++j) {
    if (!remaining.IsIn(j)) continue;
    M1.ColClean(j, p);
    L.CopyColToRow(M1, j, row);
    ++row;
    rowIndices.push_back(sweptOfEffect[j] + 1);
  }
  return QXStatus();
}

QXStatus QXModelEffectTestTypeIII::TransformEffects(QXSymMatrix& W, const QXBitSet& swept) {
  QXEffectTestData& data = *fpDataImpl;
  const std::vector<double>& c = data.fvScaleOffsets;
  const std::vector<double>& d = data.fvScaleFactors;
  const int s = static_cast<int>(c.size());
  // With an intercept, parameter 0 is the intercept and the scale values belong to parameters 1 .. s.
  const int shift = data.fbInterceptUsed ? 1 : 0;
  if (static_cast<int>(d.size()) != s || s + shift != data.fP) return QXStatus(303, false);
  for (int j = 0; j < s; ++j)
    if (!std::isfinite(c[j]) || !std::isfinite(d[j]) || d[j] == 0.0) return QXStatus(303, false);

  if (!data.fpRMatrix) data.fpRMatrix = std::make_unique<QXRectMatrix>();
  if (!data.fpAMatrix) data.fpAMatrix = std::make_unique<QXSymMatrix>();
  QXRectMatrix& R = *data.fpRMatrix;
  QXSymMatrix& A = *data.fpAMatrix;
  if (R.GetNRows() != data.fP || R.GetNCols() != data.fP) R.SetNRowsCols(data.fP, data.fP);
  if (A.GetNRows() != data.fP) A.SetNRowsCols(data.fP);
  R.Clear();
  A.Clear();
  if (data.fbInterceptUsed) R.SetElem(0, 0, 1.0);
  for (int t = 0; t < s; ++t) {
    const int j = t + shift;
    if (swept.IsIn(j)) {
      R.SetElem(j, j, 1.0 / d[t]);
      if (data.fbInterceptUsed) R.SetElem(0, j, -c[t] / d[t]);
    } else {
      R.SetElem(j, j, d[t]);
      A.SetElem(j, 0, c[t]);
    }
  }
  QXSymMatrix transformed;
  if (!W.ComputeRSRTrans(R, transformed) || !transformed.ComputeAXpY(1.0, A)) return QXStatus(303, false);
  W = std::move(transformed);
  return QXStatus();
}

}  // namespace QXMath_600
