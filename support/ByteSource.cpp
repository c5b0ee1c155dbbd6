#include "support/ByteSource.h"

#include <algorithm>
#include <cstring>

namespace sonvex {

LByteSource LByteSource::OpenFile(std::string_view path) {
    LFile f;
    f.Open(path, LFile::Mode::Read);
    return FromFile(std::move(f));
}

LByteSource LByteSource::FromFile(LFile&& file) {
    LByteSource s;
    s.file_ = std::move(file);
    if (s.file_.IsOpen()) s.nPos_ = s.file_.Tell();
    return s;
}

LByteSource LByteSource::FromMemory(std::vector<uint8_t> bytes) {
    LByteSource s;
    s.owned_ = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    // A non-null address even for no bytes, so the source counts as open.
    static const uint8_t kEmpty = 0;
    s.memory_ = s.owned_->empty() ? &kEmpty : s.owned_->data();
    s.nMemory_ = static_cast<int64_t>(s.owned_->size());
    return s;
}

LByteSource LByteSource::FromMemory(const uint8_t* p, size_t n) {
    static const uint8_t kEmpty = 0;
    LByteSource s;
    s.memory_ = p ? p : &kEmpty;
    s.nMemory_ = p ? static_cast<int64_t>(n) : 0;
    return s;
}

LByteSource LByteSource::Window(int64_t offset, int64_t size) && {
    LByteSource s = std::move(*this);
    const int64_t total = s.GetFileSizeBytes();
    offset = std::clamp<int64_t>(offset, 0, total);
    size = std::clamp<int64_t>(size, 0, total - offset);
    s.nBase_ += offset;
    s.nLimit_ = size;
    s.Seek(0);
    return s;
}

int64_t LByteSource::GetFileSizeBytes() {
    if (nLimit_ >= 0) return nLimit_;
    if (memory_) return nMemory_ - nBase_;
    return file_.IsOpen() ? std::max<int64_t>(file_.GetFileSizeBytes() - nBase_, 0) : 0;
}

int64_t LByteSource::Read(void* p, int64_t n) {
    if (n <= 0 || !IsOpen()) return 0;
    if (nLimit_ >= 0) n = std::min(n, std::max<int64_t>(nLimit_ - nPos_, 0));
    int64_t got = 0;
    if (memory_) {
        got = std::clamp<int64_t>(nMemory_ - (nBase_ + nPos_), 0, n);
        if (got > 0) std::memcpy(p, memory_ + nBase_ + nPos_, static_cast<size_t>(got));
    } else {
        got = file_.Read(p, n);
    }
    nPos_ += got;
    return got;
}

void LByteSource::Seek(int64_t offset, LFile::Origin origin) {
    if (!IsOpen()) return;
    int64_t to = origin == LFile::Origin::Begin     ? offset
                 : origin == LFile::Origin::Current ? nPos_ + offset
                                                    : GetFileSizeBytes() + offset;
    if (to < 0) to = 0;
    nPos_ = to;
    if (!memory_) file_.Seek(nBase_ + to);
}

int64_t LByteSource::Tell() {
    return nPos_;
}

}  // namespace sonvex
