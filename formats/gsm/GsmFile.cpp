#include "formats/gsm/GsmFile.h"

#include <climits>
#include <cstring>

#include "platform/Debug.h"

namespace sonvex {

LGSMFileSource::LGSMFileSource(const std::string& path)
    : LGSMFileSource(LByteSource::OpenFile(path)) {
    if (ErrorState != LSRC_OK)
        DebugLog("LGSMFileSource::LGSMFileSource Unable to open file: %s", path.c_str());
}

LGSMFileSource::LGSMFileSource(LByteSource&& bytes)
    : LSoundSourceBase(8000, 1, 0xFFFE0), hFile_(std::move(bytes)) {
    if (!hFile_.IsOpen()) {
        ErrorState = LSRC_CANNOT_OPEN;
        return;
    }
    int64_t frames = hFile_.GetFileSizeBytes() / kGsmFrameBytes;
    int64_t samples = frames * kGsmFrameSamples;
    sLength_ = samples > INT32_MAX ? (INT32_MAX / kGsmFrameSamples) * kGsmFrameSamples
                                   : static_cast<int32_t>(samples);
}

void LGSMFileSource::ReadAhead(int64_t nSamples) {
    int want = static_cast<int>((nSamples + kGsmFrameSamples - 1) / kGsmFrameSamples);
    if (want > kReadAheadFrames) want = kReadAheadFrames;
    int64_t got = hFile_.Read(frames_, static_cast<int64_t>(want) * kGsmFrameBytes);
    nFramesRead_ = static_cast<int>(got / kGsmFrameBytes);
    iFrameNext_ = 0;
    // A partial frame at the end is not part of the stream; leave the file before it.
    if (got % kGsmFrameBytes) hFile_.Seek(-(got % kGsmFrameBytes), LFile::Origin::Current);
}

void LGSMFileSource::DecodeNextFrame(int32_t* pOut) {
    if (iFrameNext_ >= nFramesRead_) ReadAhead(kGsmFrameSamples);
    if (iFrameNext_ >= nFramesRead_) {
        std::memset(pOut, 0, sizeof(int32_t) * kGsmFrameSamples);
        return;
    }
    LGSMFrame::DecodeNormal(state_, frames_ + iFrameNext_ * kGsmFrameBytes, pOut);
    ++iFrameNext_;
}

void LGSMFileSource::Read(int32_t* pBuffer, int frames) {
    if (frames <= 0) return;
    int64_t oldPos = sPosition_;
    int64_t newPos = oldPos + frames;
    sPosition_ = newPos > INT32_MAX ? INT32_MAX : static_cast<int32_t>(newPos);
    if (newPos <= 0) {
        std::memset(pBuffer, 0, sizeof(int32_t) * static_cast<size_t>(frames));
        return;
    }
    int32_t* pOut = pBuffer;
    int64_t rest = frames;
    if (oldPos < 0) {
        std::memset(pOut, 0, sizeof(int32_t) * static_cast<size_t>(-oldPos));
        pOut += -oldPos;
        rest = newPos;
    }
    int64_t real = rest;
    if (sLength_ < newPos) real -= newPos - sLength_;
    if (real < 0) real = 0;
    int64_t tail = rest - real;

    if (real > 0 && iBufferIndex_ < kGsmFrameSamples) {
        int64_t n = kGsmFrameSamples - iBufferIndex_;
        if (n > real) n = real;
        std::memcpy(pOut, buffer_ + iBufferIndex_, sizeof(int32_t) * static_cast<size_t>(n));
        iBufferIndex_ += static_cast<int>(n);
        pOut += n;
        real -= n;
    }
    if (real > 0 && iFrameNext_ >= nFramesRead_) ReadAhead(real);
    while (real >= kGsmFrameSamples) {
        DecodeNextFrame(pOut);
        pOut += kGsmFrameSamples;
        real -= kGsmFrameSamples;
    }
    if (real > 0) {
        DecodeNextFrame(buffer_);
        std::memcpy(pOut, buffer_, sizeof(int32_t) * static_cast<size_t>(real));
        iBufferIndex_ = static_cast<int>(real);
        pOut += real;
    }
    if (tail > 0) std::memset(pOut, 0, sizeof(int32_t) * static_cast<size_t>(tail));
}

void LGSMFileSource::Seek(int32_t frame) {
    state_.Reset();
    nFramesRead_ = iFrameNext_ = 0;
    iBufferIndex_ = kGsmFrameSamples;
    sPosition_ = frame;
    if (frame > 0 && frame <= sLength_) {
        hFile_.Seek(static_cast<int64_t>(frame / kGsmFrameSamples) * kGsmFrameBytes);
        DecodeNextFrame(buffer_);
        iBufferIndex_ = frame % kGsmFrameSamples;
    } else if (frame > sLength_) {
        hFile_.Seek(static_cast<int64_t>(sLength_ / kGsmFrameSamples) * kGsmFrameBytes);
    } else {
        hFile_.Seek(0);
    }
}

LGSMFileSink::LGSMFileSink(const std::string& path) : LSoundSinkBase(8000, 1) {
    if (!hFile_.Open(path, LFile::Mode::Write)) {
        DebugLog("LGSMFileSink::LGSMFileSink unable to open file: %s", path.c_str());
        uErrorFlags |= kErrorUnusable;
    }
}

LGSMFileSink::~LGSMFileSink() {
    if (!bFinished_) Finish();
}

bool LGSMFileSink::Finish() {
    if (bFinished_) return !IsUnusable();
    bFinished_ = true;
    if (nPending_ > 0) {
        std::memset(pending_ + nPending_, 0,
                    sizeof(int32_t) * static_cast<size_t>(kGsmFrameSamples - nPending_));
        Encode(pending_);
        nPending_ = 0;
        Flush();
    }
    hFile_.Close();
    return !IsUnusable();
}

void LGSMFileSink::Encode(const int32_t* pSamples) {
    if (nFrames_ == kFrameBufferFrames) Flush();
    LGSMFrame::EncodeNormal(state_, pSamples, frames_ + nFrames_ * kGsmFrameBytes);
    ++nFrames_;
}

void LGSMFileSink::Flush() {
    if (nFrames_ > 0 &&
        !hFile_.WriteExact(frames_, static_cast<int64_t>(nFrames_) * kGsmFrameBytes))
        uErrorFlags |= kErrorUnusable;
    nFrames_ = 0;
}

void LGSMFileSink::Write(const int32_t* pBuffer, int frames) {
    if (frames <= 0 || bFinished_) return;
    sPosition += frames;
    int i = 0;
    if (nPending_ > 0) {
        int take = kGsmFrameSamples - nPending_;
        if (take > frames) take = frames;
        std::memcpy(pending_ + nPending_, pBuffer, sizeof(int32_t) * static_cast<size_t>(take));
        nPending_ += take;
        i = take;
        if (nPending_ == kGsmFrameSamples) {
            Encode(pending_);
            nPending_ = 0;
        }
    }
    for (; frames - i >= kGsmFrameSamples; i += kGsmFrameSamples) Encode(pBuffer + i);
    Flush();
    if (i < frames) {
        std::memcpy(pending_, pBuffer + i, sizeof(int32_t) * static_cast<size_t>(frames - i));
        nPending_ = frames - i;
    }
}

}  // namespace sonvex
