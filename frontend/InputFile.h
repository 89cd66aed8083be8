// Opens the data files qxfit reads, in as many passes as it needs. "-" stands for standard input,
// which cannot be read twice: it is first copied into an anonymous temporary file, which the system
// removes however the process ends, so memory stays bounded whatever the size of the data.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace QXFit {

// The file opened for binary reading at its start, owned by the caller; null with a message on failure.
std::FILE* OpenInputFile(const std::string& path, std::string& error);
// The size of an open file in bytes, leaving it at its start; 0 when it cannot be told.
std::uint64_t GetFileSize(std::FILE* file);
// "'data.csv'", or "standard input" for "-".
std::string DescribeInput(const std::string& path);

}  // namespace QXFit
