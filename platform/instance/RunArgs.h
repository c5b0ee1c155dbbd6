// The forwarded-arguments record of a second start: the fixed LRunArgsData record (a count and
// 32 slots of 260 bytes) for what fits, followed by a length-prefixed frame holding every
// argument whole when they do not all fit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sonvex {

struct LRunArgsData {
    static constexpr size_t kSlots = 32;
    static constexpr size_t kSlotBytes = 260;
    static constexpr size_t kRecordBytes = 4 + kSlots * kSlotBytes;  // 8324
    // Upper bounds of the frame that follows the record.
    static constexpr size_t kMaxArgs = 65536;
    static constexpr size_t kMaxFrameBytes = 64u << 20;

    // The whole message: the record, then a 4-byte frame length and the frame (length 0 when
    // the record holds every argument whole).
    static std::vector<uint8_t> Encode(const std::vector<std::string>& args);

    enum class Status { Complete, NeedMore, Refused };
    // Checks a message read so far. bEnd: the sender has finished (no more bytes will come).
    // Complete fills args; Refused for a count above 32, a short message at its end, a frame
    // whose length or contents do not add up, or bytes beyond the declared end.
    static Status Decode(const std::vector<uint8_t>& bytes, bool bEnd,
                         std::vector<std::string>& args);
};

}  // namespace sonvex
