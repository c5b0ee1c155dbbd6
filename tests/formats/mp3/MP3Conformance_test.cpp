// The decoder against the ISO/IEC 11172-4 and 13818-4 layer III conformance streams, and its
// survival of illegal and non-standard streams.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "formats/mp3/MP3Source.h"
#include "formats/mp3/Mp3TestUtil.h"

namespace sonvex {
namespace {

using test::Mp3DataDir;

std::vector<std::string> ListStreams(bool (*pick)(const std::string&)) {
    std::vector<std::string> names;
    DIR* d = opendir(Mp3DataDir().c_str());
    if (!d) return names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n.size() > 4 && n.compare(n.size() - 4, 4, ".bit") == 0 && pick(n)) names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

bool IsConformance(const std::string& n) {
    return (n.rfind("l3-", 0) == 0 && n.rfind("l3-nonstandard", 0) != 0) ||
           n.rfind("M2L3_", 0) == 0;
}

bool IsHostile(const std::string& n) {
    return n.rfind("ILL", 0) == 0 || n.rfind("l3-nonstandard", 0) == 0;
}

#define REQUIRE_TESTDATA()                                       \
    if (ListStreams(IsConformance).empty())                      \
    GTEST_SKIP() << "no conformance streams in " << Mp3DataDir() \
                 << " (the shared test data folder beside the source tree is missing)"

TEST(MP3Conformance, EveryReferenceAbove96dB) {
    REQUIRE_TESTDATA();
    double worst = 1e9;
    std::string worstName;
    for (const std::string& name : ListStreams(IsConformance)) {
        SCOPED_TRACE(name);
        std::string base = Mp3DataDir() + "/" + name.substr(0, name.size() - 4);
        LMP3Source src(base + ".bit");
        ASSERT_EQ(src.ErrorState, 0);
        std::vector<int32_t> ours = test::ReadAll(src);
        std::vector<int16_t> ref = test::Load16(base + ".pcm");
        ASSERT_FALSE(ref.empty());
        size_t n = std::min(ours.size(), ref.size());
        double psnr = test::Psnr(ours.data(), ref.data(), n);
        std::printf("  %-28s %d ch %6d Hz  %8zu/%8zu samples  %6.1f dB\n", name.c_str(), src.nChans,
                    src.SampleRate, ours.size(), ref.size(), psnr);
        EXPECT_GT(psnr, 96.0);
        if (name == "l3-he_mode.bit") {
            // The channel mode changes after 10 single-channel frames; more than 10 differing
            // headers in a row end the stream there.
            EXPECT_EQ(ours.size(), 10u * 1152u);
        } else {
            // The reference leaves out the last frame of some streams; we decode it.
            EXPECT_GE(ours.size(), ref.size()) << "decoded less than the reference";
            EXPECT_LE(ours.size(), ref.size() + 1152u * src.nChans);
        }
        if (psnr < worst) worst = psnr, worstName = name;
    }
    std::printf("  lowest: %.1f dB (%s)\n", worst, worstName.c_str());
}

// Every illegal or non-standard stream opens, reads to an end and seeks without a fault
// (the sanitizer build checks the reads) and without running away.
TEST(MP3Conformance, HostileStreamsEndCleanly) {
    REQUIRE_TESTDATA();
    for (const std::string& name : ListStreams(IsHostile)) {
        SCOPED_TRACE(name);
        std::string path = Mp3DataDir() + "/" + name;
        int64_t bytes = static_cast<int64_t>(test::ReadBytes(path).size());
        LMP3Source src(path);
        if (src.ErrorState != 0) {
            EXPECT_EQ(src.ErrorState, 3);
            continue;
        }
        // No stream can hold more than one frame per 20 bytes or so; allow far more.
        int64_t bound = (bytes + 1) * 1152 + 10 * kBlockFrames;
        std::vector<int32_t> all = test::ReadAll(src, bound);
        EXPECT_GE(src.GetPosition(), src.GetLength()) << "did not end";
        EXPECT_EQ(static_cast<int64_t>(all.size()), int64_t(src.GetLength()) * src.nChans);
        std::vector<int32_t> buf(static_cast<size_t>(kBlockFrames) * src.nChans);
        for (int32_t p : {0, 1, 577, src.GetLength() / 2, src.GetLength() + 5000, -300}) {
            src.Seek(p);
            src.Read(buf.data(), kBlockFrames);
            EXPECT_EQ(src.GetPosition(), p + kBlockFrames);
        }
    }
}

}  // namespace
}  // namespace sonvex
