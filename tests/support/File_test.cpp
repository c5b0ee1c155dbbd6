#include "support/File.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "common/TestUtil.h"

namespace sonvex {
namespace {

using test::TempDir;

// Runs fn in a child process that holds what it opened until the parent writes to the pipe.
template <typename Fn>
pid_t HoldInChild(Fn fn, int& releaseFd) {
    int ready[2], release[2];
    if (pipe(ready) != 0 || pipe(release) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        bool ok = fn();
        char c = ok ? 'y' : 'n';
        (void)!write(ready[1], &c, 1);
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    char c = 0;
    (void)!read(ready[0], &c, 1);
    close(ready[0]);
    close(ready[1]);
    close(release[0]);
    releaseFd = release[1];
    return c == 'y' ? pid : -1;
}

void Release(pid_t pid, int releaseFd) {
    (void)!write(releaseFd, "x", 1);
    close(releaseFd);
    int st;
    waitpid(pid, &st, 0);
}

TEST(File, SharingBetweenProcesses) {
    TempDir dir;
    const std::string path = dir.file("held.wav");
    test::WriteBytes(path, {1, 2, 3, 4});
    int rel = -1;
    pid_t pid = HoldInChild(
        [&] {
            static LFile f;
            return f.Open(path, LFile::Mode::ExclusiveRewrite);
        },
        rel);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(TestFileOpen(path));
    // A refused open for writing must not truncate the held file.
    LFile w;
    EXPECT_FALSE(w.Open(path, LFile::Mode::Write));
    EXPECT_EQ(w.LastOpenError(), LFile::OpenError::SharingViolation);
    // The retrying open gives up within its budget (plus one wait).
    auto t0 = std::chrono::steady_clock::now();
    LFile r;
    EXPECT_FALSE(OpenWithRetry(r, path, LFile::Mode::Read, 100));
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    EXPECT_LT(ms, 1000);
    Release(pid, rel);
    EXPECT_FALSE(TestFileOpen(path));
    EXPECT_TRUE(OpenWithRetry(r, path, LFile::Mode::Read, 100));
    // A missing file is not a sharing violation: no waiting.
    LFile m;
    EXPECT_FALSE(OpenWithRetry(m, dir.file("missing"), LFile::Mode::Read, 100));
    EXPECT_EQ(m.LastOpenError(), LFile::OpenError::NotFound);
}

TEST(File, LockFileExcludesOtherProcessesAndVanishes) {
    TempDir dir;
    const std::string guarded = dir.file("Temp1.wav");
    int rel = -1;
    pid_t pid = HoldInChild(
        [&] {
            static LLockFile lock;
            return lock.Lock(guarded);
        },
        rel);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(test::FileExists(dir.file("Temp1.lck")));
    LLockFile mine;
    EXPECT_FALSE(mine.Lock(guarded));
    // The holder ends without releasing: its lock goes with it, the stale file locks again.
    Release(pid, rel);
    EXPECT_TRUE(mine.Lock(guarded));
    mine.Release();
    EXPECT_FALSE(test::FileExists(dir.file("Temp1.lck")));
}

TEST(File, SeekTellTruncate) {
    TempDir dir;
    LFile f;
    ASSERT_TRUE(f.Open(dir.file("a"), LFile::Mode::Write));
    const char data[] = "0123456789";
    EXPECT_TRUE(f.WriteExact(data, 10));
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
