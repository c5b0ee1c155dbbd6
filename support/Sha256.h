// SHA-256 digests, as lowercase hex.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace sonvex {

// An incremental digest: Update any number of times, then one Digest or HexDigest.
class LSha256 {
public:
    void Update(const void* data, size_t size);
    std::array<uint8_t, 32> Digest();
    std::string HexDigest();

private:
    void Compress(const uint8_t* block);

    uint32_t h_[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                      0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    uint8_t block_[64];
    size_t used_ = 0;
    uint64_t total_ = 0;
};

std::string Sha256Hex(const void* data, size_t size);
// Of a file's bytes; empty when it cannot be read.
std::string FileSha256Hex(const std::string& path);

}  // namespace sonvex
