// One case of the caller's data: an array of doubles indexed by the caller's variable numbers. A
// value is missing exactly when it equals QXMV::gMissingValue.
#pragma once

#include <cstddef>
#include <vector>

#include "common/QXExport.h"

namespace QXCommon_600 {

class QXCOMMON_API Record {
 public:
  Record() = default;
  // A record of `size` values, all 0.0; a negative size gives an empty record.
  explicit Record(int size) : fValues(size > 0 ? static_cast<std::size_t>(size) : 0) {}
  Record(const double* values, int size) : fValues(values, values + (size > 0 ? size : 0)) {}

  double& operator[](int index) { return fValues[static_cast<std::size_t>(index)]; }
  double operator[](int index) const { return fValues[static_cast<std::size_t>(index)]; }

  // The values as one contiguous array of Size() doubles (null for an empty record).
  const double* GetAll() const { return fValues.empty() ? nullptr : fValues.data(); }
  double* GetAll() { return fValues.empty() ? nullptr : fValues.data(); }
  int Size() const { return static_cast<int>(fValues.size()); }

 private:
  std::vector<double> fValues;
};

}  // namespace QXCommon_600
