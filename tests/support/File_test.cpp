#include "support/File.h"

#include <gtest/gtest.h>

#include <string>

#include "common/TestUtil.h"

namespace sonvex {
namespace {

using test::HeldChild;
using test::TempDir;

TEST(File, SharingBetweenProcesses) {
    TempDir dir;
    const std::string path = dir.file("held.wav");
    HeldChild holder([&] {
        static LFile f;
        return f.Open(path, LFile::Mode::ExclusiveRewrite) && f.WriteExact("held", 4) ? "y" : "n";
    });
    ASSERT_EQ(holder.result(), "y");
    EXPECT_TRUE(TestFileOpen(path));
    // A refused open for writing must not truncate the held file.
    LFile w;
    EXPECT_FALSE(w.Open(path, LFile::Mode::Write));
    EXPECT_EQ(w.LastOpenError(), LFile::OpenError::SharingViolation);
    LFile r;
    EXPECT_FALSE(OpenWithRetry(r, path, LFile::Mode::Read, 100));
    holder.Release();
    EXPECT_FALSE(TestFileOpen(path));
    EXPECT_TRUE(OpenWithRetry(r, path, LFile::Mode::Read, 100));
    EXPECT_EQ(test::ReadBytes(path).size(), 4u);
    // A missing file is not a sharing violation.
    LFile m;
    EXPECT_FALSE(OpenWithRetry(m, dir.file("missing"), LFile::Mode::Read, 100));
    EXPECT_EQ(m.LastOpenError(), LFile::OpenError::NotFound);
}

TEST(File, LockFileExcludesOtherProcessesAndVanishes) {
    TempDir dir;
    const std::string guarded = dir.file("Temp1.wav");
    HeldChild holder([&] {
        static LLockFile lock;
        return lock.Lock(guarded) ? "y" : "n";
    });
    ASSERT_EQ(holder.result(), "y");
    EXPECT_TRUE(test::FileExists(dir.file("Temp1.lck")));
    LLockFile mine;
    EXPECT_FALSE(mine.Lock(guarded));
    // The holder ends without releasing: its lock goes with it, the stale file locks again.
    holder.Release();
    EXPECT_TRUE(mine.Lock(guarded));
    mine.Release();
    EXPECT_FALSE(test::FileExists(dir.file("Temp1.lck")));
}

TEST(File, SeekTellTruncate) {
    TempDir dir;
    LFile f;
    ASSERT_TRUE(f.Open(dir.file("a"), LFile::Mode::Write));
    EXPECT_TRUE(f.WriteExact("0123456789", 10));
    f.Seek(4);
    EXPECT_EQ(f.Tell(), 4);
    EXPECT_TRUE(f.Truncate());
    EXPECT_EQ(f.GetFileSizeBytes(), 4);
    f.Close();
    LFile closed;
    closed.Seek(3);  // harmless on a closed file
    EXPECT_EQ(closed.Tell(), 0);
    EXPECT_EQ(closed.GetFileSizeBytes(), 0);
    EXPECT_TRUE(SameFile(dir.file("a"), dir.path() + "/./a"));
    EXPECT_FALSE(SameFile(dir.file("a"), dir.file("b")));
}

}  // namespace
}  // namespace sonvex
