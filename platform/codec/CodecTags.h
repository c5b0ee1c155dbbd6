// Format tags to FFmpeg codecs and back, and the record FFmpeg's WAV writer gives for an
// encoder. Included only inside platform/.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/codec/AvHandles.h"
#include "platform/codec/CodecStream.h"

namespace sonvex::av {

// The codec of a record: the RIFF table, PCM and float by their bits per sample, the
// extensible record by its sub-format. AV_CODEC_ID_NONE when none.
AVCodecID CodecIdForRecord(const LCodecRecord& r);
// The extra bytes the codec takes as its extradata (an extensible record's after its 22).
std::vector<uint8_t> CodecExtradata(const LCodecRecord& r);
// The "fmt " payload that FFmpeg's WAV writer writes for the opened encoder; empty on failure.
std::vector<uint8_t> WavRecordOf(const AVCodecContext* encoder);

}  // namespace sonvex::av
