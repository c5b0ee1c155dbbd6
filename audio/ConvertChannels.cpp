#include "audio/ConvertChannels.h"

#include <algorithm>

#include "support/Debug.h"

namespace sonvex {

LSRCConvChannelsBase::LSRCConvChannelsBase(const LSoundSourceRef& source, int targetChannels)
    : LSRCFilterBase(source), readBuffer_(static_cast<size_t>(kBlockFrames) * source->nChans) {
    SetChannels(targetChannels);
}

// Both read in pieces of at most one block, so an oversized request cannot overrun the buffer.
void LSRCMonoToStereo::Read(int32_t* pBuffer, int frames) {
    const int32_t* in = readBuffer_.data();
    while (frames > 0) {
        const int n = std::min(frames, kBlockFrames);
        pSource->Read(readBuffer_.data(), n);
        for (int i = 0; i < n; ++i) {
            pBuffer[2 * i] = in[i];
            pBuffer[2 * i + 1] = in[i];
        }
        pBuffer += 2 * n;
        frames -= n;
    }
}

void LSRCStereoToMono::Read(int32_t* pBuffer, int frames) {
    const int32_t* in = readBuffer_.data();
    while (frames > 0) {
        const int n = std::min(frames, kBlockFrames);
        pSource->Read(readBuffer_.data(), n);
        for (int i = 0; i < n; ++i) pBuffer[i] = in[2 * i];
        pBuffer += n;
        frames -= n;
    }
}

void LSPConvChannels::OpenSource(LSoundSourceRef& result, const LSoundSourceRef& source) {
    const int target = iParameter;
    const int have = source->nChans;
    if (source->ErrorState != 0 || have == 0 || target == 0 || have == target) {
        result = source;
    } else if (target == 1 && have == 2) {
        result = new LSRCStereoToMono(source);
    } else if (target == 2 && have == 1) {
        result = new LSRCMonoToStereo(source);
    } else {
        DebugLog(
            "LSPConvChannels::OpenSource Multichannels (or 0) used when "
            "BUILD_SUPPORT_MULTICHANS is not set");
        result = source;
    }
}

}  // namespace sonvex
