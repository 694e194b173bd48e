// Whole files as bytes, for tests that compare or parse what the build produced.
#pragma once

#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

// The file's contents; throws std::runtime_error naming the path when it cannot be read.
Bytes ReadFileBytes(const std::string& path);
