#include "installer/Package.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "support/File.h"
#include "support/Sha256.h"

namespace sonvex {

namespace {

uint32_t LE32(const uint8_t* b) {
    return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

void PutLE32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>(v >> (8 * i));
}

}  // namespace

uint32_t ByteSum(const uint8_t* p, size_t n, uint32_t start) {
    uint32_t sum = start;
    for (size_t i = 0; i < n; ++i) sum += p[i];
    return sum;
}

bool ReadPackageTrailer(LFile& file, size_t nFiles, LPackageTrailer& out) {
    if (nFiles == 0 || nFiles > kMaxInstallFiles) return false;
    const int64_t size = file.GetFileSizeBytes();
    const int64_t trailerBytes = static_cast<int64_t>(PackageTrailerBytes(nFiles));
    if (size < trailerBytes) return false;
    std::vector<uint8_t> t(static_cast<size_t>(trailerBytes));
    file.Seek(size - trailerBytes);
    if (!file.ReadExact(t.data(), trailerBytes)) return false;
    const uint8_t* sizes = t.data() + kPackageHashBytes;
    if (LE32(sizes + 4 * (nFiles + 1)) != kTrailerInstallPackage) return false;
    out.sizes.clear();
    uint64_t total = 0;
    for (size_t i = 0; i < nFiles; ++i) {
        out.sizes.push_back(LE32(sizes + 4 * i));
        total += out.sizes.back();
    }
    // The program comes first and is never empty.
    if (out.sizes[0] == 0 || total != static_cast<uint64_t>(size - trailerBytes)) return false;
    out.uChecksum = LE32(sizes + 4 * nFiles);
    std::memcpy(out.hash.data(), t.data(), kPackageHashBytes);
    out.nPayloadBytes = total;
    return true;
}

bool PayloadHashMatches(LFile& file, const LPackageTrailer& trailer) {
    LSha256 sha;
    uint8_t buf[65536];
    file.Seek(0);
    for (uint64_t left = trailer.nPayloadBytes; left > 0;) {
        const int64_t want = static_cast<int64_t>(std::min<uint64_t>(left, sizeof buf));
        if (!file.ReadExact(buf, want)) return false;
        sha.Update(buf, static_cast<size_t>(want));
        left -= static_cast<uint64_t>(want);
    }
    // The sizes are hashed too: moving bytes from one file to the next keeps the byte sum.
    std::string sizes;
    for (uint32_t s : trailer.sizes) PutLE32(sizes, s);
    sha.Update(sizes.data(), sizes.size());
    return sha.Digest() == trailer.hash;
}

bool WritePackage(const std::string& out, const std::vector<std::string>& files, std::string& err) {
    if (files.empty() || files.size() > kMaxInstallFiles) {
        err = "between 1 and " + std::to_string(kMaxInstallFiles) + " payload files";
        return false;
    }
    std::string image;
    std::string sizes;
    for (const std::string& f : files) {
        std::ifstream in(f, std::ios::binary);
        if (!in) {
            err = "cannot read " + f;
            return false;
        }
        const std::string bytes{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
        if (in.bad() || bytes.size() > UINT32_MAX) {
            err = "cannot read " + f;
            return false;
        }
        PutLE32(sizes, static_cast<uint32_t>(bytes.size()));
        image += bytes;
    }
    LSha256 sha;
    sha.Update(image.data(), image.size());
    sha.Update(sizes.data(), sizes.size());
    const auto hash = sha.Digest();
    const uint32_t sum = ByteSum(reinterpret_cast<const uint8_t*>(image.data()), image.size());
    image.append(reinterpret_cast<const char*>(hash.data()), hash.size());
    image += sizes;
    PutLE32(image, sum);
    PutLE32(image, kTrailerInstallPackage);

    const std::string tmp = out + ".part";
    {
        std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
        o.write(image.data(), static_cast<std::streamsize>(image.size()));
        if (!o.flush()) {
            err = "cannot write " + tmp;
            unlink(tmp.c_str());
            return false;
        }
    }
    if (chmod(tmp.c_str(), 0755) != 0 || rename(tmp.c_str(), out.c_str()) != 0) {
        err = "cannot put " + out + " in place: " + std::strerror(errno);
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace sonvex
