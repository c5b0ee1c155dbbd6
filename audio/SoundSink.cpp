#include "audio/SoundSink.h"

#include "platform/Debug.h"

namespace sonvex {

LSoundSinkBase::LSoundSinkBase(int32_t rate, int nChannels)
    : SampleRate(rate), nChans(static_cast<uint8_t>(nChannels)) {
    if (nChannels <= 0) {
        DebugLog("LSoundSinkBase::LSoundSinkBase nChans == 0");
        nChans = 1;
        uErrorFlags |= kErrorUnusable;
    }
}

LSoundSinkRef::LSoundSinkRef(LSoundSinkBase* p) : p_(p) {
    if (p_) ++p_->nRefCount_;
}

LSoundSinkRef::LSoundSinkRef(const LSoundSinkRef& other) : p_(other.p_) {
    if (p_) ++p_->nRefCount_;
}

LSoundSinkRef& LSoundSinkRef::operator=(const LSoundSinkRef& other) {
    Assign(other.p_);
    return *this;
}

LSoundSinkRef& LSoundSinkRef::operator=(LSoundSinkBase* p) {
    Assign(p);
    return *this;
}

LSoundSinkRef::~LSoundSinkRef() {
    Assign(nullptr);
}

void LSoundSinkRef::Assign(LSoundSinkBase* p) {
    if (p) ++p->nRefCount_;
    LSoundSinkBase* old = p_;
    p_ = p;
    if (old && --old->nRefCount_ == 0) delete old;
}

}  // namespace sonvex
