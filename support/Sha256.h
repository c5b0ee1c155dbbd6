// SHA-256 digests, as lowercase hex.
#pragma once

#include <cstddef>
#include <string>

namespace sonvex {

std::string Sha256Hex(const void* data, size_t size);
// Of a file's bytes; empty when it cannot be read.
std::string FileSha256Hex(const std::string& path);

}  // namespace sonvex
