#include "platform/sound/SoundOut.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "common/TestUtil.h"
#include "platform/sound/AlsaFileConfig.h"
#include "platform/sound/SimulatedSoundOut.h"
#include "support/Thread.h"

namespace sonvex {
namespace {

// Buffers of distinct 16-bit ramps, frames x channels samples each.
struct Buffers {
    Buffers(int count, int frames, int channels) {
        for (int i = 0; i < count; ++i) {
            std::vector<int16_t> d(static_cast<size_t>(frames) * channels);
            for (size_t k = 0; k < d.size(); ++k) d[k] = static_cast<int16_t>(i * 3000 + k % 2999);
            all.insert(all.end(), d.begin(), d.end());
            data.push_back(std::move(d));
        }
        headers.resize(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            headers[i].pData = data[i].data();
            headers[i].nBytes = static_cast<int32_t>(data[i].size() * 2);
        }
    }
    std::vector<std::vector<int16_t>> data;
    std::vector<int16_t> all;
    std::vector<LSoundOutBuffer> headers;
};

// Waits on the device as the player does until buffer `last` is done; returns the waits it
// took, or -1 when buffers came back out of order or not within maxPolls waits.
int DriveUntilDone(LSoundOut& out, Buffers& b, size_t last, int maxPolls = 200) {
    for (int polls = 0; polls < maxPolls; ++polls) {
        out.Update();
        for (size_t i = 1; i < b.headers.size(); ++i)
            if (b.headers[i].bDone && !b.headers[i - 1].bDone) return -1;
        if (b.headers[last].bDone) return polls;
        pollfd fds[LSoundOut::kMaxPollFds];
        int timeout = 150;
        const int n = out.PollDescriptors(fds, &timeout);
        PollWait(fds, n, timeout);
        out.Polled(fds, n);
    }
    return -1;
}

TEST(SoundOut, SimulatedDeviceConsumesBuffersInOrderInRealTimeAndRecordsThem) {
    LSimulatedSoundOutLog log;
    LSimulatedSoundOut out({8000, 2}, {&log, -1});
    Buffers b(3, 400, 2);  // 50 ms each
    const auto t0 = std::chrono::steady_clock::now();
    for (auto& h : b.headers) out.Write(h);
    out.Update();
    EXPECT_FALSE(b.headers[0].bDone);
    const int polls = DriveUntilDone(out, b, 2);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(150));
    // Woken when a buffer is due, not spinning.
    EXPECT_GE(polls, 1);
    EXPECT_LE(polls, 12);
    EXPECT_EQ(log.samples, b.all);
    EXPECT_EQ(log.bufferBytes, std::vector<int32_t>(3, 1600));
    EXPECT_EQ(log.nWrites, 3);
}

TEST(SoundOut, ResetReturnsQueuedBuffersUnlessTheDeviceHasStalled) {
    for (int stallAfter : {-1, 1}) {
        LSimulatedSoundOutLog log;
        LSimulatedSoundOut out({8000, 1}, {&log, stallAfter});
        Buffers b(3, 400, 1);
        for (auto& h : b.headers) out.Write(h);
        ASSERT_GE(DriveUntilDone(out, b, 0), 0);
        out.Reset();
        const bool returned = stallAfter < 0;
        EXPECT_EQ(b.headers[2].bDone, returned) << stallAfter;
        EXPECT_EQ(out.Unprepare(b.headers[2]), returned) << stallAfter;
        EXPECT_EQ(log.bufferBytes.size(), 1u) << stallAfter;
        EXPECT_EQ(log.nResets, 1);
    }
}

int ListedDevice() {
    const std::vector<LSoundOutDeviceName> list = ListSoundOutDevices();
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].szDescription == "Sonvex test output") return static_cast<int>(i) + 1;
    return -1;
}

TEST(SoundOut, AlsaFilePluginReceivesTheBuffersInOrder) {
    test::ScopedAlsaFileConfig alsa;
    const int listed = ListedDevice();
    ASSERT_GE(listed, 1);
    struct Case {
        int device;
        std::string file;
    };
    for (const Case& c : {Case{0, alsa.DefaultFile()}, {listed, alsa.ListedFile()}}) {
        std::unique_ptr<LSoundOut> out = OpenSoundOut(c.device, {22050, 2});
        if (!out) GTEST_SKIP() << "ALSA cannot open its file plugin here";
        Buffers b(8, 2205, 2);
        for (auto& h : b.headers) out->Write(h);
        EXPECT_GE(DriveUntilDone(*out, b, 7), 0) << c.device;
        out.reset();
        const std::vector<uint8_t> bytes = test::ReadBytes(c.file);
        ASSERT_EQ(bytes.size(), b.all.size() * 2) << c.device;
        std::vector<int16_t> played(b.all.size());
        for (size_t i = 0; i < played.size(); ++i)
            played[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
        EXPECT_EQ(played, b.all) << c.device;
    }
}

TEST(SoundOut, NumbersOutsideTheListAndAMissingCardOpenNothing) {
    {
        test::ScopedAlsaFileConfig alsa;
        const int n = static_cast<int>(ListSoundOutDevices().size());
        ASSERT_GE(n, 1);
        for (int device : {-1, n + 1}) EXPECT_EQ(OpenSoundOut(device, {44100, 2}), nullptr);
    }
    test::ScopedAlsaFileConfig noCard(true);
    EXPECT_EQ(OpenSoundOut(0, {44100, 2}), nullptr);
}

}  // namespace
}  // namespace sonvex
