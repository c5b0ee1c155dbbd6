#include "audio/ConvertChannels.h"

#include <algorithm>
#include <cmath>

#include "platform/Debug.h"

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

LSRCDownMix::LSRCDownMix(const LSoundSourceRef& source, int targetChannels)
    : LSRCConvChannelsBase(source, targetChannels) {
    const int n = source->nChans;
    constexpr float kSide = 0.70710678f;
    // Per input channel: its share of the left and right sides.
    std::vector<float> left(static_cast<size_t>(n), 0.f), right(static_cast<size_t>(n), 0.f);
    left[0] = 1.f;
    right[1] = 1.f;
    const auto both = [&](int c) {
        left[static_cast<size_t>(c)] = right[static_cast<size_t>(c)] = kSide;
    };
    const auto pair = [&](int l, int r) {
        left[static_cast<size_t>(l)] = kSide;
        right[static_cast<size_t>(r)] = kSide;
    };
    switch (n) {
        case 3:
            both(2);
            break;
        case 4:
            pair(2, 3);
            break;
        case 5:
            both(2);
            pair(3, 4);
            break;
        case 6:
            both(2);
            pair(4, 5);
            break;
        case 7:
            both(2);
            both(4);
            pair(5, 6);
            break;
        case 8:
            both(2);
            pair(4, 5);
            pair(6, 7);
            break;
        default:
            break;  // the first two channels
    }
    float sumL = 0, sumR = 0;
    for (int c = 0; c < n; ++c) {
        sumL += left[static_cast<size_t>(c)];
        sumR += right[static_cast<size_t>(c)];
    }
    gains_.assign(static_cast<size_t>(targetChannels) * n, 0.f);
    for (int c = 0; c < n; ++c) {
        const float l = left[static_cast<size_t>(c)] / sumL;
        const float r = right[static_cast<size_t>(c)] / sumR;
        if (targetChannels == 1) {
            gains_[static_cast<size_t>(c)] = 0.5f * (l + r);
        } else {
            gains_[static_cast<size_t>(c)] = l;
            gains_[static_cast<size_t>(n + c)] = r;
        }
    }
}

void LSRCDownMix::Read(int32_t* pBuffer, int frames) {
    const int32_t* in = readBuffer_.data();
    const int nIn = pSource->nChans;
    const int nOut = nChans;
    while (frames > 0) {
        const int n = std::min(frames, kBlockFrames);
        pSource->Read(readBuffer_.data(), n);
        for (int i = 0; i < n; ++i) {
            const int32_t* frame = in + static_cast<size_t>(i) * nIn;
            for (int o = 0; o < nOut; ++o) {
                const float* g = gains_.data() + static_cast<size_t>(o) * nIn;
                float acc = 0.f;
                for (int c = 0; c < nIn; ++c) acc += g[c] * static_cast<float>(frame[c]);
                pBuffer[static_cast<size_t>(i) * nOut + o] = static_cast<int32_t>(std::lrint(acc));
            }
        }
        pBuffer += static_cast<size_t>(n) * nOut;
        frames -= n;
    }
}

void LSPConvChannels::OpenSource(LSoundSourceRef& result, const LSoundSourceRef& source) {
    const int target = iParameter;
    const int have = source->nChans;
    if (source->ErrorState != LSRC_OK || have == 0 || target == 0 || have == target) {
        result = source;
    } else if (target == 1 && have == 2) {
        result = new LSRCStereoToMono(source);
    } else if (target == 2 && have == 1) {
        result = new LSRCMonoToStereo(source);
    } else if ((target == 1 || target == 2) && have > 2) {
        result = new LSRCDownMix(source, target);
    } else {
        DebugLog(
            "LSPConvChannels::OpenSource Multichannels (or 0) used when "
            "BUILD_SUPPORT_MULTICHANS is not set");
        result = source;
    }
}

}  // namespace sonvex
