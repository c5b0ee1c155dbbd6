#include "installer/HelpArchive.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "installer/DesktopEntry.h"
#include "support/File.h"

namespace sonvex {

namespace {

constexpr int64_t kBlock = 512;
constexpr int64_t kMaxMemberBytes = 64 << 20;

// A NUL-terminated field of at most n bytes.
std::string Field(const uint8_t* p, size_t n) {
    size_t len = 0;
    while (len < n && p[len]) ++len;
    return std::string(reinterpret_cast<const char*>(p), len);
}

// Octal digits, blanks and NULs around them; -1 when there are none or others.
int64_t Octal(const uint8_t* p, size_t n) {
    int64_t v = 0;
    bool any = false;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t c = p[i];
        if (c >= '0' && c <= '7') {
            v = v * 8 + (c - '0');
            any = true;
            if (v > (int64_t{1} << 40)) return -1;
        } else if (c != ' ' && c != '\0') {
            return -1;
        }
    }
    return any ? v : -1;
}

bool SafeName(std::string_view name) {
    if (name.empty() || name[0] == '/') return false;
    for (size_t i = 0; i <= name.size();) {
        size_t end = name.find('/', i);
        if (end == std::string_view::npos) end = name.size();
        if (name.substr(i, end - i) == "..") return false;
        i = end + 1;
    }
    return true;
}

bool MakeFolder(const std::string& path) {
    return mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && IsFolder(path));
}

// Makes the folders of a relative name under dest.
bool MakeParents(const std::string& dest, std::string_view name) {
    for (size_t slash = name.find('/'); slash != std::string_view::npos;
         slash = name.find('/', slash + 1))
        if (!MakeFolder(dest + "/" + std::string(name.substr(0, slash)))) return false;
    return true;
}

}  // namespace

bool UnpackHelpArchive(const std::string& archive, const std::string& dest) {
    LFile in;
    if (!in.Open(archive, LFile::Mode::Read) || !MakeFolder(dest)) return false;
    uint8_t h[kBlock];
    bool any = false;
    while (in.ReadExact(h, kBlock)) {
        if (std::all_of(h, h + kBlock, [](uint8_t b) { return b == 0; })) return any;
        if (std::memcmp(h + 257, "ustar", 5) != 0) return false;
        int64_t sum = 0;
        for (int i = 0; i < kBlock; ++i) sum += (i >= 148 && i < 156) ? ' ' : h[i];
        const int64_t size = Octal(h + 124, 12);
        if (Octal(h + 148, 8) != sum || size < 0 || size > kMaxMemberBytes) return false;
        any = true;
        const char type = static_cast<char>(h[156]);
        std::string name = Field(h, 100);
        const std::string prefix = Field(h + 345, 155);
        if (!prefix.empty()) name = prefix + "/" + name;
        while (name.size() > 2 && name.compare(0, 2, "./") == 0) name.erase(0, 2);
        while (!name.empty() && name.back() == '/') name.pop_back();
        std::vector<uint8_t> data(static_cast<size_t>(size));
        if (size > 0 && !in.ReadExact(data.data(), size)) return false;
        in.Seek((kBlock - size % kBlock) % kBlock, LFile::Origin::Current);
        if (type != '0' && type != '\0' && type != '5') continue;  // links, extended headers
        if (name == "." || !SafeName(name) || !MakeParents(dest, name)) continue;
        const std::string path = dest + "/" + name;
        if (type == '5') {
            if (!MakeFolder(path)) return false;
        } else if (!WriteFileReplacing(
                       path, {reinterpret_cast<const char*>(data.data()), data.size()}, 0644)) {
            return false;
        }
    }
    return false;
}

}  // namespace sonvex
