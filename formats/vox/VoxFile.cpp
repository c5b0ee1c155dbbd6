#include "formats/vox/VoxFile.h"

#include <climits>
#include <cstring>

#include "platform/Debug.h"

namespace sonvex {

namespace {

constexpr int32_t kStepSize[49] = {
    16,  17,  19,  21,  23,  25,  28,  31,  34,  37,  41,   45,   50,   55,   60,  66,  73,
    80,  88,  97,  107, 118, 130, 143, 157, 173, 190, 209,  230,  253,  279,  307, 337, 371,
    408, 449, 494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552};

constexpr int32_t kMultiplier[16] = {16,  48,  80,  112,  144,  176,  208,  240,
                                     -16, -48, -80, -112, -144, -176, -208, -240};

constexpr int32_t kIndexAdjust[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

constexpr int kVoxBufferBytes = 8192;

int ClampStep(int32_t i) {
    return i < 0 ? 0 : (i > 48 ? 48 : i);
}

}  // namespace

int32_t LVoxState::DecodeNibble(int nibble) {
    iStep = ClampStep(iStep);
    iPredictor = iPredictor + kStepSize[iStep] * kMultiplier[nibble] - (iPredictor >> 6);
    iStep += kIndexAdjust[nibble];
    return iPredictor;
}

int LVoxState::EncodeSample(int32_t x) {
    iStep = ClampStep(iStep);
    iPredictor -= iPredictor >> 6;
    int64_t q = (static_cast<int64_t>(x) - iPredictor) / kStepSize[iStep];
    int nibble = 0;
    if (q < 0) {
        nibble = 8;
        q = -q;
    }
    if (q >= 132) {
        nibble |= 4;
        q -= 132;
    }
    if (q >= 66) {
        nibble |= 2;
        q -= 66;
    }
    if (q >= 33) nibble |= 1;
    iPredictor += kStepSize[iStep] * kMultiplier[nibble];
    iStep += kIndexAdjust[nibble];
    return nibble;
}

LSRCVOX::LSRCVOX(const char* szFileName, int32_t rate)
    : LSRCVOX(LByteSource::OpenFile(szFileName), rate) {
    if (ErrorState != LSRC_OK) DebugLog("LSRCVOX::LSRCVOX Unable to open file: %s", szFileName);
}

LSRCVOX::LSRCVOX(LByteSource&& bytes, int32_t rate)
    : LSoundSourceBase(rate, 1, 0x200000), hFile_(std::move(bytes)), buffer_(kVoxBufferBytes) {
    if (!hFile_.IsOpen()) ErrorState = LSRC_CANNOT_OPEN;
}

int32_t LSRCVOX::GetLength() {
    int64_t frames = hFile_.GetFileSizeBytes() * 2;
    return frames > INT32_MAX ? INT32_MAX : static_cast<int32_t>(frames);
}

void LSRCVOX::Read(int32_t* pBuffer, int frames) {
    if (frames <= 0) return;
    if (frames > kBlockFrames) frames = kBlockFrames;
    int64_t oldPos = sPosition_;
    int64_t newPos = oldPos + frames;
    sPosition_ = newPos > INT32_MAX ? INT32_MAX : static_cast<int32_t>(newPos);
    int32_t* pOut = pBuffer;
    int remaining = frames;
    if (oldPos < 0) {
        int lead = newPos <= 0 ? frames : static_cast<int>(-oldPos);
        std::memset(pOut, 0, sizeof(int32_t) * static_cast<size_t>(lead));
        pOut += lead;
        remaining -= lead;
    }
    if (remaining > 0 && bPending_) {
        *pOut++ = state_.DecodeNibble(uPendingByte_ & 15);
        bPending_ = 0;
        --remaining;
    }
    if (remaining <= 0) return;
    int64_t got = hFile_.Read(buffer_.data(), (remaining + 1) / 2);
    for (int64_t i = 0; i < got; ++i) {
        uint8_t b = buffer_[static_cast<size_t>(i)];
        *pOut++ = state_.DecodeNibble(b >> 4);
        if (--remaining == 0) {
            bPending_ = 1;
            uPendingByte_ = b;
            break;
        }
        *pOut++ = state_.DecodeNibble(b & 15);
        --remaining;
    }
    if (remaining > 0) std::memset(pOut, 0, sizeof(int32_t) * static_cast<size_t>(remaining));
}

void LSRCVOX::Seek(int32_t frame) {
    state_ = LVoxState();
    bPending_ = 0;
    hFile_.Seek(0);
    sPosition_ = frame;
    // Decode up to the frame so the codec state is the one a straight read would have.
    int32_t target = frame < GetLength() ? frame : GetLength();
    int32_t done = 0;
    while (done < target) {
        int32_t want = (target - done + 1) / 2;
        if (want > kVoxBufferBytes) want = kVoxBufferBytes;
        int64_t got = hFile_.Read(buffer_.data(), want);
        if (got <= 0) break;
        for (int64_t i = 0; i < got; ++i) {
            uint8_t b = buffer_[static_cast<size_t>(i)];
            state_.DecodeNibble(b >> 4);
            if (++done == target) {
                bPending_ = 1;
                uPendingByte_ = b;
                break;
            }
            state_.DecodeNibble(b & 15);
            ++done;
        }
    }
}

LSNKVOX::LSNKVOX(const char* szFileName, int32_t rate)
    : LSoundSinkBase(rate, 1), buffer_(kVoxBufferBytes / 2 + 1) {
    if (!hFile_.Open(szFileName, LFile::Mode::Write)) {
        DebugLog("LSNKVOX::LSNKVOX unable to open file: %s", szFileName);
        uErrorFlags |= kErrorUnusable;
    }
}

LSNKVOX::~LSNKVOX() {
    if (!bFinished_) Finish();
}

bool LSNKVOX::Finish() {
    bFinished_ = true;
    hFile_.Close();
    return !IsUnusable();
}

void LSNKVOX::Write(const int32_t* pBuffer, int frames) {
    if (frames <= 0 || bFinished_) return;
    if (frames > kBlockFrames) frames = kBlockFrames;
    size_t nBytes = 0;
    int i = 0;
    if (bPending_) {
        buffer_[nBytes++] = static_cast<uint8_t>(uPendingByte_ | state_.EncodeSample(pBuffer[i++]));
        bPending_ = 0;
    }
    for (; i + 1 < frames; i += 2) {
        int hi = state_.EncodeSample(pBuffer[i]);
        int lo = state_.EncodeSample(pBuffer[i + 1]);
        buffer_[nBytes++] = static_cast<uint8_t>((hi << 4) | lo);
    }
    if (i < frames) {
        uPendingByte_ = static_cast<uint8_t>(state_.EncodeSample(pBuffer[i]) << 4);
        bPending_ = 1;
    }
    if (nBytes > 0 && !hFile_.WriteExact(buffer_.data(), static_cast<int64_t>(nBytes)))
        uErrorFlags |= kErrorUnusable;
}

}  // namespace sonvex
