// Buffered forward reader of an MP3 file that counts the data bytes still ahead.
#pragma once

#include <cstdint>
#include <string>

#include "support/ByteSource.h"

namespace sonvex::mp3 {

class LMP3Stream {
public:
    bool Open(const std::string& path);
    bool Open(LByteSource&& bytes);
    bool IsOpen() const { return hFile.IsOpen(); }
    int64_t FileSize() { return hFile.GetFileSizeBytes(); }

    // Bytes actually read; each lowers nBytesLeft.
    int Read(uint8_t* p, int n);
    bool ReadByte(uint8_t& b) {
        if (nPos_ >= nLen_ && !Fill()) return false;
        b = buf_[nPos_++];
        --nBytesLeft;
        return true;
    }
    // Skips n bytes forward (counted like reads), or back when n is negative.
    void Skip(int n);
    void SeekTo(int64_t pos);
    int64_t Tell() const { return nBufStart_ + nPos_; }

    int32_t nBytesLeft = 0;  // estimate of data bytes ahead; may go negative

private:
    bool Fill();

    LByteSource hFile;
    static constexpr int kBufBytes = 32768;
    uint8_t buf_[kBufBytes];
    int nPos_ = 0;
    int nLen_ = 0;
    int64_t nBufStart_ = 0;  // file offset of buf_[0]
};

}  // namespace sonvex::mp3
