// The single-instance pieces: the forwarded record, the start lock and the instance socket.
#include "platform/instance/Instance.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/TestUtil.h"
#include "platform/instance/RunArgs.h"

namespace sonvex {
namespace {

using Status = LRunArgsData::Status;

std::vector<std::string> Args(size_t n, size_t len) {
    std::vector<std::string> v{"/usr/bin/sonvex"};
    for (size_t i = 1; i < n; ++i) v.push_back(std::string(len, static_cast<char>('a' + i % 26)));
    return v;
}

uint32_t LE32(const std::vector<uint8_t>& v, size_t at) {
    uint32_t x;
    std::memcpy(&x, &v[at], 4);
    return x;
}

TEST(RunArgs, EveryArgumentArrivesWholeAndInOrder) {
    struct Case {
        const char* szName;
        std::vector<std::string> args;
        bool bRecordAlone;  // no frame needed
    };
    const Case cases[] = {
        {"own path only", Args(1, 0), true},
        {"32 short", Args(32, 259), true},
        {"33 short", Args(33, 5), false},
        {"40 paths", Args(40, 120), false},
        {"one of 300 characters", Args(3, 300), false},
        {"one of 4000 characters", Args(2, 4000), false},
        {"an empty argument", {"sonvex", "", "-convert"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        const auto msg = LRunArgsData::Encode(c.args);
        // The fixed record comes first, holding what fits of the first 32 arguments.
        ASSERT_GE(msg.size(), LRunArgsData::kRecordBytes + 4);
        EXPECT_EQ(LE32(msg, 0), std::min<size_t>(c.args.size(), 32));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&msg[4])), c.args[0].substr(0, 259));
        EXPECT_EQ(LE32(msg, LRunArgsData::kRecordBytes) == 0, c.bRecordAlone);
        std::vector<std::string> got;
        ASSERT_EQ(LRunArgsData::Decode(msg, true, got), Status::Complete);
        EXPECT_EQ(got, c.args);
        // Any cut short is incomplete, and refused once the sender has finished.
        for (size_t cut : {size_t{3}, LRunArgsData::kRecordBytes - 1, msg.size() - 1}) {
            std::vector<uint8_t> part(msg.begin(), msg.begin() + static_cast<long>(cut));
            EXPECT_EQ(LRunArgsData::Decode(part, false, got), Status::NeedMore) << cut;
            EXPECT_EQ(LRunArgsData::Decode(part, true, got), Status::Refused) << cut;
        }
    }
}

TEST(RunArgs, MalformedRecordsAreRefused) {
    const auto good = LRunArgsData::Encode(Args(40, 10));
    auto set32 = [](std::vector<uint8_t> v, size_t at, uint32_t x) {
        std::memcpy(&v[at], &x, 4);
        return v;
    };
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    const size_t frame = LRunArgsData::kRecordBytes + 4;
    struct Case {
        const char* szName;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"count above 32", set32(std::vector<uint8_t>(LRunArgsData::kRecordBytes), 0, 33)},
        {"a byte beyond the end", longer},
        {"frame length above the limit",
         set32(good, LRunArgsData::kRecordBytes, LRunArgsData::kMaxFrameBytes + 1)},
        {"more arguments than the frame holds", set32(good, frame, 41)},
        {"fewer arguments than the frame holds", set32(good, frame, 39)},
        {"an argument longer than the frame", set32(good, frame + 4, 1u << 20)},
    };
    for (const auto& c : cases) {
        std::vector<std::string> got{"stale"};
        EXPECT_EQ(LRunArgsData::Decode(c.bytes, true, got), Status::Refused) << c.szName;
        EXPECT_TRUE(got.empty()) << c.szName;
    }
}

struct InstanceSocket : ::testing::Test {
    test::ScopedHome home;
    std::string runtime = RuntimeFolder();
    std::string sock = InstanceSocketPath(runtime);

    // Serves one connection: returns what it received, replying status when complete.
    std::vector<std::string> ServeOne(LInstanceServer& server, int status, Status* pResult) {
        int fd = -1;
        while (!server.Accept(fd) || fd < 0) usleep(1000);
        LInstanceRequest req(fd);
        Status s;
        while ((s = req.ReadAvailable()) == Status::NeedMore) usleep(1000);
        *pResult = s;
        if (s == Status::Complete) req.Reply(status);
        return req.Args();
    }
};

TEST_F(InstanceSocket, ForwardWaitsForTheReplyAndReturnsItsStatus) {
    ASSERT_FALSE(runtime.empty());
    struct stat st {};
    ASSERT_EQ(stat(runtime.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // Nobody listening: nothing is sent.
    EXPECT_EQ(ForwardToRunningInstance(sock, {"sonvex"}), -1);

    LInstanceServer server;
    ASSERT_TRUE(server.Listen(sock));
    for (int status : {0, 2}) {
        const auto args = Args(40, 300);
        int rc = -5;
        std::thread sender([&] { rc = ForwardToRunningInstance(sock, args); });
        Status s;
        EXPECT_EQ(ServeOne(server, status, &s), args);
        sender.join();
        EXPECT_EQ(s, Status::Complete);
        EXPECT_EQ(rc, status);
    }
    // A listener that goes away without replying: the sender reports a failure.
    int rc = -5;
    std::thread sender([&] { rc = ForwardToRunningInstance(sock, {"sonvex", "a.wav"}); });
    {
        int fd = -1;
        while (!server.Accept(fd) || fd < 0) usleep(1000);
        LInstanceRequest req(fd);
        while (req.ReadAvailable() == Status::NeedMore) usleep(1000);
    }
    sender.join();
    EXPECT_EQ(rc, 2);
    server.Close();
    EXPECT_FALSE(test::FileExists(sock));
}

TEST_F(InstanceSocket, ConnectionsOfAnotherUserAreRefused) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
    // A folder others may enter, so that only the peer check stands in the way.
    char dir[] = "/tmp/sonvex-peer-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    chmod(dir, 0777);
    const std::string path = std::string(dir) + "/instance.sock";
    LInstanceServer server;
    ASSERT_TRUE(server.Listen(path));
    chmod(path.c_str(), 0777);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (setuid(65534) != 0) _exit(3);
        // The sender refuses a listener of another user too, so connect by hand.
        const auto msg = LRunArgsData::Encode({"sonvex", "-exit"});
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strcpy(a.sun_path, path.c_str());
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) _exit(4);
        if (write(fd, msg.data(), msg.size()) < 0) _exit(5);
        _exit(0);
    }
    int fd = 0;
    while (!server.Accept(fd)) usleep(1000);
    EXPECT_EQ(fd, -1);
    int st;
    waitpid(pid, &st, 0);
    EXPECT_TRUE(WIFEXITED(st));
    server.Close();
    rmdir(dir);
}

TEST_F(InstanceSocket, StartLockLetsOneStartAtATimeDecide) {
    LSystemLockMutex lock(StartLockPath(runtime));
    ASSERT_TRUE(lock.Lock());
    auto othersCanTake = [&] {
        pid_t pid = fork();
        if (pid == 0) {
            int fd = open(StartLockPath(runtime).c_str(), O_RDWR);
            _exit(fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1);
        }
        int st;
        waitpid(pid, &st, 0);
        return WIFEXITED(st) && WEXITSTATUS(st) == 0;
    };
    EXPECT_FALSE(othersCanTake());
    lock.Unlock();
    EXPECT_TRUE(othersCanTake());
}

}  // namespace
}  // namespace sonvex
