#include "frontend/InputFile.h"

#include <cerrno>
#include <cstring>
#include <vector>

#if !defined(_WIN32)
#include <sys/types.h>
#endif

namespace QXFit {

namespace {

bool SeekEnd(std::FILE* file) {
#if defined(_WIN32)
  return _fseeki64(file, 0, SEEK_END) == 0;
#else
  return fseeko(file, 0, SEEK_END) == 0;
#endif
}

std::int64_t Tell(std::FILE* file) {
#if defined(_WIN32)
  return _ftelli64(file);
#else
  return static_cast<std::int64_t>(ftello(file));
#endif
}

std::FILE* CopyStandardInput(std::string& error) {
  std::FILE* copy = std::tmpfile();
  if (copy == nullptr) {
    error = "cannot create a temporary file for standard input";
    return nullptr;
  }
  std::vector<char> buffer(1 << 20);
  while (true) {
    const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), stdin);
    if (n > 0 && std::fwrite(buffer.data(), 1, n, copy) != n) {
      error = "cannot copy standard input into a temporary file (is the disk full?)";
      std::fclose(copy);
      return nullptr;
    }
    if (n < buffer.size()) break;
  }
  if (std::ferror(stdin) || std::fflush(copy) != 0) {
    error = "cannot read standard input";
    std::fclose(copy);
    return nullptr;
  }
  std::rewind(copy);
  return copy;
}

}  // namespace

std::FILE* OpenInputFile(const std::string& path, std::string& error) {
  if (path == "-") return CopyStandardInput(error);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) error = "cannot open '" + path + "': " + std::strerror(errno);
  return file;
}

std::uint64_t GetFileSize(std::FILE* file) {
  if (file == nullptr || !SeekEnd(file)) return 0;
  const std::int64_t size = Tell(file);
  std::rewind(file);
  return size > 0 ? static_cast<std::uint64_t>(size) : 0;
}

std::string DescribeInput(const std::string& path) {
  return path == "-" ? "standard input" : "'" + path + "'";
}

}  // namespace QXFit
