// Stage objects: each inserts one processing step in front of a source.
#pragma once

#include <cstdint>

#include "audio/SoundSource.h"

namespace sonvex {

class LSoundProcessBase {
public:
    explicit LSoundProcessBase(int32_t parameter) : iParameter(parameter) {}
    virtual ~LSoundProcessBase() = default;
    // Returns the source itself (nothing to do, source in error, unsupported) or a new filter
    // wrapping it.
    virtual void OpenSource(LSoundSourceRef& result, const LSoundSourceRef& source) = 0;

protected:
    int32_t iParameter;
};

}  // namespace sonvex
