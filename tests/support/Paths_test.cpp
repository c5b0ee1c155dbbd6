#include <gtest/gtest.h>

#include <string>

#include "support/File.h"

namespace sonvex {
namespace {

TEST(Paths, ExtensionRules) {
    EXPECT_EQ(GetExtension("/music.d/song"), "");
    EXPECT_EQ(GetExtension("C:\\music.d\\song"), "");
    EXPECT_EQ(GetExtension("/a/b.MP3"), ".MP3");
    EXPECT_EQ(GetExtension(".wav"), "");
    EXPECT_EQ(GetExtension("x.tar.gz"), ".gz");
}

TEST(Paths, ApplyNewExtension) {
    std::string out;
    ASSERT_TRUE(LFile::_ApplyNewFileExtension(out, "/t/Temp3.wav", ".lck"));
    EXPECT_EQ(out, "/t/Temp3.lck");
    ASSERT_TRUE(LFile::_ApplyNewFileExtension(out, "/t/noext", ".lck"));
    EXPECT_EQ(out, "/t/noext");
    ASSERT_TRUE(LFile::_ApplyNewFileExtension(out, "/t.d/noext", ".lck"));
    EXPECT_EQ(out, "/t.d/noext");
    // Too long for a path: refused, the output keeps its old value.
    out = "kept";
    EXPECT_FALSE(
        LFile::_ApplyNewFileExtension(out, "/" + std::string(kMaxPath - 3, 'a') + ".w", ".wavwav"));
    EXPECT_EQ(out, "kept");
}

TEST(Paths, FolderFileAndTitle) {
    EXPECT_EQ(LFile::_GetFolderFromPath("/a/b.wav"), "/a");
    EXPECT_EQ(LFile::_GetFolderFromPath("C:\\a\\b.wav"), "C:\\a");
    EXPECT_EQ(LFile::_GetFolderFromPath("/b.wav"), "/");
    EXPECT_EQ(LFile::_GetFolderFromPath("b.wav"), "");
    EXPECT_EQ(LFile::_GetFileFromPath("/a/b.wav"), "b.wav");
    EXPECT_EQ(LFile::_GetFileFromPath("a\\b.wav"), "b.wav");
    EXPECT_EQ(_GetFileTitleFromPath("/a/b.c.wav"), "b.c");
    EXPECT_EQ(_GetFileTitleFromPath("/a/.hidden"), ".hidden");
    EXPECT_EQ(_GetFileTitleFromPath("/a.d/noext"), "noext");
}

TEST(Paths, CatInsertsOneSeparatorAndRefusesOverlongResults) {
    std::string f = "/";
    ASSERT_TRUE(LFile::FilePathCat(f, "x.wav"));
    EXPECT_EQ(f, "/x.wav");
    f = "";
    ASSERT_TRUE(LFile::FilePathCat(f, "x"));
    EXPECT_EQ(f, "x");
    f = "/out";
    ASSERT_TRUE(FilePathCatExt(f, "song", ".mp3"));
    EXPECT_EQ(f, "/out/song.mp3");
    // kMaxPath characters fit; one more is refused rather than cut into another name.
    const std::string base = "/" + std::string(kMaxPath - 9, 'd');
    f = base;
    ASSERT_TRUE(FilePathCatExt(f, "abc", ".wav"));
    EXPECT_EQ(f.size(), kMaxPath);
    f = base;
    EXPECT_FALSE(FilePathCatExt(f, "abcd", ".wav"));
    EXPECT_EQ(f, base);
}

}  // namespace
}  // namespace sonvex
