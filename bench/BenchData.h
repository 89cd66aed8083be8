// Benchmark data: a flat binary record file (records of n doubles, no header, as the binary record
// iterator reads it) written to a temporary directory and removed again when the object goes. The
// caller describes a record by a function that fills the n values of record i.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace qx_bench {

class BinaryDataFile {
 public:
  using RowFiller = std::function<void(std::int64_t record, double* values)>;

  BinaryDataFile(std::int64_t nRecords, int nVariables, const RowFiller& fill)
      : fNRecords(nRecords), fNVariables(nVariables) {
    std::random_device seed;
    fDirectory = std::filesystem::temp_directory_path() / ("qx_bench_" + std::to_string(seed()));
    std::filesystem::create_directories(fDirectory);
    fPath = fDirectory / "records.bin";
    FILE* out = std::fopen(fPath.c_str(), "wb");
    if (out == nullptr) throw std::runtime_error("cannot write " + fPath.string());
    // Written a block of records at a time: a file of 10^7 records never sits in memory whole.
    constexpr std::int64_t kBlock = 1 << 14;
    std::vector<double> block(static_cast<std::size_t>(kBlock * nVariables));
    for (std::int64_t first = 0; first < nRecords; first += kBlock) {
      const std::int64_t count = std::min(kBlock, nRecords - first);
      for (std::int64_t i = 0; i < count; ++i) fill(first + i, block.data() + i * nVariables);
      const std::size_t n = static_cast<std::size_t>(count * nVariables);
      if (std::fwrite(block.data(), sizeof(double), n, out) != n) {
        std::fclose(out);
        throw std::runtime_error("cannot write " + fPath.string());
      }
    }
    std::fclose(out);
  }
  BinaryDataFile(const BinaryDataFile&) = delete;
  BinaryDataFile& operator=(const BinaryDataFile&) = delete;
  ~BinaryDataFile() {
    std::error_code ignored;
    std::filesystem::remove_all(fDirectory, ignored);
  }

  // A new read handle on the file, positioned at its start; the caller closes it.
  FILE* Open() const { return std::fopen(fPath.c_str(), "rb"); }
  const std::filesystem::path& GetPath() const { return fPath; }
  std::int64_t GetNRecords() const { return fNRecords; }
  int GetNVariables() const { return fNVariables; }

 private:
  std::int64_t fNRecords;
  int fNVariables;
  std::filesystem::path fDirectory;
  std::filesystem::path fPath;
};

}  // namespace qx_bench
