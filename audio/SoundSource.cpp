#include "audio/SoundSource.h"

#include <cstring>

#include "platform/Debug.h"

namespace sonvex {

LSoundSourceBase::LSoundSourceBase(int32_t rate, int nChannels, int32_t maxAmplitude)
    : SampleRate(rate), MaxAmplitude(maxAmplitude), nChans(static_cast<uint8_t>(nChannels)) {
    if (rate <= 0) {
        DebugLog("LSoundSourceBase::LSoundSourceBase SampleRate <= 0 ERROR");
        SampleRate = 44100;
        ErrorState = LSRC_CORRUPT;
    }
    if (nChannels <= 0) {
        DebugLog("LSoundSourceBase::LSoundSourceBase nChans == 0 ERROR");
        nChans = 1;
        ErrorState = LSRC_CORRUPT;
    }
}

void LSoundSourceBase::SetSampleRate(int32_t rate) {
    if (rate <= 0) {
        DebugLog("LSoundSourceBase::SetSampleRate SampleRate <= 0 ERROR");
        rate = 44100;
        ErrorState = LSRC_CORRUPT;
    }
    SampleRate = rate;
}

void LSoundSourceBase::SetChannels(int n) {
    if (n <= 0) {
        DebugLog("LSoundSourceBase::SetChannels nChans == 0 ERROR");
        n = 1;
        ErrorState = LSRC_CORRUPT;
    }
    nChans = static_cast<uint8_t>(n);
}

LSoundSourceNull::LSoundSourceNull(uint8_t errorState) : LSoundSourceBase(11025, 1, 0x200000) {
    ErrorState = errorState;
}

void LSoundSourceNull::Read(int32_t* pBuffer, int frames) {
    if (frames > 0) std::memset(pBuffer, 0, sizeof(int32_t) * static_cast<size_t>(frames));
}

LSoundSourceRef::LSoundSourceRef() : p_(new LSoundSourceNull()) {
    ++p_->nRefCount_;
}

LSoundSourceRef::LSoundSourceRef(LSoundSourceBase* p) : p_(p ? p : new LSoundSourceNull()) {
    ++p_->nRefCount_;
}

LSoundSourceRef::LSoundSourceRef(const LSoundSourceRef& other) : p_(other.p_) {
    ++p_->nRefCount_;
}

LSoundSourceRef& LSoundSourceRef::operator=(const LSoundSourceRef& other) {
    Assign(other.p_);
    return *this;
}

LSoundSourceRef& LSoundSourceRef::operator=(LSoundSourceBase* p) {
    Assign(p ? p : new LSoundSourceNull());
    return *this;
}

LSoundSourceRef::~LSoundSourceRef() {
    if (--p_->nRefCount_ == 0) delete p_;
}

void LSoundSourceRef::Assign(LSoundSourceBase* p) {
    ++p->nRefCount_;  // first, so self-assignment never drops to zero
    LSoundSourceBase* old = p_;
    p_ = p;
    if (--old->nRefCount_ == 0) delete old;
}

void LSoundSourceRef::Reset() {
    Assign(new LSoundSourceNull());
}

LSoundSourceRef MakeErrorSource(uint8_t errorState) {
    return LSoundSourceRef(new LSoundSourceNull(errorState));
}

LSRCFilterBase::LSRCFilterBase(const LSoundSourceRef& source)
    : LSoundSourceBase(source->SampleRate, source->nChans, source->MaxAmplitude), pSource(source) {
    if (source->ErrorState != LSRC_OK) ErrorState = LSRC_WRAPPED_FAILED;
}

}  // namespace sonvex
