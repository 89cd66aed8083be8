// Loads a shared library by its path and fails, with the loader's message, when it or a library it
// needs cannot be found: the installed qxregres600r must find qxcommon600r beside itself.
#include <dlfcn.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  if (dlopen(argv[1], RTLD_NOW | RTLD_LOCAL) == nullptr) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  return 0;
}
