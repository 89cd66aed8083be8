// Files the tool's tests write: under the test temporary folder, named after the test and a suffix
// that differs between the files of one test, and removed when the object goes out of scope.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace qxfit_test {

class TempFile {
 public:
  explicit TempFile(const std::string& suffix) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "_" + info->name() : "qxfit";
    std::replace(name.begin(), name.end(), '/', '_');  // parameterised tests have slashes in their names
    fPath = std::filesystem::path(::testing::TempDir()) / (name + "_" + suffix);
  }
  TempFile(const std::string& suffix, const std::string& content) : TempFile(suffix) { Write(content); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    std::error_code ec;
    std::filesystem::remove(fPath, ec);
  }

  void Write(const std::string& content) const {
    std::ofstream out(fPath, std::ios::binary);
    out << content;
  }
  void WriteDoubles(const std::vector<double>& values) const {
    std::ofstream out(fPath, std::ios::binary);
    out.write(reinterpret_cast<const char*>(values.data()),
              static_cast<std::streamsize>(values.size() * sizeof(double)));
  }
  std::string Read() const {
    std::ifstream in(fPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string Path() const { return fPath.string(); }

 private:
  std::filesystem::path fPath;
};

}  // namespace qxfit_test
