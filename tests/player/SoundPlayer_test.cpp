#include "player/SoundPlayer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "audio/AudioTestSources.h"
#include "audio/PeakLimit.h"
#include "common/ScriptedHost.h"
#include "common/TestUtil.h"
#include "formats/FormatTestUtil.h"
#include "platform/sound/AlsaFileConfig.h"
#include "platform/sound/SimulatedSoundOut.h"
#include "support/ProgressDialog.h"
#include "support/Settings.h"

namespace sonvex {
namespace {

using test::VecSource;

struct Event {
    enum Kind { Play, Stop, Position, Levels } kind;
    int32_t ms = 0;
    std::vector<int> levels;
};

class Recorder : public LSoundPlayerNotify {
public:
    std::vector<Event> events;
    void OnPlay(int) override { events.push_back({Event::Play, 0, {}}); }
    void OnStop(int) override { events.push_back({Event::Stop, 0, {}}); }
    void OnPosition(int, int32_t ms) override { events.push_back({Event::Position, ms, {}}); }
    void OnLevels(const LSoundLevels& l, int) override {
        events.push_back({Event::Levels, 0, std::vector<int>(l.iLevel, l.iLevel + l.nCount)});
    }
    int Count(Event::Kind k) const {
        int n = 0;
        for (const Event& e : events) n += e.kind == k;
        return n;
    }
    bool Stopped() const { return !events.empty() && events.back().kind == Event::Stop; }
};

// A player on its own notification queue, listened to by a recorder.
struct TestPlayer {
    LNotifyQueue queue;
    Recorder rec;
    LSimulatedSoundOutLog log;
    LSimulatedSoundOutOptions options{&log, -1};
    LSoundPlayer player{queue};

    // Plays on the simulated device unless bAlsa.
    explicit TestPlayer(bool bAlsa = false) {
        player.pNotify = &rec;
        if (!bAlsa)
            player.openDevice = [this](int, const LSoundOutFormat& f) {
                return std::make_unique<LSimulatedSoundOut>(f, options);
            };
    }
    // The user-interface loop: drains notifications until the player has stopped of itself.
    bool RunUntilStopped() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!rec.Stopped()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            queue.Wait(100);
            queue.Drain();
        }
        return true;
    }
};

// A 16-bit WAV of noise; returns its samples.
std::vector<int16_t> MakeWav(const std::string& path, int frames, int rate, int channels) {
    const std::vector<int32_t> v = test::Noise(static_cast<size_t>(frames) * channels, 32767, 7);
    const std::vector<int16_t> v16(v.begin(), v.end());
    test::WriteBytes(
        path, test::Wav16(static_cast<uint32_t>(rate), static_cast<uint16_t>(channels), v16));
    return v16;
}

// Left channel silent, right a full-scale square.
LSoundSourceRef SilenceAndSquare(int32_t rate, int frames) {
    std::vector<int32_t> v(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) v[2 * i + 1] = i % 2 ? kFullScale16 : -kFullScale16;
    return LSoundSourceRef(new VecSource(rate, 2, std::move(v)));
}

TEST(Player, ChannelLevels) {
    struct Case {
        std::vector<int32_t> samples;
        int expected;
    };
    const std::vector<Case> cases = {
        {std::vector<int32_t>(100, 0), -127},
        {{}, -127},
        {{kFullScale16, -kFullScale16, kFullScale16, -kFullScale16}, 15},
        {std::vector<int32_t>(100, -0x80000), 15},
        {std::vector<int32_t>(100, 0x3FFF8), 9},
        {std::vector<int32_t>(100, 1 << 11), -33},
        {std::vector<int32_t>(8192, 32), -69},
        {std::vector<int32_t>(100, 32), -127},  // below the sums' resolution
        {std::vector<int32_t>(4, 0x8000000), 63},
    };
    for (const Case& c : cases) {
        // Interleaved with a loud second channel that must not count.
        std::vector<int32_t> stereo;
        for (int32_t x : c.samples) stereo.insert(stereo.end(), {x, 0x7000000});
        const int n = static_cast<int>(c.samples.size());
        EXPECT_EQ(LSoundChannelLevel(stereo.data(), n, 2), c.expected) << n;
    }
}

TEST(Player, PlaysA44kStereoWavSampleForSampleIn4410FrameBuffers) {
    test::TempDir dir;
    const std::string path = dir.file("a.wav");
    const std::vector<int16_t> samples = MakeWav(path, 14000, 44100, 2);
    LSoundSourceRef source;
    ASSERT_EQ(test::OpenAny(path, source), LPROCESS_OK);
    EXPECT_EQ(source->MaxAmplitude, kFullScale16);
    TestPlayer t;
    ASSERT_TRUE(t.player.Start(source));
    EXPECT_EQ(t.player.FramesPerBuffer(), 4410);
    EXPECT_EQ(t.player.LengthMs(), 317);
    ASSERT_TRUE(t.RunUntilStopped());
    EXPECT_EQ(t.log.bufferBytes, (std::vector<int32_t>{17640, 17640, 17640, 770 * 4}));
    EXPECT_EQ(t.log.samples, samples);
    const std::vector<Event>& e = t.rec.events;
    ASSERT_GE(e.size(), 4u);
    EXPECT_EQ(e[0].kind, Event::Play);
    EXPECT_EQ(e[1].kind, Event::Position);
    EXPECT_EQ(e[1].ms, 0);
    int32_t last = 0;
    for (const Event& ev : e)
        if (ev.kind == Event::Position) {
            EXPECT_GE(ev.ms, last);
            last = ev.ms;
        }
    EXPECT_EQ(e[e.size() - 2].kind, Event::Position);
    EXPECT_EQ(e[e.size() - 2].ms, 317);
    EXPECT_EQ(source.RefCount(), 1);
}

TEST(Player, LoudSourcesGoThroughThePeakLimiter) {
    // As an MP3 decoder or a rate converter may deliver: beyond 16-bit full scale.
    const std::vector<int32_t> loud = test::Sine(2400, 1, 440, 8000, 0xC0000);
    TestPlayer t;
    ASSERT_TRUE(t.player.Start(LSoundSourceRef(new VecSource(8000, 1, loud, 0xFFFE0))));
    ASSERT_TRUE(t.RunUntilStopped());
    LSoundSourceRef expected;
    LSPPeakLimit(kFullScale16)
        .OpenSource(expected, LSoundSourceRef(new VecSource(8000, 1, loud, 0xFFFE0)));
    std::vector<int16_t> limited;
    for (int32_t x : test::ReadFrames(*expected, 2400, 800)) limited.push_back(SampleTo16(x));
    EXPECT_EQ(t.log.samples, limited);
}

TEST(Player, BuffersFollowTheRateAndEachReportsItsLevelsAndTheEnd) {
    struct Case {
        int32_t rate;
        int frames;
        std::vector<int32_t> bufferFrames;
        int32_t endMs;
    };
    for (const Case& c : {Case{44100, 1000, {1000}, 22},
                          {8000, 1200, {800, 400}, 150},
                          {100, 30, {20, 10}, 300},
                          {81920, 12288, {8192, 4096}, 150}}) {
        TestPlayer t;
        ASSERT_TRUE(t.player.Start(SilenceAndSquare(c.rate, c.frames)));
        ASSERT_TRUE(t.RunUntilStopped()) << c.rate;
        std::vector<int32_t> bytes;
        for (int32_t f : c.bufferFrames) bytes.push_back(f * 4);
        EXPECT_EQ(t.log.bufferBytes, bytes) << c.rate;
        const std::vector<Event>& e = t.rec.events;
        for (const Event& ev : e)
            if (ev.kind == Event::Levels) {
                EXPECT_EQ(ev.levels, (std::vector<int>{-127, 15})) << c.rate;
            }
        ASSERT_GE(e.size(), 2u);
        EXPECT_EQ(e[e.size() - 2].kind, Event::Position) << c.rate;
        EXPECT_EQ(e[e.size() - 2].ms, c.endMs) << c.rate;
        EXPECT_EQ(t.rec.Count(Event::Stop), 1) << c.rate;
    }
}

TEST(Player, StopWhenIdleNotifiesNothingAndStopDuringPlaybackIsPrompt) {
    TestPlayer t;
    t.player.Stop();
    EXPECT_TRUE(t.rec.events.empty());
    LSoundSourceRef source = SilenceAndSquare(8000, 8000 * 60);
    ASSERT_TRUE(t.player.Start(source));
    // Playing: the first buffer has come back with its levels.
    while (t.rec.Count(Event::Levels) == 0) {
        t.queue.Wait(100);
        t.queue.Drain();
    }
    EXPECT_EQ(t.rec.events.back().levels, (std::vector<int>{-127, 15}));
    const auto t0 = std::chrono::steady_clock::now();
    t.player.Stop();
    // Promised within 200 ms; the bound is generous for a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000));
    EXPECT_TRUE(t.rec.Stopped());
    EXPECT_FALSE(t.player.IsPlaying());
    EXPECT_EQ(source.RefCount(), 1);
    const size_t n = t.rec.events.size();
    t.player.Stop();
    t.queue.Drain();
    EXPECT_EQ(t.rec.events.size(), n);
}

TEST(Player, ADeviceThatStopsReturningBuffersEndsPlaybackByTheIdleRule) {
    TestPlayer t;
    t.options.nStallAfter = 2;  // and it keeps the rest even when reset
    t.player.nPollMs = 2;
    ASSERT_TRUE(t.player.Start(SilenceAndSquare(8000, 8000 * 60)));
    ASSERT_TRUE(t.RunUntilStopped());
    EXPECT_EQ(t.log.bufferBytes.size(), 2u);
    EXPECT_EQ(t.rec.Count(Event::Stop), 1);
    EXPECT_FALSE(t.player.IsPlaying());
}

TEST(Player, PlayingStoppingAndPlayingAgainAHundredTimesHoldsNothing) {
    TestPlayer t;
    LSoundSourceRef source = SilenceAndSquare(8000, 80000);
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(t.player.Start(source));
        ASSERT_TRUE(t.player.Start(source));  // a new Play stops the old one
        t.player.Stop();
        t.queue.Drain();
    }
    EXPECT_EQ(t.rec.Count(Event::Play), 200);
    EXPECT_EQ(t.rec.Count(Event::Stop), 200);
    EXPECT_EQ(source.RefCount(), 1);
}

TEST(Player, DeviceNumbersOutsideTheListOrNoCardFailToStartWithTheMessage) {
    test::ScopedHome home;
    test::ScriptedHost host;
    const std::string path = home.home() + "/a.wav";
    MakeWav(path, 4000, 8000, 1);
    bool bAllow = true;
    TestPlayer t(true);
    {
        test::ScopedAlsaFileConfig alsa;
        const int n = LSoundPlayDevice::GetCount();
        EXPECT_EQ(LSoundPlayDevice::GetText(0), "[Default Sound Out]");
        EXPECT_EQ(LSoundPlayDevice::GetText(n + 1), "");
        for (int device : {-1, n + 1}) {
            SettingsWriteInt("Settings", "SoundOutDevice", device);
            EXPECT_EQ(PlaySoundFile(t.player, path, LUiContext(&bAllow)), LPROCESS_FAILED);
        }
    }
    test::ScopedAlsaFileConfig noCard(true);
    SettingsWriteInt("Settings", "SoundOutDevice", 0);
    EXPECT_EQ(PlaySoundFile(t.player, path, LUiContext(&bAllow)), LPROCESS_FAILED);
    ASSERT_EQ(host.messages.size(), 3u);
    for (const auto& m : host.messages) {
        EXPECT_EQ(m.szText, kSoundDeviceErrorText);
        EXPECT_EQ(m.szCaption, "Sonvex");
    }
    EXPECT_TRUE(t.rec.events.empty());
    EXPECT_FALSE(t.player.IsPlaying());
}

TEST(Player, AlsaFilePluginReceivesA16BitWavUnchanged) {
    test::ScopedHome home;
    test::ScriptedHost host;
    test::ScopedAlsaFileConfig alsa;
    const std::string path = home.home() + "/a.wav";
    const std::vector<int16_t> samples = MakeWav(path, 30000, 44100, 2);
    TestPlayer t(true);
    bool bAllow = true;
    if (PlaySoundFile(t.player, path, LUiContext(&bAllow)) != LPROCESS_OK)
        GTEST_SKIP() << "ALSA cannot open its file plugin here";
    ASSERT_TRUE(t.RunUntilStopped());
    const std::vector<uint8_t> bytes = test::ReadBytes(alsa.DefaultFile());
    ASSERT_EQ(bytes.size(), samples.size() * 2);
    std::vector<int16_t> played(samples.size());
    for (size_t i = 0; i < played.size(); ++i)
        played[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    EXPECT_EQ(played, samples);
}

}  // namespace
}  // namespace sonvex
