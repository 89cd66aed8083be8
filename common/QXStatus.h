// The result of every operation that can fail. A code of 0 is success; any other code marks a
// condition that is a warning when the flag is true and an error when it is false. Numbered data
// carry the values a message needs (a record index, an offending value). The status is small and
// allocation-free, so it can be copied and returned by value from per-record code.
#pragma once

#include <array>
#include <string>

#include "common/QXExport.h"

namespace QXCommon_600 {

class QXCOMMON_API QXStatus {
 public:
  // Number of discrete and of scale data a status can carry; further indices are ignored.
  static constexpr int kMaxData = 4;

  QXStatus() = default;
  QXStatus(long code, bool isWarning) : fCode(code), fbWarning(isWarning) {}

  bool IsOK() const { return fCode == 0; }
  bool IsError() const { return fCode != 0 && !fbWarning; }
  bool IsWarning() const { return fCode != 0 && fbWarning; }
  long GetErrorCode() const { return fCode; }

  // Attach a numbered datum for the message; an index outside 0..kMaxData-1 is ignored.
  void SetDiscreteDatum(int index, long value);
  void SetScaleDatum(int index, double value);
  bool HasDiscreteDatum(int index) const;
  bool HasScaleDatum(int index) const;
  // The datum, or 0 when it was never set.
  long GetDiscreteDatum(int index) const;
  double GetScaleDatum(int index) const;

  // A sentence for the user that names the condition and the attached data.
  std::string GetMessage() const;

  // Same code, same flag and the same attached data.
  bool operator==(const QXStatus& other) const;
  bool operator!=(const QXStatus& other) const { return !(*this == other); }

 private:
  long fCode = 0;
  bool fbWarning = false;
  unsigned fDiscreteSet = 0;
  unsigned fScaleSet = 0;
  std::array<long, kMaxData> fDiscrete{};
  std::array<double, kMaxData> fScale{};
};

}  // namespace QXCommon_600
