#include "common/QXDiagMatrix.h"

#include <algorithm>

#include "common/QXDisplay.h"
#include "common/QXMissingValue.h"
#include "common/QXRectMatrix.h"

namespace QXMath_600 {

QXDiagMatrix::QXDiagMatrix(int order) : fvDiag(order > 0 ? order : 0, 0.0) {}

bool QXDiagMatrix::SetNRowsCols(int order) {
  if (order < 0) return false;
  fvDiag.assign(order, 0.0);
  return true;
}

void QXDiagMatrix::Clear() { std::fill(fvDiag.begin(), fvDiag.end(), 0.0); }

double QXDiagMatrix::GetElem(int i) const {
  if (i < 0 || i >= GetNRows()) return QXMV::gMissingValue;
  return fvDiag[i];
}

double QXDiagMatrix::GetElem(int i, int j) const {
  if (i < 0 || j < 0 || i >= GetNRows() || j >= GetNRows()) return QXMV::gMissingValue;
  return i == j ? fvDiag[i] : 0.0;
}

bool QXDiagMatrix::SetElem(int i, double value) {
  if (i < 0 || i >= GetNRows()) return false;
  fvDiag[i] = value;
  return true;
}

bool QXDiagMatrix::MultiplyLeft(const QXRectMatrix& r, QXRectMatrix& out) const {
  if (r.GetNRows() != GetNRows()) return false;
  QXRectMatrix result(r);
  for (int i = 0; i < r.GetNRows(); ++i)
    for (int j = 0; j < r.GetNCols(); ++j) result.SetElem(i, j, fvDiag[i] * r.GetElem(i, j));
  out = std::move(result);
  return true;
}

bool QXDiagMatrix::MultiplyRight(const QXRectMatrix& r, QXRectMatrix& out) const {
  if (r.GetNCols() != GetNRows()) return false;
  QXRectMatrix result(r);
  for (int i = 0; i < r.GetNRows(); ++i)
    for (int j = 0; j < r.GetNCols(); ++j) result.SetElem(i, j, r.GetElem(i, j) * fvDiag[j]);
  out = std::move(result);
  return true;
}

void QXDiagMatrix::Display() const {
  QXDisplay_600::DisplayText(1, " ");
  QXDisplay_600::DisplayText(1, "QXDiagMatrix display start");
  QXDisplay_600::DisplayI("Order", GetNRows());
  QXDisplay_600::DisplayDV("Diagonal", fvDiag);
  QXDisplay_600::DisplayText(1, "QXDiagMatrix display end");
}

}  // namespace QXMath_600
