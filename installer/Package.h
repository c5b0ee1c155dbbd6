// The installation package: the program image, the payload files after it and the trailer.
//
//   payload file 1 .. N     (file 1 is the plain program image)
//   SHA-256                 32 bytes: of the payload followed by the size bytes
//   sizes S1 .. SN          4 bytes each, little-endian
//   checksum                the sum of every payload byte, modulo 2^32
//   magic                   0x0F0FF0F0
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sonvex {

class LFile;

// The last four bytes of a program file: an installation package, the uninstaller; anything
// else is the plain program.
enum : uint32_t { kTrailerInstallPackage = 0x0F0FF0F0, kTrailerUninstaller = 0xF0F00F0F };

// Shown when the package fails its checks, and when a program named like an installer
// carries no package.
inline constexpr const char* kCorruptInstallText =
    "Installation file corrupt.\n\nA checksum error was detected in your install file, please "
    "redownload file and install again.";
inline constexpr const char* kInstallErrorCaption = "Install Error";
inline constexpr const char* kCorruptInstallCaption = kInstallErrorCaption;

// One entry of the file table: the name it is installed under and its folder (empty: the
// install folder itself).
struct LInstallFileEntry {
    const char* szFileName;
    const char* szFolder;
};

// The program, the help packed as one archive, and the MP3 encoder that finishing turns into
// the "mp3el" component.
inline constexpr LInstallFileEntry kInstallFiles[] = {
    {"sonvex", ""},
    {"sonvex-help.tar", ""},
    {"mp3el", ""},
};
inline constexpr size_t kInstallFileCount = std::size(kInstallFiles);
inline constexpr size_t kMaxInstallFiles = 128;
inline constexpr size_t kPackageHashBytes = 32;

// Bytes after the payload: hash, sizes, checksum and magic.
inline constexpr uint64_t PackageTrailerBytes(size_t nFiles) {
    return kPackageHashBytes + 4 * (nFiles + 2);
}

struct LPackageTrailer {
    std::vector<uint32_t> sizes;
    uint32_t uChecksum = 0;
    std::array<uint8_t, kPackageHashBytes> hash{};
    uint64_t nPayloadBytes = 0;
};

// Reads the trailer of a package of nFiles entries. False when the file is too short for it,
// the magic is not the package's, or the sizes add up to more than lies before the trailer.
bool ReadPackageTrailer(LFile& file, size_t nFiles, LPackageTrailer& out);

// True when the first nPayloadBytes of the file and the sizes hash to the trailer's SHA-256.
bool PayloadHashMatches(LFile& file, const LPackageTrailer& trailer);

// The sum of the bytes, modulo 2^32.
uint32_t ByteSum(const uint8_t* p, size_t n, uint32_t start = 0);

// Writes a package from the payload files (in file-table order) to out, replacing it; the
// result is made executable. False with a reason in err.
bool WritePackage(const std::string& out, const std::vector<std::string>& files, std::string& err);

}  // namespace sonvex
