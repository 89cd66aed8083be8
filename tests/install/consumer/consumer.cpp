// A program a user might write against the installed library: it must compile with the umbrella
// header alone and link against both libraries.
#include <qxregres600r.h>

#include <cstdio>

int main() {
  QXCommon_600::QXStatus status(316, false);
  status.SetDiscreteDatum(1, 2);
  status.SetScaleDatum(1, 3.5);
  if (!status.IsError() || QXMV::gMissingValue >= -0.5) return 1;
  std::printf("%s\n", status.GetMessage().c_str());
  return 0;
}
