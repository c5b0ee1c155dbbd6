// Sound sources: the pull side of every conversion and playback chain.
//
// Samples are signed 32-bit, channels interleaved; a 16-bit value v is held as v << 4.
// Every count, position and length is in frames. No caller reads more than kBlockFrames
// frames at once.
#pragma once

#include <atomic>
#include <cstdint>

namespace sonvex {

inline constexpr int kBlockFrames = 8192;
inline constexpr int32_t kFullScale16 = 0x7FFF0;  // 32767 << 4

// Internal <-> 16-bit PCM. No clipping: the peak limiter keeps values in range.
inline int16_t SampleTo16(int32_t x) {
    return static_cast<int16_t>((x + 8) >> 4);
}
inline int32_t SampleFrom16(int16_t v) {
    return static_cast<int32_t>(v) * 16;
}

// Internal <-> unsigned 8-bit PCM. Values from 0x7F800 upward would round to 128, one step
// beyond the top; they are held at 127 so the byte never wraps to the bottom of the range.
inline uint8_t SampleToU8(int32_t x) {
    int64_t v = (static_cast<int64_t>(x) + 2048) >> 12;
    v = v > 127 ? 127 : v;
    return static_cast<uint8_t>(v - 128);
}
inline int32_t SampleFromU8(uint8_t b) {
    return (static_cast<int32_t>(b) - 128) * 4096;
}

// Signed 8-bit with the same saturation at the top.
inline int8_t SampleToS8(int32_t x) {
    int64_t v = (static_cast<int64_t>(x) + 2048) >> 12;
    v = v > 127 ? 127 : v;
    return static_cast<int8_t>(v);
}

// ErrorState values.
enum : uint8_t {
    LSRC_OK = 0,
    LSRC_NULL = 1,            // placeholder: nothing was opened
    LSRC_WRAPPED_FAILED = 2,  // a filter whose wrapped source is in error
    LSRC_CORRUPT = 3,         // invalid parameter, or data not recognised
    LSRC_CANNOT_OPEN = 4,     // the file could not be opened
    LSRC_UNSUPPORTED = 5,     // recognised, but no decoder for its format or sample size
};

// Calls op(i) for i from 0 to n - 1: in groups of a fixed size first, a loop shape the
// compiler vectorises at -O2 (given __restrict pointers), then one by one.
template <typename Op>
inline void ForEachSample(int64_t n, Op op) {
    constexpr int kGroup = 16;
    int64_t i = 0;
    for (; i + kGroup <= n; i += kGroup)
        for (int j = 0; j < kGroup; ++j) op(i + j);
    for (; i < n; ++i) op(i);
}

class LSoundSourceRef;
class LSoundSinkBase;

class LSoundSourceBase {
public:
    int32_t SampleRate;
    int32_t MaxAmplitude;
    uint8_t nChans;
    uint8_t ErrorState = LSRC_OK;

    LSoundSourceBase(int32_t rate, int nChannels, int32_t maxAmplitude);
    virtual ~LSoundSourceBase() = default;
    LSoundSourceBase(const LSoundSourceBase&) = delete;
    LSoundSourceBase& operator=(const LSoundSourceBase&) = delete;

    // Fills exactly frames * nChans samples; zeros where the stream has no data.
    virtual void Read(int32_t* pBuffer, int frames) = 0;
    virtual int32_t GetPosition() = 0;
    virtual int32_t GetLength() = 0;
    virtual void Seek(int32_t frame) { (void)frame; }
    // Writes the next frames (as many as the source chooses, none past its length) to the sink
    // unconverted, where the sink stores samples exactly as the source holds them. Returns the
    // frames written; 0 when the caller must Read and convert instead.
    virtual int CopyTo(LSoundSinkBase& sink) {
        (void)sink;
        return 0;
    }

    void SetSampleRate(int32_t rate);
    void SetChannels(int n);

private:
    friend class LSoundSourceRef;
    // Atomic so handles may be copied and released on the player's and the batch's threads.
    std::atomic<int> nRefCount_{0};
};

// The placeholder source: 11025 Hz mono, length 0, reads zeros.
class LSoundSourceNull final : public LSoundSourceBase {
public:
    explicit LSoundSourceNull(uint8_t errorState = LSRC_NULL);
    void Read(int32_t* pBuffer, int frames) override;
    int32_t GetPosition() override { return 0; }
    int32_t GetLength() override { return 0; }
};

// Counted handle to a source. Never empty: a reset handle holds a fresh LSoundSourceNull.
class LSoundSourceRef {
public:
    LSoundSourceRef();
    LSoundSourceRef(LSoundSourceBase* p);  // NOLINT: takes a newly created source
    LSoundSourceRef(const LSoundSourceRef& other);
    LSoundSourceRef& operator=(const LSoundSourceRef& other);
    LSoundSourceRef& operator=(LSoundSourceBase* p);
    ~LSoundSourceRef();

    void Reset();
    LSoundSourceBase* get() const { return p_; }
    LSoundSourceBase* operator->() const { return p_; }
    LSoundSourceBase& operator*() const { return *p_; }
    int RefCount() const { return p_->nRefCount_; }

private:
    void Assign(LSoundSourceBase* p);
    LSoundSourceBase* p_;
};

// An opener's failure result: a null source carrying the failure's ErrorState.
LSoundSourceRef MakeErrorSource(uint8_t errorState);

// A source wrapping another; position, length and seek forward to the wrapped source.
class LSRCFilterBase : public LSoundSourceBase {
public:
    explicit LSRCFilterBase(const LSoundSourceRef& source);
    int32_t GetPosition() override { return pSource->GetPosition(); }
    int32_t GetLength() override { return pSource->GetLength(); }
    void Seek(int32_t frame) override { pSource->Seek(frame); }
    const LSoundSourceRef& Wrapped() const { return pSource; }

protected:
    LSoundSourceRef pSource;
};

}  // namespace sonvex
