// A file in memory with a path, for the harnesses: the readers under test open files by name, as they
// do for users, and a memfd gives them one without touching the disk. Each Write replaces the content;
// every open of Path() reads it from its start.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace qxfuzz {

class MemoryFile {
 public:
  MemoryFile() : fFd(memfd_create("qxfuzz", 0)) {
    if (fFd < 0) {
      std::perror("memfd_create");
      std::abort();
    }
    fPath = "/proc/self/fd/" + std::to_string(fFd);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  ~MemoryFile() { close(fFd); }

  void Write(const std::uint8_t* data, std::size_t size) {
    if (ftruncate(fFd, 0) != 0) std::abort();
    std::size_t written = 0;
    while (written < size) {
      const ssize_t n = pwrite(fFd, data + written, size - written, static_cast<off_t>(written));
      if (n <= 0) std::abort();
      written += static_cast<std::size_t>(n);
    }
  }
  void Write(const std::string& text) {
    Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  }
  const std::string& Path() const { return fPath; }

 private:
  int fFd;
  std::string fPath;
};

// A harness's own check failed: the code under test broke a promise without any sanitizer noticing.
[[noreturn]] inline void Broken(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

}  // namespace qxfuzz
