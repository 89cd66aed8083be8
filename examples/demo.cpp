// A first look at the library: the status values every operation returns.
#include <qxregres600r.h>

#include <cstdio>

int main() {
  using QXCommon_600::QXStatus;
  std::printf("qxregres600r demo\n");
  for (long code : {1L, 301L, 305L, 316L}) std::printf("  %s\n", QXStatus(code, false).GetMessage().c_str());
  return 0;
}
