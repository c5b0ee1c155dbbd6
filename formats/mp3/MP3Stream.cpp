#include "formats/mp3/MP3Stream.h"

#include <algorithm>
#include <cstring>

namespace sonvex::mp3 {

bool LMP3Stream::Open(const std::string& path) {
    return Open(LByteSource::OpenFile(path));
}

bool LMP3Stream::Open(LByteSource&& bytes) {
    hFile = std::move(bytes);
    nPos_ = nLen_ = 0;
    nBufStart_ = hFile.IsOpen() ? hFile.Tell() : 0;
    return hFile.IsOpen();
}

bool LMP3Stream::Fill() {
    if (!hFile.IsOpen()) return false;
    nBufStart_ += nLen_;
    nPos_ = 0;
    nLen_ = 0;
    int64_t got = hFile.Read(buf_, kBufBytes);
    if (got <= 0) return false;
    nLen_ = static_cast<int>(got);
    return true;
}

int LMP3Stream::Read(uint8_t* p, int n) {
    int done = 0;
    while (done < n) {
        if (nPos_ >= nLen_ && !Fill()) break;
        int k = std::min(n - done, nLen_ - nPos_);
        std::memcpy(p + done, buf_ + nPos_, static_cast<size_t>(k));
        nPos_ += k;
        done += k;
    }
    nBytesLeft -= done;
    return done;
}

void LMP3Stream::Skip(int n) {
    if (n >= 0 && nPos_ + n <= nLen_) {
        nPos_ += n;
        nBytesLeft -= n;
        return;
    }
    int64_t target = Tell() + n;
    int64_t size = hFile.GetFileSizeBytes();
    if (target > size) target = size;
    if (target < 0) target = 0;
    nBytesLeft -= static_cast<int32_t>(target - Tell());
    SeekTo(target);
}

void LMP3Stream::SeekTo(int64_t pos) {
    if (pos < 0) pos = 0;
    if (pos >= nBufStart_ && pos <= nBufStart_ + nLen_) {
        nPos_ = static_cast<int>(pos - nBufStart_);
        return;
    }
    hFile.Seek(pos);
    nBufStart_ = pos;
    nPos_ = 0;
    nLen_ = 0;
}

}  // namespace sonvex::mp3
