#include "inference/QXSatterthwaite.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "common/QXDisplay.h"
#include "common/QXEigenValues.h"
#include "common/QXMathFun.h"
#include "common/QXMissingValue.h"

namespace QXMath_600 {

namespace {

constexpr double kM = QXMV::gMissingValue;

bool Usable(double x) { return !QXMV::IsMissing(x) && std::isfinite(x); }

// A dense vector of length n from index/value pairs (repeated indices add up); false for a bad index
// or mismatched lengths.
bool Densify(const std::vector<int>& indices, const std::vector<double>& values, int n,
             std::vector<double>& out) {
  if (indices.size() != values.size()) return false;
  out.assign(n, 0.0);
  for (std::size_t s = 0; s < indices.size(); ++s) {
    if (indices[s] < 0 || indices[s] >= n) return false;
    out[indices[s]] += values[s];
  }
  return true;
}

}  // namespace

QXSatterthwaite::QXSatterthwaite(const QXSymMatrix& hInverse, const QXSymMatrix& c11,
                                 const std::vector<double>& theta,
                                 const std::vector<QXSymMatrix*>& c11Derivatives, double residualDF)
    : fpHInverse(&hInverse),
      fpC11(&c11),
      fpTheta(&theta),
      fpC11Derivatives(&c11Derivatives),
      fNTheta(hInverse.GetNRows()),
      fNSecondGroup(hInverse.GetNRows()),
      fResidualDF(residualDF) {}

void QXSatterthwaite::SetAdditionalInfo(
    const std::vector<double>& randomEffects, const QXSymBlockDiagMatrix& gBlock, const QXRectMatrix& c21,
    const QXSymMatrix& c22, const std::vector<std::pair<QXSymBlockDiagMatrix*, int>>& gDerivatives,
    const std::vector<std::vector<QXRectMatrix*>>& rectDerivatives,
    const std::vector<std::vector<QXSymMatrix*>>& symDerivatives) {
  if (!fpRandomEffects) fpRandomEffects = &randomEffects;
  if (!fpGBlock) fpGBlock = &gBlock;
  if (!fpC21) fpC21 = &c21;
  if (!fpC22) fpC22 = &c22;
  if (!fpGDerivatives) fpGDerivatives = &gDerivatives;
  if (!fpRectDerivatives) fpRectDerivatives = &rectDerivatives;
  if (!fpSymDerivatives) fpSymDerivatives = &symDerivatives;
  // From the stored pairs, so that a later call cannot split theta differently from the matrices
  // that stay in force.
  fNFirstGroup = static_cast<int>(fpGDerivatives->size());
  fNSecondGroup = fNTheta - fNFirstGroup;
}

bool QXSatterthwaite::RandomLayout(int& q, int& nBlocks, int& blockLength) const {
  q = fpRandomEffects ? static_cast<int>(fpRandomEffects->size()) : 0;
  nBlocks = fpSymDerivatives ? static_cast<int>(fpSymDerivatives->size()) : 0;
  blockLength = 0;
  if (q == 0) return fNFirstGroup == 0;
  // Coefficients that do not fill equal blocks, or theta of the random-effect covariance without
  // random effects, cannot give their derivatives.
  if (nBlocks == 0 || q % nBlocks != 0) return false;
  blockLength = q / nBlocks;
  return static_cast<int>(fpRectDerivatives->size()) == nBlocks;
}

bool QXSatterthwaite::FormRandomPart(const std::vector<double>& l, std::vector<double>& u) const {
  u.clear();
  int q = 0, nBlocks = 0, b = 0;
  if (!RandomLayout(q, nBlocks, b)) return false;
  if (b == 0) return true;
  if (!fpC21 || fpC21->GetNRows() != q) return false;
  return fpC21->ComputeRV(l, u);
}

double QXSatterthwaite::ComputeG(const std::vector<double>& t, const std::vector<double>& u) const {
  if (fNTheta == 0) return 0.0;
  const int p = fpC11->GetNRows();
  if (fNSecondGroup < 0 || static_cast<int>(t.size()) != p) return kM;
  std::vector<double> g(fNTheta, 0.0);

  // The fixed-effect block of the second group.
  for (int j = fNFirstGroup; j < fNTheta; ++j) {
    const QXSymMatrix* d =
        static_cast<std::size_t>(j) < fpC11Derivatives->size() ? (*fpC11Derivatives)[j] : nullptr;
    if (!d || d->GetNRows() != p) return kM;
    const double form = d->ComputeVSV(t);
    if (!Usable(form)) return kM;
    g[j] += form;
  }

  int q = 0, nBlocks = 0, b = 0;
  if (!RandomLayout(q, nBlocks, b)) return kM;
  if (b > 0) {
    if (static_cast<int>(u.size()) != q) return kM;
    std::vector<double> uk(b), at;
    for (int k = 0; k < nBlocks; ++k) {
      const int start = k * b;
      // The random-effect covariance terms of the first group: u_k' B_i u_k at the pair's offset.
      for (int i = 0; i < fNFirstGroup; ++i) {
        const auto& [derivative, offset] = (*fpGDerivatives)[i];
        if (!derivative || offset < 0 || offset > b - derivative->GetNRows()) return kM;
        const double form = derivative->ComputeVSV(u, start + offset);
        if (!Usable(form)) return kM;
        g[i] += form;
      }
      const auto& rects = (*fpRectDerivatives)[k];
      const auto& syms = (*fpSymDerivatives)[k];
      if (static_cast<int>(rects.size()) < fNSecondGroup || static_cast<int>(syms.size()) < fNSecondGroup)
        return kM;
      std::copy(u.begin() + start, u.begin() + start + b, uk.begin());
      // The cross and random blocks of the second group: 2 u_k' A t + u_k' S u_k.
      for (int s = 0; s < fNSecondGroup; ++s) {
        const int j = fNFirstGroup + s;
        if (const QXRectMatrix* a = rects[s]) {
          if (a->GetNRows() != b || !a->ComputeRV(t, at)) return kM;
          g[j] += 2.0 * QXMathFun::DDot(uk, at);
        }
        if (const QXSymMatrix* sym = syms[s]) {
          if (sym->GetNRows() != b) return kM;
          const double form = sym->ComputeVSV(uk);
          if (!Usable(form)) return kM;
          g[j] += form;
        }
      }
    }
  }
  if (fpHInverse->GetNRows() != fNTheta) return kM;
  const double result = fpHInverse->ComputeVSV(g);
  return Usable(result) ? result : kM;
}

double QXSatterthwaite::ComputegHinvg(const std::vector<double>& row) const {
  std::vector<double> t, u;
  if (!fpC11->ComputeSV(row, t)) return kM;
  if (!FormRandomPart(row, u)) return kM;
  return ComputeG(t, u);
}

double QXSatterthwaite::ComputegHinvg(const std::vector<int>& indices,
                                      const std::vector<double>& values) const {
  const int p = fpC11->GetNRows();
  if (indices.size() != values.size()) return kM;
  // t = C11 l and u = C21 l from the non-zero entries alone: p + q times their number.
  std::vector<double> t(p, 0.0), u;
  for (std::size_t s = 0; s < indices.size(); ++s)
    if (indices[s] < 0 || indices[s] >= p) return kM;
  for (int i = 0; i < p; ++i)
    for (std::size_t s = 0; s < indices.size(); ++s) t[i] += fpC11->GetElem(i, indices[s]) * values[s];
  int q = 0, nBlocks = 0, b = 0;
  if (!RandomLayout(q, nBlocks, b)) return kM;
  if (b > 0) {
    if (!fpC21 || fpC21->GetNRows() != q || fpC21->GetNCols() != p) return kM;
    u.assign(q, 0.0);
    for (int r = 0; r < q; ++r)
      for (std::size_t s = 0; s < indices.size(); ++s) u[r] += fpC21->GetElem(r, indices[s]) * values[s];
  }
  return ComputeG(t, u);
}

double QXSatterthwaite::Bounded(double v, double g) const {
  if (!Usable(v) || !Usable(g) || !(g > 0.0)) return kM;
  const double nu = v * v / g;
  if (std::isnan(nu)) return kM;
  return std::min(nu, fResidualDF);
}

double QXSatterthwaite::ComputeDF4XRow(const std::vector<double>& row) const {
  const double g = ComputegHinvg(row);
  return Bounded(fpC11->ComputeVSV(row), g);
}

double QXSatterthwaite::ComputeDF4XRow(const std::vector<int>& indices,
                                       const std::vector<double>& values) const {
  const double g = ComputegHinvg(indices, values);
  return Bounded(fpC11->ComputeVSV(indices, values), g);
}

double QXSatterthwaite::ComputeDF4FixedOverall(const QXRectMatrix& L) {
  const int nRows = L.GetNRows(), p = fpC11->GetNRows();
  if (nRows == 0 || L.GetNCols() != p) return kM;
  std::vector<double> row;
  if (nRows == 1) {
    L.GetRow(0, row);
    return ComputeDF4XRow(row);
  }
  QXEigenValues decomposition(1e-12, 30);
  if (!fpC11->ComputeRSRTrans(L, fLCL) || !decomposition.Compute(fLCL) ||
      !decomposition.GetSorted(fEigenValues, fEigenVectors))
    return kM;

  double e = 0.0;
  int m = 0;
  for (int k = 0; k < nRows; ++k) {
    const double lambda = fEigenValues.GetElem(k);
    // Directions of L C11 L' without variance (the decomposition sets its rounding noise to 0) do
    // not enter the F statistic, whose rank counts only the others.
    if (!(lambda > 0.0)) continue;
    row.assign(p, 0.0);  // b_k = P' L, row k: the combination along eigenvector k
    for (int i = 0; i < nRows; ++i) {
      const double pik = fEigenVectors.GetElem(i, k);
      for (int j = 0; j < p; ++j) row[j] += pik * L.GetElem(i, j);
    }
    const double g = ComputegHinvg(row);
    if (QXMV::IsMissing(g)) continue;
    ++m;
    // G negligible against lambda^2 means nu_k beyond 1e12: its term nu / (nu - 2) is 1. The test is
    // relative so that the result does not depend on the units of the response.
    if (g > 1e-12 * lambda * lambda) {
      const double nu = lambda * lambda / g;
      if (nu > 2.0) e += nu / (nu - 2.0);
    } else {
      e += 1.0;
    }
  }
  const double nu = e > m ? 2.0 * e / (e - m) : 0.0;
  if (nu > fResidualDF || nu <= 1e-12) return fResidualDF;
  return nu;
}

void QXSatterthwaite::ComputeDF4FixedOverallNIndiv(const QXRectMatrix& L, std::vector<double>& variances,
                                                   std::vector<double>& out) const {
  const int nRows = L.GetNRows();
  variances.assign(nRows, kM);
  out.assign(nRows, kM);
  if (L.GetNCols() != fpC11->GetNRows()) return;
  std::vector<double> row;
  for (int i = 0; i < nRows; ++i) {
    if (!L.GetRow(i, row)) continue;
    const double v = fpC11->ComputeVSV(row);
    if (!Usable(v)) continue;
    variances[i] = v;
    out[i] = Bounded(v, ComputegHinvg(row));
  }
}

double QXSatterthwaite::ComputeXZ(const std::vector<double>& x, const std::vector<double>& z) const {
  const int p = fpC11->GetNRows();
  const int q = static_cast<int>(z.size());
  if (static_cast<int>(x.size()) != p || !fpC21 || !fpC22 || fpC21->GetNRows() != q ||
      fpC21->GetNCols() != p || fpC22->GetNRows() != q)
    return kM;
  // C [x; z] = [t; u] with t = C11 x + C21' z and u = C21 x + C22 z; the variance is [x; z]' [t; u].
  std::vector<double> t, u, c22z;
  if (!fpC11->ComputeSV(x, t) || !fpC21->ComputeRV(x, u) || !fpC22->ComputeSV(z, c22z)) return kM;
  for (int r = 0; r < q; ++r) {
    u[r] += c22z[r];
    if (z[r] == 0.0) continue;
    for (int c = 0; c < p; ++c) t[c] += fpC21->GetElem(r, c) * z[r];
  }
  const double v = QXMathFun::DDot(x, t) + QXMathFun::DDot(z, u);
  return Bounded(v, ComputeG(t, u));
}

double QXSatterthwaite::ComputeDF4XZRow(const std::vector<double>& x, const std::vector<double>& z,
                                        int block) const {
  if (z.empty()) return ComputeDF4XRow(x);
  int q = 0, nBlocks = 0, b = 0;
  if (!RandomLayout(q, nBlocks, b) || b == 0) return kM;
  std::vector<double> full(q, 0.0);
  if (block < 0) {
    if (static_cast<int>(z.size()) != q) return kM;
    full = z;
  } else {
    if (block >= nBlocks || static_cast<int>(z.size()) != b) return kM;
    std::copy(z.begin(), z.end(), full.begin() + static_cast<std::ptrdiff_t>(block) * b);
  }
  return ComputeXZ(x, full);
}

double QXSatterthwaite::ComputeDF4XZRow(const std::vector<int>& xIndices, const std::vector<double>& xValues,
                                        const std::vector<int>& zIndices,
                                        const std::vector<double>& zValues) const {
  if (zIndices.empty() && zValues.empty()) return ComputeDF4XRow(xIndices, xValues);
  int q = 0, nBlocks = 0, b = 0;
  if (!RandomLayout(q, nBlocks, b) || b == 0) return kM;
  std::vector<double> x, z;
  if (!Densify(xIndices, xValues, fpC11->GetNRows(), x) || !Densify(zIndices, zValues, q, z)) return kM;
  return ComputeXZ(x, z);
}

void QXSatterthwaite::Display() const {
  using namespace QXDisplay_600;
  DisplayText(2, "QXSatterthwaite display start");
  DisplayText(1, "Inverse matrix of H");
  fpHInverse->Display();
  DisplayText(1, "C11 matrix");
  fpC11->Display();
  DisplayI("Number of the thetas", fNTheta);
  DisplayDV("Theta", *fpTheta);
  DisplayI("Number of thetas with a block-diagonal derivative", fNFirstGroup);
  DisplayI("Number of other thetas", fNSecondGroup);
  DisplayD("Residual DF", fResidualDF);
  for (std::size_t i = 0; i < fpC11Derivatives->size(); ++i) {
    DisplayI("For theta:", static_cast<long long>(i));
    if (const QXSymMatrix* d = (*fpC11Derivatives)[i])
      d->Display();
    else
      DisplayText(1, "Derivative matrix pointer is 0");
  }
  if (fpRandomEffects) {
    DisplayI("Number of random effects", static_cast<long long>(fpRandomEffects->size()));
    DisplayI("Number of random-effect blocks", static_cast<long long>(fpSymDerivatives->size()));
    DisplayText(1, "Covariance of one block of random effects");
    fpGBlock->Display();
    DisplayText(1, "C21 matrix");
    fpC21->Display();
    DisplayText(1, "C22 matrix");
    fpC22->Display();
  } else {
    DisplayText(1, "Additional information is not set");
  }
  if (fEigenValues.GetNRows() > 0) {
    DisplayText(1, "Eigenvalues of L C11 L' of the last overall computation");
    fEigenValues.Display();
    fEigenVectors.Display();
  }
  DisplayText(1, "End of QXSatterthwaite display");
}

}  // namespace QXMath_600
