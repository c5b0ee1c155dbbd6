#include "formats/pcm/RawFileData.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/Debug.h"

namespace sonvex {

LRawFileDataSoundSourceBase::LRawFileDataSoundSourceBase(LByteSource&& file, int32_t rate,
                                                         uint32_t dataBytes, int bytesPerSample,
                                                         int32_t maxAmplitude, int nChannels)
    : LSoundSourceBase(rate, nChannels, maxAmplitude), hFile(std::move(file)) {
    if (!hFile.IsOpen()) {
        DebugLog("LRawFileDataSoundSourceBase::LRawFileDataSoundSourceBase File Not Open");
        ErrorState = LSRC_CANNOT_OPEN;
    }
    nDataStart = hFile.IsOpen() ? hFile.Tell() : 0;
    nFrameBytes = bytesPerSample * (nChannels > 0 ? nChannels : 0);
    if (nFrameBytes <= 0) {
        DebugLog("LRawFileDataSoundSourceBase::LRawFileDataSoundSourceBase nFrameBytes == 0");
        ErrorState = LSRC_CORRUPT;
        nFrameBytes = 2;
    }
    if (dataBytes == kUnknownDataLength) {
        sLength = -1;
    } else {
        // A declared length past the end of the file (a cut-off download, a header written
        // before the length was known) holds only the bytes there.
        const int64_t present = std::max<int64_t>(hFile.GetFileSizeBytes() - nDataStart, 0);
        const int64_t frames = std::min<int64_t>(dataBytes, present) / nFrameBytes;
        sLength = frames > INT32_MAX ? INT32_MAX : static_cast<int32_t>(frames);
    }
}

int32_t LRawFileDataSoundSourceBase::GetLength() {
    if (sLength >= 0) return sLength;
    int64_t bytes = hFile.GetFileSizeBytes() - nDataStart;
    if (bytes <= 0) return 0;
    int64_t frames = bytes / nFrameBytes;
    return frames > INT32_MAX ? INT32_MAX : static_cast<int32_t>(frames);
}

void LRawFileDataSoundSourceBase::Seek(int32_t frame) {
    sPosition = frame;
    int64_t offset = nDataStart;
    if (frame > 0) offset += static_cast<int64_t>(std::min(frame, GetLength())) * nFrameBytes;
    hFile.Seek(offset);
}

void LRawFileDataSoundSourceBase::ReadFrames(int32_t* pBuffer, int frames, uint8_t* pBytes) {
    if (frames <= 0) return;
    if (frames > kBlockFrames) frames = kBlockFrames;
    const int nChan = nChans;
    int64_t oldPos = sPosition;
    int64_t newPos = oldPos + frames;
    sPosition = newPos > INT32_MAX ? INT32_MAX : static_cast<int32_t>(newPos);
    if (newPos <= 0) {
        std::memset(pBuffer, 0, sizeof(int32_t) * static_cast<size_t>(frames) * nChan);
        return;
    }
    int32_t* pOut = pBuffer;
    int64_t remaining = frames;
    if (oldPos < 0) {
        std::memset(pOut, 0, sizeof(int32_t) * static_cast<size_t>(-oldPos) * nChan);
        pOut += -oldPos * nChan;
        remaining = newPos;
    }
    int64_t toRead = remaining;
    if (sLength >= 0 && sLength < newPos) toRead -= newPos - sLength;
    if (toRead < 0) toRead = 0;
    int64_t got = 0;
    if (toRead > 0) {
        int64_t bytes = hFile.Read(pBytes, toRead * nFrameBytes);
        got = bytes / nFrameBytes;
        Decode(pBytes, pOut, static_cast<int>(got * nChan));
    }
    std::memset(pOut + got * nChan, 0,
                sizeof(int32_t) * static_cast<size_t>(remaining - got) * nChan);
}

LSoundSourceBase* NewRawFileDataSource(int iCodec, LByteSource&& file, int32_t rate,
                                       uint32_t dataBytes, int nChannels) {
    switch (iCodec) {
        case kCodecULaw:
            return new LRawFileDataSoundSource<LCodecULaw>(std::move(file), rate, dataBytes,
                                                           nChannels);
        case kCodecALaw:
            return new LRawFileDataSoundSource<LCodecALaw>(std::move(file), rate, dataBytes,
                                                           nChannels);
        case kCodecPcm16LE:
            return new LRawFileDataSoundSource<LCodecPcm16LE>(std::move(file), rate, dataBytes,
                                                              nChannels);
        case kCodecU8:
            return new LRawFileDataSoundSource<LCodecU8>(std::move(file), rate, dataBytes,
                                                         nChannels);
        case kCodecS8:
            return new LRawFileDataSoundSource<LCodecS8>(std::move(file), rate, dataBytes,
                                                         nChannels);
        case kCodecPcm16BE:
            return new LRawFileDataSoundSource<LCodecPcm16BE>(std::move(file), rate, dataBytes,
                                                              nChannels);
        default:
            return nullptr;
    }
}

LRawFileDataSoundSinkBase::LRawFileDataSoundSinkBase(const char* szPath, int32_t rate,
                                                     HeaderWriter writeHeader, int bytesPerSample,
                                                     int nChannels)
    : LSoundSinkBase(rate, nChannels), WriteHeader(writeHeader) {
    if (!hFile.Open(szPath, LFile::Mode::Write)) {
        DebugLog("LRawFileDataSoundSinkBase::LRawFileDataSoundSinkBase unable to open file: %s",
                 szPath);
        uErrorFlags |= kErrorUnusable;
    }
    nFrameBytes = bytesPerSample * nChans;
    nHeaderBytes = WriteHeader(*this, false);
    sPosition = 0;
}

LRawFileDataSoundSinkBase::~LRawFileDataSoundSinkBase() {
    if (!bFinished_) Finish();
}

bool LRawFileDataSoundSinkBase::Finish() {
    if (bFinished_) return !IsUnusable();
    bFinished_ = true;
    if (hFile.IsOpen()) {
        hFile.Seek(0);
        WriteHeader(*this, true);
        hFile.Close();
    }
    return !IsUnusable();
}

void LRawFileDataSoundSinkBase::WriteHeaderBytes(const uint8_t* p, int32_t n) {
    if (!hFile.WriteExact(p, n)) uErrorFlags |= kErrorUnusable;
}

void LRawFileDataSoundSinkBase::Seek(int32_t frame) {
    if (bFinished_ || frame > sPosition) return;
    sPosition = frame < 0 ? 0 : frame;
    hFile.Seek(nHeaderBytes + static_cast<int64_t>(sPosition) * nFrameBytes);
    hFile.Truncate();
}

int32_t WriteHeaderNone(LRawFileDataSoundSinkBase&, bool) {
    return 0;
}

LSoundSinkBase* NewRawFileDataSink(int iCodec, const char* szPath, int32_t rate,
                                   LRawFileDataSoundSinkBase::HeaderWriter writeHeader,
                                   int nChannels) {
    switch (iCodec) {
        case kCodecULaw:
            return new LRawFileDataSoundSink<LCodecULaw>(szPath, rate, writeHeader, nChannels);
        case kCodecALaw:
            return new LRawFileDataSoundSink<LCodecALaw>(szPath, rate, writeHeader, nChannels);
        case kCodecPcm16LE:
            return new LRawFileDataSoundSink<LCodecPcm16LE>(szPath, rate, writeHeader, nChannels);
        case kCodecU8:
            return new LRawFileDataSoundSink<LCodecU8>(szPath, rate, writeHeader, nChannels);
        case kCodecS8:
            return new LRawFileDataSoundSink<LCodecS8>(szPath, rate, writeHeader, nChannels);
        case kCodecPcm16BE:
            return new LRawFileDataSoundSink<LCodecPcm16BE>(szPath, rate, writeHeader, nChannels);
        default:
            return nullptr;
    }
}

}  // namespace sonvex
