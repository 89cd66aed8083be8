#include "marginals/QXEmmeansCellTable.h"

#include <algorithm>

#include "common/QXDisplay.h"

namespace QXMath_600 {

QXEmmeansCellTable::QXEmmeansCellTable(const std::vector<int>& keyFactors, int nParameters)
    : fvKeyFactors(keyFactors), fNParameters(nParameters), fKey(static_cast<int>(keyFactors.size())) {}

void QXEmmeansCellTable::Add(const std::vector<int>& levels, const std::vector<int>& parameters) {
  for (int i = 0; i < fKey.GetLength(); ++i) fKey[i] = levels[fvKeyFactors[i]];
  fKey.UpdateHashCode();
  std::vector<double>* entry = fTable.Get(fKey);
  if (entry == nullptr) entry = &fTable.Insert(fKey, std::vector<double>(fNParameters + 1, 0.0))->GetValue();
  for (int p : parameters)
    if (p >= 0 && p < fNParameters) (*entry)[p] += 1.0;
  (*entry)[fNParameters] += 1.0;
}

void QXEmmeansCellTable::Sort() {
  fvCells.clear();
  fTable.ForEach([this](const QXHashPair<std::vector<double>>& pair) { fvCells.push_back(&pair); });
  std::sort(fvCells.begin(), fvCells.end(),
            [](const auto* a, const auto* b) { return a->GetKey() < b->GetKey(); });
}

void QXEmmeansCellTable::Display() const {
  QXDisplay_600::DisplayIV("Key factors", fvKeyFactors);
  fTable.Display();
}

}  // namespace QXMath_600
