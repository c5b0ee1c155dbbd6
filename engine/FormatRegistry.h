// Every format the program knows, in one place: what it reads (by extension, in dispatch
// order) and what it writes (the format box). The source opener, the sink opener, the format
// box, the Add dialog's filters and the player all read these tables.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "audio/SoundSink.h"
#include "audio/SoundSource.h"
#include "support/ProgressDialog.h"

namespace sonvex {

// How an input is read.
enum class LInputKind {
    Direct,   // a reader of our own
    Raw,      // a reader of our own over headerless data, with a settings section
    Decoded,  // a decoder job writes a temporary WAV first
};

struct LInputFormat {
    std::string_view szName;  // "WAV" (filters, messages)
    std::span<const std::string_view> exts;
    LInputKind kind;
    // Direct: the reader (never empty) and the message for its ErrorState ("%s" = path).
    LSoundSourceRef (*open)(const std::string& path);
    const char* (*message)(int errorState);
    // Raw: the settings section.
    const char* szRawSection;
    // Decoded: the job that writes tempWav.
    std::unique_ptr<LProgressDialog> (*decoder)(const std::string& path,
                                                const std::string& tempWav);
    // Decoded: shown when the job fails (empty: the job reports its own failure).
    const char* szFailureMessage;
    // True when this row takes the file, beyond its extension (the ".snd" magic).
    bool (*accepts)(const std::string& path);
    // Direct, instead of open: a reader that may explain its refusal itself (the text to
    // show; empty when message applies).
    LSoundSourceRef (*openExplained)(const std::string& path, std::string* pMessage) = nullptr;
};

struct LOutputFormat {
    std::string_view ext;     // also the key of the sink
    const char* szComponent;  // encoder component; null for formats written here
    bool bInFormatBox;        // offered in the format box (".aif" is only an alias)
    LSoundSinkRef (*open)(const std::string& path, int32_t rate, int channels);
    int (*checkSettings)(int32_t rate, int channels);
};

// Inputs in dispatch order; the first whose extension matches (and that accepts the file)
// takes it. An extension in no row goes to the platform's media decoder.
std::span<const LInputFormat> InputFormats();
const LInputFormat* FindInputFormat(const std::string& path);
// The media decoder's row (any other extension).
const LInputFormat& MediaDecoderFormat();

// Outputs; the format box shows those with bInFormatBox, in this order.
std::span<const LOutputFormat> OutputFormats();
const LOutputFormat* FindOutputFormat(std::string_view ext);

}  // namespace sonvex
