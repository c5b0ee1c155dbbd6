// What readers read from: a file, bytes in memory, or a window onto either (a file embedded in
// another). The operations are the file handle's, so a reader does not care which it has.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "support/File.h"

namespace sonvex {

class LByteSource {
public:
    LByteSource() = default;
    LByteSource(LByteSource&&) noexcept = default;
    LByteSource& operator=(LByteSource&&) noexcept = default;
    LByteSource(const LByteSource&) = delete;
    LByteSource& operator=(const LByteSource&) = delete;

    // A file opened for reading (see LFile::Mode::Read); not open when it cannot be opened.
    static LByteSource OpenFile(std::string_view path);
    static LByteSource FromFile(LFile&& file);
    // Bytes the source keeps.
    static LByteSource FromMemory(std::vector<uint8_t> bytes);
    // Bytes the caller keeps alive while the source is used.
    static LByteSource FromMemory(const uint8_t* p, size_t n);
    // The bytes [offset, offset + size) of this source as a source of their own, positioned at
    // its start; a window beyond the end is cut to what is there.
    LByteSource Window(int64_t offset, int64_t size) &&;

    bool IsOpen() const { return file_.IsOpen() || memory_ != nullptr; }
    // Bytes actually read (0 at the end, on failure, or when not open).
    int64_t Read(void* p, int64_t n);
    bool ReadExact(void* p, int64_t n) { return Read(p, n) == n; }
    void Seek(int64_t offset, LFile::Origin origin = LFile::Origin::Begin);
    int64_t Tell();
    // The size now: a file read to its end is followed as it grows.
    int64_t GetFileSizeBytes();

private:
    LFile file_;
    std::shared_ptr<const std::vector<uint8_t>> owned_;
    const uint8_t* memory_ = nullptr;
    int64_t nMemory_ = 0;
    int64_t nBase_ = 0;    // where the window starts in the file or memory
    int64_t nLimit_ = -1;  // the window's size; -1: to the end (a file's end moves)
    int64_t nPos_ = 0;     // position within the window
};

}  // namespace sonvex
