// File-backed sample data: a source reading frames from a region that starts at a fixed byte
// offset, and a sink writing frames behind a header that a format supplies through a hook.
// Raw, AIFF and AU files are built on these.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/SoundSink.h"
#include "audio/SoundSource.h"
#include "formats/pcm/SampleCodecs.h"
#include "support/ByteSource.h"
#include "support/File.h"

namespace sonvex {

inline constexpr uint32_t kUnknownDataLength = 0xFFFFFFFF;
// The highest sample rate a file header may declare; above it the header is taken as corrupt.
inline constexpr uint32_t kMaxHeaderRate = 1000000;

class LRawFileDataSoundSourceBase : public LSoundSourceBase {
public:
    // Takes the file over; its current position is the first frame. dataBytes is the data
    // length, cut to the whole frames the file holds, or kUnknownDataLength for "to the end of
    // the file" (followed as the file grows).
    LRawFileDataSoundSourceBase(LByteSource&& file, int32_t rate, uint32_t dataBytes,
                                int bytesPerSample, int32_t maxAmplitude, int nChannels);

    int32_t GetPosition() override { return sPosition; }
    int32_t GetLength() override;
    void Seek(int32_t frame) override;

protected:
    // Reads and decodes one request through the codec variant's buffer.
    void ReadFrames(int32_t* pBuffer, int frames, uint8_t* pBytes);
    virtual void Decode(const uint8_t* pBytes, int32_t* pOut, int nSamples) = 0;

    LByteSource hFile;
    int64_t nDataStart = 0;
    int32_t nFrameBytes = 2;
    int32_t sPosition = 0;
    int32_t sLength = -1;
};

template <class Codec>
class LRawFileDataSoundSource final : public LRawFileDataSoundSourceBase {
public:
    LRawFileDataSoundSource(LByteSource&& file, int32_t rate, uint32_t dataBytes, int nChannels)
        : LRawFileDataSoundSourceBase(std::move(file), rate, dataBytes, Codec::kBytes,
                                      Codec::kMaxAmplitude, nChannels),
          buffer_(static_cast<size_t>(kBlockFrames) * static_cast<size_t>(nFrameBytes)) {}

    void Read(int32_t* pBuffer, int frames) override {
        ReadFrames(pBuffer, frames, buffer_.data());
    }

protected:
    void Decode(const uint8_t* p, int32_t* pOut, int nSamples) override {
        for (int i = 0; i < nSamples; ++i, p += Codec::kBytes) pOut[i] = Codec::Decode(p);
    }

private:
    std::vector<uint8_t> buffer_;
};

// Builds the data source of codec 1 to 6 (null for any other codec).
LSoundSourceBase* NewRawFileDataSource(int iCodec, LByteSource&& file, int32_t rate,
                                       uint32_t dataBytes, int nChannels);

class LRawFileDataSoundSinkBase : public LSoundSinkBase {
public:
    // Writes the header at the current file position (the start of the file) and returns its
    // size. finishing is set when the sink is closed and the header gets its final sizes.
    using HeaderWriter = int32_t (*)(LRawFileDataSoundSinkBase& sink, bool finishing);

    LRawFileDataSoundSinkBase(const char* szPath, int32_t rate, HeaderWriter writeHeader,
                              int bytesPerSample, int nChannels);
    ~LRawFileDataSoundSinkBase() override;

    void Seek(int32_t frame) override;
    // Rewrites the header with the final sizes and closes the file; false when a write failed.
    bool Finish() override;

    // For header writers: writes at the current position; a short write makes the sink unusable.
    void WriteHeaderBytes(const uint8_t* p, int32_t n);

    int32_t FrameBytes() const { return nFrameBytes; }
    int32_t HeaderBytes() const { return nHeaderBytes; }
    // Bytes of sample data behind the header.
    uint32_t DataBytes() const {
        return static_cast<uint32_t>(sPosition) * static_cast<uint32_t>(nFrameBytes);
    }

protected:
    int32_t nFrameBytes = 2;
    LFile hFile;
    HeaderWriter WriteHeader;
    int32_t nHeaderBytes = 0;
    bool bFinished_ = false;
};

template <class Codec>
class LRawFileDataSoundSink final : public LRawFileDataSoundSinkBase {
public:
    LRawFileDataSoundSink(const char* szPath, int32_t rate, HeaderWriter writeHeader, int nChannels)
        : LRawFileDataSoundSinkBase(szPath, rate, writeHeader, Codec::kBytes, nChannels),
          buffer_(static_cast<size_t>(kBlockFrames) * static_cast<size_t>(nFrameBytes)) {}

    void Write(const int32_t* pBuffer, int frames) override {
        if (frames <= 0 || bFinished_) return;
        if (frames > kBlockFrames) frames = kBlockFrames;
        sPosition += frames;
        int n = frames * nChans;
        uint8_t* p = buffer_.data();
        for (int i = 0; i < n; ++i, p += Codec::kBytes) Codec::Encode(pBuffer[i], p);
        if (!hFile.WriteExact(buffer_.data(), static_cast<int64_t>(frames) * nFrameBytes))
            uErrorFlags |= kErrorUnusable;  // disk full or file gone: not a finished file
    }

private:
    std::vector<uint8_t> buffer_;
};

// The header writer of headerless files: writes nothing.
int32_t WriteHeaderNone(LRawFileDataSoundSinkBase& sink, bool finishing);

// Builds the data sink of codec 1 to 6 (null for any other codec).
LSoundSinkBase* NewRawFileDataSink(int iCodec, const char* szPath, int32_t rate,
                                   LRawFileDataSoundSinkBase::HeaderWriter writeHeader,
                                   int nChannels);

}  // namespace sonvex
