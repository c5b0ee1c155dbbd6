// The source opener's dispatch by extension: the first byte picks the extension, the rest is
// the file. Only formats read in-process are reached (no helper programs are started).
#include <cstdint>
#include <string>

#include "FuzzUtil.h"
#include "engine/SourceOpener.h"
#include "support/ProgressDialog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const kExts[] = {".wav", ".WAV", ".mp3", ".aif", ".aiff", ".au",
                                        ".gsm", ".vox", ".raw", ".snd", ".dct"};
    static sonvex::fuzz::QuietHost host;
    if (size < 1) return 0;
    const char* ext = kExts[data[0] % (sizeof kExts / sizeof kExts[0])];
    const std::string path = sonvex::fuzz::WriteInput(data + 1, size - 1, ext);
    bool bAllowPrompt = (data[0] & 0x80) != 0;  // with and without the raw settings prompt
    sonvex::LUiContext context(&bAllowPrompt);
    sonvex::LSoundSourceRef source;
    if (sonvex::LGenSourceOpen(source, path, context) == sonvex::LPROCESS_OK)
        sonvex::fuzz::Exercise(source, 4);
    return 0;
}
