// Tags and cover pictures survive conversion between the tagged formats: read back by TagLib
// and by the peers, equal to the input's; with "KeepTags" off no output carries any.
#include "platform/tags/Tags.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CliFixture.h"
#include "app/SettingsDlg.h"
#include "common/ScriptedHost.h"
#include "support/Settings.h"

namespace sonvex {
namespace {

using namespace test;

const char* const kFormats[] = {"mp3", "ogg", "flac", "m4a", "wav", "aiff"};
const char kTitle[] = "Café 東京 🎵";

struct Tagged : Cli {
    std::vector<uint8_t> cover;

    void SetUp() override {
        for (const char* tool : {"ffmpeg", "ffprobe", "lame", "oggenc", "flac"})
            if (!HaveProgram(tool)) GTEST_SKIP() << tool << " is not installed";
        Ffmpeg("-f lavfi -i sine=f=440:d=0.5 -ar 44100 a.wav");
        Ffmpeg("-f lavfi -i color=red:s=8x8:d=1 -frames:v 1 cover.png");
        cover = ReadBytes(dir + "/cover.png");
        const std::string meta = std::string("-metadata 'title=") + kTitle +
                                 "' -metadata artist=Ärtist -metadata album=Album -metadata "
                                 "track=3 -metadata date=2021 -metadata genre=Jazz -metadata "
                                 "comment=Nice ";
        const std::string pic =
            "-i cover.png -map 0:a -map 1 -c:v copy -disposition:v attached_pic ";
        Ffmpeg("-i a.wav " + pic + meta + "-id3v2_version 4 mp3.mp3");
        Ffmpeg("-i a.wav " + pic + meta + "flac.flac");
        Ffmpeg("-i a.wav " + pic + meta + "m4a.m4a");
        Ffmpeg("-i a.wav " + pic + meta + "-write_id3v2 1 aiff.aiff");
        // ffmpeg puts no cover into Ogg or WAV: TagLib tags those with the MP3's tags.
        LTags ref;
        ASSERT_TRUE(ReadTags(dir + "/mp3.mp3", ref));
        for (const char* f : {"ogg", "wav"}) {
            const std::string in = dir + "/" + f + "." + f;
            Ffmpeg("-i a.wav " + std::string(f == std::string("ogg") ? "-c:a libvorbis " : "") + f +
                   "." + f);
            ASSERT_TRUE(WriteTags(in, ref)) << f;
        }
    }
    void Ffmpeg(const std::string& args) {
        ASSERT_EQ(RunShell("cd '" + dir + "' && ffmpeg -v error -y " + args), 0) << args;
    }
    // The inputs, converted to every format into folder OUT.
    int ConvertAll() {
        std::string args;
        for (const char* f : kFormats) args += std::string(f) + "." + f + " ";
        args += "-outfolder OUT";
        for (const char* f : kFormats) args += std::string(" -format .") + f + " -convert";
        return Sonvex(args + " -exit");
    }
    // A tag as ffprobe reads it (format or stream level).
    std::string PeerTag(const std::string& path, const std::string& key) {
        std::string out;
        RunShell("ffprobe -v error -show_entries format_tags=" + key + ":stream_tags=" + key +
                     " -of default=nw=1:nk=1 '" + path + "'",
                 &out);
        while (!out.empty() && out.back() == '\n') out.pop_back();
        return out;
    }
    // The attached picture as ffmpeg extracts it; empty when there is none.
    std::vector<uint8_t> PeerCover(const std::string& path) {
        const std::string png = dir + "/peer-cover.png";
        unlink(png.c_str());
        RunShell("ffmpeg -v error -y -i '" + path + "' -map 0:v -c copy -f image2 '" + png +
                 "' 2>/dev/null");
        return FileExists(png) ? ReadBytes(png) : std::vector<uint8_t>{};
    }
};

TEST_F(Tagged, EveryPairKeepsFieldsAndCover) {
    ASSERT_EQ(ConvertAll(), 0) << err;
    for (const char* from : kFormats) {
        LTags in;
        ASSERT_TRUE(ReadTags(dir + "/" + from + "." + from, in)) << from;
        EXPECT_EQ(in.Get("TITLE"), kTitle) << from;
        ASSERT_EQ(in.pictures.size(), 1u) << from;
        EXPECT_EQ(in.pictures[0].data, cover) << from;
        for (const char* to : kFormats) {
            SCOPED_TRACE(std::string(from) + " -> " + to);
            const std::string out = dir + "/OUT/" + from + "." + to;
            LTags got;
            ASSERT_TRUE(ReadTags(out, got));
            EXPECT_EQ(got.fields, in.fields);
            ASSERT_EQ(got.pictures.size(), 1u);
            EXPECT_EQ(got.pictures[0].data, cover);
            EXPECT_EQ(got.pictures[0].mime, "image/png");
            EXPECT_EQ(PeerTag(out, "title"), kTitle);
            EXPECT_EQ(PeerTag(out, "album"), "Album");
            EXPECT_EQ(PeerCover(out), cover);
        }
    }
    // The MP3 output also carries an ID3v1 tag: Latin-1 text (a title it cannot hold is
    // left empty), genre 8 (Jazz).
    const auto mp3 = ReadBytes(dir + "/OUT/mp3.mp3");
    ASSERT_GT(mp3.size(), 128u);
    const std::string v1(mp3.end() - 128, mp3.end());
    EXPECT_EQ(v1.substr(0, 3), "TAG");
    EXPECT_EQ(v1.substr(33, 7), std::string("\xC4rtist\0", 7));
    EXPECT_EQ(v1.back(), 8);
}

// AIFF text chunks (as ffmpeg writes them without an ID3 chunk) are read too.
TEST_F(Tagged, AiffTextChunksAreRead) {
    Ffmpeg(std::string("-i a.wav -metadata 'title=") + kTitle +
           "' -metadata author=Ärtist -metadata comment=Nice text.aiff");
    ASSERT_EQ(Sonvex("text.aiff -outfolder OUT -format .flac -convert -exit"), 0) << err;
    LTags got;
    ASSERT_TRUE(ReadTags(dir + "/OUT/text.flac", got));
    EXPECT_EQ(got.Get("TITLE"), kTitle);
    EXPECT_EQ(got.Get("ARTIST"), "Ärtist");
    EXPECT_EQ(got.Get("COMMENT"), "Nice");
}

// ADTS AAC outputs carry the tags as ID3v2 in front: TagLib and ffprobe read them, faad
// decodes the stream exactly as without the tag, and the program reads such a file back,
// passing the tags on.
TEST_F(Tagged, AdtsAacCarriesId3InFront) {
    if (!HaveProgram("faad")) GTEST_SKIP() << "faad is not installed";
    ASSERT_EQ(Sonvex("mp3.mp3 -outfolder OUT -format .aac -convert -exit"), 0) << err;
    LTags in, got;
    ASSERT_TRUE(ReadTags(dir + "/mp3.mp3", in));
    for (const std::string out : {"OUT/mp3.aac", "BACK/mp3.flac"}) {
        SCOPED_TRACE(out);
        if (out == "BACK/mp3.flac") {
            ASSERT_EQ(Sonvex("OUT/mp3.aac -outfolder BACK -format .flac -convert -exit"), 0) << err;
        }
        ASSERT_TRUE(ReadTags(dir + "/" + out, got));
        EXPECT_EQ(got.fields, in.fields);
        ASSERT_EQ(got.pictures.size(), 1u);
        EXPECT_EQ(got.pictures[0].data, cover);
        EXPECT_EQ(PeerTag(dir + "/" + out, "title"), kTitle);
        EXPECT_EQ(PeerCover(dir + "/" + out), cover);
    }
    Ffmpeg("-i OUT/mp3.aac -map 0:a -c copy -map_metadata -1 bare.aac");
    ASSERT_EQ(RunShell("cd '" + dir + "' && faad -q -o tagged.wav OUT/mp3.aac && faad -q -o " +
                       "bare.wav bare.aac"),
              0);
    EXPECT_GT(ReadBytes(dir + "/bare.wav").size(), 44100u);
    EXPECT_EQ(ReadBytes(dir + "/tagged.wav"), ReadBytes(dir + "/bare.wav"));
}

TEST_F(Tagged, KeepTagsOffWritesNone) {
    SettingsWriteFlag("Settings", "KeepTags", false);
    ASSERT_EQ(ConvertAll(), 0) << err;
    for (const char* from : kFormats)
        for (const char* to : kFormats) {
            SCOPED_TRACE(std::string(from) + " -> " + to);
            const std::string out = dir + "/OUT/" + from + "." + to;
            LTags got;
            ASSERT_TRUE(ReadTags(out, got));
            EXPECT_TRUE(got.Empty());
            EXPECT_EQ(PeerTag(out, "title"), "");
        }
}

// The Program Settings check box shows "KeepTags" (on by default) and stores it.
TEST(KeepTagsBox, ShowsAndStoresTheSetting) {
    ScopedHome home;
    ScriptedHost host;
    for (const bool bStored : {true, false}) {
        bool bShown = !bStored;
        host.onDialog = [&](LDialog& d) {
            bShown = d.IsChecked(LSettingsDlg::IDC_KEEPTAGS);
            d.SetCheck(LSettingsDlg::IDC_KEEPTAGS, !bShown);
            return IDOK;
        };
        EXPECT_EQ(LSettingsDlg().DoModal(), IDOK);
        EXPECT_EQ(bShown, bStored);
        EXPECT_EQ(SettingsReadFlag("Settings", "KeepTags", true), !bStored);
    }
}

}  // namespace
}  // namespace sonvex
