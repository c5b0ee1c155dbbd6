#include "platform/instance/RunArgs.h"

#include <algorithm>
#include <cstring>

namespace sonvex {

namespace {

void PutLE32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + static_cast<size_t>(i)] = static_cast<uint8_t>(x >> (8 * i));
}

void AppendLE32(std::vector<uint8_t>& v, uint32_t x) {
    v.resize(v.size() + 4);
    PutLE32(v, v.size() - 4, x);
}

uint32_t GetLE32(const std::vector<uint8_t>& v, size_t at) {
    uint32_t x = 0;
    for (int i = 3; i >= 0; --i) x = (x << 8) | v[at + static_cast<size_t>(i)];
    return x;
}

}  // namespace

std::vector<uint8_t> LRunArgsData::Encode(const std::vector<std::string>& args) {
    std::vector<uint8_t> out(kRecordBytes, 0);
    const size_t count = std::min(args.size(), kSlots);
    PutLE32(out, 0, static_cast<uint32_t>(count));
    bool bWhole = args.size() <= kSlots;
    for (size_t i = 0; i < count; ++i) {
        const std::string& a = args[i];
        const size_t n = std::min(a.size(), kSlotBytes - 1);
        bWhole = bWhole && n == a.size() && a.find('\0') == std::string::npos;
        std::memcpy(&out[4 + i * kSlotBytes], a.data(), n);
    }
    if (bWhole) {
        AppendLE32(out, 0);
        return out;
    }
    std::vector<uint8_t> frame;
    AppendLE32(frame, static_cast<uint32_t>(args.size()));
    for (const auto& a : args) {
        AppendLE32(frame, static_cast<uint32_t>(a.size()));
        frame.insert(frame.end(), a.begin(), a.end());
    }
    AppendLE32(out, static_cast<uint32_t>(frame.size()));
    out.insert(out.end(), frame.begin(), frame.end());
    return out;
}

LRunArgsData::Status LRunArgsData::Decode(const std::vector<uint8_t>& bytes, bool bEnd,
                                          std::vector<std::string>& args) {
    args.clear();
    if (bytes.size() >= 4 && GetLE32(bytes, 0) > kSlots) return Status::Refused;
    if (bytes.size() < kRecordBytes) return bEnd ? Status::Refused : Status::NeedMore;
    size_t frameLen = 0;
    if (bytes.size() > kRecordBytes) {
        // A record alone is complete; a frame length, once present, must be whole and match.
        if (bytes.size() < kRecordBytes + 4) return bEnd ? Status::Refused : Status::NeedMore;
        frameLen = GetLE32(bytes, kRecordBytes);
        if (frameLen > kMaxFrameBytes) return Status::Refused;
        const size_t total = kRecordBytes + 4 + frameLen;
        if (bytes.size() > total) return Status::Refused;
        if (bytes.size() < total) return bEnd ? Status::Refused : Status::NeedMore;
    } else if (!bEnd) {
        return Status::NeedMore;
    }
    if (frameLen == 0) {
        const size_t count = GetLE32(bytes, 0);
        for (size_t i = 0; i < count; ++i) {
            const char* slot = reinterpret_cast<const char*>(&bytes[4 + i * kSlotBytes]);
            args.emplace_back(slot, strnlen(slot, kSlotBytes - 1));
        }
        return Status::Complete;
    }
    size_t at = kRecordBytes + 4;
    const size_t end = at + frameLen;
    if (frameLen < 4) return Status::Refused;
    const size_t n = GetLE32(bytes, at);
    at += 4;
    if (n > kMaxArgs) return Status::Refused;
    std::vector<std::string> whole;
    for (size_t i = 0; i < n; ++i) {
        if (end - at < 4) return Status::Refused;
        const size_t len = GetLE32(bytes, at);
        at += 4;
        if (len > end - at) return Status::Refused;
        whole.emplace_back(reinterpret_cast<const char*>(&bytes[at]), len);
        at += len;
    }
    if (at != end) return Status::Refused;
    args = std::move(whole);
    return Status::Complete;
}

}  // namespace sonvex
