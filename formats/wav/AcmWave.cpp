#include "formats/wav/AcmWave.h"

#include <algorithm>
#include <cstring>

#include "platform/Debug.h"

namespace sonvex {

namespace {

constexpr uint32_t kStreamingSize = 0xFFFFFFFF;

uint8_t ErrorFor(LCodecResult r) {
    return r == LCodecResult::InvalidFormat ? LSRC_CORRUPT : LSRC_UNSUPPORTED;
}

}  // namespace

// ---- decoding ----

LSRCACMWave::LSRCACMWave(LByteSource&& file, const WAVEFORMATEX& format, uint32_t dataSize)
    : LSoundSourceBase(static_cast<int32_t>(format.nSamplesPerSec), format.nChannels, kFullScale16),
      file_(std::move(file)) {
    if (!file_.IsOpen()) {
        DebugLog("LSRCACMWave::LSRCACMWave hFile == INVALID_HANDLE_VALUE ERROR");
        ErrorState = LSRC_CANNOT_OPEN;
        return;
    }
    iDataStart_ = file_.Tell();
    nDataSize_ = dataSize;
    if (nDataSize_ == kStreamingSize)
        nDataSize_ = static_cast<uint32_t>(
            std::clamp<int64_t>(file_.GetFileSizeBytes() - iDataStart_, 0, kStreamingSize - 1));
    nRate_ = format.nSamplesPerSec;
    nBytesPerSec_ = format.nAvgBytesPerSec ? format.nAvgBytesPerSec : nRate_;
    nBlockAlign_ = format.nBlockAlign;
    const std::vector<uint8_t> record = format.Serialize();
    const std::vector<uint8_t> pcm = WAVEFORMATEX::Pcm16(nRate_, format.nChannels).Serialize();
    LCodecResult r = LCodecStream::Open(stream_, record, pcm, 0);
    if (r != LCodecResult::Ok) r = LCodecStream::Open(stream_, record, pcm, kCodecOpenNonRealtime);
    if (r != LCodecResult::Ok || !stream_) {
        DebugLog("LSRCACMWave::LSRCACMWave acmStreamOpen handle invalid ERROR");
        ErrorState = ErrorFor(r);
        return;
    }
    nDstSize_ = static_cast<uint32_t>(kBlockFrames) * nChans * 2;
    if (stream_->Size(nDstSize_, nSrcSize_, LCodecStream::SizeQuery::Destination) !=
            LCodecResult::Ok ||
        nSrcSize_ == 0) {
        DebugLog("LSRCACMWave::LSRCACMWave acmStreamSize ERROR");
        ErrorState = LSRC_UNSUPPORTED;
        return;
    }
    uint32_t blockBytes = 0;
    if (nBlockAlign_ && stream_->Size(nBlockAlign_, blockBytes, LCodecStream::SizeQuery::Source) ==
                            LCodecResult::Ok)
        nBlockFrames_ = blockBytes / (2u * nChans);
    pSrc_.reset(new uint8_t[nSrcSize_]);
    pDst_.reset(new uint8_t[nDstSize_]);
    header_.pbSrc = pSrc_.get();
    header_.pbDst = pDst_.get();
    header_.cbDstLength = nDstSize_;
    header_.cbSrcLength = 0;
    header_.cbDstLengthUsed = 0;
}

int64_t LSRCACMWave::BytesToFrames(int64_t b) const {
    if (nBlockFrames_) return b / nBlockAlign_ * nBlockFrames_;
    return (b / nBytesPerSec_) * nRate_ + ((b % nBytesPerSec_) * nRate_) / nBytesPerSec_;
}

int64_t LSRCACMWave::FramesToBytes(int64_t f) const {
    if (nBlockFrames_)
        return (f / nBlockFrames_) * nBlockAlign_ +
               ((f % nBlockFrames_) * nBlockAlign_) / nBlockFrames_;
    return (f / nRate_) * nBytesPerSec_ + ((f % nRate_) * nBytesPerSec_) / nRate_;
}

bool LSRCACMWave::Convert(unsigned flags, int64_t bytesNeeded) {
    header_.pbDst = pDst_.get();
    header_.cbDstLength = nDstSize_;
    if (stream_->Convert(header_, flags) == LCodecResult::Ok) return true;
    DebugLog((flags & kCodecConvertEnd)
                 ? "LSRCACMWave::Read acmStreamConvert(ACM_STREAMCONVERTF_END) FAILED"
                 : "LSRCACMWave::Read acmStreamConvert FAILED");
    header_.cbDstLengthUsed = 0;
    sEnd_ = static_cast<int32_t>(
        std::max<int64_t>(sPosition_ - bytesNeeded / (2 * static_cast<int64_t>(nChans)), 0));
    return false;
}

void LSRCACMWave::Read(int32_t* pBuffer, int frames) {
    const int32_t old = sPosition_;
    sPosition_ += frames;
    const int64_t samples = static_cast<int64_t>(frames) * nChans;
    if (ErrorState != LSRC_OK || sPosition_ <= 0) {
        std::fill(pBuffer, pBuffer + samples, 0);
        return;
    }
    int32_t* out = pBuffer;
    if (old < 0) {
        std::fill(out, out + static_cast<int64_t>(-old) * nChans, 0);
        out += static_cast<int64_t>(-old) * nChans;
    }
    int64_t need = (pBuffer + samples - out) * 2;
    for (;;) {
        const uint32_t carry = header_.cbDstLengthUsed - nCarryAt_;
        const int64_t n = std::min<int64_t>(carry, need) & ~int64_t{1};
        const uint8_t* from = pDst_.get() + nCarryAt_;
        for (int64_t i = 0; i < n / 2; ++i) {
            int16_t v;
            std::memcpy(&v, from + 2 * i, 2);
            out[i] = SampleFrom16(v);
        }
        out += n / 2;
        need -= n;
        nCarryAt_ += static_cast<uint32_t>(n);
        if (need <= 1) break;
        header_.cbDstLengthUsed = 0;
        nCarryAt_ = 0;
        if (sEnd_ >= 0) {
            std::fill(out, pBuffer + samples, 0);
            return;
        }
        // Fill the source up to its size, never past the data chunk.
        const uint32_t room = std::min(nSrcSize_ - header_.cbSrcLength, nDataSize_ - nConsumed_);
        const int64_t got = room ? file_.Read(pSrc_.get() + header_.cbSrcLength, room) : 0;
        nConsumed_ += static_cast<uint32_t>(got);
        header_.cbSrcLength += static_cast<uint32_t>(got);
        if (!Convert(kCodecConvertBlockAlign, need)) continue;
        uint32_t used = header_.cbSrcLengthUsed;
        if (header_.cbDstLengthUsed == 0 && header_.cbSrcLength < nSrcSize_) {
            // The file is exhausted: what the codec still holds comes out.
            header_.pbSrc = pSrc_.get() + used;
            header_.cbSrcLength -= used;
            const bool ok = Convert(kCodecConvertEnd, need);
            header_.pbSrc = pSrc_.get();
            header_.cbSrcLength += used;
            used += ok ? header_.cbSrcLengthUsed : header_.cbSrcLength - used;
            if (ok && header_.cbDstLengthUsed == 0) {
                DebugLog("LSRCACMWave::Read End Reached");
                sEnd_ = static_cast<int32_t>(
                    std::max<int64_t>(sPosition_ - need / (2 * static_cast<int64_t>(nChans)), 0));
            }
        }
        std::memmove(pSrc_.get(), pSrc_.get() + used, header_.cbSrcLength - used);
        header_.cbSrcLength -= used;
    }
}

int32_t LSRCACMWave::GetLength() {
    if (ErrorState != LSRC_OK) return 0;
    if (sEnd_ >= 0) return sEnd_;
    const int64_t carry = (header_.cbDstLengthUsed - nCarryAt_) / (2 * nChans);
    const int64_t left = static_cast<int64_t>(nDataSize_) - nConsumed_ + header_.cbSrcLength;
    const int64_t estimate = carry + std::max(sPosition_, 0) + BytesToFrames(left);
    // Until the end is met the stream goes on at least one frame past the position, so that
    // an estimate that falls short never ends a read early.
    return static_cast<int32_t>(
        std::min<int64_t>(std::max<int64_t>(estimate, int64_t{sPosition_} + 1), INT32_MAX));
}

void LSRCACMWave::Seek(int32_t frame) {
    if (ErrorState != LSRC_OK) return;
    header_.cbSrcLength = 0;
    header_.cbDstLengthUsed = 0;
    nCarryAt_ = 0;
    Convert(kCodecConvertStart, 0);
    header_.cbDstLengthUsed = 0;
    nConsumed_ = 0;
    sEnd_ = -1;
    if (frame <= 0) {
        file_.Seek(iDataStart_);
    } else {
        int64_t offset = FramesToBytes(frame);
        if (offset > nDataSize_) {
            nConsumed_ = nDataSize_;
            file_.Seek(iDataStart_ + nDataSize_);
            sEnd_ = static_cast<int32_t>(std::min<int64_t>(BytesToFrames(nDataSize_), INT32_MAX));
        } else {
            if (offset > 256) offset -= 256;
            if (nBlockAlign_) offset -= offset % nBlockAlign_;
            file_.Seek(iDataStart_ + offset);
            nConsumed_ = static_cast<uint32_t>(offset);
            sPosition_ = static_cast<int32_t>(BytesToFrames(offset));
            std::vector<int32_t> discard(static_cast<size_t>(kBlockFrames) * nChans);
            while (sPosition_ < frame && sEnd_ < 0)
                Read(discard.data(), std::min(frame - sPosition_, kBlockFrames));
        }
    }
    sPosition_ = frame;
}

LSoundSourceRef OpenACMWaveSource(LByteSource&& file, const WAVEFORMATEX& format,
                                  uint32_t dataSize) {
    return LSoundSourceRef(new LSRCACMWave(std::move(file), format, dataSize));
}

// ---- encoding ----

LSNKACMFile::LSNKACMFile(const std::string& path, const WAVEFORMATEX& format)
    : LSoundSinkBase(static_cast<int32_t>(format.nSamplesPerSec),
                     format.nChannels ? format.nChannels : 1) {
    if (format.nChannels == 0) uErrorFlags |= kErrorUnusable;
    record_ = format.Serialize();
    const std::vector<uint8_t> pcm = WAVEFORMATEX::Pcm16(format.nSamplesPerSec, nChans).Serialize();
    LCodecResult r = LCodecStream::Open(stream_, pcm, record_, 0);
    if (r != LCodecResult::Ok) r = LCodecStream::Open(stream_, pcm, record_, kCodecOpenNonRealtime);
    if (r != LCodecResult::Ok || !stream_) {
        DebugLog("LSNKACMFile::LSNKACMFile acmStreamOpen handle invalid ERROR");
        uErrorFlags |= kErrorUnusable;
        stream_.reset();
        return;
    }
    nSrcSize_ = static_cast<uint32_t>(kBlockFrames) * nChans * 2;
    if (stream_->Size(nSrcSize_, nDstSize_, LCodecStream::SizeQuery::Source) != LCodecResult::Ok ||
        nDstSize_ == 0) {
        DebugLog("LSNKACMFile::LSNKACMFile acmStreamSize <= 0 ERROR");
        uErrorFlags |= kErrorUnusable;
        stream_.reset();
        return;
    }
    // The file is created only for a record that can be written.
    if (!file_.Open(path, LFile::Mode::Write)) {
        DebugLog("LSNKACMFile::LSNKACMFile unable to open file:%s", path.c_str());
        uErrorFlags |= kErrorUnusable;
        stream_.reset();
        return;
    }
    pSrc_.reset(new uint8_t[nSrcSize_]);
    pDst_.reset(new uint8_t[nDstSize_]);
    header_.pbSrc = pSrc_.get();
    header_.pbDst = pDst_.get();
    WriteHeader(kStreamingSize, kStreamingSize);
    file_.Truncate();
}

LSNKACMFile::~LSNKACMFile() {
    if (!bFinished_) Finish();
}

void LSNKACMFile::WriteHeader(uint32_t dataBytes, uint32_t riffBytes) {
    std::vector<uint8_t> h(28 + record_.size());
    std::memcpy(&h[0], "RIFF", 4);
    SetLE32(&h[4], riffBytes);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    SetLE32(&h[16], static_cast<uint32_t>(record_.size()));
    std::memcpy(&h[20], record_.data(), record_.size());
    const size_t at = 20 + record_.size();
    std::memcpy(&h[at], "data", 4);
    SetLE32(&h[at + 4], dataBytes);
    if (!file_.WriteExact(h.data(), static_cast<int64_t>(h.size()))) uErrorFlags |= kErrorUnusable;
}

void LSNKACMFile::WriteOutput() {
    if (header_.cbDstLengthUsed && !file_.WriteExact(pDst_.get(), header_.cbDstLengthUsed))
        uErrorFlags |= kErrorUnusable;
    nDataBytes_ += header_.cbDstLengthUsed;
    header_.cbDstLengthUsed = 0;
}

void LSNKACMFile::Write(const int32_t* pBuffer, int frames) {
    if (frames <= 0) return;
    sPosition += frames;
    if (IsUnusable() || bFinished_ || !stream_) return;
    const int64_t frameBytes = 2 * static_cast<int64_t>(nChans);
    int64_t left = static_cast<int64_t>(frames) * nChans;
    while (left > 0) {
        const int64_t n = std::min<int64_t>(left, (nSrcSize_ - nSrcFill_) / frameBytes * nChans);
        uint8_t* to = pSrc_.get() + nSrcFill_;
        for (int64_t i = 0; i < n; ++i) {
            const int16_t v = SampleTo16(pBuffer[i]);
            std::memcpy(to + 2 * i, &v, 2);
        }
        pBuffer += n;
        left -= n;
        nSrcFill_ += static_cast<uint32_t>(n * 2);
        header_.pbSrc = pSrc_.get();
        header_.cbSrcLength = nSrcFill_;
        header_.pbDst = pDst_.get();
        header_.cbDstLength = nDstSize_;
        if (stream_->Convert(header_, kCodecConvertBlockAlign) != LCodecResult::Ok) {
            uErrorFlags |= kErrorUnusable;
            return;
        }
        if (header_.cbSrcLengthUsed == 0 && nSrcFill_ == nSrcSize_) {
            DebugLog("LSNKACMFile::Write acmStreamConvert is not using the src!");
            return;
        }
        WriteOutput();
        std::memmove(pSrc_.get(), pSrc_.get() + header_.cbSrcLengthUsed,
                     nSrcFill_ - header_.cbSrcLengthUsed);
        nSrcFill_ -= header_.cbSrcLengthUsed;
    }
}

bool LSNKACMFile::Finish() {
    if (bFinished_) return !IsUnusable();
    bFinished_ = true;
    if (!file_.IsOpen()) return !IsUnusable();
    if (stream_) {
        // The rest of the source with the end flag; a codec with more output than one
        // destination holds gives it on the following calls.
        for (int i = 0; i < 64; ++i) {
            header_.pbSrc = pSrc_.get();
            header_.cbSrcLength = nSrcFill_;
            header_.pbDst = pDst_.get();
            header_.cbDstLength = nDstSize_;
            if (stream_->Convert(header_, kCodecConvertEnd) != LCodecResult::Ok) {
                uErrorFlags |= kErrorUnusable;
                break;
            }
            nSrcFill_ = 0;
            if (header_.cbDstLengthUsed == 0) break;
            WriteOutput();
        }
        stream_.reset();
    }
    const uint64_t riff = nDataBytes_ + record_.size() + 20;
    file_.Seek(0);
    WriteHeader(nDataBytes_ >= kStreamingSize ? kStreamingSize : static_cast<uint32_t>(nDataBytes_),
                riff >= kStreamingSize ? kStreamingSize : static_cast<uint32_t>(riff));
    file_.Close();
    return !IsUnusable();
}

}  // namespace sonvex
