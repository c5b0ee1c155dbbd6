// Readers see the same bytes from a file, from memory, and through a window onto either.
#include "support/ByteSource.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "common/TestUtil.h"

namespace sonvex {
namespace {

TEST(ByteSource, FileMemoryAndWindowsReadAlike) {
    test::TempDir dir;
    std::vector<uint8_t> bytes(1000);
    std::iota(bytes.begin(), bytes.end(), 0);
    test::WriteBytes(dir.file("f"), bytes);
    auto check = [&](LByteSource s, int64_t base, int64_t size, const char* what) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(s.IsOpen());
        EXPECT_EQ(s.GetFileSizeBytes(), size);
        EXPECT_EQ(s.Tell(), 0);
        uint8_t b[8];
        ASSERT_EQ(s.Read(b, 8), std::min<int64_t>(8, size));
        EXPECT_EQ(b[0], static_cast<uint8_t>(base));
        s.Seek(-3, LFile::Origin::End);
        EXPECT_EQ(s.Tell(), size - 3);
        EXPECT_EQ(s.Read(b, 8), 3);  // never past the end of the window
        EXPECT_EQ(b[0], static_cast<uint8_t>(base + size - 3));
        s.Seek(2);
        s.Seek(5, LFile::Origin::Current);
        ASSERT_TRUE(s.ReadExact(b, 1));
        EXPECT_EQ(b[0], static_cast<uint8_t>(base + 7));
        s.Seek(size + 10);
        EXPECT_EQ(s.Read(b, 1), 0);
    };
    check(LByteSource::OpenFile(dir.file("f")), 0, 1000, "file");
    check(LByteSource::FromMemory(bytes), 0, 1000, "owned memory");
    check(LByteSource::OpenFile(dir.file("f")).Window(100, 300), 100, 300, "file window");
    check(LByteSource::FromMemory(bytes.data(), bytes.size()).Window(900, 5000), 900, 100,
          "memory window cut at the end");
    check(LByteSource::FromMemory(bytes).Window(50, 500).Window(10, 20), 60, 20, "nested");
    EXPECT_FALSE(LByteSource::OpenFile(dir.file("missing")).IsOpen());
}

}  // namespace
}  // namespace sonvex
