#include "engine/WaveFormatVerb.h"

#include <cstdlib>
#include <sstream>
#include <vector>

#include "engine/OutputFormats.h"
#include "formats/wav/WaveFormatDialog.h"
#include "platform/codec/CodecStream.h"
#include "support/File.h"
#include "support/UiHost.h"

namespace sonvex {

namespace {

// A whole number of the text, decimal or 0x hexadecimal; false when it is not one.
bool Number(const std::string& s, uint32_t& out) {
    if (s.empty()) return false;
    char* end = nullptr;
    const unsigned long v = std::strtoul(s.c_str(), &end, 0);
    if (*end || v > 0xFFFFFFFFul) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

}  // namespace

bool LWaveFormatVerb(const std::string& value) {
    std::vector<std::string> parts;
    std::stringstream in(value);
    for (std::string p; std::getline(in, p, ',');) parts.push_back(p);
    const LCodecFormatTag* tag = nullptr;
    uint32_t number = 0;
    if (!parts.empty()) {
        for (const LCodecFormatTag& t : CodecFormatTags())
            if (CaseInsensitiveEqual(t.szKey, parts[0])) tag = &t;
        if (!tag && Number(parts[0], number) && number <= 0xFFFF)
            tag = FindCodecFormatTag(static_cast<uint16_t>(number));
    }
    uint32_t rate = 44100, channels = 2, bits = tag ? tag->bits[0] : 0;
    if (tag && tag->wFormatTag == WAVE_FORMAT_PCM) bits = 16;
    const bool bParsed = tag && parts.size() <= 4 && (parts.size() < 2 || Number(parts[1], rate)) &&
                         (parts.size() < 3 || Number(parts[2], channels)) &&
                         (parts.size() < 4 || Number(parts[3], bits)) && channels >= 1 &&
                         channels <= 255 && rate >= 1;
    if (!bParsed) {
        std::string names;
        for (const LCodecFormatTag& t : CodecFormatTags()) names += std::string(" ") + t.szKey;
        UiHost().MessageBox("\"" + value +
                                "\" names no WAV format. Give FORMAT[,RATE[,CHANNELS[,BITS]]] "
                                "with a FORMAT of:" +
                                names + ". Nothing was changed.",
                            "Error", MsgButtons::Ok, MsgIcon::Error);
        return false;
    }
    const WAVEFORMATEX w =
        LWaveFileFormat::MakeRecord(tag->wFormatTag, rate, static_cast<uint16_t>(channels), bits);
    if (!LWaveFileFormat::TestSupportedRecord(w)) {
        UiHost().MessageBox(
            "The requested format is not available because the required CODEC is not installed "
            "on this computer.",
            "Format Not Available", MsgButtons::Ok, MsgIcon::Error);
        return false;
    }
    return WriteStoredWaveFormat(w);
}

}  // namespace sonvex
