#include "inference/QXModelEffectTestTypeIII.h"

#include <cmath>
#include <limits>

#include "common/QXBitSet.h"
#include "common/QXSymMatrix.h"
#include "inference/QXEffectTestData.h"

namespace QXMath_600 {

using QXCommon_600::QXStatus;

namespace {

QXStatus NoHypothesis() { return QXStatus(321, true); }

constexpr double kOne = 1.0;
// How far from the tolerance a share must be for the fit's sweep to stand for the sweep in the
// hypothesis's order.
constexpr double kMargin = 100.0;

// Where each parameter stands among the rows a hypothesis of effect e can have non-zero: e's swept
// parameters, then those of the effects containing e, then the aliased parameters. Every other row
// of its columns is 0 throughout.
class CompactRows {
 public:
  CompactRows(int p, const std::vector<int>& own, const std::vector<int>& containing,
              const std::vector<int>& aliased)
      : fvRow(static_cast<std::size_t>(p), -1) {
    for (const std::vector<int>* list : {&own, &containing, &aliased})
      for (int k : *list) {
        if (fvRow[k] >= 0) continue;
        fvRow[k] = static_cast<int>(fvParameter.size());
        fvParameter.push_back(k);
      }
  }
  int RowOf(int parameter) const { return fvRow[parameter]; }
  int ParameterOf(int row) const { return fvParameter[row]; }
  int Size() const { return static_cast<int>(fvParameter.size()); }

 private:
  std::vector<int> fvRow;
  std::vector<int> fvParameter;
};

// Replaces each column of M1 (e's columns of the general estimable function) by its residual from the
// orthogonal projection on the columns of the effects containing e; a column that lies in their span
// leaves `remaining`. False when the projection cannot be formed.
bool ProjectOutContaining(const QXRectMatrix& T, const std::vector<int>& own,
                          const std::vector<int>& containing, const std::vector<int>& aliased,
                          const CompactRows& rows, double tolerance, QXRectMatrix& M1, QXBitSet& remaining) {
  // The hypothesis must not involve the contrasts of the effects that contain e: keep only what is
  // orthogonal to their columns M2 = [I; T2'] (identity at their own rows, T2' at the aliased ones).
  // For a column m = [e_c; t] the residual is e_c, -T2 K t at the containing rows and K t at the
  // aliased rows, K = (I + T2' T2)^-1: the projection solved in the space of the aliased parameters.
  // T2 is mostly zeros (a cell is expressed through few others), so it is kept by rows of non-zeros.
  const int nAliased = T.GetNCols();
  const int m2 = static_cast<int>(containing.size());
  const int r = static_cast<int>(own.size());
  std::vector<std::vector<int>> nzIndex(static_cast<std::size_t>(m2));
  std::vector<std::vector<double>> nzValue(static_cast<std::size_t>(m2));
  QXSymMatrix gram(nAliased);
  for (int a = 0; a < nAliased; ++a) gram.UpdateXXSparse(&a, &kOne, 1, 1.0);
  for (int s = 0; s < m2; ++s) {
    for (int a = 0; a < nAliased; ++a) {
      const double value = T.GetElem(containing[s], a);
      if (value == 0.0) continue;
      nzIndex[s].push_back(a);
      nzValue[s].push_back(value);
    }
    gram.UpdateXXSparse(nzIndex[s], nzValue[s], 1.0);
  }
  std::vector<double> diagonal, t(static_cast<std::size_t>(nAliased)), k;
  gram.GetDiagonal(diagonal);
  QXSymMatrix inverse;
  if (gram.CholInverse(diagonal, tolerance, inverse) != nAliased) return false;
  for (int j = 0; j < r; ++j) {
    double squares = 1.0;
    for (int a = 0; a < nAliased; ++a) {
      t[a] = T.GetElem(own[j], a);
      squares += t[a] * t[a];
    }
    inverse.ComputeSV(t, k);
    double after = 1.0;
    for (int a = 0; a < nAliased; ++a) {
      M1.SetElem(rows.RowOf(aliased[a]), j, k[a]);
      after += k[a] * k[a];
    }
    for (int s = 0; s < m2; ++s) {
      double value = 0.0;
      for (std::size_t z = 0; z < nzIndex[s].size(); ++z) value -= nzValue[s][z] * k[nzIndex[s][z]];
      M1.SetElem(rows.RowOf(containing[s]), j, value);
      after += value * value;
    }
    // A column that lies in the span of the containing effects' columns leaves the hypothesis.
    if (std::sqrt(after) <= tolerance * std::sqrt(squares)) {
      for (int i = 0; i < rows.Size(); ++i) M1.SetElem(i, j, 0.0);
      remaining.Reset(j);
    }
  }
  return true;
}

}  // namespace

QXModelEffectTestTypeIII::~QXModelEffectTestTypeIII() = default;

std::vector<int> QXModelEffectTestTypeIII::SweepOrder(int effect) const {
  const QXEffectTestData& data = *fpDataImpl;
  const QXModelEffect& target = data.fvModelEffects[effect];
  std::vector<int> order, containing;
  for (int f = 0; f < data.GetNEffects(); ++f) {
    if (f == effect) continue;
    (target.IsContainedIn(data.fvModelEffects[f]) ? containing : order).push_back(f);
  }
  order.push_back(effect);
  order.insert(order.end(), containing.begin(), containing.end());
  return order;
}

bool QXModelEffectTestTypeIII::IndexOrderServes(const std::vector<int>& order) const {
  const QXEffectTestData& data = *fpDataImpl;
  const QXSweptColumns& sweep = data.GetIndexOrderSweep();
  const std::vector<double>& unexplained = data.GetUnexplainedShares();
  const double tolerance = data.fSweepTolerance;
  // Positions in the hypothesis's order; a parameter outside every range is not swept there at all.
  constexpr int kNowhere = std::numeric_limits<int>::max();
  std::vector<int> position(static_cast<std::size_t>(data.fP), kNowhere);
  int next = 0;
  for (int e : order) {
    int first = 0, count = 0;
    if (!data.GetEffectRange(e, first, count)) continue;
    for (int k = first; k < first + count; ++k)
      if (position[k] == kNowhere) position[k] = next++;
  }
  // Every non-redundant parameter passes its test in any order when it keeps a clear share of its
  // column against all the others.
  for (int k = 0; k < data.fP; ++k) {
    if (!sweep.fKept.IsIn(k)) continue;
    if (position[k] == kNowhere || unexplained[k] <= kMargin * tolerance) return false;
  }
  // An aliased parameter stays aliased when the non-redundant columns that make it come before it: the
  // part of it made by later ones must be negligible.
  for (std::size_t a = 0; a < sweep.fvAliased.size(); ++a) {
    const int j = sweep.fvAliased[a];
    if (position[j] == kNowhere) return false;
    const double dj = data.fvDiagonal[j];
    double later = 0.0;
    for (int k = 0; k < data.fP; ++k) {
      if (!sweep.fKept.IsIn(k) || position[k] < position[j]) continue;
      const double coefficient = sweep.fColumns.GetElem(k, static_cast<int>(a));
      if (coefficient != 0.0 && dj > 0.0)
        later += std::fabs(coefficient) * std::sqrt(data.fvDiagonal[k] / dj);
    }
    if (later * later > tolerance / kMargin) return false;
  }
  return true;
}

QXStatus QXModelEffectTestTypeIII::ComputeEffectLMatrix(int effect, std::vector<int>& rowIndices) {
  int first = 0, count = 0;
  if (!CanBuild(effect, first, count)) return QXStatus(303, false);
  QXEffectTestData& data = *fpDataImpl;
  // The effects that do not contain e, e, then those that contain it: the order of sweeps that
  // defines the hypothesis. When it leaves the same parameters aliased as the index order, the one
  // sweep of the shared data serves; otherwise (terms given out of order, a repeated effect, a model
  // without an intercept) this effect gets its own sweep.
  const std::vector<int> order = SweepOrder(effect);
  if (IndexOrderServes(order)) {
    if (data.fpSettings->GetTransformEffects()) {
      if (!fbTransformed) {
        const QXStatus transformed = TransformColumns(data.GetIndexOrderSweep(), fTransformedColumns);
        if (!transformed.IsOK()) return transformed;
        fbTransformed = true;
      }
      return BuildHypothesis(effect, data.GetIndexOrderSweep(), fTransformedColumns, rowIndices);
    }
    return BuildHypothesis(effect, data.GetIndexOrderSweep(), data.GetIndexOrderSweep().fColumns, rowIndices);
  }
  QXSweptColumns own;
  if (!data.SweepEffectsInOrder(order, own)) return QXStatus(1, false);
  if (!data.fpSettings->GetTransformEffects()) return BuildHypothesis(effect, own, own.fColumns, rowIndices);
  QXRectMatrix transformed;
  const QXStatus status = TransformColumns(own, transformed);
  if (!status.IsOK()) return status;
  return BuildHypothesis(effect, own, transformed, rowIndices);
}

QXStatus QXModelEffectTestTypeIII::BuildHypothesis(int effect, const QXSweptColumns& sweep,
                                                   const QXRectMatrix& T, std::vector<int>& rowIndices) {
  QXEffectTestData& data = *fpDataImpl;
  const int p = data.fP;
  const QXModelEffect& target = data.fvModelEffects[effect];
  int first = 0, count = 0;
  data.GetEffectRange(effect, first, count);
  std::vector<int> own, containing;
  for (int k = first; k < first + count; ++k)
    if (sweep.fKept.IsIn(k)) own.push_back(k);
  if (own.empty()) return NoHypothesis();
  for (int f = 0; f < data.GetNEffects(); ++f) {
    int firstF = 0, countF = 0;
    if (f == effect || !target.IsContainedIn(data.fvModelEffects[f]) ||
        !data.GetEffectRange(f, firstF, countF))
      continue;
    for (int k = firstF; k < firstF + countF; ++k)
      if (sweep.fKept.IsIn(k)) containing.push_back(k);
  }
  const std::vector<int>& aliased = sweep.fvAliased;
  const CompactRows rows(p, own, containing, aliased);
  const int r = static_cast<int>(own.size());
  const int m2 = static_cast<int>(containing.size());
  const int nAliased = static_cast<int>(aliased.size());

  // M1: the columns of the general estimable function for e's swept parameters, on the compact rows.
  QXRectMatrix M1(rows.Size(), r);
  for (int j = 0; j < r; ++j) {
    M1.SetElem(rows.RowOf(own[j]), j, 1.0);
    for (int a = 0; a < nAliased; ++a) M1.SetElem(rows.RowOf(aliased[a]), j, T.GetElem(own[j], a));
  }
  QXBitSet remaining(r);
  remaining.SetRange(0, r - 1);
  if (m2 > 0 && !ProjectOutContaining(T, own, containing, aliased, rows, data.fTolerance, M1, remaining))
    return NoHypothesis();
  // Parameters of the effects that do not contain e must not appear in its hypothesis: each is
  // eliminated by combining the columns, at the cost of one column where it was present. Only aliased
  // parameters can be present: the columns are 0 at every other swept parameter.
  for (int f = 0; f < data.GetNEffects(); ++f) {
    int firstF = 0, countF = 0;
    if (f == effect || target.IsContainedIn(data.fvModelEffects[f]) ||
        !data.GetEffectRange(f, firstF, countF))
      continue;
    for (int c = firstF; c < firstF + countF; ++c) {
      const int row = rows.RowOf(c);
      if (row < 0) continue;
      const int pivot = M1.ZeroOutPivotRow(row, data.fEliminationTolerance);
      if (pivot >= 0) remaining.Reset(pivot);
    }
  }
  const int nRows = remaining.Count();
  if (nRows == 0) return NoHypothesis();

  QXRectMatrix& L = *data.fpLMatrix;
  if (!L.SetNRowsCols(nRows, p)) return NoHypothesis();
  int row = 0;
  for (int j = 0; j < r; ++j) {
    if (!remaining.IsIn(j)) continue;
    M1.ColClean(j, rows.Size());
    for (int i = 0; i < rows.Size(); ++i) {
      const double value = M1.GetElem(i, j);
      if (value != 0.0) L.SetElem(row, rows.ParameterOf(i), value);
    }
    ++row;
    rowIndices.push_back(own[j] + 1);
  }
  return QXStatus();
}

QXStatus QXModelEffectTestTypeIII::TransformColumns(const QXSweptColumns& sweep, QXRectMatrix& out) const {
  const QXEffectTestData& data = *fpDataImpl;
  const std::vector<double>& c = data.fvScaleOffsets;
  const std::vector<double>& d = data.fvScaleFactors;
  const int s = static_cast<int>(c.size());
  // With an intercept, parameter 0 is the intercept and the scale values belong to parameters 1 .. s.
  const int shift = data.fbInterceptUsed ? 1 : 0;
  if (static_cast<int>(d.size()) != s || s + shift != data.fP) return QXStatus(303, false);
  for (int j = 0; j < s; ++j)
    if (!std::isfinite(c[j]) || !std::isfinite(d[j]) || d[j] == 0.0) return QXStatus(303, false);
  const QXBitSet& kept = sweep.fKept;
  if (data.fbInterceptUsed && !kept.IsIn(0)) return QXStatus(303, false);

  // R: R(0, 0) = 1 with an intercept; R(j, j) = 1/d for a swept parameter j (with R(0, j) = -c/d
  // with an intercept), d for an aliased one. A: c at (0, j) for an aliased parameter j. The element
  // (k, j) of R W R' + A, k swept and j aliased, needs W only at the aliased column j.
  const QXRectMatrix& W = sweep.fColumns;
  out = W;
  for (int a = 0; a < static_cast<int>(sweep.fvAliased.size()); ++a) {
    const int j = sweep.fvAliased[a];
    const double rjj = d[j - shift];
    for (int k = 0; k < data.fP; ++k) {
      if (!kept.IsIn(k)) continue;
      double value;
      if (k == 0 && shift == 1) {
        value = W.GetElem(0, a);
        for (int i = 1; i < data.fP; ++i)
          if (kept.IsIn(i)) value += -c[i - 1] / d[i - 1] * W.GetElem(i, a);
        value *= rjj;
      } else {
        value = W.GetElem(k, a) * rjj / d[k - shift];
      }
      if (k == 0) value += c[j - shift];
      out.SetElem(k, a, value);
    }
  }
  return QXStatus();
}

bool QXModelEffectTestTypeIII::KnownWaldForm(int effect, int rows, double& w) const {
  const QXEffectTestData& data = *fpDataImpl;
  // Centred and scaled covariates change the hypothesis; the adjusted sum of squares is that of the
  // covariates as given.
  if (data.fpSettings->GetTransformEffects() || effect < 0 || effect >= data.GetNEffects()) return false;
  const QXModelEffect& target = data.fvModelEffects[effect];
  for (int f = 0; f < data.GetNEffects(); ++f)
    if (f != effect && target.IsContainedIn(data.fvModelEffects[f])) return false;
  return data.GetAdjustedWaldForm(effect, rows, w);
}

}  // namespace QXMath_600
